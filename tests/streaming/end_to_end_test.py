"""The real streaming program on a virtual X server.

A frame runs three kernels of 2^27 iterations, seconds of work, so each run
draws only the few frames that prove its point. The first run goes through
strace and apitrace at once: strace shows the order in which lines reach the
console and the results file, apitrace the GL calls of set-up and frame.
"""

import codecs
import os
import re
import shutil
import tempfile
import unittest

import gltrace
from harness import ProgramTest, Run, pixel_rows
from program_text import SAVED, TITLES, check_opening, g6

TITLE = TITLES["streaming"]
BANNER_TITLE = ("Quorvex :: Lumenfold Benchmark Graphics Streaming Lite for Windows "
                "on x86_64bit system 2019.12.06.")
HELP = ["Press Key R or Press Mouse Left button to Run Automatically.",
        "Press Key C to Run Manually.",
        "Press Key P or Press Mouse Right button to Pause.",
        "Press Key Esc to Exit."]
# None of streaming's figures can be a NaN.
NUMBER = r"(-?[0-9.e+-]+|inf)"
KERNELS = [("Float Streaming.", "The system spent: "),
           ("Integer Streaming.", "The system spent: "),
           ("Logic Streaming.", "The spent: ")]
# Sinks of the ten writes of one kernel block, then of the closing empty lines.
BLOCK_SINKS = "CFCFCCFFCF"
CLOSING_SINKS = "CFCF"
FRAME_LINES = 17


def check_frame(test, lines):
    """One frame's 17 lines of one sink; returns the three kernels' seconds."""
    test.assertEqual(len(lines), FRAME_LINES)
    seconds = []
    for k, (name, prefix) in enumerate(KERNELS):
        block = lines[5 * k:5 * k + 5]
        test.assertEqual(block[0], "window: 1")
        test.assertEqual(block[1], name)
        spent = re.fullmatch(re.escape(prefix) + NUMBER + r" Secs\. ", block[2])
        rate = re.fullmatch(r"It was: " + NUMBER + r" Millions Executions/sec\.", block[3])
        test.assertTrue(spent and rate, block)
        test.assertEqual(block[4], "")
        value = float(spent.group(1))
        expected = "inf" if value == 0 else g6(134217728.0 / value / 1000000.0)
        test.assertEqual(rate.group(1), expected, block)
        seconds.append(value)
    test.assertEqual(lines[15:], ["", ""])
    return seconds


def frame_starts(lines):
    return [i - 1 for i, line in enumerate(lines) if line == "Float Streaming."]


def sink_writes(strace_log):
    """(sink, line) for every line written to the console (C) or the results file (F)."""
    results_fd = None
    writes = []
    with open(strace_log, encoding="utf-8", errors="replace") as handle:
        for entry in handle:
            opened = re.search(r'openat\(.*"results_streaming[^"]*".*\)\s+=\s+(\d+)$', entry)
            if opened:
                results_fd = opened.group(1)
                continue
            match = re.search(r'write\((\d+), "((?:[^"\\]|\\.)*)", \d+\)\s+=\s+\d+', entry)
            if not match or match.group(1) not in ("1", results_fd):
                continue
            text = codecs.decode(match.group(2), "unicode_escape")
            sink = "C" if match.group(1) == "1" else "F"
            for line in text.split("\n")[:-1]:
                writes.append((sink, line))
    return writes


SETUP_CALLS = gltrace.SHADING_FOG_AND_LIGHT + gltrace.lines("""
glEnable(cap = GL_BLEND)
glEnable(cap = GL_COLOR_LOGIC_OP)
glEnable(cap = GL_ALPHA_TEST)
glEnable(cap = GL_AUTO_NORMAL)
glEnable(cap = GL_COLOR_MATERIAL)
glEnable(cap = GL_DITHER)
glEnable(cap = GL_SCISSOR_TEST)
glEnable(cap = GL_STENCIL_TEST)
glEnable(cap = GL_DEPTH_TEST)
""") + gltrace.DRAW_BUFFER_AND_BLEND
for _names, _name in ((1, 1), (2, 2), (3, 4)):
    SETUP_CALLS += gltrace.list_start(_names, _name) + gltrace.LIST_END

FRAME_CALLS = gltrace.CLEAR + gltrace.overlay(550, 150, "1", 100, HELP) + gltrace.SWAP
for _name in (1, 2, 4):
    FRAME_CALLS += gltrace.called_list(_name) + gltrace.SWAP


class StreamingRun(ProgramTest):

    def test_first_frame_c_frame_and_exit(self):
        scratch = tempfile.mkdtemp(prefix="lumenfold-streaming-test-")
        self.addCleanup(shutil.rmtree, scratch, True)
        strace_log = os.path.join(scratch, "writes.log")
        trace = os.path.join(scratch, "calls.trace")
        run = Run("streaming", self.xvfb,
                  wrapper=["strace", "-f", "-qq", "-e", "trace=write,openat", "-e", "signal=none",
                           "-s", "400", "-o", strace_log, "apitrace", "trace", "-o", trace])
        self.runs.append(run)
        run.find_window(TITLE)

        # The frame GLUT draws when the window shows, at step 1.
        run.wait_for_block("The spent: ", 1, 4)
        check_opening(self, run.lines, BANNER_TITLE, HELP, NUMBER)
        self.assertEqual(frame_starts(run.lines), [19])
        check_frame(self, run.lines[19:19 + FRAME_LINES])

        # Only the help text shows: white, below the start height, right of x = 10.
        rows = pixel_rows(run.screenshot(os.path.join(scratch, "window.png")))
        lit = [(y, x, p) for y, row in enumerate(rows) for x, p in enumerate(row) if p != (0, 0, 0)]
        self.assertTrue(lit, "the help text is drawn")
        self.assertIn((255, 255, 255), [p for _, _, p in lit])
        self.assertTrue(all(p[0] == p[1] == p[2] for _, _, p in lit), "no colour but grey")
        self.assertGreaterEqual(min(y for y, _, _ in lit), len(rows) - 100)
        self.assertGreaterEqual(min(x for _, x, _ in lit), 10)

        # C draws exactly one more frame and the run stays paused.
        run.key("c")
        run.wait_for_block("The spent: ", 2, 4)
        run.settle(3)
        self.assertEqual(frame_starts(run.lines), [19, 19 + FRAME_LINES])
        check_frame(self, run.lines[19 + FRAME_LINES:19 + 2 * FRAME_LINES])
        frames_end = 19 + 2 * FRAME_LINES
        self.assertEqual(len(run.lines), frames_end)

        # Esc: no summary, the path, one empty line, the prompt; Enter ends with 0.
        self.assertEqual(run.finish(), 0)
        files = run.results_files()
        self.assertEqual(len(files), 1)
        self.assertEqual(run.lines[frames_end:],
                         [SAVED + os.path.realpath(files[0]), "", "Press Enter to Exit."])

        # The results file: title, set-up, the same two frames, nothing more.
        results = run.results_lines()
        self.assertEqual(results[:3], [BANNER_TITLE, "", ""])
        self.assertEqual(results[3:], run.lines[16:frames_end])

        # Line by line, the two sinks take turns as the frame writes them.
        writes = sink_writes(strace_log)
        self.assertEqual([line for sink, line in writes if sink == "C"], run.lines)
        self.assertEqual([line for sink, line in writes if sink == "F"], results)
        setup_at = writes.index(("C", run.lines[16]))
        self.assertEqual("".join(sink for sink, _ in writes[setup_at:setup_at + 6]), "CCCFFF")
        frame_writes = writes[setup_at + 6:setup_at + 6 + 4 * FRAME_LINES]
        expected_sinks = (BLOCK_SINKS * 3 + CLOSING_SINKS) * 2
        self.assertEqual("".join(sink for sink, _ in frame_writes), expected_sinks)
        self.assertEqual(writes[setup_at + 6 + 4 * FRAME_LINES][0], "C", "path line follows")

        # GL calls: set-up, the first reshape, then two identical frames.
        calls = gltrace.program_calls(gltrace.numbered(gltrace.dump(trace)))
        start = calls.index(SETUP_CALLS[0])
        self.assertEqual(calls[start:start + len(SETUP_CALLS)], SETUP_CALLS)
        rest = calls[start + len(SETUP_CALLS):]
        reshape = gltrace.reshape(550, 150, modelview_first=True)
        self.assertEqual(rest[:len(reshape)], reshape)
        self.assertEqual(rest[len(reshape):], FRAME_CALLS * 2)

    def test_r_runs_and_p_stops_after_the_running_frame(self):
        run = self.start("streaming", TITLE)
        run.wait_for_block("The spent: ", 1, 4)
        frame_seconds = sum(check_frame(self, run.lines[19:19 + FRAME_LINES]))

        run.key("r")
        # Well inside the third frame: its float kernel has reported.
        run.wait_for_prefix("Float Streaming.", 3, timeout=300)
        run.key("p")
        # GLUT handles the key after the running frame. The idle call between
        # frames may already have asked for one more, which is then drawn.
        run.settle(2.5 * frame_seconds + 5)
        count = len(frame_starts(run.lines))
        self.assertIn(count, (3, 4))
        self.assertEqual(len(run.lines), 19 + count * FRAME_LINES, "every frame complete")
        for start in frame_starts(run.lines):
            check_frame(self, run.lines[start:start + FRAME_LINES])
        run.settle(frame_seconds + 3)
        self.assertEqual(len(frame_starts(run.lines)), count, "paused for good")

        self.assertEqual(run.finish(), 0)
        self.assertNotIn("Total running time:  ", "\n".join(run.lines))
        self.assertEqual(run.results_lines()[3:], run.lines[16:19 + count * FRAME_LINES])


if __name__ == "__main__":
    unittest.main(verbosity=2)
