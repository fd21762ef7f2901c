#include "workload.h"

#include <GL/freeglut.h>

#include "kernels.h"
#include "shell.h"

GLuint floatStreamList = 0;
GLuint integerStreamList = 0;
GLuint logicStreamList = 0;

kernelTiming floatTiming{};
kernelTiming integerTiming{};
kernelTiming logicTiming{};

void advanceStep() { stepCounter += 1; }
double stepValue() { return double(stepCounter); }

namespace {

// A list that only saves and restores the modelview matrix: calling it costs
// the GL a little work at the start of each measured interval and changes
// nothing. The client-attribute pair runs at once and is not recorded.
GLuint buildEmptyList(GLsizei range) {
    const GLuint name = glGenLists(range);
    glNewList(name, GL_COMPILE);
    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glPopClientAttrib();
    glPopMatrix();
    glEndList();
    return name;
}

// The clock brackets the GL calls, the kernel and one swap; the report lines
// of the kernel come after its second reading, so output speed stays out of
// every measured interval.
int currentWindow() { return glutGetWindow(); }

void runKernelBlock(void (*kernel)(), GLuint list, kernelTiming& timing, int kernelIndex) {
    timing.startTicks = clockTicks();
    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glCallList(list);
    kernel();
    glPopClientAttrib();
    glPopMatrix();
    glutSwapBuffers();
    timing.endTicks = clockTicks();
    finishTiming(timing);
    reportKernelBlock(currentWindow, kernelIndex, timing);
}

}  // namespace

void setupStreaming() {
    setupShadingFogAndLight();
    glEnable(GL_BLEND);
    glEnable(GL_COLOR_LOGIC_OP);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_AUTO_NORMAL);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_DEPTH_TEST);
    // Both buffers, so the overlay drawn once stays whatever the swaps show.
    glDrawBuffer(GL_FRONT_AND_BACK);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Ranges of 1, 2 and 3 names; only the first of each is used.
    floatStreamList = buildEmptyList(1);
    integerStreamList = buildEmptyList(2);
    logicStreamList = buildEmptyList(3);
}

void onDisplay() {
    clearFrame();
    drawHelpOverlay();
    glutSwapBuffers();

    runKernelBlock(floatStream, floatStreamList, floatTiming, 0);
    runKernelBlock(integerStream, integerStreamList, integerTiming, 1);
    runKernelBlock(logicStream, logicStreamList, logicTiming, 2);
    reportFrameEnd();
}
