#include <gtest/gtest.h>

#include "analysis/machine_state.h"

namespace {

SamplesSummary run(double clock, double busy, double throttle) {
    SamplesSummary s;
    s.sensors.push_back({"cpu0.clock", "MHz", 10, 0, clock - 50, clock, clock + 50});
    s.sensors.push_back({"others.cpu", "cores", 10, 0, 0, busy, busy});
    s.sensors.push_back({"cpu0.throttle", "count", 10, 0, 0, 0, throttle});
    return s;
}

}  // namespace

TEST(MachineState, NamesWhatMovedBeyondTheRunsOwnSpread) {
    // Clocks 3.40-3.42 GHz before, 2.10 after: a clock drop. Other load
    // 0.10-0.30 cores before and 0.22 after: inside the spread, not named.
    const std::vector<SamplesSummary> before = {run(3400, 0.1, 0), run(3410, 0.3, 0), run(3420, 0.2, 0)};
    const std::vector<SamplesSummary> after = {run(2100, 0.22, 4), run(2110, 0.22, 9)};
    const std::vector<SensorDifference> found = sensorDifferences(before, after);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].text, "cpu0.clock 3.41 GHz → 2.105 GHz");
    EXPECT_EQ(found[1].key, "cpu0.throttle");
    EXPECT_EQ(throttledSensors(after[1]), std::vector<std::string>{"cpu0.throttle 9"});
    EXPECT_TRUE(throttledSensors(before[0]).empty());
    // The same machine on both sides: nothing.
    EXPECT_TRUE(sensorDifferences(before, before).empty());
    // 1% apart with no spread at all: below what is worth naming.
    EXPECT_TRUE(sensorDifferences({run(3400, 0.1, 0)}, {run(3366, 0.1, 0)}).empty());
    EXPECT_EQ(sensorValueText(0.875, "share"), "87.5%");
}
