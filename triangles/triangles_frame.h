// The figures of a triangles frame and of the run so far, and their report
// lines; no GL, so tests check them without a display.
#pragma once
#include <cstdint>

#include "metrics.h"
#include "report.h"

struct TrianglesFrame {
    double triangles;        // indices drawn / 6
    double seconds;
    double anglesPerSec;     // one degree per step, one step per frame
    double trianglesPerSec;
};

constexpr int trianglesFrameLineCount = 4;

TrianglesFrame trianglesFrame(double indexCount, double seconds);
void formatTrianglesFrame(char lines[][reportLineCapacity], const TrianglesFrame& frame);

// The running totals, never reset. The ticks add up in a 32-bit integer,
// wrapping as one would.
struct TrianglesTotals {
    int32_t ticks;
    double frames;
    double seconds;
};

void addFrame(TrianglesTotals& totals, int32_t ticks);
RunTotals summaryTotals(const TrianglesTotals& totals);
