"""Drives the real benchmark programs on a virtual X server.

Each test starts its own Xvfb (a free display chosen by the server itself),
runs a program in a fresh working directory with piped standard streams,
presses keys and buttons with xdotool, and reads what the program wrote.
"""

import atexit
import contextlib
import glob
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BUILD = os.environ.get("LUMENFOLD_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build", "release"))

SCREEN = "1920x1200x24"

# The runs of a test take a machine lock of the test's own: they neither
# wait for a real benchmark on this machine nor hold one up.
if not os.environ.get("LUMENFOLD_LOCK_DIR"):
    os.environ["LUMENFOLD_LOCK_DIR"] = tempfile.mkdtemp(prefix="lumenfold-lock-")
    atexit.register(shutil.rmtree, os.environ["LUMENFOLD_LOCK_DIR"], True)


def program_path(name):
    return os.path.join(BUILD, name, name)


class Xvfb:
    """A private virtual X server for one test."""

    def __init__(self):
        # The server names its display once it listens; it counts as started
        # once a query succeeds, and one that died at start is replaced. It
        # never resets: a reset as the last client leaves (the query, or a
        # program that ended) refuses whoever connects meanwhile.
        for _ in range(3):
            if self._start() and self._answers():
                return
            self.close()
        raise RuntimeError("Xvfb did not start")

    def _start(self):
        # Only clients with the cookie get in, as with xvfb-run: the server
        # loads every cookie in its -auth file, and clients need one filed
        # under the display number the server picks.
        self.authdir = tempfile.mkdtemp(prefix="lumenfold-x-")
        self.authfile = os.path.join(self.authdir, "Xauthority")
        os.close(os.open(self.authfile, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600))
        self.cookie = os.urandom(16).hex()
        self._add_cookie(":0")
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-auth", self.authfile, "-screen", "0", SCREEN,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        self.display = ":" + number
        if number:
            self._add_cookie(self.display)
        return bool(number)

    def _add_cookie(self, display):
        # On standard input: a command line is readable by every user.
        subprocess.run(["xauth", "-q", "-f", self.authfile, "source", "-"], check=True,
                       input="add %s . %s\n" % (display, self.cookie), text=True)

    def _answers(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self.proc.poll() is None:
            probe = subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env(),
                                   capture_output=True)
            if probe.returncode == 0:
                return True
            time.sleep(0.1)
        return False

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["XAUTHORITY"] = self.authfile
        return env

    def env_for_user(self, uid, gid):
        """The server's environment for a client running as another user, who
        cannot read this process's 0600 cookie file: a copy of its own."""
        authdir = tempfile.mkdtemp(prefix="lumenfold-x-", dir=self.authdir)
        authfile = os.path.join(authdir, "Xauthority")
        shutil.copyfile(self.authfile, authfile)
        os.chmod(authfile, 0o600)
        # The server's own directory only lets the user pass through to the copy.
        os.chmod(self.authdir, 0o711)
        os.chown(authdir, uid, gid)
        os.chown(authfile, uid, gid)
        env = self.env()
        env["XAUTHORITY"] = authfile
        return env

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.authdir, ignore_errors=True)


class Run:
    """One run of a program: its streams, its window, its working directory."""

    def __init__(self, name, xvfb=None, workdir=None, env=None, args=(), wrapper=()):
        self.name = name
        self.xvfb = xvfb
        self.workdir = workdir or tempfile.mkdtemp(prefix="lumenfold-" + name + "-")
        self.lines = []
        self._queue = queue.Queue()
        run_env = dict(env if env is not None else (xvfb.env() if xvfb else os.environ))
        self.proc = subprocess.Popen(
            [*wrapper, program_path(name), *args], cwd=self.workdir, env=run_env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.window = None

    def _read(self):
        for raw in self.proc.stdout:
            self._queue.put(raw.decode("utf-8", "replace").rstrip("\n"))
        self._queue.put(None)

    def _drain(self, timeout):
        try:
            item = self._queue.get(timeout=timeout)
        except queue.Empty:
            return False
        if item is None:
            self._queue.put(None)
            return None
        self.lines.append(item)
        return True

    def wait_for_line(self, text, count=1, timeout=120):
        """Waits until `text` has appeared `count` times as a whole line."""
        deadline = time.monotonic() + timeout
        while self.lines.count(text) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("timed out waiting for %r x%d; console so far:\n%s"
                                     % (text, count, "\n".join(self.lines[-40:])))
            if self._drain(min(left, 0.5)) is None:
                raise AssertionError("program ended before %r x%d; console:\n%s\nstderr:\n%s"
                                     % (text, count, "\n".join(self.lines[-40:]), self.stderr_text()))
        return self.lines

    def wait_for_prefix(self, prefix, count=1, timeout=120):
        deadline = time.monotonic() + timeout
        while sum(1 for l in self.lines if l.startswith(prefix)) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("timed out waiting for %r x%d; console so far:\n%s"
                                     % (prefix, count, "\n".join(self.lines[-40:])))
            if self._drain(min(left, 0.5)) is None:
                raise AssertionError("program ended before %r x%d; console:\n%s\nstderr:\n%s"
                                     % (prefix, count, "\n".join(self.lines[-40:]), self.stderr_text()))
        return self.lines

    def wait_for_block(self, prefix, count, after, timeout=120):
        """Waits for `count` lines starting with `prefix`, the last one followed
        by `after` more lines: complete report blocks, not half-read ones."""
        self.wait_for_prefix(prefix, count, timeout)
        deadline = time.monotonic() + timeout
        while True:
            starts = [i for i, l in enumerate(self.lines) if l.startswith(prefix)]
            if len(self.lines) - 1 - starts[count - 1] >= after:
                return self.lines
            left = deadline - time.monotonic()
            if left <= 0 or self._drain(min(left, 0.5)) is None:
                raise AssertionError("report block after %r incomplete:\n%s"
                                     % (prefix, "\n".join(self.lines[-20:])))

    def wait_until_quiet(self, prefix, quiet, timeout=300):
        """Waits until no line starting with `prefix` has come for `quiet`
        seconds; fails if the program keeps writing them for `timeout`."""
        deadline = time.monotonic() + timeout
        last = time.monotonic()
        while time.monotonic() - last < quiet:
            if time.monotonic() > deadline:
                raise AssertionError("still writing %r after %g s" % (prefix, timeout))
            before = self.count_prefix(prefix)
            self._drain(0.2)
            if self.count_prefix(prefix) != before:
                last = time.monotonic()
        return self.lines

    def settle(self, seconds):
        """Collects console output for a while, to show that nothing more comes."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self._drain(max(0.01, deadline - time.monotonic()))

    def count_prefix(self, prefix):
        return sum(1 for l in self.lines if l.startswith(prefix))

    def find_window(self, title, timeout=120):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = subprocess.run(["xdotool", "search", "--name", title], env=self.xvfb.env(),
                                 capture_output=True, text=True).stdout.split()
            if out:
                self.window = out[0]
                return self.window
            if self.proc.poll() is not None:
                break
            time.sleep(0.2)
        raise AssertionError("no window titled %r; stderr:\n%s" % (title, self.stderr_text()))

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.xvfb.env(), check=True,
                       capture_output=True)

    def key(self, keysym):
        self.xdotool("key", "--window", self.window, keysym)

    def click(self, button, x=540, y=540):
        self.xdotool("mousemove", "--window", self.window, str(x), str(y))
        self.xdotool("click", str(button))

    def screenshot(self, path):
        subprocess.run(["import", "-window", self.window, path], env=self.xvfb.env(), check=True,
                       capture_output=True)
        return path

    def finish(self, timeout=300):
        """Esc, then Enter at the prompt; returns the exit status."""
        self.key("Escape")
        self.wait_for_line("Press Enter to Exit.", timeout=timeout)
        return self.answer_enter(timeout)

    def answer_enter(self, timeout=60):
        self.proc.stdin.write(b"\n")
        self.proc.stdin.flush()
        status = self.proc.wait(timeout)
        while self._drain(1) is True:
            pass
        return status

    def stderr_text(self):
        if self.proc.poll() is None:
            return "(still running)"
        return self.proc.stderr.read().decode("utf-8", "replace")

    def results_files(self):
        return sorted(glob.glob(os.path.join(self.workdir, "results_*.txt")))

    def results_lines(self):
        files = self.results_files()
        if len(files) != 1:
            raise AssertionError("expected one results file, found %r" % files)
        with open(files[0], encoding="utf-8") as handle:
            return handle.read().split("\n")[:-1]

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def cleanup(self):
        self.kill()
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()
        shutil.rmtree(self.workdir, ignore_errors=True)


class ProgramTest(unittest.TestCase):
    """Gives each test a fresh Xvfb; runs started with start() are cleaned up."""

    def setUp(self):
        self.xvfb = Xvfb()
        self.runs = []

    def tearDown(self):
        for run in self.runs:
            run.cleanup()
        self.xvfb.close()

    def start(self, name, title, **kwargs):
        run = Run(name, self.xvfb, **kwargs)
        self.runs.append(run)
        run.find_window(title)
        return run


def pixel_rows(png_path):
    """Reads a screenshot as rows of (r, g, b) tuples, through ImageMagick's text dump."""
    out = subprocess.run(["convert", png_path, "-depth", "8", "ppm:-"], check=True,
                         capture_output=True).stdout
    # P6 header: magic, width height, maxval, then raw bytes.
    parts = out.split(b"\n", 3)
    width, height = (int(v) for v in parts[1].split())
    data = parts[3]
    return [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
            for y in range(height)]


@contextlib.contextmanager
def small_tmpfs(size_bytes=4096):
    """A real filesystem that fills up after `size_bytes` (rounded up to whole
    pages), mounted on a fresh directory for the `with` block: the way a test
    meets a full disk. Skips the test, saying why, when it cannot mount one
    (not root, no CAP_SYS_ADMIN in a container, no mount program)."""
    path = tempfile.mkdtemp(prefix="lumenfold-small-fs-")
    try:
        mounted = subprocess.run(
            ["mount", "-t", "tmpfs", "-o", "size=%d,mode=0777" % size_bytes, "tmpfs", path],
            capture_output=True, text=True)
    except OSError as error:
        os.rmdir(path)
        raise unittest.SkipTest("cannot mount a small tmpfs: %s" % error)
    if mounted.returncode != 0:
        os.rmdir(path)
        raise unittest.SkipTest("cannot mount a small tmpfs (mount exited %d): %s"
                                % (mounted.returncode, mounted.stderr.strip()))
    try:
        yield path
    finally:
        subprocess.run(["umount", "--lazy", path], capture_output=True)
        os.rmdir(path)


def run_on_xvfb(command):
    """Runs one command on a private virtual X server and returns its exit
    status; the server goes with it, also when ctest stops the test."""
    xvfb = Xvfb()
    try:
        proc = subprocess.Popen(command, env=xvfb.env())

        def forward(signum, _frame):
            proc.send_signal(signum)
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, forward)
        status = proc.wait()
    finally:
        xvfb.close()
    # A command killed by a signal fails as a shell would report it.
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    # python3 harness.py xvfb -- COMMAND [ARG...]
    args = sys.argv[1:]
    if len(args) < 3 or args[0] != "xvfb" or args[1] != "--":
        sys.exit("usage: harness.py xvfb -- COMMAND [ARG...]")
    sys.exit(run_on_xvfb(args[2:]))
