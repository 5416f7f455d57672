#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# morvel-cli(1) and `morvel-cli --help` must not disagree: the same option names, tests,
# stress durations and exit statuses, each list read out of the built program's help and out
# of the formatted manual page. Exits 77 (skipped) when man is missing or no page was built
# because scdoc is missing.
#   test_manpage_help.sh PATH/TO/morvel-cli BUILD_DIR
set -euo pipefail
cli=$1
page=$2/docs/man/morvel-cli.1
command -v man >/dev/null || { echo "man is not installed: skipped"; exit 77; }
if [ ! -f "$page" ]; then
    command -v scdoc >/dev/null || { echo "scdoc is not installed, no page built: skipped"; exit 77; }
    echo "no manual page $page"
    exit 1
fi
HELP=$("$cli" --help)
source "$(dirname "$0")/cli_help.sh"

# Wide enough that no line wraps or hyphenates.
MAN=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -E UTF-8 -l "$page" 2>/dev/null)

# The lines of one section of the page (its heading is a line of capitals at the margin).
section() {
    awk -v want="$1" '/^[A-Z]/ { on = ($0 == want); next } on' <<<"$MAN"
}
# The headings of a section's items: lines indented by seven spaces.
items() {
    section "$1" | grep -E '^ {7}[^ ]'
}

man_commands() { items COMMANDS | awk '{ print $1 }' | sort -u; }
man_options() {
    items OPTIONS | grep -oE -- '(^|[][ |(,])--?[a-zA-Z][a-zA-Z-]*' | sed -E 's/^[][ |(,]//' | sort -u
}
man_durations() { section COMMANDS | grep -oE '[0-9]+min( \([0-9]+hrs\))?' | sort -u; }
man_exit_statuses() { items 'EXIT STATUS' | awk '{ print $1 }' | sort -un; }
man_workloads() { items WORKLOADS | awk 'NF == 1 { print $1 }' | sort -u; }

fail=0
for list in commands options durations exit_statuses workloads; do
    from_help=$("help_$list")
    from_man=$("man_$list")
    [ -n "$from_help" ] || { echo "$list: none found in --help"; fail=1; continue; }
    if [ "$from_help" != "$from_man" ]; then
        echo "$list differ:"
        comm -23 <(sort <<<"$from_help") <(sort <<<"$from_man") | sed 's/^/  only in --help: /'
        comm -13 <(sort <<<"$from_help") <(sort <<<"$from_man") |
            sed 's/^/  only in the manual page: /'
        fail=1
    else
        echo "$list agree:" $from_help
    fi
done
exit "$fail"
