#include "output/interval_format.h"

#include <cmath>

bool hasInterval(const Interval& interval) { return std::isfinite(interval.low) && std::isfinite(interval.high); }

std::string intervalText(const Interval& interval, const NumberFormat& format) {
    if (!hasInterval(interval)) return "no interval";
    return "[" + numberText(interval.low, format) + ", " + numberText(interval.high, format) + "]";
}

std::string ratioText(const Interval& interval, const NumberFormat& format) {
    return numberText(interval.estimate, format) + " " + intervalText(interval, format);
}

nlohmann::json intervalJson(const Interval& interval) {
    const bool shown = hasInterval(interval);
    return {{"ratio", numberJson(interval.estimate)},
            {"ciLow", shown ? numberJson(interval.low) : nlohmann::json(nullptr)},
            {"ciHigh", shown ? numberJson(interval.high) : nlohmann::json(nullptr)}};
}

std::string intervalCells(const Interval& interval) {
    const bool shown = hasInterval(interval);
    return numberText(interval.estimate, cellNumber) + "," + (shown ? numberText(interval.low, cellNumber) : "") +
           "," + (shown ? numberText(interval.high, cellNumber) : "");
}
