// A run's figures with their statistics, as every format lists them.
#pragma once

#include <string>
#include <vector>

#include "analysis/frame_tails.h"
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

// The run's frame-time tails (over frameSeconds' samples), each a value or
// why there is none, in tailFigures' order.
struct RunTail {
    const TailFigureSpec* spec;
    TailValue value;
};
std::vector<RunTail> runTails(const ResultsRun& run);
bool anyTail(const std::vector<RunTail>& tails);
// "frame-time tails: p99 frame time (s) 0.031, ...; p99.9 frame time (s): <why absent>".
std::string tailsText(const std::vector<RunTail>& tails);

// Statistics' names and values in the order every table lists them.
constexpr int statisticCount = 6;
extern const char* const statisticNames[statisticCount];
double statisticValue(const Statistics& stats, int which);
