#!/usr/bin/env python3
"""What the timing library costs the programs: each program runs on llvmpipe
(private Xvfb) with the library and without it, in alternating rounds
(with/without, then without/with, so that a drift of the machine falls on
both alike), and the median frame time of each run, from its results file,
is set side by side with the ratio with/without.

    timing_bench.py [--rounds N] [--frames K] [--skip S] [PROGRAM ...]

Frames S+1 to S+K of every run are compared (the first carries set-up work;
triangles' frames grow with the step, so every run takes the same steps).
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
    timing_file = os.path.join(directory, "timing-%s.txt" % program) if timed else None
    started = drive.run(program, xvfb, skip + frames, drive.environment(xvfb, timing_file), keys="r")
    try:
        times = drive.frame_seconds(program, started.results_lines())[skip:skip + frames]
    finally:
        started.cleanup()
    if len(times) < frames:
        raise RuntimeError("%s wrote %d frames, not %d" % (program, len(times), frames))
    return statistics.median(times)


def bench(program, xvfb, rounds, frames, skip, directory):
    ratios, with_medians, without_medians = [], [], []
    for round_number in range(rounds):
        order = (True, False) if round_number % 2 == 0 else (False, True)
        medians = {}
        for timed in order:
            started = time.monotonic()
            medians[timed] = one_run(program, xvfb, timed, frames, skip, directory)
            print("  %s round %d %-7s median frame %.4f s (run took %.0f s)"
                  % (program, round_number + 1, "with" if timed else "without", medians[timed],
                     time.monotonic() - started), flush=True)
        with_medians.append(medians[True])
        without_medians.append(medians[False])
        ratios.append(medians[True] / medians[False])
    return without_medians, with_medians, ratios


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
    print("\n%-10s %14s %14s %9s   %s" % ("program", "without (s)", "with (s)", "ratio", "ratio per round"))
    for program, (without, timed, ratios) in results.items():
        print("%-10s %14.4f %14.4f %9.4f   %s" % (program, statistics.median(without), statistics.median(timed),
                                               statistics.median(ratios), " ".join("%.4f" % r for r in ratios)))
    print("\nmedian frame time of frames %d-%d of each run; ratio = with / without, median over rounds"
          % (args.skip + 1, args.skip + args.frames))


if __name__ == "__main__":
    main()
