#!/usr/bin/env python3
"""What the timing library costs the programs: each program runs on llvmpipe
(private Xvfb) with the library and without it, in alternating rounds
(with/without, then without/with, so that a drift of the machine falls on
both alike), and the median frame time of each run, from its results file,
is set side by side with the ratio with/without; so is the process's CPU
time per frame (all its threads, from /proc), which a busy machine disturbs
less than the frame time.

    timing_bench.py [--rounds N] [--frames K] [--skip S] [PROGRAM ...]

Every run draws the same frames, one per key C; frames S+1 to S+K are
compared (the first carries set-up work; triangles' frames grow with the
step, so every run must take the same steps).
Build first: cmake --build build/release --target lumenfold_timing triangles cube streaming
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

import drive


def one_run(program, xvfb, timed, frames, skip, directory):
    """The median frame time of the frames compared, and their CPU time per frame."""
    timing_file = os.path.join(directory, "timing-%s.txt" % program) if timed else None
    cpu = {}

    def after_frame(run, frame):
        if frame in (skip, skip + frames):
            cpu[frame] = drive.cpu_seconds(run.proc.pid)

    started = drive.run(program, xvfb, skip + frames, drive.environment(xvfb, timing_file),
                        after_frame=after_frame)
    try:
        times = drive.frame_seconds(program, started.results_lines())[skip:skip + frames]
    finally:
        started.cleanup()
    if len(times) < frames:
        raise RuntimeError("%s wrote %d frames, not %d" % (program, len(times), frames))
    return statistics.median(times), (cpu[skip + frames] - cpu.get(skip, 0.0)) / frames


def bench(program, xvfb, rounds, frames, skip, directory):
    """Per round: (frame time without, with, CPU per frame without, with)."""
    rows = []
    for round_number in range(rounds):
        order = (True, False) if round_number % 2 == 0 else (False, True)
        got = {}
        for timed in order:
            started = time.monotonic()
            got[timed] = one_run(program, xvfb, timed, frames, skip, directory)
            print("  %s round %d %-7s median frame %.4f s, CPU %.4f s per frame (run took %.0f s)"
                  % (program, round_number + 1, "with" if timed else "without", *got[timed],
                     time.monotonic() - started), flush=True)
        rows.append((got[False][0], got[True][0], got[False][1], got[True][1]))
    return rows


def summary(program, rows):
    frame_ratios = [r[1] / r[0] for r in rows]
    cpu_ratios = [r[3] / r[2] for r in rows if r[2] > 0]
    column = [statistics.median(r[i] for r in rows) for i in range(4)]
    return ("%-10s %10.4f %10.4f %8.4f %10.4f %10.4f %8.4f   %s"
            % (program, column[0], column[1], statistics.median(frame_ratios), column[2], column[3],
               statistics.median(cpu_ratios) if cpu_ratios else float("nan"),
               " ".join("%.4f" % r for r in frame_ratios)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--frames", type=int, default=8)
    parser.add_argument("--skip", type=int, default=1)
    parser.add_argument("programs", nargs="*", default=list(drive.PROGRAMS))
    args = parser.parse_args()
    unknown = [p for p in args.programs if p not in drive.PROGRAMS]
    if unknown or args.rounds < 1 or args.frames < 1 or args.skip < 0:
        parser.error("programs are %s; rounds and frames at least 1" % ", ".join(drive.PROGRAMS))
    drive.check_built()
    directory = tempfile.mkdtemp(prefix="lumenfold-timing-bench-")
    xvfb = drive.Xvfb()
    results = {}
    try:
        for program in args.programs:
            results[program] = bench(program, xvfb, args.rounds, args.frames, args.skip, directory)
    finally:
        xvfb.close()
        shutil.rmtree(directory, ignore_errors=True)
    print("\n%-10s %10s %10s %8s %10s %10s %8s   %s" % ("program", "frame w/o", "frame with", "ratio",
                                                       "CPU w/o", "CPU with", "ratio", "frame ratio per round"))
    for program, rows in results.items():
        print(summary(program, rows))
    print("\nseconds: median frame time of frames %d-%d of each run, and CPU time per frame over them;"
          " ratio = with / without, median over rounds" % (args.skip + 1, args.skip + args.frames))


if __name__ == "__main__":
    main()
