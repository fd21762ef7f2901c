#pragma once
#include <cstdint>

#include "report.h"

// One kernel's measurement; every frame overwrites all of it.
struct kernelTiming {
    int32_t startTicks;
    int32_t endTicks;
    int32_t elapsedTicks;
    double seconds;
    double executionsPerSecond;
};

// Elapsed ticks, seconds and rate from startTicks and endTicks. A kernel that
// ends within one tick gives 0 seconds and an infinite rate, reported as is.
void finishTiming(kernelTiming& timing);

// The time line (timePrefix, seconds, " Secs. ") and the rate line of a
// kernel, each into reportLineCapacity bytes.
void formatTimingLines(const kernelTiming& timing, const char* timePrefix, char* timeLine,
                       char* rateLine);
