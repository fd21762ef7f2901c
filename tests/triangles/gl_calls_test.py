"""The GL calls of triangles' set-up and first frame, recorded by apitrace from the real program."""

import os
import unittest

import gltrace
from harness import ProgramTest, Run
from program_text import ANIMATE_HELP, TITLES

SETUP = (gltrace.SHADING_FOG_AND_LIGHT + gltrace.SCENE_STAGES + gltrace.lines("""
glPolygonMode(face = GL_FRONT, mode = GL_FILL)
glPolygonMode(face = GL_BACK, mode = GL_LINE)
glFrontFace(mode = GL_CCW)
glFrontFace(mode = GL_CW)
glEnable(cap = GL_CULL_FACE)
glEnable(cap = GL_POLYGON_STIPPLE)
""") + gltrace.CLIENT_ARRAYS + gltrace.DRAW_BUFFER_AND_BLEND
         + gltrace.list_start(1, 1) + gltrace.LIST_END)

FRAME = (gltrace.CLEAR + gltrace.SAVE + gltrace.STEP_1_SCENE + gltrace.lines("""
glCallList(list = 1)
glDrawElements(mode = GL_TRIANGLES, count = 7200, type = GL_UNSIGNED_BYTE, indices = blob(7200))
""") + gltrace.overlay(1080, 1080, "0.00390625", 90, ANIMATE_HELP) + gltrace.RESTORE + gltrace.SWAP)


class TrianglesCalls(ProgramTest):

    def test_setup_and_first_frame_call_for_call(self):
        trace = "/tmp/lumenfold-triangles-%d.trace" % os.getpid()
        self.addCleanup(lambda: os.path.exists(trace) and os.remove(trace))
        run = Run("triangles", self.xvfb, wrapper=["apitrace", "trace", "-o", trace])
        self.runs.append(run)
        run.find_window(TITLES["triangles"])
        run.wait_for_block("It drew ", 1, 4)
        self.assertEqual(run.finish(), 0)

        dump = gltrace.dump(trace)
        sequence = gltrace.program_calls(gltrace.numbered(dump))

        start = sequence.index(SETUP[0])
        self.assertEqual(sequence[start:start + len(SETUP)], SETUP)
        # The reshape that GLUT sends when the window first shows.
        after = sequence[start + len(SETUP):]
        self.assertEqual(after[:5], gltrace.reshape(1080, 1080))
        self.assertEqual(after[5:after.index("glXSwapBuffers") + 1], FRAME)

        # No buffer objects: the vertex data stays in client memory.
        self.assertNotRegex(dump, r"glBindBuffer|glGenBuffers|glBufferData")
        # The light is never handed an emission vector.
        self.assertNotIn("glLightfv(light = GL_LIGHT0, pname = GL_EMISSION", dump)


if __name__ == "__main__":
    unittest.main(verbosity=2)
