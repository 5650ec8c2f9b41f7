# Durability: the server is killed (SIGKILL) in the middle of a stream of
# uploads; after a restart every upload that was answered 200 is stored and
# ranked.
# SPDX-License-Identifier: MIT
import sqlite3
import threading
import time
import unittest

from harness import ScoreServer, run_tests, upload_target


class Durability(unittest.TestCase):
    def test_every_answered_upload_survives_a_kill(self):
        server = ScoreServer("--rate-limit", "0")
        acknowledged = []

        def stream(n):
            for i in range(100000):
                try:
                    if server.get(upload_target("Kill %d-%d" % (n, i)))[0] == 200:
                        acknowledged.append("Kill %d-%d" % (n, i))
                except (OSError, IndexError, ValueError):
                    return  # the server is gone

        threads = [threading.Thread(target=stream, args=(n,)) for n in range(8)]
        for t in threads:
            t.start()
        deadline = time.monotonic() + 120
        while len(acknowledged) < 300 and time.monotonic() < deadline:
            time.sleep(0.01)
        server.process.kill()  # while the streams still send
        for t in threads:
            t.join()
        self.assertGreaterEqual(len(acknowledged), 300)
        with ScoreServer(database=server.database, folder=server.folder) as restarted:
            self.assertEqual(restarted.get("/healthz")[0], 200)
            with sqlite3.connect(server.database[len("sqlite:"):]) as db:
                stored = {row[0] for row in db.execute("SELECT holder FROM uploads")}
                best = {row[0] for row in db.execute("SELECT holder FROM best")}
        self.assertEqual([h for h in acknowledged if h not in stored or h not in best], [])


if __name__ == "__main__":
    run_tests()
