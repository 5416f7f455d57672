# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# bash completion for morvel-cli: the options, the two tests, the stress test's durations and
# file names after --record and --prometheus.
# Installed in bash-completion's completions folder, which loads it on the first Tab after
# "morvel-cli"; it also works when sourced on its own.

_morvel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    if [[ $prev == --workers ]]; then
        COMPREPLY=($(compgen -W 'all' -- "$cur"))
        return
    fi
    if [[ $prev == --record || $prev == --prometheus ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--quiet --json --workers --record --prometheus --help --version' \
            -- "$cur"))
        return
    fi

    # The words before the cursor that are neither options nor an option's value.
    local i words=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --workers | --record | --prometheus) ((i++)) ;;
            -*) ;;
            *) words+=("${COMP_WORDS[i]}") ;;
        esac
    done
    case ${#words[@]} in
        0) COMPREPLY=($(compgen -W 'benchmark stress' -- "$cur")) ;;
        1) [[ ${words[0]} == stress ]] &&
            COMPREPLY=($(compgen -W '20 40 60 80 100 120 140 160 180 200 220 240' -- "$cur")) ;;
    esac
}
complete -F _morvel_cli morvel-cli
