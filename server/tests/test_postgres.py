"""The score server on PostgreSQL: a real database started in a temporary
folder (as an unprivileged user), the HTTP tests and the game's upload
against it, and two server processes on one database whose lists agree."""
import glob
import os
import shutil
import subprocess
import tempfile
import unittest

import test_http
from harness import EXAMPLE, ScoreServer, free_port, run_tests, upload_from_game

PG = {}


def as_owner(args):
    """Runs a PostgreSQL program as the folder's owner (never as root)."""
    command = (["runuser", "-u", "nobody", "--"] if os.geteuid() == 0 else []) + args
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def setUpModule():
    binaries = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    if not binaries:
        raise unittest.SkipTest("PostgreSQL cannot start: initdb not found under /usr/lib/postgresql")
    bin_dir = os.path.dirname(binaries[-1])
    folder = tempfile.mkdtemp(prefix="quillrun-pg-")
    os.chmod(folder, 0o700)
    if os.geteuid() == 0:
        shutil.chown(folder, "nobody", "nogroup")
    data, port = os.path.join(folder, "data"), free_port()
    PG.update(folder=folder, data=data, bin=bin_dir)
    steps = [
        [os.path.join(bin_dir, "initdb"), "-D", data, "-U", "quillrun", "--auth=trust", "-E", "UTF8", "--no-sync"],
        [os.path.join(bin_dir, "pg_ctl"), "-D", data, "-l", os.path.join(folder, "postgres.log"), "-w", "-t", "60",
         "-o", "-p %d -k %s -c listen_addresses=127.0.0.1 -c fsync=off" % (port, folder), "start"],
    ]
    for step in steps:
        r = as_owner(step)
        if r.returncode != 0:
            shutil.rmtree(folder, ignore_errors=True)
            PG.clear()
            raise unittest.SkipTest("PostgreSQL cannot start (%s): %s" % (os.path.basename(step[0]),
                                                                           (r.stderr or r.stdout).strip()[-400:]))
    PG["url"] = "postgresql://quillrun@127.0.0.1:%d/postgres" % port
    PostgresUploads.database = PG["url"]


def tearDownModule():
    if PG:
        as_owner([os.path.join(PG["bin"], "pg_ctl"), "-D", PG["data"], "-m", "fast", "-w", "stop"])
        shutil.rmtree(PG["folder"], ignore_errors=True)


class PostgresUploads(test_http.Uploads):
    """Every HTTP upload, page and API test, on PostgreSQL."""


class PostgresGameAndProcesses(unittest.TestCase):
    def test_the_games_upload_and_two_processes_agree(self):
        first, second = ScoreServer(database=PG["url"]), ScoreServer(database=PG["url"])
        try:
            score, _ = upload_from_game(self, first)
            for i in range(6):
                server = (first, second)[i % 2]
                pairs = [(k, "Both %d" % i if k == "npn" else v) for k, v in EXAMPLE]
                self.assertEqual(server.upload(pairs)[0], 200)
            for target in ["/api/maps", "/api/maps/1/scores", "/api/maps/3/scores?limit=100",
                           "/api/uploads?limit=100", "/index2.php?game=4"]:
                with self.subTest(target):
                    a, b = first.get(target), second.get(target)
                    self.assertEqual((a[0], a[2]), (b[0], b[2]))
            holders = [s["holder"] for s in second.json("/api/maps/3/scores?limit=100")["scores"]]
            self.assertTrue(all("Both %d" % i in holders for i in range(6)), holders)
            self.assertIn(score, [s["score"] for s in second.json("/api/maps/1/scores")["scores"]])
        finally:
            self.assertEqual(first.stop(), 0)
            self.assertEqual(second.stop(), 0)
            first.remove()
            second.remove()


if __name__ == "__main__":
    run_tests()
