#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "timing.h"

namespace {

struct Lines {
    std::string time, rate;
};

Lines linesFor(int32_t start, int32_t end, int kernel) {
    kernelTiming timing{start, end, -1, -1.0, -1.0};
    finishTiming(timing);
    char timeLine[reportLineCapacity];
    char rateLine[reportLineCapacity];
    formatTimingLines(timing, kernel, timeLine, rateLine);
    return {timeLine, rateLine};
}

TEST(KernelTiming, FourSecondsIsThirtyFourMillionExecutionsPerSecond) {
    kernelTiming timing{1500, 5500, 0, 0.0, 0.0};
    finishTiming(timing);
    EXPECT_EQ(timing.elapsedTicks, 4000);
    EXPECT_EQ(timing.seconds, 4.0);
    EXPECT_EQ(timing.executionsPerSecond, 33554432.0);

    const Lines lines = linesFor(1500, 5500, 0);
    EXPECT_EQ(lines.time, "The system spent: 4 Secs. ");
    EXPECT_EQ(lines.rate, "It was: 33.5544 Millions Executions/sec.");
    EXPECT_EQ(linesFor(0, 149, 2).time, "The spent: 0.149 Secs. ");
}

TEST(KernelTiming, KernelWithinOneTickReportsAnInfiniteRate) {
    const Lines lines = linesFor(777, 777, 2);
    EXPECT_EQ(lines.time, "The spent: 0 Secs. ");
    EXPECT_EQ(lines.rate, "It was: inf Millions Executions/sec.");
}

TEST(KernelTiming, DurationSurvivesTheWrapOfThe32BitClock) {
    kernelTiming timing{INT32_MAX - 99, INT32_MIN + 150, 0, 0.0, 0.0};
    finishTiming(timing);
    EXPECT_EQ(timing.elapsedTicks, 250);
    EXPECT_EQ(timing.seconds, 0.25);
}

}  // namespace
