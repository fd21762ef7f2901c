#include "analysis/resampled_median.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace {

// Order statistics whose probability of holding the median lies under this,
// at either end of a table, are left out of it.
constexpr double negligible = 1e-18;
// Binomial terms under this fraction of the mode's are left out of its sums:
// at most a few thousand of them, so under 1e-17 of the total.
constexpr double smallestTerm = 1e-21;

// A value as the unevaluated sum hi + lo, for powers with exponents up to a
// million: in plain doubles the rounding of the base alone would grow a
// millionfold.
struct DoubleDouble {
    double hi = 0;
    double lo = 0;
};

DoubleDouble times(DoubleDouble a, DoubleDouble b) {
    const double product = a.hi * b.hi;
    double error = std::fma(a.hi, b.hi, -product);
    error += a.hi * b.lo + a.lo * b.hi;
    const double hi = product + error;
    return {hi, error - (hi - product)};
}

// (numerator / denominator)^exponent, for 0 <= numerator <= denominator.
double powerOfRatio(double numerator, double denominator, uint64_t exponent) {
    const double hi = numerator / denominator;
    DoubleDouble base{hi, std::fma(-hi, denominator, numerator) / denominator};
    DoubleDouble result{1, 0};
    for (; exponent > 0; exponent >>= 1) {
        if (exponent & 1) result = times(result, base);
        base = times(base, base);
    }
    return result.hi + result.lo;
}

struct BinomialPoint {
    double atLeast = 0;   // P(X >= k)
    double below = 0;     // P(X < k), summed apart: near 1, 1 - atLeast loses it
    double exactly = 0;   // P(X == k)
};

// X binomial (n, (j+1)/n) for j + 1 < n: its terms from the mode outwards,
// each from the last by the ratio of neighbouring terms, normalised by their
// sum.
BinomialPoint binomialAt(uint32_t n, uint32_t j, uint32_t k) {
    const double odds = double(j + 1) / double(n - j - 1);
    const uint32_t mode = uint32_t(uint64_t(n + 1) * (j + 1) / n);
    double total = 1;
    double atLeast = mode >= k ? 1 : 0;
    double below = mode >= k ? 0 : 1;
    double exactly = mode == k ? 1 : 0;
    double term = 1;
    for (uint32_t i = mode; i < n; ++i) {
        term *= double(n - i) / double(i + 1) * odds;
        if (term < smallestTerm) break;
        total += term;
        (i + 1 >= k ? atLeast : below) += term;
        if (i + 1 == k) exactly = term;
    }
    term = 1;
    for (uint32_t i = mode; i > 0; --i) {
        term *= double(i) / (double(n - i + 1) * odds);
        if (term < smallestTerm) break;
        total += term;
        (i - 1 >= k ? atLeast : below) += term;
        if (i - 1 == k) exactly = term;
    }
    return {atLeast / total, below / total, exactly / total};
}

}  // namespace

ResampledMedian::ResampledMedian(uint32_t n) : n_(std::max(n, 1u)), k_((n_ + 1) / 2) {
    // P(low <= j) from the middle outwards, down to where it is negligible
    // and up to where it is negligibly short of 1.
    if (n_ == 1) {
        atOrBelow_.push_back(1);
        makeGuide();
        return;
    }
    const uint32_t middle = k_ - 1;   // below n - 1 from two frames on
    std::vector<BinomialPoint> below;
    for (uint32_t j = middle + 1; j-- > 0;) {
        below.push_back(binomialAt(n_, j, k_));
        if (below.back().atLeast < negligible) break;
    }
    std::reverse(below.begin(), below.end());
    first_ = middle + 1 - uint32_t(below.size());
    std::vector<double> exactlyK;
    for (const BinomialPoint& point : below) {
        atOrBelow_.push_back(point.atLeast);
        exactlyK.push_back(point.exactly);
    }
    double rest = below.back().below;
    for (uint32_t j = middle + 1; j + 1 < n_ && rest >= negligible; ++j) {
        const BinomialPoint point = binomialAt(n_, j, k_);
        atOrBelow_.push_back(point.atLeast);
        exactlyK.push_back(point.exactly);
        rest = point.below;
    }
    if (rest >= negligible) {
        atOrBelow_.push_back(1);   // low = n - 1: every drawn frame is at or below it
        exactlyK.push_back(0);
    }
    atOrBelow_.back() = 1;
    makeGuide();
    if (n_ % 2 == 1) return;
    // Low is j with high beyond it when exactly k drawn frames lie in
    // x[0..j] and one at least is x[j] itself: those k fall evenly over
    // j + 1 order statistics.
    for (uint32_t i = 0; i < size(); ++i) {
        const uint32_t j = first_ + i;
        const double pLow = atOrBelow_[i] - (i ? atOrBelow_[i - 1] : 0);
        const double pSplit = exactlyK[i] * (1 - powerOfRatio(j, j + 1, k_));
        split_.push_back(pLow > 0 ? std::min(1.0, pSplit / pLow) : 0);
        // A split pair's upper index is drawn by walking these tails: kept
        // here, each draw reads them instead of raising a ratio to a power.
        std::vector<double> tails;
        for (uint32_t step = 1; step < n_ - 1 - j; ++step) {
            tails.push_back(survival(j, step));
            if (tails.back() < negligible) break;
        }
        survivals_.push_back(std::move(tails));
    }
}

void ResampledMedian::makeGuide() {
    size_t buckets = 1;
    while (buckets < 2 * atOrBelow_.size()) buckets *= 2;
    guide_.resize(buckets);
    guideScale_ = double(buckets);
    // Bucket b starts at b / buckets, exactly; the last entry is 1, above
    // every bucket's start.
    uint32_t i = 0;
    for (size_t b = 0; b < buckets; ++b) {
        while (atOrBelow_[i] <= double(b) / guideScale_) ++i;
        guide_[b] = i;
    }
}

double ResampledMedian::survival(uint32_t low, uint32_t s) const {
    // The n - k drawn frames above x[low] each miss the s order statistics
    // next to it.
    const uint32_t above = n_ - 1 - low;
    return powerOfRatio(double(above - s), double(above), n_ - k_);
}

MedianIndices ResampledMedian::draw(UniformIndex& random) const {
    const double u = random.unit();
    // The first entry above u, as a binary search finds it: u is a multiple
    // of 2^-53 and the scale a power of two, so its bucket is exact, and no entry before the bucket's
    // guide lies above it.
    uint32_t i = guide_[size_t(u * guideScale_)];
    while (atOrBelow_[i] <= u) ++i;
    const uint32_t low = first_ + i;
    if (n_ % 2 == 1 || random.unit() >= split_[i]) return {low, low};
    const double v = random.unit();
    const uint32_t above = n_ - 1 - low;
    const std::vector<double>& tails = survivals_[i];
    uint32_t s = 1;
    while (s < above && (s <= tails.size() ? tails[s - 1] : survival(low, s)) > v) ++s;
    return {low, low + s};
}

double ResampledMedian::probability(MedianIndices indices) const {
    if (indices.low < first_ || indices.low >= first_ + size() || indices.high < indices.low ||
        indices.high >= n_)
        return 0;
    const uint32_t i = indices.low - first_;
    const double pLow = atOrBelow_[i] - (i ? atOrBelow_[i - 1] : 0);
    if (n_ % 2 == 1) return indices.high == indices.low ? pLow : 0;
    if (indices.high == indices.low) return pLow * (1 - split_[i]);
    const uint32_t s = indices.high - indices.low - 1;
    return pLow * split_[i] * (survival(indices.low, s) - survival(indices.low, s + 1));
}

std::shared_ptr<const ResampledMedian> resampledMedianFor(uint32_t n) {
    static std::mutex lock;
    static std::map<uint32_t, std::shared_ptr<const ResampledMedian>> tables;
    const std::lock_guard<std::mutex> guard(lock);
    // A long history of runs of as many lengths stays bounded; tables in use
    // live on in their holders.
    if (tables.size() >= 1024) tables.clear();
    std::shared_ptr<const ResampledMedian>& table = tables[n];
    if (!table) table = std::make_shared<const ResampledMedian>(n);
    return table;
}
