"""The results file against what goes wrong around a run: a full disk, a
signal or a killed window mid-frame, a very long working directory, a
console whose input is closed, and a long run.

Each case runs the real program on a virtual X server. streaming stands in
where any program would do: it starts at once and its frames take seconds,
so a signal sent after a line is sure to land inside a frame.
"""

import os
import re
import signal
import subprocess
import tempfile
import time
import unittest

from harness import ProgramTest, Run, small_tmpfs
from program_text import TITLES, check_opening

# Handled here, so the programs started from here get the default action even
# when this test was started with SIGINT ignored (as background jobs are).
signal.signal(signal.SIGINT, signal.default_int_handler)

NOT_ALL_SAVED = "Results have not all been saved: writing the results file failed at: "
SAVED = "Results have been saved in a file and you can find it at: "
STREAMING_TITLE = ("Quorvex :: Lumenfold Benchmark Graphics Streaming Lite for Windows "
                   "on x86_64bit system 2019.12.06.")
STREAMING_HELP = ["Press Key R or Press Mouse Left button to Run Automatically.",
                  "Press Key C to Run Manually.",
                  "Press Key P or Press Mouse Right button to Pause.",
                  "Press Key Esc to Exit."]
# Console lines before the set-up line that the results file does not repeat.
SETUP_LINE = 16


def results_text(run):
    files = run.results_files()
    if len(files) != 1:
        raise AssertionError("expected one results file, found %r" % files)
    with open(files[0], encoding="utf-8") as handle:
        return os.path.basename(files[0]), handle.read()


def wait_for_exit(run, timeout=120):
    status = run.proc.wait(timeout)
    while run._drain(1) is True:
        pass
    return status


class AbruptEnds(ProgramTest):
    """Whatever ends a run, the file holds whole lines that the console showed."""

    def check_prefix_of_console(self, run, complete):
        name, text = results_text(run)
        self.assertTrue(text.endswith("\n"), "the file ends on a whole line: %r" % text[-80:])
        lines = text.split("\n")[:-1]
        console = run.lines
        self.assertEqual(lines[:3], [console[1], "", ""])
        body = lines[3:]
        self.assertGreater(len(body), 3, "the file holds report lines past the set-up")
        shown = console[SETUP_LINE:]
        self.assertEqual(body, shown[:len(body)], "the file is a prefix of the console")
        if complete:
            self.assertEqual(body, shown, "every line the console showed is in the file")

    def test_sigterm_and_sigint_mid_frame(self):
        for signum in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=signal.Signals(signum).name):
                run = self.start("streaming", TITLES["streaming"])
                run.key("r")
                # The float kernel's block is out: the integer kernel is running.
                run.wait_for_line("Float Streaming.")
                run.proc.send_signal(signum)
                self.assertEqual(wait_for_exit(run), -signum)
                self.check_prefix_of_console(run, complete=False)

    def test_window_killed_mid_run_keeps_every_reported_line(self):
        run = self.start("streaming", TITLES["streaming"])
        run.key("r")
        run.wait_for_line("Integer Streaming.")
        run.xdotool("windowkill", run.window)
        wait_for_exit(run)
        self.check_prefix_of_console(run, complete=True)


class FullDisk(ProgramTest):

    def test_full_filesystem_is_said_once_and_the_console_goes_on(self):
        # A tmpfs holds whole pages, so a file that had room for its first
        # line would take thousands of bytes (minutes of frames) to fill: the
        # disk is full from the start instead, and the very first line fails.
        # The unit tests cut a file off in the middle of a line.
        with small_tmpfs(4096) as workdir:
            with open(os.path.join(workdir, "filler"), "wb") as filler:
                filler.write(b"x" * 4096)
            run = Run("streaming", self.xvfb, workdir=workdir)
            self.runs.append(run)
            run.find_window(TITLES["streaming"])
            # The frame drawn when the window shows, then Esc.
            run.wait_for_block("Logic Streaming.", 1, 5, timeout=600)
            self.assertEqual(run.finish(), 0)
            name = next(n for n in os.listdir(workdir) if n.startswith("results_"))
            with open(os.path.join(workdir, name), "rb") as handle:
                self.assertEqual(handle.read(), b"", "whole lines only: none")

        errors = run.stderr_text().splitlines()
        failed = [l for l in errors if l.startswith("Writing the results file")]
        self.assertEqual(failed, ['Writing the results file "%s" failed: No space left on device; '
                                  "later results are not saved." % name], errors)

        # The console went on unchanged: banner, set-up, one whole frame, the
        # closing line naming the file, the prompt.
        check_opening(self, run.lines, STREAMING_TITLE, STREAMING_HELP, r"\S+")
        frame = run.lines[SETUP_LINE + 3:SETUP_LINE + 3 + 17]
        self.assertEqual([frame[5 * k + 1] for k in range(3)],
                         ["Float Streaming.", "Integer Streaming.", "Logic Streaming."])
        self.assertEqual(frame[15:], ["", ""])
        self.assertEqual(run.lines[SETUP_LINE + 3 + 17:],
                         [NOT_ALL_SAVED + os.path.join(workdir, name), "", "Press Enter to Exit."])
        self.assertFalse(any(l.startswith(SAVED) for l in run.lines))


class Surroundings(ProgramTest):

    def test_long_working_directory_and_closed_input(self):
        # 4,000 characters of path, in components a filesystem accepts.
        root = tempfile.mkdtemp(prefix="lumenfold-deep-")
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", root]))
        deep = root
        while len(deep) < 4000:
            deep = os.path.join(deep, "d" * min(200, 4000 - len(deep) - 1))
        os.makedirs(deep)
        self.assertEqual(len(deep), 4000)

        run = self.start("streaming", TITLES["streaming"], workdir=deep)
        run.key("Escape")
        run.wait_for_line("Press Enter to Exit.")
        name, text = results_text(run)
        self.assertEqual(run.lines[-3], SAVED + deep + "/" + name)
        self.assertTrue(text.startswith(run.lines[1] + "\n\n\nIt spent: "))
        # No answer ever comes: the input just ends.
        started = time.monotonic()
        run.proc.stdin.close()
        self.assertEqual(wait_for_exit(run, timeout=30), 0)
        self.assertLess(time.monotonic() - started, 30)

    def test_memory_stays_flat_over_twenty_frames(self):
        run = self.start("streaming", TITLES["streaming"])
        run.key("r")
        resident = {}
        for frame in range(1, 21):
            run.wait_for_line("Logic Streaming.", count=frame, timeout=600)
            if frame in (3, 20):
                with open("/proc/%d/status" % run.proc.pid) as status:
                    resident[frame] = int(re.search(r"VmRSS:\s+(\d+) kB", status.read()).group(1))
        run.key("p")
        self.assertEqual(run.finish(), 0)
        # A page or two of noise, not a frame's worth of growth.
        self.assertLessEqual(resident[20] - resident[3], 64, resident)


if __name__ == "__main__":
    unittest.main(verbosity=2)
