#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "fill.h"
#include "report.h"
#include "triangles_frame.h"

namespace {

std::string number(double value) {
    char out[64];
    formatNumber(out, sizeof out, value);
    return out;
}

TEST(IndexCount, GrowsBy3600PerStepAndReportsSixIndicesPerTriangle) {
    EXPECT_EQ(indexCountForStep(1), 7200.0);
    EXPECT_EQ(number(indexCountForStep(1) / 6.0), "1200");
    EXPECT_EQ(indexCountForStep(2) - indexCountForStep(1), 3600.0);
    EXPECT_EQ(number(indexCountForStep(1000) / 6.0), "600600");
    EXPECT_EQ(number(indexCountForStep(10000) / 6.0), "6.0006e+06");
}

TEST(IndexCount, NeverReadsPastTheBuffer) {
    EXPECT_EQ(indexCountForStep(149129), 536868000.0);
    // From here on the uncapped count would run past the buffer's last byte.
    for (double s : {149130.0, 149131.0, 1e9, 9007199254740992.0}) {
        const double count = indexCountForStep(s);
        EXPECT_LE(count, double(attributeBytes)) << s;
        EXPECT_EQ(std::fmod(count, 6.0), 0.0) << s;
        EXPECT_EQ(count, 536870910.0) << s;
    }
    EXPECT_GT(536870910.0 + 6, double(attributeBytes));
}

TEST(TrianglesFrame, FiguresAndLinesOfOneFrame) {
    const TrianglesFrame frame = trianglesFrame(indexCountForStep(1), 0.125);
    char lines[trianglesFrameLineCount][reportLineCapacity];
    formatTrianglesFrame(lines, frame);
    EXPECT_STREQ(lines[0], "It drew 1200 Triangles.");
    EXPECT_STREQ(lines[1], "It spent: 0.125 Secs. ");
    EXPECT_STREQ(lines[2], "It was: 8 Angles/sec.");
    EXPECT_STREQ(lines[3], "It was: 9600 Triangles/sec.");
}

TEST(TrianglesTotals, TicksAddUpInThirtyTwoBitsForTheSummary) {
    TrianglesTotals totals{};
    // 100 frames adding up to 12345 ticks: 45 of 124 and 55 of 123.
    for (int i = 0; i < 100; ++i) addFrame(totals, i < 45 ? 124 : 123);
    EXPECT_EQ(totals.ticks, 12345);
    EXPECT_EQ(totals.frames, 100.0);
    EXPECT_EQ(totals.seconds, 12.345);
    const RunTotals run = summaryTotals(totals);
    EXPECT_EQ(run.frames, 100.0);
    EXPECT_EQ(run.seconds, 12.345);

    // The sum wraps as a 32-bit count would, and the summary shows it.
    TrianglesTotals wrapping{INT32_MAX, 1.0, 0.0};
    addFrame(wrapping, 1);
    EXPECT_EQ(wrapping.ticks, INT32_MIN);
    EXPECT_EQ(wrapping.seconds, INT32_MIN / 1000.0);
}

}  // namespace
