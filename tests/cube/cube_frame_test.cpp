#include <gtest/gtest.h>

#include "cube_frame.h"

namespace {

TEST(CubeFrame, FiguresAndLinesOfOneFrame) {
    const CubeFrame frame = cubeFrame(0.25);
    EXPECT_EQ(frame.anglesPerSec, 4.0);
    EXPECT_EQ(frame.verticesPerSec, 67108864.0);
    char lines[cubeFrameLineCount][reportLineCapacity];
    formatCubeFrame(lines, frame);
    EXPECT_STREQ(lines[0], "The system spent: 0.25 Secs. ");
    EXPECT_STREQ(lines[1], "It was: 4 Angles/sec.");
    EXPECT_STREQ(lines[2], "It was: 6.71089e+07 Vertex/sec.");
}

TEST(CubeTotals, TicksAddUpInADoubleAndEveryFrameCountsTheLattice) {
    CubeTotals totals{};
    addFrame(totals, 250);
    addFrame(totals, 250);
    EXPECT_EQ(totals.ticks, 500.0);
    EXPECT_EQ(totals.seconds, 0.5);
    EXPECT_EQ(totals.vertices, 2 * 16777216.0);
    // Far past what a 32-bit sum would hold, the total still adds up.
    CubeTotals longRun{4294967296.0, 1e6, 0.0, 0.0};
    addFrame(longRun, 1000);
    EXPECT_EQ(longRun.seconds, 4294968.296);
    const RunTotals run = summaryTotals(longRun);
    EXPECT_EQ(run.frames, 1e6 + 1);
    EXPECT_EQ(run.vertices, (1e6 + 1) * 16777216.0);
}

}  // namespace
