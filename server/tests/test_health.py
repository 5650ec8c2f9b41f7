# The score server on a database it cannot write: a real full disk (a small
# tmpfs filled up) and a real read-only one (a tmpfs remounted read-only, an
# ext4 image aborted under the running server). /healthz and the upload
# answer 503 while writing fails and 200 once it works again; the server
# refuses to start on such a database. Mounting needs root; without it the
# cases are skipped.
# SPDX-License-Identifier: MIT
import os
import subprocess
import tempfile
import unittest

from harness import SCORES, ScoreServer, run_tests, upload_target

TMPFS = [["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", "{fs}"]]
EXT4 = [["truncate", "-s", "8M", "{fs}.img"], ["mkfs.ext4", "-q", "{fs}.img"],
        ["mount", "-o", "loop", "{fs}.img", "{fs}"]]
FILL, FREE = ["dd", "if=/dev/zero", "of={fs}/filler", "bs=64k"], ["rm", "{fs}/filler"]
# "abort" turns an ext4 read-only under the files the server holds open, as an error would.
RO, ABORT = ["mount", "-o", "remount,ro", "{fs}"], ["mount", "-o", "remount,abort", "{fs}"]


def sh(fs, *command):  # "" or the first line of why the command failed
    r = subprocess.run([part.format(fs=fs) for part in command], capture_output=True, text=True, timeout=60)
    return r.returncode and ((r.stderr or r.stdout).strip() or "failed").splitlines()[0]


class UnwritableDatabase(unittest.TestCase):
    def test_health_and_uploads_follow_what_the_disk_takes(self):
        for case, mount, steps, before_start, refusal in [
            # steps after start: (command, /healthz, upload)
            ("full disk, then space freed", TMPFS, [(FILL, 503, 503), (FREE, 200, 200)], None, None),
            ("read-only after start", EXT4, [(ABORT, 503, 503)], None, None),
            ("read-only at start", TMPFS, [], RO, "Read-only file system"),
            ("full disk at start", TMPFS, [], FILL, "No space left on device"),
        ]:
            with self.subTest(case), tempfile.TemporaryDirectory(prefix="quillrun-health-") as top:
                fs, path = top + "/fs", top + "/fs/scores.sqlite"
                os.mkdir(fs)
                for command in mount:
                    if error := sh(fs, *command):
                        self.skipTest("cannot mount the file system here: %s" % error)
                try:
                    with ScoreServer(database="sqlite:" + path) as server:
                        for n, (command, healthz, upload) in enumerate(steps):
                            sh(fs, *command)
                            self.assertEqual((server.get("/healthz")[0], server.get(upload_target("Step %d" % n))[0],
                                              len(server.stored("Step %d" % n))), (healthz, upload, upload == 200))
                    if before_start:
                        sh(fs, *before_start)
                        r = subprocess.run([SCORES, "--listen", "127.0.0.1:0", "--database", "sqlite:" + path],
                                           capture_output=True, text=True, timeout=60)
                        self.assertEqual((r.returncode, r.stderr),
                                         (1, "quillrun-scores: cannot write the database %s: %s\n" % (path, refusal)))
                finally:
                    sh(fs, "umount", "{fs}")


if __name__ == "__main__":
    run_tests()
