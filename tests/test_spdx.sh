#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Every source file of the project has its SPDX licence line (scripts/spdx-headers.sh --check),
# and the script that adds them puts them where each language's comments go, below a #! line,
# and changes nothing the second time.
#   test_spdx.sh SOURCE_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
script=$src/scripts/spdx-headers.sh
source "$(dirname "$0")/scratch.sh"
fail=0
problem() {
    echo "$*"
    fail=1
}

bash "$script" --check "$src" || problem "source files without their licence line"

# A scratch project: each file as written, then as it must be after the script ran ("same"
# when it must be left as it is).
tree=$work/tree
while IFS='|' read -r file before after; do
    mkdir -p "$(dirname "$tree/$file")"
    printf '%b' "$before" >"$tree/$file"
    printf '%s|%s\n' "$file" "$after" >>"$work/expected"
done <<'FILES'
src/a.cpp|#include "a.h"\n|// SPDX-License-Identifier: GPL-3.0-or-later\n// SPDX-FileCopyrightText: 2026 The Morvel developers\n\n#include "a.h"\n
src/a.h|#pragma once\n|// SPDX-License-Identifier: GPL-3.0-or-later\n// SPDX-FileCopyrightText: 2026 The Morvel developers\n\n#pragma once\n
CMakeLists.txt|project(x)\n|# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\nproject(x)\n
cmake/x.cmake|set(a 1)\n|# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\nset(a 1)\n
run.sh|#!/usr/bin/env bash\necho hi\n|#!/usr/bin/env bash\n# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\necho hi\n
sourced.sh|# sourced\n|# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\n# sourced\n
.ci/run|#!/bin/sh\ntrue\n|#!/bin/sh\n# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\ntrue\n
tool.py|#!/usr/bin/python3\npass\n|#!/usr/bin/python3\n# SPDX-License-Identifier: GPL-3.0-or-later\n# SPDX-FileCopyrightText: 2026 The Morvel developers\n\npass\n
done.cpp|// SPDX-License-Identifier: MIT\nint x;\n|same
notes.txt|plain text\n|same
tests/fixtures/proc/cpuinfo|processor : 0\n|same
build/dev/gen.cpp|int y;\n|same
FILES
cp -r "$tree" "$work/before"

! bash "$script" --check "$tree" >/dev/null || problem "--check passes a tree without headers"
bash "$script" "$tree" >/dev/null
while IFS='|' read -r file after; do
    if [ "$after" = same ]; then
        cmp -s "$work/before/$file" "$tree/$file" || problem "$file: changed"
    else
        cmp -s <(printf '%b' "$after") "$tree/$file" || { problem "$file: now reads"; cat "$tree/$file"; }
    fi
done <"$work/expected"
bash "$script" --check "$tree" >/dev/null || problem "--check fails after the headers were added"
cp -r "$tree" "$work/once"
bash "$script" "$tree" >/dev/null
diff -r "$work/once" "$tree" || problem "a second run changes files"

[ "$fail" -eq 0 ] && echo "licence lines: ok"
exit "$fail"
