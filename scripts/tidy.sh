#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Runs clang-tidy (the checks in .clang-tidy) over the program's own sources in src/ with the
# compile flags of the dev build, two files at a time. Any finding is an error: exits 1.
#   scripts/tidy.sh [src/.../FILE.cpp...]    (default: every .cpp file under src/)
# Needs a configured and built dev build (cmake --preset dev && cmake --build --preset dev):
# the sources include the headers the build generates.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/dev
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy: no $build/compile_commands.json; run: cmake --preset dev && cmake --build --preset dev"
    exit 2
fi
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(find src -name '*.cpp' | sort)
fi
echo "tidy: clang-tidy on ${#files[@]} files"
# clang's "N warnings generated." counts what the checks left out; only findings are shown.
if ! printf '%s\0' "${files[@]}" |
    xargs -0 -n 1 -P 2 clang-tidy -p "$build" --quiet --warnings-as-errors='*' \
        2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2); then
    echo "tidy: clang-tidy found problems (see above)"
    exit 1
fi
echo "tidy: ok"
