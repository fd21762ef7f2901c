#!/usr/bin/env python3
"""Whether the timing library changes the GL calls a program makes: each
program is traced by apitrace on llvmpipe (private Xvfb) for its first
frames (the one drawn at start, then one per key C), once without the
library and once with it, and the two call lists are set against each
other. Every call of the plain run must be there, in order and with the same
arguments; the calls the library adds must be timer-query calls or the
look-ups it makes once to find them.

    trace_compare.py [--frames K] [PROGRAM ...]      (default: triangles cube streaming)

cube's set-up compiles its 16.7 million points into a display list before
the library makes any call: those are compared by their count and the calls
around them, not one by one.
"""

import argparse
import collections
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

import drive

CALL = re.compile(r"^(\d+) (\w+)\((.*)$")
# Addresses, and the X server's names for windows, which depend on how many
# clients it has seen.
ADDRESS = re.compile(r"0x[0-9a-f]+|(?<=\b(?:draw|read) = )\d+|(?<=\bdrawable = )\d+")
QUERY_CALLS = {"glGenQueries", "glBeginQuery", "glEndQuery", "glGetQueryObjectuiv", "glGetQueryObjectui64v",
               "glGetQueryiv", "glQueryCounter"}
# Once, as the library starts: what the driver offers and where its entry points are.
LOOK_UPS = {"glGetString", "glGetStringi", "glXGetProcAddressARB", "glXGetProcAddress", "glXGetCurrentContext"}
CUBE_POINTS = 256 ** 3


def dump(trace, calls=None):
    command = ["apitrace", "dump", "--color=never"] + (["--calls=" + calls] if calls else []) + [trace]
    text = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    found = {}
    for line in text.splitlines():
        match = CALL.match(line)
        if match:
            found[int(match.group(1))] = match.group(2) + "(" + ADDRESS.sub("0x?", match.group(3))
    return found


def calls_of(program, trace):
    """The calls in order; cube's list of points stands as one line with its count."""
    if program != "cube":
        return [call for _, call in sorted(dump(trace).items())]
    head = dump(trace, "0-2000")
    begin = next(n for n in sorted(head) if head[n] == "glBegin(mode = GL_POINTS)")
    end = begin + 1 + 3 * CUBE_POINTS
    tail = dump(trace, "%d-%d" % (end, end + 10 ** 7))
    points = dump(trace, "%d-%d" % (begin + 1, begin + 3)), dump(trace, "%d-%d" % (end - 3, end - 1))
    if next(iter(tail.values()), "") != "glEnd()":
        raise RuntimeError("cube's list of points does not end where %d points would" % CUBE_POINTS)
    middle = ["(%d points from %s to %s)" % (CUBE_POINTS, list(points[0].values())[0], list(points[1].values())[-1])]
    return [head[n] for n in sorted(head) if n <= begin] + middle + [tail[n] for n in sorted(tail)]


def traced(program, xvfb, frames, timed, directory):
    trace = os.path.join(directory, "%s-%s.trace" % (program, "with" if timed else "without"))
    timing_file = os.path.join(directory, "timing-%s.txt" % program) if timed else None
    env = drive.environment(xvfb, timing_file)
    started = drive.run(program, xvfb, frames, env, wrapper=["apitrace", "trace", "-o", trace])
    started.cleanup()
    return calls_of(program, trace)


def compare(plain, timed):
    """Calls the library added, by name; and any change to the program's own, as text."""
    added, changed = collections.Counter(), []
    matcher = difflib.SequenceMatcher(None, plain, timed, autojunk=False)
    for tag, p0, p1, t0, t1 in matcher.get_opcodes():
        if tag == "equal":
            continue
        if tag == "insert" and all(c.split("(")[0] in QUERY_CALLS | LOOK_UPS for c in timed[t0:t1]):
            added.update(c.split("(")[0] for c in timed[t0:t1])
            continue
        changed.append("%s: without %r, with %r" % (tag, plain[p0:p1][:4], timed[t0:t1][:4]))
    return added, changed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--frames", type=int, default=3)
    parser.add_argument("programs", nargs="*", default=list(drive.PROGRAMS))
    args = parser.parse_args()
    if any(p not in drive.PROGRAMS for p in args.programs) or args.frames < 1:
        parser.error("programs are %s; frames at least 1" % ", ".join(drive.PROGRAMS))
    drive.check_built()
    if shutil.which("apitrace") is None:
        sys.exit("apitrace is not installed")
    directory = tempfile.mkdtemp(prefix="lumenfold-timing-trace-")
    xvfb = drive.Xvfb()
    failed = False
    try:
        for program in args.programs:
            plain = traced(program, xvfb, args.frames, False, directory)
            timed = traced(program, xvfb, args.frames, True, directory)
            added, changed = compare(plain, timed)
            print("%s: %d calls without the library, %d with; added: %s" % (
                program, len(plain), len(timed), ", ".join("%s x%d" % kv for kv in sorted(added.items())) or "none"))
            for line in changed:
                print("  CHANGED " + line)
            failed |= bool(changed)
    finally:
        xvfb.close()
        shutil.rmtree(directory, ignore_errors=True)
    print("the program's own calls are unchanged" if not failed else "the program's own calls differ")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
