#include "analysis/machine_state.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "analysis/statistics.h"
#include "common/number_text.h"

namespace {

bool isCount(const std::string& key, const std::string& unit) {
    return unit == "count" || key.ends_with(".throttle") || key.find(".throttle.") != std::string::npos;
}

struct SideReadings {
    std::string unit;
    std::vector<double> values;   // per run: its median, or for counts its maximum
};

std::map<std::string, SideReadings> readingsOf(const std::vector<SamplesSummary>& runs) {
    std::map<std::string, SideReadings> out;
    for (const SamplesSummary& run : runs)
        for (const SensorSummary& s : run.sensors) {
            if (s.count == 0) continue;
            SideReadings& r = out[s.key];
            r.unit = s.unit;
            r.values.push_back(isCount(s.key, s.unit) ? s.max : s.median);
        }
    return out;
}

double rangeOf(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return *high - *low;
}

}  // namespace

std::string sensorValueText(double value, const std::string& unit) {
    if (unit == "MHz" && std::fabs(value) >= 1000) return numberText(value / 1000, shortNumber) + " GHz";
    if (unit == "share") return numberText(value * 100, shortNumber) + "%";
    return numberText(value, shortNumber) + (unit.empty() || unit == "count" ? "" : " " + unit);
}

std::vector<SensorDifference> sensorDifferences(const std::vector<SamplesSummary>& before,
                                                const std::vector<SamplesSummary>& after) {
    std::vector<SensorDifference> out;
    const auto a = readingsOf(before), b = readingsOf(after);
    for (const auto& [key, sideA] : a) {
        const auto found = b.find(key);
        if (found == b.end()) continue;
        const SideReadings& sideB = found->second;
        const double medianA = medianOf(sideA.values), medianB = medianOf(sideB.values);
        bool differs;
        if (isCount(key, sideA.unit)) {
            differs = (medianA > 0) != (medianB > 0);
        } else {
            const double spread = std::max(rangeOf(sideA.values), rangeOf(sideB.values));
            const double scale = std::max(std::fabs(medianA), std::fabs(medianB));
            differs = std::fabs(medianB - medianA) > spread && scale > 0 &&
                      std::fabs(medianB - medianA) >= 0.02 * scale;
        }
        if (!differs) continue;
        out.push_back({key, sideA.unit, medianA, medianB,
                       key + " " + sensorValueText(medianA, sideA.unit) + " → " + sensorValueText(medianB, sideA.unit)});
    }
    return out;
}

std::vector<std::string> throttledSensors(const SamplesSummary& run) {
    std::vector<std::string> out;
    for (const SensorSummary& s : run.sensors)
        if (isCount(s.key, s.unit) && s.count > 0 && s.max > 0) out.push_back(s.key + " " + numberText(s.max, shortNumber));
    return out;
}
