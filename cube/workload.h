#pragma once
#include <GL/gl.h>
#include <cstdint>

// The cube workload's program-wide state, shared by the table, the program
// and the GL tests that drive the same objects.
extern double stepCounter;
extern GLuint cubeList;
extern double totalTicks;
extern double anglesPerSec;
extern double vertexPerSec;

// One-time GL state and the recording of the lattice into cubeList; needs
// the window's context current and draws nothing.
void setupCube();
