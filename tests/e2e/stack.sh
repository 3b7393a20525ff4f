#!/usr/bin/env bash
# A private desktop session for end-to-end tests: Xvfb, openbox, a D-Bus session bus and PulseAudio with a
# virtual microphone ("micsink" feeds the default source "vmic"). Source this file, then call stack_start.
# Every process started here is recorded and stopped by its pid in stack_stop, which runs on EXIT.

stack_pids=()
STACK_DIR="$(mktemp -d /tmp/vokari-e2e.XXXXXX)"

stack_log() { echo "[stack] $*" >&2; }

stack_stop() {
    local pid
    for ((i = ${#stack_pids[@]} - 1; i >= 0; i--)); do
        pid="${stack_pids[$i]}"
        kill "$pid" 2>/dev/null || true
    done
    sleep 0.2
    for pid in "${stack_pids[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
    done
    stack_pids=()
    # A case may have mounted a small file system inside (the full-disk case): let go of it first.
    findmnt -rn -o TARGET 2>/dev/null | grep -F "$STACK_DIR/" | sort -r | xargs -r -d '\n' umount -l 2>/dev/null
    rm -rf "$STACK_DIR"
}

stack_wait_for() { # seconds command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            stack_log "timed out waiting for: $*"
            return 1
        fi
        sleep 0.1
    done
}

stack_start() {
    trap stack_stop EXIT
    export HOME="$STACK_DIR/home" XDG_CONFIG_HOME="$STACK_DIR/home/.config" XDG_DATA_HOME="$STACK_DIR/home/.local/share"
    export XDG_RUNTIME_DIR="$STACK_DIR/run"
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"

    # Xvfb picks a free display itself, but two servers starting at once (other test runs on this machine) can
    # race for the same one and the loser exits: start again until our server and its window manager are up.
    local attempt xvfb wm
    for attempt in 1 2 3 4 5; do
        rm -f "$STACK_DIR/display"
        Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$STACK_DIR/display" 2>"$STACK_DIR/xvfb.log" &
        xvfb=$!
        stack_pids+=("$xvfb")
        if stack_wait_for 10 test -s "$STACK_DIR/display"; then
            export DISPLAY=":$(head -n1 "$STACK_DIR/display")"
            openbox --sm-disable >"$STACK_DIR/openbox.log" 2>&1 &
            wm=$!
            stack_pids+=("$wm")
            if stack_wait_for 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' &&
                kill -0 "$xvfb" 2>/dev/null && kill -0 "$wm" 2>/dev/null; then
                STACK_XVFB_PID=$xvfb
                break
            fi
            kill "$wm" 2>/dev/null
        fi
        kill "$xvfb" 2>/dev/null
        stack_log "desktop attempt $attempt failed:"
        cat "$STACK_DIR/openbox.log" "$STACK_DIR/xvfb.log" >&2 2>/dev/null
        ((attempt < 5)) || return 1
        sleep 0.5
    done

    eval "$(dbus-launch --sh-syntax)"
    stack_pids+=("$DBUS_SESSION_BUS_PID")

    cat >"$STACK_DIR/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$STACK_DIR/pulse.sock
load-module module-null-sink sink_name=spk
load-module module-null-sink sink_name=micsink
load-module module-remap-source source_name=vmic master=micsink.monitor
set-default-sink spk
set-default-source vmic
PA
    pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$STACK_DIR/pulse.pa" >"$STACK_DIR/pulse.log" 2>&1 &
    STACK_PULSE_PID=$!
    stack_pids+=("$STACK_PULSE_PID")
    export PULSE_SERVER="unix:$STACK_DIR/pulse.sock"
    stack_wait_for 10 pactl info || return 1
    # A low-latency reader on the mic sink's monitor keeps the null sink from stalling the first capture.
    parec --latency-msec=20 -d micsink.monitor >/dev/null 2>&1 &
    stack_pids+=($!)
    stack_log "desktop up on $DISPLAY, pulse at $PULSE_SERVER"
}
