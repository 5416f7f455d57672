#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Starts the built program in a real X session, checks its window (and that its class is the one
# the menu entry names), takes a screenshot, closes it as a user would (a window-manager close
# request) and finds the report file written.
#   test_real_window.sh PATH/TO/morvel [SCREENSHOT.png]
set -euo pipefail
morvel=$1
shot=${2:-}
source "$(dirname "$0")/../scripts/xsession.sh"
# Its own trap gives way to the scratch folder's, whose cleanup stops the session.
source "$(dirname "$0")/scratch.sh"
cleanup() {
    xsession_stop
    if [ "$1" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -s "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; }
        done
    fi
}
xsession_require xdotool wmctrl import identify xprop
xsession_start "$work"

# Prints the id of the program's visible main window once it is shown (60 s at most on a loaded
# machine); fails at once if the program has ended instead.
find_window() {
    local id deadline=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$deadline" ]; do
        id=$(xdotool search --onlyvisible --name '^MORVEL - V 3\.0$' 2>/dev/null | head -n 1 || true)
        [ -z "$id" ] || { echo "$id"; return 0; }
        kill -0 "$app" 2>/dev/null || { echo "the program ended before showing its window" >&2; return 1; }
        sleep 0.1
    done
    echo "no window 'MORVEL - V 3.0' within 60 s" >&2
    return 1
}

export XDG_DATA_HOME=$work/data
report=$XDG_DATA_HOME/morvel/MorvelReport.dat
start=$(date +%s%N)
QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
app=$!
xsession_pids=("$app" "${xsession_pids[@]}")

wid=$(find_window)
shown=$(date +%s%N)
echo "window shown $(((shown - start) / 1000000)) ms after start"
[ ! -e "$report" ] || { echo "report file made before any clear or close"; exit 1; }

# Size of the client area and the caption.
geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
name=$(xdotool getwindowname "$wid")
echo "window $wid: '$name' $geometry"
[ "$geometry" = "924x576" ] || { echo "client area is $geometry, not 924x576"; exit 1; }
[ "$name" = "MORVEL - V 3.0" ]
# The window's class is the one its menu entry names as StartupWMClass, by which a dock or task
# bar puts the window with its launcher.
wm_class=$(xprop -id "$wid" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p')
entry_class=$(sed -n 's/^StartupWMClass=//p' \
    "$(dirname "$0")/../resources/org.morvel.Morvel.desktop.in")
echo "window class '$wm_class', the menu entry's '$entry_class'"
[ -n "$entry_class" ] && [ "$wm_class" = "$entry_class" ] ||
    { echo "the window's class is not the menu entry's StartupWMClass"; exit 1; }

# A second window on the same report file is refused with a box that the user sees: above the
# first window, which stays on top of the others. The first window goes on.
QT_QPA_PLATFORM=xcb "$morvel" >"$work/second.log" 2>&1 &
second=$!
xsession_pids=("$second" "${xsession_pids[@]}")
box=
for _ in $(seq 600); do
    box=$(xdotool search --onlyvisible --pid "$second" 2>/dev/null | head -n 1 || true)
    [ -z "$box" ] || break
    kill -0 "$second" 2>/dev/null || { echo "the second window ended without its box"; exit 1; }
    sleep 0.1
done
[ -n "$box" ] || { echo "no box from the second window"; exit 1; }
above() { # whether window $1 is stacked above window $2 (the root's list runs bottom to top)
    local order
    order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g')
    local a b i=0 id
    for id in $order; do
        i=$((i + 1))
        [ "$((id))" -eq "$1" ] && a=$i
        [ "$((id))" -eq "$2" ] && b=$i
    done
    [ -n "${a:-}" ] && [ -n "${b:-}" ] && [ "$a" -gt "$b" ]
}
xsession_wait 30 above "$box" "$wid" ||
    { echo "the 'already running' box is under the first window"; exit 1; }
grep -q 'Morvel is already running (process '"$app"')' "$work/second.log" ||
    { echo "the second window did not say which process runs"; cat "$work/second.log"; exit 1; }
wmctrl -i -c "$box"
status=0
timeout 30 tail --pid="$second" -f /dev/null || { echo "the box did not close"; exit 1; }
wait "$second" || status=$?
kept=()
for pid in "${xsession_pids[@]}"; do [ "$pid" = "$second" ] || kept+=("$pid"); done
xsession_pids=("${kept[@]}") # reaped: its id may be another's from now on
[ "$status" -eq 1 ] || { echo "the second window exited $status, not 1"; exit 1; }
kill -0 "$app" || { echo "the first window ended"; exit 1; }

# A screenshot of what the user sees, once the window is painted (slow under sanitizers).
colours=0
for _ in $(seq 40); do
    sleep 0.25
    import -window root "$work/shot.png"
    colours=$(identify -format '%k' "$work/shot.png")
    [ "$colours" -le 16 ] || break
done
echo "screenshot: $colours colours"
[ "$colours" -gt 16 ] || { echo "the screen looks empty"; exit 1; }
[ -z "$shot" ] || cp "$work/shot.png" "$shot"

# Close it the way a user does: the window manager asks the window to close.
wmctrl -i -c "$wid"
for _ in $(seq 300); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
    echo "the program did not end after the close request"
    exit 1
fi
status=0
wait "$app" || status=$?
cat "$work/morvel.log"
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
[ -f "$report" ] || { echo "no report file at $report"; exit 1; }
[ ! -s "$report" ] || { echo "report file should be empty"; exit 1; }

# A stop signal (a session ending, kill) closes the window the same way: the log is saved.
export XDG_DATA_HOME=$work/data-signal
report=$XDG_DATA_HOME/morvel/MorvelReport.dat
QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
app=$!
xsession_pids=("$app" "${xsession_pids[@]}")
find_window >/dev/null
kill -TERM "$app"
status=0
timeout 30 tail --pid="$app" -f /dev/null || { echo "SIGTERM did not end the program"; exit 1; }
wait "$app" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status after SIGTERM"; exit 1; }
[ -f "$report" ] || { echo "SIGTERM: no report file at $report"; exit 1; }
# A run the program does not survive (SIGKILL, as a crash or a power cut would end it) leaves
# its journal; the next start adds the INTERRUPTED line and saves it at once.
export XDG_DATA_HOME=$work/data-journal XDG_STATE_HOME=$work/state-journal
report=$XDG_DATA_HOME/morvel/MorvelReport.dat
# The report file's journal: run-<key of the report's path>.journal, the only one there.
journals=$XDG_STATE_HOME/morvel/run-*.journal
QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
app=$!
xsession_pids=("$app" "${xsession_pids[@]}")
wid=$(find_window)
# "Benchmark Multithread Testing": the middle of Sp1Button, in the window's client area.
xdotool mousemove --window "$wid" 461 64 click 1
for _ in $(seq 600); do
    # shellcheck disable=SC2086 # the pattern is expanded here
    grep -qx 'ticks=10' $journals 2>/dev/null && break
    sleep 0.1
done
# shellcheck disable=SC2086
grep -qx 'ticks=10' $journals || { echo "no journal of ten ticks at $journals"; exit 1; }
kill -KILL "$app"
wait "$app" 2>/dev/null || true
QT_QPA_PLATFORM=xcb "$morvel" >"$work/morvel.log" 2>&1 &
app=$!
xsession_pids=("$app" "${xsession_pids[@]}")
for _ in $(seq 600); do
    grep -q 'Benchmark Test INTERRUPTED after 10 s' "$report" 2>/dev/null && break
    sleep 0.1
done
grep -q 'Benchmark Test INTERRUPTED after 10 s' "$report" || { echo "no INTERRUPTED line"; exit 1; }
! compgen -G "$journals" >/dev/null || { echo "the journal is still there"; exit 1; }
[ "$(grep -c 'INTERRUPTED' "$report")" -eq 1 ] || { echo "more than one INTERRUPTED line"; exit 1; }

# The display connection breaks after that result: the program ends, and the line it saved the
# moment it existed is on disk.
kill -KILL "$xsession_server_pid"
timeout 30 tail --pid="$app" -f /dev/null || { echo "the program outlived its display"; exit 1; }
grep -q 'Benchmark Test INTERRUPTED after 10 s' "$report" || { echo "the line was lost"; exit 1; }
echo "real window: ok"
