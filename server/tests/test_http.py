"""The score server over HTTP: uploads as the game sends them, hostile input,
the list page, the JSON API, the limits, and stopping."""
import os
import signal
import socket
import subprocess
import threading
import time
import unittest

from harness import EXAMPLE, SCORES, TODAY, ScoreServer, run_tests, upload_target


def replaced(pairs, key, value):
    return [(k, value if k == key else v) for k, v in pairs]


def without(pairs, key):
    return [(k, v) for k, v in pairs if k != key]


class Uploads(unittest.TestCase):
    database = None  # SQLite in a temporary folder

    @classmethod
    def setUpClass(cls):
        cls.server = ScoreServer(database=cls.database, extra=["--rate-limit", "0", "--head-timeout", "2"])

    @classmethod
    def tearDownClass(cls):
        code = cls.server.stop()
        cls.server.remove()
        assert code == 0, code

    def stored(self, holder):
        return [u for u in self.server.uploads() if u["holder"] == holder]

    def test_the_games_request_is_stored_once_and_listed(self):
        for _ in range(2):  # the player presses 'U' twice
            status, headers, body = self.server.upload(EXAMPLE)
            self.assertEqual((status, body), (200, "OK\n"))
        self.assertEqual(len(self.stored("Pilot and Co")), 1)
        scores = self.server.json("/api/maps/3/scores?limit=100")
        self.assertEqual(scores["map"], {"id": 3, "name": "Lazy River"})
        self.assertIn(("Pilot and Co", 725, TODAY), [(s["holder"], s["score"], s["date"]) for s in scores["scores"]])
        upload = self.stored("Pilot and Co")[0]
        self.assertEqual((upload["map"], upload["mapName"], upload["score"]), (3, "Deep", 725))
        self.assertRegex(upload["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        status, headers, page = self.server.get("/index2.php?game=4")
        self.assertEqual(status, 200)
        self.assertIn("<td class=\"holder\">Pilot and Co</td><td class=\"score\">725</td>", page)

    def test_texts_are_utf8_or_windows_1252(self):
        cases = [
            ("UTF-8 kept", "J%C3%B6rg%20%C3%85ke", "Jörg Åke"),
            ("Windows-1252 read as such", "J%F6rg%20%C5ke%20%80", "Jörg Åke €"),
            ("plus is a blank", "Ann+Lee", "Ann Lee"),
            ("254 characters", "%C3%A9" * 254, "é" * 254),
        ]
        for what, wire, expected in cases:
            with self.subTest(what):
                target = upload_target(replaced(EXAMPLE, "npn", "X")).replace("npn=X", "npn=" + wire)
                status, _, body = self.server.get(target)
                self.assertEqual((status, body), (200, "OK\n"))
                self.assertEqual(len(self.stored(expected)), 1)

    def test_hostile_input_is_refused_and_nothing_stored(self):
        before = len(self.server.uploads())
        good = upload_target(EXAMPLE)
        cases = [
            ("name over 254 characters", replaced(EXAMPLE, "npn", "x" * 255), 400),
            ("map name over 254 characters", replaced(EXAMPLE, "nmn", "é" * 255), 400),
            ("empty name", replaced(EXAMPLE, "npn", ""), 400),
            ("name with a line break", replaced(EXAMPLE, "npn", "a\nb"), 400),
            ("name with NUL", replaced(EXAMPLE, "npn", "a\0b"), 400),
            ("score not a number", replaced(replaced(EXAMPLE, "nsc", "abc"), "nreplay", "abc"), 400),
            ("score negative", replaced(replaced(EXAMPLE, "nsc", "-1"), "nreplay", "-1"), 400),
            ("score too high", replaced(replaced(EXAMPLE, "nsc", "32768"), "nreplay", "32768"), 400),
            ("score with a fraction", replaced(replaced(EXAMPLE, "nsc", "7.5"), "nreplay", "7.5"), 400),
            ("score with blanks", replaced(replaced(EXAMPLE, "nsc", " 725"), "nreplay", " 725"), 400),
            ("replay score differs", replaced(EXAMPLE, "nreplay", "726"), 400),
            ("id 0", replaced(EXAMPLE, "id", "0"), 400),
            ("id 27", replaced(EXAMPLE, "id", "27"), 400),
            ("id -1", replaced(EXAMPLE, "id", "-1"), 400),
            ("id 99999999999", replaced(EXAMPLE, "id", "99999999999"), 400),
            ("id empty", replaced(EXAMPLE, "id", ""), 400),
            ("no such day", replaced(EXAMPLE, "nsd", "2026-02-29"), 400),
            ("month 13", replaced(EXAMPLE, "nsd", "2026-13-01"), 400),
            ("date without leading zeros", replaced(EXAMPLE, "nsd", "2026-1-6"), 400),
            ("date far ahead", replaced(EXAMPLE, "nsd", "9999-12-31"), 400),
            ("date as text", replaced(EXAMPLE, "nsd", "today"), 400),
        ]
        for key, _ in EXAMPLE:
            cases.append(("missing " + key, without(EXAMPLE, key), 400))
        for what, pairs, status in cases:
            with self.subTest(what):
                got, _, body = self.server.upload(pairs)
                self.assertEqual(got, status, body)
                self.assertEqual(body.count("\n"), 1, body)  # one line saying why
        raw_cases = [
            ("repeated parameter", good + "&npn=Eve", 400),
            ("bad percent-encoding", good.replace("Deep", "De%G1p"), 400),
            ("cut percent-encoding", good + "%", 400),
            ("percent without digits", good.replace("nmn=Deep", "nmn=%"), 400),
            ("HEAD stores nothing", None, 405),
        ]
        for what, target, status in raw_cases:
            with self.subTest(what):
                if target is None:
                    got, headers, _ = self.server.request(good.replace("725", "724"), method="HEAD")
                    self.assertEqual(headers.get("allow"), "GET")
                else:
                    got, _, _ = self.server.get(target)
                self.assertEqual(got, status)
        with self.subTest("POST"):
            got, headers, _ = self.server.request(good, method="POST", body="id=3")
            self.assertEqual((got, headers.get("allow")), (405, "GET, HEAD"))
        with self.subTest("10 KB request line"):
            answer = self.server.raw(("GET " + good + "&pad=" + "x" * 10240 + " HTTP/1.1\r\nHost: a\r\n\r\n").encode())
            self.assertTrue(answer.startswith(b"HTTP/1.1 414 "), answer[:80])
        with self.subTest("16 KB of headers"):
            headers = "".join("X-Pad-%d: %s\r\n" % (i, "y" * 1000) for i in range(16))
            answer = self.server.raw(("GET " + good + " HTTP/1.1\r\nHost: a\r\n" + headers + "\r\n").encode())
            self.assertTrue(answer.startswith(b"HTTP/1.1 431 "), answer[:80])
        after = self.server.uploads()
        self.assertEqual(len(after), before, after[:3])

    def test_sql_in_names_is_stored_as_text(self):
        for name in ["Robert'); DROP TABLE uploads;--", "x' OR '1'='1", "\"; DELETE FROM best; --"]:
            with self.subTest(name):
                status, _, _ = self.server.upload(replaced(EXAMPLE, "npn", name))
                self.assertEqual(status, 200)
                self.assertEqual(len(self.stored(name)), 1)
        self.assertEqual(self.server.get("/healthz")[0], 200)
        self.assertGreaterEqual(len(self.server.uploads()), 3)

    def test_a_slow_client_is_dropped(self):
        # One byte every 0.3 s never finishes a request head within 2 s.
        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=30) as s:
            answer = b""
            try:
                for byte in ("GET " + upload_target(EXAMPLE) + " HTTP/1.1\r\n").encode():
                    s.sendall(bytes([byte]))
                    time.sleep(0.3)
                    if time.monotonic() - start > 20:
                        break
            except (BrokenPipeError, ConnectionResetError):
                pass
            try:
                answer = s.recv(1000)
            except (ConnectionResetError, socket.timeout):
                pass
        self.assertLess(time.monotonic() - start, 15)
        self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 408 "), answer)

    def test_ranking_keeps_each_holders_best(self):
        pairs = lambda name, score: replaced(replaced(replaced(replaced(EXAMPLE, "id", "5"), "npn", name),
                                                      "nsc", str(score)), "nreplay", str(score))
        for i in range(12):
            self.assertEqual(self.server.upload(pairs("Pilot %02d" % i, 100 + i * 10))[0], 200)
        self.assertEqual(self.server.upload(pairs("Pilot 03", 500))[0], 200)
        self.assertEqual(self.server.upload(pairs("Pilot 03", 120))[0], 200)  # lower: the best stays
        top = self.server.json("/api/maps/5/scores")["scores"]
        self.assertEqual([(s["rank"], s["holder"], s["score"]) for s in top[:3]],
                         [(1, "Pilot 03", 500), (2, "Pilot 11", 210), (3, "Pilot 10", 200)])
        self.assertEqual(len(top), 10)
        self.assertEqual(len(self.server.json("/api/maps/5/scores?limit=100")["scores"]), 12)
        best = {m["id"]: m["best"] for m in self.server.json("/api/maps")["maps"]}
        self.assertEqual(len(best), 26)
        self.assertEqual(best[5], {"holder": "Pilot 03", "score": 500, "date": TODAY})
        self.assertIsNone(best[26])

    def test_pages_paths_and_headers(self):
        status, headers, page = self.server.get("/index2.php?game=4")
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-type"], "text/html; charset=utf-8")
        self.assertNotIn("script", headers["content-security-policy"])
        self.assertIn("default-src 'none'", headers["content-security-policy"])
        self.assertEqual(headers["x-content-type-options"], "nosniff")
        self.assertNotIn("<script", page.lower())
        self.assertIn("<h2><span class=\"number\">26</span> ", page)
        self.assertIn("no score yet", page)
        cases = [
            ("/", 302), ("/index2.php?game=5", 404), ("/index2.php", 404), ("/index2.php?game=4&game=5", 404),
            ("/nothing/here", 404), ("/static/scores.css", 200), ("/favicon.ico", 200), ("/healthz", 200),
            ("/api/maps/27/scores", 404), ("/api/maps/0/scores", 404), ("/api/maps/3/scores?limit=0", 400),
            ("/api/maps/3/scores?limit=x", 400), ("/api/uploads?limit=101", 400),
        ]
        for target, expected in cases:
            with self.subTest(target):
                status, headers, body = self.server.get(target)
                self.assertEqual(status, expected, body[:200])
                self.assertEqual(headers["x-content-type-options"], "nosniff")
                if status == 404 and not target.startswith("/api"):
                    self.assertIn("<h1>Not found</h1>", body)
        self.assertEqual(self.server.get("/")[1]["location"], "/index2.php?game=4")

    def test_one_log_line_per_request(self):
        self.assertEqual(self.server.get("/healthz?probe=1")[0], 200)
        line = self.server.log_lines_with("/healthz?probe=1")[-1]
        self.assertRegex(line, r'^\S+Z 127\.0\.0\.1 "GET /healthz\?probe=1 HTTP/1\.1" 200 3 \d+\.\d{3}ms$')


class Limits(unittest.TestCase):
    def test_uploads_over_the_rate_limit_are_refused(self):
        server = ScoreServer(extra=["--rate-limit", "3"])
        try:
            answers = [server.upload(replaced(EXAMPLE, "npn", "Rater %d" % i))[0] for i in range(5)]
            self.assertEqual(answers, [200, 200, 200, 429, 429])
            self.assertEqual(sorted(u["holder"] for u in server.uploads()), ["Rater 0", "Rater 1", "Rater 2"])
        finally:
            self.assertEqual(server.stop(), 0)
            server.remove()

    def test_stopping_finishes_and_exits_cleanly(self):
        server = ScoreServer()
        try:
            # An idle keep-alive connection does not hold the stop up.
            idle = socket.create_connection(("127.0.0.1", server.port))
            idle.sendall(b"GET /healthz HTTP/1.1\r\nHost: a\r\n\r\n")
            self.assertIn(b" 200 ", idle.recv(1000))
            start = time.monotonic()
            self.assertEqual(server.stop(signal.SIGINT), 0)
            self.assertLess(time.monotonic() - start, 4)
            self.assertTrue(server.log().endswith("quillrun-scores stopped\n"))
            idle.close()
        finally:
            server.remove()

    def test_a_second_server_cannot_share_the_port(self):
        first = ScoreServer()
        try:
            second = subprocess.run([SCORES, "--listen", first.host_port, "--database",
                                     "sqlite:" + os.path.join(first.folder, "other.sqlite")],
                                    capture_output=True, text=True, timeout=60)
            self.assertEqual(second.returncode, 1)
            self.assertIn("cannot listen", second.stderr)
        finally:
            first.stop()
            first.remove()

    def test_command_line(self):
        for args, code, text in [(["--version"], 0, "quillrun-scores 1.21"), (["--help"], 0, "--rate-limit"),
                                 (["--rate-limit", "x"], 2, "whole number"), (["--bogus"], 2, "unknown option"),
                                 (["--listen", "nowhere"], 2, "HOST:PORT"),
                                 (["--database", "mysql://x", "--listen", "127.0.0.1:0"], 1, "unknown database")]:
            with self.subTest(args):
                r = subprocess.run([SCORES, *args], capture_output=True, text=True, timeout=60)
                self.assertEqual(r.returncode, code, r.stderr)
                self.assertIn(text, r.stdout + r.stderr)

    def test_no_toolkit_is_linked(self):
        libraries = subprocess.run(["ldd", SCORES], capture_output=True, text=True).stdout
        self.assertIn("libsqlite3", libraries)
        self.assertNotIn("SDL", libraries)


if __name__ == "__main__":
    run_tests()
