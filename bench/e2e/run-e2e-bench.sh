#!/usr/bin/env bash
# End-to-end figures of the running app on the e2e desktop stack (Xvfb, openbox, PulseAudio virtual microphone,
# reference server, target text window): for a ~5 s utterance, hotkey release → text in the target window, split
# into stop → request received by the server, server time, and answer → paste (which includes the fixed 0.15 s
# paste step), and the app's CPU while recording (the capsule shown, its meters animating); then the app's idle CPU
# over a quiet minute (capsule hidden) and its resident memory. Then, in the same run, hotkey release → text for
# a ~5 s and a ~30 s utterance over both paths: streamed while recording ("/process/stream") and the whole WAV
# after the release ("/process", the server restarted with --no-stream and the app with it).
# E2E_LONG_WAVS="a.wav b.wav ..." replaces the ~30 s flite utterance with those 16 kHz mono recordings joined
# (real speakers pause where flite does not, and that decides what is left to decode at the release).
# Usage: bench/e2e/run-e2e-bench.sh <build-dir> [runs=5] [idle-seconds=60] [path-runs=5]
set -uo pipefail
build="$(cd "${1:?build directory}" && pwd)"
runs="${2:-5}"
idle="${3:-60}"
path_runs="${4:-5}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# VOKARI_SERVER may name a server from another build (an optimised one beside a Debug app).
export VOKARI_APP="$build/src/app/qt/vokari" VOKARI_SERVER="${VOKARI_SERVER:-$build/server/vokari-server}"
export VOKARI_E2E_TARGET="$build/tests/e2e/vokari_e2e_target"
source "$root/tests/e2e/e2e_lib.sh"

UTTERANCE="please schedule a meeting with the marketing team for next tuesday afternoon and send everyone the notes"
LONG_UTTERANCE="$UTTERANCE. the quarterly report is due at the end of the month so please collect the figures from \
every department before friday. remember to book the large conference room on the third floor and order lunch for \
twelve people. after the meeting we will review the budget for the new office and decide which projects move \
forward next year. let me know if anything changes and i will update the calendar for everyone on the team. thank you all for your hard work this week"

now_ms() { date +%s%3N; }
read_cpu() { awk '{print $14 + $15}' "/proc/$E2E_APP_PID/stat"; }

e2e_setup '{"hotkeyOption":"rightControl"}'
flite -voice slt -t "$UTTERANCE" -o "$STACK_DIR/utterance.wav" || e2e_fail "flite failed"
speech_s=$(python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); print("%.2f" % (w.getnframes() / w.getframerate()))' \
    "$STACK_DIR/utterance.wav")

: >"$STACK_DIR/marks"
for ((i = 1; i <= runs; i++)); do
    e2e_mark_recording
    inserted=$(($(e2e_log_count "📋 Inserting") + 1))
    texts=$(e2e_target_events '^[0-9]* text ')
    press=$(now_ms)
    cpu_press=$(read_cpu)
    e2e_hotkey
    e2e_wait_recording
    paplay -d micsink "$STACK_DIR/utterance.wav"
    sleep 0.3
    # The release goes out while xte runs: take the middle of the calls around it (±3 ms on this machine).
    before=$(now_ms)
    xte 'key Control_R'
    release=$(((before + $(now_ms)) / 2))
    cpu_release=$(read_cpu)
    e2e_wait_log "📋 Inserting" "$inserted" 30
    deadline=$((SECONDS + 10))
    until [ "$(e2e_target_events '^[0-9]* text ')" -gt "$texts" ]; do
        ((SECONDS < deadline)) || e2e_fail "no text arrived in run $i"
        sleep 0.02
    done
    echo "$i $release $texts $((release - press)) $((cpu_release - cpu_press))" >>"$STACK_DIR/marks"
    sleep 3 # let the inserter finish and the state settle before the next press
done

# A quiet minute: no dictation, no input. CPU ticks of every thread, and how often threads woke up.
sleep 5
pid="$E2E_APP_PID"
read_switches() { cat /proc/"$pid"/task/*/status 2>/dev/null | awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s}'; }
per_thread() { for t in /proc/"$pid"/task/*; do echo "${t##*/} $(cat "$t/comm") $(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status")"; done | sort -n; }
cpu0=$(read_cpu)
sw0=$(read_switches)
per_thread >"$STACK_DIR/threads0"
sleep "$idle"
cpu1=$(read_cpu)
sw1=$(read_switches)
per_thread >"$STACK_DIR/threads1"
echo "context switches per thread over the quiet period (thread id, name, before -> after):"
join "$STACK_DIR/threads0" "$STACK_DIR/threads1" | awk '{print "  " $1 " " $2 ": " $3 " -> " $5}'
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
hwm_kb=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
threads=$(ls "/proc/$pid/task" | wc -l)

python3 - "$STACK_DIR" "$HOME/.vokari.log" "$speech_s" "$cpu0" "$cpu1" "$idle" "$(getconf CLK_TCK)" \
    "$sw0" "$sw1" "$rss_kb" "$hwm_kb" "$threads" <<'PY'
import datetime, re, statistics, sys
stack, applog, speech = sys.argv[1], sys.argv[2], float(sys.argv[3])
cpu0, cpu1, idle, hz = int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]), int(sys.argv[7])
sw0, sw1, rss, hwm, threads = int(sys.argv[8]), int(sys.argv[9]), int(sys.argv[10]), int(sys.argv[11]), int(sys.argv[12])

# Server access lines: "<iso time at the end> <remote> POST /process[/stream] <status> <dur>ms ...". A stream
# starts at the press, so for it "request received" and "server time" count from the release instead.
served = []
for line in open(f"{stack}/server.log", encoding="utf-8"):
    m = re.match(r"(\S+Z) \S+ POST (/process(?:/stream)?) 200 ([\d.]+)ms", line)
    if m:
        end = datetime.datetime.strptime(m.group(1), "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
        end_ms = end.timestamp() * 1000
        served.append((end_ms - float(m.group(3)), end_ms, float(m.group(3)), m.group(2)))

texts = [int(l.split()[0]) for l in open(f"{stack}/target-events.log") if " text " in l]
rows = []
recording = []
for n, line in enumerate(open(f"{stack}/marks")):
    run, release, before, rec_ms, rec_ticks = (int(x) for x in line.split())
    recording.append(100 * rec_ticks / hz / (rec_ms / 1000))
    start, end, server_ms, path = next(s for s in served if s[1] >= release)
    if path == "/process/stream":
        start, server_ms = release, end - release
    pasted = texts[before]
    rows.append((start - release, server_ms, pasted - end, pasted - release))

def fmt(values):
    return f"median {statistics.median(values):7.0f} ms  (min {min(values):.0f}, max {max(values):.0f})"

print(f"\nutterance: {speech:.2f} s of flite speech, {len(rows)} runs, over {served[0][3] if served else '?'}")
print(f"release -> text in window   {fmt([r[3] for r in rows])}")
print(f"  stop -> request received  {fmt([r[0] for r in rows])}")
print(f"  server time               {fmt([r[1] for r in rows])}")
print(f"  answer -> paste           {fmt([r[2] for r in rows])}   (includes the 0.15 s paste step)")
print(f"app CPU while recording (capsule shown)  median {statistics.median(recording):.2f} % of one core  "
      f"(min {min(recording):.2f}, max {max(recording):.2f})")
cpu_s = (cpu1 - cpu0) / hz
print(f"idle CPU over {idle:.0f} s: {100 * cpu_s / idle:.3f} %  ({cpu1 - cpu0} ticks; {sw1 - sw0} context switches "
      f"in {threads} threads)")
print(f"resident memory: {rss / 1024:.1f} MB (peak {hwm / 1024:.1f} MB)")
PY

# Both paths side by side: release -> text for each utterance, streamed and over /process.
if [ -n "${E2E_LONG_WAVS:-}" ]; then
    # shellcheck disable=SC2086 # a list of paths
    python3 - "$STACK_DIR/utterance-30.wav" $E2E_LONG_WAVS <<'PY' || e2e_fail "could not join E2E_LONG_WAVS"
import sys, wave
with wave.open(sys.argv[1], "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(16000)
    for name in sys.argv[2:]:
        with wave.open(name) as w:
            if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (1, 2, 16000):
                sys.exit(f"{name}: not 16 kHz mono 16-bit")
            out.writeframes(w.readframes(w.getnframes()))
PY
    long_kind="recorded speech"
else
    flite -voice slt -t "$LONG_UTTERANCE" -o "$STACK_DIR/utterance-30.wav" || e2e_fail "flite failed"
    long_kind="flite speech"
fi
: >"$STACK_DIR/path-marks"
# One dictation of a wav file; appends "<label> <release ms> <text events before>" to path-marks.
path_run() { # label wav
    local inserted texts before release deadline
    e2e_mark_recording
    inserted=$(($(e2e_log_count "📋 Inserting") + 1))
    texts=$(e2e_target_events '^[0-9]* text ')
    e2e_hotkey
    e2e_wait_recording
    paplay -d micsink "$2"
    sleep 0.3
    before=$(now_ms)
    xte 'key Control_R'
    release=$(((before + $(now_ms)) / 2))
    e2e_wait_log "📋 Inserting" "$inserted" 60
    deadline=$((SECONDS + 10))
    until [ "$(e2e_target_events '^[0-9]* text ')" -gt "$texts" ]; do
        ((SECONDS < deadline)) || e2e_fail "no text arrived ($1)"
        sleep 0.02
    done
    echo "$1 $release $texts" >>"$STACK_DIR/path-marks"
    sleep 3
}
for ((i = 1; i <= path_runs; i++)); do
    path_run stream-5 "$STACK_DIR/utterance.wav"
    path_run stream-30 "$STACK_DIR/utterance-30.wav"
done
e2e_stop_app TERM
e2e_stop_server
E2E_SERVER_ARGS="${E2E_SERVER_ARGS:-} --no-stream" e2e_start_server "$E2E_PORT"
e2e_start_app
path_run warm-up "$STACK_DIR/utterance.wav" # the refused stream: from here on the app sends to /process at once
for ((i = 1; i <= path_runs; i++)); do
    path_run process-5 "$STACK_DIR/utterance.wav"
    path_run process-30 "$STACK_DIR/utterance-30.wav"
done

python3 - "$STACK_DIR" "$STACK_DIR/utterance.wav" "$STACK_DIR/utterance-30.wav" "$long_kind" <<'PY'
import datetime, re, statistics, sys, wave
stack, long_kind = sys.argv[1], sys.argv[4]
secs = [(lambda w: w.getnframes() / w.getframerate())(wave.open(f)) for f in sys.argv[2:4]]
# Access lines "<iso time at the end> <remote> POST <path> <status> <dur>ms": the answers that ended.
answers = []
for line in open(f"{stack}/server.log", encoding="utf-8"):
    m = re.match(r"(\S+Z) \S+ POST (/process(?:/stream)?) (\d+) ([\d.]+)ms", line)
    if m and m.group(3) == "200":
        end = datetime.datetime.strptime(m.group(1), "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
        answers.append((end.timestamp() * 1000, m.group(2), float(m.group(4))))
texts = [int(l.split()[0]) for l in open(f"{stack}/target-events.log") if " text " in l]
rows = {}
for line in open(f"{stack}/path-marks"):
    label, release, before = line.split()
    release, before = int(release), int(before)
    end, path, _ = next(a for a in answers if a[0] >= release)
    pasted = texts[before]
    rows.setdefault(label, []).append((pasted - release, end - release, pasted - end, path))
print(f"\nboth paths in one run ({secs[0]:.2f} s of flite speech and {secs[1]:.2f} s of {long_kind}), median (min, max):")
for label in ("stream-5", "process-5", "stream-30", "process-30"):
    r = rows.get(label, [])
    if not r:
        continue
    med = lambda i: f"{statistics.median(x[i] for x in r):6.0f} ms ({min(x[i] for x in r):.0f}, {max(x[i] for x in r):.0f})"
    paths = sorted({x[3] for x in r})
    print(f"{label:11s} release -> text {med(0)}   release -> answer sent {med(1)}   answer -> paste {med(2)}"
          f"   [{', '.join(paths)}, {len(r)} runs]")
PY

