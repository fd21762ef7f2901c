"""`lumenfold run` end to end: real programs on a virtual X server.

Each run starts its own Xvfb through lumenfold (DISPLAY unset) unless the
test gives it one; runs are kept short, since a cube frame takes seconds
under software rendering.
"""

import errno
import glob
import json
import os
import queue
import re
import stat
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
        # With --echo the program's console comes on stdout; without, a
        # progress line per frame on stderr (which is no terminal here).
        self.threads = [
            threading.Thread(target=self._pump, args=(self.proc.stdout, self.stdout, self.lines), daemon=True),
            threading.Thread(target=self._pump, args=(self.proc.stderr, self.stderr, self.lines), daemon=True)]
        for thread in self.threads:
            thread.start()

    @staticmethod
    def _pump(stream, store, lines):
        for line in stream:
            store.append(line.rstrip("\n"))
            if lines is not None:
                lines.put(line.rstrip("\n"))

    def wait_for_frame(self, count, timeout):
        """Waits for the progress line of the given frame."""
        self.wait_for_count(": frame %d of " % count, 1, timeout, anywhere=True)

    def wait_for_count(self, suffix, count, timeout, anywhere=False):
        seen = 0
        deadline = time.monotonic() + timeout
        while seen < count:
            try:
                line = self.lines.get(timeout=1)
            except queue.Empty:
                if time.monotonic() < deadline and self.proc.poll() is None:
                    continue
                raise AssertionError("no %d lines ending %r within %d s (lumenfold %s); stderr:\n%s"
                                     % (count, suffix, timeout, "still running" if self.proc.poll() is None
                                        else "ended", "\n".join(self.stderr)))
            if (suffix in line) if anywhere else line.endswith(suffix):
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


def ended(pid, timeout):
    """Waits until the process is gone, or a zombie nobody has reaped yet."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open("/proc/%d/stat" % pid) as handle:
                if handle.read().rsplit(")", 1)[1].split()[0] == "Z":
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.1)
    return False


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

    def short_run(self, program, timed=False):
        if not os.path.exists(program_path(program)):
            self.skipTest("%s is not built: no %s" % (program, program_path(program)))
        # Variables that steer the GL stack reach the context file; these two
        # change nothing that llvmpipe under Xvfb measures.
        env = dict(env_without_display(), mesa_glthread="true", vblank_mode="0")
        run = Lumenfold(["run", program, "--frames", "2", "--dir", self.workdir] + (["--timing"] if timed else []), env)
        try:
            run.wait_for_frame(1, 600)
            xvfb = run.child("Xvfb")
            status = run.wait(600)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertEqual(status, 0, "\n".join(run.stderr))
        # A progress line per frame instead of the program's console, which
        # is in the log beside the results file; then the report of the run.
        progress = [line for line in run.stderr if line.startswith("lumenfold: %s, run 1 of 1: frame " % program)]
        self.assertGreaterEqual(len(progress), 2, run.stderr)
        self.assertRegex(progress[-1], r"frame \d+ of 2, \d+:\d\d elapsed, about \d+:\d\d left, [0-9.e+]+ ")
        self.assertNotIn("Press Enter to Exit.", run.stdout + run.stderr)
        self.assertTrue(any(line.startswith("== ") for line in run.stdout))

        results = self.results_file(program)
        with open(results[:-4] + ".log") as handle:
            console = handle.read().splitlines()
        self.assertIn("Press Enter to Exit.", console)
        self.assertGreaterEqual(sum(line.endswith(FRAME_END[program]) for line in console), 2)
        self.assertEqual(glob.glob(os.path.join(self.workdir, "lumenfold-console-*")), [])
        # The machine's state, sampled while it ran, beside the results: every
        # sensor the context names is a column, and the program's own CPU was seen.
        self.assertEqual(glob.glob(os.path.join(self.workdir, "lumenfold-samples-*")), [])
        with open(results[:-4] + ".samples.csv") as handle:
            header, *samples = handle.read().splitlines()
        self.assertGreaterEqual(len(samples), 2)
        code, report, errors = report_json(results)
        self.assertEqual(code, 0, errors)
        self.assertTrue(report["complete"])
        self.assertGreaterEqual(report["frames"], 2)

        with open(results[:-4] + ".json") as handle:
            context = json.load(handle)
        self.assertEqual(context["program"], program)
        self.assertEqual({k: context["environment"].get(k) for k in ("mesa_glthread", "vblank_mode")},
                         {"mesa_glthread": "true", "vblank_mode": "0"})
        self.assertEqual(context["resultsFile"], results)
        self.assertEqual((context["window"]["width"], context["window"]["height"]), WINDOW[program])
        self.assertTrue(context["gl"]["renderer"] and context["gl"]["renderer"] != "unknown", context["gl"])
        self.assertIn("inForce", context["swapInterval"])
        state = context["machineState"]
        self.assertEqual(state["samplesFile"], results[:-4] + ".samples.csv")
        self.assertEqual(header.split(","), ["time[s]"] + [f'{s["key"]}[{s["unit"]}]' for s in state["sensors"]])
        cpu = header.split(",").index("program.cpu[cores]")
        self.assertTrue(any(line.split(",")[cpu] not in ("", "0") for line in samples), samples)
        self.assertGreaterEqual(context["cpu"]["logicalProcessors"], 1)
        self.assertTrue(context["kernel"]["release"])
        version = subprocess.run([LUMENFOLD, "--version"], capture_output=True, text=True).stdout.strip()
        self.assertEqual(context["version"], version)
        self.assertTrue(context["outcome"]["ok"])
        self.assertGreaterEqual(context["outcome"]["framesReported"], 2)

        self.check_timing(results, report, context, timed)

        # The private X server is gone with lumenfold. (Its display number
        # may already serve someone else's new server, so the process is checked.)
        self.assertFalse(os.path.exists("/proc/%d" % xvfb), "lumenfold left its Xvfb running")

    def check_timing(self, results, report, context, timed):
        """Timed, every frame has its swap-to-swap, CPU and GPU time (llvmpipe
        answers timer queries), from a file beside the results; untimed, nothing."""
        self.assertEqual(glob.glob(os.path.join(self.workdir, "lumenfold-timing-*")), [])
        self.assertEqual(os.path.exists(results[:-4] + ".timing"), timed)
        self.assertEqual("timing" in context, timed)
        self.assertEqual("timing" in report, timed)
        if not timed:
            self.assertNotIn("gpuSeconds", report["statistics"])
            return
        self.assertEqual(context["timing"]["file"], results[:-4] + ".timing")
        self.assertTrue(report["timing"]["gpu"]["available"], report["timing"]["gpu"])
        self.assertEqual(report["timing"]["unmatchedFrames"], 0)
        for key in ("presentSeconds", "cpuSeconds", "gpuSeconds"):
            self.assertEqual(report["statistics"][key]["count"], report["frames"], key)
            self.assertGreaterEqual(report["statistics"][key]["min"], 0, key)
        # A frame's GPU work lies within the frame (plus the queries' few-frame lag).
        self.assertLessEqual(report["statistics"]["gpuSeconds"]["median"], report["statistics"]["presentSeconds"]["max"])

    def test_triangles_run(self):
        self.short_run("triangles", timed=True)

    def test_cube_run(self):
        self.short_run("cube")

    def test_streaming_run(self):
        self.short_run("streaming", timed=True)

    def test_killed_program_fails_and_keeps_its_results(self):
        if not os.path.exists(program_path("triangles")):
            self.skipTest("triangles is not built")
        # On a display of the caller's, as on a desktop.
        xvfb = Xvfb()
        self.addCleanup(xvfb.close)
        run = Lumenfold(["run", "triangles", "--frames", "100000", "--echo", "--dir", self.workdir], xvfb.env())
        try:
            # --echo: the console itself, live.
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
        self.assertNotIn(": frame 1 of ", errors)

        results = self.results_file("triangles")
        self.assertIn("the console of the program is in " + results[:-4] + ".log", errors)
        # The log holds the console as shown, the program's stderr lines among it.
        program_errors = {line for line in run.stderr if line and not line.startswith("lumenfold: ")}
        with open(results[:-4] + ".log") as handle:
            self.assertEqual([line for line in handle.read().splitlines() if line not in program_errors],
                             run.stdout)
        code, report, _ = report_json(results)
        self.assertNotEqual(code, 0)
        self.assertFalse(report["complete"])
        # A frame reaches the console a moment before the file, so the kill
        # may fall between the two for the last one.
        self.assertGreaterEqual(report["frames"], 1)
        with open(results[:-4] + ".json") as handle:
            context = json.load(handle)
        self.assertFalse(context["outcome"]["ok"])
        self.assertIn("killed by signal 9", context["outcome"]["message"])
        # The caller's server is found virtual by its process, not by who started it.
        self.assertIn("virtual X server (Xvfb on %s): nothing reaches a real screen" % xvfb.display,
                      context["warnings"])

    def test_private_server_admits_only_its_clients(self):
        if not os.path.exists(program_path("triangles")):
            self.skipTest("triangles is not built")
        run = Lumenfold(["run", "triangles", "--frames", "100000", "--dir", self.workdir], env_without_display())
        try:
            # A frame shown: the program got in with the cookie.
            run.wait_for_frame(1, 300)
            with open("/proc/%d/cmdline" % run.child("Xvfb")) as handle:
                args = handle.read().split("\0")
            self.assertIn("-nolisten", args)
            self.assertEqual(args[args.index("-nolisten") + 1], "tcp")
            authfile = args[args.index("-auth") + 1]
            self.assertEqual(stat.S_IMODE(os.stat(authfile).st_mode), 0o600)
            self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(authfile)).st_mode), 0o700)
            display = re.search(r"private virtual X server \((:\d+)\)", "\n".join(run.stderr)).group(1)

            empty = os.path.join(self.workdir, "no-cookie")
            open(empty, "w").close()
            for authority in (empty, authfile):
                env = dict(os.environ, DISPLAY=display, XAUTHORITY=authority)
                probe = subprocess.run(["xdotool", "getmouselocation"], env=env, capture_output=True, text=True)
                if authority == empty:
                    self.assertNotEqual(probe.returncode, 0, "a client without the cookie was let in")
                else:
                    self.assertEqual(probe.returncode, 0, probe.stderr)
            run.proc.send_signal(signal.SIGINT)
            status = run.wait(120)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertEqual(status, 1)
        self.assertIn("interrupted", "\n".join(run.stderr))
        self.assertFalse(os.path.exists(os.path.dirname(authfile)), "the cookie outlived its server")
        # The GL probe connected too: it named the renderer.
        with open(self.results_file("triangles")[:-4] + ".json") as handle:
            self.assertNotEqual(json.load(handle)["gl"]["renderer"], "unknown")

    def test_results_short_of_the_console_fail_the_run(self):
        if not os.path.exists(program_path("streaming")):
            self.skipTest("streaming is not built")
        full = os.path.join(self.workdir, "full")
        os.mkdir(full)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k,mode=0777", "tmpfs", full],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs to fill up (needs root and CAP_SYS_ADMIN): "
                          + mounted.stderr.strip())
        self.addCleanup(subprocess.run, ["umount", "-l", full])
        # Every block taken: the program can create its file but no write reaches it.
        filler = os.open(os.path.join(full, "filler"), os.O_WRONLY | os.O_CREAT)
        try:
            while True:
                os.write(filler, b"x" * 4096)
        except OSError as error:
            self.assertEqual(error.errno, errno.ENOSPC)
        finally:
            os.close(filler)
        run = Lumenfold(["run", "streaming", "--frames", "2", "--dir", full], env_without_display())
        try:
            status = run.wait(600)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        errors = "\n".join(run.stderr)
        self.assertEqual(status, 1, errors)
        # The log cannot be written there either: the console is shown whole
        # instead, and lumenfold says why the run failed.
        self.assertRegex(errors, r"lumenfold: warning: .*console.* (is )?shown here")
        self.assertGreaterEqual(sum(line.endswith(" Millions Executions/sec.") for line in run.stdout), 6)
        self.assertRegex(errors, r"run failed: .*(could not write its results file|"
                                 r"the results file holds \d+ of the \d+ frames the console showed)")
        # The results file is kept; the context file could not be written, and lumenfold says so.
        results = glob.glob(os.path.join(full, "results_streaming_lite_windows @ *.txt"))
        self.assertEqual(len(results), 1, os.listdir(full))
        self.assertIn("cannot write the context file", errors)
        self.assertFalse(os.path.exists(results[0][:-4] + ".json"), "a half-written context file was left")

    def test_repeated_runs_share_a_directory(self):
        if not os.path.exists(program_path("streaming")):
            self.skipTest("streaming is not built")
        run = Lumenfold(["run", "streaming", "--frames", "2", "--repeat", "2", "--dir", self.workdir],
                        env_without_display())
        try:
            status = run.wait(900)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        errors = "\n".join(run.stderr)
        self.assertEqual(status, 0, errors)
        # Each run a fresh process, so two prompts answered, each in its run's log.
        self.assertNotIn("Press Enter to Exit.", run.stdout)
        for k in (1, 2):
            self.assertRegex(errors, r"lumenfold: run %d of 2: float kernel Mexec/s [0-9.e+]+; "
                                     r"so far median [0-9.e+]+, 95%% interval" % k)
        self.assertTrue(any(line.startswith("== streaming, 2 runs in " + self.workdir) for line in run.stdout))
        results = sorted(glob.glob(os.path.join(self.workdir, "results_streaming_lite_windows @ *.txt")))
        self.assertEqual(len(results), 2)
        said = [line for line in run.stderr if line.startswith("lumenfold: warning: ")]
        for path in results:
            with open(path[:-4] + ".json") as handle:
                context = json.load(handle)
            self.assertTrue(context["outcome"]["ok"])
            with open(path[:-4] + ".log") as handle:
                self.assertIn("Press Enter to Exit.", handle.read().splitlines())
            # Each run's file holds its warnings; the first run's were said on
            # stderr, and no kind of warning twice (a new load reading is no new kind).
            self.assertIn("virtual X server (lumenfold's private Xvfb): nothing reaches a real screen",
                          context["warnings"])
            if path == results[0]:
                self.assertEqual(said, ["lumenfold: warning: " + w for w in context["warnings"]])
        for k in (1, 2):
            self.assertTrue(any(re.match(r"lumenfold: streaming, run %d of 2: frame [2-9] of 2, " % k, line)
                                for line in run.stderr), run.stderr)

        # The same runs on both sides: no figure may come out different.
        def compare(*args):
            return subprocess.run([LUMENFOLD, "compare", *args], env=env_without_display(),
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
        done = compare(self.workdir, "--vs", self.workdir, "--format", "json")
        self.assertEqual(done.returncode, 0, done.stderr)
        doc = json.loads(done.stdout)
        figures = {f["figure"]: f for f in doc["figures"]}
        self.assertEqual(set(figures), {"setupSeconds", "frameSeconds", "floatSeconds", "floatMexecPerSecond",
                                        "integerSeconds", "integerMexecPerSecond", "logicSeconds",
                                        "logicMexecPerSecond"})
        for name, figure in figures.items():
            self.assertEqual((figure["program"], figure["runsA"], figure["runsB"]), ("streaming", 2, 2), name)
            self.assertEqual(figure["ratio"], 1.0, name)
            self.assertLessEqual(figure["ciLow"], 1.0, name)
            self.assertGreaterEqual(figure["ciHigh"], 1.0, name)
            self.assertEqual(figure["verdict"], "no clear difference", name)
        self.assertEqual(doc["a"]["files"], results)
        # Each run's context file lies beside it, and its warnings are shown.
        self.assertEqual(doc["a"]["withoutContext"], [])
        self.assertTrue(any("virtual X server" in w["message"] for w in doc["b"]["warnings"]), doc["b"])

        # The two-file form: one run a side, said to show frame-to-frame variation only.
        done = compare(results[0], results[1])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("== streaming: 1 run in A, 1 run in B", done.stdout)
        self.assertIn("frame-to-frame", done.stdout)
        self.assertIn("virtual X server", done.stdout.split("Machine conditions")[1])

        # A directory without results files is named, and the command fails.
        empty = os.path.join(self.workdir, "empty")
        os.mkdir(empty)
        done = compare(empty, "--vs", self.workdir)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn(empty + ": holds no results file", done.stderr)

    def test_suite_shows_progress_and_logs_each_console(self):
        for program in FRAME_END:
            if not os.path.exists(program_path(program)):
                self.skipTest("%s is not built" % program)
        run = Lumenfold(["suite", "--dir", self.workdir], env_without_display())
        try:
            status = run.wait(1800)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertEqual(status, 0, "\n".join(run.stderr))
        # No program's console on either stream: progress lines, then the table.
        for line in run.stdout + run.stderr:
            self.assertFalse(line.endswith(tuple(FRAME_END.values())) or line == "Press Enter to Exit.", line)
        warnings = [re.sub(r"[0-9][0-9.]*", "#", line) for line in run.stderr
                     if line.startswith("lumenfold: warning: ")]
        self.assertIn("lumenfold: warning: virtual X server (lumenfold's private Xvfb): nothing reaches a real "
                      "screen", warnings)
        self.assertEqual(len(warnings), len(set(warnings)), warnings)
        for program in FRAME_END:
            self.assertTrue(any(re.match(r"lumenfold: %s, run 1 of 1: frame [5-9] of 5, " % program, line)
                                for line in run.stderr), run.stderr)
            results = self.results_file(program)
            with open(results[:-4] + ".log") as handle:
                console = handle.read().splitlines()
            self.assertGreaterEqual(sum(line.endswith(FRAME_END[program]) for line in console), 5)
            self.assertIn("Press Enter to Exit.", console)
            with open(results[:-4] + ".json") as handle:
                self.assertIn("virtual X server (lumenfold's private Xvfb): nothing reaches a real screen",
                              json.load(handle)["warnings"])
        self.assertIn("All results, context and console log files are in " + self.workdir, run.stdout)

    def test_hung_program_is_stopped(self):
        if not os.path.exists(program_path("triangles")):
            self.skipTest("triangles is not built")
        # Long enough for a first frame on a busy machine, short enough to wait out.
        run = Lumenfold(["run", "triangles", "--frames", "100000", "--hang-timeout", "20", "--dir", self.workdir],
                        env_without_display())
        try:
            run.wait_for_frame(1, 300)
            child = run.child("triangles")
            os.kill(child, signal.SIGSTOP)
            started = time.monotonic()
            status = run.wait(60)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
                run.wait(60)
        self.assertNotEqual(status, 0)
        self.assertGreaterEqual(time.monotonic() - started, 15)
        self.assertIn("seems hung", "\n".join(run.stderr))
        self.assertFalse(os.path.exists("/proc/%d" % child), "the stopped program was left behind")
        self.results_file("triangles")

    def test_numbers_that_cannot_be_meant_are_refused_before_anything_starts(self):
        # "nan" once passed: a run by time never ended, and the hang timeout was off.
        for args in (("--seconds", "nan"), ("--seconds", "inf"), ("--seconds", "0"), ("--hang-timeout", "nan"),
                     ("--until-stable", "nan")):
            done = subprocess.run([LUMENFOLD, "run", "streaming", *args, "--dir", os.path.join(self.workdir, "x")],
                                  env=env_without_display(), stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, timeout=60)
            self.assertEqual(done.returncode, 2, (args, done.stderr))
            self.assertIn('%s: takes a ' % args[0], done.stderr)
            self.assertLess(len(done.stderr), 200, done.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.workdir, "x")))

    def test_one_run_at_a_time_on_the_machine(self):
        for program in ("streaming", "triangles"):
            if not os.path.exists(program_path(program)):
                self.skipTest("%s is not built" % program)
        env = dict(env_without_display(), LUMENFOLD_LOCK_DIR=self.workdir)
        runs = []

        def start(name, program, *args):
            run = Lumenfold(["run", program, "--dir", os.path.join(self.workdir, name), *args], env)
            runs.append(run)
            return run

        def stop_all():
            for run in runs:
                if run.proc.poll() is None:
                    run.proc.kill()
                    run.wait(60)
        self.addCleanup(stop_all)

        first = start("first", "streaming", "--frames", "2")
        first.wait_for_count("running on a private virtual X server", 1, 120, anywhere=True)
        second = start("second", "streaming", "--frames", "2")
        second.wait_for_count("; waiting for it to finish (--no-wait refuses instead)", 1, 120, anywhere=True)
        [waiting] = [line for line in second.stderr if "waiting for it" in line]
        holder = "another benchmark holds this machine (pid %d, since " % first.proc.pid
        self.assertIn(holder, waiting)
        self.assertIn(" run streaming --dir " + os.path.join(self.workdir, "first") + " --frames 2);", waiting)

        refused = subprocess.run([LUMENFOLD, "run", "cube", "--no-wait", "--dir", os.path.join(self.workdir, "no")],
                                 env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn(holder, refused.stderr)
        self.assertIn("not waiting, as --no-wait asks", refused.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.workdir, "no")))

        # The second goes on only once the first has finished, its files written.
        second.wait_for_count("lumenfold: the machine is free now; going on", 1, 600)
        self.assertEqual(len(glob.glob(os.path.join(self.workdir, "first", "results_streaming_*.json"))), 1)
        self.assertEqual(first.wait(60), 0, "\n".join(first.stderr))
        self.assertEqual(sum("waiting for it to finish" in line for line in second.stderr), 1, second.stderr)

        # A holder killed outright frees the machine; its program goes with it.
        second.wait_for_frame(1, 600)
        program = second.child("streaming")
        third = start("third", "triangles", "--frames", "2")
        third.wait_for_count("; waiting for it to finish (--no-wait refuses instead)", 1, 120, anywhere=True)
        self.assertTrue(any("(pid %d, since " % second.proc.pid in line for line in third.stderr), third.stderr)
        second.proc.send_signal(signal.SIGKILL)
        third.wait_for_count("lumenfold: the machine is free now; going on", 1, 60)
        self.assertEqual(third.wait(600), 0, "\n".join(third.stderr))
        self.assertEqual(len(glob.glob(os.path.join(self.workdir, "third", "results_triangles_*.txt"))), 1)
        second.wait(60)
        self.assertTrue(ended(program, 60), "the killed run's streaming was left running")


if __name__ == "__main__":
    unittest.main(verbosity=2)
