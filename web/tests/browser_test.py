#!/usr/bin/python3
"""The built page in a real headless Chromium, driven through its element ids.

    /usr/bin/python3 browser_test.py --page build-web/web --golden tests/golden \
        --artefacts build-web/artefacts
    /usr/bin/python3 browser_test.py --page build-web/web --golden tests/golden --measure

Needs Debian's chromium, chromium-driver and python3-selenium. The page is served by a static
server on 127.0.0.1 that the test starts and stops; it is also opened from disk (file://).
Expected result lines come from the golden transcripts in tests/golden. Screenshots of a
finished design (desktop and phone width) are saved in the artefacts folder. With --measure
the script instead times designs typed into the page and prints the figures.
"""

import argparse
import functools
import http.server
import pathlib
import re
import statistics
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
RESULT_IDS = ["r1", "r2", "c1", "c2", "passband", "deviation"]
FIELD_IDS = ["fc-khz", "r1-ohm", "band-hz"]
WAIT_SECONDS = 20

ARGS = argparse.Namespace()


def golden_designs(folder):
    """Every design of the golden transcripts: ((cutoff, R1, band) texts, six lines)."""
    designs = []
    for name in sorted(pathlib.Path(folder).glob("*.in")):
        tokens = name.read_text().split()
        output = name.with_suffix(".out").read_text()
        columns = [
            re.findall(r"^(R1, Ohm: .*)$", output, re.M),
            re.findall(r"^(R2, Ohm: .*)$", output, re.M),
            re.findall(r"^(C1, nF: .*)$", output, re.M),
            re.findall(r"^(C2, nF: .*)$", output, re.M),
            re.findall(r"^(Passband, Hz: .*)$", output, re.M),
            re.findall(r"(\+/-\S+ radian\.)$", output, re.M),
        ]
        for i, lines in enumerate(zip(*columns)):
            designs.append((tuple(tokens[4 * i : 4 * i + 3]), list(lines)))
    return designs


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass


def start_server(folder):
    handler = functools.partial(QuietHandler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def start_browser(profile_dir):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in [
        "--headless",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-quic",
        "--no-first-run",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--hide-scrollbars",
        f"--user-data-dir={profile_dir}",
        "--window-size=1280,1500",
    ]:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.page = pathlib.Path(ARGS.page).resolve()
        cls.designs = golden_designs(ARGS.golden)
        cls.server = start_server(cls.page)
        cls.base = f"http://127.0.0.1:{cls.server.server_address[1]}/index.html"
        cls.profile = tempfile.TemporaryDirectory(prefix="kestrane-chromium-")
        cls.downloads = tempfile.TemporaryDirectory(prefix="kestrane-downloads-")
        try:
            cls.driver = start_browser(cls.profile.name)
        except Exception:
            cls.server.shutdown()
            cls.server.server_close()
            raise
        cls.driver.execute_cdp_cmd(
            "Browser.setDownloadBehavior",
            {"behavior": "allow", "downloadPath": cls.downloads.name},
        )

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        cls.server.server_close()
        cls.profile.cleanup()
        cls.downloads.cleanup()

    def setUp(self):
        self.driver.set_window_size(1280, 1500)

    # --- helpers ---

    def open(self, url):
        self.driver.get(url)
        self.wait_for(lambda: self.driver.execute_script("return document.body.dataset.ready"))

    def wait_for(self, condition, message="condition"):
        try:
            return WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: condition())
        except TimeoutException:
            self.fail(f"timed out waiting for {message}")

    def element(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def type_into(self, element_id, text):
        field = self.element(element_id)
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(Keys.DELETE)
        field.send_keys(text)

    def lines(self):
        return [self.element(i).text for i in RESULT_IDS]

    def wait_for_lines(self, expected):
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: self.lines() == expected)
        except TimeoutException:
            self.assertEqual(self.lines(), expected)

    def curve_pixels(self, plot_id, color):
        """Pixels of the plot's canvas within a few levels of `color` (r, g, b)."""
        return self.driver.execute_script(
            """
            const canvas = document.querySelector(`#${arguments[0]} canvas`);
            const [r, g, b] = arguments[1];
            const context = canvas.getContext("2d");
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            let count = 0;
            for (let i = 0; i < data.length; i += 4) {
              if (Math.abs(data[i] - r) < 40 && Math.abs(data[i + 1] - g) < 40 &&
                  Math.abs(data[i + 2] - b) < 40 && data[i + 3] > 200) count++;
            }
            return count;
            """,
            plot_id,
            list(color),
        )

    def save_screenshot(self, name):
        folder = pathlib.Path(ARGS.artefacts)
        folder.mkdir(parents=True, exist_ok=True)
        self.driver.save_screenshot(str(folder / name))

    # --- tests ---

    def test_typed_designs_show_the_console_lines(self):
        self.open(self.base)
        self.assertGreaterEqual(len(self.designs), 12)
        for texts, expected in self.designs:
            with self.subTest(design=" ".join(texts)):
                for field_id, text in zip(FIELD_IDS, texts):
                    self.type_into(field_id, text)
                self.wait_for_lines(expected)
                query = urllib.parse.unquote(urllib.parse.urlsplit(self.driver.current_url).query)
                self.assertEqual(query, f"fc={texts[0]}&r1={texts[1]}&band={texts[2]}")

    def test_plots_are_drawn_with_readout_and_keyboard(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        for plot_id, color in [
            ("plot-gain", (29, 95, 184)),
            ("plot-phase", (180, 72, 29)),
            ("plot-delay", (44, 122, 75)),
        ]:
            with self.subTest(plot=plot_id):
                self.assertGreater(int(self.element(plot_id).get_attribute("data-points")), 100)
                self.assertGreater(self.curve_pixels(plot_id, color), 300)
        readout = self.element("readout")
        before = readout.text
        gain_plot = self.element("plot-gain")
        self.driver.execute_script("arguments[0].focus()", gain_plot)
        gain_plot.send_keys(Keys.END)
        self.wait_for(lambda: readout.text != before, "the readout")
        self.assertRegex(readout.text, r"^100 kHz: gain [0-9.e-]+ \(-\d+\.\d\d dB\), phase -\d")
        gain_plot.send_keys(Keys.ARROW_LEFT)
        self.assertNotIn("100 kHz", readout.text)

    def test_invalid_fields_show_the_console_message_and_clear_results(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        cases = [
            ("fc-khz", "12abc", '"12abc"'),
            ("fc-khz", "1e", '"1e"'),
            ("r1-ohm", "1" * 20, "19"),
        ]
        for field_id, text, in_message in cases:
            with self.subTest(field=field_id, text=text):
                self.type_into("fc-khz", "1")
                self.type_into("r1-ohm", "10000")
                self.wait_for_lines(self.designs[0][1])
                self.type_into(field_id, text)
                message = self.element(f"{field_id}-message")
                self.wait_for(lambda: message.text != "", "the field's message")
                self.assertIn(in_message, message.text)
                self.assertEqual(self.element(field_id).get_attribute("aria-invalid"), "true")
                self.assertEqual(self.lines(), [""] * 6)
                self.assertFalse(self.element("plots").is_displayed())
        # A bad band takes only the deviation away: the rest of the design stands.
        self.type_into("fc-khz", "1")
        self.type_into("r1-ohm", "10000")
        self.type_into("band-hz", "15O")
        self.wait_for_lines(self.designs[0][1][:5] + [""])
        self.assertIn('"15O"', self.element("band-hz-message").text)
        # A start that is not finite is refused with the console's reason.
        self.type_into("band-hz", "150")
        self.type_into("fc-khz", "0")
        self.wait_for_lines([""] * 6)
        self.assertTrue(self.element("results-note").text.startswith("Cannot design"))
        self.assertEqual(self.element("fc-khz-message").text, "")

    def test_a_link_opens_its_design_and_enter_keeps_the_page(self):
        texts, expected = self.designs[1]  # design02: 2.2 kHz, 4700 ohm, 1000 Hz
        self.assertEqual(texts, ("2.2", "4700", "1000"))
        self.open(f"{self.base}?fc=2.2&r1=4700&band=1000")
        self.wait_for_lines(expected)
        self.assertEqual([self.element(i).get_attribute("value") for i in FIELD_IDS], list(texts))
        self.driver.execute_script("window.kestraneMark = 1")
        self.element("band-hz").send_keys(Keys.ENTER)
        self.wait_for_lines(expected)
        self.assertEqual(self.driver.execute_script("return window.kestraneMark"), 1)
        # A plus sign in a link is a plus sign: 1e+0 kHz, 1e+4 ohms.
        self.open(f"{self.base}?fc=1e%2B0&r1=1e+4&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.assertEqual(self.element("r1-ohm").get_attribute("value"), "1e+4")

    def test_the_page_works_from_disk(self):
        self.open((self.page / "index.html").as_uri() + "?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.assertGreater(self.curve_pixels("plot-gain", (29, 95, 184)), 300)

    def test_csv_download_holds_the_plotted_response(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.element("download-csv").click()
        csv_path = pathlib.Path(self.downloads.name) / "kestrane-fc1kHz-r110000ohm.csv"
        self.wait_for(csv_path.exists, "the CSV file")
        rows = csv_path.read_text().splitlines()
        self.assertEqual(rows[0], "frequency_hz,gain,gain_db,phase_deg,group_delay_s")
        values = [[float(v) for v in row.split(",")] for row in rows[1:]]
        self.assertGreater(len(values), 100)
        hz = [row[0] for row in values]
        self.assertEqual(hz, sorted(hz))
        self.assertLess(hz[0], 10)  # from well below the flat band (333 Hz)
        self.assertGreater(hz[-1], 10000)  # to well above the cutoff
        for frequency, gain, db, _, _ in values:
            self.assertAlmostEqual(db, 20 * __import__("math").log10(gain), places=9)

    def test_phone_width_and_screenshots(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.driver.set_window_size(1100, 1370)
        time.sleep(0.2)  # the resize redraw
        # The readout at the cutoff: 60 % of the way along five decades from 1 Hz.
        gain_plot = self.element("plot-gain")
        self.driver.execute_script("arguments[0].focus()", gain_plot)
        gain_plot.send_keys(Keys.HOME, *[Keys.ARROW_RIGHT] * 60)
        self.assertIn("kHz: gain 0.70", self.element("readout").text)
        self.driver.execute_script("document.activeElement.blur()")
        self.save_screenshot("kestrane-page.png")
        self.driver.set_window_size(390, 1800)
        self.wait_for(
            lambda: self.driver.execute_script(
                "return document.querySelector('#plot-gain canvas').getBoundingClientRect().right"
            )
            <= 390,
            "the plots to fit the width",
        )
        time.sleep(0.2)  # the resize redraw
        width = self.driver.execute_script("return document.documentElement.scrollWidth")
        self.assertLessEqual(width, 390, "no sideways scrolling at phone width")
        for element_id in FIELD_IDS + RESULT_IDS:
            box = self.element(element_id).rect
            self.assertLessEqual(box["x"] + box["width"], 390, element_id)
        self.save_screenshot("kestrane-page-phone.png")


def measure():
    """Times designs typed into the page: the core's work per design and keystroke to plot."""
    server = start_server(pathlib.Path(ARGS.page).resolve())
    profile = tempfile.TemporaryDirectory(prefix="kestrane-chromium-")
    driver = start_browser(profile.name)
    try:
        driver.get(f"http://127.0.0.1:{server.server_address[1]}/index.html")
        WebDriverWait(driver, WAIT_SECONDS).until(
            lambda d: d.execute_script("return document.body.dataset.ready")
        )
        # One keystroke a design: R1 goes from 10000 to 1000 ohms and back.
        field = driver.find_element(By.ID, "r1-ohm")
        for _ in range(25):
            field.send_keys(Keys.BACKSPACE)
            time.sleep(0.05)
            field.send_keys("0")
            time.sleep(0.05)
        timings = driver.execute_script("return window.kestraneTimings")
    finally:
        driver.quit()
        server.shutdown()
        server.server_close()
        profile.cleanup()
    design, redraw = timings["design"][10:], timings["redraw"][10:]
    print(f"designs timed: {len(design)}, redraws timed: {len(redraw)}")
    print(f"one design (search, figures, lines, plot samples): "
          f"median {statistics.median(design):.2f} ms, max {max(design):.2f} ms")
    print(f"keystroke to redrawn plot: median {statistics.median(redraw):.1f} ms, "
          f"max {max(redraw):.1f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--page", required=True, help="the built page folder (build-web/web)")
    parser.add_argument("--golden", required=True, help="tests/golden")
    parser.add_argument("--artefacts", default="artefacts", help="where screenshots go")
    parser.add_argument("--measure", action="store_true", help="time designs, run no tests")
    parser.parse_args(namespace=ARGS)
    if ARGS.measure:
        measure()
        return 0
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
