#include "statistics.h"

#include <algorithm>
#include <cmath>

double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return NAN;
    const double position = p * double(sorted.size() - 1);
    const size_t below = size_t(std::floor(position));
    const double fraction = position - double(below);
    // Without the guard an infinite neighbour would turn 0 x inf into NaN.
    if (fraction == 0 || below + 1 >= sorted.size()) return sorted[below];
    return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

Statistics computeStatistics(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    Statistics stats;
    stats.count = values.size();
    if (values.empty()) {
        stats.min = stats.median = stats.mean = stats.max = stats.stddev = stats.p95 = NAN;
        return stats;
    }
    std::sort(values.begin(), values.end());
    stats.min = values.front();
    stats.max = values.back();
    stats.median = quantile(values, 0.5);
    stats.p95 = quantile(values, 0.95);

    double sum = 0;
    for (double v : values) sum += v;
    stats.mean = sum / double(values.size());
    if (values.size() < 2) {
        stats.stddev = NAN;
    } else {
        // Two passes: the textbook one-pass formula loses digits when the
        // spread is small against the mean, as with steady frame times.
        double squares = 0;
        for (double v : values) squares += (v - stats.mean) * (v - stats.mean);
        stats.stddev = std::sqrt(squares / double(values.size() - 1));
    }
    return stats;
}
