# The score server on PostgreSQL: a real database started in a temporary
# folder (as an unprivileged user, reached by its socket there), the HTTP
# tests that reach the store against it, two server processes on one
# database whose answers agree, and the database stopped and started again
# under load.
# SPDX-License-Identifier: MIT
import glob
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.parse

import test_game_upload
import test_http
from harness import ScoreServer, run_tests, upload_target

PG = {}


# Runs a PostgreSQL program as the folder's owner (never as root).
def as_owner(program, *args):
    command = (["runuser", "-u", "nobody", "--"] if os.geteuid() == 0 else []) + [os.path.join(PG["bin"], program)]
    return subprocess.run(command + list(args), capture_output=True, text=True, timeout=120)


def setUpModule():
    binaries = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    if not binaries:
        raise unittest.SkipTest("PostgreSQL cannot start: initdb not found under /usr/lib/postgresql")
    folder = tempfile.mkdtemp(prefix="quillrun-pg-")
    if os.geteuid() == 0:
        shutil.chown(folder, "nobody", "nogroup")
    PG.update(folder=folder, data=os.path.join(folder, "data"), bin=os.path.dirname(binaries[-1]))
    PG["start"] = ["pg_ctl", "-D", PG["data"], "-l", os.path.join(folder, "postgres.log"), "-w", "-t", "60",
                   "-o", "-k %s -c listen_addresses= -c fsync=off" % folder, "start"]
    for step in [["initdb", "-D", PG["data"], "-U", "quillrun", "--auth=trust", "-E", "UTF8", "--no-sync"],
                 PG["start"]]:
        r = as_owner(*step)
        if r.returncode != 0:
            shutil.rmtree(folder, ignore_errors=True)
            raise unittest.SkipTest("PostgreSQL cannot start (%s): %s" % (step[0], (r.stderr or r.stdout)[-400:]))
    PG["url"] = PostgresUploads.database = PostgresRuns.database = "postgresql://quillrun@%s/postgres" % urllib.parse.quote(
        folder, safe="")


def tearDownModule():
    if "url" in PG:
        as_owner("pg_ctl", "-D", PG["data"], "-m", "fast", "-w", "stop")
        shutil.rmtree(PG["folder"], ignore_errors=True)


class PostgresUploads(test_http.Uploads):
    pass  # every HTTP test that reaches the store, on PostgreSQL


class PostgresRuns(test_game_upload.Runs):
    def leave_pending(self, database, holder, run):
        as_owner("psql", "-h", PG["folder"], "-U", "quillrun", "-c", "UPDATE uploads SET run = decode('%s', 'hex'), "
                 "proof = 1 WHERE holder = '%s'" % (run.hex(), holder), "postgres")


class PostgresProcesses(unittest.TestCase):
    def test_two_processes_on_one_database_agree(self):
        with ScoreServer(database=PG["url"]) as first, ScoreServer(database=PG["url"]) as second:
            for i in range(6):
                self.assertEqual((first, second)[i % 2].get(upload_target("Both %d" % i, 40 + i, 7))[0], 200)
            for target in ["/api/maps", "/api/maps/7/scores", "/api/uploads?limit=100", "/index2.php?game=4"]:
                with self.subTest(target):
                    self.assertEqual(first.get(target)[::2], second.get(target)[::2])
            self.assertEqual([s["holder"] for s in second.json("/api/maps/7/scores")["scores"]],
                             ["Both %d" % i for i in reversed(range(6))])

    def test_a_database_restart_under_load_loses_no_upload_after_it(self):
        answers, phase = [], ["before"]  # (phase when sent, holder, status)

        def stream(server, n):
            while (sent := phase[0]) != "done":
                holder = "Restart %d-%d" % (n, time.monotonic_ns())
                if sent == "down":  # idle while the database is down: the pool keeps broken connections
                    time.sleep(0.01)
                else:
                    answers.append((sent, holder, server.get(upload_target(holder, map_id=9))[0]))

        with ScoreServer("--rate-limit", "0", database=PG["url"]) as server:
            threads = [threading.Thread(target=stream, args=(server, n)) for n in range(4)]
            for t in threads:
                t.start()
            for phase[0] in ["before", "down", "after", "done"]:
                time.sleep(1)
                if phase[0] == "down":
                    as_owner("pg_ctl", "-D", PG["data"], "-m", "fast", "-w", "stop")
                    down = [server.get(target)[0] for target in ["/healthz", upload_target("Down", map_id=9)]]
                    self.assertEqual((as_owner(*PG["start"]).returncode, down), (0, [503, 503]))
            for t in threads:
                t.join()
            self.assertEqual(server.get("/healthz")[0], 200)
        stored = as_owner("psql", "-h", PG["folder"], "-U", "quillrun", "-Atc", "SELECT holder FROM uploads",
                          "postgres").stdout.split("\n")
        after = [status for sent, _, status in answers if sent == "after"]
        self.assertEqual((len(after) > 20, set(after)), (True, {200}))
        self.assertEqual([h for _, h, status in answers if status == 200 and h not in stored], [])


if __name__ == "__main__":
    run_tests()
