#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/change_points.h"

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

}  // namespace
