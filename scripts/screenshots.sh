#!/usr/bin/env bash
# Renders the recording capsule in each look and size on a private Xvfb into docs/screenshots/ for review:
# with a compositing manager (xcompmgr: translucent, rounded, faded) in every size, without one (window mask) in
# medium, and medium at device pixel ratio 2. Usage: scripts/screenshots.sh <build-dir> [out-dir]
set -euo pipefail
build="$(cd "${1:?build directory}" && pwd)"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${2:-$root/docs/screenshots}"
tool="$build/tests/ui/vokari_render_capsule"
[ -x "$tool" ] || cmake --build "$build" --target vokari_render_capsule
mkdir -p "$out"

work="$(mktemp -d /tmp/vokari-shots.XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"
chmod 700 "$work"

"$tool" "$out" "-plain" medium
xcompmgr >"$work/xcompmgr.log" 2>&1 &
pids+=($!)
sleep 0.5
"$tool" "$out" "" small medium large
QT_SCALE_FACTOR=2 "$tool" "$out" "-hidpi" medium
