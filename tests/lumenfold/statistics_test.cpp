#include <gtest/gtest.h>

#include <cmath>

#include "statistics.h"

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
    EXPECT_DOUBLE_EQ(s.mean, 4);
    EXPECT_DOUBLE_EQ(s.stddev, std::sqrt(12.5));
    EXPECT_DOUBLE_EQ(s.p95, 8.8);
}

TEST(Statistics, EvenCountByHand) {
    // Median between 0.5 and 0.75; the 95th percentile at rank 2.85.
    const Statistics s = computeStatistics({0.75, 0.25, 1.0, 0.5});
    EXPECT_DOUBLE_EQ(s.median, 0.625);
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
}

}  // namespace
