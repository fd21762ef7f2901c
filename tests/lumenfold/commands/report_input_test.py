"""`lumenfold report` and `compare` on input that is not a good results file:
what reaches the terminal (stdout and stderr) is escaped, and files that
cannot be results files are refused at once without stopping the others."""

import json
import os
import re
import shutil
import tempfile
import unittest

from lumenfold_cli import run_lumenfold

# Anything a terminal could act on: C0 controls but newline, DEL, and bytes
# outside ASCII (the reports here are otherwise plain ASCII).
RAW = re.compile(rb"[\x00-\x09\x0b-\x1f\x7f-\xff]")
CUBE_RESULTS = (
    "Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system 2019.12.06.\n\n\n"
    "It spent: 12.5 Secs to Initialize.\n\n\n"
    "window: 1\nThe system spent: 0.25 Secs. \nIt was: 4 Angles/sec.\nIt was: 6.71089e+07 Vertex/sec.\n\n"
    "window: 1\nThe system spent: 0.5 Secs. \nIt was: 2 Angles/sec.\nIt was: 3.35544e+07 Vertex/sec.\n\n"
    "Total running time:  0.75 Secs. \nAverage Angles/Sec: 2.66667 Angles/Sec.\n"
    "Average Vertex/Sec: 4.47392e+07 Vertex/Sec.\n\n")
# Guards against a hang only: refusing a file takes milliseconds.
TIMEOUT = 20


def lumenfold(*args):
    return run_lumenfold(*args, timeout=TIMEOUT, text=False)


class ReportInput(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lumenfold-input-")
        self.good = self.write("good.txt", CUBE_RESULTS)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, data):
        path = os.path.join(os.fsencode(self.dir), name if isinstance(name, bytes) else name.encode())
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path

    def test_files_that_are_not_results_files_are_refused_and_the_others_reported(self):
        fifo = os.path.join(self.dir, "pipe.txt")
        os.mkfifo(fifo)
        big = os.path.join(self.dir, "big.txt")
        with open(big, "wb") as f:
            f.truncate(256 * 1024 * 1024 + 1)
        expected = {fifo: "not a regular file (a named pipe)", "/dev/zero": "not a regular file (a character device)",
                    big: "larger than 256 MiB"}
        for fmt in ("text", "json", "csv"):
            with self.subTest(format=fmt):
                result = lumenfold("report", "--format", fmt, fifo, "/dev/zero", self.good, big)
                self.assertEqual(result.returncode, 1)
                errors = result.stderr.decode().splitlines()
                for path, message in expected.items():
                    self.assertEqual(sum(line.startswith(f"lumenfold: {path}: {message}") for line in errors), 1,
                                     errors)
                self.assertIn(b"vertices", result.stdout)   # the good file is still reported
        result = lumenfold("compare", fifo, self.good)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(f"lumenfold: {fifo}: not a regular file", result.stderr.decode())

    def test_control_characters_and_invalid_utf8_reach_no_terminal(self):
        hostile = b"\x1b[31m\x00\r\xff"
        bad = self.write(b"run\x1b]0;title\x07\xfe.txt", hostile + b"\n")
        damaged = self.write(b"damaged\r.txt", CUBE_RESULTS.encode().replace(b"It was: 4 ", b"It " + hostile))
        runs = [("report", "--format", fmt, bad, damaged, self.good) for fmt in ("text", "json", "csv")]
        runs.append(("compare", damaged, self.good))
        for args in runs:
            with self.subTest(args=args[:3]):
                result = lumenfold(*args)
                self.assertNotEqual(result.returncode, 0)
                for stream in (result.stdout, result.stderr):
                    self.assertIsNone(RAW.search(stream), stream)
                self.assertIn(rb"\x1b[31m\x00\x0d\xff", result.stderr)
                self.assertIn(rb"damaged\x0d.txt", result.stdout + result.stderr)
            shown = r"run\x1b]0;title\x07\xfe.txt"
            if "json" in args:
                self.assertTrue(json.loads(result.stdout)[0]["file"].endswith(shown))
            elif "text" in args:
                self.assertIn(shown.encode(), result.stdout)


if __name__ == "__main__":
    unittest.main()
