#include "analysis/statistics.h"

#include "analysis/resampled_median.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return NAN;
    const double position = p * double(sorted.size() - 1);
    const size_t below = size_t(std::floor(position));
    const double fraction = position - double(below);
    // Without the guard an infinite neighbour would turn 0 x inf into NaN,
    // and two equal infinite ones inf - inf.
    if (fraction == 0 || below + 1 >= sorted.size() || sorted[below] == sorted[below + 1]) return sorted[below];
    return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

Statistics computeStatistics(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    Statistics stats;
    stats.count = values.size();
    if (values.empty()) {
        stats.min = stats.median = stats.mean = stats.max = stats.stddev = stats.p95 = NAN;
        return stats;
    }
    std::sort(values.begin(), values.end());
    stats.min = values.front();
    stats.max = values.back();
    stats.median = quantile(values, 0.5);
    stats.p95 = quantile(values, 0.95);

    double sum = 0;
    for (double v : values) sum += v;
    stats.mean = sum / double(values.size());
    if (values.size() < 2) {
        stats.stddev = NAN;
    } else {
        // Two passes: the textbook one-pass formula loses digits when the
        // spread is small against the mean, as with steady frame times.
        double squares = 0;
        for (double v : values) squares += (v - stats.mean) * (v - stats.mean);
        stats.stddev = std::sqrt(squares / double(values.size() - 1));
    }
    return stats;
}

namespace {

// The median of sorted values given its two middle order statistics, as
// quantile() interpolates them.
double middle(double lower, double upper) {
    if (lower == upper) return lower;   // also keeps two infinities from giving NaN
    return lower + 0.5 * (upper - lower);
}

// Moves the k-th smallest value to values[k], none larger before it and
// none smaller after, as std::nth_element does; about twice as fast here,
// where every resample selects a median: a quickselect whose partition
// moves each value without branching on it. Not-a-numbers, which order
// nothing, and a run of bad pivots take the library's way.
void selectNth(std::vector<double>& values, size_t k) {
    if (std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); })) {
        std::nth_element(values.begin(), values.begin() + long(k), values.end());
        return;
    }
    double* a = values.data();
    size_t low = 0, high = values.size(), rounds = 0;
    while (high - low > 12) {
        if (++rounds > 64) {
            std::nth_element(a + low, a + k, a + high);
            return;
        }
        const double x = a[low], y = a[low + (high - low) / 2], z = a[high - 1];
        const double pivot = std::max(std::min(x, y), std::min(std::max(x, y), z));
        size_t below = low;   // [low, below) < pivot
        for (size_t i = low; i < high; ++i) {
            const double v = a[i];
            a[i] = a[below];
            a[below] = v;
            below += v < pivot;
        }
        if (k < below) {
            high = below;
            continue;
        }
        size_t equal = below;   // [below, equal) == pivot
        for (size_t i = below; i < high; ++i) {
            const double v = a[i];
            a[i] = a[equal];
            a[equal] = v;
            equal += !(pivot < v);
        }
        if (k < equal) return;
        low = equal;
    }
    std::sort(a + low, a + high);
}

}  // namespace

double selectedMedian(std::vector<double>& values) {
    if (values.empty()) return NAN;
    const auto upper = values.begin() + long(values.size() / 2);
    selectNth(values, values.size() / 2);
    if (values.size() % 2 == 1) return *upper;
    return middle(*std::max_element(values.begin(), upper), *upper);
}

double medianOf(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    return selectedMedian(values);
}

namespace {

double medianOfSorted(const std::vector<double>& sorted) { return quantile(sorted, 0.5); }

// One side ready for resampling: each run's samples sorted, NaN and empty
// runs left out, and for resampling the distribution of each run's
// resampled median.
struct Side {
    std::vector<std::vector<double>> runs;
    std::vector<std::shared_ptr<const ResampledMedian>> medians;
    size_t samples = 0;
    // When every run holds a single sample (a per-run figure, a series of
    // run medians): the runs in the order of their values, so that a
    // resample's median is read off how often each run was drawn.
    std::vector<uint32_t> byValue;
};

Side prepare(const RunSamples& input, bool forResampling = true) {
    Side side;
    for (const std::vector<double>& run : input) {
        std::vector<double> kept;
        kept.reserve(run.size());
        for (double v : run)
            if (!std::isnan(v)) kept.push_back(v);
        if (kept.empty()) continue;
        // A history check hands every run over sorted already, three times.
        if (!std::is_sorted(kept.begin(), kept.end())) std::sort(kept.begin(), kept.end());
        side.samples += kept.size();
        if (forResampling) side.medians.push_back(resampledMedianFor(uint32_t(kept.size())));
        side.runs.push_back(std::move(kept));
    }
    // Counting draws needs 16-bit draws, as UniformIndex makes for up to 2^16 runs.
    if (forResampling && side.samples == side.runs.size() && side.runs.size() <= (size_t(1) << 16)) {
        side.byValue.resize(side.runs.size());
        std::iota(side.byValue.begin(), side.byValue.end(), 0u);
        std::sort(side.byValue.begin(), side.byValue.end(),
                  [&](uint32_t a, uint32_t b) { return side.runs[a][0] < side.runs[b][0]; });
    }
    return side;
}

double statisticOf(const Side& side) {
    std::vector<double> medians;
    for (const std::vector<double>& run : side.runs) medians.push_back(medianOfSorted(run));
    return selectedMedian(medians);
}

// Reusable buffers, so that resampling allocates nothing after the first draw.
struct Scratch {
    std::vector<double> medians;
    std::vector<uint32_t> counts;
};

// The median of as many frames drawn with replacement from run r as it
// holds, drawn from its distribution rather than frame by frame.
double resampledRunMedian(const Side& side, uint32_t r, UniformIndex& random) {
    const std::vector<double>& run = side.runs[r];
    if (run.size() == 1) return run[0];
    const MedianIndices drawn = side.medians[r]->draw(random);
    return middle(run[drawn.low], run[drawn.high]);
}

// A resample of runs of one sample each: the same draws of runs as one by
// one, counted, and the median that selection would find among the drawn
// values read off the counts in value order.
double countedStatistic(const Side& side, UniformIndex& random, Scratch& scratch) {
    const uint32_t runCount = uint32_t(side.runs.size());
    scratch.counts.assign(runCount, 0);
    random.count(runCount, runCount, scratch.counts.data());
    const uint32_t upper = runCount / 2;
    uint32_t seen = 0;
    double lower = NAN;
    for (uint32_t r : side.byValue) {
        const uint32_t drawn = scratch.counts[r];
        if (drawn == 0) continue;
        const double value = side.runs[r][0];
        if (runCount % 2 == 0 && seen < upper && upper - 1 < seen + drawn) lower = value;
        if (upper < seen + drawn) return runCount % 2 ? value : middle(lower, value);
        seen += drawn;
    }
    return NAN;   // not reached: the counts add up to runCount
}

double resampledStatistic(const Side& side, UniformIndex& random, Scratch& scratch) {
    if (!side.byValue.empty()) return countedStatistic(side, random, scratch);
    const uint32_t runCount = uint32_t(side.runs.size());
    scratch.medians.clear();
    for (uint32_t r = 0; r < runCount; ++r)
        scratch.medians.push_back(resampledRunMedian(side, random.below(runCount), random));
    return selectedMedian(scratch.medians);
}

// The central interval of the resampled values at the given confidence.
void percentileInterval(std::vector<double>& values, double confidence, Interval& out) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }), values.end());
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    const double tail = (1 - confidence) / 2;
    out.low = quantile(values, tail);
    out.high = quantile(values, 1 - tail);
}

Scratch scratchFor(const Side& a, const Side& b) {
    Scratch scratch;
    scratch.medians.reserve(std::max(a.runs.size(), b.runs.size()));
    return scratch;
}

std::vector<double> resampledMedians(const Side& side, const BootstrapOptions& options) {
    std::vector<double> resampled;
    if (side.runs.empty()) return resampled;
    UniformIndex random(options.seed);
    Scratch scratch = scratchFor(side, side);
    resampled.resize(size_t(std::max(options.resamples, 0)));
    for (double& value : resampled) value = resampledStatistic(side, random, scratch);
    return resampled;
}

std::vector<double> resampledRatios(const Side& sideA, const Side& sideB, const BootstrapOptions& options) {
    std::vector<double> resampled;
    if (sideA.runs.empty() || sideB.runs.empty()) return resampled;
    UniformIndex random(options.seed);
    Scratch scratch = scratchFor(sideA, sideB);
    resampled.resize(size_t(std::max(options.resamples, 0)));
    for (double& value : resampled) {
        const double medianA = resampledStatistic(sideA, random, scratch);
        value = resampledStatistic(sideB, random, scratch) / medianA;
    }
    return resampled;
}

}  // namespace

double medianOfRunMedians(const RunSamples& runs) { return statisticOf(prepare(runs, false)); }

std::vector<double> bootstrapMedians(const RunSamples& runs, const BootstrapOptions& options) {
    return resampledMedians(prepare(runs), options);
}

std::vector<double> bootstrapRatios(const RunSamples& a, const RunSamples& b, const BootstrapOptions& options) {
    return resampledRatios(prepare(a), prepare(b), options);
}

// Each side is sorted once for its estimate and its resamples: with
// resampling this cheap, sorting is most of an interval's cost.
Interval medianInterval(const RunSamples& runs, const BootstrapOptions& options) {
    const Side side = prepare(runs);
    Interval interval;
    interval.estimate = statisticOf(side);
    // One sample has no spread to resample: the interval would be a point.
    if (side.samples < 2) return interval;
    std::vector<double> resampled = resampledMedians(side, options);
    percentileInterval(resampled, options.confidence, interval);
    return interval;
}

Interval ratioInterval(const RunSamples& a, const RunSamples& b, const BootstrapOptions& options) {
    const Side sideA = prepare(a);
    const Side sideB = prepare(b);
    Interval interval;
    interval.estimate = statisticOf(sideB) / statisticOf(sideA);
    // An interval from the other side's spread alone would claim a
    // precision nobody measured.
    if (sideA.samples < 2 || sideB.samples < 2) return interval;
    std::vector<double> resampled = resampledRatios(sideA, sideB, options);
    percentileInterval(resampled, options.confidence, interval);
    return interval;
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::faster: return "faster";
        case Verdict::slower: return "slower";
        default: return "no clear difference";
    }
}

Verdict verdictFor(const Interval& ratio, Direction direction) {
    if (!std::isfinite(ratio.estimate) || !std::isfinite(ratio.low) || !std::isfinite(ratio.high))
        return Verdict::noClearDifference;
    if (ratio.low <= 1 && 1 <= ratio.high) return Verdict::noClearDifference;
    if (std::fabs(ratio.estimate - 1) < noiseFloor) return Verdict::noClearDifference;
    const bool larger = ratio.low > 1;
    return larger == (direction == Direction::higherIsBetter) ? Verdict::faster : Verdict::slower;
}
