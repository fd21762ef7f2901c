#pragma once
#include <cstdint>

#include "report.h"
#include "sinks.h"

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

// The time line and the rate line of kernel 0 (float), 1 (integer) or 2
// (logic), each into reportLineCapacity bytes.
void formatTimingLines(const kernelTiming& timing, int kernel, char* timeLine, char* rateLine);

// A kernel's block to both sinks: the window line, the kernel's name line,
// its time and rate lines, one empty line.
void reportKernelBlock(WindowNumber windowNumber, int kernel, const kernelTiming& timing);
// The two empty lines that close a frame, to both sinks.
void reportFrameEnd();
