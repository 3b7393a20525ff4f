#!/usr/bin/env python3
"""How fast vokari-server's /health answers while slow and idle connections are open.

Starts the given vokari-server binary (no speech model needed) on a free loopback port, then for each
scenario measures /health latency on fresh connections, one request every 50 ms:
  - quiet: nothing else connected;
  - loaded: IDLE connections that never send anything (re-opened whenever the server closes one) and SLOW
    clients sending a request at one byte a second;
  - loaded, fixed pool: the same load against `--threads 8 --max-connections 8`, which serves connections
    like a fixed pool of 8 workers (the server's behaviour before connections got threads of their own).
Prints median, p90, p99 and max latency, the number of requests that got no answer within 5 s, and the
server's CPU use during the measurement. A scenario stops sampling after 60 s.

Usage: bench_health.py PATH/TO/vokari-server [--idle 200] [--slow 20] [--samples 200]
"""
import argparse
import http.client
import os
import re
import select
import shutil
import socket
import statistics
import subprocess
import tempfile
import threading
import time


def start(binary, data, extra):
    proc = subprocess.Popen([binary, "--listen", "127.0.0.1:0", "--data", data, "--model-dir", "/nonexistent"] + extra,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    match = re.search(r"listening on http://[^ ]+:(\d+)", line)
    if not match:
        proc.kill()
        raise SystemExit(f"server did not start: {line!r}")
    return proc, int(match.group(1))


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Load:
    """Idle connections kept open (replaced when the server closes them) and byte-a-second clients."""

    def __init__(self, port, idle, slow):
        self.port = port
        self.stop = threading.Event()
        self.idle = [self._connect() for _ in range(idle)]
        self.threads = [threading.Thread(target=self._trickle, daemon=True) for _ in range(slow)]
        self.threads.append(threading.Thread(target=self._keep_idle, daemon=True))
        for t in self.threads:
            t.start()

    def _connect(self):
        return socket.create_connection(("127.0.0.1", self.port), timeout=10)

    def _keep_idle(self):
        while not self.stop.is_set():
            closed, _, _ = select.select(self.idle, [], [], 0.1)
            for s in closed:
                try:
                    if s.recv(1):
                        continue
                except OSError:
                    pass
                s.close()
                self.idle[self.idle.index(s)] = self._connect()

    def _trickle(self):
        request = b"POST /process HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000\r\n\r\n"
        while not self.stop.is_set():
            s = self._connect()
            try:
                for i in range(len(request)):
                    s.send(request[i:i + 1])
                    if self.stop.wait(1.0):
                        break
            except OSError:
                pass
            s.close()

    def close(self):
        self.stop.set()
        for t in self.threads:
            t.join()
        for s in self.idle:
            s.close()


def measure(port, samples, budget_s=60):
    latencies, failures = [], 0
    deadline = time.monotonic() + budget_s
    for _ in range(samples):
        if time.monotonic() > deadline:
            break
        start = time.perf_counter()
        try:
            c = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            c.request("GET", "/health")
            ok = c.getresponse().status == 200
            c.close()
        except OSError:
            ok = False
        elapsed = (time.perf_counter() - start) * 1000
        if ok:
            latencies.append(elapsed)
        else:
            failures += 1
        time.sleep(max(0.0, 0.05 - elapsed / 1000))
    return latencies, failures


def report(name, latencies, failures, cpu):
    if latencies:
        q = statistics.quantiles(latencies, n=100)
        print(f"| {name} | {statistics.median(latencies):.2f} ms | {q[89]:.2f} ms | {q[98]:.2f} ms | "
              f"{max(latencies):.1f} ms | {failures} | {cpu:.0f} % |")
    else:
        print(f"| {name} | — | — | — | — | {failures} | {cpu:.0f} % |")


def scenario(binary, name, extra, idle, slow, samples):
    data = tempfile.mkdtemp(prefix="vokari-bench-health-")
    proc, port = start(binary, data, extra)
    try:
        load = Load(port, idle, slow) if idle or slow else None
        time.sleep(1.0)
        cpu0, t0 = cpu_seconds(proc.pid), time.monotonic()
        latencies, failures = measure(port, samples)
        cpu = 100 * (cpu_seconds(proc.pid) - cpu0) / (time.monotonic() - t0)
        if load:
            load.close()
        report(name, latencies, failures, cpu)
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(data, ignore_errors=True)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("binary")
    p.add_argument("--idle", type=int, default=200)
    p.add_argument("--slow", type=int, default=20)
    p.add_argument("--samples", type=int, default=200)
    a = p.parse_args()
    print("| scenario | median | p90 | p99 | max | no answer in 5 s | server CPU |")
    print("|---|---|---|---|---|---|---|")
    scenario(a.binary, "quiet", [], 0, 0, a.samples)
    scenario(a.binary, f"{a.idle} idle + {a.slow} slow", [], a.idle, a.slow, a.samples)
    scenario(a.binary, f"{a.idle} idle + {a.slow} slow, fixed pool of 8", ["--threads", "8", "--max-connections", "8"],
             a.idle, a.slow, a.samples)


if __name__ == "__main__":
    main()
