# The 'U' key end to end: quillrun-sim reads its catalogue and [Online]
# settings from Maps.ini and uploads to a real quillrun-scores on 127.0.0.1.
# SPDX-License-Identifier: MIT
import http.server
import os
import re
import shutil
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
import unittest

from harness import GAME_DIR, ScoreServer, run_target, run_tests, upload_target

UPLOADED = "message: Uploading Score: Your score uploaded! Do you want to check if you got to the list?\n"
UPLOAD_KEYS = "1 tap 3\n2 tap U\n1000 close\n"  # map 3 selected, then 'U'
SERVER_SAYS = "message: Uploading Score: The score server %s "
# Routing tables in the form of /proc/net/route: a default route on eth0, and
# none but loopback.
ROUTES = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n"
ON_A_NETWORK = ROUTES + "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
NO_NETWORK = ROUTES + "lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n"


def mask(text):
    return bytes(c ^ 183 for c in text.encode("cp1252"))


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# A program folder beside the server's: the shipped caves and pictures, and
# the shipped Maps.ini with map 3 renamed `name`, holding 725 by `holder`,
# and an [Online] section. cave_bytes: map 3's picture as a file of that size;
# more: sections added to Maps.ini.
def game_folder(folder, server, site="127.0.0.1:9", name="Deep", holder="Pilot & Co", cave_bytes=None, best=725, more=b""):
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
    new += b"ScoreBest=" + mask(" %d" % best) + b"\r\nScoreName=" + mask(holder) + b"\r\n"
    ini = ini.replace(section.group(0), new) + more + b"\r\n[Online]\r\nServer=%s\r\nSite=%s\r\n" % (
        server.encode(), site.encode())
    with open(os.path.join(game, "Maps", "Maps.ini"), "wb") as f:
        f.write(ini)
    if cave_bytes is not None:
        os.remove(os.path.join(game, "Maps", cave))
        with open(os.path.join(game, "Maps", cave), "wb") as f:
            f.truncate(cave_bytes)
    return game


def play(game, script, until=None, routes=None, trace=False):
    route_table = game + "-routes"
    if routes is not None:
        with open(route_table, "w") as f:
            f.write(routes)
    run = subprocess.run([os.environ["QUILLRUN_SIM"], "--game-dir", game, "--script", "-"]
                         + (["--until", str(until)] if until else [])
                         + (["--route-table", route_table] if routes is not None else [])
                         + (["--trace", game + "-trace"] if trace else []),
                         input=script.encode("utf-8"), capture_output=True, timeout=240)
    assert run.returncode == 0, run.stderr
    return run.stdout.decode("utf-8", "replace")


# Runs sent after their uploads, proven by the server: the game's record on
# cave 1 as it was flown, and the same run claiming more points. Rerun on
# PostgreSQL.
class Runs(unittest.TestCase):
    database = None  # SQLite, in a database made before runs were kept
    older = {}

    # A database of the earlier schema holding one upload, to be upgraded.
    def older_database(self, path):
        with sqlite3.connect(path) as db:
            db.executescript("""CREATE TABLE uploads (id INTEGER PRIMARY KEY, map_id INTEGER NOT NULL,
                map_name TEXT NOT NULL, holder TEXT NOT NULL, score INTEGER NOT NULL, played_on TEXT NOT NULL,
                received_at TEXT NOT NULL, UNIQUE (map_id, holder, score, played_on));
                CREATE TABLE best (map_id INTEGER NOT NULL, holder TEXT NOT NULL, score INTEGER NOT NULL,
                played_on TEXT NOT NULL, upload_id INTEGER NOT NULL, PRIMARY KEY (map_id, holder));
                INSERT INTO uploads VALUES (1, 1, 'x', 'Old', 1, '2026-01-01', 'x');
                INSERT INTO best VALUES (1, 'Old', 1, '2026-01-01', 1);""")
        self.older = {"Old": "unproven"}
        return "sqlite:" + path

    # As a server stopped in the middle of a proof leaves it.
    def leave_pending(self, database, holder, run):
        with sqlite3.connect(database[7:]) as db:
            db.execute("INSERT INTO runs SELECT id, ? FROM uploads WHERE holder = ?", (run, holder))
            db.execute("UPDATE uploads SET proof = 1 WHERE holder = ?", (holder,))

    def test_runs_are_proven_and_the_best_proven_run_is_shared(self):
        folder = self.enterContext(tempfile.TemporaryDirectory(prefix="quillrun-runs-"))
        database = self.database or self.older_database(os.path.join(folder, "scores.sqlite"))
        with ScoreServer(database=database) as server:
            game = game_folder(folder, server.host_port)
            out = play(game, "1 tap ENTER\n3 tap UP\ndialog Ace\n", 1000)  # a record on cave 1
            score = int(re.search(r"New record: (\d+)", out).group(1))
            with open(os.path.join(game, "Replays", "Map01.replay"), "rb") as f:
                run = f.read()
            for holder, points in [("Ace", score), ("Forger", score + 5), ("Plain", score - 1), ("Later", score)]:
                self.assertEqual(server.get(upload_target(holder, points, 1))[0], 200)
            # The run of a stored upload once; a score nobody uploaded; the same run claiming more points.
            accepted = (202, "accepted for proving\n")
            for holder, points, answer in [("Ace", score, accepted), ("Ace", score, (409, "this upload already has its run\n")),
                                           ("Nobody", score, (404, "no such upload\n")), ("Forger", score + 5, accepted)]:
                self.assertEqual(server.get(run_target(holder, points, 1), "POST", run)[::2], answer)
            expected = dict(Ace="proven", Forger="refused", Plain="unproven", Later="unproven", **self.older)
            self.assertEqual({h: p for h, p in server.proofs().items() if h in expected}, expected)
            ranked = lambda query: [(s["holder"], s["score"], s["proof"])
                                    for s in server.json("/api/maps/1/scores" + query)["scores"]]
            self.assertEqual(ranked(""), [("Ace", score, "proven"), ("Later", score, "unproven"),
                                          ("Plain", score - 1, "unproven")] + [("Old", 1, "unproven")] * len(self.older))
            self.assertEqual(ranked("?proven=1"), [("Ace", score, "proven")])
            self.assertNotIn("Forger", server.get("/index2.php?game=4")[2].split('id="map-1"')[1])
            status, headers, body = server.get("/api/maps/1/best-run", raw=True)
            self.assertEqual((status, headers["content-disposition"], body),
                             (200, 'attachment; filename="Map01.replay"', run))
            ids = {u["holder"]: u["upload"] for u in server.json("/api/uploads")["uploads"]}
            none = (404, b"no proven run of this upload\n")
            self.assertEqual([server.get("/api/uploads/%d/replay" % ids[h], raw=True)[::2] for h in expected],
                             [(200, run), none, none, none] + [none] * len(self.older))
            self.assertEqual(server.get("/api/maps/2/best-run")[::2], (404, "no proven run of this map yet\n"))
        # A run left pending when the server stopped is proven at the next start.
        self.leave_pending(database, "Later", run)
        with ScoreServer(database=database) as server:
            self.assertEqual(server.proofs()["Later"], "proven")
            self.assertEqual(ranked("?proven=1"), [("Ace", score, "proven"), ("Later", score, "proven")])


# A game folder whose score server is `handler` on 127.0.0.1; the folder and
# the server's host:port.
def stub_game_folder(test, handler):
    handler.log_message = lambda *args: None
    stub = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=stub.serve_forever, daemon=True).start()
    test.addCleanup(stub.server_close)
    test.addCleanup(stub.shutdown)
    folder = tempfile.mkdtemp(prefix="quillrun-upload-")
    test.addCleanup(shutil.rmtree, folder, True)
    here = "127.0.0.1:%d" % stub.server_address[1]
    return game_folder(folder, here), here


class GameUpload(unittest.TestCase):
    def test_outcomes_of_the_upload_key(self):
        # A server that accepts connections and never answers.
        silent = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(silent.close)
        with ScoreServer() as server:
            here, closed = server.host_port, "127.0.0.1:%d" % closed_port()
            mute = "127.0.0.1:%d" % silent.getsockname()[1]
            # what, game folder, the game's messages, the uploads stored under
            # (map name, holder); then, if given, the routing table and the keys
            rows = [
                ("the record", game_folder(server.folder, here), UPLOADED, ("Deep", "Pilot and Co")),
                ("a map file one byte short", game_folder(server.folder, here, cave_bytes=6000055), "", None),
                # UP from map 1 selects the last map, a 27th on map 3's cave: the upload knows sizes for
                # maps 1 to 26 only, so nothing is sent and nothing is said.
                ("a 27th map", game_folder(server.folder, here, more=b"[27]\r\nFile=Cave03.bmp\r\nWidth=9400\r\n"), "",
                 None, None, "1 down UP\n2 up UP\n3 tap U\n1000 close\n"),
                ("no server listening, no network", game_folder(server.folder, closed),
                 "message: Quillrun: You must connect to the Internet first!\n", None, NO_NETWORK),
                ("no server listening on a network", game_folder(server.folder, closed),
                 SERVER_SAYS % closed + "did not answer. Your score was not uploaded.\n", None, ON_A_NETWORK),
                ("a score the server refuses", game_folder(server.folder, here, best=40000),
                 SERVER_SAYS % here + "refused the score: nsc must be a whole number from 0 to 32767\n", None),
                # About 1000 dispatches pass in the wait of 10 seconds.
                ("a server that never answers", game_folder(server.folder, mute),
                 SERVER_SAYS % mute + "did not answer within 10 seconds. Your score may not have been uploaded.\n",
                 None, None, "1 tap 3\n2 tap U\n3000 close\n"),
                # Windows-1252 in Maps.ini: "Café & Bar", "Jörg #1 = Åke  Ø".
                ("names beyond ASCII", game_folder(server.folder, here, name="Café & Bar", holder="Jörg #1 = Åke  Ø"),
                 UPLOADED, ("Café and Bar", "Jörg #1 = Åke  Ø")),
            ]
            expected = []
            for what, game, messages, stored, routes, keys in (r + (None, UPLOAD_KEYS)[len(r) - 4:] for r in rows):
                with self.subTest(what):
                    self.assertEqual(play(game, keys, routes=routes), messages)
                    expected += [stored] if stored else []
                    uploads = server.json("/api/uploads?limit=100")["uploads"]
                    self.assertEqual(sorted((u["mapName"], u["holder"]) for u in uploads), sorted(expected))
                    self.assertTrue(all((u["map"], u["score"], u["date"]) == (3, 725, time.strftime("%Y-%m-%d")) for u in uploads))

    def test_yes_opens_the_score_list(self):
        # No, the answer also when none is given, opens nothing: the rows of
        # test_outcomes_of_the_upload_key show it.
        page = "http://scores.localhost:8123/index2.php?game=4"
        with ScoreServer() as server:
            game = game_folder(server.folder, server.host_port, site="scores.localhost:8123")
            rows = [  # yes, and how opening the page goes; what follows the question
                ("confirm yes\n", "open: %s\n" % page),
                ("confirm yes\nopen fail\n", "open failed: %s\nmessage: Uploading Score: The score list could not "
                 "be opened in a web browser. Its address is:\\n%s\n" % (page, page)),
            ]
            for answers, after in rows:
                with self.subTest(answers):
                    self.assertEqual(play(game, UPLOAD_KEYS + answers), UPLOADED + after)

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

        # It has no POST: the run sent after each upload changes nothing.
        game = stub_game_folder(self, Slow)[0]
        with open(os.path.join(game, "Replays", "Map03.replay"), "wb") as f:
            f.write(b"--END--\r\nLastFrame=0\r\n")
        self.assertEqual(play(game, "1 tap 3\n2 tap U\n3 tap U\n1000 close\n"), UPLOADED * 2)
        self.assertEqual(len(lines), 2)
        self.assertEqual(lines[0], lines[1])


def read(path):
    with open(path, "rb") as f:
        return f.read()


# (replayMode, frameIndex) of each dispatch of a traced play that shows a replay.
def replay_frames(game):
    return [tuple(line.split()[4:7:2]) for line in read(game + "-trace").decode().splitlines()
            if line.split()[4] == "-1"]


class WorldsBestRun(unittest.TestCase):
    def test_a_proven_record_is_watched_elsewhere(self):
        # The race against it is the golden race-world.
        with ScoreServer() as server:
            # A record on the shipped cave 1, the holder as typed in the name dialog.
            ada = game_folder(server.folder, server.host_port)
            out = play(ada, "1 tap ENTER\n3 tap UP\ndialog Zoë & Jörg <b>\n400 tap U\nconfirm no\n1000 tap R\n", 1600,
                       trace=True)
            self.assertIn("message: Uploading Score: Your score uploaded!", out)
            score = int(re.search(r"New record: (\d+)", out).group(1))
            server.proofs()  # waits for the proof
            self.assertEqual([(s["rank"], s["holder"], s["score"], s["proof"])
                              for s in server.json("/api/maps/1/scores")["scores"]],
                             [(1, "Zoë and Jörg <b>", score, "proven")])
            # The run follows its score with the same values.
            sent = dict(re.findall(r'"(GET|POST) /(?:files/games/quillrun/score\.php|api/runs)\?([^ ]*) ', server.log()))
            self.assertEqual(sent["POST"], re.sub(r"&nmn=[^&]*|&nreplay=.*", "", sent["GET"]))

            bea = game_folder(server.folder, server.host_port)
            catalogue = read(os.path.join(bea, "Maps", "Maps.ini"))
            rows = [  # keys, the messages
                ("1 tap B\n", "message: Quillrun: No world's best run of this map has been fetched yet.\\n"
                 "Press 'W' to fetch it.\n"),
                ("1 tap 2\n2 tap W\n", SERVER_SAYS % server.host_port + "has no proven run of this map yet.\n"),
                ("1 tap W\n", ""),
            ]
            for keys, messages in rows:
                with self.subTest(keys):
                    self.assertEqual(play(bea, keys, 1000, trace=True), messages)
            # Played as Ada's own replay plays, kept apart from Bea's own files.
            self.assertEqual(replay_frames(bea), replay_frames(ada))
            self.assertEqual(read(os.path.join(bea, "Replays", "World", "Map01.replay")),
                             read(os.path.join(ada, "Replays", "Map01.replay")))
            self.assertEqual(os.listdir(os.path.join(bea, "Replays")), ["World"])
            self.assertEqual(read(os.path.join(bea, "Maps", "Maps.ini")), catalogue)

    def test_a_run_that_is_not_a_whole_replay_is_not_taken(self):
        class Cut(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Length", "9")
                self.end_headers()
                self.wfile.write(b"--END--\r\n")

        game, here = stub_game_folder(self, Cut)
        self.assertEqual(play(game, "1 tap W\n1000 close\n"),
                         SERVER_SAYS % here + "sent a run that is not a whole replay. It was not taken.\n")
        self.assertEqual(os.listdir(os.path.join(game, "Replays")), [])


if __name__ == "__main__":
    run_tests()
