"""`lumenfold validate` end to end: triangles on a private Xvfb, untouched and
under a preload that damages its drawing the way a faulty driver would.

Step 1 only: one triangles frame is what each run needs to prove its point.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from browser import CHROMIUM, browse
from harness import BUILD, Run, Xvfb
from program_text import TITLES

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")
CAPTURE = os.path.join(BUILD, "lumenfold", "capture", "liblumenfold_capture.so")
DAMAGE = sys.argv.pop(1)
STEP_LINE = re.compile(r"^step (\d+): (.*)$", re.M)


def validate(directory, *args, damage=None):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("LUMENFOLD_DAMAGE", None)
    if damage:
        env["LD_PRELOAD"] = DAMAGE
        env["LUMENFOLD_DAMAGE"] = damage
    proc = subprocess.run([LUMENFOLD, "validate", "triangles", "--steps", "1", "--dir", directory, *args],
                          env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
    return proc.returncode, dict(STEP_LINE.findall(proc.stdout)), proc.stdout + proc.stderr


def context(directory):
    files = glob.glob(os.path.join(directory, "*.json"))
    assert len(files) == 1, files
    with open(files[0]) as f:
        return json.load(f)


class Validate(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lumenfold-validate-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def test_untouched_passes_and_its_captures_catch_a_later_fault(self):
        page = os.path.join(self.dir, "page.html")
        status, steps, output = validate(os.path.join(self.dir, "v"), "--html", page)
        self.assertEqual(status, 0, output)
        self.assertEqual(steps.get("1"), "identical", output)
        for side in ("drawn", "reference"):
            data = context(os.path.join(self.dir, "v", side))
            self.assertIs(data.get("validation"), True)
            self.assertIn("liblumenfold_capture.so", data["environment"]["LD_PRELOAD"])
        reference = context(os.path.join(self.dir, "v", "reference"))["environment"]
        self.assertEqual((reference["LIBGL_ALWAYS_SOFTWARE"], reference["GALLIUM_DRIVER"]), ("1", "llvmpipe"))
        with open(page) as f:
            html = f.read()
        self.assertEqual(len(re.findall(r'<img alt="[^"]*step 1" src="data:image/png;base64,', html)), 3)
        if CHROMIUM:
            # Its policy lets in its style sheet and the images inside it, and nothing is refused.
            shown, messages = browse(page, os.path.join(self.dir, "profile"), "--dump-dom")
            self.assertIn("<h2>Step 1</h2>", shown.stdout, shown.stderr)
            self.assertEqual(messages, [])

        # The kept captures stand as the reference, with no software run: a
        # draw call that loses half its triangles is caught against them.
        kept = os.path.join(self.dir, "v", "drawn")
        status, steps, output = validate(os.path.join(self.dir, "later"), "--reference", kept, damage="half")
        self.assertEqual(status, 1, output)
        self.assertTrue(steps.get("1", "").startswith("differs: "), output)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "later", "reference")))

    def test_damage_is_caught_and_placed(self):
        # Work lost in the right quarter of the 1080-pixel window only: x 810 and on.
        status, steps, output = validate(os.path.join(self.dir, "v"), damage="tile")
        self.assertEqual(status, 1, output)
        box = re.search(r"^differs: \d+ of 1166400 pixels differ .* within x (\d+)\.\.(\d+), y (\d+)\.\.(\d+)",
                        steps.get("1", ""))
        self.assertIsNotNone(box, output)
        left, right, top, bottom = map(int, box.groups())
        self.assertGreaterEqual(left, 810)
        self.assertLessEqual(right, 1079)
        self.assertGreater(bottom - top, 500)  # the triangles cover the window's height
        # The user's preload went into the reference run too (where it stays harmless).
        reference = context(os.path.join(self.dir, "v", "reference"))["environment"]["LD_PRELOAD"]
        self.assertTrue(reference.startswith(DAMAGE + ":"), reference)


class CaptureByStep(unittest.TestCase):
    def test_a_redraw_does_not_shift_the_steps(self):
        xvfb = Xvfb()
        self.addCleanup(xvfb.close)
        frames = tempfile.mkdtemp(prefix="lumenfold-capture-")
        self.addCleanup(shutil.rmtree, frames, True)
        env = dict(xvfb.env(), LD_PRELOAD=CAPTURE, LUMENFOLD_CAPTURE_DIR=frames, LUMENFOLD_CAPTURE_STEPS="1,2")
        run = Run("triangles", xvfb, env=env)
        self.addCleanup(shutil.rmtree, run.workdir, True)
        run.wait_for_block("It drew ", 1, 4)
        run.find_window(TITLES["triangles"])
        # Unmapped and mapped again, the window is exposed: step 1 drawn a second time.
        run.xdotool("windowunmap", "--sync", run.window)
        run.xdotool("windowmap", "--sync", run.window)
        run.wait_for_block("It drew ", 2, 4)
        run.key("c")
        run.wait_for_block("It drew ", 3, 4)
        self.assertEqual(run.finish(), 0)
        drew = [l for l in run.lines if l.startswith("It drew ")]
        self.assertEqual(drew, ["It drew 1200 Triangles."] * 2 + ["It drew 1800 Triangles."])
        hashes = {}
        for step in (1, 2):
            with open(os.path.join(frames, "step-%d.hash" % step)) as f:
                hashes[step] = f.read().split()[0]
        # Counted by arrival, the redraw would stand as step 2, a copy of step 1.
        self.assertNotEqual(hashes[1], hashes[2])


if __name__ == "__main__":
    unittest.main()
