#!/usr/bin/env bash
# End-to-end dictation through the running app on a private desktop: hotkey by XTest, speech into the virtual
# microphone, the reference server, text pasted into a real window. Usage: dictation_e2e.sh <case>.
set -uo pipefail
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/e2e_lib.sh"

SENTENCE="the quick brown fox jumps over the lazy dog"
SECOND="remember to buy milk eggs and bread on the way home"
HOTKEY='"hotkeyOption":"rightControl"'

# Toggle mode: press, speak, press; the text is pasted with Control+V and nothing else follows it. The recording
# capsule shows at the top centre while recording, never takes the focus from the target window, and goes once the
# text has landed.
case_toggle() {
    e2e_setup "{$HOTKEY}"
    local target capsule geometry
    target=$(e2e_active_window)
    [ "$target" != 0 ] || e2e_fail "no active window before the dictation"
    e2e_watch_focus
    e2e_record "$SENTENCE"
    capsule=$(e2e_capsule_window)
    [ -n "$capsule" ] || e2e_fail "no capsule while recording"
    # Medium (200 × 34), centred in the work area, 6 px below its top.
    read -r wx wy ww _ < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
    geometry=$(xdotool getwindowgeometry "$capsule" | tr -s ' ' | tr '\n' ' ')
    case "$geometry" in
    *"Position: $((wx + (ww - 200) / 2)),$((wy + 6)) "*"Geometry: 200x34"*) ;;
    *) e2e_fail "capsule not at the top centre: $geometry" ;;
    esac
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    stack_wait_for 3 sh -c "! xdotool search --onlyvisible --name '^Vokari capsule\$'" ||
        e2e_fail "the capsule stayed after the text landed"
    e2e_focus_kept "$target"
    sleep 0.5
    [ "$(e2e_target_events 'key Ctrl+V$')" -eq 1 ] || e2e_fail "expected one Control+V"
    [ "$(e2e_target_events 'key Return$')" -eq 0 ] || e2e_fail "Return arrived without auto-enter"
    # Streamed while recording: one answered stream, and no fallback.
    [ "$(e2e_server_answers /process/stream 200)" -eq 1 ] || e2e_fail "expected exactly one answered stream"
    [ "$(e2e_server_requests /process)" -eq 0 ] || e2e_fail "a streamed dictation went to /process as well"
    e2e_stop_app TERM
}

# Command mode: a double tap while recording makes the recording a command. The screenshot goes with it, the plan
# ("type hello world and then press enter") runs in the focused target window, nothing is pasted, and a plan whose
# click misses still ends with the app ready for the next recording.
case_command() {
    e2e_setup "{$HOTKEY,\"commandModeEnabled\":true}"
    e2e_mark_recording
    xte 'key Control_R' 'key Control_R'
    e2e_wait_recording
    e2e_wait_log "⚡️ Command mode activated (double-tap while recording)" 1 5
    e2e_speak "type hello world and then press enter"
    sleep 0.3
    e2e_hotkey
    e2e_wait_log "📸 Screen captured: " 1 10
    e2e_wait_text "hello world" 30
    e2e_wait_log "⚡️ Command [" 2 10
    [ "$(e2e_server_requests /command)" -eq 1 ] || e2e_fail "expected exactly one /command request"
    [ "$(e2e_server_requests /process)" -eq 0 ] || e2e_fail "a command went to /process"
    [ "$(e2e_server_answers /process/stream 200)" -eq 0 ] || e2e_fail "a command was answered as a dictation"
    [ "$(e2e_target_events 'key Ctrl+V$')" -eq 0 ] || e2e_fail "a command pasted"

    # A click on a control no window has fails that action only; the app is ready again afterwards.
    e2e_mark_recording
    xte 'key Control_R' 'key Control_R'
    e2e_wait_recording
    e2e_speak "click the purple elephant"
    sleep 0.3
    e2e_hotkey
    e2e_wait_log "⚠️ Could not find UI element: " 1 30
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 30
    e2e_stop_app TERM
}

# Hold mode: the recording lasts while the key is held; SIGINT ends the app cleanly.
case_hold() {
    e2e_setup "{$HOTKEY,\"hotkeyHoldMode\":true}"
    e2e_mark_recording
    e2e_hotkey_down
    e2e_wait_recording
    e2e_speak "$SENTENCE"
    sleep 0.3
    e2e_hotkey_up
    e2e_wait_text "$SENTENCE" 20
    e2e_stop_app INT
}

# Escape while recording discards the recording: nothing is sent or pasted, and the app is idle again.
case_escape() {
    e2e_setup "{$HOTKEY}"
    e2e_record "$SENTENCE"
    xte 'key Escape'
    e2e_wait_log "🎙 Dictation cancelled" 1 5
    sleep 2
    [ -z "$(e2e_target_text)" ] || e2e_fail "text was pasted after Escape: $(e2e_target_text)"
    [ "$(e2e_server_requests /process)" -eq 0 ] || e2e_fail "a cancelled recording was sent"
    [ "$(e2e_server_answers /process/stream 200)" -eq 0 ] || e2e_fail "a cancelled stream was finished"
    e2e_record "$SECOND"
    e2e_hotkey
    e2e_wait_text "$SECOND" 20
}

# Auto-enter: Return follows the paste.
case_autoenter() {
    e2e_setup "{$HOTKEY,\"autoEnterAfterPaste\":true}"
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    stack_wait_for 5 grep -q 'key Return$' "$STACK_DIR/target-events.log" || e2e_fail "no Return after the paste"
    local paste ret
    paste=$(grep -n 'key Ctrl+V$' "$STACK_DIR/target-events.log" | head -n1 | cut -d: -f1)
    ret=$(grep -n 'key Return$' "$STACK_DIR/target-events.log" | head -n1 | cut -d: -f1)
    [ -n "$paste" ] && [ "$ret" -gt "$paste" ] || e2e_fail "Return did not come after Control+V"
    sleep 0.3
    [ "$(e2e_target_text | tail -c 1 | od -An -c | tr -d ' ')" = '\n' ] || e2e_fail "the text does not end in a newline"
}

# A terminal-class window gets Control+Shift+V (a plain Control+V would show up as "^V").
case_terminal() {
    e2e_setup "{$HOTKEY}" --terminal --class XTerm
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    sleep 0.5
    [ "$(e2e_target_events 'key Ctrl+Shift+V$')" -eq 1 ] || e2e_fail "expected one Control+Shift+V"
    case "$(e2e_target_text)" in *'^V'*) e2e_fail "a plain Control+V reached the terminal" ;; esac
}

# Two presses 0.1 s apart: too short, nothing is sent; after the reset a real dictation works.
case_short() {
    e2e_setup "{$HOTKEY}"
    e2e_hotkey
    sleep 0.1
    e2e_hotkey
    sleep 3
    [ "$(e2e_log_count "🎙 Sending")" -eq 0 ] || e2e_fail "a too-short recording was sent"
    [ "$(e2e_server_requests /process)" -eq 0 ] || e2e_fail "the server got a too-short recording"
    [ "$(e2e_server_answers /process/stream 200)" -eq 0 ] || e2e_fail "a too-short stream was finished"
    [ -z "$(e2e_target_text)" ] || e2e_fail "text was pasted after a too-short recording"
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
}

# The backend is down: nothing is pasted and the app keeps running; once the server is back the next
# dictation works.
case_backenddown() {
    e2e_setup "{$HOTKEY}"
    e2e_stop_server
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_log "🎙 Sending" 1 10
    sleep 3
    e2e_app_alive || e2e_fail "the app died with the backend down"
    [ -z "$(e2e_target_text)" ] || e2e_fail "text was pasted with the backend down"
    e2e_start_server "$E2E_PORT"
    e2e_record "$SECOND"
    e2e_hotkey
    e2e_wait_text "$SECOND" 20
}

# The daily limit: an alert with one "OK" button, nothing pasted; the app is busy until the alert is dismissed
# and ready for the next recording afterwards.
case_dailylimit() {
    E2E_SERVER_ARGS="--daily-limit 1" e2e_setup "{$HOTKEY}"
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    local pasted
    pasted="$(e2e_target_text)"
    e2e_record "$SECOND"
    e2e_hotkey
    stack_wait_for 20 e2e_alert_windows || e2e_fail "no alert window"
    local starts
    starts=$(e2e_log_count "🎙 Dictation started")
    e2e_hotkey
    sleep 1
    [ "$(e2e_log_count "🎙 Dictation started")" -eq "$starts" ] || e2e_fail "a recording started under the alert"
    [ "$(e2e_target_text)" = "$pasted" ] || e2e_fail "text was pasted past the daily limit"
    e2e_wait_log "💾 Recording kept for a retry: " 1 5
    grep -q '"error":"Daily limit reached"' "$(e2e_unsent | sed 's/wav$/json/')" ||
        e2e_fail "the recording refused for the daily limit is not kept with its reason"
    # Openbox keeps the focus where the user was typing; bring the alert forward the way a click would.
    xdotool windowactivate --sync "$(e2e_alert_windows | head -n1)" >/dev/null 2>&1 ||
        e2e_fail "cannot activate the alert"
    xte 'key Return'
    stack_wait_for 5 bash -c "! xdotool search --onlyvisible --name '^Vokari\$' | grep -vxF -e '${E2E_APP_WINDOWS:-none}'" ||
        e2e_fail "the alert did not close"
    e2e_mark_recording
    e2e_hotkey
    e2e_wait_recording
    xte 'key Escape'
    e2e_wait_log "🎙 Dictation cancelled" 1 5
}

# One instance per session; no display means a one-line error and status 1.
case_instance() {
    e2e_setup "{$HOTKEY}"
    local out status=0
    out=$(timeout 10 "$VOKARI_APP" 2>&1) || status=$?
    [ "$status" -eq 0 ] || e2e_fail "a second launch exited with $status"
    case "$out" in *"already running"*) ;; *) e2e_fail "no clear message from a second launch: $out" ;; esac
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || e2e_fail "the second launch said more than one line: $out"
    [ "$(e2e_log_count "STARTED — Vokari launching...")" -eq 1 ] || e2e_fail "the second launch started logging"
    [ "$(e2e_log_count "⌨️ Global hotkey active")" -eq 1 ] || e2e_fail "a second hotkey listener started"
    e2e_app_alive || e2e_fail "the first instance died"
    status=0
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$VOKARI_APP" 2>&1) || status=$?
    [ "$status" -eq 1 ] || e2e_fail "no display: exit status $status, expected 1"
    [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || e2e_fail "no display: expected one line, got: $out"
    e2e_stop_app TERM
    # The lock goes with the process: a new launch after the first has ended starts normally.
    e2e_start_app
    e2e_stop_app TERM
}

# The launcher behind the README's run command: with nothing answering at the origin it starts the reference
# server, runs the app, and on SIGTERM ends both.
case_launcher() {
    [ -d "${VOKARI_BUILD_ROOT:-}" ] || e2e_fail "VOKARI_BUILD_ROOT does not name the build directory"
    stack_start || e2e_fail "the desktop stack did not start"
    E2E_PORT=$(e2e_free_port)
    VOKARI_BACKEND_URL="http://127.0.0.1:$E2E_PORT" VOKARI_SECRET_STORE=file \
        bash "$e2e_here/../../scripts/launch.sh" "$VOKARI_BUILD_ROOT" >"$STACK_DIR/app.out" 2>&1 &
    E2E_APP_PID=$!
    stack_pids+=("$E2E_APP_PID")
    e2e_wait_log "🟢 Vokari running" 1 30
    curl -sf "http://127.0.0.1:$E2E_PORT/health" >/dev/null || e2e_fail "the launcher started no server"
    e2e_stop_app TERM
    if curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$E2E_PORT/health"; then
        e2e_fail "the server still answers after the app ended"
    fi
}

# The visible app: tray dot, main window, welcome panel. A new user sees the panel; the dot follows a real
# dictation; the main window closes without ending the app and comes back from the tray and from a second launch.
case_window() {
    stack_start || e2e_fail "the desktop stack did not start"
    e2e_start_tray
    # Whole-file decoding, so "processing" lasts long enough to be seen on the dot: a streamed answer can come
    # within one sample of the tray's colour.
    E2E_SERVER_ARGS="${E2E_SERVER_ARGS:-} --no-stream" e2e_start_server
    e2e_start_target
    e2e_settings "{$HOTKEY,\"hasCompletedOnboarding\":false}"
    # The accessibility bus, so the test reads and presses controls by their names as a screen reader would.
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$STACK_DIR/a11y.log" 2>&1 &
    stack_pids+=("$!")
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    e2e_start_app
    stack_wait_for 5 xdotool search --onlyvisible --name '^Welcome to Vokari$' || e2e_fail "no welcome panel"
    e2e_atspi names "Got it" "Customise hotkey →" Home Settings About
    e2e_atspi press About
    e2e_atspi showing "Voice to text, instantly."
    e2e_atspi names "Check for Updates"
    stack_wait_for 10 e2e_tray_icons || e2e_fail "no tray icon"
    e2e_wait_tray_colour white 5
    # The panel has the focus; its first control is "Got it".
    xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Welcome to Vokari$' | head -n1)" >/dev/null
    xte 'key space'
    stack_wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Welcome to Vokari\$'" || e2e_fail "the panel stayed"
    grep -q '"hasCompletedOnboarding": *true' "$XDG_CONFIG_HOME/vokari/settings.json" || e2e_fail "onboarding not marked done"

    local main
    main=$(e2e_main_window)
    xdotool windowactivate --sync "$main" >/dev/null
    xte 'keydown Control_L' 'key w' 'keyup Control_L'
    stack_wait_for 5 e2e_main_window_hidden || e2e_fail "Ctrl+W left the window open"
    e2e_app_alive || e2e_fail "closing the window ended the app"
    local out status=0
    out=$(timeout 10 "$VOKARI_APP" 2>&1) || status=$?
    [ "$status" -eq 0 ] || e2e_fail "a second launch exited with $status: $out"
    stack_wait_for 5 e2e_main_window_shown ||
        e2e_fail "a second launch did not show the window"
    # Qt gives a closed window a new X window when it is shown again; the same widgets (and tab) come back in it.
    main=$(e2e_main_window)
    [ "$(echo "$main" | wc -l)" -eq 1 ] || e2e_fail "expected one main window, got: $main"

    # Left click on the tray icon brings the closed window back.
    xdotool windowactivate --sync "$main" >/dev/null
    xte 'keydown Control_L' 'key w' 'keyup Control_L'
    stack_wait_for 5 e2e_main_window_hidden || e2e_fail "the window stayed open"
    local icon
    icon=$(e2e_tray_icons | head -n1)
    xdotool mousemove --window "$icon" 5 5 click 1
    stack_wait_for 5 e2e_main_window_shown ||
        e2e_fail "a tray click did not show the window"

    e2e_focus_target
    e2e_record "$SENTENCE"
    e2e_wait_tray_colour orange 3
    e2e_hotkey
    local seen="" colour deadline=$((SECONDS + 20))
    while ((SECONDS < deadline)); do
        colour=$(e2e_tray_colour)
        [ "$colour" = green ] && seen=green
        (($(e2e_word_score "$SENTENCE" "$(e2e_target_text)") >= 60)) && break
    done
    e2e_wait_text "$SENTENCE" 1
    [ "$seen" = green ] || e2e_fail "the dot was never green while the recording was processed"
    e2e_wait_tray_colour white 5

    # Right click: the menu is built for the state at that moment ("Start Recording", then "Stop Recording",
    # which ends the recording like a hotkey press).
    local started stopped
    started=$(e2e_log_count "🎙 Dictation started")
    stopped=$(e2e_log_count "⏹ Audio capture stopped")
    xdotool mousemove --window "$icon" 5 5 click 3
    sleep 0.5
    xte 'key Down' 'key Return'
    e2e_wait_log "🎙 Dictation started" "$((started + 1))" 5
    e2e_wait_tray_colour orange 3
    xdotool mousemove --window "$icon" 5 5 click 3
    sleep 0.5
    xte 'key Down' 'key Return'
    e2e_wait_log "⏹ Audio capture stopped" "$((stopped + 1))" 5
    e2e_wait_tray_colour white 10
    e2e_stop_app TERM
}

# The hotkey changes live from the Settings tab: the key recorder takes F8 (the tab's Toggle pop-up chosen by
# keyboard, as a person would), F8 then dictates and the text also appears in Home's history; Right Control, the old
# key, no longer starts a recording.
case_hotkeysettings() {
    stack_start || e2e_fail "the desktop stack did not start"
    e2e_start_tray
    e2e_start_server
    e2e_start_target
    e2e_settings "{$HOTKEY,\"hasCompletedOnboarding\":true}"
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$STACK_DIR/a11y.log" 2>&1 &
    stack_pids+=("$!")
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    e2e_start_app
    local main
    main=$(e2e_main_window)
    xdotool windowactivate --sync "$main" >/dev/null
    e2e_atspi press Settings
    e2e_atspi open "Right Ctrl" # a pop-up is named by its current item
    # The list's last item is Custom, which opens the recorder.
    sleep 0.5
    xte 'key End' 'key Return'
    stack_wait_for 5 xdotool search --onlyvisible --name '^Press any key$' || e2e_fail "no key recorder"
    xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Press any key$' | head -n1)" >/dev/null
    sleep 0.3
    xte 'key F8'
    e2e_wait_log "⌨️ Hotkey changed to Custom: Key " 1 5
    grep -q '"hotkeyOption": *"custom"' "$XDG_CONFIG_HOME/vokari/settings.json" || e2e_fail "custom key not stored"
    e2e_atspi press Home

    e2e_focus_target
    local started
    started=$(e2e_log_count "🎙 Dictation started")
    xte 'key Control_R'
    sleep 1.5
    [ "$(e2e_log_count "🎙 Dictation started")" -eq "$started" ] || e2e_fail "the old key still starts a recording"

    e2e_mark_recording
    xte 'key F8'
    e2e_wait_recording
    e2e_speak "$SENTENCE"
    sleep 0.3
    xte 'key F8'
    e2e_wait_text "$SENTENCE" 20
    e2e_atspi showing "$(e2e_target_text)"
    e2e_stop_app TERM
}

# A backend that answers 500, one that hangs past the (test-shortened) time-out and one that dies in the middle of
# the request: each recording is kept, 0600, with its reason beside it, and nothing is pasted. With the real server
# back, the Home history's "Retry", the tray's "Retry Last Dictation" and `vokarictl retry` each paste or print
# their recording's text, and each success removes its file.
THIRD="please call me back after lunch tomorrow"
case_unsent() {
    stack_start || e2e_fail "the desktop stack did not start"
    e2e_start_tray
    E2E_PORT=$(e2e_free_port)
    e2e_start_fault_server 500
    e2e_start_target
    e2e_settings "{$HOTKEY}"
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$STACK_DIR/a11y.log" 2>&1 &
    stack_pids+=("$!")
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 VOKARI_TEST_REQUEST_TIMEOUT=10
    e2e_start_app
    local n=0 sentence mode
    for mode in 500 hang die; do
        n=$((n + 1))
        if [ "$mode" != 500 ]; then
            e2e_stop_server
            e2e_start_fault_server "$mode"
        fi
        case $mode in 500) sentence=$SENTENCE ;; hang) sentence=$SECOND ;; die) sentence=$THIRD ;; esac
        e2e_record "$sentence"
        e2e_hotkey
        e2e_wait_log "💾 Recording kept for a retry: " "$n" 20
        [ "$(e2e_unsent_count)" -eq "$n" ] || e2e_fail "expected $n kept recordings after '$mode': $(e2e_unsent)"
        sleep 2.6 # the error's reset
    done
    e2e_wait_log "⚠️ Server error 500: processing failed" 1 1
    e2e_wait_log "⚠️ Process failed: " 2 1
    [ -z "$(e2e_target_text)" ] || e2e_fail "text was pasted although every request failed: $(e2e_target_text)"
    local wav
    for wav in $(e2e_unsent); do
        [ "$(stat -c %a "$wav")" = 600 ] && [ "$(stat -c %a "${wav%.wav}.json")" = 600 ] ||
            e2e_fail "a kept recording is not private: $(ls -l "$wav" "${wav%.wav}.json")"
    done
    grep -q '"error":"Processing failed — try again"' "$(e2e_unsent | head -n1 | sed 's/wav$/json/')" ||
        e2e_fail "the first recording's description lacks its reason"
    grep -q '"error":"Request timed out — try again"' "$(e2e_unsent | sed -n 2p | sed 's/wav$/json/')" ||
        e2e_fail "the hung request is not described as a time-out"

    e2e_stop_server
    e2e_start_server "$E2E_PORT"
    # The Home history's button (the newest row's, at the bottom); the focus stays in the target window.
    e2e_atspi showing "Not sent"
    e2e_atspi press Retry
    e2e_wait_text "$THIRD" 20
    e2e_wait_log "🗑 Unsent recording " 1 5
    [ "$(e2e_unsent_count)" -eq 2 ] || e2e_fail "the retried recording is still kept: $(e2e_unsent)"

    # The tray menu's second entry while one is kept.
    local icon
    icon=$(e2e_tray_icons | head -n1)
    [ -n "$icon" ] || e2e_fail "no tray icon"
    xdotool mousemove --window "$icon" 5 5 click 3
    sleep 0.5
    xte 'key Down' 'key Down' 'key Return'
    e2e_wait_text "$SECOND" 20
    e2e_wait_log "🗑 Unsent recording " 2 5

    local out
    out=$(VOKARI_BACKEND_URL="http://127.0.0.1:$E2E_PORT" VOKARI_SECRET_STORE=file \
        "$VOKARI_BUILD_ROOT/tools/vokarictl/vokarictl" retry 2>>"$STACK_DIR/vokarictl.log") ||
        e2e_fail "vokarictl retry failed: $out"
    [ "$(e2e_word_score "$SENTENCE" "$out")" -ge 60 ] || e2e_fail "vokarictl retry printed: $out"
    [ "$(e2e_unsent_count)" -eq 0 ] || e2e_fail "recordings are still kept: $(e2e_unsent)"
    e2e_stop_app TERM
}

# The sound server is killed in the middle of a recording: the app says the microphone is lost and sends what was
# heard until then, which is pasted; it keeps running.
case_pulsekill() {
    e2e_setup "{$HOTKEY}"
    e2e_record "$SENTENCE"
    kill -KILL "$STACK_PULSE_PID"
    e2e_wait_log "❌ Audio capture lost — ending the recording" 1 60
    e2e_wait_text "$SENTENCE" 30
    e2e_app_alive || e2e_fail "the app died with the sound server"
    e2e_stop_app TERM
}

# The settings directory sits on a full disk (a 64 KiB tmpfs, mounted as root): a change the user makes cannot be
# saved, the log says where and why, the old settings file is left exactly as it was, and the app keeps working.
case_settingsfull() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: settingsfull mounts a tmpfs and needs root"
        exit 77
    fi
    stack_start || e2e_fail "the desktop stack did not start"
    e2e_start_server
    e2e_start_target
    local dir="$XDG_CONFIG_HOME/vokari"
    mkdir -p "$dir"
    if ! mount -t tmpfs -o size=64k,mode=0700 tmpfs "$dir"; then
        echo "SKIP: this machine does not let root mount a tmpfs"
        exit 77
    fi
    e2e_settings "{$HOTKEY,\"hasCompletedOnboarding\":false}"
    cp "$dir/settings.json" "$STACK_DIR/settings.before"
    dd if=/dev/zero of="$dir/filler" bs=1k 2>/dev/null
    [ "$(df --output=avail "$dir" | tail -n1 | tr -d ' ')" -eq 0 ] || e2e_fail "the tmpfs is not full"
    e2e_start_app
    stack_wait_for 5 xdotool search --onlyvisible --name '^Welcome to Vokari$' || e2e_fail "no welcome panel"
    xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Welcome to Vokari$' | head -n1)" >/dev/null
    xte 'key space' # "Got it" stores that the panel was seen
    e2e_wait_log "⚠️ Settings could not be saved to $dir/settings.json (" 1 10
    grep -F "⚠️ Settings could not be saved to" "$HOME/.vokari.log" | grep -q "No space left on device" ||
        e2e_fail "the log does not say the disk is full"
    cmp -s "$dir/settings.json" "$STACK_DIR/settings.before" || e2e_fail "the old settings file changed"
    [ -z "$(ls "$dir" | grep -v -x -e settings.json -e filler)" ] || e2e_fail "leftovers: $(ls "$dir")"
    e2e_focus_target
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    e2e_stop_app TERM
    umount "$dir" || e2e_fail "cannot unmount $dir"
}

# The X server goes away under the running app in the middle of a recording: it says so in its log, keeps what was
# recorded for a retry, runs its usual clean-up and exits with status 1 (it could not go on), without a crash.
case_xgone() {
    e2e_setup "{$HOTKEY}"
    e2e_record "$SENTENCE" # what was recorded is kept for a retry
    kill -KILL "$STACK_XVFB_PID"
    local deadline=$((SECONDS + 15)) status=0
    while e2e_app_alive && ((SECONDS < deadline)); do
        sleep 0.1
    done
    e2e_app_alive && e2e_fail "the app still runs without its X server"
    wait "$E2E_APP_PID" || status=$?
    E2E_APP_PID=""
    [ "$status" -eq 1 ] || e2e_fail "exit status $status without the X server, expected 1"
    [ "$(e2e_log_count "❌ The X server went away — quitting")" -eq 1 ] || e2e_fail "no log line about the X server"
    [ "$(e2e_log_count "🧹 Cleanup complete")" -eq 1 ] || e2e_fail "no clean-up after the X server went"
    [ "$(e2e_unsent_count)" -eq 1 ] || e2e_fail "the recording in progress was not kept"
    grep -q '"error":"The X server went away during the recording"' "$(e2e_unsent | sed 's/wav$/json/')" ||
        e2e_fail "the kept recording does not say why"
}

# A backend without streaming (--no-stream answers 404): the dictation still lands, through one /process with the
# whole recording, and the next dictation goes straight to /process.
case_streamrefused() {
    E2E_SERVER_ARGS="${E2E_SERVER_ARGS:-} --no-stream" e2e_setup "{$HOTKEY}"
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    [ "$(e2e_server_answers /process/stream 404)" -eq 1 ] || e2e_fail "expected one refused stream"
    [ "$(e2e_server_answers /process 200)" -eq 1 ] || e2e_fail "expected exactly one /process after the refusal"
    e2e_wait_log "⚠️ Backend does not stream (404)" 1 1
    e2e_record "$SECOND"
    e2e_hotkey
    e2e_wait_text "$SECOND" 20
    [ "$(e2e_server_requests /process/stream)" -eq 1 ] || e2e_fail "the app streamed again to a backend that refused"
    [ "$(e2e_server_answers /process 200)" -eq 2 ] || e2e_fail "expected the second dictation on /process"
    e2e_stop_app TERM
}


# An update from A to B. A runs from its bundle, installed in the user's applications folder; the reference server
# offers B (this build with the next version) under --releases. "Update Now" downloads, checks and installs B over A;
# "Restart" ends A and starts the copy just installed, which is B, keeps the settings and the device identity, and
# dictates.
case_update() {
    [ -x "${VOKARI_NEXT_APP:-}" ] || e2e_fail "VOKARI_NEXT_APP does not name an executable"
    [ -d "${VOKARI_BUILD_ROOT:-}" ] || e2e_fail "VOKARI_BUILD_ROOT does not name the build directory"
    stack_start || e2e_fail "the desktop stack did not start"
    local package="$e2e_here/../../scripts/package.sh" rel_a="$STACK_DIR/release-a" rel_b="$STACK_DIR/release-b"
    bash "$package" --no-build --build-dir "$VOKARI_BUILD_ROOT" --out "$rel_a" >>"$STACK_DIR/package.log" 2>&1 ||
        e2e_fail "package.sh failed for A: $(tail -n 5 "$STACK_DIR/package.log")"
    bash "$package" --no-build --build-dir "$VOKARI_BUILD_ROOT" --app "$VOKARI_NEXT_APP" --out "$rel_b" \
        >>"$STACK_DIR/package.log" 2>&1 || e2e_fail "package.sh failed for B: $(tail -n 5 "$STACK_DIR/package.log")"
    local version_a version_b
    version_a=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["version"])' "$rel_a/manifest.json")
    version_b=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["version"])' "$rel_b/manifest.json")
    [ "$version_a" != "$version_b" ] || e2e_fail "A and B are both $version_a"

    export VOKARI_UPDATE_DIR="$HOME/.local/opt/vokari"
    mkdir -p "$VOKARI_UPDATE_DIR"
    tar -xzf "$rel_a/Vokari-$version_a-linux-x86_64.tar.gz" -C "$VOKARI_UPDATE_DIR" || e2e_fail "cannot unpack A"
    local installed="$VOKARI_UPDATE_DIR/Vokari/bin/vokari"
    E2E_SERVER_ARGS="--releases $rel_b" e2e_start_server
    e2e_start_target
    e2e_settings "{$HOTKEY,\"soundFeedback\":false}"
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$STACK_DIR/a11y.log" 2>&1 &
    stack_pids+=("$!")
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    VOKARI_APP="$installed" e2e_start_app
    local old="$E2E_APP_PID" settings identity
    settings=$(cat "$XDG_CONFIG_HOME/vokari/settings.json")

    # The first automatic check, 5 s after launch, offers B.
    stack_wait_for 20 /usr/bin/python3 "$e2e_here/atspi_window.py" "$old" names "Update Now" "Later" ||
        e2e_fail "no \"Update Available\" alert: $(grep -F '[update]' "$STACK_DIR/app.out" | tail -n 3)"
    identity=$(cat "$XDG_DATA_HOME/vokari/secrets.json") || e2e_fail "no device identity stored"
    e2e_atspi press "Update Now"
    stack_wait_for 30 /usr/bin/python3 "$e2e_here/atspi_window.py" "$old" names Restart ||
        e2e_fail "no \"Update Installed\" alert: $(grep -F '[update]' "$STACK_DIR/app.out" | tail -n 3)"
    [ "$("$installed" --version)" = "Vokari $version_b" ] || e2e_fail "B is not installed: $("$installed" --version)"
    e2e_atspi press Restart

    # A ends by itself; the instance now holding the lock is B, started from the copy just installed.
    local status=0
    wait "$old" || status=$?
    [ "$status" -eq 0 ] || e2e_fail "A exited with status $status after the restart"
    local lock="$XDG_RUNTIME_DIR/vokari.lock" new=""
    stack_wait_for 15 sh -c "p=\$(head -n1 '$lock'); [ -n \"\$p\" ] && [ \"\$p\" != $old ] && kill -0 \"\$p\"" ||
        e2e_fail "no new instance holds the lock"
    new=$(head -n1 "$lock")
    stack_pids+=("$new")
    E2E_APP_PID="$new"
    [ "$(readlink "/proc/$new/exe")" = "$installed" ] || e2e_fail "the restart ran $(readlink "/proc/$new/exe")"
    e2e_wait_log "🟢 Vokari running" 2 20
    e2e_atspi press About
    e2e_atspi showing "Version $version_b"

    python3 -c 'import json, sys; a = json.loads(sys.argv[1]); b = json.load(open(sys.argv[2]))
sys.exit(any(b.get(k) != v for k, v in a.items()))' "$settings" "$XDG_CONFIG_HOME/vokari/settings.json" ||
        e2e_fail "the settings changed: $(cat "$XDG_CONFIG_HOME/vokari/settings.json")"
    [ "$(cat "$XDG_DATA_HOME/vokari/secrets.json")" = "$identity" ] || e2e_fail "the device identity changed"
    [ "$(ls -A "$VOKARI_UPDATE_DIR")" = Vokari ] || e2e_fail "left over beside the install: $(ls -A "$VOKARI_UPDATE_DIR")"
    grep -qF "Exec=\"$installed\"" "$XDG_DATA_HOME/applications/vokari.desktop" ||
        e2e_fail "the desktop entry does not start the installed copy"

    e2e_focus_target
    e2e_record "$SENTENCE"
    e2e_hotkey
    e2e_wait_text "$SENTENCE" 20
    # B is not this shell's child: stop it by its pid and wait for it to go.
    kill -TERM "$new"
    # Gone, or a zombie that no init process reaps in a container.
    stack_wait_for 10 sh -c "! kill -0 $new 2>/dev/null || grep -q ') Z ' /proc/$new/stat" ||
        e2e_fail "B did not end on SIGTERM"
    E2E_APP_PID=""
}

# The update case packages two bundles and starts the app twice.
if [ "${1:-}" = update ]; then e2e_watchdog 170; else e2e_watchdog 120; fi
case "${1:-}" in
toggle | hold | escape | autoenter | terminal | short | backenddown | dailylimit | instance | launcher | window | command | hotkeysettings | unsent | pulsekill | settingsfull | xgone | streamrefused | update)
    "case_$1"
    ;;
*)
    echo "usage: $0 toggle|hold|escape|autoenter|terminal|short|backenddown|dailylimit|instance|launcher|window|command|hotkeysettings|unsent|pulsekill|settingsfull|xgone|streamrefused|update" >&2
    exit 2
    ;;
esac
e2e_pass "$1"
