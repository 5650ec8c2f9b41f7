# Shared by the score server tests: a real quillrun-scores on 127.0.0.1 with
# a free port and a temporary database, and HTTP requests to it.
# SPDX-License-Identifier: MIT
import contextlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse

SCORES = os.environ.get("QUILLRUN_SCORES", "")
GAME_DIR = os.environ.get("QUILLRUN_GAME_DIR", "")
OUTPUT = os.environ.get("QUILLRUN_TEST_OUTPUT", tempfile.gettempdir())
TODAY = time.strftime("%Y-%m-%d", time.gmtime())


# The game's upload request: map 3 "Deep", 725 points by "Pilot and Co" today,
# with parameters changed or added by `more`.
def upload_target(holder="Pilot and Co", score=725, map_id=3, **more):
    pairs = {"id": map_id, "nmn": "Deep", "nsc": score, "npn": holder, "nsd": TODAY, "nreplay": score, **more}
    return "/files/games/quillrun/score.php?" + urllib.parse.urlencode(pairs, quote_via=urllib.parse.quote)


# The run sent after that upload: POST it with the replay file as the body.
def run_target(holder="Pilot and Co", score=725, map_id=3):
    pairs = {"id": map_id, "nsc": score, "npn": holder, "nsd": TODAY}
    return "/api/runs?" + urllib.parse.urlencode(pairs, quote_via=urllib.parse.quote)


# One quillrun-scores process; its log is kept in its own folder, which stop()
# removes.
class ScoreServer:
    def __init__(self, *extra, database=None, folder=None):
        self.folder = folder or tempfile.mkdtemp(prefix="quillrun-scores-test-")
        self.database = database or "sqlite:" + os.path.join(self.folder, "scores.sqlite")
        self.log_path = os.path.join(self.folder, "server-%d.log" % time.monotonic_ns())
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(
                [SCORES, "--listen", "127.0.0.1:0", "--database", self.database,
                 "--maps", os.path.join(GAME_DIR, "Maps", "Maps.ini"), *extra],
                stdout=log, env=dict(os.environ, HOME=self.folder))
        deadline = time.monotonic() + 60
        while not (match := re.search(r"listening on http://[^ ]*:(\d+)/", self.log())):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("quillrun-scores did not start")
            time.sleep(0.02)
        self.port = int(match.group(1))
        self.host_port = "127.0.0.1:%d" % self.port

    def __enter__(self):
        return self

    def __exit__(self, *error):
        if self.process.returncode is None:
            assert self.stop() == 0

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    # (status, headers with lower-case names, body text, or bytes when
    # `raw`); a POST sends `body`.
    def get(self, target, method="GET", body=b"", raw=False):
        length = "Content-Length: %d\r\n" % len(body) if method == "POST" else ""
        with socket.create_connection(("127.0.0.1", self.port), timeout=60) as s:
            s.sendall(("%s %s HTTP/1.1\r\nHost: a\r\nConnection: close\r\n%s\r\n" % (method, target, length)).encode()
                      + body)
            answer = read_all(s)
        head, _, content = answer.partition(b"\r\n\r\n")
        lines = head.decode("utf-8", "replace").split("\r\n")
        headers = {k.lower(): v for k, v in (line.split(": ", 1) for line in lines[1:])}
        return int(lines[0].split()[1]), headers, content if raw else content.decode("utf-8", "replace")

    # The latest uploads' proofs by holder, once none is pending.
    def proofs(self):
        deadline = time.monotonic() + 30
        uploads = lambda: self.json("/api/uploads?limit=100")["uploads"]
        while "pending" in (proofs := {u["holder"]: u["proof"] for u in uploads()}).values():
            assert time.monotonic() < deadline, "proofs still pending"
            time.sleep(0.05)
        return proofs

    def json(self, target):
        return json.loads(self.get(target)[2])

    def stored(self, holder):
        return [u for u in self.json("/api/uploads?limit=100")["uploads"] if u["holder"] == holder]

    # Sends `sig`; the exit status.
    def stop(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)
        code = self.process.wait(timeout=60)
        shutil.rmtree(self.folder, ignore_errors=True)
        return code


# What came back on `s` before it closed.
def read_all(s):
    answer = b""
    with contextlib.suppress(ConnectionResetError, socket.timeout):
        while chunk := s.recv(65536):
            answer += chunk
    return answer


# unittest.main that exits 77 (skipped for ctest) when every test skipped.
def run_tests():
    result = unittest.main(exit=False, verbosity=2).result
    if result.wasSuccessful() and result.skipped and len(result.skipped) >= result.testsRun:
        raise SystemExit(77)
    raise SystemExit(0 if result.wasSuccessful() else 1)
