"""`run streaming --repeat 2 --history` on a private Xvfb, then `history
list` and `history check` on the store it filled (SQLite, by default path)."""

import glob
import json
import os
import shutil
import subprocess
import tempfile
import unittest

from browser import CHROMIUM, browse
from harness import BUILD, program_path

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")


class HistoryEndToEnd(unittest.TestCase):
    def test_runs_are_added_as_they_finish_then_listed_and_checked(self):
        if not os.path.exists(program_path("streaming")):
            self.fail("streaming is not built")
        work = tempfile.mkdtemp(prefix="lumenfold-history-e2e-")
        self.addCleanup(shutil.rmtree, work)
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(work, "data"))
        for name in ("DISPLAY", "LUMENFOLD_HISTORY"):
            env.pop(name, None)

        def lumenfold(*args, timeout=120):
            return subprocess.run([LUMENFOLD, *args], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, timeout=timeout)

        # A label that is no NAME=VALUE is a usage error, before anything runs.
        wrong = lumenfold("run", "streaming", "--frames", "1", "--label", "nightly", "--dir", os.path.join(work, "no"))
        self.assertEqual(wrong.returncode, 2, wrong.stderr)
        self.assertIn("--label", wrong.stderr)
        self.assertFalse(os.path.exists(os.path.join(work, "no")))

        run = lumenfold("run", "streaming", "--frames", "1", "--repeat", "2", "--history", "--dir",
                        os.path.join(work, "runs"), "--label", "build=nightly-0501", "--label", "branch=",
                        timeout=900)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr.count("lumenfold: added to the history: "), 2, run.stderr)
        contexts = glob.glob(os.path.join(work, "runs", "results_*.json"))
        self.assertEqual(len(contexts), 2, contexts)
        for path in contexts:
            with open(path) as handle:
                self.assertEqual(json.load(handle)["labels"], {"build": "nightly-0501", "branch": ""}, path)
        listed = json.loads(lumenfold("history", "list", "--format", "json").stdout)
        self.assertEqual([(r["program"], r["excluded"]) for r in listed], [("streaming", False)] * 2)
        for r in listed:
            self.assertTrue(os.path.exists(r["file"]), r["file"])
            self.assertGreaterEqual(r["frames"], 1)
        checked = lumenfold("history", "check", "--format", "json")
        # Two runs are too few to split: no change point, and status 0.
        self.assertEqual((checked.returncode, json.loads(checked.stdout)), (0, []), checked.stderr)
        text = lumenfold("history", "check")
        self.assertIn("0 change points in 8 series", text.stdout)   # set-up, frame time, each kernel's time and rate

        # The trend page draws in a real browser, offline, without a message.
        page = os.path.join(work, "history.html")
        self.assertEqual(lumenfold("history", "show", "--html", page).returncode, 0)
        self.assertIsNotNone(CHROMIUM, "chromium is not installed (Debian package chromium)")
        shown, messages = browse(page, os.path.join(work, "profile"), "--dump-dom")
        self.assertIn('data-ready="yes"', shown.stdout, shown.stderr)
        self.assertEqual(shown.stdout.count("<canvas"), 8)
        self.assertEqual(messages, [])


if __name__ == "__main__":
    unittest.main()
