#!/usr/bin/env python3
"""Benchmark of vokari-server's /process endpoint.

Starts the given vokari-server binary on a free loopback port with a scratch data directory, makes speech
with flite (resampled to 16 kHz mono with sox), and measures for 3, 10 and 30 second utterances:
latency, real-time factor (wall clock, and CPU time per second of audio), the engine's share (from the Server-Timing header) and the server's own time
outside the engine; then 4 concurrent clients; then the server's resident memory.

Usage: bench_process.py PATH/TO/vokari-server [--runs N]
"""
import http.client
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import uuid

SENTENCES = [
    "please schedule a meeting with the marketing team for next tuesday afternoon",
    "i think we should review the budget before the end of the quarter",
    "can you send me the latest version of the report by email",
    "the weather today is sunny with a chance of rain in the evening",
    "remember to buy milk eggs and bread on the way home",
    "our new product launch was a big success with customers",
]


def make_speech(workdir, seconds):
    """Speech of exactly `seconds` (sentences repeated, then cut) as 16 kHz mono 16-bit WAV bytes."""
    text = " ".join(SENTENCES * (1 + int(seconds // 15)))
    raw = os.path.join(workdir, "raw.wav")
    out = os.path.join(workdir, f"speech{seconds}.wav")
    subprocess.run(["flite", "-voice", "slt", "-t", text, "-o", raw], check=True)
    subprocess.run(["sox", raw, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", out,
                    "trim", "0", str(seconds), "pad", "0", "0"], check=True)
    with open(out, "rb") as f:
        return f.read()


def post_process(port, wav, device="BENCH-DEVICE"):
    boundary = str(uuid.uuid4()).upper()
    body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"recording.wav\"\r\n"
            "Content-Type: audio/wav\r\n\r\n").encode() + wav + \
        (f"\r\n--{boundary}\r\nContent-Disposition: form-data; name=\"source\"\r\n\r\ndictation"
         f"\r\n--{boundary}--\r\n").encode()
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=300)
    start = time.perf_counter()
    conn.request("POST", "/process", body, {"Content-Type": f"multipart/form-data; boundary={boundary}",
                                            "x-device-id": device})
    resp = conn.getresponse()
    data = resp.read()
    elapsed = (time.perf_counter() - start) * 1000
    timing = resp.getheader("Server-Timing") or ""
    conn.close()
    engine = re.search(r"engine;dur=([\d.]+)", timing)
    total = re.search(r"total;dur=([\d.]+)", timing)
    return resp.status, elapsed, float(engine.group(1)) if engine else 0.0, \
        float(total.group(1)) if total else 0.0, data


def rss_kb(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    """User + system CPU time of the process so far; unaffected by other load on the machine."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    binary = sys.argv[1]
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 5
    workdir = tempfile.mkdtemp(prefix="vokari-bench-")
    server = subprocess.Popen([binary, "--listen", "127.0.0.1:0", "--data", os.path.join(workdir, "data"),
                               "--daily-limit", "0", "--decoders", "2"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        line = server.stdout.readline()
        port = int(re.search(r":(\d+) ", line).group(1))
        print(f"server pid {server.pid} on port {port}; idle RSS {rss_kb(server.pid, 'VmRSS') / 1024:.0f} MB")
        speech = {s: make_speech(workdir, s) for s in (3, 10, 30)}
        post_process(port, speech[3])  # warm-up

        print(f"\n{'utterance':>9} {'median ms':>10} {'p90 ms':>8} {'RTF':>6} {'engine ms':>10} "
              f"{'server-only ms':>15} {'CPU RTF':>8}")
        for seconds, wav in speech.items():
            lat, eng, own = [], [], []
            cpu_before = cpu_seconds(server.pid)
            for _ in range(runs):
                status, elapsed, engine_ms, total_ms, _ = post_process(port, wav)
                assert status == 200, status
                lat.append(elapsed)
                eng.append(engine_ms)
                own.append(total_ms - engine_ms)
            lat.sort()
            p90 = lat[min(len(lat) - 1, int(0.9 * len(lat)))]
            med = statistics.median(lat)
            cpu_rtf = (cpu_seconds(server.pid) - cpu_before) / (runs * seconds)
            print(f"{seconds:>8}s {med:>10.0f} {p90:>8.0f} {med / 1000 / seconds:>6.3f} "
                  f"{statistics.median(eng):>10.0f} {statistics.median(own):>15.2f} {cpu_rtf:>8.3f}")

        clients, per_client = 4, max(2, runs // 2)
        errors, latencies = [], []
        lock = threading.Lock()

        def client(i):
            for _ in range(per_client):
                status, elapsed, _, _, _ = post_process(port, speech[10], device=f"BENCH-{i}")
                with lock:
                    latencies.append(elapsed)
                    if status != 200:
                        errors.append(status)

        start = time.perf_counter()
        threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        wall = time.perf_counter() - start
        n = clients * per_client
        print(f"\n{clients} concurrent clients x {per_client} requests of 10 s: {n / wall:.2f} requests/s, "
              f"{n * 10 / wall:.1f} s of audio per s, median latency {statistics.median(latencies):.0f} ms, "
              f"errors {len(errors)}")
        print(f"resident memory: {rss_kb(server.pid, 'VmRSS') / 1024:.0f} MB now, "
              f"{rss_kb(server.pid, 'VmHWM') / 1024:.0f} MB peak")
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(timeout=60)
        except subprocess.TimeoutExpired:
            server.kill()
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
