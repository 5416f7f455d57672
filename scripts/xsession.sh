# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Sourced by the tests, benchmarks and scripts that drive the real program: starts a private X
# server (Xvfb) on a free display with a window manager, and stops both, by PID, when the calling
# script exits.
#   xsession_start WORKDIR    exports DISPLAY; exits 77 (skipped) when a tool it needs is missing
#   xsession_stop             (also run on exit)
#   xsession_require TOOL...  exits 77 (skipped) when one of the tools is not installed
# Each step waits for a real answer rather than a fixed time: on a loaded machine every start-up
# can take seconds, and a window manager that could not connect is started again.

xsession_pids=()

xsession_stop() {
    local pid
    for pid in "${xsession_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${xsession_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    xsession_pids=()
}

# Polls COMMAND every 0.1 s for up to SECONDS seconds (wall clock, however slow each try is).
xsession_wait() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

xsession_require() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
            exit 77
        fi
    done
}

xsession_start() {
    local work=$1
    xsession_require Xvfb xdpyinfo openbox wmctrl xdotool xmessage
    local displayfile=$work/display
    : >"$displayfile"
    # -noreset: the server keeps running when its last client leaves, so a short-lived client
    # (xdotool, wmctrl) between two programs never meets a server in the middle of a reset.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$displayfile" \
        >"$work/xvfb.log" 2>&1 &
    xsession_server_pid=$!
    xsession_pids+=("$!")
    if ! xsession_wait 30 grep -q '[0-9]' "$displayfile"; then
        echo "Xvfb did not start"
        cat "$work/xvfb.log"
        return 1
    fi
    export DISPLAY=:$(tr -d '\n' <"$displayfile")
    if ! xsession_wait 30 xdpyinfo; then
        echo "Xvfb on $DISPLAY does not accept clients"
        cat "$work/xvfb.log"
        return 1
    fi
    local try wm deadline
    for try in 1 2 3; do
        openbox --sm-disable >"$work/openbox.log" 2>&1 &
        wm=$!
        xsession_pids+=("$wm")
        # Ready once it announces itself; a window manager that exited is started again.
        deadline=$((SECONDS + 30))
        while kill -0 "$wm" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
            wmctrl -m >/dev/null 2>&1 && xsession_wm_maps_windows && return 0
            sleep 0.1
        done
        kill -0 "$wm" 2>/dev/null && break
    done
    echo "window manager did not start"
    cat "$work/openbox.log"
    return 1
}

# A window manager announces itself before it has finished starting, and drops a map request
# that arrives in between. Ready means: a probe window gets shown, its map request sent again
# while it is not.
xsession_wm_maps_windows() {
    local probe id shown=1 deadline=$((SECONDS + 20))
    xmessage -name xsession-probe -title xsession-probe probe >/dev/null 2>&1 &
    probe=$!
    while [ "$SECONDS" -lt "$deadline" ]; do
        if xdotool search --onlyvisible --name '^xsession-probe$' >/dev/null 2>&1; then
            shown=0
            break
        fi
        sleep 0.5
        for id in $(xdotool search --name '^xsession-probe$' 2>/dev/null || true); do
            xdotool windowmap "$id" 2>/dev/null || true
        done
    done
    kill "$probe" 2>/dev/null || true
    wait "$probe" 2>/dev/null || true
    return "$shown"
}

trap xsession_stop EXIT
