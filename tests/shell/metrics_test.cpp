#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "clock.h"
#include "metrics.h"

namespace {

void resetTotals() {
    frameCount = 0;
    totalSeconds = 0;
    totalVertices = 0;
}

std::string summary(int lines, int index) {
    char text[3][reportLineCapacity];
    formatSummaryLines(text, lines);
    return text[index];
}

TEST(RunningTotals, TrianglesSummaryAfterAHundredFrames) {
    resetTotals();
    int32_t totalTicks = 0;
    // 100 frames adding up to 12345 ticks: 45 of 124 and 55 of 123.
    for (int i = 0; i < 100; ++i) addTrianglesFrame(i < 45 ? 124 : 123, totalTicks);
    EXPECT_EQ(totalTicks, 12345);
    EXPECT_EQ(frameCount, 100.0);
    EXPECT_EQ(summary(2, 0), "Total running time:  12.345 Secs. ");
    EXPECT_EQ(summary(2, 1), "Average Angles/Sec: 8.10045 Angles/Sec.");
}

TEST(RunningTotals, CubeAlsoCountsVertices) {
    resetTotals();
    double totalTicks = 0;
    addCubeFrame(250, totalTicks);
    addCubeFrame(250, totalTicks);
    EXPECT_EQ(totalTicks, 500.0);
    EXPECT_EQ(totalVertices, 2 * 16777216.0);
    EXPECT_EQ(summary(3, 0), "Total running time:  0.5 Secs. ");
    EXPECT_EQ(summary(3, 1), "Average Angles/Sec: 4 Angles/Sec.");
    EXPECT_EQ(summary(3, 2), "Average Vertex/Sec: 6.71089e+07 Vertex/Sec.");
}

TEST(RunningTotals, NoFrameGivesZeroTimeAndNotANumber) {
    resetTotals();
    EXPECT_EQ(summary(3, 0), "Total running time:  0 Secs. ");
    EXPECT_EQ(summary(3, 1), "Average Angles/Sec: -nan(ind) Angles/Sec.");
    EXPECT_EQ(summary(3, 2), "Average Vertex/Sec: -nan(ind) Vertex/Sec.");
}

TEST(RunningTotals, ZeroTickFramesGiveInfiniteAverages) {
    resetTotals();
    int32_t totalTicks = 0;
    addTrianglesFrame(0, totalTicks);
    EXPECT_EQ(summary(2, 1), "Average Angles/Sec: inf Angles/Sec.");
}

TEST(Clock, DurationsAreWholeMillisecondsOfRealTime) {
    EXPECT_EQ(ticksToSeconds(250), 0.25);
    EXPECT_EQ(ticksBetween(100, 350), 250);
    // A 32-bit count that wrapped between two readings still gives the span.
    EXPECT_EQ(ticksBetween(INT32_MAX - 10, INT32_MIN + 20), 31);

    const int32_t before = clockTicks();
    timespec pause{0, 30 * 1000 * 1000};
    nanosleep(&pause, nullptr);  // sleeping uses no processor time
    const int32_t slept = ticksBetween(before, clockTicks());
    EXPECT_GE(slept, 30);
    EXPECT_LT(slept, 5000);
}

}  // namespace
