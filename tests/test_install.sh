#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Installs the build into scratch prefixes and checks what a desktop needs to list Morvel and
# start it from its menu: both programs, a valid desktop entry whose Exec starts the installed
# program (by its full path unless it is in /usr/bin, so that ~/.local works without
# ~/.local/bin on PATH), the icon in the hicolor theme and valid AppStream data.
set -euo pipefail
build_dir=$1
for tool in desktop-file-validate appstreamcli file; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
source "$(dirname "$0")/scratch.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")

fail=0
problem() {
    echo "$*"
    fail=1
}

# check_install LABEL PREFIX [DESTDIR]
check_install() {
    local label=$1 prefix=$2 destdir=${3:-}
    local root=$destdir$prefix
    DESTDIR=$destdir cmake --install "$build_dir" --prefix "$prefix" >/dev/null
    for f in bin/morvel bin/morvel-cli; do
        [ -x "$root/$f" ] || problem "$label: missing executable: $f"
    done
    # Debian's own files are the package's only.
    for f in share/lintian share/doc/morvel/changelog.Debian.gz; do
        [ ! -e "$root/$f" ] || problem "$label: a file only the Debian package needs: $f"
    done
    local desktop=$root/share/applications/org.morvel.Morvel.desktop
    local metainfo=$root/share/metainfo/org.morvel.Morvel.metainfo.xml
    local icon=$root/share/icons/hicolor/32x32/apps/morvel.png
    for f in "$desktop" "$metainfo" "$icon"; do
        [ -f "$f" ] || { problem "$label: missing: $f"; return; }
    done
    desktop-file-validate "$desktop" || problem "$label: desktop entry not valid"
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
        { cat "$work/appstream.log"; problem "$label: AppStream data not valid"; }
    file "$icon" | grep -q '32 x 32' || problem "$label: icon not 32 x 32"

    # The command of the menu entry, unquoted as the desktop entry format says: \\ stands for
    # \ in every value, Exec's quoting is the shell's double quotes, %% stands for %.
    local exec
    exec=$(sed -n 's/^Exec=//p' "$desktop")
    exec=${exec//\\\\/\\}
    exec=${exec//%%/%}
    eval "set -- $exec"
    echo "$label: Exec=$(sed -n 's/^Exec=//p' "$desktop") runs $1"
    if [ "$prefix" = /usr ]; then
        [ "$1" = morvel ] || problem "$label: Exec names $1, not morvel as found on PATH"
        set -- "$root/bin/morvel"
    fi
    [ "$1" -ef "$root/bin/morvel" ] || problem "$label: Exec runs $1, not $prefix/bin/morvel"
    # The program it names answers, with no display and with PATH knowing nothing of it.
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY PATH=/usr/bin:/bin "$1" --version)" = \
        "morvel $version" ] || problem "$label: $1 --version does not print morvel $version"
    "$root/bin/morvel-cli" --version >/dev/null || problem "$label: morvel-cli --version fails"
}

# A user's own prefix that is not on PATH, as `cmake --install build/dev --prefix ~/.local`.
check_install "own prefix" "$work/home/.local"
# A prefix with characters the Exec key must quote.
check_install "prefix with a space" "$work/my apps"
# /usr, as the package installs it (here under a scratch root).
check_install "/usr" /usr "$work/root"

[ "$fail" -eq 0 ] && echo "install: ok"
exit "$fail"
