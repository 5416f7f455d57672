#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Builds the Debian package as the package preset does (Debian's hardening flags), twice, in two
# build folders: the two packages must be the same bytes. Checks the package with lintian (no
# error, no warning that is not overridden with its reason, no hardening tag at any level) and
# the programs in it (full RELRO, immediate binding, stack protector, no RUNPATH), installs it
# with dpkg into a scratch root and checks what is installed: the files, the dependencies worked
# out from the shared libraries, the program's version, the icon at every size. The build
# folders are kept in WORK_DIR, so that a second run builds only what changed. Exits 77
# (skipped) when a packaging tool is missing.
#   test_package.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
mkdir -p "$2"
work_dir=$(cd "$2" && pwd)
for tool in cpack dpkg-buildflags dpkg-deb dpkg-shlibdeps lintian objdump readelf identify; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
source "$(dirname "$0")/scratch.sh"

# build_package NAME: configures WORK_DIR/NAME with the package preset, builds the package there
# and prints its path.
build_package() {
    local dir=$work_dir/$1
    rm -f "$dir"/morvel_*.deb
    (cd "$src" && cmake --preset package -B "$dir") >"$work/$1-configure.log" 2>&1 ||
        { cat "$work/$1-configure.log" >&2; return 1; }
    cmake --build "$dir" -j 2 --target package >"$work/$1-build.log" 2>&1 ||
        { tail -n 60 "$work/$1-build.log" >&2; return 1; }
    ls "$dir"/morvel_*.deb
}
deb=$(build_package first)
build_dir=$work_dir/first
echo "built $(basename "$deb")"
dpkg-deb --info "$deb"
fail=0
problem() {
    echo "$*"
    fail=1
}

# Reproducible: a second build in another folder, at another time, gives the same bytes.
second=$(build_package second)
first_sum=$(sha256sum <"$deb" | cut -d' ' -f1)
second_sum=$(sha256sum <"$second" | cut -d' ' -f1)
echo "sha256 $first_sum (first), $second_sum (second)"
if [ "$first_sum" != "$second_sum" ]; then
    problem "two builds of one source give different packages"
    for copy in first second; do
        mkdir -p "$work/unpacked-$copy"
        dpkg-deb -R "$work_dir/$copy/$(basename "$deb")" "$work/unpacked-$copy"
    done
    diff -r "$work/unpacked-first" "$work/unpacked-second" || true
fi

# lintian, every tag shown: any error or warning fails (info and pedantic notes are shown, not
# counted), and so does a hardening tag at any level.
status=0
lintian -EvIL +pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v -e 'running with root privileges' -e '^N: ' "$work/lintian.log" || true
[ "$status" -eq 0 ] || problem "lintian found errors or warnings (exit status $status)"
! grep -E '^[A-Z]: morvel[^:]*: hardening-' "$work/lintian.log" ||
    problem "lintian finds the programs not hardened"

# The programs as the package holds them: full RELRO, bound at start, the stack protector, and
# no RUNPATH (they find their libraries where the system keeps them).
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
for program in morvel morvel-cli; do
    elf=$unpacked/usr/bin/$program
    dynamic=$(readelf -d "$elf")
    ! grep -qE '\((RUNPATH|RPATH)\)' <<<"$dynamic" || problem "$program has a RUNPATH"
    grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" ||
        problem "$program is not bound at start (BIND_NOW)"
    grep -q GNU_RELRO <<<"$(readelf -lW "$elf")" || problem "$program has no RELRO segment"
    imports=$(objdump -T "$elf")
    grep -q __stack_chk_fail <<<"$imports" || problem "$program has no stack protector"
    [ "$program" != morvel ] || grep -q '_chk$' <<<"$imports" ||
        problem "$program has no fortified call"
done

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
        # "libX.so => /path (...)", or for the dynamic loader "/path/ld-linux....so.2 (...)".
        path=$(ldd "$build_dir/bin/$program" |
            awk -v l="$library" '$1 == l { print $3 } $1 ~ "/" l "$" { print $1 }')
        [ -n "$path" ] || { problem "$program: $library not found by ldd"; continue; }
        owner=$(owner_of "$path") || { problem "$program: $library belongs to no package"; continue; }
        # Named, or one of the alternatives a named package depends on (libopenblas0 on
        # libopenblas0-pthread | libopenblas0-openmp | ...).
        grep -qxF "$owner" <<<"$depends_names" ||
            grep -qxF "$owner" <<<"$(for name in $depends_names; do
                dpkg-query -W -f '${Depends}\n' "$name" 2>/dev/null; done |
                sed -E 's/ *\([^)]*\)//g; s/ *[,|] */\n/g')" ||
            problem "$program needs $library from $owner, which Depends does not name"
    done
done
# The workloads run the system's libraries, so that the check above names their packages.
needed=$(objdump -p "$root/usr/bin/morvel-cli")
for library in libz.so.1 libzstd.so.1 libcrypto.so.3 libopenblas.so.0; do
    grep -qE "NEEDED +$library\$" <<<"$needed" || problem "morvel-cli does not use the system's $library"
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
