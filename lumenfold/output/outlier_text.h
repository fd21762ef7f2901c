// How report and compare show what makes a run unlike the others, and that
// frames were left out: the same words in every format.
#pragma once

#include <string>
#include <vector>

#include "analysis/outliers.h"

// The run's outliers with frames numbered as in its results file: after
// skipped frames were left out, the first kept frame is skipped + 1.
std::vector<RunOutliers> shownOutliers(const ResultsRun& run, int skipped);

// One line per figure with frames that stand apart, one for a slow first
// frame; none when nothing stands out.
std::vector<std::string> outlierLines(const std::vector<RunOutliers>& outliers, int skipped);

// "frame 1 is much slower than the frames after it (figures): set-up work
// spilling into it? --skip-frames 1 leaves it out", the frame numbered as in
// the results file; figures empty: none named.
std::string slowFirstFrameLine(int skipped, const std::string& figures = "");

// What every format says when frames were left out; "" when none were.
std::string skipLine(int skipped);
