// A ratio with its interval (compare's B/A, a change point's after/before),
// written the one way every format writes it.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis/statistics.h"
#include "common/number_text.h"

// An interval is shown only when both bounds are finite: a bound that is
// not a number (too few values to resample) or infinite (a median of zero)
// says nothing about where the ratio lies.
bool hasInterval(const Interval& interval);

// "[0.98, 1.02]", or "no interval".
std::string intervalText(const Interval& interval, const NumberFormat& format);

// "0.7984 [0.7968, 0.8011]": the ratio, then its interval as above.
std::string ratioText(const Interval& interval, const NumberFormat& format);

// {"ratio", "ciLow", "ciHigh"}, to merge into a figure's or a change point's
// object. JSON has no not-a-number or infinity: such a ratio is null, and
// both bounds are null where there is no interval.
nlohmann::json intervalJson(const Interval& interval);

// The cells ratio,ci_low,ci_high of a CSV row; the bounds empty where
// there is no interval.
std::string intervalCells(const Interval& interval);
