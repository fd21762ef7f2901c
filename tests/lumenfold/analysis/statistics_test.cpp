#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "analysis/statistics.h"

namespace {

TEST(Statistics, OddCountByHand) {
    // Sorted 1 2 3 4 10. Deviations from the mean 4: -3 -2 -1 0 6, squares
    // sum to 50, sample variance 50/4. The 95th percentile sits at rank
    // 0.95 x 4 = 3.8: 4 + 0.8 x (10 - 4) = 8.8.
    const Statistics s = computeStatistics({4, 1, 3, 10, 2});
    EXPECT_EQ(s.count, 5u);
    EXPECT_DOUBLE_EQ(s.min, 1);
    EXPECT_DOUBLE_EQ(s.max, 10);
    EXPECT_DOUBLE_EQ(s.median, 3);
    EXPECT_EQ(medianOf({4, 1, 3, 10, 2}), 3);   // by selection, not sorting
    EXPECT_DOUBLE_EQ(s.mean, 4);
    EXPECT_DOUBLE_EQ(s.stddev, std::sqrt(12.5));
    EXPECT_DOUBLE_EQ(s.p95, 8.8);
}

TEST(Statistics, EvenCountByHand) {
    // Median between 0.5 and 0.75; the 95th percentile at rank 2.85.
    const Statistics s = computeStatistics({0.75, 0.25, 1.0, 0.5});
    EXPECT_DOUBLE_EQ(s.median, 0.625);
    EXPECT_EQ(medianOf({0.75, 0.25, 1.0, 0.5}), 0.625);
    EXPECT_DOUBLE_EQ(s.mean, 0.625);
    EXPECT_DOUBLE_EQ(s.p95, 0.75 + 0.85 * 0.25);
    EXPECT_NEAR(s.stddev, std::sqrt(0.3125 / 3), 1e-15);
}

TEST(Statistics, FewSamplesLeaveWhatIsUndefinedUndefined) {
    const Statistics none = computeStatistics({});
    EXPECT_EQ(none.count, 0u);
    EXPECT_TRUE(std::isnan(none.mean));
    EXPECT_TRUE(std::isnan(none.p95));

    const Statistics one = computeStatistics({0.787});
    EXPECT_DOUBLE_EQ(one.median, 0.787);
    EXPECT_DOUBLE_EQ(one.p95, 0.787);
    EXPECT_TRUE(std::isnan(one.stddev));
}

TEST(Statistics, InfiniteRatesOfZeroMillisecondFrames) {
    // The median lands exactly on 2; interpolating towards the infinite
    // neighbour with weight 0 must not make it NaN.
    const Statistics s = computeStatistics({1, 2, INFINITY});
    EXPECT_DOUBLE_EQ(s.median, 2);
    EXPECT_TRUE(std::isinf(s.max));
    EXPECT_TRUE(std::isinf(s.mean));
    EXPECT_TRUE(std::isinf(s.p95));

    const Statistics withNan = computeStatistics({NAN, 3, 1});
    EXPECT_EQ(withNan.count, 2u);
    EXPECT_DOUBLE_EQ(withNan.median, 2);
    EXPECT_EQ(medianOf({NAN, 3, 1}), 2);
    EXPECT_EQ(medianOf({1, 2, INFINITY}), 2);
    EXPECT_TRUE(std::isnan(medianOf({NAN})));

    // Both middle values infinite: the median is infinite, not inf - inf,
    // whether sorted (the report) or selected (compare, the history).
    EXPECT_EQ(computeStatistics({1, INFINITY, INFINITY, INFINITY}).median, INFINITY);
    EXPECT_EQ(computeStatistics({INFINITY, INFINITY}).p95, INFINITY);
    EXPECT_EQ(medianOf({INFINITY, 1, INFINITY, INFINITY}), INFINITY);
    EXPECT_EQ(medianOfRunMedians({{INFINITY, INFINITY}, {INFINITY}}), INFINITY);
}

// The share of resampled values equal to each value.
std::map<double, double> shares(const std::vector<double>& values) {
    std::map<double, double> out;
    for (double v : values) out[v] += 1.0 / double(values.size());
    return out;
}

// Four standard errors of a share estimated from 10,000 draws.
double tolerance(double p) { return 4 * std::sqrt(p * (1 - p) / 10000); }

TEST(UniformIndex, TakesTheStandardGeneratorsBitsLowFirst) {
    // The standard fixes the 10,000th output of a default-seeded
    // mt19937_64: 9981545732273789042 = 0x8A85 92F5 817E D872 (from its low
    // end: 0xD872, 0x817E, 0x92F5, 0x8A85). Below 2^15 an index is a 16-bit
    // chunk shifted right by one, below 2^31 a 32-bit one; nothing is
    // rejected at these ranges.
    const uint64_t word = 9981545732273789042u;
    ASSERT_EQ(word, 0x8A8592F5817ED872u);
    UniformIndex sixteen(5489);
    for (int i = 0; i < 4 * 9999; ++i) sixteen.below(1u << 15);
    EXPECT_EQ(sixteen.below(1u << 15), 0xD872u >> 1);
    EXPECT_EQ(sixteen.below(1u << 15), 0x817Eu >> 1);
    EXPECT_EQ(sixteen.below(1u << 15), 0x92F5u >> 1);
    EXPECT_EQ(sixteen.below(1u << 15), 0x8A85u >> 1);

    UniformIndex thirtyTwo(5489);
    for (int i = 0; i < 2 * 9999; ++i) thirtyTwo.below(1u << 31);
    EXPECT_EQ(thirtyTwo.below(1u << 31), 0x817ED872u >> 1);
    // A 16-bit chunk fits in the upper half; a 32-bit one after it does
    // not, and comes from the next output.
    EXPECT_EQ(thirtyTwo.below(1u << 15), 0x92F5u >> 1);
    UniformIndex next(5489);
    for (int i = 0; i < 2 * 10000; ++i) next.below(1u << 31);
    EXPECT_EQ(thirtyTwo.below(1u << 31), next.below(1u << 31));
}

TEST(UniformIndex, RejectsTheDrawsThatWouldBiasIt) {
    // Mapping w bits onto 3 x 2^(w-2) values by multiply-and-shift alone
    // hits every multiple of 3 twice as often as the other values.
    for (uint32_t range : {3u << 14, 3u << 30}) {
        UniformIndex random(1);
        double multiples = 0;
        for (int i = 0; i < 10000; ++i) {
            const uint32_t index = random.below(range);
            ASSERT_LT(index, range);
            multiples += index % 3 == 0 ? 1e-4 : 0;
        }
        EXPECT_NEAR(multiples, 1.0 / 3, tolerance(1.0 / 3)) << range;
    }
}

TEST(UniformIndex, CountingDrawsTheSameAsOneByOne) {
    // Start mid-output, at a range that rejects 536 of 65,536 chunks.
    UniformIndex single(3), counted(3);
    single.below(7);
    counted.below(7);
    std::vector<uint32_t> expected(1000), got(1000);
    for (int i = 0; i < 5001; ++i) ++expected[single.below(1000)];
    counted.count(1000, 5001, got.data());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(counted.below(1u << 20), single.below(1u << 20));
}

TEST(UniformIndex, BlockTwisterGivesTheStandardsSequence) {
    for (uint64_t seed : {uint64_t(0), uint64_t(5489), uint64_t(20191206), ~uint64_t(0)}) {
        std::mt19937_64 standard(seed);
        BlockTwister blocks(seed);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(blocks(), standard()) << "seed " << seed << ", output " << i;
    }
}

// The median of values as selection finds it: the middle one, or the two
// middle ones' mean.
double middleOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n % 2 == 1 || values[n / 2 - 1] == values[n / 2]) return values[n / 2];
    return values[n / 2 - 1] + 0.5 * (values[n / 2] - values[n / 2 - 1]);
}

TEST(Bootstrap, RunsOfOneSampleAreResampledAsDrawnOneByOne) {
    // Series of run medians resample runs alone, counted rather than drawn
    // one by one: the same draws, the same medians, to the bit.
    const std::vector<double> a = {3, 1, 4, 1, 5, 9, 2}, b = {6, 5, 3, 5, 8, 9, 7, 9};
    RunSamples runsA, runsB;
    for (double v : a) runsA.push_back({v});
    for (double v : b) runsB.push_back({v});
    BootstrapOptions options;
    options.resamples = 300;
    const std::vector<double> ratios = bootstrapRatios(runsA, runsB, options);
    UniformIndex random(options.seed);
    auto resample = [&](const std::vector<double>& values) {
        std::vector<double> drawn;
        for (size_t i = 0; i < values.size(); ++i) drawn.push_back(values[random.below(uint32_t(values.size()))]);
        return middleOf(drawn);
    };
    ASSERT_EQ(ratios.size(), 300u);
    for (size_t k = 0; k < ratios.size(); ++k) {
        const double medianA = resample(a);
        EXPECT_EQ(ratios[k], resample(b) / medianA) << "resample " << k;
    }
}

TEST(Bootstrap, OneRunMatchesTheExactResamplingDistribution) {
    // All 4^4 resamples of 1 2 3 4, enumerated: the median (mean of the
    // middle two) is 1, 1.5, 2, 2.5, 3, 3.5, 4 in 13, 30, 55, 60, 55, 30, 13
    // of 256.
    const std::vector<double> resampled = bootstrapMedians({{4, 2, 1, 3}});
    ASSERT_EQ(resampled.size(), 10000u);
    const double exact[] = {13, 30, 55, 60, 55, 30, 13};
    const std::map<double, double> got = shares(resampled);
    EXPECT_EQ(got.size(), 7u);
    for (int k = 0; k < 7; ++k) {
        const double p = exact[k] / 256;
        EXPECT_NEAR(got.count(1 + 0.5 * k) ? got.at(1 + 0.5 * k) : 0, p, tolerance(p)) << "median " << 1 + 0.5 * k;
    }
    // 5.1% of the mass at each end: the 95% interval is the whole range.
    const Interval interval = medianInterval({{4, 2, 1, 3}});
    EXPECT_DOUBLE_EQ(interval.estimate, 2.5);
    EXPECT_DOUBLE_EQ(interval.low, 1);
    EXPECT_DOUBLE_EQ(interval.high, 4);
}

TEST(Bootstrap, RunsAreResampledBeforeFrames) {
    // Two steady runs at 1 and 5: drawing runs gives (1,1), (1,5), (5,1),
    // (5,5), so the median of run medians is 1, 3 or 5 with 1/4, 1/2, 1/4.
    // Resampling frames alone could never leave 3.
    const std::map<double, double> got = shares(bootstrapMedians({{1, 1, 1}, {5, 5, 5}}));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_NEAR(got.at(1), 0.25, tolerance(0.25));
    EXPECT_NEAR(got.at(3), 0.5, tolerance(0.5));
    EXPECT_NEAR(got.at(5), 0.25, tolerance(0.25));
    // Each run weighs the same however many frames it has.
    EXPECT_DOUBLE_EQ(medianOfRunMedians({{1}, {2, 2, 2, 2, 2, 2, 2}, {10, 10}}), 2);
}

TEST(Bootstrap, IntervalOfTheMedianHasTheTextbookWidth) {
    // A sample median of n values from a density f has a standard error of
    // 1 / (2 f sqrt(n)); for 1001 evenly spread values on [0, 1], f = 1 and
    // the 95% interval is 0.5 +- 1.96 / (2 sqrt(1001)) = 0.5 +- 0.031.
    std::vector<double> run;
    for (int i = 0; i < 1001; ++i) run.push_back((i + 0.5) / 1001);
    const Interval interval = medianInterval({run});
    const double halfWidth = 1.96 / (2 * std::sqrt(1001.0));
    EXPECT_DOUBLE_EQ(interval.estimate, 0.5);
    EXPECT_NEAR(0.5 - interval.low, halfWidth, 0.15 * halfWidth);
    EXPECT_NEAR(interval.high - 0.5, halfWidth, 0.15 * halfWidth);
}

TEST(Bootstrap, SameSeedSameInterval) {
    const RunSamples a = {{1, 2, 3, 4, 5}, {2, 3, 4}};
    const RunSamples b = {{2, 3, 4, 5, 6}, {3, 4, 5, 6}};
    const Interval first = ratioInterval(a, b);
    const Interval second = ratioInterval(a, b);
    EXPECT_EQ(first.low, second.low);
    EXPECT_EQ(first.high, second.high);
    BootstrapOptions other;
    other.seed = 7;
    EXPECT_EQ(bootstrapRatios(a, b).size(), 10000u);
    EXPECT_NE(bootstrapRatios(a, b), bootstrapRatios(a, b, other));
}

TEST(Bootstrap, NoIntervalFromASingleSample) {
    // Not-a-number samples and empty runs do not count.
    const Interval one = medianInterval({{NAN, 3.0}, {}});
    EXPECT_DOUBLE_EQ(one.estimate, 3);
    EXPECT_TRUE(std::isnan(one.low));
    EXPECT_TRUE(std::isnan(one.high));

    const Interval ratio = ratioInterval({{2.0}}, {{1, 2, 3}});
    EXPECT_DOUBLE_EQ(ratio.estimate, 1);
    EXPECT_TRUE(std::isnan(ratio.low));
    EXPECT_EQ(verdictFor(ratio, Direction::higherIsBetter), Verdict::noClearDifference);
    EXPECT_TRUE(std::isnan(medianInterval({}).estimate));
}

// Runs of a figure near `level` with a deterministic spread of +-`noise`
// (as a fraction), different in every run and frame.
RunSamples noisyRuns(double level, double noise, int runs, int frames, int offset) {
    RunSamples out;
    for (int r = 0; r < runs; ++r) {
        std::vector<double> run;
        const double runLevel = level * (1 + 0.5 * noise * std::sin(1.3 * (r + offset)));
        for (int f = 0; f < frames; ++f) run.push_back(runLevel * (1 + noise * std::sin(0.7 * f + 2.1 * (r + offset))));
        out.push_back(run);
    }
    return out;
}

TEST(Verdict, KnownCases) {
    const RunSamples a = noisyRuns(100, 0.03, 5, 60, 0);

    const Interval same = ratioInterval(a, a);
    EXPECT_DOUBLE_EQ(same.estimate, 1);
    EXPECT_LT(same.low, 1);
    EXPECT_GT(same.high, 1);
    EXPECT_EQ(verdictFor(same, Direction::higherIsBetter), Verdict::noClearDifference);

    // A clear 10% shift: faster as a rate, slower as a time.
    const Interval shifted = ratioInterval(a, noisyRuns(110, 0.03, 5, 60, 3));
    EXPECT_NEAR(shifted.estimate, 1.1, 0.02);
    EXPECT_GT(shifted.low, 1.05);
    EXPECT_LT(shifted.high, 1.15);
    EXPECT_EQ(verdictFor(shifted, Direction::higherIsBetter), Verdict::faster);
    EXPECT_EQ(verdictFor(shifted, Direction::lowerIsBetter), Verdict::slower);
    const Interval down = ratioInterval(noisyRuns(110, 0.03, 5, 60, 3), a);
    EXPECT_EQ(verdictFor(down, Direction::higherIsBetter), Verdict::slower);
    EXPECT_EQ(verdictFor(down, Direction::lowerIsBetter), Verdict::faster);

    // 2% apart under 20% noise and a 10% spread between runs: the
    // intervals overlap.
    const Interval overlapping = ratioInterval(noisyRuns(100, 0.2, 3, 50, 0), noisyRuns(102, 0.2, 3, 50, 5));
    EXPECT_LT(overlapping.low, 1);
    EXPECT_GT(overlapping.high, 1);
    EXPECT_EQ(verdictFor(overlapping, Direction::higherIsBetter), Verdict::noClearDifference);
}

TEST(Verdict, NoiseFloorAndBoundaries) {
    // Precisely measured but under 1%: no decision rests on it.
    EXPECT_EQ(verdictFor({1.005, 1.004, 1.006}, Direction::higherIsBetter), Verdict::noClearDifference);
    EXPECT_EQ(verdictFor({0.995, 0.994, 0.996}, Direction::lowerIsBetter), Verdict::noClearDifference);
    EXPECT_EQ(verdictFor({1.02, 1.01, 1.03}, Direction::higherIsBetter), Verdict::faster);
    EXPECT_EQ(verdictFor({0.98, 0.97, 0.99}, Direction::lowerIsBetter), Verdict::faster);
    // An interval that reaches 1 is not evidence.
    EXPECT_EQ(verdictFor({1.2, 1.0, 1.4}, Direction::higherIsBetter), Verdict::noClearDifference);
    EXPECT_EQ(verdictFor({INFINITY, 2, INFINITY}, Direction::higherIsBetter), Verdict::noClearDifference);
    EXPECT_STREQ(verdictName(Verdict::noClearDifference), "no clear difference");
}

}  // namespace
