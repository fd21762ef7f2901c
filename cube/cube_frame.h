// The figures of a cube frame and of the run so far, and their report lines;
// no GL, so tests check them without a display.
#pragma once
#include <cstdint>

#include "metrics.h"
#include "report.h"

struct CubeFrame {
    double seconds;
    double anglesPerSec;    // one degree per step, one step per frame
    double verticesPerSec;  // the whole lattice every frame
};

constexpr int cubeFrameLineCount = 3;

CubeFrame cubeFrame(double seconds);
void formatCubeFrame(char lines[][reportLineCapacity], const CubeFrame& frame);

// The running totals, never reset; the ticks add up in a double.
struct CubeTotals {
    double ticks;
    double frames;
    double seconds;
    double vertices;
};

void addFrame(CubeTotals& totals, int32_t ticks);
RunTotals summaryTotals(const CubeTotals& totals);
