"""The GL calls of cube's set-up and first frame, recorded by apitrace from the real program.

The lattice makes the trace about 50 million calls long, so only its head, a
few points in the middle and its tail are dumped: two passes over the file.
"""

import math
import os
import re
import unittest

import gltrace
from harness import ProgramTest, Run
from program_text import ANIMATE_HELP, TITLES

POINTS = 256 ** 3

SETUP = (gltrace.SHADING_FOG_AND_LIGHT + gltrace.SCENE_STAGES + gltrace.lines("""
glPolygonMode(face = GL_FRONT, mode = GL_FILL)
glPolygonMode(face = GL_BACK, mode = GL_LINE)
glPolygonMode(face = GL_FRONT_AND_BACK, mode = GL_POINT)
glFrontFace(mode = GL_CCW)
glFrontFace(mode = GL_CW)
glEnable(cap = GL_CULL_FACE)
glCullFace(mode = GL_FRONT_AND_BACK)
glEnable(cap = GL_POLYGON_STIPPLE)
""") + gltrace.CLIENT_ARRAYS + gltrace.DRAW_BUFFER_AND_BLEND
         + gltrace.list_start(1, 1) + ["glBegin(mode = GL_POINTS)"])

SETUP_END = ["glEnd()"] + gltrace.LIST_END

# The reshape GLUT sends when the window first shows, then frame 1: the
# overlay, the lattice in its own save, the outer restore and the swap.
FRAME = (gltrace.reshape(1080, 1080) + gltrace.CLEAR + gltrace.SAVE + gltrace.STEP_1_SCENE
         + gltrace.overlay(1080, 1080, "0.00390625", 90, ANIMATE_HELP)
         + gltrace.called_list(1) + gltrace.RESTORE + gltrace.SWAP)

# Sample points n: (normal, colour, vertex) as exact doubles.
SAMPLES = {
    0: ((1 / math.sqrt(3),) * 3, (0, 0, 0), (0, 0, 0)),
    1: ((1, 0, 0), (0, 0.00390625, 0), (0, 0, 0.00390625)),
    256: ((0, 1, 0), (0.00390625, 0, 0), (0, 0.00390625, 0)),
    65536: ((0, 0, 1), (0, 0, 0.00390625), (0.00390625, 0, 0)),
    66050: ((2 / 3, 2 / 3, 1 / 3), (0.0078125, 0.0078125, 0.00390625),
            (0.00390625, 0.0078125, 0.0078125)),
    196612: ((0.8, 0, 0.6), (0, 0.015625, 0.01171875), (0.01171875, 0, 0.015625)),
    16777215: (None, (0.99609375,) * 3, (0.99609375,) * 3),
}


def point_values(calls):
    """The three doubles of each of a point's glNormal3d, glColor3d, glVertex3d."""
    names = ["glNormal3d(nx = ", "glColor3d(red = ", "glVertex3d(x = "]
    values = []
    for name, call in zip(names, calls):
        assert call.startswith(name), (name, call)
        values.append(tuple(float(v) for v in re.findall(r"= ([-0-9.e+]+)", call)))
    return values


class CubeCalls(ProgramTest):

    def test_setup_and_first_frame_call_for_call(self):
        trace = "/tmp/lumenfold-cube-%d.trace" % os.getpid()
        self.addCleanup(lambda: os.path.exists(trace) and os.remove(trace))
        run = Run("cube", self.xvfb, wrapper=["apitrace", "trace", "-o", trace])
        self.runs.append(run)
        run.find_window(TITLES["cube"], timeout=300)
        run.wait_for_block("window: ", 1, 4, timeout=600)
        self.assertEqual(run.finish(), 0)

        # Pass 1: the head of the set-up and the first points of the lattice.
        head = gltrace.numbered(gltrace.dump(trace, "0-400"))
        numbers = sorted(head)
        start = next(n for n in numbers if head[n] == SETUP[0])
        before = [head[n] for n in numbers if n < start]
        self.assertTrue(all(c.startswith("glX") or c.endswith("// fake") for c in before), before)
        own = [head[n] for n in numbers if n >= start]
        self.assertEqual(own[:len(SETUP)], SETUP)
        begin = next(n for n in numbers if head[n] == "glBegin(mode = GL_POINTS)")
        self.assertEqual(begin - start, len(SETUP) - 1, "no call between")

        # Point n is the three calls from begin + 1 + 3n; the list ends right
        # after the last one.
        end = begin + 1 + 3 * POINTS
        samples = ",".join("%d-%d" % (begin + 1 + 3 * n, begin + 3 + 3 * n)
                           for n in SAMPLES if n > 100)
        rest = gltrace.numbered(gltrace.dump(trace, "%s,%d-%d" % (samples, end - 3, end + 20000)))

        found = {**{n: head[n] for n in head if n > begin}, **rest}
        for n, (normal, colour, vertex) in SAMPLES.items():
            first = begin + 1 + 3 * n
            got = point_values([found[first], found[first + 1], found[first + 2]])
            if normal is not None:
                self.assertEqual(got[0], normal, "normal of point %d" % n)
            else:
                for c in got[0]:
                    self.assertAlmostEqual(c, 1 / math.sqrt(3), places=15)
            self.assertEqual(got[1], colour, "colour of point %d" % n)
            self.assertEqual(got[2], vertex, "vertex of point %d" % n)

        after = gltrace.program_calls({n: c for n, c in rest.items() if n >= end})
        self.assertEqual(after[:len(SETUP_END)], SETUP_END)
        after = after[len(SETUP_END):]

        # Nothing is drawn or swapped before the first frame's clear.
        self.assertEqual(after[:after.index("glXSwapBuffers") + 1], FRAME)

        # One frame was drawn: the list is called once and never recorded again.
        everything = list(head.values()) + list(rest.values())
        self.assertEqual(sum(c.startswith("glCallList(") for c in everything), 1)
        self.assertEqual(sum(c.startswith("glNewList(") for c in everything), 1)
        # No vertex arrays anywhere in cube.
        for call in everything:
            self.assertNotRegex(call, r"^gl(\w+Pointer|DrawArrays|DrawElements|ArrayElement)\(")


if __name__ == "__main__":
    unittest.main(verbosity=2)
