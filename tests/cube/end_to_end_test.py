"""The real cube program on a virtual X server: its output, its keys and its first frames.

A frame takes seconds under software rendering, so one run covers everything
with as few frames as the keys allow.
"""

import os
import re
import time
import unittest

from harness import ProgramTest, pixel_rows
from program_text import ANIMATE_HELP, NUMBER, SAVED, TITLES, check_opening, g6

TITLE = TITLES["cube"]
BANNER_TITLE = ("Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows "
                "on x86 64bit system 2019.12.06.")
FILE_NAME = re.compile(r"^results_cube_lite_windows @ local date \d{4}\.\d\d\.\d\d "
                       r"time \d\d\.\d\d\.\d\d\.txt$")
FRAME_TIMEOUT = 600


def frames(lines):
    """The complete four-line frame reports with their empty line, checked byte for byte
    against the time each one states."""
    found = []
    for i, line in enumerate(lines):
        if line.startswith("The system spent: ") and i + 4 <= len(lines):
            block = lines[i - 1:i + 4]
            spent = re.fullmatch(r"The system spent: " + NUMBER + r" Secs\. ", block[1])
            assert spent, block
            seconds = float(spent.group(1))
            assert block == ["window: 1", "The system spent: %s Secs. " % g6(seconds),
                             "It was: %s Angles/sec." % g6(1 / seconds),
                             "It was: %s Vertex/sec." % g6(16777216 / seconds), ""], block
            found.append(seconds)
    return found


def text_rows(rows, grey):
    """Rows (counted up from the bottom edge) of the overlay's corner that hold
    text pixels, with the text's columns; any other non-black colour there
    fails. The lattice of the first steps stays clear of the corner's 100 rows."""
    height = len(rows)
    lit = {}
    for above in range(0, 100):
        row = rows[height - 1 - above][:540]
        xs = [x for x, pixel in enumerate(row) if pixel != (0, 0, 0)]
        assert all(row[x] == grey for x in xs), (above, {row[x] for x in xs})
        if xs:
            lit[above] = xs
    return lit


def cpu_seconds(pid):
    """User and system time of the whole process, its driver threads included."""
    with open("/proc/%d/stat" % pid) as handle:
        fields = handle.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_until_idle(run, timeout=FRAME_TIMEOUT):
    """Collects output until the program has used next to no processor time for
    two seconds in a row: no frame is being drawn and none is coming, since a
    running animation draws without pause."""
    deadline = time.monotonic() + timeout
    quiet = 0
    while quiet < 2:
        if time.monotonic() > deadline:
            raise AssertionError("still busy; console:\n" + "\n".join(run.lines[-10:]))
        before = cpu_seconds(run.proc.pid)
        run.settle(1.0)
        quiet = quiet + 1 if cpu_seconds(run.proc.pid) - before < 0.05 else 0


class CubeRun(ProgramTest):

    def test_output_keys_overlay_and_summary(self):
        run = self.start("cube", TITLE)
        run.wait_for_block("window: ", 1, 4, timeout=FRAME_TIMEOUT)

        # Banner, help lines, set-up line, exactly.
        setup_line = check_opening(self, run.lines, BANNER_TITLE, ANIMATE_HELP, NUMBER)
        self.assertEqual(len(frames(run.lines)), 1)
        self.assertEqual(run.lines[19:], frames_text(run.lines)[:5])

        # Frame 1, step 1: the lattice fills the middle; the overlay text has
        # grey 1/256, its lines standing on 72, 54, 36 and 18 pixels.
        rows = pixel_rows(run.screenshot(os.path.join(run.workdir, "first.png")))
        self.assertEqual((len(rows[0]), len(rows)), (1080, 1080))
        middle = [p for row in rows[440:640] for p in row[440:640]]
        self.assertGreater(sum(p != (0, 0, 0) for p in middle), 0.9 * len(middle))
        lit = text_rows(rows, (1, 1, 1))
        self.assertEqual(max(lit), 85, "nothing above the first line's capitals")
        # The "P" that starts each line stands on its baseline, from x = 16
        # (10, plus the advance of the newline's glyph).
        stem = sorted(above for above, xs in lit.items() if 10 <= xs[0] <= 20)
        bottoms = [a for a in stem if a - 1 not in stem]
        self.assertEqual(bottoms, [18, 36, 54, 72])

        # C: one more frame, one step on (grey 2/256).
        run.key("c")
        run.wait_for_block("window: ", 2, 4, timeout=FRAME_TIMEOUT)
        rows = pixel_rows(run.screenshot(os.path.join(run.workdir, "second.png")))
        self.assertEqual(sorted(text_rows(rows, (2, 2, 2))), sorted(lit))
        wait_until_idle(run)
        self.assertEqual(len(frames(run.lines)), 2, "a paused run stays paused after C")

        # R runs frame after frame; P, pressed once R has drawn a frame and
        # while the next one is being drawn, stops it.
        run.key("r")
        run.wait_for_block("window: ", 3, 4, timeout=FRAME_TIMEOUT)
        run.key("p")
        # Idle may run once more before P is read; then the program waits.
        wait_until_idle(run)
        count = len(frames(run.lines))
        self.assertIn(count, (3, 4, 5))
        run.settle(2)
        self.assertEqual(len(frames(run.lines)), count, "P stops the animation")

        self.assertEqual(run.finish(), 0)

        # The summary, from the frame times as reported.
        reported = frames(run.lines)
        self.assertEqual(len(reported), count)
        total = sum(round(s * 1000) for s in reported) / 1000.0
        angles = len(reported) / total
        summary = ["Total running time:  " + g6(total) + " Secs. ",
                   "Average Angles/Sec: " + g6(angles) + " Angles/Sec.",
                   "Average Vertex/Sec: " + g6(16777216 * angles) + " Vertex/Sec.", ""]
        self.assertEqual(g6(16777216 * angles), g6(len(reported) * 16777216.0 / total))
        at = len(run.lines) - 7
        self.assertEqual(run.lines[at:at + 4], summary)
        files = run.results_files()
        self.assertEqual(len(files), 1)
        self.assertEqual(os.path.dirname(files[0]), run.workdir)
        self.assertRegex(os.path.basename(files[0]), FILE_NAME)
        self.assertEqual(run.lines[at + 4:], [SAVED + files[0], "", "Press Enter to Exit."])
        self.assertEqual(run.lines[19:at], frames_text(run.lines))

        # The results file: title, set-up line, every frame report, the summary.
        saved = run.results_lines()
        self.assertEqual(saved, [BANNER_TITLE, "", "", setup_line, "", ""]
                         + frames_text(run.lines) + summary)
        # The shell's warning where the driver cannot turn off waiting for the refresh.
        errors = [l for l in run.stderr_text().splitlines() if not l.startswith("Warning: the driver")]
        self.assertEqual(errors, [])


def frames_text(lines):
    """The frame reports' lines, in order, as the console shows them."""
    out = []
    for i, line in enumerate(lines):
        if line.startswith("The system spent: ") and i + 4 <= len(lines):
            out += lines[i - 1:i + 4]
    return out


if __name__ == "__main__":
    unittest.main(verbosity=2)
