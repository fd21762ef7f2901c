"""The GL calls of triangles' set-up and first frame, recorded by apitrace from the real program."""

import os
import re
import subprocess
import unittest

from harness import ProgramTest, Run

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
glFrontFace(mode = GL_CCW)
glFrontFace(mode = GL_CW)
glEnable(cap = GL_CULL_FACE)
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
glPopClientAttrib()
glPopMatrix()
glEndList()
""".strip().splitlines()

# Step 1: 46 degrees; the light and material values as floats.
FRAME_HEAD = """
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
glCallList(list = 1)
glDrawElements(mode = GL_TRIANGLES, count = 7200, type = GL_UNSIGNED_BYTE, indices = blob(7200))
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

FRAME_TAIL = """
glMatrixMode(mode = GL_PROJECTION)
glPopMatrix()
glMatrixMode(mode = GL_MODELVIEW)
glPopMatrix()
glColor4f(red = 1, green = 1, blue = 1, alpha = 1)
glEnable(cap = GL_DEPTH_TEST)
glEnable(cap = GL_LIGHTING)
glPopClientAttrib()
glPopMatrix()
glFlush()
glXSwapBuffers
""".strip().splitlines()  # glutSwapBuffers flushes before it swaps

# freeglut draws each bitmap character inside its own pixel-store save.
GLYPH = re.compile(r"^(glPushClientAttrib\(mask = GL_CLIENT_PIXEL_STORE_BIT\)|glPixelStorei\(.*|"
                   r"glBitmap\(.*)$")


def calls(dump):
    """The dumped calls as text without call numbers, addresses or apitrace's own fakes."""
    out = []
    for line in dump.splitlines():
        match = re.match(r"^\d+ (.*)$", line)
        if not match or line.endswith("// fake"):
            continue
        call = match.group(1)
        if call.startswith("glX"):
            if call.startswith("glXSwapBuffers"):
                out.append("glXSwapBuffers")
            continue
        out.append(call)
    return out


def overlay_glyphs(sequence):
    """Folds freeglut's per-character calls into one "glyph" entry each."""
    out = []
    i = 0
    while i < len(sequence):
        if sequence[i] == "glPushClientAttrib(mask = GL_CLIENT_PIXEL_STORE_BIT)":
            j = i + 1
            while j < len(sequence) and GLYPH.match(sequence[j]):
                j += 1
            if j < len(sequence) and sequence[j] == "glPopClientAttrib()" and \
                    any(s.startswith("glBitmap(") for s in sequence[i:j]):
                out.append("glyph")
                i = j + 1
                continue
        out.append(sequence[i])
        i += 1
    return out


class TrianglesCalls(ProgramTest):

    def test_setup_and_first_frame_call_for_call(self):
        trace = "/tmp/lumenfold-triangles-%d.trace" % os.getpid()
        self.addCleanup(lambda: os.path.exists(trace) and os.remove(trace))
        run = Run("triangles", self.xvfb, wrapper=["apitrace", "trace", "-o", trace])
        self.runs.append(run)
        run.find_window("OPENGL Triangles Lite 64")
        run.wait_for_block("It drew ", 1, 4)
        self.assertEqual(run.finish(), 0)

        dump = subprocess.run(["apitrace", "dump", "--color=never", trace], check=True,
                              capture_output=True, text=True).stdout
        sequence = overlay_glyphs(calls(dump))

        start = sequence.index("glShadeModel(mode = GL_SMOOTH)")
        self.assertEqual(sequence[start:start + len(SETUP)], SETUP)
        # The reshape that GLUT sends when the window first shows.
        after = sequence[start + len(SETUP):]
        self.assertEqual(after[:5], ["glViewport(x = 0, y = 0, width = 1080, height = 1080)",
                                     "glMatrixMode(mode = GL_PROJECTION)", "glLoadIdentity()",
                                     "glMatrixMode(mode = GL_MODELVIEW)", "glLoadIdentity()"])
        frame = after[5:after.index("glXSwapBuffers") + 1]
        self.assertEqual(frame[:len(FRAME_HEAD)], FRAME_HEAD)
        self.assertEqual(frame[len(frame) - len(FRAME_TAIL):], FRAME_TAIL)

        # The overlay: each newline moves the raster 18 pixels down before its
        # own glyph, and every character of the help text is one glyph.
        overlay = frame[len(FRAME_HEAD):len(frame) - len(FRAME_TAIL)]
        expected = []
        for number, line in enumerate(HELP + [""]):
            expected += ["glRasterPos2d(x = 10, y = %d)" % (72 - 18 * number), "glyph"]
            if line:
                expected += ["glyph"] * len(line)
        self.assertEqual(overlay, expected)

        # No buffer objects: the vertex data stays in client memory.
        self.assertNotRegex(dump, r"glBindBuffer|glGenBuffers|glBufferData")
        # The light is never handed an emission vector.
        self.assertNotIn("glLightfv(light = GL_LIGHT0, pname = GL_EMISSION", dump)


if __name__ == "__main__":
    unittest.main(verbosity=2)
