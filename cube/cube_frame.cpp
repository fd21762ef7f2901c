#include "cube_frame.h"

#include "lattice.h"

static_assert(double(latticePointCount) == cubeVerticesPerFrame,
              "a frame reports the points the lattice records");

CubeFrame cubeFrame(double seconds) {
    return {seconds, 1.0 / seconds, cubeVerticesPerFrame / seconds};
}

void formatCubeFrame(char lines[][reportLineCapacity], const CubeFrame& frame) {
    formatNumberLine(lines[0], cubeTimeLine, frame.seconds);
    formatNumberLine(lines[1], anglesRateLine, frame.anglesPerSec);
    formatNumberLine(lines[2], verticesRateLine, frame.verticesPerSec);
}

void addFrame(CubeTotals& totals, int32_t ticks) {
    totals.ticks += ticks;
    totals.frames += 1.0;
    totals.seconds = totals.ticks / 1000.0;
    totals.vertices = totals.frames * cubeVerticesPerFrame;
}

RunTotals summaryTotals(const CubeTotals& totals) {
    return {totals.frames, totals.seconds, totals.vertices};
}
