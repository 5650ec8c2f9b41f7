# The score server on a database it cannot write: a real full disk (a small
# tmpfs filled up) and a real read-only one (a tmpfs remounted read-only, an
# ext4 image aborted under the running server). /healthz and the upload
# answer 503 while writing fails and 200 once it works again; the server
# refuses to start on such a database. Mounting needs root; without it the
# cases are skipped.
# SPDX-License-Identifier: MIT
import contextlib
import os
import subprocess
import tempfile
import time
import unittest

from harness import GAME_DIR, SCORES, ScoreServer, run_tests, upload_target


def sh(*command):  # "" or why the command failed
    r = subprocess.run(command, capture_output=True, text=True, timeout=60)
    return r.returncode and (r.stderr or r.stdout or "status %d" % r.returncode).strip().splitlines()[0]


# What a step does to the file system at `folder`: fill it, free it, remount it "ro" or "abort" it (ext4).
def act(action, folder):
    if action == "fill":
        with open(os.path.join(folder, "filler"), "wb", buffering=0) as f, contextlib.suppress(OSError):
            while f.write(b"\0" * 65536):
                pass
    elif action == "free":
        os.unlink(os.path.join(folder, "filler"))
    else:
        assert not (error := sh("mount", "-o", "remount," + action, folder)), error


def health(server, expected):  # after a failed write the store probes at most once a second
    deadline = time.monotonic() + 10
    while (status := server.get("/healthz")[0]) != expected and time.monotonic() < deadline:
        time.sleep(0.2)
    return status


class UnwritableDatabase(unittest.TestCase):
    def test_health_and_uploads_follow_what_the_disk_takes(self):
        for case, kind, before_start, refusal, steps in [
            # steps after start: (action, /healthz, upload)
            ("full disk, then space freed", "tmpfs", None, None, [("fill", 503, 503), ("free", 200, 200)]),
            ("read-only after start", "ext4", None, None, [("abort", 503, 503)]),
            ("read-only at start", "tmpfs", "ro", "Read-only file system", []),
            ("full disk at start", "tmpfs", "fill", "No space left on device", []),
        ]:
            with self.subTest(case), tempfile.TemporaryDirectory(prefix="quillrun-health-") as top:
                folder, image, path = top + "/fs", top + "/fs.img", top + "/fs/scores.sqlite"
                os.mkdir(folder)
                if error := (sh("mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", folder) if kind == "tmpfs" else
                             sh("truncate", "-s", "8M", image) or sh("mkfs.ext4", "-q", image) or
                             sh("mount", "-o", "loop", image, folder)):
                    self.skipTest("cannot mount the %s here: %s" % (kind, error))
                try:
                    with ScoreServer(database="sqlite:" + path) as server:
                        self.assertEqual(server.get(upload_target("Before"))[0], 200)
                        for n, (action, healthz, upload) in enumerate(steps):
                            act(action, folder)
                            self.assertEqual(health(server, healthz), healthz, action)
                            self.assertEqual(server.get(upload_target("Step %d" % n))[0], upload, action)
                            self.assertEqual(len(server.stored("Step %d" % n)), upload == 200, action)
                    if before_start:
                        act(before_start, folder)
                        r = subprocess.run([SCORES, "--listen", "127.0.0.1:0", "--database", "sqlite:" + path,
                                            "--maps", GAME_DIR + "/Maps/Maps.ini"], capture_output=True, text=True)
                        self.assertEqual((r.returncode, r.stdout, r.stderr),
                                         (1, "", "quillrun-scores: cannot write the database %s: %s\n" % (path, refusal)))
                finally:
                    sh("umount", folder)


if __name__ == "__main__":
    run_tests()
