#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.h"
#include "run/series.h"

namespace {

// A triangles run whose frames stop at the given step, 1000 triangles/s per step.
ResultsRun trianglesRun(long lastStep, double scale = 1) {
    std::string text = header(trianglesTitle);
    for (long step = 1; step <= lastStep; ++step) {
        const double rate = 1000.0 * double(step) * scale;
        text += "window: 1\nIt drew " + std::to_string(600 * (step + 1)) + " Triangles.\nIt spent: 1 Secs. \n"
                "It was: 1 Angles/sec.\nIt was: " + figureText(rate) + " Triangles/sec.\n\n";
    }
    return parseResultsText(text, "t.txt");
}

TEST(Series, MainFigureOfEachProgram) {
    // Runs reaching steps 5, 3 and 4: only step 3 is in all of them.
    const std::vector<ResultsRun> triangles = {trianglesRun(5), trianglesRun(3, 2), trianglesRun(4)};
    EXPECT_EQ(deepestCommonStep(triangles), 3);
    const MainFigure t = mainFigure(findProgram("triangles"), triangles);
    EXPECT_EQ(t.name, "triangles/s at step 3");
    EXPECT_EQ(t.runs, (RunSamples{{3000}, {6000}, {3000}}));
    // A deeper run, taken alone, is read at the series' step.
    EXPECT_EQ(mainFigureAt(findProgram("triangles"), {triangles[0]}, 3).runs, (RunSamples{{3000}}));
    EXPECT_EQ(mainFigure(findProgram("triangles"), {triangles[0]}).runs, (RunSamples{{5000}}));

    const MainFigure c = mainFigure(findProgram("cube"), {parseResultsText(cubeFile, "c.txt")});
    EXPECT_EQ(c.name, "vertices/s");
    EXPECT_EQ(c.runs, (RunSamples{{6.71089e+07, 3.35544e+07}}));

    const MainFigure s = mainFigure(findProgram("streaming"), {parseResultsText(streamingFile, "s.txt")});
    EXPECT_EQ(s.name, "float kernel Mexec/s");
    EXPECT_EQ(s.runs, (RunSamples{{33.5544, 31.5806}}));

    // A run with no frame leaves no common step and no samples.
    EXPECT_EQ(deepestCommonStep({trianglesRun(4), parseResultsText(header(trianglesTitle), "e.txt")}), -1);
}

TEST(Series, StableOnlyWithinThePercentOnBothSides) {
    Interval interval{100, 98, 102};
    EXPECT_TRUE(stableWithin(interval, 2));
    EXPECT_FALSE(stableWithin(interval, 1.9));
    EXPECT_FALSE(stableWithin({100, 99.5, 103}, 2));  // lopsided
    EXPECT_FALSE(stableWithin({100, NAN, NAN}, 50));  // no interval yet
}

TEST(Series, HowManyRunsASeriesMakes) {
    SeriesPlan fixed;
    fixed.repeat = 2;
    EXPECT_TRUE(anotherRun(fixed, 1, {}));
    EXPECT_FALSE(anotherRun(fixed, 2, {}));

    SeriesPlan untilStable;
    untilStable.stablePercent = 5;
    untilStable.maxRuns = 4;
    const Interval tight{100, 99, 101}, wide{100, 80, 120};
    EXPECT_TRUE(anotherRun(untilStable, 2, tight));  // three runs at least
    EXPECT_FALSE(anotherRun(untilStable, 3, tight));
    EXPECT_TRUE(anotherRun(untilStable, 3, wide));
    EXPECT_FALSE(anotherRun(untilStable, 4, wide));  // the cap
}

TEST(Series, ProgressLines) {
    SeriesPlan plan;
    plan.repeat = 5;
    EXPECT_EQ(progressLine(plan, 2, "vertices/s", 6.71089e+07, {5.0e7, 4.5e7, 5.5e7}),
              "run 2 of 5: vertices/s 6.711e+07; so far median 5e+07, 95% interval 4.5e+07 to 5.5e+07 "
              "(-10.0%, +10.0%)");
    plan.stablePercent = 2;
    EXPECT_EQ(progressLine(plan, 1, "float kernel M executions/s", 83.0555, {83.0555, NAN, NAN}),
              "run 1 of at most 10: float kernel M executions/s 83.06; so far median 83.06");
}

}  // namespace
