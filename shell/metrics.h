#pragma once
#include <cstdint>

#include "clock.h"
#include "report.h"
#include "text_format.h"

// The timing of the frame being drawn (triangles and cube): started first
// thing in the frame, stopped right after the buffer swap, so report lines
// never fall inside it.
extern int32_t frameStartTicks;
extern int32_t frameTicks;
extern double frameSeconds;
void startFrameTiming();
void stopFrameTiming();

// What the final summary reports of a whole run. Each program keeps its own
// running totals, in its own types, and hands them over in this form.
struct RunTotals {
    double frames;
    double seconds;
    double vertices;  // cube only
};

constexpr int maxSummaryLines = 3;

// The lines of the final summary of the given kind, without the empty line
// that closes it; returns how many. No guard against a zero total: a run
// with no frame reports 0/0 as it is.
int formatSummaryLines(char lines[][reportLineCapacity], SummaryKind kind, const RunTotals& totals);
