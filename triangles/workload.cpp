#include <GL/freeglut.h>

#include <cstdlib>
#include <new>

#include "fill.h"
#include "shell.h"

double* attributeBuffer = nullptr;

namespace {

// Allocated before anything is printed or opened, so a machine without the
// memory learns it at once instead of after the banner.
__attribute__((constructor(150))) void allocateAttributes() {
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
double anglesPerSec = 0.0;
double trianglesPerSec = 0.0;
int32_t totalTicks = 0;

void advanceStep() { stepCounter += 1.0; }
double stepValue() { return stepCounter; }

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
    fillAttributes(attributeBuffer, attributeCount);
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
    anglesPerSec = 1.0 / frameSeconds;
    trianglesPerSec = (indexCount / 6.0) / frameSeconds;

    char lines[4][reportLineCapacity];
    formatNumberLine(lines[0], "It drew ", indexCount / 6.0, " Triangles.");
    formatNumberLine(lines[1], "It spent: ", frameSeconds, " Secs. ");
    formatNumberLine(lines[2], "It was: ", anglesPerSec, " Angles/sec.");
    formatNumberLine(lines[3], "It was: ", trianglesPerSec, " Triangles/sec.");
    reportFrame(lines, 4);

    addTrianglesFrame(frameTicks, totalTicks);
}
