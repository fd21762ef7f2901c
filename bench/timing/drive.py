"""Runs a benchmark program on a private Xvfb with llvmpipe, with or without
the timing library, for the two timing benches of this directory."""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "lib"))
os.environ.setdefault("LUMENFOLD_BUILD", os.path.join(HERE, "..", "..", "build", "release"))

from harness import BUILD, Run, Xvfb  # noqa: E402
from program_text import TITLES  # noqa: E402

LIBRARY = os.path.join(BUILD, "lumenfold", "timing", "liblumenfold_timing.so")
PROGRAMS = ("triangles", "cube", "streaming")
# Every report block starts with this line; a streaming frame is three blocks.
BLOCK_START = "window: "
BLOCKS_PER_FRAME = {"triangles": 1, "cube": 1, "streaming": 3}
BLOCK_LINES_AFTER = {"triangles": 4, "cube": 3, "streaming": 3}
SPENT = re.compile(r"spent: ([0-9.]+) Secs\. ?$")


def check_built():
    for path in [LIBRARY] + [os.path.join(BUILD, p, p) for p in PROGRAMS]:
        if not os.path.exists(path):
            sys.exit("%s is not built (cmake --build build/release --target lumenfold_timing %s)"
                     % (path, " ".join(PROGRAMS)))


def environment(xvfb, timing_file=None, preload=None):
    env = dict(xvfb.env(), LIBGL_ALWAYS_SOFTWARE="1", GALLIUM_DRIVER="llvmpipe")
    env.pop("LD_PRELOAD", None)
    env.pop("LUMENFOLD_TIMING_FILE", None)
    if timing_file:
        env["LD_PRELOAD"] = LIBRARY if preload is None else preload
        env["LUMENFOLD_TIMING_FILE"] = timing_file
    return env


def run(program, xvfb, frames, env, wrapper=(), after_frame=None):
    """The program's first `frames` frames: the one it draws at start, then
    one per key C, with after_frame(run, n) called once frame n is reported.
    Returns the finished Run."""
    blocks = BLOCKS_PER_FRAME[program]
    after = BLOCK_LINES_AFTER[program]
    started = Run(program, xvfb, env=env, wrapper=wrapper)
    try:
        started.find_window(TITLES[program], timeout=600)
        for frame in range(1, frames + 1):
            if frame > 1:
                started.key("c")
            started.wait_for_block(BLOCK_START, blocks * frame, after, timeout=1200)
            if after_frame:
                after_frame(started, frame)
        status = started.finish(timeout=1200)
        if status != 0:
            raise RuntimeError("%s exited with status %d: %s" % (program, status, started.stderr_text()))
        return started
    except BaseException:
        started.kill()
        raise


def cpu_seconds(pid):
    """User and system time of a process so far, all its threads."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def frame_seconds(program, results_lines):
    """The frame times of the results file, in order: a streaming frame's is
    the sum of its three kernel blocks'."""
    times = [float(m.group(1)) for m in map(SPENT.search, results_lines) if m]
    per = BLOCKS_PER_FRAME[program]
    return [sum(times[i:i + per]) for i in range(0, len(times) - per + 1, per)]
