// A GL program whose frames cost the GL a little and the processor almost
// nothing, so that a change of a few milliseconds in the swap stands out:
// each frame clears, turns the scene to its step as the programs do, fills
// the window with a few quads and swaps.
//   timing_swap_probe FRAMES
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "gl_window.h"

int main(int argc, char** argv) {
    const int frames = argc == 2 ? atoi(argv[1]) : 0;
    if (frames < 1) {
        fprintf(stderr, "usage: timing_swap_probe FRAMES\n");
        return 2;
    }
    openTestWindow("timing swap probe", 256, 256);
    glutDisplayFunc([] {});  // the frames are drawn below, one per turn of the loop
    for (int step = 1; step <= frames; ++step) {
        glutMainLoopEvent();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glRotated(step + 45.0, 0.0, 0.0, 1.0);
        for (int layer = 0; layer < 8; ++layer) {
            glColor3f(0.1f * float(layer), 0.5f, 0.25f);
            glRectf(-2.0f, -2.0f, 2.0f, 2.0f);
        }
        glPopMatrix();
        glutSwapBuffers();
    }
    return 0;
}
