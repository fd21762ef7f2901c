// The streaming workload's program-wide state and hooks, shared by its table,
// the program and the GL tests that drive the same objects. The kernels and
// the step counter are in kernels.h.
#pragma once
#include <GL/gl.h>

#include "timing.h"

extern GLuint floatStreamList;
extern GLuint integerStreamList;
extern GLuint logicStreamList;
extern kernelTiming floatTiming;
extern kernelTiming integerTiming;
extern kernelTiming logicTiming;

// One-time GL state and the three lists; needs the window's context current
// and draws nothing.
void setupStreaming();
void onDisplay();
void advanceStep();
double stepValue();
