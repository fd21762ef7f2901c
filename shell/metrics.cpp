#include "metrics.h"

int32_t frameStartTicks = 0;
int32_t frameTicks = 0;
double frameSeconds = 0.0;

void startFrameTiming() { frameStartTicks = clockTicks(); }

void stopFrameTiming() {
    frameTicks = ticksBetween(frameStartTicks, clockTicks());
    frameSeconds = ticksToSeconds(frameTicks);
}

double frameCount = 0.0;
double totalSeconds = 0.0;
double totalVertices = 0.0;

void addTrianglesFrame(int32_t ticks, int32_t& totalTicks) {
    totalTicks = int32_t(uint32_t(totalTicks) + uint32_t(ticks));
    frameCount += 1.0;
    totalSeconds = totalTicks / 1000.0;
}

void addCubeFrame(int32_t ticks, double& totalTicks) {
    totalTicks += ticks;
    frameCount += 1.0;
    totalSeconds = totalTicks / 1000.0;
    totalVertices = frameCount * verticesPerFrame;
}

void formatSummaryLines(char lines[][reportLineCapacity], int summaryLines) {
    if (summaryLines >= 1)
        formatNumberLine(lines[0], "Total running time:  ", totalSeconds, " Secs. ");
    if (summaryLines >= 2)
        formatNumberLine(lines[1], "Average Angles/Sec: ", frameCount / totalSeconds, " Angles/Sec.");
    if (summaryLines >= 3)
        formatNumberLine(lines[2], "Average Vertex/Sec: ", totalVertices / totalSeconds, " Vertex/Sec.");
}
