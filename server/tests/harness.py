"""Shared by the score server tests: a real quillrun-scores on 127.0.0.1 with
a free port, a temporary database, and plain HTTP requests to it."""
import http.client
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
SIM = os.environ.get("QUILLRUN_SIM", "")
GAME_DIR = os.environ.get("QUILLRUN_GAME_DIR", "")
OUTPUT = os.environ.get("QUILLRUN_TEST_OUTPUT", tempfile.gettempdir())

TODAY = time.strftime("%Y-%m-%d", time.gmtime())
# The game's own request: map 3 "Deep", 725 points by "Pilot & Co".
EXAMPLE = [("id", "3"), ("nmn", "Deep"), ("nsc", "725"), ("npn", "Pilot and Co"),
           ("nsd", TODAY), ("nreplay", "725")]


def query(pairs):
    return "&".join(k + "=" + urllib.parse.quote(v, safe="") for k, v in pairs)


def upload_target(pairs):
    return "/files/games/quillrun/score.php?" + query(pairs)


class ScoreServer:
    """One quillrun-scores process; its log is kept in its own folder."""

    def __init__(self, database=None, extra=(), folder=None, listen="127.0.0.1:0"):
        self.folder = folder or tempfile.mkdtemp(prefix="quillrun-scores-test-")
        self.database = database or "sqlite:" + os.path.join(self.folder, "scores.sqlite")
        self.log_path = os.path.join(self.folder, "server-%d.log" % time.monotonic_ns())
        args = [SCORES, "--listen", listen, "--database", self.database,
                "--maps", os.path.join(GAME_DIR, "Maps", "Maps.ini"), *extra]
        self.log_file = open(self.log_path, "w")
        self.process = subprocess.Popen(args, stdout=self.log_file, stderr=subprocess.PIPE,
                                        env=dict(os.environ, HOME=self.folder))
        self.port = None
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and self.port is None:
            match = re.search(r"listening on http://[^ ]*:(\d+)/", self.log())
            if match:
                self.port = int(match.group(1))
            elif self.process.poll() is not None:
                raise RuntimeError("quillrun-scores ended: " + self.process.stderr.read().decode())
            else:
                time.sleep(0.02)
        if self.port is None:
            raise RuntimeError("quillrun-scores did not start")
        self.host_port = "127.0.0.1:%d" % self.port

    def log(self):
        with open(self.log_path) as f:
            return f.read()

    def log_lines_with(self, text, wait=30):
        """The log lines holding `text`; a line is written just after its answer."""
        deadline = time.monotonic() + wait
        while True:
            lines = [l for l in self.log().splitlines() if text in l]
            if lines or time.monotonic() > deadline:
                return lines
            time.sleep(0.02)

    def request(self, target, method="GET", headers=None, body=None):
        """(status, headers as a dict with lower-case names, body text)."""
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            c.putrequest(method, target, skip_accept_encoding=True)
            for k, v in (headers or {}).items():
                c.putheader(k, v)
            if body is not None:
                c.putheader("Content-Length", str(len(body)))
            c.endheaders(body.encode() if body is not None else None)
            r = c.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read().decode("utf-8", "replace")
        finally:
            c.close()

    def get(self, target):
        return self.request(target)

    def upload(self, pairs):
        return self.request(upload_target(pairs))

    def json(self, target):
        status, _, body = self.request(target)
        assert status == 200, (target, status, body)
        return json.loads(body)

    def uploads(self):
        return self.json("/api/uploads?limit=100")["uploads"]

    def raw(self, data, wait=30):
        """Sends raw bytes on a fresh connection; what came back before it closed."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=wait) as s:
            s.sendall(data)
            answer = b""
            try:
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    answer += chunk
            except (ConnectionResetError, socket.timeout):
                pass
            return answer

    def stop(self, sig=signal.SIGTERM):
        """Sends `sig` and returns the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            code = self.process.wait(timeout=60)
        finally:
            self.log_file.close()
            self.process.stderr.close()
        return code

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_tests():
    """unittest.main that exits 77 (skipped for ctest) when every test skipped."""
    program = unittest.main(exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        raise SystemExit(1)
    if result.skipped and len(result.skipped) >= result.testsRun:
        for _, reason in result.skipped:
            print("SKIPPED:", reason)
        raise SystemExit(77)
    raise SystemExit(0)


def make_game(server_host_port, folder):
    """A program folder for quillrun-sim: the shipped Maps.ini and cave 1,
    with [Online] pointing at the test's server."""
    game = os.path.join(folder, "game")
    os.makedirs(os.path.join(game, "Maps"))
    os.makedirs(os.path.join(game, "Replays"))
    os.symlink(os.path.join(GAME_DIR, "Pictures"), os.path.join(game, "Pictures"))
    os.symlink(os.path.join(GAME_DIR, "Maps", "Cave01.bmp"), os.path.join(game, "Maps", "Cave01.bmp"))
    with open(os.path.join(GAME_DIR, "Maps", "Maps.ini"), "rb") as f:
        ini = f.read()
    ini += ("\r\n[Online]\r\nServer=%s\r\nSite=%s\r\n" % (server_host_port, server_host_port)).encode()
    with open(os.path.join(game, "Maps", "Maps.ini"), "wb") as f:
        f.write(ini)
    return game


# The holder's name as typed into the game's dialog, and as the game sends it.
GAME_HOLDER = "Zoë & Jörg <b>"
SENT_HOLDER = "Zoë and Jörg <b>"


def upload_from_game(test, server):
    """Flies a run on cave 1 that sets a record, names its holder, presses
    'U' on the map list; returns the record's score."""
    game = make_game(server.host_port, server.folder)
    before = time.strftime("%Y-%m-%d")
    script = "1 tap ENTER\n3 tap UP\ndialog %s\n400 tap U\nconfirm no\n" % GAME_HOLDER
    r = subprocess.run([SIM, "--game-dir", game, "--script", "-", "--until", "1000"], input=script.encode(),
                       capture_output=True, timeout=240)
    out = r.stdout.decode("utf-8", "replace")
    test.assertEqual(r.returncode, 0, r.stderr)
    match = re.search(r"New record: (\d+)", out)
    test.assertIsNotNone(match, out)
    test.assertIn("message: Uploading Score: Your score uploaded!", out)
    return int(match.group(1)), {before, time.strftime("%Y-%m-%d")}
