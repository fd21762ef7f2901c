// Repeated runs of one program: the main figure over them, its interval,
// and when a series has run long enough. No processes or files here.
#pragma once

#include <string>
#include <vector>

#include "model/results_file.h"
#include "analysis/statistics.h"

// The figure a series is judged by, sampled per run.
struct MainFigure {
    std::string name;     // "triangles/s at step 6", "vertices/s", "float kernel Mexec/s"
    RunSamples runs;      // per run, one sample per frame (or kernel block)
};

// The program's main figure (programs/); for a per-step family (triangles'
// rate) its member at the deepest step every run reached. Runs without a
// sample (no frame at all) are left out.
MainFigure mainFigure(Program program, const std::vector<ResultsRun>& runs);
// The same with the step given, for one run of a longer series.
MainFigure mainFigureAt(Program program, const std::vector<ResultsRun>& runs, long step);

// The deepest step every run reached; -1 when a run has no frame with a step.
long deepestCommonStep(const std::vector<ResultsRun>& runs);

// The 95% interval lies within ±percent of the estimate on both sides.
bool stableWithin(const Interval& interval, double percent);

// How many runs a series makes: a fixed count, or until stable.
struct SeriesPlan {
    int repeat = 1;          // runs of a fixed series
    double stablePercent = 0;  // > 0: run until stable instead
    int maxRuns = 10;
    static constexpr int minimumStableRuns = 3;
};

// Whether a series that has made `done` runs makes another.
bool anotherRun(const SeriesPlan& plan, int done, const Interval& interval);

// "run 2 of 5" or, until stable, "run 4 of at most 10".
std::string runOrdinal(const SeriesPlan& plan, int run);

// One progress line: the run, its own figure, the interval so far.
std::string progressLine(const SeriesPlan& plan, int run, const std::string& figureName, double runFigure,
                         const Interval& interval);

// A figure to four significant digits, as people read rates (shortNumber).
std::string figureText(double value);
// "median 82.1, 95% interval 80.4 to 83.9 (-2.1%, +2.2%)", or the median
// alone while there is no interval.
std::string intervalText(const Interval& interval);
