#!/usr/bin/python3
"""The built page in a real headless Chromium, driven through its element ids.

    /usr/bin/python3 browser_test.py --page build-web/web --single build-web/kestrane.html \\
        --golden tests/golden --axe build-web/web-build/npm/node_modules/axe-core/axe.min.js \\
        --artefacts build-web/artefacts
    /usr/bin/python3 browser_test.py --page build-web/web --golden tests/golden --measure

Needs Debian's chromium, chromium-driver and python3-selenium, and node (the golden
transcripts are read by web/tests/golden.mjs, which the differential test uses too). The page
is served by a static server on 127.0.0.1 that the test starts and stops; it is also opened
from disk (file://), and so is the single-file page, copied alone into an empty folder.
Expected result lines come from the golden transcripts, the standard parts' texts and values
from the python3 calculations written down at PARTS_1K and in the CSV test; the op-amp's
figures are the module's, which the differential and ngspice tests check, so here they are
checked for being shown, marked and withdrawn. axe-core checks
the page in both colour schemes and at phone width. Screenshots (desktop, phone, dark) are
saved in the artefacts folder, with the bench and the circuit in the dark scheme and the
schematic at phone width. With --measure the script instead times designs typed into the
page and prints the figures.
"""

import argparse
import base64
import functools
import http.server
import json
import math
import pathlib
import re
import shutil
import statistics
import subprocess
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
PARTS_IDS = ["r1-std", "r2-std", "c1-std", "c2-std", "fc-std", "q-std", "fc-spread", "q-spread",
             "yield"]
SETTING_IDS = ["series-r", "tol-r", "series-c", "tol-c", "show-parts"]
OPAMP_IDS = ["gbw-mhz", "a0-db", "rout-ohm", "vin-peak", "atten-hz"]
BENCH_IDS = ["fc-opamp", "gbw-need", "slew-need", "stopband-floor", "atten", "step-overshoot",
             "step-rise", "step-settle"]
CONTROL_IDS = (FIELD_IDS + ["parts-method", "series-r", "tol-r", "series-c", "tol-c",
                            "download-csv", "download-spice", "download-bom"] + OPAMP_IDS)
SERIES = ["E6", "E12", "E24", "E48", "E96", "E192"]
WAIT_SECONDS = 20
DESIGN_1K = "?fc=1&r1=10000&band=150"

# The 1 kHz, 10 kohm design (R2 10253.1, C1 23.132 nF, C2 11.109 nF) in standard parts, from
# python3 with mpmath: the real circuit's cutoff from the positive root of
# A^2 w^4 + (B^2 - 2A) w^2 - 1 = 0 (A = R1 R2 C1 C2, B = C2 (R1 + R2), exact 2 pi), Q =
# sqrt(A)/B, each part the double nearest its decimal value; the ranges from
# tests/tools/box_ranges.py (a grid over the whole box, then golden-section searches of each
# part, mpmath at 40 digits), printed with seven digits rounded outward (the low end down,
# the high end up, as tests/tools/bound_cases.py rounds); the yield counts from the independent
# splitmix64 implementation of tests/report/build_report_test.cpp (2050, 4089, 9513 of 10000).
# Figures to six digits, errors to two decimals:
#   best E96/E12 (R2 30.1k, C1 15n, C2 5.6n): 1002.31 Hz (+0.231 %), Q 0.708093 (+0.140 %);
#     1 % and 5 %: 942.90630 to 1065.71993 Hz, Q 0.67013836 to 0.74814191;
#     2 % and 10 %: 884.77896 to 1136.40543 Hz; 10 % and 20 %: 731.45399 to 1392.09665 Hz
#   nearest E96/E12 (the nearest member on a log scale: R2 10.2k below the midpoint 10.349 of
#     10.2 and 10.5; C1 22n below 24.372; C2 12n above 10.954): 926.79 Hz (-7.321 %),
#     Q 0.67697 (-4.262 %); 1 % and 5 %: 868.05695 to 987.28767 Hz, Q 0.64383099 to
#     0.71174360
#   nearest E12/E24 (R2 10k, C1 24n, C2 11n): 1021.16 Hz (+2.116 %), Q 0.738549 (+4.447 %);
#     1 % and 5 %: 962.90229 to 1085.76064 Hz, Q 0.70246505 to 0.77644756; 2 % and 10 %:
#     908.91865 to 1157.77537 Hz
YIELD_1K = ("Yield of 10000 builds: 20.5 % within 1 %, 40.89 % within 2 %, 95.13 % within 5 % "
            "of the cutoff")
PARTS_1K = [
    "R1, Ohm: 10000",
    "R2, Ohm: 30100",
    "C1, nF: 15",
    "C2, nF: 5.6",
    "Achieved cutoff: 1002.31 Hz (+0.23 %)",
    "Q: 0.708093 (+0.14 %)",
    "Cutoff with 1 % R, 5 % C: 942.9063 to 1065.72 Hz",
    "Q with 1 % R, 5 % C: 0.6701383 to 0.748142",
    YIELD_1K,
]
SPREAD_1K_2_10 = "Cutoff with 2 % R, 10 % C: 884.7789 to 1136.406 Hz"
SPREAD_1K_10_20 = "Cutoff with 10 % R, 20 % C: 731.4539 to 1392.097 Hz"
PARTS_1K_NEAREST = [
    "R1, Ohm: 10000",
    "R2, Ohm: 10200",
    "C1, nF: 22",
    "C2, nF: 12",
    "Achieved cutoff: 926.79 Hz (-7.32 %)",
    "Q: 0.67697 (-4.26 %)",
    "Cutoff with 1 % R, 5 % C: 868.0569 to 987.2877 Hz",
    "Q with 1 % R, 5 % C: 0.6438309 to 0.7117436",
]
PARTS_1K_E12_E24 = [
    "R1, Ohm: 10000",
    "R2, Ohm: 10000",
    "C1, nF: 24",
    "C2, nF: 11",
    "Achieved cutoff: 1021.16 Hz (+2.12 %)",
    "Q: 0.738549 (+4.45 %)",
    "Cutoff with 1 % R, 5 % C: 962.9022 to 1085.761 Hz",
    "Q with 1 % R, 5 % C: 0.702465 to 0.7764476",
]
SPREAD_1K_E12_E24_2_10 = "Cutoff with 2 % R, 10 % C: 908.9186 to 1157.776 Hz"
# The same design's values for people, three significant digits: R2 10253.1 ohm, C1 23.132
# nF, C2 11.109 nF, the passband edge 300 Hz; its best E96/E12 set 30.1 kohm, 15 nF and 5.6 nF.
PEOPLE_1K = {
    "r1-people": "10 kΩ",
    "r2-people": "10.3 kΩ",
    "c1-people": "23.1 nF",
    "c2-people": "11.1 nF",
    "passband-people": "300 Hz",
    "r2-std-people": "30.1 kΩ",
    "c1-std-people": "15 nF",
    "c2-std-people": "5.6 nF",
}

# The curves' colours in the light and the dark scheme (style.css), and the tolerance band's
# opacity over them.
GAIN_COLOR = (29, 95, 184)
GAIN_COLOR_DARK = (122, 180, 255)
PHASE_COLOR = (180, 72, 29)
DELAY_COLOR = (44, 122, 75)
BAND_ALPHA = 0.2

ARGS = argparse.Namespace()


def golden_designs(folder):
    """Every design of the golden transcripts: ((cutoff, R1, band) texts, six lines)."""
    script = pathlib.Path(__file__).with_name("golden.mjs")
    run = subprocess.run([ARGS.node, str(script), folder], capture_output=True, check=True)
    designs = []
    for case in json.loads(run.stdout):
        for texts, lines in zip(case["designs"], case["lines"]):
            designs.append((tuple(texts), lines))
    return designs


def circuit_gain(parts, hz):
    """The real circuit's gain, written out: exact 2 pi, parts in ohms and farads."""
    r1, r2, c1, c2 = parts
    w = 2 * math.pi * hz
    re_part = 1 - w * w * r1 * r2 * c1 * c2
    im_part = w * c2 * (r1 + r2)
    return 1 / math.sqrt(re_part * re_part + im_part * im_part)


def contrast(a, b):
    """The WCAG contrast ratio of two (r, g, b) colours."""
    def luminance(rgb):
        def channel(value):
            c = value / 255
            return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4

        r, g, b = (channel(v) for v in rgb)
        return 0.2126 * r + 0.7152 * g + 0.0722 * b

    la, lb = luminance(a), luminance(b)
    return (max(la, lb) + 0.05) / (min(la, lb) + 0.05)


def overlaps(a, b):
    """Whether two element rectangles (x, y, width, height) share any area."""
    return (a["x"] < b["x"] + b["width"] and b["x"] < a["x"] + a["width"]
            and a["y"] < b["y"] + b["height"] and b["y"] < a["y"] + a["height"])


class RecordingHandler(http.server.SimpleHTTPRequestHandler):
    """Serves the page quietly and keeps the path and status of every request."""

    requests = []

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def log_request(self, code="-", size="-"):
        self.requests.append((self.path, int(code)))


def start_server(folder):
    handler = functools.partial(RecordingHandler, directory=str(folder))
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


# The colour of an element's text and of what stands behind it (the first ancestor with a
# background colour), as [r, g, b] lists.
COLORS_SCRIPT = """
const rgb = (text) => text.match(/[\\d.]+/g).slice(0, 3).map(Number);
const element = arguments[0];
let back = element;
while (back && /rgba\\(0, 0, 0, 0\\)|transparent/.test(getComputedStyle(back).backgroundColor)) {
  back = back.parentElement;
}
const background = back ? getComputedStyle(back).backgroundColor : "rgb(255, 255, 255)";
return [rgb(getComputedStyle(element).color), rgb(background)];
"""


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
        self.emulate()

    # --- helpers ---

    def open(self, url):
        self.driver.get(url)
        self.wait_for(lambda: self.driver.execute_script("return document.body.dataset.ready"))

    def open_1k(self, extra=""):
        self.open(f"{self.base}{DESIGN_1K}{extra}")
        self.wait_for_lines(self.designs[0][1])

    def wait_for(self, condition, message="condition"):
        try:
            return WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: condition())
        except TimeoutException:
            self.fail(f"timed out waiting for {message}")

    def element(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def text_of(self, element_id):
        return self.driver.execute_script(
            "return document.getElementById(arguments[0]).textContent", element_id
        )

    def type_into(self, element_id, text):
        field = self.element(element_id)
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(Keys.DELETE)
        field.send_keys(text)

    def lines(self):
        return [self.text_of(i) for i in RESULT_IDS]

    def wait_for_lines(self, expected):
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: self.lines() == expected)
        except TimeoutException:
            self.assertEqual(self.lines(), expected)

    def parts_lines(self):
        return [self.text_of(i) for i in PARTS_IDS]

    def wait_for_parts(self, expected, ids=PARTS_IDS):
        texts = lambda: [self.text_of(i) for i in ids]  # noqa: E731
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(lambda _: texts() == expected)
        except TimeoutException:
            self.assertEqual(texts(), expected)

    def wait_for_message(self, element_id, fragment):
        try:
            WebDriverWait(self.driver, WAIT_SECONDS).until(
                lambda _: fragment in self.text_of(f"{element_id}-message"))
        except TimeoutException:
            self.assertIn(fragment, self.text_of(f"{element_id}-message"), element_id)

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

    def emulate(self, media="", dark=None):
        features = [] if dark is None else [
            {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}
        ]
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                    {"media": media, "features": features})

    def pixels(self, plot_id, color, alpha=None):
        """Pixels of the plot's canvas near `color` (r, g, b): opaque ones, or with `alpha`
        the tolerance band's shade over that colour."""
        return self.driver.execute_script(
            """
            const canvas = document.querySelector(`#${arguments[0]} canvas`);
            const [r, g, b] = arguments[1];
            const alpha = arguments[2];
            const near = alpha == null ? 40 : 12;
            const context = canvas.getContext("2d");
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            let count = 0;
            for (let i = 0; i < data.length; i += 4) {
              const a = data[i + 3];
              const opacity = alpha == null ? a > 200 : Math.abs(a - 255 * alpha) < 8;
              if (Math.abs(data[i] - r) < near && Math.abs(data[i + 1] - g) < near &&
                  Math.abs(data[i + 2] - b) < near && opacity) count++;
            }
            return count;
            """,
            plot_id,
            list(color),
            alpha,
        )

    def plot_shows(self, plot_id):
        """Whether the plot holds the standard parts' curve and the tolerance band."""
        plot = self.element(plot_id)
        return plot.get_attribute("data-parts"), plot.get_attribute("data-envelope")

    def label_boxes(self):
        """The shown names of the marks: {key: rect}, and the gain plot's plotting area."""
        boxes = self.driver.execute_script(
            """
            const rect = (e) => { const r = e.getBoundingClientRect();
              return { x: r.x, y: r.y, width: r.width, height: r.height }; };
            const labels = {};
            for (const label of document.querySelectorAll(".mark-label")) {
              if (!label.hidden) labels[label.id] = rect(label);
            }
            return [labels, rect(document.querySelector("#plot-gain .u-over"))];
            """
        )
        return boxes[0], boxes[1]

    def check_labels_apart(self, context):
        labels, area = self.label_boxes()
        self.assertGreaterEqual(len(labels), 3, context)
        names = sorted(labels)
        for i, a in enumerate(names):
            self.assertFalse(overlaps(labels[a], area), f"{context}: {a} over the curves")
            self.assertGreaterEqual(labels[a]["x"], area["x"] - 1, f"{context}: {a}")
            self.assertLessEqual(labels[a]["x"] + labels[a]["width"],
                                 area["x"] + area["width"] + 1, f"{context}: {a}")
            for b in names[i + 1:]:
                self.assertFalse(overlaps(labels[a], labels[b]), f"{context}: {a} and {b}")

    def axe_violations(self):
        """axe-core's serious and critical violations on the page as it stands."""
        if not getattr(self, "axe_source", None):
            type(self).axe_source = pathlib.Path(ARGS.axe).read_text()
        self.driver.execute_script(self.axe_source)
        self.driver.set_script_timeout(60)
        violations = self.driver.execute_async_script(
            """
            const done = arguments[arguments.length - 1];
            axe.run(document, { resultTypes: ["violations"] }).then(
              (result) => done(result.violations.map((v) => ({ id: v.id, impact: v.impact,
                nodes: v.nodes.map((n) => n.target.join(" ")).slice(0, 5) }))),
              (error) => done([{ id: "axe failed", impact: "critical", nodes: [String(error)] }]));
            """
        )
        return [v for v in violations if v["impact"] in ("serious", "critical")]

    def main_height(self):
        return self.driver.execute_script(
            "return document.querySelector('main').getBoundingClientRect().height"
        )

    def download(self, button_id, name):
        """The bytes of the file the button offers, downloaded afresh as `name`."""
        path = pathlib.Path(self.downloads.name) / name
        path.unlink(missing_ok=True)
        self.element(button_id).click()
        self.wait_for(lambda: path.exists() and path.stat().st_size > 0, name)
        return path.read_bytes()

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

    def test_si_prefixes_and_values_for_people(self):
        # 10k in the R1 field is 10000 ohms, 0.15k in the band 150 Hz: the console's lines of
        # the plain numbers.
        self.open(f"{self.base}?fc=1&r1=10k&band=0.15k")
        self.wait_for_lines(self.designs[0][1])
        self.type_into("r1-ohm", "4.7k")
        self.type_into("fc-khz", "2200m")
        self.type_into("band-hz", "1k")
        self.wait_for_lines(self.designs[1][1])  # design02: 2.2 kHz, 4700 ohm, 1000 Hz
        self.open_1k()
        for element_id, text in PEOPLE_1K.items():
            self.assertEqual(self.text_of(element_id), text, element_id)
        # The deviation line says what it is, over which band.
        label = self.driver.find_element(By.CSS_SELECTOR, ".line-label").text
        self.assertIn("half the largest deviation of the phase from a straight line", label)
        self.assertIn("0 Hz to 150 Hz, in radians", label)

    def test_plots_are_sliders_with_readout_and_keyboard(self):
        self.open_1k()
        for plot_id, color in [
            ("plot-gain", GAIN_COLOR),
            ("plot-phase", PHASE_COLOR),
            ("plot-delay", DELAY_COLOR),
        ]:
            with self.subTest(plot=plot_id):
                plot = self.element(plot_id)
                self.assertGreater(int(plot.get_attribute("data-points")), 100)
                self.assertGreater(self.pixels(plot_id, color), 300)
                self.assertEqual(plot.get_attribute("role"), "slider")
                self.assertIn("Cutoff 1 kHz, R1 10 kΩ, band 150 Hz: R2 10.3 kΩ",
                              plot.get_attribute("aria-label"))
                # The x axis ends where the data ends.
                first, last = float(plot.get_attribute("data-first-hz")), float(
                    plot.get_attribute("data-last-hz"))
                self.assertAlmostEqual(float(plot.get_attribute("data-axis-min-hz")) / first, 1, 12)
                self.assertAlmostEqual(float(plot.get_attribute("data-axis-max-hz")) / last, 1, 12)
        readout = self.element("readout")
        self.assertEqual(readout.get_attribute("aria-live"), "polite")
        self.assertIsNone(self.element("lines").get_attribute("aria-live"))
        gain_plot = self.element("plot-delay")
        self.driver.execute_script("arguments[0].scrollIntoView(); arguments[0].focus()", gain_plot)
        scrolled = self.driver.execute_script("return window.scrollY")
        gain_plot.send_keys(Keys.END)
        self.wait_for(lambda: readout.text.startswith("1 MHz"), "the readout at the end")
        self.assertRegex(readout.text, r"^1 MHz: gain [0-9.e-]+ \(-\d+\.\d\d dB\), phase -\d")
        # Down and PageDown move the point back along the curve, not the page.
        gain_plot.send_keys(Keys.PAGE_DOWN)
        gain_plot.send_keys(Keys.ARROW_DOWN)
        gain_plot.send_keys(Keys.PAGE_DOWN)
        self.wait_for(lambda: "kHz" in readout.text and not readout.text.startswith("1 MHz"),
                      "the readout below 1 MHz")
        self.assertEqual(self.driver.execute_script("return window.scrollY"), scrolled)
        index = int(gain_plot.get_attribute("aria-valuenow"))
        gain_plot.send_keys(Keys.ARROW_UP)
        self.assertGreater(int(gain_plot.get_attribute("aria-valuenow")), index)
        self.assertEqual(self.driver.execute_script("return window.scrollY"), scrolled)
        # The readout stays in view while the last plot has the focus.
        box = self.driver.execute_script(
            "return document.getElementById('readout').getBoundingClientRect()")
        height = self.driver.execute_script("return window.innerHeight")
        self.assertGreaterEqual(box["top"], 0)
        self.assertLessEqual(box["bottom"], height)

    def test_a_field_being_typed_keeps_the_page_calm(self):
        self.open_1k()
        before = self.main_height()
        heights = [before]
        field = self.element("fc-khz")
        field.send_keys(Keys.CONTROL, "a")
        # 0, 0. and 0.0 are a cutoff of 0, which the console refuses: the 1 kHz result stays,
        # out of date, with no message, while the keys come.
        for key in "0.0":
            field.send_keys(key)
            heights.append(self.main_height())
            self.assertEqual(self.text_of("r2"), "R2, Ohm: 10253.1", key)
            self.assertEqual(self.text_of("results-note"), "")
            self.assertIn("stale", self.element("results").get_attribute("class"))
        field.send_keys("5")
        self.wait_for(lambda: self.text_of("c1") != self.designs[0][1][2], "the 50 Hz design")
        self.assertNotIn("stale", self.element("results").get_attribute("class"))
        heights.append(self.main_height())
        self.assertLessEqual(max(heights) - min(heights), 40, heights)
        # A field that stays bad shows its message after the pause, and no result remains.
        self.type_into("fc-khz", "12abc")
        self.assertEqual(self.text_of("fc-khz-message"), "")
        self.wait_for_message("fc-khz", '"12abc"')
        self.assertEqual(self.lines(), [""] * 6)
        self.assertEqual(self.parts_lines(), [""] * len(PARTS_IDS))
        self.assertEqual([self.text_of(i) for i in BENCH_IDS], [""] * len(BENCH_IDS))
        self.assertTrue(all(self.text_of(f"{i}-people") == "" for i in ["r2", "c1", "c2"]))
        self.assertEqual(self.element("plots").get_attribute("class"), "plots empty")
        self.assertLessEqual(abs(self.main_height() - before), 40)

    def test_invalid_fields_show_the_console_message_and_clear_results(self):
        self.open_1k()
        cases = [
            ("fc-khz", "1e", '"1e"'),
            ("r1-ohm", "1" * 20, "19"),
            ("r1-ohm", "10 k", '"10 k"'),
        ]
        for field_id, text, in_message in cases:
            with self.subTest(field=field_id, text=text):
                self.type_into("fc-khz", "1")
                self.type_into("r1-ohm", "10000")
                self.wait_for_lines(self.designs[0][1])
                self.type_into(field_id, text)
                self.wait_for_message(field_id, in_message)
                self.assertEqual(self.element(field_id).get_attribute("aria-invalid"), "true")
                self.assertEqual(self.lines(), [""] * 6)
        # Enter shows the message at once; so does leaving the field.
        self.type_into("fc-khz", "1")
        self.type_into("r1-ohm", "10000")
        self.wait_for_lines(self.designs[0][1])
        self.type_into("fc-khz", "7x")
        self.element("fc-khz").send_keys(Keys.ENTER)
        self.assertIn('"7x"', self.text_of("fc-khz-message"))
        self.type_into("fc-khz", "1")
        self.wait_for_lines(self.designs[0][1])
        self.type_into("r1-ohm", "8y")
        self.element("band-hz").click()
        self.assertIn('"8y"', self.text_of("r1-ohm-message"))
        # A bad band takes only the deviation away: the rest of the design stands.
        self.type_into("r1-ohm", "10000")
        self.type_into("band-hz", "15O")
        self.wait_for_lines(self.designs[0][1][:5] + [""])
        self.assertIn('"15O"', self.text_of("band-hz-message"))
        # A start that is not finite is refused with the console's reason, at the result and
        # at the field that gives it: a cutoff or R1 of 0, however it is written.
        self.type_into("band-hz", "150")
        for field_id, text, name in [("fc-khz", "0", "a cutoff"), ("fc-khz", "-0", "a cutoff"),
                                     ("r1-ohm", "5e-324", "an R1")]:
            with self.subTest(field=field_id, text=text):
                self.type_into("fc-khz", "1")
                self.type_into("r1-ohm", "10000")
                self.wait_for_lines(self.designs[0][1])
                self.type_into(field_id, text)
                self.wait_for_message(field_id, f"Cannot design with {name} of 0")
                self.wait_for_lines([""] * 6)
                self.assertTrue(self.text_of("results-note").startswith("Cannot design"))
                self.assertEqual(self.element(field_id).get_attribute("aria-invalid"), "true")
                other = "r1-ohm" if field_id == "fc-khz" else "fc-khz"
                self.assertEqual(self.element(other).get_attribute("aria-invalid"), "false")
        # 1e-308 ohms reads as 0 and the cutoff is clamped: each field says what happened.
        self.open(f"{self.base}?fc=1e308&r1=1e-308&band=150")
        self.wait_for_message("r1-ohm", "Cannot design with an R1 of 0")
        self.assertIn('Read as 0: "1e-308"', self.text_of("r1-ohm-message"))
        self.assertIn("Stored as 3.40282e+038 kHz", self.text_of("fc-khz-message"))
        self.assertEqual(self.element("r1-ohm").get_attribute("aria-invalid"), "true")

    def test_links_open_their_design_and_name_what_they_get_wrong(self):
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
        # A series the selector does not offer is named; the default stands in for it.
        self.open(f"{self.base}{DESIGN_1K}&sr=E7&sc=e12&tr=abc")
        self.assertIn('"E7"', self.text_of("series-r-message"))
        self.assertIn("E96 is used", self.text_of("series-r-message"))
        self.assertEqual(self.text_of("series-c-message"), "", "series in either case")
        self.assertEqual(self.element("series-c").get_attribute("value"), "E12")
        self.assertIn('"abc"', self.text_of("tol-r-message"))
        self.assertEqual(self.element("tol-r").get_attribute("aria-invalid"), "true")
        self.wait_for_parts(PARTS_1K[:6] + ["", "", ""])
        self.choose("series-r", "E24")
        self.assertEqual(self.text_of("series-r-message"), "")
        # A method that is not one is marked; a switch reads off-words as off, and marks the
        # rest; the print summary repeats only the tolerances in use.
        self.open(f"{self.base}{DESIGN_1K}&pm=worst&parts=false&tr=abc")
        self.assertIn('"worst"', self.text_of("parts-method-message"))
        self.assertFalse(self.element("show-parts").is_selected())
        self.assertNotIn("abc", self.text_of("design-summary"))
        self.assertIn("resistors E96, capacitors E12 ±5 %", self.text_of("design-summary"))
        for off in ["off", "no", "", "0"]:
            self.open(f"{self.base}{DESIGN_1K}&parts={off}")
            self.assertFalse(self.element("show-parts").is_selected(), off)
        self.open(f"{self.base}{DESIGN_1K}&parts=maybe")
        self.assertTrue(self.element("show-parts").is_selected())
        self.assertIn('"maybe"', self.text_of("show-parts-message"))

    def test_the_page_works_from_disk_and_as_one_file(self):
        self.open((self.page / "index.html").as_uri() + DESIGN_1K)
        self.wait_for_lines(self.designs[0][1])
        self.assertGreater(self.pixels("plot-gain", GAIN_COLOR), 300)
        with tempfile.TemporaryDirectory(prefix="kestrane-single-") as folder:
            copy = pathlib.Path(folder) / "kestrane.html"
            shutil.copyfile(ARGS.single, copy)
            self.assertEqual([p.name for p in pathlib.Path(folder).iterdir()], ["kestrane.html"])
            self.open(copy.as_uri() + DESIGN_1K)
            self.wait_for_lines(self.designs[0][1])
            self.wait_for_parts(PARTS_1K)
            self.assertGreater(self.pixels("plot-gain", GAIN_COLOR), 300)
            self.assertEqual(self.text_of("cutoff-gain"), "0.7071")
        # No request of the served page went astray: no favicon.ico or other 404.
        missing = [path for path, code in RecordingHandler.requests if code >= 400]
        self.assertEqual(missing, [])

    def test_csv_download_holds_the_plotted_response(self):
        self.open_1k()
        self.element("download-csv").click()
        csv_path = pathlib.Path(self.downloads.name) / "kestrane-fc1kHz-r110000ohm.csv"
        self.wait_for(csv_path.exists, "the CSV file")
        rows = csv_path.read_text().splitlines()
        # What the response is of: the design, the set with its figures, the op-amp.
        comments = [row for row in rows if row.startswith("# ")]
        self.assertTrue(comments[0].startswith("# Kestrane response. Cutoff 1 kHz, R1 10 kΩ"))
        self.assertEqual(comments[1], "# Standard parts, best set of E96 R and E12 C: "
                         + "; ".join(PARTS_1K[:4]))
        self.assertEqual(comments[2], "# " + "; ".join(PARTS_1K[4:6])
                         + "; Natural frequency f0: 1000.92 Hz")
        self.assertEqual(comments[3], "# Op-amp: GBW 10 MHz, A0 100 dB, Ro 50 ohm")
        rows = rows[len(comments):]
        self.assertEqual(
            rows[0].split(","),
            ["frequency_hz", "gain", "gain_db", "phase_deg", "group_delay_s"]
            + ["parts_gain", "parts_gain_db", "parts_phase_deg", "parts_group_delay_s"]
            + ["parts_gain_lowest", "parts_gain_highest", "parts_phase_lowest_deg"]
            + ["parts_phase_highest_deg", "parts_group_delay_lowest_s"]
            + ["parts_group_delay_highest_s"]
            + ["opamp_gain", "opamp_gain_db", "opamp_phase_deg", "opamp_group_delay_s"],
        )
        values = [[float(v) for v in row.split(",")] for row in rows[1:]]
        self.assertGreater(len(values), 100)
        hz = [row[0] for row in values]
        self.assertEqual(hz, sorted(hz))
        self.assertLess(hz[0], 10)  # from well below the flat band (333 Hz)
        self.assertGreater(hz[-1], 100000)  # to three decades above the cutoff
        # The best set (10 kohm, 30.1 kohm, 15 nF and 5.6 nF, the doubles nearest them) on the
        # real circuit, written out here, inside its band; the op-amp's gain close to it below
        # the cutoff.
        parts = (10000.0, 30100.0, 15e-9, 5.6e-9)
        widest = 0
        for row in values:
            frequency, gain, db, _, _, parts_gain, parts_db = row[:7]
            self.assertAlmostEqual(db, 20 * math.log10(gain), places=9)
            self.assertAlmostEqual(parts_db, 20 * math.log10(parts_gain), places=9)
            expected = circuit_gain(parts, frequency)
            self.assertAlmostEqual(parts_gain / expected, 1, places=11, msg=frequency)
            self.assertLessEqual(row[9], parts_gain * (1 + 1e-12))
            self.assertGreaterEqual(row[10], parts_gain * (1 - 1e-12))
            self.assertAlmostEqual(row[16], 20 * math.log10(row[15]), places=9)
            if frequency < 100:
                self.assertAlmostEqual(row[15] / parts_gain, 1, places=3, msg=frequency)
            widest = max(widest, 20 * math.log10(row[10] / row[9]))
        self.assertGreater(widest, 1)  # about +-1 dB well above the cutoff

    def test_standard_parts_beside_the_design(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        for select_id, default in [("series-r", "E96"), ("series-c", "E12")]:
            select = Select(self.element(select_id))
            self.assertEqual([o.get_attribute("value") for o in select.options], SERIES)
            self.assertEqual(select.first_selected_option.get_attribute("value"), default)
        method = Select(self.element("parts-method"))
        self.assertEqual([o.get_attribute("value") for o in method.options], ["best", "nearest"])
        self.assertEqual(method.first_selected_option.get_attribute("value"), "best")
        self.assertEqual(self.text_of("parts-head"), "Best set · E96 · E12")
        self.assertEqual(self.text_of("f0-std"), "Natural frequency f0: 1000.92 Hz")
        self.assertTrue(self.element("design-warning").get_attribute("hidden") is not None)
        self.assertEqual(self.text_of("design-warning"), "")
        self.assertEqual(self.element("tol-r").get_attribute("value"), "1")
        self.assertEqual(self.element("tol-c").get_attribute("value"), "5")
        self.assertTrue(self.element("show-parts").is_selected())
        self.wait_for_query("fc=1&r1=10000&band=150")  # defaults stay out of links
        # Each plot holds the set's curve, its tolerance band, which shows as a shaded stretch
        # on the group delay plot, and the curve with the op-amp.
        for plot_id in ["plot-gain", "plot-phase", "plot-delay"]:
            self.assertEqual(self.plot_shows(plot_id), ("true", "true"), plot_id)
            self.assertEqual(self.element(plot_id).get_attribute("data-opamp"), "true")
        self.assertGreater(self.pixels("plot-delay", DELAY_COLOR, BAND_ALPHA), 800)
        self.assertTrue(self.element("legend-parts").is_displayed())
        self.assertTrue(self.element("legend-envelope").is_displayed())
        self.assertTrue(self.element("legend-opamp").is_displayed())

    def test_method_series_and_tolerances_change_the_parts_and_join_the_link(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        self.type_into("tol-r", "2")
        self.type_into("tol-c", "10")
        self.wait_for_parts([SPREAD_1K_2_10], ["fc-spread"])
        self.type_into("tol-r", "1")
        self.type_into("tol-c", "5")
        # The method switch: each part rounded on its own.
        self.choose("parts-method", "nearest")
        self.wait_for_parts(PARTS_1K_NEAREST, PARTS_IDS[:8])
        self.assertEqual(self.text_of("parts-head"), "Nearest · E96 · E12")
        self.wait_for_query("fc=1&r1=10000&band=150&pm=nearest")
        self.choose("series-r", "E12")
        self.choose("series-c", "E24")
        self.wait_for_parts(PARTS_1K_E12_E24, PARTS_IDS[:8])
        self.assertEqual(self.text_of("parts-head"), "Nearest · E12 · E24")
        self.type_into("tol-r", "2")
        self.type_into("tol-c", "10")
        self.wait_for_parts([SPREAD_1K_E12_E24_2_10], ["fc-spread"])
        # The settings join the link, which opens with them.
        query = "fc=1&r1=10000&band=150&pm=nearest&sr=E12&sc=E24&tr=2&tc=10"
        self.wait_for_query(query)
        self.open(f"{self.base}?{query}")
        self.wait_for_parts(PARTS_1K_E12_E24[:6] + [SPREAD_1K_E12_E24_2_10], PARTS_IDS[:7])
        values = [self.element(i).get_attribute("value") for i in ["parts-method"] + SETTING_IDS[:4]]
        self.assertEqual(values, ["nearest", "E12", "2", "E24", "10"])
        # Back to the best set: the link drops the method.
        self.choose("parts-method", "best")
        self.wait_for_query("fc=1&r1=10000&band=150&sr=E12&sc=E24&tr=2&tc=10")

    def test_a_bad_tolerance_is_flagged_and_its_spread_withdrawn(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        for text, expected in [
            ("100", 'Not a tolerance: "100". Tolerances run from 0 to below 100 %.'),
            ("-1", 'Not a tolerance: "-1". Tolerances run from 0 to below 100 %.'),
            ("5%", '"5%"'),
        ]:
            with self.subTest(tolerance=text):
                self.type_into("tol-c", text)
                self.wait_for_message("tol-c", expected)
                self.assertEqual(self.element("tol-c").get_attribute("aria-invalid"), "true")
                # The set stands; its ranges, yield and band do not.
                self.assertEqual(self.parts_lines(), PARTS_1K[:6] + ["", "", ""])
                self.assertEqual(self.plot_shows("plot-gain"), ("true", "false"))
                self.assertEqual(self.pixels("plot-delay", DELAY_COLOR, BAND_ALPHA), 0)
                self.assertFalse(self.element("legend-envelope").is_displayed())
        self.type_into("tol-c", "")
        self.wait_for(lambda: "tolerances" in self.text_of("results-note"), "the note")
        self.assertEqual(self.text_of("tol-c-message"), "Type a tolerance, from 0 to below 100 %.")
        self.assertEqual(self.element("tol-c").get_attribute("aria-invalid"), "true")
        self.assertEqual(self.text_of("fc-spread"), "")
        # The bill of materials states no tolerance that is not in use.
        for field, text in [("tol-r", "x"), ("tol-r", "")]:
            self.type_into(field, text)
            self.element("band-hz").click()  # leaving the field settles it
            self.wait_for_message(field, "")
            bom = self.download("download-bom", "kestrane-fc1kHz-r110000ohm-bom.csv").decode()
            self.assertNotIn("%", bom, text)
        self.type_into("tol-r", "1")
        self.type_into("tol-c", "5")
        self.wait_for_parts(PARTS_1K)
        self.assertEqual(self.element("tol-c").get_attribute("aria-invalid"), "false")

    def test_the_switch_hides_the_parts_curves(self):
        # Wide tolerances (10 % and 20 %) make the band on the gain plot a few decibels wide.
        self.open_1k("&tr=10&tc=20")
        self.wait_for_parts(PARTS_1K[:6] + [SPREAD_1K_10_20], PARTS_IDS[:7])
        self.assertGreater(self.pixels("plot-gain", GAIN_COLOR, BAND_ALPHA), 2000)
        self.element("show-parts").click()
        self.wait_for(lambda: self.plot_shows("plot-gain") == ("false", "false"), "no parts")
        self.assertEqual(self.pixels("plot-gain", GAIN_COLOR, BAND_ALPHA), 0)
        self.assertFalse(self.element("legend-parts").is_displayed())
        self.assertEqual(self.parts_lines()[:6], PARTS_1K[:6])  # the texts stay
        self.assertEqual(self.element("plot-gain").get_attribute("data-opamp"), "false")
        self.wait_for_query("fc=1&r1=10000&band=150&tr=10&tc=20&parts=0")
        self.open(f"{self.base}{DESIGN_1K}&parts=0")
        self.wait_for_parts(PARTS_1K)
        self.assertFalse(self.element("show-parts").is_selected())
        self.assertEqual(self.plot_shows("plot-delay"), ("false", "false"))

    def test_mark_names_stay_apart_and_legible(self):
        # A band of 20 kHz on a desktop, then the 1 kHz design at phone width.
        self.open(f"{self.base}?fc=1&r1=10000&band=20000")
        self.wait_for(lambda: self.text_of("deviation") != "", "the 20 kHz band's deviation")
        self.check_labels_apart("20 kHz band, desktop")
        self.open_1k()
        self.check_labels_apart("150 Hz band, desktop")
        self.driver.set_window_size(390, 1800)
        self.wait_for(lambda: self.element("plots").rect["width"] < 390, "the phone layout")
        time.sleep(0.3)  # the resize redraw
        self.check_labels_apart("phone width")
        for dark in [False, True]:
            self.emulate(dark=dark)
            time.sleep(0.2)
            for label in self.driver.find_elements(By.CSS_SELECTOR, ".mark-label"):
                if not label.is_displayed():
                    continue
                text, background = self.driver.execute_script(COLORS_SCRIPT, label)
                ratio = contrast(text, background)
                self.assertGreaterEqual(ratio, 4.5, f"{label.text}, dark {dark}: {ratio:.2f}")

    def test_phone_width_and_screenshots(self):
        self.open_1k()
        self.driver.set_window_size(1100, 1460)
        time.sleep(0.2)  # the resize redraw
        # The readout at the cutoff: half way along six decades from 1 Hz.
        gain_plot = self.element("plot-gain")
        self.driver.execute_script("arguments[0].focus()", gain_plot)
        gain_plot.send_keys(Keys.HOME, *[Keys.ARROW_RIGHT] * 50)
        self.wait_for(lambda: "kHz: gain 0.70" in self.element("readout").text, "the readout")
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
        for element_id in (FIELD_IDS + RESULT_IDS + PARTS_IDS + SETTING_IDS + OPAMP_IDS
                           + BENCH_IDS + ["schematic", "plot-step"]):
            box = self.element(element_id).rect
            self.assertLessEqual(box["x"] + box["width"], 390, element_id)
        # The results come first, and every control is a touch target of 44 px at least.
        self.assertLess(self.element("results").rect["y"], self.element("fc-khz").rect["y"])
        self.assertLess(self.element("r1").rect["y"], 800, "results on the first screen")
        targets = [self.element(i) for i in CONTROL_IDS]
        targets += [label for label in self.driver.find_elements(By.CSS_SELECTOR, "label.switch")
                    if label.is_displayed()]
        for target in targets:
            box = target.rect
            name = target.get_attribute("id") or "switch"
            self.assertGreaterEqual(box["height"], 44, name)
            self.assertGreaterEqual(box["width"], 44, name)
        self.save_screenshot("kestrane-page-phone.png")
        self.assertEqual(self.axe_violations(), [], "axe at phone width")

    def test_dark_scheme_print_and_axe(self):
        self.open_1k()
        self.assertEqual(self.axe_violations(), [], "axe, light scheme")
        self.emulate(dark=True)
        self.wait_for(lambda: self.pixels("plot-gain", GAIN_COLOR_DARK) > 300, "dark plots")
        self.assertEqual(self.pixels("plot-gain", GAIN_COLOR), 0)
        background = self.driver.execute_script(
            "return getComputedStyle(document.body).backgroundColor")
        channels = [int(c) for c in background[background.index("(") + 1:-1].split(",")[:3]]
        self.assertLess(max(channels), 40, background)
        self.assertEqual(self.axe_violations(), [], "axe, dark scheme")
        self.save_screenshot("kestrane-page-dark.png")
        folder = pathlib.Path(ARGS.artefacts)
        for card in ["bench", "circuit-card"]:
            found = self.driver.find_element(By.CSS_SELECTOR, f".{card}")
            self.driver.execute_script("arguments[0].scrollIntoView()", found)
            found.screenshot(str(folder / f"kestrane-{card}-dark.png"))
        # A settled error in the dark scheme passes too.
        self.type_into("r1-ohm", "12abc")
        self.element("r1-ohm").send_keys(Keys.ENTER)
        self.assertEqual(self.axe_violations(), [], "axe, dark scheme with a bad field")
        self.type_into("r1-ohm", "10000")
        self.wait_for_lines(self.designs[0][1])
        # Printing shows the design, the results and the plots, without the controls.
        self.emulate(media="print", dark=True)
        for hidden in ["fc-khz", "series-r", "show-parts", "download-csv", "readout", "gbw-mhz",
                       "fc-opamp", "download-spice"]:
            self.assertFalse(self.element(hidden).is_displayed(), hidden)
        for shown in ["r1", "c1-std", "plot-gain", "plot-delay", "design-summary"]:
            self.assertTrue(self.element(shown).is_displayed(), shown)
        self.assertIn("Cutoff 1 kHz, R1 10 kΩ, band 150 Hz", self.text_of("design-summary"))
        self.emulate()
        pdf = self.driver.execute_cdp_cmd(
            "Page.printToPDF", {"preferCSSPageSize": True, "printBackground": False})
        document = base64.b64decode(pdf["data"])
        folder = pathlib.Path(ARGS.artefacts)
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "kestrane-page-print.pdf").write_bytes(document)
        pages = re.findall(rb"/Type\s*/Page(?![a-zA-Z])", document)
        self.assertEqual(len(pages), 1, "one A4 page")


    def test_warnings_state_their_reason_and_threshold(self):
        # 5.5 Hz: the whole-hertz design model misses on the real circuit; the set is built.
        self.open(f"{self.base}?fc=0.0055&r1=10000&band=1")
        self.wait_for(lambda: self.text_of("design-warning") != "", "the 5.5 Hz warning")
        warning = self.element("design-warning")
        self.assertTrue(warning.is_displayed())
        self.assertRegex(warning.text, r"^Warning: the whole-hertz design model misses: real "
                         r"cutoff -\d+\.\d\d %, Q [+-]\d+\.\d\d % \(limits 1 %, 5 %\)$")
        self.assertTrue(self.text_of("fc-std").startswith("Achieved cutoff: 5.5"))
        self.assertNotEqual(self.text_of("fc-opamp"), "")
        # 1.5 Hz with 10 kohm: C1 comes out negative, and there is no circuit to build.
        self.type_into("fc-khz", "0.0015")
        self.wait_for(lambda: "No circuit" in self.text_of("design-warning"), "no circuit")
        lines = self.element("design-warning").text.split("\n")
        self.assertRegex(lines[0], r"^Warning: positive inputs gave C1 = -2514\.3 nF, not above 0; "
                         r"the design model evaluates whole hertz$")
        self.assertEqual(lines[1], "No circuit to build: C1 = -2514.3 nF is not above 0; "
                         "no standard parts, ranges or yield")
        self.assertEqual(self.text_of("c1"), "C1, nF: -2514.3")  # the console's line stands
        self.check_nothing_to_build()
        # A negative cutoff: designed as the console does, nothing to build.
        self.type_into("fc-khz", "-1")
        self.wait_for(lambda: "the cutoff = -1 kHz" in self.text_of("design-warning"), "-1 kHz")
        self.assertEqual(self.element("design-warning").text,
                         "No circuit to build: the cutoff = -1 kHz is not above 0; "
                         "no standard parts, ranges or yield")
        self.check_nothing_to_build()
        self.assertEqual(self.axe_violations(), [], "axe with warnings")
        # Back to 1 kHz: the warnings go, and their room with them.
        self.type_into("fc-khz", "1")
        self.wait_for_parts(PARTS_1K)
        self.assertFalse(self.element("design-warning").is_displayed())

    def check_nothing_to_build(self):
        """No set, ranges, yield, op-amp figures, step, schematic values or files."""
        self.assertEqual(self.parts_lines(), [""] * len(PARTS_IDS))
        self.assertEqual([self.text_of(i) for i in BENCH_IDS], [""] * len(BENCH_IDS))
        self.assertEqual(self.element("plot-step").get_attribute("data-points"), "0")
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "#schematic svg"), [])
        self.assertIn("No standard parts", self.text_of("schematic"))
        for button in ["download-spice", "download-bom"]:
            self.assertFalse(self.element(button).is_enabled(), button)
        self.assertEqual(self.plot_shows("plot-gain"), ("false", "false"))

    def test_the_opamp_on_the_bench(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        defaults = [self.element(i).get_attribute("value") for i in OPAMP_IDS]
        self.assertEqual(defaults, ["10", "100", "50", "1", "24000"])
        self.wait_for(lambda: self.text_of("fc-opamp") != "", "the op-amp figures")
        texts = {i: self.text_of(i) for i in BENCH_IDS}
        self.assertRegex(texts["fc-opamp"], r"^Cutoff with op-amp \(-3 dB from the DC gain, "
                                            r"first crossing\), Hz: 100\d\.\d+$")
        self.assertRegex(texts["gbw-need"], r"^Needed GBW \(.*\), MHz: 0\.0\d+$")
        self.assertRegex(texts["slew-need"],
                         r"^Slew rate for a 1 V peak input sine, V/us: 0\.00\d+")
        self.assertRegex(texts["stopband-floor"],
                         r"^Lowest gain above the cutoff, dB from 1: -\d+\.\d+ at \d+ Hz"
                         r"Gain as the frequency grows without bound, dB from 1: -\d+")
        self.assertRegex(texts["atten"],
                         r"^Attenuation at 24000 Hz from the DC gain, dB: \d+\.\d+$")
        self.assertRegex(texts["step-overshoot"], r"^Step overshoot, % of final value: 4\.\d+$")
        self.assertRegex(texts["step-rise"],
                         r"^Step rise time, main edge 10-90 % of final value, s: 0\.000\d+")
        self.assertRegex(texts["step-settle"], r"^Step settling to 1 % of final value, "
                                               r"s: 0\.00\d+; to 0\.1 %, s: 0\.00\d+$")
        self.assertGreater(int(self.element("plot-step").get_attribute("data-points")), 100)
        # A slower op-amp lowers the cutoff and joins the link.
        before = self.text_of("fc-opamp")
        self.type_into("gbw-mhz", "0.05")
        self.wait_for(lambda: self.text_of("fc-opamp") not in ("", before), "a new cutoff")
        self.type_into("atten-hz", "48k")
        self.wait_for(lambda: self.text_of("atten").startswith("Attenuation at 48000 Hz"), "48k")
        self.wait_for_query("fc=1&r1=10000&band=150&gbw=0.05&fa=48k")
        # Bad values are marked beside their fields; the op-amp's figures go, the set stays.
        for field, text, message in [
            ("gbw-mhz", "0", 'Not a gain-bandwidth product: "0". It is above 0 MHz and at most '
             '1.79769e+302 MHz.'),
            ("a0-db", "-3", 'Not an open-loop gain: "-3". It is above 0 dB and finite.'),
            ("rout-ohm", "-1", 'Not an output resistance: "-1". It is 0 Ω or more and finite.'),
        ]:
            with self.subTest(field=field):
                self.type_into("gbw-mhz", "10")
                self.type_into(field, text)
                self.wait_for_message(field, message)
                self.assertEqual(self.element(field).get_attribute("aria-invalid"), "true")
                self.assertEqual(self.text_of("fc-opamp"), "")
                self.assertEqual(self.text_of("step-overshoot"), "")
                self.assertEqual(self.parts_lines(), PARTS_1K)
                self.type_into(field, {"gbw-mhz": "10", "a0-db": "100", "rout-ohm": "50"}[field])
        self.wait_for(lambda: self.text_of("fc-opamp") != "", "the figures again")
        self.type_into("vin-peak", "0")
        self.wait_for_message("vin-peak", 'Not an amplitude: "0". It is above 0 V and finite.')
        self.assertEqual(self.text_of("slew-need"), "")
        self.assertNotEqual(self.text_of("fc-opamp"), "")
        self.type_into("atten-hz", "x")
        self.wait_for_message("atten-hz", '"x"')
        self.assertEqual(self.text_of("atten"), "")
        self.open(f"{self.base}{DESIGN_1K}&gbw=0.2&a0=60&ro=500&vpk=2.5&fa=1k")
        self.wait_for(lambda: self.text_of("slew-need").startswith("Slew rate for a 2.5 V"), "vpk")
        values = [self.element(i).get_attribute("value") for i in OPAMP_IDS]
        self.assertEqual(values, ["0.2", "60", "500", "2.5", "1k"])
        self.assertTrue(self.text_of("atten").startswith("Attenuation at 1000 Hz from the DC gain"))

    def test_the_schematic_shows_every_value(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        for method, values in [("best", ["10 kΩ", "30.1 kΩ", "15 nF", "5.6 nF"]),
                               ("nearest", ["10 kΩ", "10.2 kΩ", "22 nF", "12 nF"])]:
            self.choose("parts-method", method)
            self.wait_for(lambda: values[1] in self.schematic_texts(), f"the {method} values")
            texts = self.schematic_texts()
            for name, value in zip(["R1", "R2", "C1", "C2"], values):
                self.assertIn(name, texts)
                self.assertIn(value, texts)
            title = self.driver.find_element(By.CSS_SELECTOR, "#schematic svg title")
            self.assertIn(f"R2 {values[1]}", title.get_attribute("textContent"))
        # Legible at phone width: no value text smaller than 11 px, and the drawing in view.
        self.driver.set_window_size(390, 1800)
        self.wait_for(lambda: self.element("schematic").rect["width"] < 390, "the phone layout")
        sizes = self.driver.execute_script(
            "return [...document.querySelectorAll('#schematic text')]"
            ".map((t) => t.getBoundingClientRect().height)")
        self.assertGreaterEqual(min(sizes), 11, sizes)
        box = self.element("schematic").rect
        self.assertLessEqual(box["x"] + box["width"], 390)
        self.save_screenshot("kestrane-schematic-phone.png")

    def schematic_texts(self):
        return [e.get_attribute("textContent")
                for e in self.driver.find_elements(By.CSS_SELECTOR, "#schematic svg text")]

    def test_spice_and_bill_of_materials_downloads(self):
        self.open_1k()
        self.wait_for_parts(PARTS_1K)
        self.element("download-spice").click()
        netlist = pathlib.Path(self.downloads.name) / "kestrane-fc1kHz-r110000ohm.cir"
        self.wait_for(lambda: netlist.exists() and netlist.stat().st_size > 0, "the netlist")
        text = netlist.read_bytes()
        self.element("download-bom").click()
        bom = pathlib.Path(self.downloads.name) / "kestrane-fc1kHz-r110000ohm-bom.csv"
        self.wait_for(bom.exists, "the bill of materials")
        self.assertEqual(bom.read_text().splitlines(), [
            "Reference,Value,Unit,Series,Tolerance,Quantity",
            "R1,10000,ohm,E96,1%,1",
            "R2,30100,ohm,E96,1%,1",
            "C1,15,nF,E12,5%,1",
            "C2,5.6,nF,E12,5%,1",
            "U1,10,MHz GBW,,,1",
        ])
        # Both files are the console's for the same request, byte for byte.
        console = console_files(["--fc", "1", "--r1", "10000"])
        self.assertEqual(text, console["netlist"])
        self.assertEqual(bom.read_bytes(), console["bom"])

    def test_downloads_are_the_consoles_for_any_request(self):
        self.open(f"{self.base}?fc=2.2&r1=4.7k&band=1000&pm=nearest&sr=E24&sc=E6&tr=5&tc=10"
                  "&gbw=0.5&a0=80&ro=100")
        self.wait_for(lambda: self.text_of("r1-std").startswith("R1, Ohm: 4700"), "the set")
        for button in ("download-spice", "download-bom"):
            self.element(button).click()
        folder = pathlib.Path(self.downloads.name)
        netlist = folder / "kestrane-fc2.2kHz-r14.7kohm.cir"
        bom = folder / "kestrane-fc2.2kHz-r14.7kohm-bom.csv"
        self.wait_for(lambda: all(f.exists() and f.stat().st_size > 0 for f in (netlist, bom)),
                      "the downloads")
        console = console_files(["--fc", "2.2", "--r1", "4.7k", "--method", "nearest",
                                 "--series", "E24,E6", "--tolerance", "5,10",
                                 "--opamp", "0.5,80,100"])
        self.assertEqual(netlist.read_bytes(), console["netlist"])
        self.assertEqual(bom.read_bytes(), console["bom"])

    # --- filters of any order ---

    def stage_rows(self):
        """The stage table's rows: {stage: [cell texts]}."""
        return self.driver.execute_script(
            """
            const rows = {};
            for (const row of document.querySelectorAll("#stages tbody tr[data-stage]")) {
              rows[row.dataset.stage] = [...row.cells].map((cell) => cell.textContent);
            }
            return rows;
            """
        )

    def check_stages_are_the_consoles(self, arguments):
        """The table has the console's stages: each one's order and Q, and its parts."""
        lines = console_lines(arguments)
        headings = [re.match(r"^Stage (\d+) of (\d+), (first|second) order: f0 [0-9.e+-]+ Hz"
                             r"(?:, Q ([0-9.e+-]+))?$", line) for line in lines]
        headings = [h for h in headings if h]
        self.assertGreater(len(headings), 0, lines)
        self.wait_for(lambda: len(self.stage_rows()) == len(headings), "the stages' rows")
        rows = self.stage_rows()
        for heading in headings:
            row = rows[heading.group(1)]
            self.assertEqual(row[1], "1" if heading.group(3) == "first" else "2")
            self.assertEqual(row[3], heading.group(4) or "–")
            self.assertEqual("R2" in row[4], heading.group(3) == "second")
        return lines

    def test_the_response_switch_and_each_family(self):
        self.open_1k()
        # The search is the default, and its page is as it was: no order, no stages.
        self.assertEqual(self.element("response").get_attribute("value"), "search")
        self.assertFalse(self.element("order").is_displayed())
        self.assertFalse(self.element("cascade-result").is_displayed())
        cases = [
            ("butterworth", "3", [], "Butterworth, order 3"),
            ("bessel", "4", [], "Bessel, order 4"),
            ("chebyshev", "5", ["--ripple", "0.5"], "Chebyshev, 0.5 dB ripple, order 5"),
            ("linkwitz-riley", "4", [], "Linkwitz-Riley, order 4"),
        ]
        for response, order, extra, heading in cases:
            with self.subTest(response=response):
                self.choose("response", response)
                self.type_into("order", order)
                self.wait_for(lambda: self.text_of("cascade-heading").startswith(heading), heading)
                lines = self.check_stages_are_the_consoles(
                    ["--response", response, "--order", order, *extra, "--fc", "1", "--r1", "10000"])
                self.assertEqual(self.text_of("cascade-heading"), lines[0])
                self.assertTrue(self.element("ripple-db").is_displayed() == (response == "chebyshev"))
                # The cascade's figures with the op-amp, its step and its files are shown.
                self.assertTrue(self.text_of("fc-opamp").startswith("Cutoff with op-amp"))
                self.assertGreater(int(self.element("plot-step").get_attribute("data-points")), 100)
                self.assertTrue(self.element("download-spice").is_enabled())
                self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, "#schematic svg")),
                                 len(self.stage_rows()))
        # Each stage's own curve, on every plot, and in the CSV.
        self.element("show-stages").click()
        self.wait_for(lambda: self.element("plot-gain").get_attribute("data-stages") == "2",
                      "two stages' curves")
        rows = self.download("download-csv",
                             "kestrane-linkwitz-riley-fc1kHz-r110000ohm.csv").decode().splitlines()
        header = [row for row in rows if not row.startswith("#")][0].split(",")
        self.assertIn("stage2_group_delay_s", header)
        self.assertNotIn("stage3_gain_db", header)
        self.choose("response", "search")
        self.wait_for_lines(self.designs[0][1])
        self.assertFalse(self.element("cascade-result").is_displayed())

    def test_a_specification_sets_the_order_and_the_cutoff(self):
        self.open(f"{self.base}?fc=1&r1=10000&band=150&resp=chebyshev&rip=1&re=1"
                  "&fp=1&ap=1&fs=3&as=40")
        arguments = ["--response", "chebyshev", "--ripple", "1", "--ripple-edge",
                     "--passband", "1,1", "--stopband", "3,40", "--r1", "10000"]
        lines = self.check_stages_are_the_consoles(arguments)
        self.assertEqual(self.text_of("cascade-heading"), lines[0])
        order = re.search(r"order (\d+)", lines[0]).group(1)
        self.assertIn(f"Order {order} from the specification", self.text_of("spec-result"))
        self.assertFalse(self.element("order").is_enabled())
        self.assertTrue(self.text_of("specification-line").startswith(
            f"Order from the passband (1000 Hz, at most 1 dB) and the stopband (3000 Hz, at "
            f"least 40 dB): {order}"))
        # The plots mark the edges with the loss reached there.
        labels = self.driver.execute_script(
            "return [...document.querySelectorAll('.mark-label:not([hidden])')]"
            ".map((label) => label.textContent)")
        self.assertIn("fp: loss 1 dB", labels)
        self.assertTrue(any(label.startswith("fs: loss 4") for label in labels), labels)
        # The files are the console's for the same request.
        for button, ending, key in [("download-spice", ".cir", "netlist"),
                                    ("download-bom", "-bom.csv", "bom")]:
            name = f"kestrane-chebyshev-fc1kHz-r110000ohm{ending}"
            self.assertEqual(self.download(button, name), console_files(arguments)[key], key)
        # Three of the four fields are no specification: the page says so.
        self.type_into("as-db", "")
        self.wait_for(lambda: "all four" in self.text_of("results-note"), "the note")
        self.assertTrue(self.element("order").is_enabled())
        # None up to order 10 meets it: the module says why, beside the specification.
        self.type_into("as-db", "300")
        self.wait_for_message("spec", "No order up to 10")

    def test_links_keep_the_filter_and_mark_what_does_not_fit(self):
        self.open_1k()
        self.choose("response", "chebyshev")
        self.type_into("order", "6")
        self.type_into("ripple-db", "0.25")
        self.element("ripple-edge").click()
        self.element("compensate").click()
        self.type_into("gbw-mhz", "0.2")
        query = "fc=1&r1=10000&band=150&resp=chebyshev&ord=6&rip=0.25&re=1&gbw=0.2&comp=1"
        self.wait_for_query(query)
        self.wait_for(lambda: self.text_of("compensation-line").startswith(
            "Compensation for the op-amp"), "the compensation line")
        rows = self.stage_rows()
        self.open(f"{self.base}?{query}")
        self.wait_for(lambda: self.stage_rows() == rows, "the same stages")
        values = [self.element(i).get_attribute("value")
                  for i in ["response", "order", "ripple-db", "gbw-mhz"]]
        self.assertEqual(values, ["chebyshev", "6", "0.25", "0.2"])
        self.assertTrue(self.element("ripple-edge").is_selected())
        self.assertTrue(self.element("compensate").is_selected())
        # The netlist is the console's, compensation and all.
        arguments = ["--response", "chebyshev", "--order", "6", "--ripple", "0.25",
                     "--ripple-edge", "--fc", "1", "--r1", "10000", "--opamp", "0.2,100,50",
                     "--compensate"]
        netlist = self.download("download-spice", "kestrane-chebyshev-fc1kHz-r110000ohm.cir")
        self.assertEqual(netlist, console_files(arguments)["netlist"])
        # What cannot be designed is marked beside its field, never replaced.
        for link, field, fragment in [
            ("resp=linkwitz-riley&ord=5", "order", "5 is odd"),
            ("resp=butterworth&ord=11", "order", 'Not an order: "11"'),
            ("resp=butterworth&ord=4&rip=0.5", "ripple-db", "ripple"),
            ("resp=bessel&ord=4&re=1", "ripple-edge", "edge"),
            ("resp=elliptic&ord=4", "response", '"elliptic"'),
        ]:
            with self.subTest(link=link):
                self.open(f"{self.base}{DESIGN_1K}&{link}")
                self.wait_for_message(field, fragment)
                self.assertTrue(self.element(field).is_displayed(), field)
                if field != "response":  # a select keeps an option: its default, marked
                    self.assertEqual(self.element(field).get_attribute("aria-invalid"), "true")
                    self.wait_for(lambda: link.split("&")[-1] in self.query(), "the link kept")

    def test_an_order_10_cascade_at_phone_width_dark_and_printed(self):
        self.open(f"{self.base}{DESIGN_1K}&resp=bessel&ord=10&st=1")
        self.wait_for(lambda: len(self.stage_rows()) == 5, "five stages")
        self.driver.set_window_size(390, 1800)
        self.wait_for(lambda: self.element("schematic").rect["width"] < 390, "the phone layout")
        time.sleep(0.3)  # the resize redraw
        width = self.driver.execute_script("return document.documentElement.scrollWidth")
        self.assertLessEqual(width, 390, "no sideways scrolling at phone width")
        sizes = self.driver.execute_script(
            "return [...document.querySelectorAll('#schematic text')]"
            ".map((t) => t.getBoundingClientRect().height)")
        self.assertGreaterEqual(min(sizes), 11, "legible values")
        drawings = self.driver.execute_script(
            "return [...document.querySelectorAll('#schematic svg')]"
            ".map((s) => s.getBoundingClientRect().top)")
        self.assertEqual(len(set(round(top) for top in drawings)), 5, "a stage a row")
        targets = [label for label in self.driver.find_elements(By.CSS_SELECTOR, "label.switch")
                   if label.is_displayed()]
        targets += [self.element(i) for i in ["response", "order"]]
        for target in targets:
            self.assertGreaterEqual(target.rect["height"], 44, target.get_attribute("id"))
        self.save_screenshot("kestrane-cascade-phone.png")
        self.assertEqual(self.axe_violations(), [], "axe at phone width")
        self.driver.set_window_size(1280, 1500)
        self.emulate(dark=True)
        self.assertEqual(self.axe_violations(), [], "axe in the dark scheme")
        self.save_screenshot("kestrane-cascade-dark.png")
        self.emulate()
        pdf = self.driver.execute_cdp_cmd(
            "Page.printToPDF", {"preferCSSPageSize": True, "printBackground": False})
        document = base64.b64decode(pdf["data"])
        (pathlib.Path(ARGS.artefacts) / "kestrane-cascade-print.pdf").write_bytes(document)
        self.assertEqual(len(re.findall(rb"/Type\s*/Page(?![a-zA-Z])", document)), 1, "one page")

    def test_the_gain_caption_stays_clear_of_the_readout(self):
        self.open_1k()
        caption = self.element("plot-gain-caption")
        plot_top = self.element("plot-gain").location["y"]
        start = caption.location["y"] - 200
        for y in range(max(0, start), plot_top + 300, 15):
            self.driver.execute_script(f"window.scrollTo(0, {y})")
            boxes = self.driver.execute_script(
                "const r = (id) => document.getElementById(id).getBoundingClientRect();"
                "return [r('plot-gain-caption'), r('readout')]")
            self.assertFalse(overlaps(*boxes), f"scrolled to {y}")

    def test_no_value_that_is_not_a_number_and_no_console_errors(self):
        # Every error a page reports is kept, from before its scripts run.
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": (
            "window.kestraneErrors = [];"
            "window.addEventListener('error', (e) => window.kestraneErrors.push(e.message));")})
        cases = [
            ("fa=1e300", "atten-hz", "No attenuation at 1e+300 Hz"),
            ("vpk=1e308", "vin-peak", "The slew rate for a 1e+308 V peak input sine leaves"),
            ("gbw=1e308", "gbw-mhz", "at most 1.79769e+302 MHz"),
            ("band=1e999", "band-hz", "It is finite: at most 1.79769e+308 Hz"),
        ]
        for link, field, fragment in cases:
            with self.subTest(link=link):
                band = "" if link.startswith("band=") else "&band=150"
                self.open(f"{self.base}?fc=1&r1=10000{band}&{link}")
                self.wait_for_message(field, fragment)
                self.assertEqual(self.element(field).get_attribute("aria-invalid"), "true")
                page = self.driver.execute_script("return document.body.innerText")
                self.assertNotRegex(page, r"#IND|#INF|NaN|Infinity")
                for button, name in [("download-spice", "kestrane-fc1kHz-r110000ohm.cir"),
                                     ("download-bom", "kestrane-fc1kHz-r110000ohm-bom.csv"),
                                     ("download-csv", "kestrane-fc1kHz-r110000ohm.csv")]:
                    if self.element(button).is_enabled():
                        text = self.download(button, name).decode()
                        self.assertNotRegex(text, r"#IND|#INF|NaN|Infinity", button)
        # An op-amp the netlist cannot hold: the button says why it is off.
        self.open(f"{self.base}{DESIGN_1K}&a0=7000")
        self.wait_for(lambda: "No netlist" in self.text_of("spice-note"), "the netlist's reason")
        self.assertFalse(self.element("download-spice").is_enabled())
        self.assertIn("6165 dB", self.text_of("spice-note"))
        # A minus sign typed as U+2212 is quoted as typed.
        self.type_into("fc-khz", "\u22121")
        self.element("fc-khz").send_keys(Keys.ENTER)
        self.assertEqual(self.text_of("fc-khz-message"),
                         'Not a number: "\u22121". Numbers look like 1000, -2.5, .5 or 4.7e3.')
        # Loading and resizing report nothing to window.onerror.
        for size in [(1280, 1500), (700, 1200), (390, 1800), (1280, 1500)]:
            self.driver.set_window_size(*size)
            time.sleep(0.3)  # the resize's frames
        self.assertEqual(self.driver.execute_script("return window.kestraneErrors"), [])


def console_lines(arguments):
    """What the console program prints for `arguments`, line by line."""
    run = subprocess.run([ARGS.kestrane, *arguments], capture_output=True, check=True, text=True)
    return run.stdout.splitlines()


def console_files(arguments):
    """The netlist and bill of materials the console program writes for `arguments`."""
    with tempfile.TemporaryDirectory(prefix="kestrane-console-") as folder:
        netlist = pathlib.Path(folder) / "filter.cir"
        bom = pathlib.Path(folder) / "filter-bom.csv"
        subprocess.run([ARGS.kestrane, *arguments, "--spice", str(netlist), "--bom", str(bom)],
                       capture_output=True, check=True)
        return {"netlist": netlist.read_bytes(), "bom": bom.read_bytes()}


def measure():
    """Times designs typed into the page: the core's work per design and keystroke to plot,
    for the search and for an 8th-order cascade."""
    server = start_server(pathlib.Path(ARGS.page).resolve())
    profile = tempfile.TemporaryDirectory(prefix="kestrane-chromium-")
    driver = start_browser(profile.name)
    base = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    try:
        for name, query in [("the search", "?fc=1&r1=10000&band=150"),
                            ("Butterworth, order 8", "?fc=1&r1=10000&band=150&resp=butterworth&ord=8"),
                            ("Chebyshev 0.5 dB, order 8",
                             "?fc=1&r1=10000&band=150&resp=chebyshev&ord=8&rip=0.5")]:
            driver.get(base + query)
            WebDriverWait(driver, WAIT_SECONDS).until(
                lambda d: d.execute_script("return document.body.dataset.ready"))
            # One keystroke a design: R1 goes from 10000 to 1000 ohms and back.
            field = driver.find_element(By.ID, "r1-ohm")
            for _ in range(25):
                field.send_keys(Keys.BACKSPACE)
                time.sleep(0.15)
                field.send_keys("0")
                time.sleep(0.15)
            timings = driver.execute_script("return window.kestraneTimings")
            design, redraw = timings["design"][10:], timings["redraw"][10:]
            print(f"{name}: designs timed {len(design)}, redraws timed {len(redraw)}")
            print(f"  the module's work for the plotted result: median "
                  f"{statistics.median(design):.2f} ms, max {max(design):.2f} ms")
            print(f"  keystroke to redrawn plots: median {statistics.median(redraw):.1f} ms, "
                  f"max {max(redraw):.1f} ms")
    finally:
        driver.quit()
        server.shutdown()
        server.server_close()
        profile.cleanup()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--page", required=True, help="the built page folder (build-web/web)")
    parser.add_argument("--single", help="the single-file page (build-web/kestrane.html)")
    parser.add_argument("--golden", required=True, help="tests/golden")
    parser.add_argument("--node", default="node", help="node, to read the golden transcripts")
    parser.add_argument("--axe", help="axe-core's axe.min.js")
    parser.add_argument("--kestrane", help="the native console program (build/kestrane)")
    parser.add_argument("--artefacts", default="artefacts", help="where screenshots go")
    parser.add_argument("--measure", action="store_true", help="time designs, run no tests")
    _, rest = parser.parse_known_args(namespace=ARGS)
    if ARGS.measure:
        measure()
        return 0
    if not ARGS.single or not ARGS.axe or not ARGS.kestrane:
        parser.error("the tests need --single, --axe and --kestrane")
    result = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
