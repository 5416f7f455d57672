# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Sourced by the tests that hold the manual page and the completion to `morvel-cli --help`:
# reads the lists out of the help text the built program prints.
#   help_commands, help_options, help_durations, help_minutes, help_duration_words,
#   help_exit_statuses, help_workloads  (one a line)
# HELP must hold the text of `morvel-cli --help`.

# The tests named in the usage lines (the text up to the first blank line), without the
# options in brackets and the alternatives of options.
help_commands() {
    sed -n '1,/^$/p' <<<"$HELP" | sed -E 's/^Usage://; s/\[[^]]*\]//g' |
        awk '{ for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+$/) { print $i; break } }' | sort -u
}

# Every option named anywhere in the help text, long or short.
help_options() {
    grep -oE -- '(^|[][ |(,])--?[a-zA-Z][a-zA-Z-]*' <<<"$HELP" | sed -E 's/^[][ |(,]//' | sort -u
}

# The stress test's durations as quoted in the help, and their minutes.
help_durations() {
    grep -oE '"[0-9]+min[^"]*" +or [0-9]+' <<<"$HELP" | sed -E 's/^"([^"]*)".*/\1/' | sort -u
}
help_minutes() {
    grep -oE '"[0-9]+min[^"]*" +or [0-9]+' <<<"$HELP" | awk '{ print $NF }' | sort -n
}

# The stress durations that are words, not numbers: the entries of the help's duration list
# that are a word and its meaning ("forever          until a stop signal").
help_duration_words() {
    grep -oE '^ {20}[a-z]+ {2,}' <<<"$HELP" | awk '{ print $1 }' | sort -u
}

# The numbers in the exit-status text, which runs from "Exit status" to the next blank line.
help_exit_statuses() {
    sed -n '/^Exit status/,/^$/p' <<<"$HELP" | grep -oE '\b[0-9]+\b' | sort -un
}

# The workloads --workload lists, each a name before what it loads in brackets.
help_workloads() {
    sed -n '/--workload NAME/,/--isa NAME/p' <<<"$HELP" | tr -s ' \n' ' ' |
        grep -oE '[a-z]+ \(' | awk '{ print $1 }' | sort -u
}
