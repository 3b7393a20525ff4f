#!/usr/bin/env bash
# Runs desktop_bench against a private Xvfb and PulseAudio (null sink), both started here and stopped by pid.
#   bench/desktop/run-x11-bench.sh <build-dir> [benchmark arguments...]
set -euo pipefail
build="${1:?build directory}"
shift
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/displayfd" 2>/dev/null &
pids+=($!)
read -r -t 15 display <"$work/displayfd"
cat >"$work/bench.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock
load-module module-null-sink sink_name=spk
set-default-sink spk
PA
XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work" HOME="$work" \
    pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$work/bench.pa" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/pulse.sock" ] && break; sleep 0.1; done
DISPLAY=":$display" PULSE_SERVER="unix:$work/pulse.sock" XDG_RUNTIME_DIR="$work" \
    "$build/bench/desktop/desktop_bench" "$@"
