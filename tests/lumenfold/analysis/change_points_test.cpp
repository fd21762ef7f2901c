#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/compare.h"
#include "analysis/change_points.h"
#include "store/history_add.h"
#include "store/history_check.h"

namespace {

// A normal deviate by Box-Muller from mt19937_64, whose sequence the
// standard fixes: the same series on every platform.
double normal(std::mt19937_64& engine) {
    const double u = (double(engine() >> 11) + 0.5) / 9007199254740992.0;
    const double v = double(engine() >> 11) / 9007199254740992.0;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

// Runs of 5 frames: each run's level spreads by `runSpread` (relative), each
// frame by 1% around it; from `stepAt` on, the level is `step` times as high.
RunSamples syntheticSeries(uint64_t seed, size_t runs, double runSpread, size_t stepAt = 0, double step = 1) {
    std::mt19937_64 engine(seed);
    RunSamples out;
    for (size_t r = 0; r < runs; ++r) {
        const double level = 1000 * (stepAt > 0 && r >= stepAt ? step : 1) * (1 + runSpread * normal(engine));
        std::vector<double> frames;
        for (int f = 0; f < 5; ++f) frames.push_back(level * (1 + 0.01 * normal(engine)));
        out.push_back(frames);
    }
    return out;
}

ChangePointOptions fastOptions() {
    ChangePointOptions options;
    options.bootstrap.resamples = 2000;
    return options;
}

TEST(ChangePoints, SplitStatisticIsTheEnergyDistanceOfEachSplit) {
    const std::vector<double> values{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8};
    const std::vector<double> fast = splitStatistics(values, 2);
    const size_t n = values.size();
    for (size_t t = 2; t + 2 <= n; ++t) {
        double cross = 0, before = 0, after = 0;
        for (size_t i = 0; i < n; ++i)
            for (size_t j = i + 1; j < n; ++j) {
                const double d = std::fabs(values[i] - values[j]);
                (j < t ? before : i >= t ? after : cross) += d;
            }
        const double m = double(t), k = double(n - t);
        const double expected =
            m * k / (m + k) * (2 * cross / (m * k) - before / (m * (m - 1) / 2) - after / (k * (k - 1) / 2));
        EXPECT_NEAR(fast[t - 1], expected, 1e-9) << "split " << t;
    }
}

// With runs spread by 1% (sd), any estimator places a 5% step within one
// run nearly always; at 3% not even least squares does it in a fifth of
// series (bench/history measures both), so that is no test of this one.
TEST(ChangePoints, AFivePercentStepInSixtyRunsIsFoundWithinOneRun) {
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        const size_t stepAt = 10 + seed * 2;
        const auto points = findChangePoints(syntheticSeries(seed, 60, 0.01, stepAt, 0.95), Direction::higherIsBetter,
                                             fastOptions());
        ASSERT_EQ(points.size(), 1u) << "seed " << seed;
        EXPECT_LE(std::abs(long(points[0].index) - long(stepAt)), 1) << "seed " << seed;
        EXPECT_EQ(points[0].verdict, Verdict::slower);
        EXPECT_LT(points[0].ratio.high, 1);
        EXPECT_NEAR(points[0].ratio.estimate, 0.95, 0.01);
    }
}

TEST(ChangePoints, TwoStepsAreBothFoundAndADropOfTimeIsFaster) {
    RunSamples series = syntheticSeries(7, 90, 0.01, 30, 1.10);
    const RunSamples third = syntheticSeries(8, 30, 0.01);
    for (size_t r = 60; r < 90; ++r) series[r] = third[r - 60];
    const auto points = findChangePoints(series, Direction::lowerIsBetter, fastOptions());
    ASSERT_EQ(points.size(), 2u);
    EXPECT_NEAR(double(points[0].index), 30, 1);
    EXPECT_NEAR(double(points[1].index), 60, 1);
    EXPECT_EQ(points[0].verdict, Verdict::slower);   // times 10% longer
    EXPECT_EQ(points[1].verdict, Verdict::faster);
}

// The full rate, over 1,000 series, is measured by bench/history; here a
// tenth of them, with room for chance.
TEST(ChangePoints, PureNoiseRarelyShowsAChangePoint) {
    int withChange = 0;
    for (uint64_t seed = 1000; seed < 1100; ++seed)
        withChange += !findChangePoints(syntheticSeries(seed, 60, 0.03), Direction::higherIsBetter, fastOptions()).empty();
    EXPECT_LE(withChange, 3);
}

TEST(HistoryCheck, ContextChangesNameWhatDifferedOnly) {
    const std::string before = R"({"gl": {"renderer": "llvmpipe", "version": "4.5 Mesa 22.3"}, "version": "1.0",
        "environment": {"GALLIUM_DRIVER": "llvmpipe"}, "warnings": ["busy"]})";
    const std::string after = R"({"gl": {"renderer": "llvmpipe", "version": "4.5 Mesa 23.1"}, "version": "1.0",
        "environment": {}, "warnings": []})";
    const ContextChanges changed = contextChanges(before, after);
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed.at("glVersion"), std::make_pair(std::string("4.5 Mesa 22.3"), std::string("4.5 Mesa 23.1")));
    EXPECT_EQ(changed.at("environment.GALLIUM_DRIVER").second, "(none)");
    EXPECT_EQ(changed.at("warnings"), std::make_pair(std::string("busy"), std::string("(none)")));
    EXPECT_TRUE(contextChanges(before, before).empty());
    EXPECT_EQ(contextChanges(before, std::nullopt).count("context"), 1u);
}

TEST(HistoryCheck, FiguresCarryTheKeysCompareUses) {
    const ResultsRun run = parseResultsText(
        "Quorvex :: Lumenfold Benchmark Graphics Triangles Lite for Windows on x86 64bit system 2019.12.06.\n\n\n"
        "It spent: 3.189 Secs to Initialize.\n\n\nwindow: 1\nIt drew 1200 Triangles.\nIt spent: 0.787 Secs. \n"
        "It was: 1.27065 Angles/sec.\nIt was: 1524.78 Triangles/sec.\n\n",
        "t.txt");
    std::set<std::string> keys;
    for (const HistoryFigure& f : historyFigures(run)) keys.insert(f.key);
    ComparedSide side;
    side.runs = {run};
    const Comparison comparison = compareSides(side, side);
    ASSERT_FALSE(comparison.programs.empty());
    for (const FigureComparison& f : comparison.programs[0].figures) EXPECT_EQ(keys.count(f.figure), 1u) << f.figure;
}

TEST(HistoryAdd, IsoTimesWithTheirOffsets) {
    long long seconds = 0;
    ASSERT_TRUE(parseIsoTime("2026-12-07T14:05:09+01:00", seconds));
    EXPECT_EQ(seconds, 1796648709LL);
    ASSERT_TRUE(parseIsoTime("2026-12-07T13:05:09Z", seconds));
    EXPECT_EQ(seconds, 1796648709LL);
    for (const char* bad : {"2026-12-07 13:05:09Z", "2026-13-07T13:05:09Z", "2026-12-07T13:05:09+0100", ""})
        EXPECT_FALSE(parseIsoTime(bad, seconds)) << bad;
}

}  // namespace
