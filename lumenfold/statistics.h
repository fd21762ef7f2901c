#pragma once

#include <cstddef>
#include <vector>

// Summary statistics of one figure over the frames of a run. Undefined
// values (no samples; a deviation from fewer than two) are NaN.
struct Statistics {
    size_t count = 0;
    double min = 0;
    double median = 0;
    double mean = 0;
    double max = 0;
    double stddev = 0;   // sample standard deviation, divisor n - 1
    double p95 = 0;      // 95th percentile
};

// Percentiles interpolate linearly between the two nearest order statistics
// (the definition of spreadsheets' PERCENTILE.INC and numpy's default), so
// the median of an even count is the mean of the middle two. Not-a-number
// samples are left out; infinite ones (frames measured as 0 ms) are kept.
Statistics computeStatistics(std::vector<double> values);

// The p-quantile (0..1) of sorted values by the same interpolation.
double quantile(const std::vector<double>& sorted, double p);
