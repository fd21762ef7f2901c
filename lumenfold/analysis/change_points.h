// Change points in a series of runs: where a machine's figure moved, found
// among the runs' medians and confirmed over every frame of the runs.
//
// E-divisive means proposes the split that best separates the medians into
// two groups by the energy distance. Picking the best of many splits always
// finds something, even in pure noise, so a candidate is kept only when no
// more than `alpha` of random reorderings of the same medians give a split
// as strong (a permutation test, which sees the same choice of the best
// split). The search then recurses into both sides. Each surviving
// candidate is confirmed as `compare` would confirm a change: the
// hierarchical bootstrap interval of after/before over the frames of the
// runs on either side, bounded by the neighbouring change points, must
// exclude 1 and the ratio must lie beyond the 1% noise floor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/statistics.h"

struct ChangePointOptions {
    size_t minimumSegment = 3;     // runs on each side of a split, at least
    int permutations = 399;        // reorderings per significance test
    double alpha = 0.005;          // largest permutation p-value kept
    uint64_t seed = 20261207;      // the reorderings are the same on every run of the check
    BootstrapOptions bootstrap;    // the confirming interval
};

// The energy statistic of each split of the values: element t - 1 holds the
// statistic of values[0, t) against values[t, n), for t in
// [minimumSegment, n - minimumSegment]; other elements are 0.
std::vector<double> splitStatistics(const std::vector<double>& values, size_t minimumSegment);

// The best split of values and its permutation p-value; split 0 when the
// values are too few to split.
struct Candidate {
    size_t split = 0;    // index of the first value after the change
    double statistic = 0;
    double pValue = 1;
};
Candidate bestSplit(const std::vector<double>& values, const ChangePointOptions& options);

// Splits that pass the permutation test, recursively, in increasing order.
std::vector<Candidate> significantSplits(const std::vector<double>& values, const ChangePointOptions& options);

struct ChangePoint {
    size_t index = 0;        // 0-based index of the first run after the change
    double medianBefore = 0; // median of run medians of the segment before
    double medianAfter = 0;
    double pValue = 1;
    Interval ratio;          // after / before
    Verdict verdict = Verdict::noClearDifference;
};

// The confirmed change points of a series of runs (each run's samples of
// one figure, in start-time order). Runs without a sample are the caller's
// to leave out.
std::vector<ChangePoint> findChangePoints(const RunSamples& runs, Direction direction,
                                          const ChangePointOptions& options = {});
