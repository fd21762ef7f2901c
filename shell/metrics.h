#pragma once
#include <cstdint>

#include "clock.h"
#include "report.h"

// Vertices in one cube frame: the 256^3 lattice.
constexpr double verticesPerFrame = 16777216.0;

// The timing of the frame being drawn (triangles and cube): started first
// thing in the frame, stopped right after the buffer swap, so report lines
// never fall inside it.
extern int32_t frameStartTicks;
extern int32_t frameTicks;
extern double frameSeconds;
void startFrameTiming();
void stopFrameTiming();

// Running totals over the frames timed so far; never reset.
extern double frameCount;
extern double totalSeconds;
extern double totalVertices;

// Adds one frame. triangles sums its ticks in a 32-bit integer, cube in a
// double; each program owns its totalTicks in its own type.
void addTrianglesFrame(int32_t ticks, int32_t& totalTicks);
void addCubeFrame(int32_t ticks, double& totalTicks);

// The first summaryLines lines of the final summary (2: time and angles;
// 3: and vertices), without the empty line that closes it. No guard against
// a zero total: a run with no frame reports 0/0 as it is.
void formatSummaryLines(char lines[][reportLineCapacity], int summaryLines);
