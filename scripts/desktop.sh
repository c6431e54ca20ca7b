# Virtual desktops for the window, each in a scratch folder of its own (its XDG_RUNTIME_DIR,
# logs, sockets). Sourced by the scripts.
#
#   start_virtual_desktop SCRATCH  an X server (Xvfb) on a free display, 1024 x 768 at 96 dpi,
#                                  with the openbox window manager; sets DISPLAY.
#   start_weston SCRATCH           weston 10's headless compositor with XWayland; sets
#                                  desktop_wayland (its socket) and desktop_x11 (its X display).
#   start_mutter SCRATCH           mutter, GNOME's compositor, nested on an Xvfb of its own;
#                                  sets desktop_wayland, desktop_x11, desktop_xauthority and
#                                  DISPLAY (the Xvfb that shows it, for pictures).
#   stop_virtual_desktop           ends every program these started.
#
# Other programs may run X servers and compositors at the same time: displays are chosen by
# the servers themselves, and sockets carry this shell's process id.

virtual_desktop_pids=()

start_xvfb() {
    local scratch=$1 size=$2
    mkdir -p "$scratch"
    # Xvfb picks a free display number and writes it to descriptor 3.
    Xvfb -displayfd 3 -screen 0 "${size}x24" -dpi 96 -nolisten tcp 3>"$scratch/display" \
        >"$scratch/xvfb.log" 2>&1 &
    virtual_desktop_pids+=($!)
    wait_until "$scratch/xvfb.log" "Xvfb did not start" test -s "$scratch/display"
    export DISPLAY=:$(head -n1 "$scratch/display")
    wait_until "$scratch/xvfb.log" "Xvfb does not answer" xprop -root -len 0 _NET_SUPPORTED
}

start_virtual_desktop() {
    local scratch=$1
    start_xvfb "$scratch" 1024x768
    # The window manager is ready once it has announced itself on the root window. It is
    # given a second chance: on a busy machine it has been seen to miss a fresh display.
    local attempt
    for attempt in 1 2; do
        openbox >"$scratch/openbox.log" 2>&1 &
        virtual_desktop_pids+=($!)
        wait_until "$scratch/openbox.log" "openbox did not start (attempt $attempt)" \
            sh -c "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" &&
            return 0
    done
    return 1
}

# A private runtime folder, as a login session has one.
private_runtime_folder() {
    mkdir -p "$1/run"
    chmod 0700 "$1/run"
    echo "$1/run"
}

# XWayland puts its socket in /tmp/.X11-unix, which only X servers create.
x11_socket_folder() {
    [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
}

start_weston() {
    local scratch=$1
    mkdir -p "$scratch"
    local runtime
    runtime=$(private_runtime_folder "$scratch")
    x11_socket_folder
    desktop_wayland=tq4800-weston-$$
    XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --use-pixman \
        --width=1280 --height=800 --socket="$desktop_wayland" --xwayland \
        --log="$scratch/weston.log" >/dev/null 2>&1 &
    virtual_desktop_pids+=($!)
    wait_until "$scratch/weston.log" "weston did not start XWayland" \
        grep -qs "xserver listening on display" "$scratch/weston.log"
    desktop_x11=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$scratch/weston.log")
    desktop_runtime=$runtime
}

start_mutter() {
    local scratch=$1
    start_xvfb "$scratch" 1280x800
    local runtime
    runtime=$(private_runtime_folder "$scratch")
    x11_socket_folder
    desktop_wayland=tq4800-mutter-$$
    XDG_RUNTIME_DIR=$runtime MUTTER_DEBUG_DUMMY_MODE_SPECS=1280x800 \
        dbus-run-session -- mutter --nested --wayland --wayland-display="$desktop_wayland" \
        >"$scratch/mutter.log" 2>&1 &
    virtual_desktop_pids+=($!)
    wait_until "$scratch/mutter.log" "mutter did not start XWayland" \
        grep -qs "Using public X11 display" "$scratch/mutter.log"
    desktop_x11=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$scratch/mutter.log")
    local authority=("$runtime"/.mutter-Xwaylandauth.*)
    desktop_xauthority=${authority[0]}
    desktop_runtime=$runtime
}

stop_virtual_desktop() {
    local pid
    for pid in "${virtual_desktop_pids[@]}"; do
        # dbus-run-session and its children go as a group would: children first.
        pkill -TERM -P "$pid" 2>/dev/null || true
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    virtual_desktop_pids=()
}

# wait_until LOG MESSAGE COMMAND...: runs COMMAND every tenth of a second for up to ten
# seconds until it succeeds; otherwise shows LOG, says MESSAGE and fails.
wait_until() {
    local log=$1 message=$2
    shift 2
    local _
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    cat "$log" >&2
    echo "$message" >&2
    return 1
}
