"""Durability: the server is killed (SIGKILL) in the middle of a stream of
uploads; after a restart every upload that was answered 200 is stored."""
import signal
import sqlite3
import threading
import time
import unittest

from harness import EXAMPLE, ScoreServer, run_tests


def pairs_for(holder):
    return [(k, holder if k == "npn" else v) for k, v in EXAMPLE]


class Durability(unittest.TestCase):
    def test_every_answered_upload_survives_a_kill(self):
        server = ScoreServer(extra=["--rate-limit", "0"])
        acknowledged, lock, stop = [], threading.Lock(), threading.Event()

        def stream(n):
            i = 0
            while not stop.is_set():
                holder = "Kill %d-%d" % (n, i)
                i += 1
                try:
                    status, _, _ = server.upload(pairs_for(holder))
                except OSError:
                    return  # the server is gone
                if status == 200:
                    with lock:
                        acknowledged.append(holder)

        threads = [threading.Thread(target=stream, args=(n,)) for n in range(8)]
        for t in threads:
            t.start()
        deadline = time.monotonic() + 120
        while len(acknowledged) < 300 and time.monotonic() < deadline:
            time.sleep(0.01)
        server.process.send_signal(signal.SIGKILL)  # while the streams still send
        server.process.wait(timeout=60)
        stop.set()
        for t in threads:
            t.join()
        self.assertGreaterEqual(len(acknowledged), 300)

        restarted = ScoreServer(database=server.database, folder=server.folder)
        try:
            self.assertEqual(restarted.get("/healthz")[0], 200)
        finally:
            self.assertEqual(restarted.stop(), 0)
        db = sqlite3.connect(server.database[len("sqlite:"):])
        stored = {row[0] for row in db.execute("SELECT holder FROM uploads")}
        best = {row[0] for row in db.execute("SELECT holder FROM best")}
        db.close()
        missing = [h for h in acknowledged if h not in stored or h not in best]
        self.assertEqual(missing, [])
        server.log_file.close()
        server.remove()


if __name__ == "__main__":
    run_tests()
