#!/usr/bin/env bash
# Draws Morvel's artwork with ImageMagick: the 750 x 75 banner (baseline JFIF JPEG) and the
# 32 x 32 icon. The results are committed in resources/; run this only to redraw them.
set -euo pipefail
cd "$(dirname "$0")/../resources"
font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf

# Banner: a dark navy strip with a maroon-to-silver rule, the name and the tag line.
convert -size 750x75 gradient:'#0b1030'-'#1c2a6b' \
    -fill '#800000' -draw 'rectangle 0,66 750,70' \
    -fill '#c0c0c0' -draw 'rectangle 0,71 750,72' \
    -font "$font" -pointsize 40 -fill white -annotate +24+48 'MORVEL' \
    -font "$font" -pointsize 15 -fill '#c0c0c0' -annotate +210+32 'CPU benchmark' \
    -font "$font" -pointsize 15 -fill '#c0c0c0' -annotate +210+52 'and stress test' \
    -fill none -stroke '#e8b04a' -strokewidth 3 \
    -draw 'polyline 420,40 470,40 485,18 505,60 525,26 540,40 720,40' \
    -strip -interlace none -sampling-factor 2x2 -quality 90 -define jpeg:optimize-coding=false \
    JPEG:banner.jpg

# Icon: a maroon chip with silver pins and a gold pulse.
convert -size 32x32 xc:none \
    -fill '#c0c0c0' \
    -draw 'rectangle 8,2 9,29' -draw 'rectangle 14,2 15,29' -draw 'rectangle 20,2 21,29' \
    -draw 'rectangle 2,8 29,9' -draw 'rectangle 2,14 29,15' -draw 'rectangle 2,20 29,21' \
    -fill '#800000' -stroke '#300000' -draw 'roundrectangle 5,5 26,26 3,3' \
    -fill none -stroke '#f0c040' -strokewidth 2 -draw 'polyline 8,16 12,16 14,10 17,22 19,16 23,16' \
    -strip PNG32:morvel.png
