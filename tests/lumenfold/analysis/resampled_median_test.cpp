#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "analysis/resampled_median.h"

namespace {

// The indices of the middle two of a resample given how often each index of
// the sorted run was drawn, as resampling frame by frame finds them.
MedianIndices middleOfCounts(const std::vector<uint32_t>& counts) {
    const uint32_t n = uint32_t(counts.size());
    MedianIndices out;
    uint32_t seen = 0, index = 0;
    while (seen + counts[index] <= (n - 1) / 2) seen += counts[index++];
    out.low = index;
    while (seen + counts[index] <= n / 2) seen += counts[index++];
    out.high = index;
    return out;
}

TEST(ResampledMedian, ExactAgainstEveryResampleOfTinyRuns) {
    // All n^n resamples of n frames, each as likely: the table must give
    // every pair of middle indices its share, split pairs of even counts
    // included.
    for (uint32_t n = 1; n <= 7; ++n) {
        std::map<std::pair<uint32_t, uint32_t>, uint64_t> enumerated;
        std::vector<uint32_t> draw(n, 0), counts(n);
        const double all = std::pow(double(n), double(n));
        for (bool more = true; more;) {
            std::fill(counts.begin(), counts.end(), 0u);
            for (uint32_t d : draw) ++counts[d];
            const MedianIndices m = middleOfCounts(counts);
            ++enumerated[{m.low, m.high}];
            more = false;
            for (uint32_t& d : draw) {
                if (++d < n) { more = true; break; }
                d = 0;
            }
        }
        const ResampledMedian table(n);
        double total = 0;
        for (uint32_t low = 0; low < n; ++low)
            for (uint32_t high = low; high < n; ++high) {
                const double p = table.probability({low, high});
                total += p;
                const auto found = enumerated.find({low, high});
                EXPECT_NEAR(p, found == enumerated.end() ? 0 : double(found->second) / all, 1e-15)
                    << "n " << n << " pair " << low << "," << high;
            }
        EXPECT_NEAR(total, 1, 1e-14) << n;
    }
}

// The two-sample Kolmogorov-Smirnov statistic: the largest gap between the
// empirical distribution functions.
double ksDistance(std::vector<double> a, std::vector<double> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    double largest = 0;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const double x = std::min(a[i], b[j]);
        while (i < a.size() && a[i] == x) ++i;
        while (j < b.size() && b[j] == x) ++j;
        largest = std::max(largest, std::fabs(double(i) / double(a.size()) - double(j) / double(b.size())));
    }
    return largest;
}

TEST(ResampledMedian, DrawsAsResamplingFrameByFrameDoes) {
    // 20,000 medians of each kind, on a run whose values x[i] = i^2 tell
    // every pair of middle indices apart. At a 0.1% level the two-sample
    // Kolmogorov-Smirnov statistic of two samples of 20,000 stays under
    // 1.949 x sqrt(2 / 20000) = 0.0195 when they come from one
    // distribution; the test is conservative for discrete ones. The gap
    // between the middle two, tested the same way, is what an even count's
    // pair draw adds.
    const int draws = 20000;
    const double critical = 1.949 * std::sqrt(2.0 / draws);
    for (uint32_t n : {101u, 100u, 2000u}) {
        std::vector<double> bruteMedians, drawnMedians, bruteGaps, drawnGaps;
        UniformIndex brute(1), drawn(2);
        std::vector<uint32_t> counts(n);
        const ResampledMedian table(n);
        auto value = [](uint32_t i) { return double(i) * double(i); };
        for (int d = 0; d < draws; ++d) {
            std::fill(counts.begin(), counts.end(), 0u);
            brute.count(n, n, counts.data());
            const MedianIndices b = middleOfCounts(counts);
            const MedianIndices t = table.draw(drawn);
            bruteMedians.push_back(value(b.low) + value(b.high));
            drawnMedians.push_back(value(t.low) + value(t.high));
            bruteGaps.push_back(b.high - b.low);
            drawnGaps.push_back(t.high - t.low);
        }
        EXPECT_LT(ksDistance(bruteMedians, drawnMedians), critical) << n;
        EXPECT_LT(ksDistance(bruteGaps, drawnGaps), critical) << n;
        if (n % 2 == 1) {
            EXPECT_EQ(*std::max_element(drawnGaps.begin(), drawnGaps.end()), 0) << n;
        }
    }
}

TEST(ResampledMedian, MillionFrameTablesHoldTheWholeDistribution) {
    // The lower middle index is n times a beta(k, n + 1 - k) variable
    // rounded down, k = (n + 1) / 2: mean n k / (n + 1) - 1/2, which is k - 1
    // to within 10^-6 here, and standard deviation sqrt(n) / 2 to within a
    // part in 10^4. Tails and underflow in the binomial sums
    // would show as missing mass or a wrong spread.
    for (uint32_t n : {1000001u, 1000000u}) {
        const ResampledMedian table(n);
        EXPECT_LT(table.size(), 20 * std::sqrt(double(n))) << n;
        double total = 0, sum = 0, squares = 0;
        for (uint32_t low = table.first(); low < table.first() + table.size(); ++low) {
            double p = table.probability({low, low});
            for (uint32_t high = low + 1; n % 2 == 0 && high < low + 64; ++high) p += table.probability({low, high});
            total += p;
            sum += p * low;
            squares += p * double(low) * double(low);
        }
        const double mean = sum / total;
        EXPECT_NEAR(total, 1, 1e-12) << n;
        EXPECT_NEAR(mean, (n + 1) / 2 - 1, 0.01) << n;
        EXPECT_NEAR(std::sqrt(squares / total - mean * mean), std::sqrt(double(n)) / 2, 0.25) << n;
    }
}

}  // namespace
