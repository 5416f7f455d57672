#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Makes docs/screenshot-bench.png, docs/screenshot-stress.png and docs/screenshot-reports.png:
# the real program in a private X session (Xvfb), one picture per tab, with a run under way on
# the first two; docs/screenshot.png, the three side by side; and docs/screenshot-monitor.png,
# the Monitor tab 20 seconds into a benchmark.
#   scripts/screenshots.sh [PATH/TO/morvel]    (default: build/dev/bin/morvel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
morvel=${1:-$root/build/dev/bin/morvel}
work=$(mktemp -d)
source "$root/scripts/xsession.sh"
trap 'xsession_stop; rm -rf "$work"' EXIT
xsession_start "$work"

# A report log with a few lines, so the Reports tab shows something.
export XDG_DATA_HOME=$work/data
mkdir -p "$XDG_DATA_HOME/morvel"
printf '%s\r\n' \
    "12/1/2026 9:14:02 AM     Benchmark Test Score : 4688" \
    "12/1/2026 10:02:45 AM     Stress Test (w/ multi-thread process) : 40min test completed." \
    "12/7/2026 3:05:09 PM     Benchmark Test Score : 4702" \
    >"$XDG_DATA_HOME/morvel/MorvelReport.dat"

LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
xsession_pids=("$!" "${xsession_pids[@]}")
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^MORVEL - V 3\.0$' | head -n 1)
sleep 1

# Clicks at a point of the window's client area.
click() {
    xdotool mousemove --window "$wid" "$1" "$2" click 1
    sleep 0.3
}
shoot() {
    sleep "$2"
    import -window "$wid" "$root/docs/screenshot-$1.png"
    echo "docs/screenshot-$1.png"
}

mkdir -p "$root/docs"
click 458 70 # Benchmark Multithread Testing
shoot bench 4.5
click 120 12 # Stress Test tab
click 458 60 # Begin Stress Test (stops the benchmark first)
shoot stress 4.5
click 200 12 # Reports tab
shoot reports 0.5
convert "$root/docs/screenshot-bench.png" "$root/docs/screenshot-stress.png" \
    "$root/docs/screenshot-reports.png" -resize 50% +append +repage "$root/docs/screenshot.png"
echo "docs/screenshot.png"
click 40 12  # Bench Test tab
click 458 70 # Benchmark Multithread Testing (stops the stress test first)
xdotool key --window "$wid" ctrl+4 # Monitor tab
shoot monitor 20

# docs/screenshot-scale2.png: the window at a scale factor of 2, as on a HiDPI screen, with a
# benchmark under way, in an X server of its own that is large enough for it (1848 x 1152 device
# pixels) and without a window manager.
: >"$work/display2"
Xvfb -displayfd 3 -screen 0 2048x1280x24 -nolisten tcp -noreset 3>"$work/display2" \
    >"$work/xvfb2.log" 2>&1 &
xsession_pids=("$!" "${xsession_pids[@]}")
xsession_wait 30 grep -q '[0-9]' "$work/display2"
display2=:$(tr -d '\n' <"$work/display2")
xsession_wait 30 env DISPLAY="$display2" xdpyinfo
DISPLAY=$display2 LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 "$morvel" \
    >"$work/morvel2.log" 2>&1 &
xsession_pids=("$!" "${xsession_pids[@]}")
wid2=$(DISPLAY=$display2 timeout 20 xdotool search --sync --onlyvisible --name '^MORVEL - V 3\.0$' |
    head -n 1)
sleep 1
DISPLAY=$display2 xdotool mousemove --window "$wid2" 916 140 click 1 # Benchmark Multithread Testing
sleep 4.5
DISPLAY=$display2 import -window "$wid2" "$root/docs/screenshot-scale2.png"
echo "docs/screenshot-scale2.png"
