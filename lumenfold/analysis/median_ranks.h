// The interval of one run's median from its frames alone, by order
// statistics: the median lies between the j-th and the (n + 1 - j)-th
// smallest of n frames with a probability fixed by n (the count of frames
// below the median is binomial (n, 1/2)), whatever the frames' distribution.
// No resampling, so a fleet's every run gets one in no time.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/statistics.h"

// 1-based rank j of the interval's lower end: the largest j with
// P(Binomial(n, 1/2) < j) <= (1 - confidence) / 2; 0 when even the whole
// range of n frames covers the median less often than asked (n < 6 at 95%).
size_t medianLowRank(size_t n, double confidence = 0.95);

// The median of sorted frames (not-a-numbers left out) with that interval;
// low and high NaN when there is none.
Interval frameMedianInterval(const std::vector<double>& sorted, double confidence = 0.95);
