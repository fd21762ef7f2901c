"""`lumenfold report --html` pages in a real browser (Debian's chromium,
headless, networking off), loaded from file:// URLs: every chart is drawn,
with data, and nothing goes wrong in the page's scripts."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from browser import CHROMIUM, browse
from harness import BUILD

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
# Real results files of each program, with the context files `lumenfold run` wrote.
RUNS = os.path.join(SOURCE, "tests", "fuzz", "corpus")
# Each chart is named by the key of the figure it draws (README lists them).
CHARTS = {"triangles": ["frameSeconds", "trianglesPerSecondStep", "setupSeconds"],
          "cube": ["frameSeconds", "verticesPerSecond", "setupSeconds"],
          "streaming": ["frameSeconds", "floatMexecPerSecond", "integerMexecPerSecond", "logicMexecPerSecond",
                        "setupSeconds"]}
FIGURE = re.compile(r'<figure class="chart" data-program="(\w+)" data-chart="(\w+)"[^>]*>.*?<canvas([^>]*)>', re.S)


@unittest.skipUnless(CHROMIUM, "chromium is not installed (Debian package chromium)")
class HtmlPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="lumenfold-html-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def copy_run(self, program, name=None, renderer=None, cut=None):
        """A real run of program under a new name, its context changed or its file cut short."""
        target = os.path.join(self.dir, name or program + ".txt")
        with open(os.path.join(RUNS, program + ".txt"), "rb") as f:
            text = f.read()
        with open(target, "wb") as f:
            f.write(text[:cut] if cut else text)
        with open(os.path.join(RUNS, program + ".json")) as f:
            context = json.load(f)
        if renderer:
            context["gl"]["renderer"] = renderer
        context["warnings"] = ["a software rasteriser (llvmpipe): the figures measure the CPU"]
        with open(target[:-4] + ".json", "w") as f:
            json.dump(context, f)
        return target

    def browse(self, page, *args):
        result, messages = browse(page, tempfile.mkdtemp(dir=self.dir), *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        # Uncaught exceptions, policy violations, failed loads: none.
        self.assertEqual(messages, [], page)
        return result.stdout

    def check_page(self, page, programs, shot, extra_charts=()):
        """Loads the page, checks each chart of each program has data, and takes a screenshot."""
        dom = self.browse(page, "--dump-dom")
        self.assertIn('data-drawn="', dom, "the page's script did not finish")
        drawn = {(m.group(1), m.group(2)): m.group(3) for m in FIGURE.finditer(dom)}
        for program in programs:
            for chart in CHARTS[program] + list(extra_charts):
                attributes = drawn.get((program, chart))
                self.assertIsNotNone(attributes, f"{program}: no {chart} chart")
                points = re.search(r'data-points="(\d+)"', attributes)
                self.assertIsNotNone(points, f"{program} {chart}: not drawn")
                self.assertGreater(int(points.group(1)), 0, f"{program} {chart}: drawn without data")
        self.assertNotIn('id="script-problems"><li>', dom)
        self.browse(page, "--window-size=1280,1400", "--screenshot=" + shot)
        # Not blank: a page of charts has many distinct colours.
        colours = subprocess.run(["convert", shot, "-format", "%k", "info:"], capture_output=True, text=True,
                                 check=True).stdout
        self.assertGreater(int(colours), 50, shot)
        return dom

    def report(self, files, page):
        result = subprocess.run([LUMENFOLD, "report", *files, "--html", page], capture_output=True, text=True,
                                timeout=60)
        self.assertTrue(os.path.exists(page), result.stderr)
        return result

    def test_report_of_each_program(self):
        for program in CHARTS:
            with self.subTest(program=program):
                page = os.path.join(self.dir, program + ".html")
                files = [self.copy_run(program), self.copy_run(program, name=program + "-again.txt")]
                self.assertEqual(self.report(files, page).returncode, 0)
                self.check_page(page, [program], os.path.join(self.dir, program + ".png"))
                if program == "triangles" and os.environ.get("LUMENFOLD_KEEP_SCREENSHOT"):
                    shutil.copy(os.path.join(self.dir, program + ".png"), os.environ["LUMENFOLD_KEEP_SCREENSHOT"])

    def test_timed_frames_and_the_machine_are_drawn(self):
        """A run with a timing file and samples beside it: its frames' swap,
        CPU and GPU times are charted with the program's figures, and each
        unit of its sensors has a chart on the run's time line."""
        results = self.copy_run("cube", name="timed.txt")
        with open(results[:-4] + ".timing", "w") as f:
            f.write("lumenfold-timing 1\ncolumns frame swap step kind present_ns cpu_ns\ncolumns gpu swap gpu_ns\n"
                    "gpu available GL_ARB_timer_query GL_TIME_ELAPSED\n")
            for swap in range(1, 41):
                f.write(f"frame {swap} {swap} new {900000000 + swap} {700000000 + swap}\ngpu {swap} {5000000 + swap}\n")
        with open(results[:-4] + ".samples.csv", "w") as f:
            f.write("time[s],cpu0.clock[MHz],cpu0.busy[share]\n")
            for i in range(60):
                f.write(f"{i / 10:.3f},{2600 - i},{0.5 + i / 200}\n")
        page = os.path.join(self.dir, "timed.html")
        self.assertEqual(self.report([results], page).returncode, 0)
        self.check_page(page, ["cube"], os.path.join(self.dir, "timed.png"),
                        extra_charts=("presentSeconds", "cpuSeconds", "gpuSeconds", "MHz", "share"))

    def test_outlier_frames_are_marked_on_the_charts(self):
        """Twelve cube frames of 0.25 s but frame 5 of 2 s: marked on both frame charts, named in the run's list."""
        target = self.copy_run("cube", name="slow.txt")
        with open(os.path.join(RUNS, "cube.txt")) as f:
            head = f.read().split("window:")[0]
        frames = ""
        for i in range(12):
            t = 2.0 if i == 4 else 0.25 * (1 + 0.002 * i)
            frames += f"window: 1\nThe system spent: {t:g} Secs. \nIt was: {1 / t:g} Angles/sec.\n" \
                      f"It was: {16777216 / t:g} Vertex/sec.\n\n"
        with open(target, "w") as f:
            f.write(head + frames)
        page = os.path.join(self.dir, "outliers.html")
        self.report([target, "--skip-frames", "1"], page)
        dom = self.browse(page, "--dump-dom")
        drawn = {m.group(2): m.group(3) for m in FIGURE.finditer(dom)}
        for chart in ("frameSeconds", "verticesPerSecond"):
            self.assertIn('data-outliers="1"', drawn[chart], chart)
        self.assertIn("<li>stands out: vertices/s: 1 frame lies more than 10 spreads from the run's median: frame 5",
                      dom)
        self.assertIn("the first frame of every run is left out (--skip-frames 1)", dom)

    def test_comparison(self):
        if b"--html" not in subprocess.run([LUMENFOLD, "compare", "--help"], capture_output=True).stdout:
            self.skipTest("this build's compare writes no HTML page")
        page = os.path.join(self.dir, "comparison.html")
        a = [self.copy_run("triangles", name="a1.txt"), self.copy_run("cube", name="a2.txt")]
        b = [self.copy_run("triangles", name="b1.txt"), self.copy_run("cube", name="b2.txt")]
        result = subprocess.run([LUMENFOLD, "compare", *a, "--vs", *b, "--html", page], capture_output=True,
                                text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        dom = self.check_page(page, ["triangles", "cube"], os.path.join(self.dir, "comparison.png"), ["ratios"])
        self.assertIn("<h3>Side A</h3>", dom)
        self.assertIn("<h3>Side B</h3>", dom)
        # The same runs on both sides: no figure may differ.
        verdicts = re.findall(r'<td class="(faster|slower|same)">', dom)
        self.assertTrue(verdicts)
        self.assertEqual(set(verdicts), {"same"})

    def test_hostile_names_and_damaged_files(self):
        hostile = self.copy_run("triangles", name="<b>&\"'.txt", renderer="<script>alert(1)</script>")
        # Cut inside the second frame: one whole frame is left.
        cut = self.copy_run("cube", name="cut.txt", cut=400)
        page = os.path.join(self.dir, "hostile.html")
        self.assertEqual(self.report([hostile, cut, self.copy_run("streaming")], page).returncode, 1)
        dom = self.check_page(page, ["triangles", "cube", "streaming"], os.path.join(self.dir, "hostile.png"))
        self.assertIn("&lt;b&gt;&amp;\"'.txt", dom)
        self.assertIn("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td>", dom)
        self.assertNotIn("<b>", dom)
        self.assertRegex(dom, r"<li>[^<]*cut\.txt:\d+: ")


if __name__ == "__main__":
    unittest.main()
