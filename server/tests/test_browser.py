# The list page in a real browser: headless Chromium through Selenium shows
# holders, scores, proofs and dates (a record set in the game and proven, its
# replay offered for download on its row), shows hostile names as text without running
# them, stays laid out on a desktop and a phone with the longest name, logs no
# console errors, and leaves screenshots in the test output.
# SPDX-License-Identifier: MIT
import os
import re
import tempfile
import unittest

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from harness import OUTPUT, TODAY, ScoreServer, run_tests, upload_target
from test_game_upload import game_folder, play

HOSTILE = ["<script>alert(1)</script>", "\"><img src=x onerror=alert(1)>"]
LONG = "W" * 254  # the longest name allowed, in the widest letter, with nowhere to break
ORDINARY = ["Ann Lee", "Bo", "Lüdenscheidt"]  # one line each, even on a phone
# Each row of the latest uploads and of map 4: pilot, height, left of its first cell, right of its last.
ROWS = """return [...document.querySelectorAll('#latest tbody tr, #map-4 tbody tr')].map(tr => [
  tr.querySelector('span').textContent, tr.getBoundingClientRect().height,
  tr.cells[0].getBoundingClientRect().left, tr.cells[tr.cells.length - 1].getBoundingClientRect().right]);"""


class ListPageInChromium(unittest.TestCase):
    def test_the_list_shows_records_and_hostile_names_as_text(self):
        profile = self.enterContext(tempfile.TemporaryDirectory(prefix="quillrun-chromium-"))
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--user-data-dir=" + profile, "--window-size=1200,1600"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(driver.quit)
        with ScoreServer() as server:
            for m, holder, score in [(4, "Ann Lee", 1234), (4, "Bo", 999), (2, HOSTILE[0], 500), (2, HOSTILE[1], 400),
                                     (4, LONG, 900), (4, "Lüdenscheidt", 800)]:
                self.assertEqual(server.get(upload_target(holder, score, m))[0], 200)
            ada = game_folder(server.folder, server.host_port)  # a record on cave 1, 'U' sends it and its run
            score = re.search(r"New record: (\d+)", play(ada, "1 tap ENTER\n3 tap UP\ndialog Ada\n400 tap U\n"
                                                           "confirm no\n", 1000)).group(1)
            self.assertEqual(server.proofs()["Ada"], "proven")
            driver.get("http://%s/" % server.host_port)  # leads to the list
            self.assertTrue(driver.current_url.endswith("/index2.php?game=4"))
            rows = lambda map_id: [[td.text for td in tr.find_elements(By.TAG_NAME, "td")]
                                   for tr in driver.find_elements(By.CSS_SELECTOR, "#map-%d tbody tr" % map_id)]
            self.assertEqual(rows(4)[:2], [["1", "Ann Lee", "1234", "unproven", TODAY],
                                           ["2", "Bo", "999", "unproven", TODAY]])
            self.assertEqual(rows(2), [["1", HOSTILE[0], "500", "unproven", TODAY],
                                       ["2", HOSTILE[1], "400", "unproven", TODAY]])
            self.assertEqual(rows(1), [["1", "Ada", score, "proven", TODAY]])
            self.assertRegex(driver.find_element(By.CSS_SELECTOR, "#map-1 a.proven").get_attribute("pathname"),
                             r"^/api/uploads/\d+/replay$")
            # Each proof is a word after a dot of its colour; the proven-only view has none of these.
            self.assertEqual(driver.execute_script(
                "return getComputedStyle(document.querySelector('td .mark'), '::before').borderRadius"), "50%")
            self.assertEqual(driver.find_element(By.CSS_SELECTOR, "#map-3 .empty").text, "no score yet")
            self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, "section.map")), 26)
            # Nothing from an upload became markup, and nothing ran.
            self.assertEqual(driver.find_elements(By.CSS_SELECTOR, "img, script"), [])
            with self.assertRaises(NoAlertPresentException):
                driver.switch_to.alert.text
            # The style sheet applied: the map sections lie in a grid.
            self.assertEqual(driver.find_element(By.CLASS_NAME, "maps").value_of_css_property("display"), "grid")
            os.makedirs(OUTPUT, exist_ok=True)
            for width in (1200, 390):  # a desktop and a phone
                driver.set_window_size(width, 900)
                driver.refresh()
                view = driver.execute_script("return document.documentElement.clientWidth")  # inside the scroll bar
                self.assertLessEqual(driver.execute_script("return document.documentElement.scrollWidth"), view)
                line = min(row[1] for row in driver.execute_script(ROWS))  # a row of one line
                for name, height, left, right in driver.execute_script(ROWS):  # the long name cut, no word broken
                    self.assertTrue(0 <= left and right <= view and height <= (line if name in ORDINARY else 3 * line),
                                    (width, name[:20], height, left, right))
                # The long name is whole in its title; a grid neighbour keeps its own height.
                self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, "span[title='%s']" % LONG)), 2)
                self.assertLess(*[driver.find_element(By.ID, m).rect["height"] for m in ("map-3", "map-4")])
                driver.save_screenshot(os.path.join(OUTPUT, "score-list-%d.png" % width))
            driver.find_element(By.LINK_TEXT, "Proven runs only").click()
            self.assertEqual(len(driver.find_elements(By.CSS_SELECTOR, "section.map .empty")), 25)
            self.assertEqual(rows(1), [["1", "Ada", score, "proven", TODAY]])
            self.assertEqual([e for e in driver.get_log("browser") if e["level"] in ("SEVERE", "ERROR")], [])


if __name__ == "__main__":
    run_tests()
