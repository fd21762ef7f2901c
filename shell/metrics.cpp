#include "metrics.h"

int32_t frameStartTicks = 0;
int32_t frameTicks = 0;
double frameSeconds = 0.0;

void startFrameTiming() { frameStartTicks = clockTicks(); }

void stopFrameTiming() {
    frameTicks = ticksBetween(frameStartTicks, clockTicks());
    frameSeconds = ticksToSeconds(frameTicks);
}

int formatSummaryLines(char lines[][reportLineCapacity], SummaryKind kind, const RunTotals& totals) {
    if (kind == SummaryKind::none) return 0;
    formatNumberLine(lines[0], totalTimeLine, totals.seconds);
    formatNumberLine(lines[1], averageAnglesLine, totals.frames / totals.seconds);
    if (kind == SummaryKind::timeAndAngles) return 2;
    formatNumberLine(lines[2], averageVerticesLine, totals.vertices / totals.seconds);
    return 3;
}
