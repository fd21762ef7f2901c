"""The timing library inside real programs on llvmpipe (Xvfb): triangles with
and without it; a small GL program whose swaps a second preload slows, and
the same program on a driver told to offer no timer queries.

    timing_test.py TIMING_LIBRARY SLOW_SWAP_LIBRARY
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest

from harness import BUILD, Run, Xvfb
from program_text import SAVED, TITLES

TIMING = sys.argv.pop(1)
SLOW_SWAP = sys.argv.pop(1)
PROBE = os.path.join(BUILD, "tests", "lumenfold", "timing", "timing_swap_probe")
NUMBER = re.compile(r"[0-9][0-9.e+-]*")


def read_timing(path):
    """The header's GPU line, and per swap: step, kind, present, cpu, gpu (ns or None)."""
    with open(path) as f:
        lines = f.read().split("\n")
    assert lines[0] == "lumenfold-timing 1", lines[:4]
    assert lines[-1] == "", "the file ends inside a line"
    gpu_line = next(l for l in lines if l.startswith("gpu available") or l.startswith("gpu unavailable"))
    swaps, gpu = [], {}
    for line in lines:
        words = line.split(" ")
        if words[0] == "frame":
            assert int(words[1]) == len(swaps) + 1, line
            swaps.append({"step": int(words[2]), "kind": words[3], "present": int(words[4]), "cpu": int(words[5])})
        elif words[0] == "gpu" and words[1].isdigit():
            gpu[int(words[1])] = int(words[2]) if words[2].isdigit() else words[2]
    for number, swap in enumerate(swaps, 1):
        swap["gpu"] = gpu.get(number)
    return gpu_line, swaps


def software_env(xvfb):
    env = dict(xvfb.env(), LIBGL_ALWAYS_SOFTWARE="1", GALLIUM_DRIVER="llvmpipe")
    for name in ("LD_PRELOAD", "LUMENFOLD_TIMING_FILE"):
        env.pop(name, None)
    return env


def masked(lines):
    """The lines with their figures (times and rates) and the results file's
    name blanked; the drawn counts stay."""
    return [l if l.startswith("It drew ") else SAVED if l.startswith(SAVED) else NUMBER.sub("#", l) for l in lines]


class Triangles(unittest.TestCase):
    def setUp(self):
        self.xvfb = Xvfb()
        self.addCleanup(self.xvfb.close)
        self.dir = tempfile.mkdtemp(prefix="lumenfold-timing-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def run_triangles(self, timing_file=None):
        """Step 1, the same step redrawn on an expose, steps 2 and 3 by key C."""
        env = software_env(self.xvfb)
        if timing_file:
            env.update(LD_PRELOAD=TIMING, LUMENFOLD_TIMING_FILE=timing_file)
        run = Run("triangles", self.xvfb, env=env)
        self.addCleanup(run.cleanup)
        run.find_window(TITLES["triangles"])
        run.wait_for_block("It drew ", 1, 4)
        run.xdotool("windowunmap", "--sync", run.window)
        run.xdotool("windowmap", "--sync", run.window)
        run.wait_for_block("It drew ", 2, 4)
        for frames in (3, 4):
            run.key("c")
            run.wait_for_block("It drew ", frames, 4)
        self.assertEqual(run.finish(), 0, run.stderr_text())
        return run

    def test_gpu_time_within_each_frame_and_the_program_unchanged(self):
        timing_file = os.path.join(self.dir, "timing.txt")
        timed = self.run_triangles(timing_file)
        gpu_line, swaps = read_timing(timing_file)
        self.assertTrue(gpu_line.startswith("gpu available GL_ARB_timer_query"), gpu_line)
        self.assertEqual([(s["step"], s["kind"]) for s in swaps],
                         [(1, "new"), (1, "redraw"), (2, "new"), (3, "new")])
        # The last swap's result would be read at a swap that never came.
        for swap in swaps[:-1]:
            self.assertIsInstance(swap["gpu"], int, swaps)
            self.assertGreater(swap["gpu"], 0, swaps)
            self.assertLessEqual(swap["gpu"], swap["present"], swaps)
            self.assertGreater(swap["cpu"], 0, swaps)

        plain = self.run_triangles()
        self.assertEqual(masked(timed.results_lines()), masked(plain.results_lines()))
        self.assertEqual(masked(timed.lines), masked(plain.lines))


class Probe(unittest.TestCase):
    FRAMES = 60

    def setUp(self):
        self.xvfb = Xvfb()
        self.addCleanup(self.xvfb.close)
        self.dir = tempfile.mkdtemp(prefix="lumenfold-timing-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def probe_file(self, preload, frames, **env_changes):
        path = os.path.join(self.dir, "probe-%d.txt" % len(os.listdir(self.dir)))
        env = dict(software_env(self.xvfb), LD_PRELOAD=preload, LUMENFOLD_TIMING_FILE=path, **env_changes)
        subprocess.run([PROBE, str(frames)], env=env, check=True, timeout=300)
        return read_timing(path)

    def probe(self, preload):
        gpu_line, swaps = self.probe_file(preload, self.FRAMES)
        self.assertTrue(gpu_line.startswith("gpu available"), gpu_line)
        self.assertEqual(len(swaps), self.FRAMES)
        self.assertEqual([s["step"] for s in swaps], list(range(1, self.FRAMES + 1)))
        # The first frames are the driver's warm-up; the last result is never read.
        settled = swaps[5:-1]
        for swap in settled:
            self.assertIsInstance(swap["gpu"], int, swap)
            self.assertLessEqual(swap["gpu"], swap["present"], swap)
        return (statistics.median(s["present"] for s in settled) / 1e6,
                statistics.median(s["gpu"] for s in settled) / 1e6)

    def test_a_slow_swap_shows_in_the_present_interval_only(self):
        # Timing first: the slow preload's wait is inside the swap it calls.
        present, gpu = self.probe(TIMING)
        slow_present, slow_gpu = self.probe(TIMING + ":" + SLOW_SWAP)
        figures = "present %.2f -> %.2f ms, GPU %.2f -> %.2f ms" % (present, slow_present, gpu, slow_gpu)
        self.assertGreater(slow_present - present, 17, figures)
        self.assertLess(slow_present - present, 30, figures)
        self.assertLess(abs(slow_gpu - gpu), 5, figures)
        self.assertLess(slow_gpu, 15, figures)

    def test_without_timer_queries_the_file_says_why(self):
        gpu_line, swaps = self.probe_file(TIMING, 5, MESA_GL_VERSION_OVERRIDE="2.1",
                                          MESA_EXTENSION_OVERRIDE="-GL_ARB_timer_query")
        self.assertRegex(gpu_line, r"^gpu unavailable the driver offers no GL_ARB_timer_query \(OpenGL 2\.1")
        self.assertEqual([s["step"] for s in swaps], [1, 2, 3, 4, 5])
        self.assertTrue(all(s["gpu"] is None and s["present"] > 0 for s in swaps), swaps)


if __name__ == "__main__":
    unittest.main(verbosity=2)
