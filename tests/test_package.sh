#!/usr/bin/env bash
# Builds the Debian package with CPack, checks it with lintian (no error, no warning that is
# not overridden with its reason), installs it with dpkg into a scratch root and checks what is
# installed: the files, the dependencies worked out from the shared libraries, the program's
# version, the icon at every size. Exits 77 (skipped) when a packaging tool is missing.
#   test_package.sh BUILD_DIR
set -euo pipefail
build_dir=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian objdump identify; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "built $(basename "$deb")"
dpkg-deb --info "$deb"

fail=0
problem() {
    echo "$*"
    fail=1
}

# lintian: any error or warning fails (info and pedantic notes are shown, not counted).
status=0
lintian --fail-on error,warning --info "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$status" -eq 0 ] || problem "lintian found errors or warnings (exit status $status)"

[ "$(dpkg-deb -f "$deb" Section)" = utils ] || problem "section is not utils"
[ "$(dpkg-deb -f "$deb" Package)" = morvel ] || problem "package name is not morvel"

# Installed with dpkg into a root of its own (its dependencies are not in that root).
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; exit 1; }
dpkg --root="$root" -s morvel | grep -qx 'Status: install ok installed' || problem "not installed"

installed=$(dpkg --root="$root" -L morvel)
icons=/usr/share/icons/hicolor
for f in /usr/bin/morvel /usr/bin/morvel-cli \
    /usr/share/applications/org.morvel.Morvel.desktop \
    /usr/share/metainfo/org.morvel.Morvel.metainfo.xml \
    /usr/share/man/man1/morvel.1.gz /usr/share/man/man1/morvel-cli.1.gz \
    /usr/share/bash-completion/completions/morvel-cli \
    /usr/share/doc/morvel/copyright /usr/share/doc/morvel/changelog.Debian.gz \
    $icons/scalable/apps/morvel.svg \
    $icons/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/morvel.png; do
    grep -qx "$f" <<<"$installed" && [ -f "$root$f" ] || problem "not installed: $f"
done

# Every shared library a program needs belongs to a package named in Depends, in a version
# that satisfies it here, where the programs were built and run.
depends=$(dpkg-deb -f "$deb" Depends)
depends_names=$(sed -E 's/ *\([^)]*\)//g; s/ *[,|] */\n/g' <<<"$depends")
# The package that installed a file, under any of the names the file goes by (merged /usr).
owner_of() {
    local path candidates=("$1" "$(readlink -f "$1")")
    for path in "${candidates[@]}"; do
        for path in "$path" "${path#/usr}" "/usr$path"; do
            dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1 | grep . && return 0
        done
    done
    return 1
}
for program in morvel morvel-cli; do
    for library in $(objdump -p "$root/usr/bin/$program" | awk '$1 == "NEEDED" { print $2 }'); do
        path=$(ldd "$build_dir/bin/$program" | awk -v l="$library" '$1 == l { print $3 }')
        owner=$(owner_of "$path") || { problem "$program: $library belongs to no package"; continue; }
        grep -qxF "$owner" <<<"$depends_names" ||
            problem "$program needs $library from $owner, which Depends does not name"
    done
done
IFS=',' read -r -a entries <<<"$depends"
for entry in "${entries[@]}"; do
    read -r name op version <<<"$(sed -E 's/[()]//g' <<<"$entry")"
    have=$(dpkg-query -W -f '${Version}' "$name" 2>/dev/null) || have=
    [ -n "$have" ] || { problem "dependency $name is not installed here"; continue; }
    [ -z "$op" ] || dpkg --compare-versions "$have" "$op" "$version" ||
        problem "dependency $name ($op $version) is not met by $have"
done

# The installed program is the packaged version.
version=$(dpkg-deb -f "$deb" Version)
[ "$("$root/usr/bin/morvel-cli" --version)" = "morvel-cli ${version%-*}" ] ||
    problem "morvel-cli --version does not print ${version%-*}"

# The icon: each size as its folder says, at most 16 colours, transparency on or off.
for size in 16 32 48 64 128 256; do
    png=$root$icons/${size}x${size}/apps/morvel.png
    [ -f "$png" ] || continue
    read -r geometry colours <<<"$(identify -format '%wx%h %k' "$png")"
    alphas=$(convert "$png" -alpha extract -format '%k' info:)
    [ "$geometry" = "${size}x${size}" ] || problem "icon $size: $geometry"
    [ "$colours" -le 16 ] || problem "icon $size: $colours colours"
    [ "$alphas" -le 2 ] || problem "icon $size: $alphas levels of transparency"
    echo "icon ${size}x${size}: $colours colours, $alphas levels of transparency"
done
if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w 64 -h 64 "$root$icons/scalable/apps/morvel.svg" -o "$work/svg.png" ||
        problem "the scalable icon does not render"
fi

[ "$fail" -eq 0 ] && echo "package: ok"
exit "$fail"
