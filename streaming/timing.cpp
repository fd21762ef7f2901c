#include "timing.h"

#include "clock.h"
#include "kernels.h"

void finishTiming(kernelTiming& timing) {
    timing.elapsedTicks = ticksBetween(timing.startTicks, timing.endTicks);
    timing.seconds = ticksToSeconds(timing.elapsedTicks);
    timing.executionsPerSecond = double(streamIterations) / timing.seconds;
}

void formatTimingLines(const kernelTiming& timing, int kernel, char* timeLine, char* rateLine) {
    formatNumberLine(timeLine, kernelTimeLines[kernel], timing.seconds);
    formatNumberLine(rateLine, kernelRateLine, timing.executionsPerSecond / 1000000.0);
}

void reportKernelBlock(WindowNumber windowNumber, int kernel, const kernelTiming& timing) {
    char timeLine[reportLineCapacity];
    char rateLine[reportLineCapacity];
    formatTimingLines(timing, kernel, timeLine, rateLine);

    consoleWindowLine(windowNumber);
    resultsWindowLine(windowNumber);
    consoleLine(kernelNameLines[kernel]);
    resultsLine(kernelNameLines[kernel]);
    consoleLine(timeLine);
    consoleLine(rateLine);
    resultsLine(timeLine);
    resultsLine(rateLine);
    consoleLine("");
    resultsLine("");
}

void reportFrameEnd() {
    consoleLine("");
    resultsLine("");
    consoleLine("");
    resultsLine("");
}
