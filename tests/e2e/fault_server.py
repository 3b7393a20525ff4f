#!/usr/bin/python3
"""A backend that fails dictations on purpose, for the fault cases of dictation_e2e.sh.

Usage: fault_server.py PORT MODE, MODE one of
  500   every /process answers 500 {"error": "processing failed"}
  hang  every /process is read and never answered
  die   the process exits in the middle of the first /process (the connection drops)
Every other request gets an empty but well-formed answer, so the app starts as it would against a real server.
"""
import http.server
import json
import os
import sys
import time

PORT, MODE = int(sys.argv[1]), sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        sys.stderr.write("fault-server %s %s\n" % (MODE, fmt % args))
        sys.stderr.flush()

    def reply(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        if self.path.startswith("/transcripts"):
            self.reply(200, {"transcripts": [], "has_more": False})
        else:
            self.reply(200, {"status": "ok"} if self.path == "/health" else {})

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        if self.path == "/process/stream":
            # As a backend without streaming: the app sends the whole recording to /process, where the fault is.
            self.close_connection = True
            self.reply(404, {"error": "not found"})
            return
        if self.path != "/process":
            self.rfile.read(length)
            self.reply(200, {})
            return
        sys.stderr.write("fault-server %s POST /process\n" % MODE)
        sys.stderr.flush()
        if MODE == "die":
            self.rfile.read(min(length, 4096))
            os._exit(3)
        self.rfile.read(length)
        if MODE == "hang":
            time.sleep(3600)
        self.reply(500, {"error": "processing failed"})


http.server.ThreadingHTTPServer.daemon_threads = True
http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
