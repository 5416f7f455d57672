# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# bash completion for morvel-cli: the options, the commands, the stress test's durations, the
# workloads (as the program lists them) and instruction sets, and file names after --record and
# --prometheus.
# Installed in bash-completion's completions folder, which loads it on the first Tab after
# "morvel-cli"; it also works when sourced on its own.

_morvel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    case $prev in
        --workers | -w)
            COMPREPLY=($(compgen -W 'all' -- "$cur"))
            return
            ;;
        --record | --prometheus)
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
        --workload)
            # The program's own list: the names its --help gives, each before what it loads.
            local names
            names=$("${COMP_WORDS[0]}" --help 2>/dev/null |
                sed -n '/--workload NAME/,/--isa NAME/p' | tr -s ' \n' ' ' |
                grep -oE '[a-z]+ \(' | cut -d' ' -f1)
            COMPREPLY=($(compgen -W "$names" -- "$cur"))
            return
            ;;
        --isa)
            COMPREPLY=($(compgen -W 'avx512 avx2 plain' -- "$cur"))
            return
            ;;
        --per-cpu | --rounds | --cpus | --memory) return ;;
    esac

    # The words before the cursor that are neither options nor an option's value; every word
    # after -- is one.
    local i words=() options=1
    for ((i = 1; i < COMP_CWORD; i++)); do
        if ((options)); then
            case ${COMP_WORDS[i]} in
                --) options=0 ;;
                --workers | -w | --record | --prometheus | --per-cpu | --rounds | --cpus | \
                    --workload | --isa | --memory) ((i++)) ;;
                -*) ;;
                *) words+=("${COMP_WORDS[i]}") ;;
            esac
        else
            words+=("${COMP_WORDS[i]}")
        fi
    done
    if ((options)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--quiet --json --workers --record --prometheus --per-cpu
            --rounds --cpus --workload --isa --memory --help --version' -- "$cur"))
        return
    fi
    case ${#words[@]} in
        0) COMPREPLY=($(compgen -W 'benchmark stress selftest cycle' -- "$cur")) ;;
        1) [[ ${words[0]} == stress ]] &&
            COMPREPLY=($(compgen -W '20 40 60 80 100 120 140 160 180 200 220 240 forever' \
                -- "$cur")) ;;
    esac
}
complete -F _morvel_cli morvel-cli
