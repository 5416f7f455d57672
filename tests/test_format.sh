#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Every C++ file under src/, tests/, bench/ and fuzz/ is as `.clang-format` writes it (what
# `clang-format -i` would change is shown). Exit 77, skipped, without clang-format; CI installs
# it (scripts/install-deps.sh), so there it always runs.
#   test_format.sh SOURCE_DIR
set -euo pipefail
cd "$1"
if ! command -v clang-format >/dev/null; then
    echo "clang-format is not installed: skipped"
    exit 77
fi
mapfile -t files < <(find src tests bench fuzz -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "run clang-format -i on the files above"
    exit 1
fi
echo "format: ${#files[@]} files ok"
