#include "shell.h"

void setupStreaming();

const ProgramValues programValues = {
    "results_streaming_lite_windows @ local date %Y.%m.%d time %H.%M.%S.txt",
    "Quorvex :: Lumenfold Benchmark Graphics Streaming Lite for Windows on x86_64bit system 2019.12.06.",
    {"Press Key R or Press Mouse Left button to Run Automatically.", "Press Key C to Run Manually.",
     "Press Key P or Press Mouse Right button to Pause.", "Press Key Esc to Exit."},
    550, 150, 350, 65,
    "OPENGL Streaming Lite 64",
    false, 100.0,  // white overlay from 100 px
    false,         // glutPostRedisplay()
    false,         // C only redraws: the step belongs to the idle callback
    true,          // R also redraws at once
    true,          // reshape: modelview, then projection
    0, 0, 1,       // no summary; empty lines before and after the path line
    setupStreaming,
};
