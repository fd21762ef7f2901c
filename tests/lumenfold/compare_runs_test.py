"""`lumenfold compare` end to end: two real streaming runs in one directory,
compared with themselves, must show no difference anywhere."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

from harness import BUILD

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")


def without_display():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    return env


class CompareRuns(unittest.TestCase):
    def setUp(self):
        self.workdir = tempfile.mkdtemp(prefix="lumenfold-compare-")
        self.addCleanup(shutil.rmtree, self.workdir, True)

    def lumenfold(self, *args, timeout=600):
        return subprocess.run([LUMENFOLD, *args], env=without_display(), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=timeout)

    def two_streaming_runs(self):
        runs = os.path.join(self.workdir, "runs")
        usage = self.lumenfold("run", "--help").stdout
        if "--repeat" in usage:
            attempts = [["run", "streaming", "--repeat", "2", "--frames", "2", "--dir", runs]]
        else:
            # Two separate runs into one directory: the same files --repeat leaves.
            attempts = [["run", "streaming", "--frames", "2", "--dir", runs]] * 2
        for args in attempts:
            done = self.lumenfold(*args)
            self.assertEqual(done.returncode, 0, done.stderr)
        files = sorted(f for f in os.listdir(runs) if f.startswith("results_streaming") and f.endswith(".txt"))
        self.assertEqual(len(files), 2, os.listdir(runs))
        return runs, [os.path.join(runs, f) for f in files]

    def test_runs_compared_with_themselves(self):
        runs, files = self.two_streaming_runs()

        done = self.lumenfold("compare", runs, "--vs", runs, "--format", "json")
        self.assertEqual(done.returncode, 0, done.stderr)
        doc = json.loads(done.stdout)
        figures = {f["figure"]: f for f in doc["figures"]}
        self.assertEqual(set(figures), {"setup_seconds", "float_mexec_per_second", "integer_mexec_per_second",
                                        "logic_mexec_per_second"})
        for name, figure in figures.items():
            self.assertEqual(figure["program"], "streaming")
            self.assertEqual((figure["runsA"], figure["runsB"]), (2, 2), name)
            self.assertEqual(figure["ratio"], 1.0, name)
            self.assertLessEqual(figure["ciLow"], 1.0, name)
            self.assertGreaterEqual(figure["ciHigh"], 1.0, name)
            self.assertEqual(figure["verdict"], "no clear difference", name)
        self.assertEqual(doc["a"]["files"], files)
        # Each run's context file lies beside it; whatever it warned of is shown.
        self.assertEqual(doc["a"]["withoutContext"], [])

        # The two-file form: one run a side, said to show frame-to-frame variation only.
        done = self.lumenfold("compare", files[0], files[1])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("== streaming: 1 run in A, 1 run in B", done.stdout)
        self.assertIn("frame-to-frame", done.stdout)
        self.assertIn("Machine conditions", done.stdout)

        # A directory without results files is named, and the command fails.
        empty = os.path.join(self.workdir, "empty")
        os.mkdir(empty)
        done = self.lumenfold("compare", empty, "--vs", runs)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn(empty + ": holds no results file", done.stderr)


if __name__ == "__main__":
    unittest.main()
