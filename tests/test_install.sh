#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs to list Morvel:
# both programs, a valid desktop entry, the icon in the hicolor theme and valid AppStream data.
set -euo pipefail
build_dir=$1
for tool in desktop-file-validate appstreamcli file; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

fail=0
for f in bin/morvel bin/morvel-cli; do
    [ -x "$prefix/$f" ] || { echo "missing executable: $f"; fail=1; }
done
desktop=$prefix/share/applications/org.morvel.Morvel.desktop
metainfo=$prefix/share/metainfo/org.morvel.Morvel.metainfo.xml
icon=$prefix/share/icons/hicolor/32x32/apps/morvel.png
for f in "$desktop" "$metainfo" "$icon"; do
    [ -f "$f" ] || { echo "missing: $f"; fail=1; }
done
[ "$fail" -eq 0 ] || exit 1

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"
grep -qx 'Exec=morvel' "$desktop"
file "$icon" | grep -q '32 x 32'
"$prefix/bin/morvel-cli" --version
echo "install: ok"
