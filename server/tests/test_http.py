# The score server over HTTP: uploads as the game sends them, the ranking,
# the pages and the API; hostile, slow and idle clients over raw sockets and
# the log; the limits, stopping, and the command line.
# SPDX-License-Identifier: MIT
import contextlib
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from harness import SCORES, TODAY, ScoreServer, read_all, run_target, run_tests, upload_target


# Everything that reaches the store; rerun on PostgreSQL.
class Uploads(unittest.TestCase):
    database = None  # SQLite in a temporary folder

    @classmethod
    def setUpClass(cls):
        cls.server = ScoreServer("--rate-limit", "0", database=cls.database)
        cls.addClassCleanup(cls.server.__exit__)

    def test_an_upload_is_stored_once_as_text(self):
        holder = "Jörg <b>'); DROP TABLE uploads;--"
        for _ in range(2):  # the player presses 'U' twice
            self.assertEqual(self.server.get(upload_target(holder))[::2], (200, "OK\n"))
        stored = self.server.stored(holder)
        self.assertEqual([(u["map"], u["mapName"], u["score"], u["date"]) for u in stored], [(3, "Deep", 725, TODAY)])
        self.assertRegex(stored[0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        scores = self.server.json("/api/maps/3/scores?limit=100")
        self.assertEqual(scores["map"], {"id": 3, "name": "Lazy River"})  # the official name, not the sent one
        self.assertIn({"rank": 1, "holder": holder, "score": 725, "date": TODAY, "proof": "unproven",
                       "upload": stored[0]["upload"]}, scores["scores"])

    def test_ranking_keeps_each_holders_best(self):
        for holder, score in [("Pilot %02d" % i, 100 + i * 10) for i in range(12)] + [("Pilot 03", 500),
                                                                                      ("Pilot 03", 120)]:
            self.assertEqual(self.server.get(upload_target(holder, score, 5))[0], 200)
        top = self.server.json("/api/maps/5/scores")["scores"]
        self.assertEqual([(s["rank"], s["holder"], s["score"]) for s in top[:3]],
                         [(1, "Pilot 03", 500), (2, "Pilot 11", 210), (3, "Pilot 10", 200)])
        self.assertEqual((len(top), len(self.server.json("/api/maps/5/scores?limit=100")["scores"])), (10, 12))
        best = {m["id"]: m["best"] for m in self.server.json("/api/maps")["maps"]}
        self.assertEqual((len(best), best[5]["holder"], best[5]["score"], best[26]), (26, "Pilot 03", 500, None))

    def test_pages_paths_headers_and_the_log(self):
        status, headers, _ = self.server.get("/index2.php?game=4")
        self.assertEqual((status, headers["content-type"]), (200, "text/html; charset=utf-8"))
        self.assertIn("default-src 'none'", headers["content-security-policy"])
        self.assertNotIn("script", headers["content-security-policy"])
        for target, expected in [
                ("/", 302), ("/index2.php?game=5", 404), ("/nothing/here", 404), ("/static/scores.css", 200),
                ("/favicon.ico", 200), ("/healthz", 200), ("/api/maps/27/scores", 404), ("/api/maps/0/scores", 404),
                ("/api/maps/3/scores?limit=0", 400), ("/api/maps/3/scores?limit=x", 400),
                ("/api/uploads?limit=101", 400), ("/api/uploads?limit=1000", 400), ("/api/maps/3/scores?proven=2", 400),
                ("/index2.php?game=4&proven=1", 200), ("/api/maps/27/best-run", 404), ("/api/runs", 405)]:
            with self.subTest(target):
                status, headers, _ = self.server.get(target)
                self.assertEqual((status, headers["x-content-type-options"]), (expected, "nosniff"))
        self.assertIn("<h1>Not found</h1>", self.server.get("/nothing/here")[2])


def request(target, method="GET", more_head="Connection: close\r\n", version="HTTP/1.1"):
    return ("%s %s %s\r\nHost: a\r\n%s\r\n" % (method, target, version, more_head)).encode()


# Hostile and broken requests over raw sockets: each row sends its bytes (a
# list made for row n: parts sent 0.6 s apart) on one connection and expects
# these answers in order, then the connection closed, and this many rows
# stored for the holder "Row <n>" hidden in it.
class HostileRequests(unittest.TestCase):
    def test_each_request_is_answered_as_it_was_framed(self):
        def up(n, more=""):
            return upload_target("Row %d" % n, 30) + more
        hidden = lambda n: request(up(n))  # an upload smuggled in after the first request
        def run(n, body, more="Connection: close\r\n"):  # the run of up(n)'s upload
            return request(run_target("Row %d" % n, 30), "POST", "Content-Length: %d\r\n%s" % (len(body), more)) + body
        rows = [
            (lambda n: [request(up(n))], [200], 1),
            (lambda n: [request(up(n), more_head="") + request(up(n, "&x=2"))], [200, 200], 1),  # kept alive, pipelined
            (lambda n: [request(up(n, "&nsc=31"))], [400], 0),
            (lambda n: [request(up(n), "HEAD")], [405], 0),
            (lambda n: [request(up(n, "&pad=" + "x" * 10240))], [414], 0),
            (lambda n: [request("/" + "x" * 8150)], [404], 0),  # just within the request line's limit: no wait
            (lambda n: [request("/healthz", more_head="Content-Length: %d\r\n" % len(hidden(n))) + hidden(n)], [400], 0),
            (lambda n: [request("/healthz", more_head="Content-Length: 0\r\nContent-Length: 70\r\n") + hidden(n)], [400], 0),
            (lambda n: [request("/healthz", more_head="Content-Length: 3\r\nTransfer-Encoding: chunked\r\n")
              + b"0\r\n\r\n" + hidden(n)], [400], 0),
            (lambda n: [request("/healthz", more_head="Transfer-Encoding: chunked\r\n") + b"0\r\n\r\n" + hidden(n)], [400], 0),
            (lambda n: [request("/", "BREW", more_head="") + hidden(n)], [405], 0),
            (lambda n: [request(up(n), "get")], [405], 0),
            # A run's body: its length required and bounded, read within its time, never read as a request.
            (lambda n: [request(up(n), more_head="") + run(n, b"run", "") + request("/healthz")], [200, 202, 200], 1),
            (lambda n: [run(n, hidden(n), "") + request("/healthz")], [404, 200], 0),
            (lambda n: [request(run_target(), "POST") + hidden(n)], [411], 0),
            (lambda n: [request(run_target(), "POST", "Content-Length: 4194305\r\n") + hidden(n)], [413], 0),
            (lambda n: [request(run_target(), "POST", "Transfer-Encoding: chunked\r\n") + b"0\r\n\r\n" + hidden(n)], [400], 0),
            (lambda n: [run(n, b"12345")[:-2], b"3", b"4"], [408], 0),
            (lambda n: [request("/", "G(T") + hidden(n)], [400], 0),
            (lambda n: [request("/healthz", more_head="X: a\rb\r\n") + hidden(n)], [400], 0),  # a bare CR
            (lambda n: [request("/healthz", more_head="X: a\r\n b\r\n") + hidden(n)], [400], 0),  # obs-fold
            (lambda n: [b"GET /healthz HTTP/1.1\nHost: a\n\n" + hidden(n)], [400], 0),  # bare LF
            (lambda n: [("GET %s HTTP/1.1\r\nConnection: close\r\n\r\n" % up(n)).encode()], [400], 0),  # no Host
            (lambda n: [("GET %s HTTP/1.0\r\n\r\n" % up(n)).encode()], [200], 1),  # HTTP/1.0 needs none
            (lambda n: [request(up(n), version="HTTP/2.0")], [505], 0),
            (lambda n: [request("http://a" + up(n))], [200], 1),  # the absolute form
            (lambda n: [request("/index2.php?game=4&game=4")], [404], 0),
            # Each phase of the head has its own second, however the bytes trickle in.
            (lambda n: [b"GET /he", b"alth", b"z HT", b"TP/1.1\r\nHost: a\r\n\r\n"], [408], 0),
            (lambda n: [b"GET /healthz HTTP/1.1\r\nHo", b"s", b"t:", b" a\r\n\r\n"], [408], 0),
            (lambda n: [b"GET /healthz HT", b"TP/1.1\r\nHo", b"st: a\r\n\r\n"], [200], 0),
            (lambda n: [request("/healthz", more_head=""), b"", b""], [200], 0),  # then idle: closed unanswered
        ]
        with ScoreServer("--rate-limit", "0", "--head-timeout", "1", "--idle-timeout", "1", "--body-timeout", "1") as server:
            for n, (sending, answers, stored) in enumerate(rows):
                parts = sending(n)
                with self.subTest(n=n, sent=parts[0][:60]):
                    with socket.create_connection(("127.0.0.1", server.port), timeout=30) as s:
                        for i, part in enumerate(parts):
                            if i:
                                time.sleep(0.6)
                            with contextlib.suppress(BrokenPipeError, ConnectionResetError):
                                s.sendall(part)
                        received = read_all(s)
                    self.assertEqual(re.findall(rb"^HTTP/1\.1 (\d+) ", received, re.M),
                                     [b"%d" % a for a in answers], received[:300])
                    self.assertEqual(len(server.stored("Row %d" % n)), stored)
            time.sleep(0.5)  # the log is written by a thread of its own
            log = [line for line in server.log().splitlines() if "/api/uploads" not in line]
        # A line for each answer, no more, each with the client's address.
        self.assertEqual(len(log) - 1, sum(len(answers) for _, answers, _ in rows), log)
        self.assertEqual(len([line for line in log if re.match(r'\S+Z 127\.0\.0\.1 "GET /health" 408 \d+ \d+\.\d{3}ms$', line)]), 1)


class Limits(unittest.TestCase):
    def test_uploads_over_the_rate_limit_are_refused(self):
        with ScoreServer("--rate-limit", "3") as server:
            self.assertEqual([server.get(upload_target("Rater %d" % i))[0] for i in range(5)], [200] * 3 + [429] * 2)
            self.assertEqual([len(server.stored("Rater %d" % i)) for i in range(5)], [1, 1, 1, 0, 0])

    def test_a_stop_answers_every_request_already_sent(self):
        with ScoreServer("--rate-limit", "0") as server:
            connect = lambda: socket.create_connection(("127.0.0.1", server.port), timeout=30)
            kept, idle = [connect() for _ in range(16)], connect()
            for s in kept + [idle]:  # each kept alive after an answer
                s.sendall(request("/healthz", more_head=""))
                self.assertIn(b" 200 OK", s.recv(4096))
            one_shot = [connect() for _ in range(100)]
            for n, s in enumerate(one_shot + kept):
                s.sendall(request(upload_target("Stopping %d" % n), more_head=""))
            start = time.monotonic()
            server.process.send_signal(signal.SIGTERM)
            answers = [read_all(s) for s in one_shot + kept + [idle]]
            self.assertEqual(server.process.wait(timeout=30), 0)
            self.assertLess(time.monotonic() - start, 5)
            # One answer each (kept-alive ones answered before the stop, then closed); the idle one closed.
            self.assertEqual([(a[:13], a.count(b"HTTP/1.1")) for a in answers],
                             [(b"HTTP/1.1 200 ", 1)] * 116 + [(b"", 0)])

    def test_connection_limits_close_the_longest_idle_first(self):
        with ScoreServer("--max-connections", "3", "--max-per-client", "2") as server:
            def connect(address):
                s = socket.create_connection(("127.0.0.1", server.port), timeout=10, source_address=(address, 0))
                time.sleep(0.2)  # admitted in this order
                return s
            a, b, c, d = [connect(address) for address in ("127.0.0.1", "127.0.0.1", "127.0.0.2", "127.0.0.2")]
            self.assertEqual(read_all(a), b"")  # all three taken: the longest idle made room
            e = connect("127.0.0.1")
            self.assertEqual(read_all(b), b"")
            for s in (c, d, e):
                s.sendall(request("/healthz"))
                self.assertTrue(read_all(s).startswith(b"HTTP/1.1 200 "))

    def test_a_log_nobody_reads_holds_up_no_answer(self):
        folder = tempfile.mkdtemp(prefix="quillrun-scores-test-")
        read, write = os.pipe()
        process = subprocess.Popen([SCORES, "--listen", "127.0.0.1:0", "--database", "sqlite:%s/s.sqlite" % folder],
                                   stdout=write)
        os.close(write)
        port = int(re.search(rb":(\d+)/", os.read(read, 4096)).group(1))
        with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
            for _ in range(3000):  # some 400 KB of log, six times what the pipe holds
                s.sendall(request("/healthz?" + "x" * 100, more_head=""))
                self.assertIn(b" 200 OK", s.recv(4096))
        process.send_signal(signal.SIGTERM)
        log = b""
        while chunk := os.read(read, 65536):
            log += chunk
        self.assertEqual(process.wait(timeout=30), 0)
        self.assertEqual(log.count(b'"GET /healthz?x'), 3000)
        shutil.rmtree(folder)

    def test_command_line(self):
        self.assertNotIn("SDL", subprocess.run(["ldd", SCORES], capture_output=True, text=True).stdout)
        with ScoreServer() as first:
            other = "sqlite:" + os.path.join(first.folder, "other.sqlite")
            for args, code, text in [
                    (["--version"], 0, "quillrun-scores 1.21"), (["--help"], 0, "--maps"), (["--bogus"], 2, "unknown"),
                    (["--rate-limit", "x"], 2, "whole number"), (["--threads", "1"], 2, "from 2 to 1024"),
                    (["--listen", "nowhere"], 2, "HOST:PORT"), (["--database", "mysql://x"], 1, "unknown database"),
                    (["--listen", first.host_port, "--database", other], 1, "cannot listen")]:
                with self.subTest(args):
                    r = subprocess.run([SCORES, *args], capture_output=True, text=True, timeout=60)
                    self.assertEqual(r.returncode, code, r.stderr)
                    self.assertIn(text, r.stdout + r.stderr)


if __name__ == "__main__":
    run_tests()
