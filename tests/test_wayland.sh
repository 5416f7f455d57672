#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Runs the built program as a native Wayland client: weston with its headless backend on a
# private socket, once with an output scale of 1 and once of 2. Each time the window must be
# made and drawn through the Wayland protocol (read from the client's protocol log), named for
# its desktop entry, stay up, and on SIGTERM keep the report log and exit 0. Exits 77 (skipped)
# when weston or Qt's Wayland platform plugin is missing.
#
# The window is kept off EGL: the program draws with the raster engine into shared memory, and
# only the client-side title bar made Qt's Wayland plugin load the machine's EGL driver, whose
# allocations some Mesa builds never free (LeakSanitizer then fails the sanitizer run with
# frames of an unloaded driver that no suppression can name). The title bar is the compositor's
# business; without it the window's geometry is exactly its client area.
#   test_wayland.sh PATH/TO/morvel
set -euo pipefail
morvel=$1

command -v weston >/dev/null || { echo "weston is not installed: skipped"; exit 77; }
qtcore=$(ldd "$morvel" | awk '/libQt6Core\.so/ { print $3 }')
plugin=$(dirname "$qtcore")/qt6/plugins/platforms/libqwayland-generic.so
[ -f "$plugin" ] || { echo "Qt's Wayland platform plugin is not installed: skipped"; exit 77; }

# The shared helpers: stopping processes by PID and waiting for a real answer.
source "$(dirname "$0")/../scripts/xsession.sh"
# Its own trap gives way to the scratch folder's, whose cleanup stops the session.
source "$(dirname "$0")/scratch.sh"
cleanup() {
    xsession_stop
    if [ "$1" -ne 0 ]; then
        for log in "$work"/*/weston.log "$work"/*/morvel.log; do
            [ -s "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
        done
    fi
}


for scale in 1 2; do
    run=$work/scale$scale
    mkdir -p "$run/runtime" "$run/data/morvel"
    chmod 700 "$run/runtime"
    export XDG_RUNTIME_DIR=$run/runtime
    export WAYLAND_DISPLAY=morvel-test-$$
    weston --backend=headless-backend.so --scale="$scale" --socket="$WAYLAND_DISPLAY" \
        --idle-time=0 --no-config --log="$run/weston.log" >/dev/null 2>&1 &
    weston=$!
    xsession_pids=("$weston" "${xsession_pids[@]}")
    xsession_wait 30 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ||
        { echo "scale $scale: weston did not open its socket"; exit 1; }

    # A hand-written log with LF line ends: unchanged by the session, it is not rewritten.
    report=$run/data/morvel/MorvelReport.dat
    printf '12/1/2026 9:14:02 AM     Benchmark Test Score : 4688\n' >"$report"

    XDG_DATA_HOME=$run/data QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
        QT_WAYLAND_DISABLE_WINDOWDECORATION=1 \
        "$morvel" >"$run/morvel.log" 2>&1 &
    app=$!
    xsession_pids=("$app" "${xsession_pids[@]}")
    log=$run/morvel.log

    # Shown: the compositor configured the window and the program attached a drawn buffer.
    drawn() {
        grep -q 'xdg_toplevel@[0-9]*\.configure(' "$log" &&
            grep -q -- '-> wl_surface@[0-9]*\.attach(wl_buffer@' "$log"
    }
    if ! xsession_wait 60 drawn; then
        kill -0 "$app" 2>/dev/null && echo "scale $scale: no drawn window within 60 s" ||
            echo "scale $scale: the program ended before showing its window"
        exit 1
    fi
    grep -q -- '-> xdg_toplevel@[0-9]*\.set_title("MORVEL - V 3\.0")' "$log" ||
        { echo "scale $scale: no window title"; exit 1; }
    grep -q -- '-> xdg_toplevel@[0-9]*\.set_app_id("org\.morvel\.Morvel")' "$log" ||
        { echo "scale $scale: the window does not name the desktop entry org.morvel.Morvel"; exit 1; }
    grep -q -- '-> xdg_toplevel@[0-9]*\.set_min_size(924, 576)' "$log" ||
        { echo "scale $scale: the window is not 924 x 576"; exit 1; }
    if [ "$scale" -gt 1 ]; then
        grep -q -- "-> wl_surface@[0-9]*\.set_buffer_scale($scale)" "$log" ||
            { echo "scale $scale: the window is not drawn at the output's scale"; exit 1; }
    fi

    # No EGL driver in the process (see the top): its leaks are not the program's.
    egl=$(grep -oE '/[^ ]*/(libEGL_[a-z]+|[a-z0-9_]+_dri)\.so[^ ]*' "/proc/$app/maps" | sort -u || true)
    [ -z "$egl" ] || { echo "scale $scale: the window loaded an EGL driver:"; echo "$egl"; exit 1; }
    grep -q -- '-> xdg_surface@[0-9]*\.set_window_geometry(0, 0, 924, 576)' "$log" ||
        { echo "scale $scale: the window's geometry is not its 924 x 576 client area"; exit 1; }

    # It stays up.
    sleep 3
    kill -0 "$app" 2>/dev/null || { echo "scale $scale: the program ended on its own"; exit 1; }

    # SIGTERM closes the window as the session's end would: the log kept, exit status 0.
    kill -TERM "$app"
    timeout 30 tail --pid="$app" -f /dev/null || { echo "scale $scale: SIGTERM did not end the program"; exit 1; }
    status=0
    wait "$app" || status=$?
    xsession_pids=("$weston")
    [ "$status" -eq 0 ] || { echo "scale $scale: exit status $status after SIGTERM"; exit 1; }
    expected=$(printf '12/1/2026 9:14:02 AM     Benchmark Test Score : 4688\n' | od -c)
    [ "$(od -c <"$report")" = "$expected" ] ||
        { echo "scale $scale: the report log was not kept:"; od -c "$report"; exit 1; }

    kill "$weston"
    wait "$weston" 2>/dev/null || true
    xsession_pids=() # both reaped: their ids may belong to others from now on
    echo "scale $scale: window shown, stayed up, log kept on SIGTERM"
done
echo "wayland: ok"
