# The score server on PostgreSQL: a real database started in a temporary
# folder (as an unprivileged user, reached by its socket there), the HTTP
# tests that reach the store against it, and two server processes on one
# database whose answers agree.
# SPDX-License-Identifier: MIT
import glob
import os
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

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
    for step in [["initdb", "-D", PG["data"], "-U", "quillrun", "--auth=trust", "-E", "UTF8", "--no-sync"],
                 ["pg_ctl", "-D", PG["data"], "-l", os.path.join(folder, "postgres.log"), "-w", "-t", "60",
                  "-o", "-k %s -c listen_addresses= -c fsync=off" % folder, "start"]]:
        r = as_owner(*step)
        if r.returncode != 0:
            shutil.rmtree(folder, ignore_errors=True)
            raise unittest.SkipTest("PostgreSQL cannot start (%s): %s" % (step[0], (r.stderr or r.stdout)[-400:]))
    PG["url"] = PostgresUploads.database = "postgresql://quillrun@%s/postgres" % urllib.parse.quote(folder, safe="")


def tearDownModule():
    if "url" in PG:
        as_owner("pg_ctl", "-D", PG["data"], "-m", "fast", "-w", "stop")
        shutil.rmtree(PG["folder"], ignore_errors=True)


class PostgresUploads(test_http.Uploads):
    pass  # every HTTP test that reaches the store, on PostgreSQL


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


if __name__ == "__main__":
    run_tests()
