#!/usr/bin/env bash
# Helpers for the end-to-end tests and the end-to-end benchmark: the reference server, the target text window,
# the app itself, speech into the virtual microphone, hotkey presses through XTest, and loose text checks.
# Source after stack.sh; every process started here is tracked in stack_pids and stopped by its pid on EXIT.
# Needs VOKARI_APP, VOKARI_SERVER and VOKARI_E2E_TARGET (paths of the three executables).

e2e_here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=stack.sh
source "$e2e_here/stack.sh"

E2E_SERVER_PID=""
E2E_APP_PID=""
E2E_TARGET_PID=""
E2E_PORT=""
E2E_SPEECH_COUNT=0

e2e_dump() {
    local f
    # Before the stack is up HOME is still the real one: nothing of ours to show.
    [ "$HOME" = "$STACK_DIR/home" ] || return 0
    for f in "$HOME/.vokari.log" "$STACK_DIR/server.log" "$STACK_DIR/app.out" "$STACK_DIR/target-events.log" \
        "$STACK_DIR/target.txt"; do
        [ -f "$f" ] || continue
        echo "----- $f (last 40 lines)" >&2
        tail -n 40 "$f" >&2
    done
}

e2e_fail() {
    echo "FAIL: $*" >&2
    e2e_dump
    exit 1
}

# E2E_VERBOSE=1 shows the logs of a passing run too.
e2e_pass() {
    [ "${E2E_VERBOSE:-0}" = 1 ] && e2e_dump
    echo "PASS: $*"
}

# CTest ends an overdue case with SIGKILL, which would leave its desktop running: give up first, through the
# normal exit path that stops every process.
e2e_watchdog() { # seconds
    local main=$$
    (
        trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
        sleep "$1" &
        sleeper=$!
        wait "$sleeper" && kill -TERM "$main"
    ) &
    stack_pids+=("$!")
    trap "e2e_fail 'gave up after $1 s'" TERM
}

e2e_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

e2e_start_server() { # [port]
    E2E_PORT="${1:-${E2E_PORT:-$(e2e_free_port)}}"
    # shellcheck disable=SC2086 # E2E_SERVER_ARGS holds extra options, split on purpose
    "$VOKARI_SERVER" --listen "127.0.0.1:$E2E_PORT" --data "$STACK_DIR/server-data" ${E2E_SERVER_ARGS:-} \
        >>"$STACK_DIR/server.log" 2>&1 &
    E2E_SERVER_PID=$!
    stack_pids+=("$E2E_SERVER_PID")
    stack_wait_for 20 curl -sf "http://127.0.0.1:$E2E_PORT/health" || e2e_fail "the reference server did not start"
}

e2e_stop_server() {
    [ -n "$E2E_SERVER_PID" ] || return 0
    kill "$E2E_SERVER_PID" 2>/dev/null || true
    wait "$E2E_SERVER_PID" 2>/dev/null || true
    E2E_SERVER_PID=""
}

e2e_start_target() { # [--terminal] [--class NAME]
    rm -f "$STACK_DIR/target.ready" "$STACK_DIR/target.txt"
    : >"$STACK_DIR/target-events.log"
    "$VOKARI_E2E_TARGET" --out "$STACK_DIR/target.txt" --events "$STACK_DIR/target-events.log" \
        --ready "$STACK_DIR/target.ready" "$@" >"$STACK_DIR/target.out" 2>&1 &
    E2E_TARGET_PID=$!
    stack_pids+=("$E2E_TARGET_PID")
    stack_wait_for 20 test -s "$STACK_DIR/target.ready" || e2e_fail "the target window never became active"
}

# Cases are returning users unless their settings say otherwise: the welcome panel would take the focus.
e2e_settings() { # JSON object
    mkdir -p "$XDG_CONFIG_HOME/vokari"
    python3 -c 'import json, sys; s = json.loads(sys.argv[1]); s.setdefault("hasCompletedOnboarding", True); print(json.dumps(s))' \
        "$1" >"$XDG_CONFIG_HOME/vokari/settings.json.tmp" || e2e_fail "bad settings JSON: $1"
    mv "$XDG_CONFIG_HOME/vokari/settings.json.tmp" "$XDG_CONFIG_HOME/vokari/settings.json"
}

# Lines of the app's permanent log that contain the text.
e2e_log_count() {
    local n
    n=$(grep -cF -- "$1" "$HOME/.vokari.log" 2>/dev/null)
    echo "${n:-0}"
}

e2e_wait_log() { # text count seconds
    local text="$1" want="$2" secs="$3"
    local deadline=$((SECONDS + secs))
    until [ "$(e2e_log_count "$text")" -ge "$want" ]; do
        ((SECONDS < deadline)) || e2e_fail "timed out waiting for log line #$want: $text"
        e2e_app_alive || e2e_fail "the app exited while waiting for: $text"
        sleep 0.05
    done
}

# The app reaches the test's server; its device identifier goes to the private-file store, as the test session
# runs no keyring daemon.
e2e_start_app() {
    local running
    running=$(($(e2e_log_count "🟢 Vokari running") + 1))
    VOKARI_BACKEND_URL="http://127.0.0.1:$E2E_PORT" VOKARI_SECRET_STORE=file \
        "$VOKARI_APP" >"$STACK_DIR/app.out" 2>&1 &
    E2E_APP_PID=$!
    stack_pids+=("$E2E_APP_PID")
    e2e_wait_log "🟢 Vokari running" "$running" 20
    stack_wait_for 10 e2e_main_window_shown || e2e_fail "no main window after launch"
    E2E_APP_WINDOWS="$(xdotool search --onlyvisible --name '^Vokari$' 2>/dev/null)"
    # The main window opens at launch and takes the focus; give it back to where the user was typing.
    e2e_focus_target
}

# Visible windows titled "Vokari" that were not there at launch (alerts), one id a line.
e2e_alert_windows() {
    xdotool search --onlyvisible --name '^Vokari$' 2>/dev/null | grep -vxF -e "${E2E_APP_WINDOWS:-none}"
}

e2e_focus_target() {
    [ -s "$STACK_DIR/target.ready" ] || return 0
    xdotool windowactivate --sync "$(head -n1 "$STACK_DIR/target.ready")" >/dev/null 2>&1 ||
        e2e_fail "cannot give the focus back to the target window"
}

e2e_app_alive() {
    [ -n "$E2E_APP_PID" ] && kill -0 "$E2E_APP_PID" 2>/dev/null
}

# Stops the app with a signal and checks that it cleaned up and exited with status 0.
e2e_stop_app() { # [signal]
    local sig="${1:-TERM}" status=0
    kill "-$sig" "$E2E_APP_PID"
    wait "$E2E_APP_PID" || status=$?
    E2E_APP_PID=""
    [ "$status" -eq 0 ] || e2e_fail "the app exited with status $status after SIG$sig"
    [ "$(e2e_log_count "🧹 Cleanup complete")" -ge 1 ] || e2e_fail "no clean-up line after SIG$sig"
}

e2e_hotkey() { xte 'key Control_R'; }
e2e_hotkey_down() { xte 'keydown Control_R'; }
e2e_hotkey_up() { xte 'keyup Control_R'; }

# Synthesises the sentence with flite and plays it into the virtual microphone; returns when it has played.
e2e_speak() { # sentence
    E2E_SPEECH_COUNT=$((E2E_SPEECH_COUNT + 1))
    local wav="$STACK_DIR/speech-$E2E_SPEECH_COUNT.wav"
    flite -voice slt -t "$1" -o "$wav" || e2e_fail "flite failed"
    paplay -d micsink "$wav" || e2e_fail "paplay failed"
}

# Call before the press that starts a recording; e2e_wait_recording then waits until that recording runs and its
# first audio block has arrived, so no word is spoken too early.
e2e_mark_recording() {
    E2E_STARTED_BEFORE=$(e2e_log_count "🎙 Dictation started")
    E2E_FIRST_BEFORE=$(e2e_log_count "🎙 First buffer")
}
e2e_wait_recording() {
    e2e_wait_log "🎙 Dictation started" "$((E2E_STARTED_BEFORE + 1))" 10
    e2e_wait_log "🎙 First buffer" "$((E2E_FIRST_BEFORE + 1))" 10
}

# Press, wait until recording, speak (the caller stops the recording).
e2e_record() { # sentence
    e2e_mark_recording
    e2e_hotkey
    e2e_wait_recording
    e2e_speak "$1"
    sleep 0.3
}

e2e_target_text() { cat "$STACK_DIR/target.txt" 2>/dev/null || true; }

# Percentage of the sentence's words found in the text (case and punctuation ignored).
e2e_word_score() { # expected text
    python3 - "$1" "$2" <<'PY'
import re, sys
norm = lambda s: re.findall(r"[a-z0-9']+", s.lower())
want, got = norm(sys.argv[1]), set(norm(sys.argv[2]))
print(int(100 * sum(w in got for w in want) / max(1, len(want))))
PY
}

# Waits until the target window holds most of the sentence's words.
e2e_wait_text() { # sentence seconds [min-percent]
    local sentence="$1" secs="$2" min="${3:-60}" score=0
    local deadline=$((SECONDS + secs))
    while ((SECONDS < deadline)); do
        score=$(e2e_word_score "$sentence" "$(e2e_target_text)")
        ((score >= min)) && return 0
        sleep 0.1
    done
    e2e_fail "target text scored $score% (< $min%) for \"$sentence\": \"$(e2e_target_text)\""
}

# Requests to a path in the server's access log.
e2e_server_requests() { # path
    local n
    n=$(grep -c " POST $1 " "$STACK_DIR/server.log" 2>/dev/null)
    echo "${n:-0}"
}

# Answers with one status to a path in the server's access log.
e2e_server_answers() { # path status
    local n
    n=$(grep -c " POST $1 $2 " "$STACK_DIR/server.log" 2>/dev/null)
    echo "${n:-0}"
}

# The window that has the focus, as a decimal id ("0" for none).
e2e_active_window() {
    local id
    id=$(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | awk '{print $NF}')
    printf '%d\n' "${id:-0}" 2>/dev/null || echo 0
}

# The recording capsule's window id while it is mapped (nothing while hidden).
e2e_capsule_window() { xdotool search --onlyvisible --name '^Vokari capsule$' 2>/dev/null | head -n1; }

# Samples the focused window every 50 ms into active.log until e2e_focus_kept reads it.
e2e_watch_focus() {
    (while :; do
        e2e_active_window
        sleep 0.05
    done) >"$STACK_DIR/active.log" 2>/dev/null &
    E2E_FOCUS_WATCH=$!
    stack_pids+=("$E2E_FOCUS_WATCH")
}

# Fails unless every sample since e2e_watch_focus named the given window.
e2e_focus_kept() { # window-id
    kill "$E2E_FOCUS_WATCH" 2>/dev/null
    wait "$E2E_FOCUS_WATCH" 2>/dev/null
    local others
    others=$(grep -v -x -- "$1" "$STACK_DIR/active.log" | sort -u | tr '\n' ' ')
    [ -s "$STACK_DIR/active.log" ] || e2e_fail "the focus watcher took no samples"
    [ -z "$others" ] || e2e_fail "the focus left the target window $1 for: $others"
}

e2e_target_events() { # pattern
    local n
    n=$(grep -c -- "$1" "$STACK_DIR/target-events.log" 2>/dev/null)
    echo "${n:-0}"
}

# The usual set-up: desktop, server, target window, settings, app.
e2e_setup() { # settings-json [target arguments...]
    local settings="$1"
    shift
    for v in VOKARI_APP VOKARI_SERVER VOKARI_E2E_TARGET; do
        [ -x "${!v:-}" ] || e2e_fail "$v does not name an executable"
    done
    stack_start || e2e_fail "the desktop stack did not start"
    e2e_start_server
    e2e_start_target "$@"
    e2e_settings "$settings"
    e2e_start_app
}

# Reads or presses the app's controls through AT-SPI (tests/e2e/atspi_window.py); fails the case on a miss.
e2e_atspi() { # names|press|showing args...
    /usr/bin/python3 "$e2e_here/atspi_window.py" "$E2E_APP_PID" "$@" || e2e_fail "AT-SPI: $*"
}

# A tray host, as a desktop panel would provide (start it before the app).
e2e_start_tray() {
    trayer --edge top --align right --widthtype pixel --width 120 --height 24 --SetDockType true \
        >"$STACK_DIR/trayer.log" 2>&1 &
    stack_pids+=("$!")
    stack_wait_for 10 xdotool search --class '^trayer$' || e2e_fail "trayer did not start"
}

# The windows docked in the tray host (the app's tray icon once it has embedded), one id a line: the panel's
# children that have a size (trayer keeps a 1 × 1 helper there too).
e2e_tray_icons() {
    local panel
    for panel in $(xdotool search --classname '^panel$' 2>/dev/null); do
        xwininfo -children -id "$panel" 2>/dev/null | awk '/^ +0x[0-9a-f]+ / && $0 !~ / 1x1\+/ {print $1}'
    done
}

# The visible main window (a "Vokari" window at least 400 wide: the tray icon's window has the same name).
e2e_main_window() {
    local w
    for w in $(xdotool search --onlyvisible --name '^Vokari$' 2>/dev/null); do
        (($(xwininfo -id "$w" | awk '/Width:/{print $2}') >= 400)) && echo "$w"
    done
    return 0
}
e2e_main_window_shown() { [ -n "$(e2e_main_window)" ]; }
e2e_main_window_hidden() { [ -z "$(e2e_main_window)" ]; }

# The colour in the middle of the tray icon as a word: white, orange, green, red or other.
e2e_tray_colour() {
    local icon geometry w h
    icon=$(e2e_tray_icons | head -n1)
    [ -n "$icon" ] || {
        echo none
        return
    }
    geometry=$(xwininfo -id "$icon" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w" "h}')
    read -r w h <<<"$geometry"
    /usr/bin/import -silent -window "$icon" -crop "1x1+$((w / 2))+$((h / 2))" txt:- 2>/dev/null | python3 -c '
import re, sys
m = re.search(r"\((\d+(?:\.\d+)?),(\d+(?:\.\d+)?),(\d+(?:\.\d+)?)", sys.stdin.read())
if not m:
    print("none"); sys.exit()
r, g, b = (float(x) for x in m.groups())
if max(r, g, b) > 255:  # a 16-bit build of ImageMagick prints 0-65535
    r, g, b = r / 257, g / 257, b / 257
if min(r, g, b) > 170 and max(r, g, b) - min(r, g, b) < 30: print("white")
elif r > 200 and 110 < g < 200 and b < 90: print("orange")
elif g > 150 and r < 120 and b < 140: print("green")
elif r > 200 and g < 110 and b < 110: print("red")
else: print("other", int(r), int(g), int(b))'
}

e2e_wait_tray_colour() { # colour seconds
    local deadline=$((SECONDS + $2)) got=""
    while ((SECONDS < deadline)); do
        got=$(e2e_tray_colour)
        [ "$got" = "$1" ] && return 0
        sleep 0.05
    done
    e2e_fail "the tray dot stayed $got, expected $1"
}

# A backend that fails every dictation in one way (tests/e2e/fault_server.py: 500, hang or die) on E2E_PORT.
e2e_start_fault_server() { # mode
    python3 "$e2e_here/fault_server.py" "$E2E_PORT" "$1" >>"$STACK_DIR/server.log" 2>&1 &
    E2E_SERVER_PID=$!
    stack_pids+=("$E2E_SERVER_PID")
    stack_wait_for 20 curl -sf "http://127.0.0.1:$E2E_PORT/health" || e2e_fail "the fault server ($1) did not start"
}

# Recordings kept for a retry, one WAV path a line, oldest first.
e2e_unsent() { ls "$XDG_DATA_HOME/vokari/unsent/"*.wav 2>/dev/null | sort; }
e2e_unsent_count() { e2e_unsent | wc -l; }
