#include <gtest/gtest.h>

#include "analysis/median_ranks.h"

// The ranks of the order-statistic interval of a median, checked against
// the binomial (n, 1/2) tails: P(X <= j - 1) <= 2.5% < P(X <= j).
TEST(MedianRanks, LowRankIsTheBinomialTail) {
    EXPECT_EQ(medianLowRank(0), 0u);
    EXPECT_EQ(medianLowRank(5), 0u);    // 2 / 32 = 6.25% even for the whole range
    EXPECT_EQ(medianLowRank(6), 1u);    // 2 / 64 = 3.1%
    EXPECT_EQ(medianLowRank(100), 40u); // P(X <= 39) = 1.76%, P(X <= 40) = 2.84%
    EXPECT_EQ(medianLowRank(100, 0.99), 37u);
    // A long run's terms do not underflow: the rank is near n/2 - 0.98 sqrt(n).
    const size_t n = 1000000, rank = medianLowRank(n);
    EXPECT_GT(rank, n / 2 - 981);
    EXPECT_LT(rank, n / 2 - 978);
}

TEST(MedianRanks, IntervalIsBetweenOrderStatistics) {
    std::vector<double> sorted;
    for (int i = 1; i <= 100; ++i) sorted.push_back(i);
    const Interval interval = frameMedianInterval(sorted);
    EXPECT_EQ(interval.estimate, 50.5);
    EXPECT_EQ(interval.low, 40);
    EXPECT_EQ(interval.high, 61);
    const Interval few = frameMedianInterval({1, 2, 3});
    EXPECT_EQ(few.estimate, 2);
    EXPECT_TRUE(std::isnan(few.low) && std::isnan(few.high));
}
