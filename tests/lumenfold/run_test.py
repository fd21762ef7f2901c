"""`lumenfold run` end to end: real programs on a virtual X server.

Each run starts its own Xvfb through lumenfold (DISPLAY unset) unless the
test gives it one; runs are kept short, since a cube frame takes seconds
under software rendering.
"""

import glob
import json
import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from harness import BUILD, Xvfb, program_path

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")
WINDOW = {"triangles": (1080, 1080), "cube": (1080, 1080), "streaming": (550, 150)}
FRAME_END = {"triangles": " Triangles/sec.", "cube": " Vertex/sec.", "streaming": "Logic Streaming."}


def env_without_display():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    return env


class Lumenfold:
    """A lumenfold process whose output is collected as it comes."""

    def __init__(self, args, env):
        self.proc = subprocess.Popen([LUMENFOLD, *args], env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.stdout = []
        self.stderr = []
        self.threads = [
            threading.Thread(target=self._pump, args=(self.proc.stdout, self.stdout, self.lines), daemon=True),
            threading.Thread(target=self._pump, args=(self.proc.stderr, self.stderr, None), daemon=True)]
        for thread in self.threads:
            thread.start()

    @staticmethod
    def _pump(stream, store, lines):
        for line in stream:
            store.append(line.rstrip("\n"))
            if lines is not None:
                lines.put(line.rstrip("\n"))

    def wait_for_count(self, suffix, count, timeout):
        seen = 0
        deadline = time.monotonic() + timeout
        while seen < count:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError("no %d lines ending %r within %d s; stderr:\n%s"
                                     % (count, suffix, timeout, "\n".join(self.stderr)))
            if line.endswith(suffix):
                seen += 1

    def wait(self, timeout):
        status = self.proc.wait(timeout)
        for thread in self.threads:
            thread.join(5)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return status

    def child(self, name):
        """The pid of lumenfold's child running the named program."""
        pid = self.proc.pid
        with open("/proc/%d/task/%d/children" % (pid, pid)) as handle:
            children = [int(p) for p in handle.read().split()]
        for child in children:
            with open("/proc/%d/comm" % child) as handle:
                if handle.read().strip() == name:
                    return child
        raise AssertionError("no %s among the children %r of lumenfold" % (name, children))


def report_json(path):
    out = subprocess.run([LUMENFOLD, "report", "--format", "json", path], capture_output=True, text=True)
    return out.returncode, json.loads(out.stdout)[0], out.stderr


class RunTest(unittest.TestCase):
    def setUp(self):
        if not os.path.exists(LUMENFOLD):
            self.skipTest("lumenfold is not built: no " + LUMENFOLD)
        self.workdir = tempfile.mkdtemp(prefix="lumenfold-run-")

    def tearDown(self):
        shutil.rmtree(self.workdir, ignore_errors=True)

    def results_file(self, program):
        files = glob.glob(os.path.join(self.workdir, "results_%s_lite_windows @ *.txt" % program))
        self.assertEqual(len(files), 1, files)
        return files[0]

    def short_run(self, program):
        if not os.path.exists(program_path(program)):
            self.skipTest("%s is not built: no %s" % (program, program_path(program)))
        run = Lumenfold(["run", program, "--frames", "2", "--dir", self.workdir], env_without_display())
        try:
            run.wait_for_count(FRAME_END[program], 1, 600)
            xvfb = run.child("Xvfb")
            status = run.wait(600)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertEqual(status, 0, "\n".join(run.stderr))
        # The program's own console went through, then the report of the run.
        self.assertIn("Press Enter to Exit.", run.stdout)
        self.assertTrue(any(line.startswith("== ") for line in run.stdout))

        results = self.results_file(program)
        code, report, errors = report_json(results)
        self.assertEqual(code, 0, errors)
        self.assertTrue(report["complete"])
        self.assertGreaterEqual(report["frames"], 2)

        with open(results[:-4] + ".json") as handle:
            context = json.load(handle)
        self.assertEqual(context["program"], program)
        self.assertEqual(context["resultsFile"], results)
        self.assertEqual((context["window"]["width"], context["window"]["height"]), WINDOW[program])
        self.assertTrue(context["gl"]["renderer"] and context["gl"]["renderer"] != "unknown", context["gl"])
        self.assertIn("inForce", context["swapInterval"])
        self.assertGreaterEqual(context["cpu"]["logicalProcessors"], 1)
        self.assertTrue(context["kernel"]["release"])
        version = subprocess.run([LUMENFOLD, "--version"], capture_output=True, text=True).stdout.strip()
        self.assertEqual(context["version"], version)
        self.assertTrue(context["outcome"]["ok"])
        self.assertGreaterEqual(context["outcome"]["framesReported"], 2)

        # The private X server is gone with lumenfold. (Its display number
        # may already serve someone else's new server, so the process is checked.)
        self.assertFalse(os.path.exists("/proc/%d" % xvfb), "lumenfold left its Xvfb running")

    def test_triangles_run(self):
        self.short_run("triangles")

    def test_cube_run(self):
        self.short_run("cube")

    def test_streaming_run(self):
        self.short_run("streaming")

    def test_killed_program_fails_and_keeps_its_results(self):
        if not os.path.exists(program_path("triangles")):
            self.skipTest("triangles is not built")
        # On a display of the caller's, as on a desktop.
        xvfb = Xvfb()
        self.addCleanup(xvfb.close)
        run = Lumenfold(["run", "triangles", "--frames", "100000", "--dir", self.workdir], xvfb.env())
        try:
            run.wait_for_count(FRAME_END["triangles"], 2, 300)
            os.kill(run.child("triangles"), signal.SIGKILL)
            status = run.wait(60)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertNotEqual(status, 0)
        errors = "\n".join(run.stderr)
        self.assertIn("triangles was killed by signal 9", errors)
        self.assertIn("the results file is kept", errors)

        results = self.results_file("triangles")
        code, report, _ = report_json(results)
        self.assertNotEqual(code, 0)
        self.assertFalse(report["complete"])
        self.assertGreaterEqual(report["frames"], 2)
        with open(results[:-4] + ".json") as handle:
            context = json.load(handle)
        self.assertFalse(context["outcome"]["ok"])
        self.assertIn("killed by signal 9", context["outcome"]["message"])

    def test_hung_program_is_stopped(self):
        if not os.path.exists(program_path("triangles")):
            self.skipTest("triangles is not built")
        run = Lumenfold(["run", "triangles", "--frames", "100000", "--hang-timeout", "3", "--dir", self.workdir],
                        env_without_display())
        try:
            run.wait_for_count(FRAME_END["triangles"], 1, 300)
            child = run.child("triangles")
            os.kill(child, signal.SIGSTOP)
            started = time.monotonic()
            status = run.wait(60)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertNotEqual(status, 0)
        self.assertGreaterEqual(time.monotonic() - started, 2)
        self.assertIn("seems hung", "\n".join(run.stderr))
        self.assertFalse(os.path.exists("/proc/%d" % child), "the stopped program was left behind")
        self.results_file("triangles")


if __name__ == "__main__":
    unittest.main(verbosity=2)
