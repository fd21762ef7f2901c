#include "workload.h"

#include <GL/freeglut.h>

#include "lattice.h"
#include "shell.h"

double stepCounter = 1.0;
GLuint cubeList = 0;

CubeFrame lastFrame{};
CubeTotals totals{};

void advanceStep() { stepCounter += 1.0; }
double stepValue() { return stepCounter; }
RunTotals runTotals() { return summaryTotals(totals); }

namespace {

// The lattice is computed elsewhere, without GL; here each point is only
// forwarded, through the double-precision entry points.
void recordPoint(const double normal[3], const double colour[3], const double vertex[3]) {
    glNormal3d(normal[0], normal[1], normal[2]);
    glColor3d(colour[0], colour[1], colour[2]);
    glVertex3d(vertex[0], vertex[1], vertex[2]);
}

}  // namespace

void setupCube() {
    setupShadingFogAndLight();
    enableSceneStages();
    // Each later call overrides the one before; all are issued all the same,
    // so the driver sees the same sequence as on every other machine.
    glPolygonMode(GL_FRONT, GL_FILL);
    glPolygonMode(GL_BACK, GL_LINE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
    glFrontFace(GL_CCW);
    glFrontFace(GL_CW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT_AND_BACK);  // culls polygons only; the lattice is points
    glEnable(GL_POLYGON_STIPPLE);
    // Enabled, but no pointer is ever set and nothing draws from arrays.
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawBuffer(GL_FRONT_AND_BACK);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    cubeList = glGenLists(1);
    glNewList(cubeList, GL_COMPILE);
    glPushMatrix();
    // Client state is not compiled into lists: this push and its pop act now.
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glBegin(GL_POINTS);
    emitLattice(recordPoint);
    glEnd();
    glPopClientAttrib();
    glPopMatrix();
    glEndList();
}

void onDisplay() {
    startFrameTiming();
    clearFrame();

    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    applyStepScene(stepCounter);
    // Before the lattice: the overlay restores the step's transform for it.
    drawHelpOverlay();
    glPushMatrix();
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glCallList(cubeList);
    glPopClientAttrib();
    glPopMatrix();
    glPopClientAttrib();
    glPopMatrix();
    glutSwapBuffers();

    stopFrameTiming();
    lastFrame = cubeFrame(frameSeconds);
    char lines[cubeFrameLineCount][reportLineCapacity];
    formatCubeFrame(lines, lastFrame);
    reportFrame(lines, cubeFrameLineCount);

    addFrame(totals, frameTicks);
}
