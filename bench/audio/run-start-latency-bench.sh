#!/usr/bin/env bash
# Press → first recorded sample and release → last recorded sample of the running app, cold (first press after each
# launch) and warm, on the e2e desktop stack (Xvfb, openbox, PulseAudio virtual microphone) with a stub backend that
# keeps every recording; also checks that the app holds no record stream while idle and measures its CPU while
# recording and while idle. See start_latency.py.
# Usage: bench/audio/run-start-latency-bench.sh <build-dir> [warm-presses=20] [cold-presses=20] [idle-seconds=30] [hold]
# "hold" measures hold mode (press = the key going down) instead of toggle taps.
set -uo pipefail
build="$(cd "${1:?build directory}" && pwd)"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/e2e/stack.sh"

stack_start || exit 1
mkdir -p "$XDG_CONFIG_HOME/vokari"
hold=false
[ "${5:-}" = hold ] && hold=true
echo "{\"hotkeyOption\":\"rightControl\",\"hotkeyHoldMode\":$hold,\"hasCompletedOnboarding\":true}" \
    >"$XDG_CONFIG_HOME/vokari/settings.json"
python3 "$root/bench/audio/start_latency.py" --app "$build/src/app/qt/vokari" --home "$HOME" \
    --runs "${2:-20}" --cold "${3:-20}" --idle "${4:-30}" $([ "$hold" = true ] && echo --hold)
