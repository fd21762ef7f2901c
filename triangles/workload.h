// The triangles workload's program-wide state and hooks, shared by its table,
// the program and the GL tests that drive the same objects.
#pragma once
#include <GL/gl.h>

#include "triangles_frame.h"

extern double* attributeBuffer;
extern double stepCounter;
extern GLuint sceneList;
extern double indexCount;
extern TrianglesFrame lastFrame;
extern TrianglesTotals totals;

// Begins the fill of the attribute buffer; needs no window.
void startTrianglesFill();
// One-time GL state, the end of the fill (all of it, when startTrianglesFill
// was not called) and the scene list; needs the window's context current and
// draws nothing.
void setupTriangles();
void onDisplay();
void advanceStep();
double stepValue();
RunTotals runTotals();
