#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Start-up time of the real program: from launch until its window is mapped and visible, in a
# private X session (Xvfb with a window manager). Five runs.
#   bench/startup.sh [PATH/TO/morvel]    (default: build/dev/bin/morvel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
morvel=${1:-$root/build/dev/bin/morvel}
work=$(mktemp -d)
source "$root/scripts/xsession.sh"
trap 'xsession_stop; rm -rf "$work"' EXIT
xsession_start "$work"
export XDG_DATA_HOME=$work/data

for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
    app=$!
    # Gives up when the program ends before its window shows, or shows none within 60 s.
    deadline=$((SECONDS + 60))
    until xdotool search --onlyvisible --name '^MORVEL - V 3\.0$' >/dev/null 2>&1; do
        if ! kill -0 "$app" 2>/dev/null; then
            status=0
            wait "$app" || status=$?
            echo "run $run: the program ended (exit status $status) before showing its window"
            cat "$work/morvel.log"
            exit 1
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "run $run: no window 'MORVEL - V 3.0' within 60 s"
            kill "$app"
            wait "$app" || true
            cat "$work/morvel.log"
            exit 1
        fi
        sleep 0.005
    done
    shown=$(date +%s%N)
    echo "run $run: window shown $(((shown - start) / 1000000)) ms after launch"
    wid=$(xdotool search --onlyvisible --name '^MORVEL - V 3\.0$' | head -n 1)
    wmctrl -i -c "$wid"
    wait "$app"
done
