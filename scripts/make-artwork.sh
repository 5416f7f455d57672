#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Draws Morvel's artwork. The results are committed in resources/; run this only to redraw them.
# - The banner, a baseline JFIF JPEG, with ImageMagick: banner.jpg at 750 x 75 and
#   banner@2x.jpg at 1500 x 150 (the same drawing at twice the size, for screens with a device
#   pixel ratio above 1).
# - The icon: icons/morvel.svg is the drawing (icons/morvel-small.svg the same on the 16-pixel
#   grid); rsvg-convert renders it at each size and ImageMagick maps every pixel to the 16-colour
#   palette with on/off transparency, as an icon of 16 colours is drawn. morvel.png (32 x 32) is
#   the window icon; icons/morvel-N.png the other sizes of the hicolor theme.
# Needs imagemagick, librsvg2-bin and fonts-liberation.
set -euo pipefail
cd "$(dirname "$0")/../resources"
font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf

# Banner at SCALE times 750 x 75: a dark navy strip with a maroon-to-silver rule, the name and
# the tag line.
banner() {
    local s=$1 out=$2
    convert -size $((750 * s))x$((75 * s)) gradient:'#0b1030'-'#1c2a6b' \
        -fill '#800000' -draw "rectangle 0,$((66 * s)) $((750 * s)),$((71 * s - 1))" \
        -fill '#c0c0c0' -draw "rectangle 0,$((71 * s)) $((750 * s)),$((73 * s - 1))" \
        -font "$font" -pointsize $((40 * s)) -fill white -annotate +$((24 * s))+$((48 * s)) 'MORVEL' \
        -font "$font" -pointsize $((15 * s)) -fill '#c0c0c0' \
        -annotate +$((210 * s))+$((32 * s)) 'CPU benchmark' \
        -font "$font" -pointsize $((15 * s)) -fill '#c0c0c0' \
        -annotate +$((210 * s))+$((52 * s)) 'and stress test' \
        -fill none -stroke '#e8b04a' -strokewidth $((3 * s)) \
        -draw "polyline $(for p in 420,40 470,40 485,18 505,60 525,26 540,40 720,40; do
            printf '%d,%d ' $((${p%,*} * s)) $((${p#*,} * s)); done)" \
        -strip -interlace none -sampling-factor 2x2 -quality 90 -define jpeg:optimize-coding=false \
        "JPEG:$out"
}
banner 1 banner.jpg
banner 2 banner@2x.jpg

# The 16 colours of the classic palette.
palette=$(mktemp --suffix=.png)
trap 'rm -f "$palette"' EXIT
colours=()
for c in 000000 800000 008000 808000 000080 800080 008080 c0c0c0 \
    808080 ff0000 00ff00 ffff00 0000ff ff00ff 00ffff ffffff; do
    colours+=("xc:#$c")
done
convert "${colours[@]}" +append "$palette"

# Renders SVG at SIZE x SIZE into OUT: colours mapped to the palette without dithering, pixels
# more than half covered opaque and the rest transparent.
icon() {
    local svg=$1 size=$2 out=$3
    rsvg-convert -w "$size" -h "$size" "$svg" |
        convert - \( +clone -alpha extract -threshold 50% \) \
            \( -clone 0 -alpha off +dither -remap "$palette" \) \
            -delete 0 +swap -alpha off -compose CopyOpacity -composite -strip "PNG32:$out"
}
icon icons/morvel-small.svg 16 icons/morvel-16.png
icon icons/morvel.svg 32 morvel.png
for size in 48 64 128 256; do
    icon icons/morvel.svg "$size" "icons/morvel-$size.png"
done
