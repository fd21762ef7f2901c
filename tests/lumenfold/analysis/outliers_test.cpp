#include <gtest/gtest.h>

#include <cmath>

#include "analysis/outliers.h"
#include "fixtures.h"

namespace {

TEST(Outliers, TenScaledDeviationsAndTheirFallbacks) {
    // 1..9: median 5, absolute deviations 0 1 1 2 2 3 3 4 4, median 2, so a
    // spread of 2.9652 and a bound of 29.652 either side.
    const RobustCentre centre = robustCentre({1, 2, 3, 4, 5, 6, 7, 8, 9, NAN});
    EXPECT_DOUBLE_EQ(centre.median, 5);
    EXPECT_DOUBLE_EQ(centre.spread, 1.4826 * 2);
    EXPECT_FALSE(standsApart(34.6, centre));
    EXPECT_TRUE(standsApart(34.7, centre));
    EXPECT_TRUE(standsApart(-24.7, centre));

    // 90 frames at 1 ms resolution on 16 ms and 10 on 17: the median
    // absolute deviation is 0, the mean one 0.1 ms, so 17 stays within
    // 10 x 1.2533 x 0.1 ms and a 30 ms frame does not.
    std::vector<double> quantised(90, 16.0);
    quantised.insert(quantised.end(), 10, 17.0);
    const RobustCentre steady = robustCentre(quantised);
    EXPECT_NEAR(steady.spread, 1.2533 * 0.1, 1e-12);
    EXPECT_FALSE(standsApart(17, steady));
    EXPECT_TRUE(standsApart(30, steady));

    // All equal, or too few to judge: nothing stands apart.
    EXPECT_FALSE(standsApart(1e9, robustCentre(std::vector<double>(5, 2.0))));
    EXPECT_FALSE(standsApart(1e9, robustCentre({1, 2})));
}

ResultsRun runOf(Program program, const std::vector<double>& rates, const std::vector<double>& seconds) {
    ResultsRun run;
    run.program = program;
    for (size_t i = 0; i < rates.size(); ++i) {
        Frame frame;
        frame.firstLine = int(7 + 5 * i);
        frame.rate = rates[i];
        frame.seconds = seconds[i];
        run.frames.push_back(frame);
    }
    return run;
}

TEST(Outliers, FramesNamedAndFirstFrameCalledOut) {
    // A steady cube run with seven frames at a third of the rate: all
    // counted, the first five named from 1 with their first lines.
    std::vector<double> rates, seconds;
    for (int i = 0; i < 200; ++i) {
        rates.push_back(6.7e7 * (1 + 0.01 * std::sin(i)));
        seconds.push_back(0.25 * (1 + 0.01 * std::sin(i)));
    }
    for (int slow : {3, 50, 51, 90, 120, 150, 199}) rates[size_t(slow - 1)] /= 3;
    std::vector<RunOutliers> found = runOutliers(runOf(findProgram("cube"), rates, seconds));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].key, "verticesPerSecond");
    EXPECT_EQ(found[0].label, "vertices/s");
    EXPECT_EQ(found[0].frames.count, 7u);
    EXPECT_EQ(found[0].frames.frames, (std::vector<int>{3, 50, 51, 90, 120}));
    EXPECT_EQ(found[0].frames.lines[0], 7 + 5 * 2);
    EXPECT_FALSE(found[0].slowFirst);
    seconds[0] = 1.0;
    EXPECT_TRUE(runOutliers(runOf(findProgram("cube"), rates, seconds))[0].slowFirst);

    // triangles: the rate climbs as the list grows, which is no outlier,
    // and frame 1, the shortest list, is fast; a dip against its
    // neighbours is one, and so is a first frame slower than the next.
    rates.clear();
    seconds.clear();
    for (int i = 0; i < 200; ++i) {
        const double triangles = 1200.0 * (i + 1);
        seconds.push_back(0.002 + triangles * 1e-8 * (1 + 0.01 * std::sin(i)));
        rates.push_back(triangles / seconds.back());
    }
    rates[100] /= 2;
    const std::vector<RunOutliers> growing = runOutliers(runOf(findProgram("triangles"), rates, seconds));
    EXPECT_EQ(growing[0].frames.frames, (std::vector<int>{101}));
    EXPECT_FALSE(growing[0].slowFirst);
    seconds[0] = 0.2;
    EXPECT_TRUE(runOutliers(runOf(findProgram("triangles"), rates, seconds))[0].slowFirst);
}

TEST(Outliers, RunStandingApartFromItsSide) {
    EXPECT_EQ(runsStandingApart({100, 101, 99, 100.5, 130}), (std::vector<size_t>{4}));
    EXPECT_TRUE(runsStandingApart({100, 101, 99, 100.5, 102}).empty());
    EXPECT_TRUE(runsStandingApart({100, 130}).empty());
}

TEST(Outliers, SkippingFramesLeavesTheRunReadAlone) {
    const ResultsRun streaming = parseResultsText(streamingFile, "s.txt");
    ASSERT_EQ(streaming.completeFrames, 2);
    const ResultsRun skipped = skipFrames(streaming, 1);
    EXPECT_EQ(skipped.completeFrames, 1);
    for (size_t k = 0; k < streaming.kernels.size(); ++k) {
        ASSERT_EQ(skipped.kernels[k].size(), 1u) << k;
        EXPECT_EQ(skipped.kernels[k][0].firstLine, streaming.kernels[k][1].firstLine) << k;
    }
    EXPECT_EQ(streaming.kernels[0].size(), 2u);
    EXPECT_EQ(frameCount(skipFrames(streaming, 5)), 0);
    EXPECT_EQ(skipFrames(streaming, 5).kernels[2].size(), 0u);

    const ResultsRun cube = parseResultsText(cubeFile, "c.txt");
    const ResultsRun cubeSkipped = skipFrames(cube, 1);
    ASSERT_EQ(cubeSkipped.frames.size(), 1u);
    EXPECT_DOUBLE_EQ(cubeSkipped.frames[0].seconds, 0.5);
    EXPECT_EQ(skipFrames(cube, 0).frames.size(), 2u);
}

}  // namespace
