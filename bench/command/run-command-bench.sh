#!/usr/bin/env bash
# Runs command_bench against a private 2560x1600 Xvfb, started here and stopped by pid.
#   bench/command/run-command-bench.sh <build-dir> [benchmark arguments...]
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
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp -noreset 3>"$work/displayfd" 2>/dev/null &
pids+=($!)
read -r -t 15 display <"$work/displayfd"
DISPLAY=":$display" XDG_RUNTIME_DIR="$work" HOME="$work" "$build/bench/command/command_bench" "$@"
