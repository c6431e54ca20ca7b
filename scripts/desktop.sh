# A virtual desktop for the window: an X server (Xvfb) on a free display, 1024 x 768 at
# 96 dpi, with the openbox window manager, which decorates windows as a desktop does.
# Sourced by the scripts. start_virtual_desktop SCRATCH-FOLDER sets DISPLAY;
# stop_virtual_desktop ends both programs.

virtual_desktop_pids=()

start_virtual_desktop() {
    local scratch=$1
    # Xvfb picks a free display number and writes it to descriptor 3.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$scratch/display" \
        >"$scratch/xvfb.log" 2>&1 &
    virtual_desktop_pids+=($!)
    wait_until "$scratch/xvfb.log" "Xvfb did not start" test -s "$scratch/display"
    export DISPLAY=:$(head -n1 "$scratch/display")
    wait_until "$scratch/xvfb.log" "Xvfb does not answer" xprop -root -len 0 _NET_SUPPORTED

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

stop_virtual_desktop() {
    local pid
    for pid in "${virtual_desktop_pids[@]}"; do
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
