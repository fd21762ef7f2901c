"""The GL calls of cube's set-up and first frame, recorded by apitrace from the real program.

The lattice makes the trace about 50 million calls long, so only its head, a
few points in the middle and its tail are dumped: two passes over the file.
"""

import math
import os
import re
import subprocess
import unittest

from harness import ProgramTest, Run

POINTS = 256 ** 3

HELP = ["Press Key R or Press Mouse Left button to Animate.",
        "Press Key C to Animate Manually.",
        "Press Key P or Press Mouse Right button to Pause.",
        "Press Key Esc to Exit."]

SETUP = """
glShadeModel(mode = GL_SMOOTH)
glEnable(cap = GL_POINT_SMOOTH)
glEnable(cap = GL_FOG)
glEnable(cap = GL_LIGHT0)
glEnable(cap = GL_LIGHTING)
glHint(target = GL_POINT_SMOOTH_HINT, mode = GL_NICEST)
glHint(target = GL_FOG_HINT, mode = GL_NICEST)
glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)
glEnable(cap = GL_BLEND)
glEnable(cap = GL_ALPHA_TEST)
glEnable(cap = GL_AUTO_NORMAL)
glEnable(cap = GL_COLOR_MATERIAL)
glEnable(cap = GL_DITHER)
glEnable(cap = GL_SCISSOR_TEST)
glEnable(cap = GL_STENCIL_TEST)
glEnable(cap = GL_DEPTH_TEST)
glEnable(cap = GL_NORMALIZE)
glEnable(cap = GL_LINE_STIPPLE)
glPolygonMode(face = GL_FRONT, mode = GL_FILL)
glPolygonMode(face = GL_BACK, mode = GL_LINE)
glPolygonMode(face = GL_FRONT_AND_BACK, mode = GL_POINT)
glFrontFace(mode = GL_CCW)
glFrontFace(mode = GL_CW)
glEnable(cap = GL_CULL_FACE)
glCullFace(mode = GL_FRONT_AND_BACK)
glEnable(cap = GL_POLYGON_STIPPLE)
glEnableClientState(array = GL_COLOR_ARRAY)
glEnableClientState(array = GL_NORMAL_ARRAY)
glEnableClientState(array = GL_VERTEX_ARRAY)
glDrawBuffer(mode = GL_FRONT_AND_BACK)
glBlendFunc(sfactor = GL_SRC_ALPHA, dfactor = GL_ONE_MINUS_SRC_ALPHA)
glGenLists(range = 1) = 1
glNewList(list = 1, mode = GL_COMPILE)
glPushMatrix()
glPushClientAttrib(mask = GL_CLIENT_ALL_ATTRIB_BITS)
glBegin(mode = GL_POINTS)
""".strip().splitlines()

SETUP_END = """
glEnd()
glPopClientAttrib()
glPopMatrix()
glEndList()
""".strip().splitlines()

# The reshape GLUT sends when the window first shows, then frame 1 up to the overlay text.
FRAME_HEAD = """
glViewport(x = 0, y = 0, width = 1080, height = 1080)
glMatrixMode(mode = GL_PROJECTION)
glLoadIdentity()
glMatrixMode(mode = GL_MODELVIEW)
glLoadIdentity()
glClear(mask = GL_DEPTH_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_COLOR_BUFFER_BIT)
glClearColor(red = 0, green = 0, blue = 0, alpha = 0)
glClearDepth(depth = 1)
glClearStencil(s = 0)
glClearAccum(red = 0, green = 0, blue = 0, alpha = 0)
glPushMatrix()
glPushClientAttrib(mask = GL_CLIENT_ALL_ATTRIB_BITS)
glScaled(x = 1, y = 1, z = 1)
glRotated(angle = 46, x = 1, y = 1, z = 1)
glTranslated(x = -0.5, y = -0.5, z = -0.5)
glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {1.273239, 0.841471, 0.5403023, 1})
glLightfv(light = GL_LIGHT0, pname = GL_SPOT_DIRECTION, params = {1.273239, 0.841471, 0.5403023})
glLightfv(light = GL_LIGHT0, pname = GL_AMBIENT, params = {0.2701511, 0.4207355, 0.6366197, 1})
glLightfv(light = GL_LIGHT0, pname = GL_DIFFUSE, params = {0.6366197, 0.4207355, 0.2701511, 1})
glMaterialfv(face = GL_FRONT_AND_BACK, pname = GL_SPECULAR, params = {0.6366197, 0.4207355, 0.2701511, 1})
glMaterialfv(face = GL_FRONT_AND_BACK, pname = GL_SHININESS, params = &1)
glMaterialfv(face = GL_FRONT_AND_BACK, pname = GL_AMBIENT, params = {0.2701511, 0.4207355, 0.6366197, 1})
glMaterialfv(face = GL_FRONT_AND_BACK, pname = GL_DIFFUSE, params = {0.6366197, 0.4207355, 0.2701511, 1})
glMaterialfv(face = GL_FRONT_AND_BACK, pname = GL_EMISSION, params = {0.4207355, 0.6366197, 0.2701511, 1})
glLightModelfv(pname = GL_LIGHT_MODEL_AMBIENT, params = {0.2701511, 0.4207355, 0.6366197, 1})
glLightModeli(pname = GL_LIGHT_MODEL_LOCAL_VIEWER, param = 1)
glLightModeli(pname = GL_LIGHT_MODEL_TWO_SIDE, param = 1)
glLogicOp(opcode = GL_XOR)
glDisable(cap = GL_LIGHTING)
glDisable(cap = GL_DEPTH_TEST)
glMatrixMode(mode = GL_PROJECTION)
glPushMatrix()
glLoadIdentity()
glOrtho(left = 0, right = 1080, bottom = 0, top = 1080, zNear = -1, zFar = 1)
glMatrixMode(mode = GL_MODELVIEW)
glPushMatrix()
glLoadIdentity()
glColor3f(red = 0.00390625, green = 0.00390625, blue = 0.00390625)
glRasterPos2d(x = 10, y = 90)
""".strip().splitlines()

# After the text: the overlay's restore, the lattice in its own save, the
# outer restore and the swap (glutSwapBuffers flushes first).
FRAME_TAIL = """
glMatrixMode(mode = GL_PROJECTION)
glPopMatrix()
glMatrixMode(mode = GL_MODELVIEW)
glPopMatrix()
glColor4f(red = 1, green = 1, blue = 1, alpha = 1)
glEnable(cap = GL_DEPTH_TEST)
glEnable(cap = GL_LIGHTING)
glPushMatrix()
glPushClientAttrib(mask = GL_CLIENT_ALL_ATTRIB_BITS)
glCallList(list = 1)
glPopClientAttrib()
glPopMatrix()
glPopClientAttrib()
glPopMatrix()
glFlush()
glXSwapBuffers
""".strip().splitlines()

# freeglut draws each bitmap character inside its own pixel-store save.
GLYPH = re.compile(r"^(glPixelStorei|glBitmap)\(")
CALL = re.compile(r"^(\d+) (.*)$")

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


def dump(trace, calls):
    """Call number -> call text, for the given apitrace call set."""
    out = subprocess.run(["apitrace", "dump", "--color=never", "--calls=" + calls, trace],
                         check=True, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        match = CALL.match(line)
        if match:
            found[int(match.group(1))] = match.group(2)
    return found


def own_calls(numbered):
    """The program's GL calls in order: apitrace's fakes and GLX calls left out
    (the swap kept), freeglut's per-character calls folded into "glyph"."""
    out = []
    for number in sorted(numbered):
        call = numbered[number]
        if call.endswith("// fake"):
            continue
        if call.startswith("glX"):
            if call.startswith("glXSwapBuffers"):
                out.append("glXSwapBuffers")
            continue
        out.append(call)
    folded = []
    i = 0
    while i < len(out):
        if out[i] == "glPushClientAttrib(mask = GL_CLIENT_PIXEL_STORE_BIT)":
            j = i + 1
            while j < len(out) and GLYPH.match(out[j]):
                j += 1
            if j < len(out) and out[j] == "glPopClientAttrib()" and \
                    any(c.startswith("glBitmap(") for c in out[i:j]):
                folded.append("glyph")
                i = j + 1
                continue
        folded.append(out[i])
        i += 1
    return folded


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
        run.find_window("OPENGL Cube Lite 64", timeout=300)
        run.wait_for_block("window: ", 1, 4, timeout=600)
        self.assertEqual(run.finish(), 0)

        # Pass 1: the head of the set-up and the first points of the lattice.
        head = dump(trace, "0-400")
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
        rest = dump(trace, "%s,%d-%d" % (samples, end - 3, end + 20000))

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

        after = own_calls({n: c for n, c in rest.items() if n >= end})
        self.assertEqual(after[:len(SETUP_END)], SETUP_END)
        after = after[len(SETUP_END):]

        # Nothing is drawn or swapped before the first frame's clear.
        swap = after.index("glXSwapBuffers")
        frame = after[:swap + 1]
        self.assertEqual(frame[:len(FRAME_HEAD)], FRAME_HEAD)
        self.assertEqual(frame[len(frame) - len(FRAME_TAIL):], FRAME_TAIL)

        # The overlay: each newline moves the raster 18 pixels down before its
        # own glyph, and every character of the help text is one glyph.
        overlay = frame[len(FRAME_HEAD):len(frame) - len(FRAME_TAIL)]
        expected = []
        for number, line in enumerate(HELP + [""]):
            expected += ["glRasterPos2d(x = 10, y = %d)" % (72 - 18 * number), "glyph"]
            expected += ["glyph"] * len(line)
        self.assertEqual(overlay, expected)

        # One frame was drawn: the list is called once and never recorded again.
        everything = list(head.values()) + list(rest.values())
        self.assertEqual(sum(c.startswith("glCallList(") for c in everything), 1)
        self.assertEqual(sum(c.startswith("glNewList(") for c in everything), 1)
        # No vertex arrays anywhere in cube.
        for call in everything:
            self.assertNotRegex(call, r"^gl(\w+Pointer|DrawArrays|DrawElements|ArrayElement)\(")


if __name__ == "__main__":
    unittest.main(verbosity=2)
