"""End to end: the game (quillrun-sim) sets a record on a shipped cave and
uploads it with 'U'; the record shows in the JSON and on the list page."""
import html
import unittest

from harness import SENT_HOLDER, ScoreServer, run_tests, upload_from_game


class GameUpload(unittest.TestCase):
    def test_a_record_set_in_the_game_is_listed(self):
        server = ScoreServer()
        try:
            score, dates = upload_from_game(self, server)
            top = server.json("/api/maps/1/scores")
            self.assertEqual(top["map"]["name"], "First Flight")
            self.assertEqual(len(top["scores"]), 1)
            entry = top["scores"][0]
            self.assertEqual((entry["rank"], entry["holder"], entry["score"]), (1, SENT_HOLDER, score))
            self.assertIn(entry["date"], dates)
            upload = server.json("/api/uploads")["uploads"][0]
            self.assertEqual(upload["mapName"], "First Flight")
            status, _, page = server.get("/index2.php?game=4")
            self.assertEqual(status, 200)
            self.assertIn('<td class="holder">%s</td><td class="score">%d</td>' % (html.escape(SENT_HOLDER), score),
                          page)
            self.assertEqual(len(server.log_lines_with(
                '"GET /files/games/quillrun/score.php?id=1&nmn=First%%20Flight&nsc=%d&npn=Zo%%C3%%AB%%20and%%20'
                'J%%C3%%B6rg%%20<b>&nsd=' % score)), 1)
        finally:
            self.assertEqual(server.stop(), 0)
            server.remove()


if __name__ == "__main__":
    run_tests()
