#include "timing.h"

#include "clock.h"
#include "kernels.h"

void finishTiming(kernelTiming& timing) {
    timing.elapsedTicks = ticksBetween(timing.startTicks, timing.endTicks);
    timing.seconds = ticksToSeconds(timing.elapsedTicks);
    timing.executionsPerSecond = double(streamIterations) / timing.seconds;
}

void formatTimingLines(const kernelTiming& timing, const char* timePrefix, char* timeLine,
                       char* rateLine) {
    formatNumberLine(timeLine, timePrefix, timing.seconds, " Secs. ");
    formatNumberLine(rateLine, "It was: ", timing.executionsPerSecond / 1000000.0,
                     " Millions Executions/sec.");
}
