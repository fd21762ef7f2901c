#include "shell.h"
#include "workload.h"

const ProgramValues programValues = {
    "results_cube_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
    "Quorvex :: Lumenfold Benchmark Graphics Cube Lite for Windows on x86 64bit system 2019.12.06.",
    {"Press Key R or Press Mouse Left button to Animate.", "Press Key C to Animate Manually.",
     "Press Key P or Press Mouse Right button to Pause.", "Press Key Esc to Exit."},
    1080, 1080, 350, 65,
    "OPENGL Cube Lite 64",
    true, 90.0,   // overlay grey follows the step, from 90 px
    true,         // glutPostWindowRedisplay(windowId)
    true,         // C steps
    false,        // R does not redraw by itself
    false,        // reshape: projection, then modelview
    3, 0, 1,      // summary lines; empty lines before and after the path line
    setupCube,
};
