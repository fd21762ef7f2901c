#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "programs/figure_entry.h"

// Summary statistics of one figure over the frames of a run. Undefined
// values (no samples; a deviation from fewer than two) are NaN.
struct Statistics {
    size_t count = 0;
    double min = 0;
    double median = 0;
    double mean = 0;
    double max = 0;
    double stddev = 0;   // sample standard deviation, divisor n - 1
    double p95 = 0;      // 95th percentile
};

// Percentiles interpolate linearly between the two nearest order statistics
// (the definition of spreadsheets' PERCENTILE.INC and numpy's default), so
// the median of an even count is the mean of the middle two. Not-a-number
// samples are left out; infinite ones (frames measured as 0 ms) are kept.
Statistics computeStatistics(std::vector<double> values);

// The p-quantile (0..1) of sorted values by the same interpolation.
double quantile(const std::vector<double>& sorted, double p);

// computeStatistics(values).median, found by selection rather than sorting.
double medianOf(std::vector<double> values);
// The same of values without NaN, which it leaves reordered: for callers
// that take medians of many short lists and keep the list to reuse.
double selectedMedian(std::vector<double>& values);

// ---------------------------------------------------------------------------
// Confidence intervals by hierarchical bootstrap.
//
// A figure measured over several runs varies at two levels: from process to
// process (driver state, memory placement, clocks) and from frame to frame
// within a process. The first is usually the larger, so the runs, not the
// frames, are the independent units. One resample therefore draws as many
// runs as were measured, with replacement, and then, inside each drawn run,
// as many frames as that run holds, again with replacement.
//
// The statistic of a side is the median of its runs' medians. Each run then
// weighs the same however many frames it reported, so one long run cannot
// outvote the others, and one odd run among three or more moves it little.
// (The median of all frames pooled would weigh runs by their length and
// hide the process-to-process spread inside the frame-to-frame one.)
//
// The frames are never drawn one by one: the median of a drawn run's
// resample has a distribution fixed by its frame count alone, and is drawn
// from that (compare/resampled_median.h), which costs the same for ten
// frames as for a million.
//
// Intervals are percentile intervals of the resampled statistic. Resampling
// both levels makes them, if anything, a little wide: an interval that
// excludes "no change" is evidence, not an artefact.
//
// Results are reproducible to the bit on any platform: the generator is
// std::mt19937_64, whose output sequence the C++ standard fixes, seeded
// afresh for every interval, and the mapping of its output to an index is
// our own (UniformIndex), not the standard library's unspecified
// distributions.
// ---------------------------------------------------------------------------

// One side of a measurement: per run, the samples of one figure (one per
// frame, or a single one such as the set-up time). Not-a-number samples are
// left out; runs left with no sample do not count.
using RunSamples = std::vector<std::vector<double>>;

struct BootstrapOptions {
    static constexpr uint64_t defaultSeed = 20191206;
    int resamples = 10000;
    uint64_t seed = defaultSeed;
    double confidence = 0.95;
};

// An estimate with its confidence interval. low and high are NaN when no
// interval can be had (no sample on a side, or a single sample in all).
struct Interval {
    double estimate = NAN;
    double low = NAN;
    double high = NAN;
};

// The median of the run medians.
double medianOfRunMedians(const RunSamples& runs);

// The resampled statistics themselves, in the order drawn: the median of
// one side, or B/A. The intervals below are their central quantiles.
std::vector<double> bootstrapMedians(const RunSamples& runs, const BootstrapOptions& options = {});
std::vector<double> bootstrapRatios(const RunSamples& a, const RunSamples& b, const BootstrapOptions& options = {});

// The median of one side with its interval; what `run --until-stable`
// watches.
Interval medianInterval(const RunSamples& runs, const BootstrapOptions& options = {});

// The ratio of the medians B/A with its interval; the two sides are
// resampled independently, each at both levels.
Interval ratioInterval(const RunSamples& a, const RunSamples& b, const BootstrapOptions& options = {});

// std::mt19937_64's own sequence (the standard fixes it: seeding, the
// twist and the tempering), made a block of 312 outputs at a time in loops
// the compiler turns into vector instructions: about three times as fast as
// the library's one output at a time, and resampling spends much of its
// time here.
class BlockTwister {
public:
    explicit BlockTwister(uint64_t seed) {
        state_[0] = seed;
        for (int i = 1; i < size; ++i)
            state_[i] = 6364136223846793005ULL * (state_[i - 1] ^ (state_[i - 1] >> 62)) + uint64_t(i);
    }

    uint64_t operator()() {
        if (next_ == size) refill();
        return out_[next_++];
    }

private:
    static constexpr int size = 312, shift = 156;

    static uint64_t twist(uint64_t x, uint64_t following, uint64_t far) {
        const uint64_t y = (x & 0xffffffff80000000ULL) | (following & 0x7fffffffULL);
        return far ^ (y >> 1) ^ ((0 - (y & 1)) & 0xb5026f5aa96619e9ULL);
    }

    void refill() {
        uint64_t* x = state_;
        for (int i = 0; i < size - shift; ++i) x[i] = twist(x[i], x[i + 1], x[i + shift]);
        for (int i = size - shift; i < size - 1; ++i) x[i] = twist(x[i], x[i + 1], x[i + shift - size]);
        x[size - 1] = twist(x[size - 1], x[0], x[shift - 1]);
        for (int i = 0; i < size; ++i) {
            uint64_t y = x[i];
            y ^= (y >> 29) & 0x5555555555555555ULL;
            y ^= (y << 17) & 0x71d67fffeda60000ULL;
            y ^= (y << 37) & 0xfff7eee000000000ULL;
            out_[i] = y ^ (y >> 43);
        }
        next_ = 0;
    }

    uint64_t state_[size];
    uint64_t out_[size];
    int next_ = size;
};

// A uniform integer in [0, range) from mt19937_64 output, by a mapping
// fixed here rather than left to the library's distributions. Each 64-bit
// output is used from its low bits upwards in chunks: 16 bits for a range
// up to 2^16 (a run's frames, mostly, which makes four draws of one
// output), 32 bits above; a chunk that no longer fits in what is left of an
// output is taken from the next one. A w-bit chunk x maps to
// (x * range) >> w, and is drawn again while (x * range) mod 2^w is below
// 2^w mod range (Lemire's method), so every result is exactly as likely.
class UniformIndex {
public:
    explicit UniformIndex(uint64_t seed) : engine_(seed) {}

    // Inline: resampling calls it once per drawn frame.
    uint32_t below(uint32_t range) {
        const int width = range <= (1u << 16) ? 16 : 32;
        const uint64_t mask = (uint64_t(1) << width) - 1;
        uint64_t product = chunk(width) * range;
        if ((product & mask) < range) {
            const uint64_t threshold = ((mask + 1) - range) % range;
            while ((product & mask) < threshold) product = chunk(width) * range;
        }
        return uint32_t(product >> width);
    }

    // Adds `draws` draws below range (at most 2^16) to counts[draw]: the
    // same draws, in the same order, as that many calls of below(range),
    // with the loop over whole outputs written out for speed. It resamples
    // frames one by one, as the bench and the tests do to check the drawn
    // medians against.
    void count(uint32_t range, uint32_t draws, uint32_t* counts) {
        const uint32_t threshold = uint32_t((uint64_t(1) << 16) - range) % range;
        uint32_t drawn = 0;
        // A chunk whose product falls under the threshold is rejected and the
        // next chunk drawn in its place, exactly as below() does.
        auto take = [&](uint64_t chunk16) {
            const uint64_t product = chunk16 * range;
            if ((product & 0xffff) < threshold) return;
            ++counts[product >> 16];
            ++drawn;
        };
        while (drawn < draws && left_ >= 16) take(chunk(16));
        while (draws - drawn >= 4) {
            const uint64_t word = engine_();
            take(word & 0xffff);
            take((word >> 16) & 0xffff);
            take((word >> 32) & 0xffff);
            take(word >> 48);
        }
        while (drawn < draws) take(chunk(16));
    }

    // A uniform double in [0, 1), a multiple of 2^-53: a 53-bit chunk, which
    // always starts a fresh output.
    double unit() { return double(chunk(53)) * 0x1p-53; }

private:
    uint64_t chunk(int width) {
        if (left_ < width) {
            bits_ = engine_();
            left_ = 64;
        }
        const uint64_t value = bits_ & ((uint64_t(1) << width) - 1);
        bits_ >>= width;
        left_ -= width;
        return value;
    }

    BlockTwister engine_;
    uint64_t bits_ = 0;
    int left_ = 0;
};

// ---------------------------------------------------------------------------
// Verdicts.
//
// A change counts only when the interval of B/A excludes 1 and the ratio
// itself is at least noiseFloor away from 1: differences under 1% are within
// what repeated runs of one build on one machine show, and no decision
// should rest on them.
// ---------------------------------------------------------------------------

constexpr double noiseFloor = 0.01;

enum class Verdict { faster, slower, noClearDifference };

// "faster", "slower", "no clear difference": B against A.
const char* verdictName(Verdict verdict);
Verdict verdictFor(const Interval& ratio, Direction direction);
