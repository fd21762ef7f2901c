// The cube workload's program-wide state and hooks, shared by its table, the
// program and the GL tests that drive the same objects.
#pragma once
#include <GL/gl.h>

#include "cube_frame.h"

extern double stepCounter;
extern GLuint cubeList;
extern CubeFrame lastFrame;
extern CubeTotals totals;

// One-time GL state and the recording of the lattice into cubeList; needs
// the window's context current and draws nothing.
void setupCube();
void onDisplay();
void advanceStep();
double stepValue();
RunTotals runTotals();
