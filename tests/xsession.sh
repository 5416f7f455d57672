# Sourced by the scripts that drive the real program: starts a private X server (Xvfb) on a free
# display with a window manager, and stops both, by PID, when the calling script exits.
#   xsession_start WORKDIR    exports DISPLAY
#   xsession_stop             (also run on exit)

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

xsession_start() {
    local work=$1
    local displayfile=$work/display
    : >"$displayfile"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" >"$work/xvfb.log" 2>&1 &
    xsession_pids+=($!)
    local i
    for i in $(seq 100); do
        [ -s "$displayfile" ] && break
        sleep 0.1
    done
    [ -s "$displayfile" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; return 1; }
    export DISPLAY=:$(tr -d '\n' <"$displayfile")
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    xsession_pids+=($!)
    for i in $(seq 100); do
        wmctrl -m >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "window manager did not start"
    return 1
}

trap xsession_stop EXIT
