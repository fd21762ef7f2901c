"""`lumenfold bisect` end to end: a small preloaded library in a git
repository of its own, streaming (the quickest program) on a private Xvfb.

Runs are few and short (one frame, two runs a revision): the point is the
decisions, which the preloaded delay makes plain, not long measurements.
"""

import fcntl
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

from harness import BUILD, program_path

from bisect_repo import BUILD as BUILD_COMMAND, BROKEN, DELAY, ENV, LIBRARY, git, make_repository

LUMENFOLD = os.path.join(BUILD, "lumenfold", "lumenfold")
FIGURE = "float kernel Mexec/s"


class Bisect:
    """A running `lumenfold bisect`, its standard error followed line by line."""

    def __init__(self, args):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        self.proc = subprocess.Popen([LUMENFOLD, "bisect", "streaming", *args], env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.stderr = []
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stderr:
            self.stderr.append(line.rstrip("\n"))
            self.lines.put(line.rstrip("\n"))

    def wait_for(self, predicate, timeout=600):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=1)
            except queue.Empty:
                if self.proc.poll() is not None:
                    break
                continue
            if predicate(line):
                return line
        raise AssertionError("no such line from bisect; stderr:\n" + "\n".join(self.stderr))

    def finish(self, timeout=900):
        out = self.proc.stdout.read()
        status = self.proc.wait(timeout)
        self.reader.join(10)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return status, out

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def user_state(repo):
    """What the user has of the repository: HEAD, branch, index, working tree."""
    with open(os.path.join(repo, ".git", "index"), "rb") as handle:
        index = handle.read()
    return (git(repo, "rev-parse", "HEAD"), git(repo, "symbolic-ref", "HEAD"), index,
            git(repo, "status", "--porcelain", "--untracked-files=all"), git(repo, "stash", "list"))


def worktrees(repo):
    return [line.split(" ", 1)[1] for line in git(repo, "worktree", "list", "--porcelain").splitlines()
            if line.startswith("worktree ")]


def kept_runs(folder):
    """The runs a folder keeps that went as planned, by their context files."""
    contexts = []
    for path in sorted(glob.glob(os.path.join(folder, "results_streaming_*.json"))):
        with open(path) as handle:
            context = json.load(handle)
        if context.get("outcome", {}).get("ok"):
            contexts.append(context)
    return contexts


class BisectTest(unittest.TestCase):
    def setUp(self):
        for path in (LUMENFOLD, program_path("streaming")):
            if not os.path.exists(path):
                self.skipTest("not built: " + path)
        if shutil.which("cc") is None or shutil.which("git") is None:
            self.skipTest("cc and git are needed")
        self.workdir = tempfile.mkdtemp(prefix="lumenfold-bisect-test-")
        self.started = time.monotonic()

    def tearDown(self):
        shutil.rmtree(self.workdir, ignore_errors=True)
        print("%s: %.0f s" % (self.id(), time.monotonic() - self.started))

    def interrupt_midway(self, args, first_step_line):
        """Starts the bisection, stops it with SIGINT once a run of the first
        step is done; returns the worktrees it had then and its exit status."""
        run = Bisect(args)
        try:
            run.wait_for(lambda line: first_step_line in line and ": " + FIGURE in line)
            during = worktrees(self.repo) if hasattr(self, "repo") else []
            run.proc.send_signal(signal.SIGINT)
            status, out = run.finish(120)
        finally:
            run.kill()
        return during, status, out, run.stderr

    def test_repository(self):
        self.repo = make_repository(self.workdir)
        # An edit of the user's own, neither staged nor committed, and one staged.
        with open(os.path.join(self.repo, "swap_delay.c"), "a") as handle:
            handle.write("/* the user's edit */\n")
        with open(os.path.join(self.repo, "notes.txt"), "w") as handle:
            handle.write("staged\n")
        git(self.repo, "add", "notes.txt")
        before = user_state(self.repo)
        runs = os.path.join(self.workdir, "runs")
        good = git(self.repo, "rev-parse", "main~8")
        args = ["--repo", self.repo, "--good", good, "--bad", "main", "--build", BUILD_COMMAND, "--env", ENV,
                "--frames", "1", "--runs", "2", "--dir", runs]

        during, status, _, stderr = self.interrupt_midway(args, "step 1 of about ")
        self.assertEqual(status, 1, "\n".join(stderr))
        self.assertEqual(len(during), 2, during)
        self.assertFalse(os.path.exists(during[1]), "the worktree outlived Ctrl-C")
        self.assertFalse(os.path.exists(os.path.dirname(during[1])))
        self.assertEqual(worktrees(self.repo), [self.repo])
        self.assertEqual(user_state(self.repo), before)
        self.assertEqual(len(kept_runs(os.path.join(runs, good))), 2)

        run = Bisect(args + ["--format", "json"])
        try:
            status, out = run.finish()
        finally:
            run.kill()
        errors = "\n".join(run.stderr)
        self.assertEqual(status, 0, errors + out)
        result = json.loads(out)
        self.assertEqual(result["result"], "culprit", result["summary"])
        self.assertEqual(result["culprit"]["subject"], DELAY)
        self.assertTrue(result["culprit"]["confirmed"])
        self.assertLess(result["culprit"]["againstParent"]["ciHigh"], 1)
        self.assertEqual(result["culprit"]["parent"]["id"], git(self.repo, "rev-parse", result["culprit"]["id"] + "^"))
        # Resumed: the ends and the first step's finished run were not measured again.
        self.assertIn("lumenfold: good end %s: 2 runs kept from before" % good[:7], errors)
        self.assertRegex(errors, r"step 1 \w+: 1 run kept from before")
        self.assertRegex(errors, r"step \d of about \d: \w+, run 2 of 2: " + FIGURE)

        rows = result["revisions"]
        broken = [row for row in rows if row.get("subject") == BROKEN]
        self.assertEqual([row["verdict"] for row in broken], ["skipped: the build failed"], rows)
        self.assertIn("step", broken[0]["measuredAs"])
        self.assertIn("merge the side branch", [row.get("subject") for row in rows])
        # Every run is kept, each context naming the revision it ran.
        for row in rows:
            contexts = kept_runs(row["folder"])
            self.assertEqual(len(contexts), row["runs"], row)
            self.assertTrue(all(c["revision"] == row["id"] for c in contexts), row)
            self.assertTrue(all(c["environment"]["LD_PRELOAD"].endswith("/" + LIBRARY) for c in contexts))
        self.assertEqual(worktrees(self.repo), [self.repo])
        self.assertEqual(user_state(self.repo), before)

        # Ends that do not differ: both without the delay, their runs taken
        # from the folders kept, so nothing is measured.
        parent = result["culprit"]["parent"]["id"]
        refused = os.path.join(self.workdir, "refused")
        shutil.copytree(os.path.join(runs, good), os.path.join(refused, good))
        shutil.copytree(os.path.join(runs, "confirm", parent), os.path.join(refused, parent))
        files = sorted(glob.glob(os.path.join(refused, "*", "results_*.txt")))
        same = Bisect(["--repo", self.repo, "--good", good, "--bad", parent, "--build", BUILD_COMMAND, "--env", ENV,
                       "--frames", "1", "--runs", "2", "--dir", refused])
        status, out = same.finish()
        self.assertEqual(status, 1, out)
        self.assertIn("the ends do not differ: there is nothing to bisect", out)
        self.assertRegex("\n".join(same.stderr), r"the ends do not differ: good median [0-9.]+, 95% interval .*; bad "
                                                 r"median [0-9.]+, 95% interval")
        self.assertEqual(sorted(glob.glob(os.path.join(refused, "*", "results_*.txt"))), files)

    def test_machine_held(self):
        """Another benchmark holds the machine: --no-wait refuses before any
        build, and the worktree made meanwhile is gone."""
        self.repo = make_repository(self.workdir)
        before = user_state(self.repo)
        runs = os.path.join(self.workdir, "runs")
        lock_path = os.path.join(os.environ["LUMENFOLD_LOCK_DIR"], "lumenfold.lock")
        with open(lock_path, "a+") as holder:
            fcntl.flock(holder, fcntl.LOCK_EX)
            refused = Bisect(["--repo", self.repo, "--good", "main~8", "--bad", "main", "--build", BUILD_COMMAND,
                              "--env", ENV, "--frames", "1", "--runs", "2", "--dir", runs, "--no-wait"])
            try:
                status, out = refused.finish(120)
            finally:
                refused.kill()
        self.assertEqual(status, 1, out + "\n".join(refused.stderr))
        self.assertIn("not waiting, as --no-wait asks", "\n".join(refused.stderr))
        self.assertEqual(out, "")
        self.assertFalse(os.path.exists(runs))
        self.assertEqual(worktrees(self.repo), [self.repo])
        self.assertEqual(user_state(self.repo), before)

    def test_builds(self):
        repo = make_repository(self.workdir)
        names = []
        # Trees built beforehand, as nightly builds are: the first, the delay, the last.
        for name, revision in (("first", "main~8"), ("delayed", "main~1"), ("last", "main")):
            tree = os.path.join(self.workdir, "builds", name)
            os.makedirs(tree)
            with open(os.path.join(tree, "swap_delay.c"), "w") as handle:
                handle.write(git(repo, "show", revision + ":swap_delay.c") + "\n")
            subprocess.run(BUILD_COMMAND.replace("{tree}", tree), shell=True, check=True)
            names.append(name)
        listing = os.path.join(self.workdir, "builds", "list.txt")
        with open(listing, "w") as handle:
            handle.write("# oldest first\n" + "\n".join(names) + "\n")
        runs = os.path.join(self.workdir, "runs")
        args = ["--builds", listing, "--env", ENV, "--frames", "1", "--runs", "2", "--dir", runs]

        _, status, _, stderr = self.interrupt_midway(args, "step 1 of about ")
        self.assertEqual(status, 1, "\n".join(stderr))

        run = Bisect(args + ["--format", "markdown"])
        try:
            status, out = run.finish()
        finally:
            run.kill()
        errors = "\n".join(run.stderr)
        self.assertEqual(status, 0, errors + out)
        self.assertIn("- first bad commit: ", out)
        self.assertIn("confirmed", out)
        self.assertRegex(out, r"\| \\#2 delayed \| step 1 \| \d+ \| [0-9.]+ \| bad \|")
        self.assertIn("good end #1 first: 2 runs kept from before", errors)
        folder = os.path.join(runs, "build-002-delayed")
        contexts = kept_runs(folder)
        self.assertGreaterEqual(len(contexts), 2)
        self.assertTrue(all(c["labels"]["build"] == os.path.join(self.workdir, "builds", "delayed") for c in contexts))
        self.assertEqual(len(kept_runs(os.path.join(runs, "confirm", "build-002-delayed"))), 4)


if __name__ == "__main__":
    unittest.main(verbosity=2)
