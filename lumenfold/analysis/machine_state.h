// The machine's state as an explanation: which sensors read differently on
// two sides of a comparison or of a change point, beyond how much they vary
// from run to run ("CPU 0 clock 3.41 → 2.10 GHz"), and whether a run's CPU
// was throttled. A throttled night otherwise looks like a driver regression.
#pragma once

#include <string>
#include <vector>

#include "model/machine_samples.h"

struct SensorDifference {
    std::string key;
    std::string unit;
    double before = 0;   // the median over the side's runs of each run's median
    double after = 0;
    std::string text;    // "cpu0.clock 3.41 → 2.10 GHz"
};

// Sensors that read on both sides whose medians differ by more than the
// spread of either side's runs (their range) and by at least 2%; in key
// order. Counters that only count (throttle events) compare their maxima:
// any throttling on one side and none on the other counts.
std::vector<SensorDifference> sensorDifferences(const std::vector<SamplesSummary>& before,
                                                const std::vector<SamplesSummary>& after);

// The run's throttle counters that moved while it ran, as "cpu0.throttle 12".
std::vector<std::string> throttledSensors(const SamplesSummary& run);

// A sensor reading for people: MHz above 1000 as GHz, shares as percent.
std::string sensorValueText(double value, const std::string& unit);
