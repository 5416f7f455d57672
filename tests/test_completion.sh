#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# The bash completion of morvel-cli, installed into a scratch prefix and loaded the way
# bash-completion loads it on the first Tab: each command line below must complete to what the
# built program's --help lists. Exits 77 (skipped) when bash-completion is missing.
#   test_completion.sh BUILD_DIR PATH/TO/morvel-cli
set -euo pipefail
build_dir=$1
cli=$2
loader=/usr/share/bash-completion/bash_completion
[ -f "$loader" ] || { echo "bash-completion is not installed: skipped"; exit 77; }
source "$(dirname "$0")/scratch.sh"
prefix=$work
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
HELP=$("$cli" --help)
source "$(dirname "$0")/cli_help.sh"

# Prints the completions of LINE (the cursor at its end), one a line, sorted.
complete_line() {
    PATH=$prefix/bin:$PATH XDG_DATA_DIRS=$prefix/share BASH_COMPLETION_USER_DIR=$prefix/none \
        bash --norc --noprofile -c '
        source "$1"
        line=$2
        __load_completion morvel-cli || { echo "no completion found for morvel-cli" >&2; exit 1; }
        registration=$(complete -p morvel-cli)
        function=$(sed -E "s/.* -F ([^ ]+) .*/\1/" <<<"$registration")
        read -r -a COMP_WORDS <<<"$line"
        [[ $line == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE=$line
        COMP_POINT=${#line}
        "$function" morvel-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sed "/^$/d" | sort
    ' complete-test "$loader" "$1"
}

long_options=$(help_options | grep -- '^--' || true)
workers_values=$(grep -oE -- '--workers [^] ]+' <<<"$HELP" | head -n 1 | cut -d' ' -f2 |
    tr '|' '\n' | grep -E '^[a-z]+$' || true)
fail=0
check() {
    local line=$1 expected
    expected=$(sort <<<"$2" | sed '/^$/d')
    local got
    got=$(complete_line "$line") || { echo "'$line': completion failed"; fail=1; return; }
    if [ "$got" = "$expected" ]; then
        echo "ok: '$line<Tab>' -> $(echo $got)"
    else
        echo "FAIL: '$line<Tab>'"
        echo "  expected: $(echo $expected)"
        echo "  got:      $(echo $got)"
        fail=1
    fi
}
check 'morvel-cli ' "$(help_commands)"
check 'morvel-cli st' "$(help_commands | grep '^st')"
check 'morvel-cli stress ' "$(help_minutes; help_duration_words)"
check 'morvel-cli --quiet --json stress 1' "$(help_minutes | grep '^1')"
check 'morvel-cli stress f' "$(help_duration_words | grep '^f')"
check 'morvel-cli stress 60 ' ''
check 'morvel-cli benchmark ' ''
check 'morvel-cli selftest ' ''
check 'morvel-cli --' "$long_options"
check 'morvel-cli --workers ' "$workers_values"
check 'morvel-cli -w ' "$workers_values"
check 'morvel-cli --workers 4 st' "$(help_commands | grep '^st')"
check 'morvel-cli cycle --per-cpu 5s --cpus 0-3 --' "$long_options"
check 'morvel-cli --workload ' "$(help_workloads)"
check 'morvel-cli --workload fma --isa ' "$(printf '%s\n' avx512 avx2 plain)"
check 'morvel-cli -- ' "$(help_commands)"
check 'morvel-cli -- stress --' ''
exit "$fail"
