#include "triangles_frame.h"

TrianglesFrame trianglesFrame(double indexCount, double seconds) {
    const double triangles = indexCount / trianglesIndicesPerTriangle;
    return {triangles, seconds, 1.0 / seconds, triangles / seconds};
}

void formatTrianglesFrame(char lines[][reportLineCapacity], const TrianglesFrame& frame) {
    formatNumberLine(lines[0], trianglesDrawnLine, frame.triangles);
    formatNumberLine(lines[1], trianglesTimeLine, frame.seconds);
    formatNumberLine(lines[2], anglesRateLine, frame.anglesPerSec);
    formatNumberLine(lines[3], trianglesRateLine, frame.trianglesPerSec);
}

void addFrame(TrianglesTotals& totals, int32_t ticks) {
    totals.ticks = int32_t(uint32_t(totals.ticks) + uint32_t(ticks));
    totals.frames += 1.0;
    totals.seconds = totals.ticks / 1000.0;
}

RunTotals summaryTotals(const TrianglesTotals& totals) {
    return {totals.frames, totals.seconds, 0.0};
}
