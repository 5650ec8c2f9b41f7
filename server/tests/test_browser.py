"""The list page in a real browser: headless Chromium through Selenium shows
holders, scores and dates, shows hostile names as text without running
them, logs no console errors, and leaves screenshots in the test output."""
import os
import shutil
import tempfile
import unittest

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from harness import EXAMPLE, OUTPUT, TODAY, ScoreServer, run_tests

HOSTILE = ["<script>alert(1)</script>", "\"><img src=x onerror=alert(1)>"]


def pairs(map_id, holder, score):
    values = {"id": str(map_id), "npn": holder, "nsc": str(score), "nreplay": str(score)}
    return [(k, values.get(k, v)) for k, v in EXAMPLE]


class ListPageInChromium(unittest.TestCase):
    def setUp(self):
        self.server = ScoreServer()
        self.profile = tempfile.mkdtemp(prefix="quillrun-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + self.profile, "--window-size=1200,1600"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    def tearDown(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
        self.assertEqual(self.server.stop(), 0)
        self.server.remove()

    def test_the_list_shows_records_and_hostile_names_as_text(self):
        uploads = [(4, "Ann Lee", 1234), (4, "Bo", 999), (2, HOSTILE[0], 500), (2, HOSTILE[1], 400)]
        for map_id, holder, score in uploads:
            self.assertEqual(self.server.upload(pairs(map_id, holder, score))[0], 200)

        self.driver.get("http://%s/" % self.server.host_port)  # leads to the list
        self.assertEqual(self.driver.title, "Quillrun high scores")
        self.assertTrue(self.driver.current_url.endswith("/index2.php?game=4"))

        def rows(map_id):
            section = self.driver.find_element(By.ID, "map-%d" % map_id)
            return [[td.text for td in tr.find_elements(By.TAG_NAME, "td")]
                    for tr in section.find_elements(By.CSS_SELECTOR, "tbody tr")]

        self.assertEqual(rows(4), [["1", "Ann Lee", "1234", TODAY], ["2", "Bo", "999", TODAY]])
        self.assertEqual(rows(2), [["1", HOSTILE[0], "500", TODAY], ["2", HOSTILE[1], "400", TODAY]])
        self.assertEqual(self.driver.find_element(By.ID, "map-3").find_element(By.CLASS_NAME, "empty").text,
                         "no score yet")
        self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, "section.map")), 26)
        # Nothing from an upload became markup, and nothing ran.
        self.assertEqual(self.driver.find_elements(By.TAG_NAME, "img"), [])
        self.assertEqual(self.driver.find_elements(By.TAG_NAME, "script"), [])
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        # The style sheet applied: the map sections lie in a grid.
        grid = self.driver.find_element(By.CLASS_NAME, "maps").value_of_css_property("display")
        self.assertEqual(grid, "grid")

        os.makedirs(OUTPUT, exist_ok=True)
        self.driver.save_screenshot(os.path.join(OUTPUT, "score-list.png"))
        self.driver.set_window_size(390, 844)  # a phone
        self.driver.refresh()
        width = self.driver.execute_script("return document.documentElement.scrollWidth")
        self.assertLessEqual(width, 390)  # no sideways scrolling
        self.driver.save_screenshot(os.path.join(OUTPUT, "score-list-phone.png"))

        errors = [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "ERROR")]
        self.assertEqual(errors, [])


if __name__ == "__main__":
    run_tests()
