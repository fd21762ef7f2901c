#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "clock.h"
#include "metrics.h"

namespace {

std::string summary(SummaryKind kind, const RunTotals& totals, int index) {
    char text[maxSummaryLines][reportLineCapacity];
    const int count = formatSummaryLines(text, kind, totals);
    EXPECT_EQ(count, kind == SummaryKind::timeAndAngles ? 2 : 3);
    return index < count ? text[index] : "(no such line)";
}

TEST(FinalSummary, TimeAnglesAndVerticesFromTheTotals) {
    const RunTotals totals{100.0, 12.345, 100 * 16777216.0};
    EXPECT_EQ(summary(SummaryKind::timeAndAngles, totals, 0), "Total running time:  12.345 Secs. ");
    EXPECT_EQ(summary(SummaryKind::timeAndAngles, totals, 1), "Average Angles/Sec: 8.10045 Angles/Sec.");
    EXPECT_EQ(summary(SummaryKind::timeAnglesAndVertices, totals, 2),
              "Average Vertex/Sec: 1.35903e+08 Vertex/Sec.");
    char unused[maxSummaryLines][reportLineCapacity];
    EXPECT_EQ(formatSummaryLines(unused, SummaryKind::none, totals), 0);
}

TEST(FinalSummary, NoFrameGivesZeroTimeAndNotANumberAndZeroTicksInfinity) {
    const RunTotals none{0.0, 0.0, 0.0};
    EXPECT_EQ(summary(SummaryKind::timeAnglesAndVertices, none, 0), "Total running time:  0 Secs. ");
    EXPECT_EQ(summary(SummaryKind::timeAnglesAndVertices, none, 1), "Average Angles/Sec: -nan(ind) Angles/Sec.");
    EXPECT_EQ(summary(SummaryKind::timeAnglesAndVertices, none, 2), "Average Vertex/Sec: -nan(ind) Vertex/Sec.");
    EXPECT_EQ(summary(SummaryKind::timeAndAngles, RunTotals{1.0, 0.0, 0.0}, 1),
              "Average Angles/Sec: inf Angles/Sec.");
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
