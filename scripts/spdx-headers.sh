#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Gives every source file of the project (C++, CMake, shell, Python) the two SPDX lines of its
# licence and copyright, in the comment form of its language, where it has no licence line yet:
# below a #! line, else at the top, followed by an empty line. Files that have one are left as
# they are, so the script can be run again at any time (after a merge, say).
#   spdx-headers.sh [--check] [FOLDER]
# --check changes nothing: it lists the files without the licence line and exits 1 if there are
# any. FOLDER is the project's folder (default: the one this script is in); its files are those
# git knows of (tracked or not ignored), or every file outside build/ when it is no git checkout.
set -euo pipefail

License='SPDX-License-Identifier: GPL-3.0-or-later'
Copyright='SPDX-FileCopyrightText: 2026 The Morvel developers'

check=0
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)

# The project's files, relative to its folder, one a line.
files() {
    if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git -C "$root" ls-files --cached --others --exclude-standard
    else
        (cd "$root" && find . -path ./build -prune -o -path ./.git -prune -o -type f -print |
            sed 's|^\./||')
    fi
}

# The comment that starts a line in FILE ("//" or "#"), or nothing when it is not a source file.
comment_of() {
    local file=$1
    case $file in
    tests/fixtures/* | fuzz/corpus/*) return ;; # data, kept byte for byte
    *.cpp | *.h | *.hpp | *.cc) echo '//' ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.bash | *.py) echo '#' ;;
    *)
        # A script without an extension, known by its #! line.
        if head -n 1 "$root/$file" | grep -qE '^#!.*(sh|bash|python3?)( |$)'; then
            echo '#'
        fi
        ;;
    esac
}

missing=()
while IFS= read -r file; do
    [ -f "$root/$file" ] || continue # listed by git, deleted since
    comment=$(comment_of "$file")
    [ -n "$comment" ] || continue
    head -n 5 "$root/$file" | grep -q 'SPDX-License-Identifier:' && continue
    if [ "$check" -eq 1 ]; then
        missing+=("$file")
        continue
    fi
    path=$root/$file
    header="$comment $License"$'\n'"$comment $Copyright"
    {
        if head -n 1 "$path" | grep -q '^#!'; then
            head -n 1 "$path"
            printf '%s\n\n' "$header"
            tail -n +2 "$path"
        else
            printf '%s\n\n' "$header"
            cat "$path"
        fi
    } >"$path.spdx"
    chmod --reference="$path" "$path.spdx"
    mv "$path.spdx" "$path"
    echo "header added: $file"
done < <(files)

if [ "$check" -eq 1 ] && [ "${#missing[@]}" -gt 0 ]; then
    echo "no '$License' line (scripts/spdx-headers.sh adds it):"
    printf '  %s\n' "${missing[@]}"
    exit 1
fi
exit 0
