#!/usr/bin/env python3
"""What the timing library costs per swap, where a frame costs almost
nothing: the test suite's swap probe (a few quads per frame on llvmpipe,
private Xvfb) draws N frames with the library and without it, in alternating
rounds; the difference of the wall and CPU times of the whole process,
divided by N, is the library's cost per swap, queries and file included.

    swap_cost.py [--rounds R] [--frames N]
Build first: cmake --build build/release --target lumenfold_timing timing_swap_probe
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

import drive

PROBE = os.path.join(drive.BUILD, "tests", "lumenfold", "timing", "timing_swap_probe")


def one_run(xvfb, frames, timing_file):
    env = drive.environment(xvfb, timing_file)
    started = time.monotonic()
    proc = subprocess.Popen([PROBE, str(frames)], env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - started
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError("the probe exited with status %d" % proc.returncode)
    return wall, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--frames", type=int, default=2000)
    args = parser.parse_args()
    if not os.path.exists(PROBE) or not os.path.exists(drive.LIBRARY):
        sys.exit("build first: cmake --build build/release --target lumenfold_timing timing_swap_probe")
    xvfb = drive.Xvfb()
    wall, cpu = {True: [], False: []}, {True: [], False: []}
    try:
        with tempfile.TemporaryDirectory(prefix="lumenfold-swap-cost-") as directory:
            for round_number in range(args.rounds):
                for timed in ((True, False) if round_number % 2 == 0 else (False, True)):
                    w, c = one_run(xvfb, args.frames, os.path.join(directory, "t.txt") if timed else None)
                    wall[timed].append(w)
                    cpu[timed].append(c)
                    print("  round %d %-7s %.3f s wall, %.3f s CPU" % (round_number + 1, "with" if timed else
                                                                      "without", w, c), flush=True)
    finally:
        xvfb.close()
    for name, figures in (("wall", wall), ("CPU", cpu)):
        without, timed = statistics.median(figures[False]), statistics.median(figures[True])
        print("%-4s per frame: %8.1f us without, %8.1f us with: %+.1f us per swap"
              % (name, without / args.frames * 1e6, timed / args.frames * 1e6,
                 (timed - without) / args.frames * 1e6))


if __name__ == "__main__":
    main()
