"""The real triangles program on a virtual X server, driven by keys and buttons."""

import os
import re
import subprocess
import time
import unittest

from harness import ProgramTest, Run, pixel_rows, program_path
from lumenfold_cli import run_lumenfold
from program_text import ANIMATE_HELP, NUMBER, SAVED, TITLES, check_opening, g6

TITLE = TITLES["triangles"]
BANNER_TITLE = ("Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows "
                "on x86 64bit system 2019.12.06.")


def frames(lines):
    """Splits console or file lines into the five-line frame reports, checked for
    shape; a report still being written is left out."""
    found = []
    for i, line in enumerate(lines):
        if line.startswith("It drew ") and i + 5 <= len(lines):
            block = lines[i - 1:i + 5]
            assert block[0] == "window: 1", block
            drew = re.fullmatch(r"It drew " + NUMBER + r" Triangles\.", block[1])
            spent = re.fullmatch(r"It spent: " + NUMBER + r" Secs\. ", block[2])
            angles = re.fullmatch(r"It was: " + NUMBER + r" Angles/sec\.", block[3])
            rate = re.fullmatch(r"It was: " + NUMBER + r" Triangles/sec\.", block[4])
            assert drew and spent and angles and rate and block[5] == "", block
            found.append({"triangles": float(drew.group(1)), "seconds": float(spent.group(1)),
                          "angles": angles.group(1), "rate": rate.group(1), "lines": block})
    return found


def quiet_time(run):
    """Long enough that a running animation would have drawn two more frames."""
    longest = max(f["seconds"] for f in frames(run.lines))
    return max(4.0, 3 * longest)


class TrianglesRun(ProgramTest):

    def test_whole_run_driven_by_keys_and_buttons(self):
        run = self.start("triangles", TITLE)
        run.wait_for_block("It drew ", 1, 4)  # the frame GLUT draws when the window shows

        # Banner, help lines, set-up line.
        setup_line = check_opening(self, run.lines, BANNER_TITLE, ANIMATE_HELP, NUMBER)

        # First frame: step 1, before any key.
        first = frames(run.lines)
        self.assertEqual(len(first), 1)
        self.assertEqual(first[0]["lines"][1], "It drew 1200 Triangles.")
        seconds = first[0]["seconds"]
        if seconds > 0:
            self.assertEqual(first[0]["angles"], g6(1 / seconds))
            self.assertEqual(first[0]["rate"], g6(1200 / seconds))

        # Keys other than R, C, P and Esc do nothing, in the paused state.
        for key in ["1", "space", "Return", "x", "a", "shift+q", "Caps_Lock", "F1"]:
            run.key(key)
        run.click(2)          # middle button: nothing
        run.click(3)          # right button while paused: stays paused
        run.settle(quiet_time(run))
        self.assertEqual(len(frames(run.lines)), 1, "no key but R, C, P, Esc draws a frame")

        # Five C presses while paused: the step ends at 6, whatever redisplays merge.
        for _ in range(5):
            run.key("c")
        run.wait_for_line("It drew 4200 Triangles.")
        run.settle(quiet_time(run))
        counts = [f["triangles"] for f in frames(run.lines)]
        self.assertEqual(counts[-1], 4200)
        self.assertTrue(all(b > a for a, b in zip(counts, counts[1:])), counts)
        self.assertEqual(counts.count(4200), 1, "a paused run stays paused after C")

        # Shift and Caps Lock: upper case keys act like lower case.
        run.key("shift+c")
        run.wait_for_line("It drew 4800 Triangles.")

        # R runs: one step per frame, 600 triangles more each time.
        before = len(frames(run.lines))
        run.key("r")
        run.wait_for_prefix("It drew ", before + 4)
        run.key("p")
        # The frame being drawn and one already requested may still come; then
        # nothing for several frame times.
        run.wait_until_quiet("It drew ", quiet_time(run), timeout=120)
        stopped = len(frames(run.lines))
        counts = [f["triangles"] for f in frames(run.lines)]
        running = counts[before - 1:]
        self.assertGreaterEqual(len(running), 5)
        self.assertEqual({b - a for a, b in zip(running, running[1:])}, {600.0}, running)

        # Left button runs, right button pauses.
        run.click(1)
        run.wait_for_prefix("It drew ", stopped + 2)
        run.click(3)
        run.wait_until_quiet("It drew ", quiet_time(run), timeout=120)
        counts = [f["triangles"] for f in frames(run.lines)]
        self.assertEqual({b - a for a, b in zip(counts[stopped - 1:], counts[stopped:])}, {600.0})

        status = run.finish()
        self.assertEqual(status, 0)

        # Summary: totals of the frames as reported, then the path and the prompt.
        reported = frames(run.lines)
        total_ms = sum(round(f["seconds"] * 1000) for f in reported)
        summary_at = run.lines.index("Total running time:  " + g6(total_ms / 1000.0) + " Secs. ")
        self.assertEqual(run.lines[summary_at + 1],
                         "Average Angles/Sec: " + g6(len(reported) / (total_ms / 1000.0)) + " Angles/Sec.")
        files = run.results_files()
        self.assertEqual(len(files), 1)
        self.assertEqual(run.lines[summary_at + 2:],
                         ["", "", SAVED + files[0], "", "", "Press Enter to Exit."])

        # The results file holds the title, the set-up line and exactly the
        # console's report lines and summary.
        saved = run.results_lines()
        self.assertEqual(saved[:6], [BANNER_TITLE, "", "", setup_line, "", ""])
        console_reports = run.lines[19:summary_at + 3]
        self.assertEqual(saved[6:], console_reports)
        # Only the swap-interval notice of a driver without swap control, if any.
        errors = [l for l in run.stderr_text().splitlines() if not l.startswith("Warning: the driver")]
        self.assertEqual(errors, [])

    def test_overlay_lines_stand_at_their_heights(self):
        run = self.start("triangles", TITLE)
        run.wait_for_block("It drew ", 1, 4)
        rows = pixel_rows(run.screenshot(os.path.join(run.workdir, "first.png")))
        height = len(rows)
        self.assertEqual((len(rows[0]), height), (1080, 1080))
        text = (1, 1, 1)  # grey level 1/256 at step 1, drawn last

        def text_pixels(above_bottom):
            row = rows[height - 1 - above_bottom]
            return [x for x, pixel in enumerate(row) if pixel == text]

        for baseline in (72, 54, 36, 18):
            on = text_pixels(baseline)
            below = text_pixels(baseline - 1)
            self.assertGreater(len(on), 40, "text baseline at %d" % baseline)
            self.assertLess(len(below), len(on) / 3, "only descenders below %d" % baseline)
            self.assertTrue(10 <= on[0] <= 20, "line at %d starts at x=%d" % (baseline, on[0]))
        # Nothing of the text above the first line's capitals.
        for above in range(88, 100):
            self.assertEqual(text_pixels(above), [], above)
        self.assertEqual(run.finish(), 0)


class ResultsFiles(ProgramTest):

    def test_a_run_never_overwrites_another_runs_file(self):
        workdir = self._workdir()
        # Stand in for a run started in the same second: occupy every name the
        # program could form in the next minute.
        now = time.time()
        taken = set()
        for offset in range(-2, 60):
            name = time.strftime("results_triangles_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
                                 time.localtime(now + offset))
            taken.add(name)
            with open(os.path.join(workdir, name), "w") as handle:
                handle.write("another run\n")
        # Driven the way users run it unattended, with the console shown.
        result = run_lumenfold("run", "triangles", "--frames", "1", "--echo", "--dir", workdir, env=self.xvfb.env(),
                               timeout=600)
        self.assertEqual(result.returncode, 0, result.stderr)
        path_line = [l for l in result.stdout.splitlines() if l.startswith(SAVED)]
        self.assertEqual(len(path_line), 1, result.stdout)
        path = path_line[0][len(SAVED):]
        self.assertRegex(os.path.basename(path), r" time \d\d\.\d\d\.\d\d \(2\)\.txt$")
        self.assertEqual(os.path.dirname(path), workdir)
        with open(path) as handle:
            self.assertEqual(handle.readline().rstrip("\n"), BANNER_TITLE)
        # Its console log takes the same name.
        self.assertTrue(os.path.exists(path[:-4] + ".log"))
        for name in taken:
            with open(os.path.join(workdir, name)) as handle:
                self.assertEqual(handle.read(), "another run\n")

    @unittest.skipUnless(os.geteuid() == 0, "needs root to run the program as another user")
    def test_unwritable_directory_is_reported_not_claimed(self):
        workdir = self._workdir()
        os.chmod(workdir, 0o555)
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        run = Run("triangles", self.xvfb, workdir=workdir, wrapper=nobody,
                  env=self.xvfb.env_for_user(65534, 65534))
        self.runs.append(run)
        run.find_window(TITLE)
        run.wait_for_block("It drew ", 1, 4)
        self.assertEqual(run.finish(), 0)
        self.assertEqual(os.listdir(workdir), [])
        self.assertEqual(len(frames(run.lines)), 1, "console report lines stay as they are")
        closing = [l for l in run.lines if "results file could not be created" in l]
        self.assertEqual(len(closing), 1, run.lines[-6:])
        self.assertTrue(closing[0].endswith(workdir + "/results_triangles_lite_windows @ local date "
                                            + closing[0].split(" @ local date ")[1]))
        self.assertFalse(any(l.startswith(SAVED) for l in run.lines))
        errors = run.stderr_text().splitlines()
        complaint = [l for l in errors if l.startswith("Cannot create the results file")]
        self.assertEqual(len(complaint), 1, errors)
        self.assertIn("Permission denied", complaint[0])

    def _workdir(self):
        import tempfile
        path = tempfile.mkdtemp(prefix="lumenfold-results-")
        os.chmod(path, 0o755)
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", path]))
        return path


if __name__ == "__main__":
    unittest.main(verbosity=2)
