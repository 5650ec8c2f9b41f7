# The 'U' key end to end: quillrun-sim reads its catalogue and [Online]
# settings from Maps.ini and uploads to a real quillrun-scores on 127.0.0.1.
import http.server
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from harness import GAME_DIR, ScoreServer, run_tests

UPLOADED = "message: Uploading Score: Your score uploaded! Do you want to check if you got to the list?\n"
UPLOAD_KEYS = "1 tap 3\n2 tap U\n1000 close\n"  # map 3 selected, then 'U'


def mask(text):
    return bytes(c ^ 183 for c in text.encode("cp1252"))


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# A program folder beside the server's: the shipped caves and pictures, and
# the shipped Maps.ini with map 3 renamed `name`, holding 725 by `holder`,
# and an [Online] section. cave_bytes: map 3's picture as a file of that size.
def game_folder(folder, server, site="127.0.0.1:9", name="Deep", holder="Pilot & Co", cave_bytes=None):
    game = os.path.join(folder, "game-%d" % time.monotonic_ns())
    os.makedirs(os.path.join(game, "Replays"))
    os.makedirs(os.path.join(game, "Maps"))
    os.symlink(os.path.join(GAME_DIR, "Pictures"), os.path.join(game, "Pictures"))
    for cave in os.listdir(os.path.join(GAME_DIR, "Maps")):
        if cave.endswith(".bmp"):
            os.symlink(os.path.join(GAME_DIR, "Maps", cave), os.path.join(game, "Maps", cave))
    with open(os.path.join(GAME_DIR, "Maps", "Maps.ini"), "rb") as f:
        ini = f.read()
    section = re.search(rb"\[03\]\r\n(?:(?!\[).*\r\n)*", ini)
    cave = re.search(rb"File=(.*)\r\n", section.group(0)).group(1).decode()
    new = re.sub(rb"Name=.*\r\n", b"Name=" + name.encode("cp1252") + b"\r\n", section.group(0))
    new += b"ScoreBest=" + mask(" 725") + b"\r\nScoreName=" + mask(holder) + b"\r\n"
    ini = ini.replace(section.group(0), new) + b"\r\n[Online]\r\nServer=%s\r\nSite=%s\r\n" % (
        server.encode(), site.encode())
    with open(os.path.join(game, "Maps", "Maps.ini"), "wb") as f:
        f.write(ini)
    if cave_bytes is not None:
        os.remove(os.path.join(game, "Maps", cave))
        with open(os.path.join(game, "Maps", cave), "wb") as f:
            f.truncate(cave_bytes)
    return game


def play(game, script, until=None):
    run = subprocess.run([os.environ["QUILLRUN_SIM"], "--game-dir", game, "--script", "-"]
                         + (["--until", str(until)] if until else []),
                         input=script.encode("utf-8"), capture_output=True, timeout=240)
    assert run.returncode == 0, run.stderr
    return run.stdout.decode("utf-8", "replace")


class GameUpload(unittest.TestCase):
    def test_a_record_set_in_the_game_is_ranked(self):
        # The holder typed in the name dialog, on the shipped cave 1; the
        # server ranks it under the map's official name.
        with ScoreServer() as server:
            game = game_folder(server.folder, server.host_port)
            out = play(game, "1 tap ENTER\n3 tap UP\ndialog Zoë & Jörg <b>\n400 tap U\nconfirm no\n", 1000)
            self.assertIn("message: Uploading Score: Your score uploaded!", out)
            score = int(re.search(r"New record: (\d+)", out).group(1))
            top = server.json("/api/maps/1/scores")
            self.assertEqual(top["map"]["name"], "First Flight")
            self.assertEqual([(s["rank"], s["holder"], s["score"]) for s in top["scores"]],
                             [(1, "Zoë and Jörg <b>", score)])

    def test_outcomes_of_the_upload_key(self):
        with ScoreServer() as server:
            here, closed = server.host_port, "127.0.0.1:%d" % closed_port()
            rows = [  # what, game folder, the game's messages, the uploads stored under (map name, holder)
                ("the record", game_folder(server.folder, here), UPLOADED, ("Deep", "Pilot and Co")),
                ("a map file one byte short", game_folder(server.folder, here, cave_bytes=6000055), "", None),
                ("no server listening", game_folder(server.folder, closed),
                 "message: Quillrun: You must connect to the Internet first!\n", None),
                # Windows-1252 in Maps.ini: "Café & Bar", "Jörg #1 = Åke  Ø".
                ("names beyond ASCII", game_folder(server.folder, here, name="Café & Bar", holder="Jörg #1 = Åke  Ø"),
                 UPLOADED, ("Café and Bar", "Jörg #1 = Åke  Ø")),
            ]
            expected = []
            for what, game, messages, stored in rows:
                with self.subTest(what):
                    self.assertEqual(play(game, UPLOAD_KEYS), messages)
                    expected += [stored] if stored else []
                    uploads = server.json("/api/uploads?limit=100")["uploads"]
                    self.assertEqual(sorted((u["mapName"], u["holder"]) for u in uploads), sorted(expected))
                    self.assertTrue(all((u["map"], u["score"], u["date"]) == (3, 725, time.strftime("%Y-%m-%d")) for u in uploads))

    def test_yes_opens_the_score_list_no_does_not(self):
        with ScoreServer() as server:
            game = game_folder(server.folder, server.host_port, site="scores.localhost:8123")
            for answer in ("no", "yes"):
                opened = re.findall(r"^open: .*", play(game, UPLOAD_KEYS + "confirm %s\n" % answer), re.M)
                self.assertEqual(opened, ["open: http://scores.localhost:8123/index2.php?game=4"] * (answer == "yes"))
            self.assertEqual(len(server.stored("Pilot and Co")), 1)  # the same upload twice is stored once

    def test_an_upload_key_during_the_wait_starts_a_nested_upload(self):
        # The upload's wait handles keys: a second 'U' released at the first
        # waiting dispatch sends its own request and shows its own question
        # inside the first; the first finishes after it. A server slow to
        # answer keeps the first request waiting.
        lines = []

        class Slow(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                lines.append(self.requestline)
                time.sleep(0.2)
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        slow = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Slow)
        threading.Thread(target=slow.serve_forever, daemon=True).start()
        self.addCleanup(slow.server_close)
        self.addCleanup(slow.shutdown)
        folder = tempfile.mkdtemp(prefix="quillrun-upload-")
        self.addCleanup(shutil.rmtree, folder, True)
        game = game_folder(folder, "127.0.0.1:%d" % slow.server_address[1])
        self.assertEqual(play(game, "1 tap 3\n2 tap U\n3 tap U\n1000 close\n"), UPLOADED * 2)
        self.assertEqual(len(lines), 2)
        self.assertEqual(lines[0], lines[1])


if __name__ == "__main__":
    run_tests()
