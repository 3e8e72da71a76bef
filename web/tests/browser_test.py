#!/usr/bin/python3
"""The built page in a real headless Chromium, driven through its element ids.

    /usr/bin/python3 browser_test.py --page build-web/web --golden tests/golden \
        --artefacts build-web/artefacts
    /usr/bin/python3 browser_test.py --page build-web/web --golden tests/golden --measure

Needs Debian's chromium, chromium-driver and python3-selenium. The page is served by a static
server on 127.0.0.1 that the test starts and stops; it is also opened from disk (file://).
Expected result lines come from the golden transcripts in tests/golden, the standard parts'
texts from the python3 calculation written down at PARTS_1K. Screenshots of a
finished design (desktop and phone width) are saved in the artefacts folder. With --measure
the script instead times designs typed into the page and prints the figures.
"""

import argparse
import functools
import http.server
import math
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
from selenium.webdriver.support.ui import Select, WebDriverWait

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
RESULT_IDS = ["r1", "r2", "c1", "c2", "passband", "deviation"]
FIELD_IDS = ["fc-khz", "r1-ohm", "band-hz"]
PARTS_IDS = ["r1-std", "r2-std", "c1-std", "c2-std", "fc-std", "fc-spread"]
SETTING_IDS = ["series-r", "tol-r", "series-c", "tol-c", "show-parts"]
SERIES = ["E6", "E12", "E24", "E48", "E96", "E192"]
WAIT_SECONDS = 20

# The 1 kHz, 10 kohm design (R2 10253.1, C1 23.132 nF, C2 11.109 nF) in standard parts, from
# python3: the nearest member on a log scale (E96 10.2 below the midpoint sqrt(10.2 * 10.5) =
# 10.349; E12 22 below sqrt(22 * 27) = 24.372, 12 above sqrt(10 * 12) = 10.954; E12 10 below
# 10.954; E24 24 above sqrt(22 * 24) = 22.978, 11 below sqrt(11 * 12) = 11.489); the cutoff the
# root f of ((1 - P f^2 39.478)^2 + C2^2 S^2 f^2 39.478) = 1 / 0.7071^2 as a quadratic in f^2,
# parts as floats (struct 'f'); the spread its least and greatest over the set and the 16
# corners, each part float(value * (1 +- t / 100)). Printed to six digits and the error to two
# decimals:
#   E96/E12: 926.8046862813798 Hz (-7.3195 %); 1 % and 5 %: 868.0715333 to 987.2606918 Hz;
#            2 % and 10 %: 811.2902560 to 1050.7989726 Hz;
#            10 % and 20 %: 666.7052072 to 1287.2287547 Hz
#   E12/E12: 936.0767000851624 Hz (-6.3923 %)
#   E12/E24: 1021.1722578703615 Hz (+2.1172 %); 1 % and 5 %: 962.9158453 to 1085.7759300 Hz;
#            2 % and 10 %: 908.9332105 to 1157.7916859 Hz
PARTS_1K = [
    "R1, Ohm: 10000",
    "R2, Ohm: 10200",
    "C1, nF: 22",
    "C2, nF: 12",
    "Achieved cutoff: 926.805 Hz (-7.32 %)",
    "Cutoff with 1 % R, 5 % C: 868.072 to 987.261 Hz",
]
SPREAD_1K_2_10 = "Cutoff with 2 % R, 10 % C: 811.29 to 1050.8 Hz"
SPREAD_1K_10_20 = "Cutoff with 10 % R, 20 % C: 666.705 to 1287.23 Hz"
PARTS_1K_E12_E12 = ["R2, Ohm: 10000", "Achieved cutoff: 936.077 Hz (-6.39 %)"]
PARTS_1K_E12_E24 = [
    "R1, Ohm: 10000",
    "R2, Ohm: 10000",
    "C1, nF: 24",
    "C2, nF: 11",
    "Achieved cutoff: 1021.17 Hz (+2.12 %)",
    "Cutoff with 1 % R, 5 % C: 962.916 to 1085.78 Hz",
]
SPREAD_1K_E12_E24_2_10 = "Cutoff with 2 % R, 10 % C: 908.933 to 1157.79 Hz"

# The curves' colours (plots.js) and the tolerance band's opacity over them.
GAIN_COLOR = (29, 95, 184)
DELAY_COLOR = (44, 122, 75)
BAND_ALPHA = 0.2

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

    def parts_lines(self):
        return [self.element(i).text for i in PARTS_IDS]

    def wait_for_parts(self, expected, ids=PARTS_IDS):
        texts = lambda: [self.element(i).text for i in ids]  # noqa: E731
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: texts() == expected)
        except TimeoutException:
            self.assertEqual(texts(), expected)

    def choose(self, select_id, value):
        Select(self.element(select_id)).select_by_value(value)

    def query(self):
        return urllib.parse.unquote(urllib.parse.urlsplit(self.driver.current_url).query)

    def wait_for_query(self, expected):
        """The address follows the fields a moment after the last keystroke."""
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: self.query() == expected)
        except TimeoutException:
            self.assertEqual(self.query(), expected)

    def band_pixels(self, plot_id, color):
        """Pixels of the plot's canvas that hold only the tolerance band over `color`."""
        return self.driver.execute_script(
            """
            const canvas = document.querySelector(`#${arguments[0]} canvas`);
            const [r, g, b] = arguments[1];
            const alpha = 255 * arguments[2];
            const context = canvas.getContext("2d");
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            let count = 0;
            for (let i = 0; i < data.length; i += 4) {
              if (Math.abs(data[i] - r) < 12 && Math.abs(data[i + 1] - g) < 12 &&
                  Math.abs(data[i + 2] - b) < 12 && Math.abs(data[i + 3] - alpha) < 8) count++;
            }
            return count;
            """,
            plot_id,
            list(color),
            BAND_ALPHA,
        )

    def plot_shows(self, plot_id):
        """Whether the plot holds the standard parts' curve and the tolerance band."""
        plot = self.element(plot_id)
        return plot.get_attribute("data-parts"), plot.get_attribute("data-envelope")

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
                self.wait_for_query(f"fc={texts[0]}&r1={texts[1]}&band={texts[2]}")
                self.wait_for_lines(expected)

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
        self.assertEqual(
            rows[0].split(","),
            ["frequency_hz", "gain", "gain_db", "phase_deg", "group_delay_s"]
            + ["parts_gain", "parts_gain_db", "parts_phase_deg", "parts_group_delay_s"]
            + ["parts_gain_lowest", "parts_gain_highest", "parts_phase_lowest_deg"]
            + ["parts_phase_highest_deg", "parts_group_delay_lowest_s"]
            + ["parts_group_delay_highest_s"],
        )
        values = [[float(v) for v in row.split(",")] for row in rows[1:]]
        self.assertGreater(len(values), 100)
        hz = [row[0] for row in values]
        self.assertEqual(hz, sorted(hz))
        self.assertLess(hz[0], 10)  # from well below the flat band (333 Hz)
        self.assertGreater(hz[-1], 10000)  # to well above the cutoff
        for row in values:
            frequency, gain, db, _, _, parts_gain, parts_db = row[:7]
            self.assertAlmostEqual(db, 20 * math.log10(gain), places=9)
            self.assertAlmostEqual(parts_db, 20 * math.log10(parts_gain), places=9)
            # Each band holds the standard parts' value.
            parts_values = [parts_gain, row[7], row[8]]  # gain, phase, group delay
            for value, lowest, highest in zip(parts_values, row[9::2], row[10::2]):
                self.assertLessEqual(lowest, value, frequency)
                self.assertLessEqual(value, highest, frequency)

    def test_standard_parts_beside_the_design(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.wait_for_parts(PARTS_1K)
        for select_id, default in [("series-r", "E96"), ("series-c", "E12")]:
            select = Select(self.element(select_id))
            self.assertEqual([o.get_attribute("value") for o in select.options], SERIES)
            self.assertEqual(select.first_selected_option.get_attribute("value"), default)
        self.assertEqual(self.element("tol-r").get_attribute("value"), "1")
        self.assertEqual(self.element("tol-c").get_attribute("value"), "5")
        self.assertTrue(self.element("show-parts").is_selected())
        self.wait_for_query("fc=1&r1=10000&band=150")  # defaults stay out of links
        # Each plot holds the parts' curve and their tolerance band, which shows as a shaded
        # stretch on the group delay plot (about 240 us +- 6 % at low frequencies).
        for plot_id in ["plot-gain", "plot-phase", "plot-delay"]:
            self.assertEqual(self.plot_shows(plot_id), ("true", "true"), plot_id)
        self.assertGreater(self.band_pixels("plot-delay", DELAY_COLOR), 800)
        self.assertTrue(self.element("legend-parts").is_displayed())
        self.assertTrue(self.element("legend-envelope").is_displayed())

    def test_series_and_tolerances_change_the_parts_and_join_the_link(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_parts(PARTS_1K)
        self.type_into("tol-r", "2")
        self.type_into("tol-c", "10")
        self.wait_for_parts([SPREAD_1K_2_10], ["fc-spread"])
        self.type_into("tol-r", "1")
        self.type_into("tol-c", "5")
        self.choose("series-r", "E12")
        self.wait_for_parts(PARTS_1K_E12_E12, ["r2-std", "fc-std"])
        self.choose("series-c", "E24")
        self.wait_for_parts(PARTS_1K_E12_E24)
        self.assertEqual(self.element("parts-head").text, "E12 · E24")
        self.type_into("tol-r", "2")
        self.type_into("tol-c", "10")
        self.wait_for_parts([SPREAD_1K_E12_E24_2_10], ["fc-spread"])
        # The settings join the link, which opens with them.
        query = "fc=1&r1=10000&band=150&sr=E12&sc=E24&tr=2&tc=10"
        self.wait_for_query(query)
        self.open(f"{self.base}?{query}")
        self.wait_for_parts(PARTS_1K_E12_E24[:5] + [SPREAD_1K_E12_E24_2_10])
        values = [self.element(i).get_attribute("value") for i in SETTING_IDS[:4]]
        self.assertEqual(values, ["E12", "2", "E24", "10"])
        # A series that the selectors do not offer is the default.
        self.open(f"{self.base}?fc=1&r1=10000&band=150&sr=E7&sc=e24")
        self.wait_for_parts(PARTS_1K)
        self.wait_for_query("fc=1&r1=10000&band=150")

    def test_a_bad_tolerance_is_flagged_and_its_spread_withdrawn(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_parts(PARTS_1K)
        message = self.element("tol-c-message")
        for text, expected in [
            ("100", 'Not a tolerance: "100". Tolerances run from 0 to below 100 %.'),
            ("-1", 'Not a tolerance: "-1". Tolerances run from 0 to below 100 %.'),
            ("5%", '"5%"'),
        ]:
            with self.subTest(tolerance=text):
                self.type_into("tol-c", text)
                self.wait_for(lambda: expected in message.text, "the tolerance's message")
                self.assertEqual(self.element("tol-c").get_attribute("aria-invalid"), "true")
                # The parts stand; their spread and band do not.
                self.assertEqual(self.parts_lines(), PARTS_1K[:5] + [""])
                self.assertEqual(self.plot_shows("plot-gain"), ("true", "false"))
                self.assertEqual(self.band_pixels("plot-delay", DELAY_COLOR), 0)
                self.assertFalse(self.element("legend-envelope").is_displayed())
        self.type_into("tol-c", "")
        self.wait_for(lambda: message.text == "", "the message to clear")
        self.assertIn("tolerances", self.element("results-note").text)
        self.assertEqual(self.element("fc-spread").text, "")
        self.type_into("tol-c", "5")
        self.wait_for_parts(PARTS_1K)
        self.assertEqual(self.element("tol-c").get_attribute("aria-invalid"), "false")

    def test_the_switch_hides_the_parts_curves(self):
        # Wide tolerances (10 % and 20 %) make the band on the gain plot a few decibels wide.
        self.open(f"{self.base}?fc=1&r1=10000&band=150&tr=10&tc=20")
        self.wait_for_parts(PARTS_1K[:5] + [SPREAD_1K_10_20])
        self.assertGreater(self.band_pixels("plot-gain", GAIN_COLOR), 2000)
        self.element("show-parts").click()
        self.wait_for(lambda: self.plot_shows("plot-gain") == ("false", "false"), "no parts")
        self.assertEqual(self.band_pixels("plot-gain", GAIN_COLOR), 0)
        self.assertFalse(self.element("legend-parts").is_displayed())
        self.assertEqual(self.parts_lines()[:5], PARTS_1K[:5])  # the texts stay
        self.wait_for_query("fc=1&r1=10000&band=150&tr=10&tc=20&parts=0")
        self.open(f"{self.base}?fc=1&r1=10000&band=150&parts=0")
        self.wait_for_parts(PARTS_1K)
        self.assertFalse(self.element("show-parts").is_selected())
        self.assertEqual(self.plot_shows("plot-delay"), ("false", "false"))

    def test_phone_width_and_screenshots(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150")
        self.wait_for_lines(self.designs[0][1])
        self.driver.set_window_size(1100, 1460)
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
        for element_id in FIELD_IDS + RESULT_IDS + PARTS_IDS + SETTING_IDS:
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
    print(f"one design (search, figures, lines, plot samples, standard parts): "
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
