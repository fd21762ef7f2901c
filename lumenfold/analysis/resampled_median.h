// The median of one run's bootstrap resample, drawn without drawing frames.
//
// Drawing n frames with replacement from a run sorted as x[0] <= ... <= x[n-1]
// and taking the median of the draw only ever lands on one order statistic
// (odd n) or the mean of two (even n), and which ones depends on n alone: the
// number of drawn frames among x[0..j] is binomial (n, (j+1)/n), so the k-th
// smallest of the draw lies at or below x[j] exactly when that number reaches
// k. A table per frame count holds that distribution over the order
// statistics that carry the probability, and one draw is a search in it
// instead of n draws of a frame and a walk to the middle.
//
// Even n: the median is the mean of the k-th and (k+1)-th smallest of the
// draw, and the pair is drawn as it falls, never rounded to one of them. When
// the k-th smallest is x[j], the (k+1)-th is x[j] too unless exactly k drawn
// frames lie in x[0..j]; then the other n - k lie evenly over x[j+1..n-1] and
// the (k+1)-th is the smallest of them.
//
// Probabilities come from basic arithmetic alone (the binomial terms by their
// ratio recurrence, normalised by their sum; powers by squaring in double-
// double precision), never from the library's exp, log or lgamma, so tables
// and draws are the same to the bit everywhere. Each table entry is accurate
// to about 1e-15; the order statistics left out of a table carry under 1e-18
// of probability in all, lumped onto its ends.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/statistics.h"

// Indices into the sorted run of the two order statistics whose mean is the
// resample's median; the same index twice for an odd count.
struct MedianIndices {
    uint32_t low = 0;
    uint32_t high = 0;
};

class ResampledMedian {
public:
    // n >= 1 frames.
    explicit ResampledMedian(uint32_t n);

    uint32_t frames() const { return n_; }

    // One resample's median indices. Uses one uniform of random (unit()),
    // an even count's split pair one or two more.
    MedianIndices draw(UniformIndex& random) const;

    // The probability the draw gives these indices.
    double probability(MedianIndices indices) const;

    // The order statistics the table covers: first() to first() + size() - 1.
    uint32_t first() const { return first_; }
    uint32_t size() const { return uint32_t(atOrBelow_.size()); }

private:
    void makeGuide();
    // P(high >= low + 1 + s | low = j, high > low).
    double survival(uint32_t low, uint32_t s) const;

    uint32_t n_;
    uint32_t k_;                      // rank of the lower middle, 1-based
    uint32_t first_ = 0;
    std::vector<double> atOrBelow_;   // P(low <= first_ + i)
    // Where the search of atOrBelow_ for a uniform u starts: the first
    // entry above the start of u's bucket, of guideScale_ (a power of two,
    // at least twice the entries) equal buckets of [0, 1), so that a draw
    // looks at an entry or two instead of searching the whole table.
    std::vector<uint32_t> guide_;
    double guideScale_ = 1;
    std::vector<double> split_;       // even n: P(high > low | low = first_ + i)
    std::vector<std::vector<double>> survivals_;   // even n: survival(first_ + i, s) for s = 1, 2, ... while not negligible
};

// The table for n frames, built once per process and frame count and shared
// by every interval that needs it.
std::shared_ptr<const ResampledMedian> resampledMedianFor(uint32_t n);
