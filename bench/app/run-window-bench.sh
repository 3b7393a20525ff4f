#!/usr/bin/env bash
# Figures of the app's window on the e2e desktop stack (Xvfb, openbox, trayer, PulseAudio, reference server):
# launch → main window mapped (median of several launches), the app's idle CPU with the window open and with it
# closed, and its resident memory after the window has been shown and closed.
# Usage: bench/app/run-window-bench.sh <build-dir> [launches=5] [idle-seconds=60]
set -uo pipefail
build="$(cd "${1:?build directory}" && pwd)"
launches="${2:-5}"
idle="${3:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export VOKARI_APP="$build/src/app/qt/vokari" VOKARI_SERVER="$build/server/vokari-server"
export VOKARI_E2E_TARGET="$build/tests/e2e/vokari_e2e_target"
source "$root/tests/e2e/e2e_lib.sh"

now_ms() { date +%s%3N; }

stack_start || e2e_fail "the desktop stack did not start"
e2e_start_tray
e2e_start_server
e2e_settings '{"hotkeyOption":"rightControl"}'

# Launch → the main window is mapped (polled every few milliseconds; a poll takes about 10 ms).
startups=()
for ((i = 1; i <= launches; i++)); do
    t0=$(now_ms)
    VOKARI_BACKEND_URL="http://127.0.0.1:$E2E_PORT" VOKARI_SECRET_STORE=file "$VOKARI_APP" >"$STACK_DIR/app.out" 2>&1 &
    E2E_APP_PID=$!
    stack_pids+=("$E2E_APP_PID")
    until e2e_main_window_shown; do
        (($(now_ms) - t0 < 10000)) || e2e_fail "no window within 10 s"
        sleep 0.002
    done
    startups+=($(($(now_ms) - t0)))
    e2e_wait_log "🟢 Vokari running" "$i" 20
    sleep 1
    if ((i < launches)); then
        e2e_stop_app TERM
        sleep 0.5
    fi
done
pid="$E2E_APP_PID"

read_cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
idle_cpu() { # label
    local c0 c1
    sleep 5
    c0=$(read_cpu)
    sleep "$idle"
    c1=$(read_cpu)
    python3 -c "import sys; t = $c1 - $c0; print(f'idle CPU, $1, over $idle s: {100 * t / $(getconf CLK_TCK) / $idle:.3f} % ({t} ticks)')"
}

idle_cpu "window open"
xdotool windowactivate --sync "$(e2e_main_window)" >/dev/null
xte 'keydown Control_L' 'key w' 'keyup Control_L'
stack_wait_for 5 e2e_main_window_hidden || e2e_fail "the window did not close"
idle_cpu "window closed"
echo "resident memory after the window was shown and closed: $(awk '/^VmRSS/ {printf "%.1f MB", $2 / 1024}' "/proc/$pid/status")" \
    "(peak $(awk '/^VmHWM/ {printf "%.1f MB", $2 / 1024}' "/proc/$pid/status"))"
printf '%s\n' "${startups[@]}" | sort -n | python3 -c '
import statistics, sys
v = [int(x) for x in sys.stdin]
print(f"launch -> main window mapped: median {statistics.median(v):.0f} ms (min {min(v)}, max {max(v)}; {len(v)} launches)")'
e2e_stop_app TERM
