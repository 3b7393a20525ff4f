#!/usr/bin/env python3
"""Press -> first recorded sample, for the running app on a private desktop stack (see run-start-latency-bench.sh).

A continuous, never-repeating-within-8-s noise "time code" plays into the virtual microphone's sink. Its player
keeps, for every 5 ms it writes, the monotonic time and the server's latency, so the time at which any of its
samples entered the microphone is known. The hotkey is pressed through XTest at a known monotonic time; a stub
backend keeps the WAV of every "/process" request. The start of each WAV is located in the time code by
correlation, which gives the time at which the first recorded sample was heard: minus the press time, that is the
figure. The end of each WAV, located the same way, gives how long before (negative) or after the release the last
recorded sample was heard: the moment just before the release must not be lost. It also checks that the app has no
record stream (source-output) while idle, and measures idle CPU.

Usage: start_latency.py --app PATH --home DIR --runs N [--cold N] [--idle SECONDS] [--reference N] [--hold]
Environment: DISPLAY and PULSE_SERVER of the private stack.
"""
import argparse
import ctypes
import ctypes.util
import http.server
import json
import operator
import os
import random
import re
import signal
import statistics
import subprocess
import sys
import threading
import time

RATE = 16000
PERIOD = 8 * RATE  # the time code repeats every 8 s; a search window is far shorter
TEMPLATE = 480  # 30 ms of the recording are matched against the time code
CHUNK = 32  # the player writes 2 ms at a time


def make_time_code():
    rng = random.Random(16)
    white = [rng.uniform(-1.0, 1.0) for _ in range(PERIOD)]
    # Low-passed (zero at 8 kHz), so two resamplers on the way barely change it.
    return [0.3 * (0.25 * white[i - 1] + 0.5 * white[i] + 0.25 * white[(i + 1) % PERIOD]) for i in range(PERIOD)]


class Player(threading.Thread):
    """Plays the time code into `micsink` through libpulse-simple and records when each sample is heard."""

    class BufferAttr(ctypes.Structure):
        _fields_ = [(n, ctypes.c_uint32) for n in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]

    class SampleFormat(ctypes.Structure):
        _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]

    def __init__(self, code):
        super().__init__(daemon=True)
        self.code = code
        self.lib = ctypes.CDLL(ctypes.util.find_library("pulse-simple"))
        self.lib.pa_simple_new.restype = ctypes.c_void_p
        self.lib.pa_simple_get_latency.restype = ctypes.c_uint64
        self.lib.pa_simple_get_latency.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
        self.lib.pa_simple_write.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                             ctypes.POINTER(ctypes.c_int)]
        err = ctypes.c_int(0)
        sample_format = self.SampleFormat(5, RATE, 1)  # PA_SAMPLE_FLOAT32LE
        attr = self.BufferAttr(0xFFFFFFFF, 4 * RATE * 8 // 1000, 0xFFFFFFFF, 4 * CHUNK, 0xFFFFFFFF)
        self.stream = self.lib.pa_simple_new(None, b"vokari-bench-timecode", 1, b"micsink", b"time code",
                                             ctypes.byref(sample_format), None, ctypes.byref(attr), ctypes.byref(err))
        if not self.stream:
            sys.exit(f"cannot open the time-code player (pulse error {err.value})")
        self.lock = threading.Lock()
        self.marks = []  # (monotonic time at which sample 0 would have been heard), one per write
        self.written = 0

    def run(self):
        err = ctypes.c_int(0)
        buf = (ctypes.c_float * CHUNK)()
        while True:
            start = self.written % PERIOD
            for i in range(CHUNK):
                buf[i] = self.code[(start + i) % PERIOD]
            self.lib.pa_simple_write(self.stream, buf, ctypes.sizeof(buf), ctypes.byref(err))
            self.written += CHUNK
            latency = self.lib.pa_simple_get_latency(self.stream, ctypes.byref(err)) / 1e6
            now = time.monotonic()
            with self.lock:
                # The last written sample is heard `latency` from now; sample 0 that much earlier.
                self.marks.append((now, now + latency - self.written / RATE))
                if len(self.marks) > 10000:
                    del self.marks[:5000]

    def sample_zero_time(self, around):
        """Time at which sample 0 would have been heard, from the writes within 1 s of `around` (median)."""
        with self.lock:
            near = [zero for t, zero in self.marks if abs(t - around) < 1.0]
        return statistics.median(near)


class Backend(http.server.ThreadingHTTPServer):
    """Answers the app's requests; keeps the WAV of every /process request and answers it with empty text."""

    def __init__(self):
        self.wavs = []
        self.cond = threading.Condition()
        super().__init__(("127.0.0.1", 0), BackendHandler)


class BackendHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, body):
        data = json.dumps(body).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        self.answer({"transcripts": []} if self.path.startswith("/transcripts") else {})

    def do_POST(self):
        if self.path.startswith("/process/stream"):
            # No streaming here: the app then sends the whole WAV to /process, which is what is measured.
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.send_header("Connection", "close")
            self.end_headers()
            return
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if not self.path.startswith("/process"):
            self.answer({})
            return
        at = body.find(b"RIFF")
        size = int.from_bytes(body[at + 4:at + 8], "little") + 8 if at >= 0 else 0
        with self.server.cond:
            self.server.wavs.append(body[at:at + size])
            self.server.cond.notify_all()
        self.answer({"raw": "", "refined": "", "total_ms": 0})


def wav_samples(wav):
    data = wav.find(b"data")
    raw = wav[data + 8:]
    count = len(raw) // 2
    return [v / 32768.0 for v in memoryview(raw[:count * 2]).cast("h")]


def locate(code, recording, first_index, last_index):
    """Time-code index of recording[0] within [first_index, last_index], with the match's correlation."""
    doubled = code + code[:TEMPLATE]
    squares = [0.0]
    for x in doubled:
        squares.append(squares[-1] + x * x)
    best = (-1.0, None)
    for skip in range(0, len(recording) - TEMPLATE, TEMPLATE):
        template = recording[skip:skip + TEMPLATE]
        norm_t = sum(x * x for x in template) ** 0.5
        if norm_t < 1e-3:
            continue  # silence (a hole): look further in
        for index in range(first_index + skip, last_index + skip):
            start = index % PERIOD
            dot = sum(map(operator.mul, template, doubled[start:start + TEMPLATE]))
            if dot > 0:
                score = dot / (norm_t * (squares[start + TEMPLATE] - squares[start]) ** 0.5)
                if score > best[0]:
                    best = (score, index - skip)
        if best[0] > 0.8:
            break
    return best


class App:
    def __init__(self, path, home, port):
        self.path, self.home, self.port = path, home, port
        self.proc = None

    def log_count(self, text):
        try:
            with open(os.path.join(self.home, ".vokari.log"), encoding="utf-8", errors="replace") as f:
                return sum(text in line for line in f)
        except FileNotFoundError:
            return 0

    def wait_log(self, text, count, seconds):
        deadline = time.monotonic() + seconds
        while self.log_count(text) < count:
            if time.monotonic() > deadline or self.proc.poll() is not None:
                sys.exit(f"timed out waiting for log line #{count}: {text}")
            time.sleep(0.02)

    def start(self):
        running = self.log_count("🟢 Vokari running") + 1
        env = dict(os.environ, VOKARI_BACKEND_URL=f"http://127.0.0.1:{self.port}", VOKARI_SECRET_STORE="file")
        self.proc = subprocess.Popen([self.path], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_log("🟢 Vokari running", running, 20)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(10)

    def source_outputs(self):
        """The app's record streams on the sound server."""
        out = subprocess.run(["pactl", "list", "source-outputs"], capture_output=True, text=True).stdout
        pids = re.findall(r'application\.process\.id = "(\d+)"', out)
        return sum(int(p) == self.proc.pid for p in pids)

    def cpu_ticks(self):
        with open(f"/proc/{self.proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])


class Keyboard:
    def __init__(self):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XStringToKeysym.restype = ctypes.c_ulong
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.dpy = self.x.XOpenDisplay(None)
        if not self.dpy:
            sys.exit("cannot open the display")
        self.code = self.x.XKeysymToKeycode(self.dpy, self.x.XStringToKeysym(b"Control_R"))

    def press(self, down=True, up=True):
        """A solo tap of the hotkey (or only its going down or up); returns the monotonic time at which the X
        server has the events."""
        if down:
            self.xtst.XTestFakeKeyEvent(self.dpy, self.code, 1, 0)
        if up:
            self.xtst.XTestFakeKeyEvent(self.dpy, self.code, 0, 0)
        self.x.XSync(self.dpy, 0)
        return time.monotonic()


def log_times(home, since):
    """Wall-clock times of the app's log lines from `since` on: {marker: first time}, for the start path's split."""
    markers = {"🎯 Target app": "controller", "🎤 Actual input format": "stream"}
    found = {}
    with open(os.path.join(home, ".vokari.log"), encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] (.*)", line)
            if not m:
                continue
            day = time.localtime(since)
            stamp = time.mktime(day[:3] + (int(m[1]), int(m[2]), int(m[3]), 0, 0, -1)) + int(m[4]) / 1000
            for marker, name in markers.items():
                if stamp >= since - 0.002 and name not in found and m[5].startswith(marker):
                    found[name] = stamp
    return found


def dictate(app, keyboard, backend, player, code, hold=False):
    """One recording of about a second; returns (press -> first sample in ms, correlation, streams while
    recording, streams once idle, {step: ms after the press}, release -> last sample in ms, (CPU ticks, seconds)
    while recording)."""
    started = app.log_count("🎙 Dictation started") + 1
    processed = app.log_count("✨ Processed") + 1
    with backend.cond:
        wavs = len(backend.wavs)
    pressed = keyboard.press(up=not hold)  # hold mode: the press is the key going down
    pressed_wall = time.time()
    app.wait_log("🎙 Dictation started", started, 10)
    ticks, since = app.cpu_ticks(), time.monotonic()
    # About a second, released at any phase of the capture's 100 ms blocks.
    time.sleep(1.0 + random.uniform(0.0, 0.1))
    recording_streams = app.source_outputs()
    cpu = (app.cpu_ticks() - ticks, time.monotonic() - since)
    released = keyboard.press(down=not hold)
    with backend.cond:
        if not backend.cond.wait_for(lambda: len(backend.wavs) > wavs, 15):
            sys.exit("no recording reached the backend")
        wav = backend.wavs[-1]
    app.wait_log("✨ Processed", processed, 10)
    time.sleep(0.5)
    idle_streams = app.source_outputs()
    zero = player.sample_zero_time(pressed)
    press_index = int((pressed - zero) * RATE)
    samples = wav_samples(wav)
    score, index = locate(code, samples, press_index - RATE // 5, press_index + 2 * RATE)
    steps = {k: 1000.0 * (v - pressed_wall) for k, v in log_times(app.home, pressed_wall).items()}
    if index is None:
        return None, score, recording_streams, idle_streams, steps, None, cpu
    # The recording is contiguous, so its last sample sits len - 1 samples after its first in the time code.
    tail = 1000.0 * (zero + (index + len(samples) - 1) / RATE - released)
    return 1000.0 * (zero + index / RATE - pressed), score, recording_streams, idle_streams, steps, tail, cpu


def reference_reader(player, code):
    """The same figure for `parec` started at a known time: a fresh minimal client, for comparison."""
    started = time.monotonic()
    proc = subprocess.Popen(["parec", "--latency-msec=10", "-d", "vmic", "--format=s16le", "--rate=16000",
                             "--channels=1", "--raw"], stdout=subprocess.PIPE)
    data = proc.stdout.read(2 * RATE)  # one second
    proc.terminate()
    proc.wait()
    samples = [v / 32768.0 for v in memoryview(data[:len(data) // 2 * 2]).cast("h")]
    zero = player.sample_zero_time(started)
    press_index = int((started - zero) * RATE)
    score, index = locate(code, samples, press_index - RATE // 5, press_index + RATE)
    return (None if index is None else 1000.0 * (zero + index / RATE - started)), score


def summary(name, values, worst=max):
    values = [v for v in values if v is not None]
    if not values:
        return f"{name}: no measurement"
    best = min if worst is max else max
    return (f"{name}: median {statistics.median(values):6.1f} ms, worst {worst(values):6.1f} ms, "
            f"best {best(values):6.1f} ms over {len(values)} presses")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--cold", type=int, default=20)
    parser.add_argument("--idle", type=float, default=30)
    parser.add_argument("--reference", type=int, default=5)
    parser.add_argument("--hold", action="store_true", help="hold mode (the settings must say so too)")
    args = parser.parse_args()

    code = make_time_code()
    player = Player(code)
    player.start()
    backend = Backend()
    threading.Thread(target=backend.serve_forever, daemon=True).start()
    keyboard = Keyboard()
    app = App(args.app, args.home, backend.server_address[1])
    time.sleep(1.0)  # the player's timing marks settle

    references = []
    for _ in range(args.reference):
        ms, score = reference_reader(player, code)
        references.append(ms)
        print(f"parec {len(references):2d}: {'-' if ms is None else f'{ms:6.1f}'} ms (match {score:.2f})", flush=True)
        time.sleep(0.3)

    results = {"cold": [], "warm": []}
    tails = []
    recording_cpu = [0, 0.0]
    splits = {"cold": {}, "warm": {}}
    low, streams_idle, streams_rec = [], 0, []

    def record(kind, outcome):
        ms, score, rec, idle, steps, tail, cpu = outcome
        recording_cpu[0] += cpu[0]
        recording_cpu[1] += cpu[1]
        nonlocal streams_idle
        results[kind].append(ms)
        tails.append(tail)
        for step, value in steps.items():
            splits[kind].setdefault(step, []).append(value)
        streams_rec.append(rec)
        streams_idle += idle
        if score < 0.8:
            low.append((kind, len(results[kind]), score))
        print(f"{kind} {len(results[kind]):2d}: {'-' if ms is None else f'{ms:6.1f}'} ms, "
              f"release -> last sample {'-' if tail is None else f'{tail:6.1f}'} ms (match {score:.2f}, streams recording {rec}, idle {idle}; "
              + ", ".join(f"{k} at {v:.0f} ms" for k, v in steps.items()) + ")", flush=True)

    for _ in range(args.cold):
        app.start()
        time.sleep(2.0)  # a user presses a moment after launch; start-up work is done by then
        record("cold", dictate(app, keyboard, backend, player, code, args.hold))
        app.stop()

    app.start()
    time.sleep(2.0)
    for _ in range(args.runs):
        record("warm", dictate(app, keyboard, backend, player, code, args.hold))
        time.sleep(0.5)

    time.sleep(3.0)
    hz = os.sysconf("SC_CLK_TCK")
    before = app.cpu_ticks()
    idle_checks = []
    deadline = time.monotonic() + args.idle
    while time.monotonic() < deadline:
        idle_checks.append(app.source_outputs())
        time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))
    ticks = app.cpu_ticks() - before
    app.stop()

    print()
    print(summary("reference: parec started    ", references))
    print(summary("cold first press after launch", results["cold"]))
    print(summary("warm presses                 ", results["warm"]))
    print(summary("release -> last recorded sample (negative: lost before the release)", tails, worst=min))
    for kind in ("cold", "warm"):
        # Both from the app's log (ms resolution). The target look-up follows the capture request since the press
        # asks for capture first; before that it preceded it.
        for step, label in (("controller", "'🎯 Target app' logged"),
                            ("stream", "record stream ready ('🎤 Actual input format' logged)")):
            if splits[kind].get(step):
                print(f"  {kind}: press -> {label}: median {statistics.median(splits[kind][step]):.0f} ms, "
                      f"worst {max(splits[kind][step]):.0f} ms")
    print(f"app record streams while recording: {min(streams_rec)}..{max(streams_rec)}; "
          f"while idle after a dictation: {streams_idle} (of {len(streams_rec)} checks); "
          f"during the idle period: {max(idle_checks)} (of {len(idle_checks)} checks)")
    print(f"idle CPU over {args.idle:.0f} s: {100.0 * ticks / hz / args.idle:.3f} % ({ticks} ticks)")
    print(f"CPU while recording over {recording_cpu[1]:.0f} s: "
          f"{100.0 * recording_cpu[0] / hz / max(recording_cpu[1], 1e-9):.1f} % ({recording_cpu[0]} ticks)")
    if low:
        print(f"weak matches (correlation < 0.8): {low}")


if __name__ == "__main__":
    main()
