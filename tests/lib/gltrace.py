"""Reads `apitrace dump` output as the program's own GL calls, and spells the
calls the three programs issue from the shell's shared code, so that a test
states only what its own program does differently."""

import re
import subprocess

CALL = re.compile(r"^(\d+) (.*)$")
# freeglut draws each bitmap character inside its own pixel-store save.
GLYPH_PART = re.compile(r"^(glPixelStorei|glBitmap)\(")
GLYPH_SAVE = "glPushClientAttrib(mask = GL_CLIENT_PIXEL_STORE_BIT)"


def dump(trace, calls=None):
    """The text of `apitrace dump`, of the whole trace or of an apitrace call set:
    a whole cube trace is too long to dump."""
    command = ["apitrace", "dump", "--color=never"]
    if calls:
        command.append("--calls=" + calls)
    return subprocess.run(command + [trace], check=True, capture_output=True, text=True).stdout


def numbered(text):
    """Call number -> call text, for every call line of a dump."""
    found = {}
    for line in text.splitlines():
        match = CALL.match(line)
        if match:
            found[int(match.group(1))] = match.group(2)
    return found


def program_calls(calls):
    """The program's calls in order, from call number -> text: apitrace's fakes
    and GLX calls left out but the swap, kept as "glXSwapBuffers", and freeglut's
    per-character calls folded into one "glyph" each."""
    out = []
    for number in sorted(calls):
        call = calls[number]
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
        if out[i] == GLYPH_SAVE:
            j = i + 1
            while j < len(out) and GLYPH_PART.match(out[j]):
                j += 1
            if j < len(out) and out[j] == "glPopClientAttrib()" and \
                    any(c.startswith("glBitmap(") for c in out[i:j]):
                folded.append("glyph")
                i = j + 1
                continue
        folded.append(out[i])
        i += 1
    return folded


def lines(text):
    return text.strip().splitlines()


SHADING_FOG_AND_LIGHT = lines("""
glShadeModel(mode = GL_SMOOTH)
glEnable(cap = GL_POINT_SMOOTH)
glEnable(cap = GL_FOG)
glEnable(cap = GL_LIGHT0)
glEnable(cap = GL_LIGHTING)
glHint(target = GL_POINT_SMOOTH_HINT, mode = GL_NICEST)
glHint(target = GL_FOG_HINT, mode = GL_NICEST)
glHint(target = GL_PERSPECTIVE_CORRECTION_HINT, mode = GL_NICEST)
""")

# Triangles and cube; streaming enables its own set.
SCENE_STAGES = lines("""
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
""")

CLIENT_ARRAYS = lines("""
glEnableClientState(array = GL_COLOR_ARRAY)
glEnableClientState(array = GL_NORMAL_ARRAY)
glEnableClientState(array = GL_VERTEX_ARRAY)
""")

DRAW_BUFFER_AND_BLEND = lines("""
glDrawBuffer(mode = GL_FRONT_AND_BACK)
glBlendFunc(sfactor = GL_SRC_ALPHA, dfactor = GL_ONE_MINUS_SRC_ALPHA)
""")

SAVE = ["glPushMatrix()", "glPushClientAttrib(mask = GL_CLIENT_ALL_ATTRIB_BITS)"]
RESTORE = ["glPopClientAttrib()", "glPopMatrix()"]
LIST_END = RESTORE + ["glEndList()"]


def list_start(names, name):
    """Reserving `names` list names, the first being `name`, and opening its recording."""
    return ["glGenLists(range = %d) = %d" % (names, name),
            "glNewList(list = %d, mode = GL_COMPILE)" % name] + SAVE


def called_list(name):
    return SAVE + ["glCallList(list = %d)" % name] + RESTORE


def reshape(width, height, modelview_first=False):
    first, second = ("GL_MODELVIEW", "GL_PROJECTION") if modelview_first else \
        ("GL_PROJECTION", "GL_MODELVIEW")
    return ["glViewport(x = 0, y = 0, width = %d, height = %d)" % (width, height),
            "glMatrixMode(mode = %s)" % first, "glLoadIdentity()",
            "glMatrixMode(mode = %s)" % second, "glLoadIdentity()"]


CLEAR = lines("""
glClear(mask = GL_DEPTH_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_STENCIL_BUFFER_BIT | GL_COLOR_BUFFER_BIT)
glClearColor(red = 0, green = 0, blue = 0, alpha = 0)
glClearDepth(depth = 1)
glClearStencil(s = 0)
glClearAccum(red = 0, green = 0, blue = 0, alpha = 0)
""")

# Step 1 of triangles and cube: 46 degrees; the light and material values as floats.
STEP_1_SCENE = lines("""
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
""")

OVERLAY_CLOSE = lines("""
glMatrixMode(mode = GL_PROJECTION)
glPopMatrix()
glMatrixMode(mode = GL_MODELVIEW)
glPopMatrix()
glColor4f(red = 1, green = 1, blue = 1, alpha = 1)
glEnable(cap = GL_DEPTH_TEST)
glEnable(cap = GL_LIGHTING)
""")

# glutSwapBuffers flushes before it swaps.
SWAP = ["glFlush()", "glXSwapBuffers"]


def overlay(width, height, grey, top, help_lines):
    """The help text over a window of width x height in the given grey (as
    apitrace prints it), its first raster position at `top`: each newline moves
    the raster 18 pixels down before its own glyph, and every character of the
    help text is one glyph."""
    calls = ["glDisable(cap = GL_LIGHTING)", "glDisable(cap = GL_DEPTH_TEST)",
             "glMatrixMode(mode = GL_PROJECTION)", "glPushMatrix()", "glLoadIdentity()",
             "glOrtho(left = 0, right = %d, bottom = 0, top = %d, zNear = -1, zFar = 1)"
             % (width, height),
             "glMatrixMode(mode = GL_MODELVIEW)", "glPushMatrix()", "glLoadIdentity()",
             "glColor3f(red = %s, green = %s, blue = %s)" % (grey, grey, grey),
             "glRasterPos2d(x = 10, y = %d)" % top]
    for number, line in enumerate(help_lines + [""]):
        calls += ["glRasterPos2d(x = 10, y = %d)" % (top - 18 * (number + 1)), "glyph"]
        calls += ["glyph"] * len(line)
    return calls + OVERLAY_CLOSE
