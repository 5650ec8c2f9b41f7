# End to end: the game (quillrun-sim) sets a record on a shipped cave, its
# holder typed as "Zoë & Jörg <b>", and uploads it with 'U'; the server ranks
# it under the map's official name.
import os
import re
import subprocess
import unittest

from harness import GAME_DIR, ScoreServer, run_tests


class GameUpload(unittest.TestCase):
    def test_a_record_set_in_the_game_is_ranked(self):
        with ScoreServer() as server:
            # A program folder with cave 1 and the shipped Maps.ini, its [Online] pointing at the server.
            game = os.path.join(server.folder, "game")
            os.makedirs(os.path.join(game, "Replays"))
            os.makedirs(os.path.join(game, "Maps"))
            os.symlink(os.path.join(GAME_DIR, "Pictures"), os.path.join(game, "Pictures"))
            os.symlink(os.path.join(GAME_DIR, "Maps", "Cave01.bmp"), os.path.join(game, "Maps", "Cave01.bmp"))
            with open(os.path.join(GAME_DIR, "Maps", "Maps.ini"), "rb") as f, \
                    open(os.path.join(game, "Maps", "Maps.ini"), "wb") as ini:
                ini.write(f.read() + "\r\n[Online]\r\nServer={0}\r\nSite={0}\r\n".format(server.host_port).encode())
            run = subprocess.run([os.environ["QUILLRUN_SIM"], "--game-dir", game, "--script", "-", "--until", "1000"],
                                 input="1 tap ENTER\n3 tap UP\ndialog Zoë & Jörg <b>\n400 tap U\nconfirm no\n".encode(),
                                 capture_output=True, timeout=240)
            out = run.stdout.decode("utf-8", "replace")
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("message: Uploading Score: Your score uploaded!", out)
            score = int(re.search(r"New record: (\d+)", out).group(1))
            top = server.json("/api/maps/1/scores")
            self.assertEqual(top["map"]["name"], "First Flight")
            self.assertEqual([(s["rank"], s["holder"], s["score"]) for s in top["scores"]],
                             [(1, "Zoë and Jörg <b>", score)])


if __name__ == "__main__":
    run_tests()
