#pragma once
#include <cstdint>

// Real milliseconds since the process started, from a monotonic clock, as a
// 32-bit count. Processor time would hide waits on the GL and the display.
int32_t clockTicks();

// Whole milliseconds between two readings, as 32-bit signed difference.
int32_t ticksBetween(int32_t start, int32_t end);

inline double ticksToSeconds(int32_t ticks) { return ticks / 1000.0; }
