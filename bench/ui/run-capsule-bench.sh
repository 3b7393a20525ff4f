#!/usr/bin/env bash
# The recording capsule's CPU cost on a private Xvfb: without a compositing manager (window mask), then with
# xcompmgr (translucent window). Each run alternates capsule shown / hidden under the same 10 Hz level feed.
# Usage: bench/ui/run-capsule-bench.sh <build-dir> [seconds-per-phase=10] [rounds=3]
set -euo pipefail
build="$(cd "${1:?build directory}" && pwd)"
phase="${2:-10}"
rounds="${3:-3}"
bench="$build/bench/ui/capsule_cpu_bench"
[ -x "$bench" ] || { echo "build the capsule_cpu_bench target first" >&2; exit 2; }

work="$(mktemp -d /tmp/vokari-capsule-bench.XXXXXX)"
chmod 700 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"
xvfb_cpu() { awk '{print $14 + $15}' "/proc/$xvfb/stat"; }

run() {
    local before after
    before=$(xvfb_cpu)
    "$bench" "$phase" "$rounds"
    after=$(xvfb_cpu)
    echo "Xvfb over the whole run: $(((after - before) * 1000 / $(getconf CLK_TCK))) ms of CPU"
}

echo "== no compositing manager"
run
xcompmgr >"$work/xcompmgr.log" 2>&1 &
pids+=($!)
sleep 0.5
echo "== xcompmgr"
run
