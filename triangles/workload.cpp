#include "workload.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "fill.h"
#include "shell.h"
#include "startup_order.h"

double* attributeBuffer = nullptr;

namespace {

// Allocated before anything is printed or opened, so a machine without the
// memory learns it at once instead of after the banner; fill settings that
// cannot be honoured are refused just as early.
__attribute__((constructor(workloadStartPriority))) void allocateAttributes() {
    if (const char* problem = fillSettingsProblem()) {
        fprintf(stderr, "triangles: %s\n", problem);
        exit(1);
    }
    attributeBuffer = provisionAttributeBuffer(attributeHugePages);
    if (attributeBuffer == nullptr) {
        fprintf(stderr, "triangles: cannot allocate the %zu-byte attribute buffer.\n",
                attributeBytes);
        exit(1);
    }
}

}  // namespace

double stepCounter = 1.0;
GLuint sceneList = 0;

double indexCount = 0.0;
TrianglesFrame lastFrame{};
TrianglesTotals totals{};

void advanceStep() { stepCounter += 1.0; }
double stepValue() { return stepCounter; }
RunTotals runTotals() { return summaryTotals(totals); }

// Started with the set-up clock, so the reported set-up time holds the whole
// fill, and finished where the buffer is first needed.
void startTrianglesFill() { startAttributeFill(attributeBuffer, attributeCount); }

void setupTriangles() {
    setupShadingFogAndLight();
    enableSceneStages();
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);
    glFrontFace(GL_CCW);
    glFrontFace(GL_CW);
    glEnable(GL_CULL_FACE);
    glEnable(GL_POLYGON_STIPPLE);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    // The GL reads client arrays only when a frame draws, so the pointers may
    // precede the fill.
    glColorPointer(3, GL_DOUBLE, 0, attributeBuffer);
    glVertexPointer(3, GL_DOUBLE, 0, attributeBuffer);
    glNormalPointer(GL_DOUBLE, 0, attributeBuffer);
    glDrawBuffer(GL_FRONT_AND_BACK);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    sceneList = glGenLists(1);
    glNewList(sceneList, GL_COMPILE);
    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    finishAttributeFill(attributeBuffer, attributeCount);
    glPopClientAttrib();
    glPopMatrix();
    glEndList();
}

void onDisplay() {
    startFrameTiming();
    clearFrame();
    indexCount = indexCountForStep(stepCounter);

    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    applyStepScene(stepCounter);
    glCallList(sceneList);
    glDrawElements(GL_TRIANGLES, GLsizei(indexCount), GL_UNSIGNED_BYTE, attributeBuffer);
    drawHelpOverlay();
    glPopClientAttrib();
    glPopMatrix();
    glutSwapBuffers();

    stopFrameTiming();
    lastFrame = trianglesFrame(indexCount, frameSeconds);
    char lines[trianglesFrameLineCount][reportLineCapacity];
    formatTrianglesFrame(lines, lastFrame);
    reportFrame(lines, trianglesFrameLineCount);

    addFrame(totals, frameTicks);
}
