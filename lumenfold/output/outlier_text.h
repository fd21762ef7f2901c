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

// What every format says when frames were left out; "" when none were.
std::string skipLine(int skipped);
