# The score server over HTTP: uploads as the game sends them, hostile
# requests, the ranking, the pages and the API, the log, the limits, slow and
# idle clients, stopping, and the command line.
# SPDX-License-Identifier: MIT
import os
import select
import signal
import socket
import subprocess
import time
import unittest

from harness import SCORES, TODAY, ScoreServer, run_tests, upload_target


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
        self.assertIn({"rank": 1, "holder": holder, "score": 725, "date": TODAY}, scores["scores"])

    def test_refused_requests_store_nothing(self):
        def head(method, n, more_query="", more_head=""):
            return ("%s %s%s HTTP/1.1\r\nHost: a\r\nConnection: close\r\n%s\r\n"
                    % (method, upload_target("Row %d" % n, 30), more_query, more_head)).encode()
        for n, (sent, status, says, stored) in enumerate([  # for the holder "Row <n>": the answer, rows stored
                (head("GET", 0), 200, "\r\n\r\nOK\n", 1),
                (head("GET", 1, "&nsc=31"), 400, "\r\n\r\nrepeated parameter nsc\n", 0),
                (head("HEAD", 2), 405, "\r\nAllow: GET\r\n", 0),
                (head("POST", 3, "", "Content-Length: 4\r\n") + b"id=3", 405, "\r\nAllow: GET, HEAD\r\n", 0),
                (head("GET", 4, "&pad=" + "x" * 10240), 414, " URI Too Long\r\n", 0)]):
            with self.subTest(sent[:40]):
                answer = self.server.raw(sent)
                self.assertTrue(answer.startswith(b"HTTP/1.1 %d " % status), answer[:200])
                self.assertIn(says.encode(), answer)
                self.assertEqual(len(self.server.stored("Row %d" % n)), stored)

    def test_ranking_keeps_each_holders_best(self):
        for holder, score in [("Pilot %02d" % i, 100 + i * 10) for i in range(12)] + [("Pilot 03", 500),
                                                                                      ("Pilot 03", 120)]:
            self.assertEqual(self.server.get(upload_target(holder, score, 5))[0], 200)
        top = self.server.json("/api/maps/5/scores")["scores"]
        self.assertEqual([(s["rank"], s["holder"], s["score"]) for s in top[:3]],
                         [(1, "Pilot 03", 500), (2, "Pilot 11", 210), (3, "Pilot 10", 200)])
        self.assertEqual((len(top), len(self.server.json("/api/maps/5/scores?limit=100")["scores"])), (10, 12))
        best = {m["id"]: m["best"] for m in self.server.json("/api/maps")["maps"]}
        self.assertEqual((len(best), best[5], best[26]), (26, dict(holder="Pilot 03", score=500, date=TODAY), None))

    def test_pages_paths_headers_and_the_log(self):
        status, headers, _ = self.server.get("/index2.php?game=4")
        self.assertEqual((status, headers["content-type"]), (200, "text/html; charset=utf-8"))
        self.assertIn("default-src 'none'", headers["content-security-policy"])
        self.assertNotIn("script", headers["content-security-policy"])
        for target, expected in [
                ("/", 302), ("/index2.php?game=5", 404), ("/nothing/here", 404), ("/static/scores.css", 200),
                ("/favicon.ico", 200), ("/healthz", 200), ("/api/maps/27/scores", 404), ("/api/maps/0/scores", 404),
                ("/api/maps/3/scores?limit=0", 400), ("/api/maps/3/scores?limit=x", 400),
                ("/api/uploads?limit=101", 400), ("/api/uploads?limit=1000", 400)]:
            with self.subTest(target):
                status, headers, _ = self.server.get(target)
                self.assertEqual((status, headers["x-content-type-options"]), (expected, "nosniff"))
        self.assertIn("<h1>Not found</h1>", self.server.get("/nothing/here")[2])
        # One log line a request, written before the connection closes.
        self.assertEqual(self.server.get("/healthz?probe=1")[0], 200)
        lines = [line for line in self.server.log().splitlines() if "/healthz?probe=1" in line]
        self.assertEqual(len(lines), 1, lines)
        self.assertRegex(lines[0], r'^\S+Z 127\.0\.0\.1 "GET /healthz\?probe=1 HTTP/1\.1" 200 3 \d+\.\d{3}ms$')


class Limits(unittest.TestCase):
    def test_uploads_over_the_rate_limit_are_refused(self):
        with ScoreServer("--rate-limit", "3") as server:
            self.assertEqual([server.get(upload_target("Rater %d" % i))[0] for i in range(5)], [200] * 3 + [429] * 2)
            self.assertEqual([len(server.stored("Rater %d" % i)) for i in range(5)], [1, 1, 1, 0, 0])

    def test_slow_and_idle_clients_are_let_go(self):
        with ScoreServer("--head-timeout", "2") as server:
            start = time.monotonic()
            with socket.create_connection(("127.0.0.1", server.port), timeout=10) as slow:
                for byte in b"GET /healthz HTTP/1.1\r\n":  # a byte every 0.3 s, until the server lets go
                    if select.select([slow], [], [], 0.3)[0]:
                        break
                    slow.sendall(bytes([byte]))
                self.assertIn(slow.recv(1000)[:13], (b"", b"HTTP/1.1 408 "))
            # The head's whole time counts, not the time between bytes, and none of it is cut short.
            self.assertTrue(2 < time.monotonic() - start < 5, time.monotonic() - start)
            with socket.create_connection(("127.0.0.1", server.port)) as idle:  # kept alive, it does not hold the stop
                idle.sendall(b"GET /healthz HTTP/1.1\r\nHost: a\r\n\r\n")
                self.assertIn(b" 200 ", idle.recv(1000))
                start = time.monotonic()
                self.assertEqual(server.stop(signal.SIGINT), 0)
                self.assertLess(time.monotonic() - start, 4)
            self.assertTrue(server.final_log.endswith("quillrun-scores stopped\n"))

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
