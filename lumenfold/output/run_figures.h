// A run's figures with their statistics, as every format lists them.
#pragma once

#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "model/results_file.h"

// One figure of a run with its statistics over the frames (for streaming,
// over the kernel's blocks).
struct Figure {
    std::string key;     // its JSON key, e.g. "frameSeconds"
    std::string label;   // for people, e.g. "frame time (s)"
    Statistics stats;
};

// The run's per-frame figures, in the order of its program's list.
std::vector<Figure> runFigures(const ResultsRun& run);
// triangles: its rate at each step it drew ("trianglesPerSecondStep3"); none for the others.
std::vector<Figure> stepFigures(const ResultsRun& run);

// Statistics' names and values in the order every table lists them.
constexpr int statisticCount = 6;
extern const char* const statisticNames[statisticCount];
double statisticValue(const Statistics& stats, int which);
