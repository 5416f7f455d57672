#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# The built manual pages format without a warning from man (groff's warnings included), have
# a NAME line that mandb can index and the sections a reader looks for, show file names whole
# (no underscore of scdoc's emphasis left over), and the compressed pages that are installed
# read the same as the built ones. Exits 77 (skipped) when man is missing, or when the pages
# were not built because scdoc is missing.
#   test_manpages.sh BUILD_DIR
set -euo pipefail
pages=$1/docs/man
command -v man >/dev/null || { echo "man is not installed: skipped"; exit 77; }
if [ ! -f "$pages/morvel.1" ]; then
    command -v scdoc >/dev/null || { echo "scdoc is not installed, no pages built: skipped"; exit 77; }
    echo "no manual pages in $pages"
    exit 1
fi
source "$(dirname "$0")/scratch.sh"
export LC_ALL=C.UTF-8 MANWIDTH=80

fail=0
while read -r page sections; do
    if ! man --warnings -E UTF-8 -l "$pages/$page" >"$work/$page.txt" 2>"$work/$page.err" ||
        [ -s "$work/$page.err" ]; then
        echo "$page: man reports:"
        cat "$work/$page.err"
        fail=1
    fi
    # The NAME line as mandb and apropos read it.
    name=${page%.1}
    lexgrog "$pages/$page" | grep -q ": \"$name - " || { echo "$page: no whatis entry"; fail=1; }
    # An underscore at the edge of a word is an emphasis mark that scdoc left as text.
    if grep -nP '(^|[^\w])_|_($|[^\w])' "$work/$page.txt"; then
        echo "$page: the underscores above are stray emphasis marks"
        fail=1
    fi
    for section in $sections; do
        grep -qx "${section//_/ }" "$work/$page.txt" || { echo "$page: no section ${section//_/ }"; fail=1; }
    done
    man -E UTF-8 -l "$pages/$page.gz" 2>/dev/null | cmp -s - "$work/$page.txt" ||
        { echo "$page.gz does not read as $page"; fail=1; }
done <<'PAGES'
morvel.1 NAME SYNOPSIS DESCRIPTION OPTIONS SCORE VERIFICATION FILES SIGNALS ENVIRONMENT WAYLAND EXAMPLES SEE_ALSO
morvel-cli.1 NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS SCORE VERIFICATION EXIT_STATUS ENVIRONMENT EXAMPLES SEE_ALSO
PAGES
# File names a reader copies from a page are shown whole, as the program writes them.
while read -r page name; do
    grep -qF -- "$name" "$work/$page.txt" || { echo "$page: $name is not shown as written"; fail=1; }
done <<'NAMES'
morvel.1 ~/.local/share/morvel/MorvelReport.dat
morvel.1 MorvelReport.dat.unreadable
morvel.1 ~/.local/state/morvel/run-<key>.journal
morvel.1 /morvel/MorvelReport-unsaved-yyyyMMdd-hhmmss.dat
NAMES
[ "$fail" -eq 0 ] && echo "manual pages: ok"
exit "$fail"
