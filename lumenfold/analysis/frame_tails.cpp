#include "analysis/frame_tails.h"

#include <algorithm>
#include <cmath>

const TailFigureSpec tailFigures[tailFigureCount] = {
    {"p99FrameSeconds", "p99 frame time (s)",
     "99th percentile of frame times, interpolated linearly between the nearest order statistics", 0.01, false},
    {"p999FrameSeconds", "p99.9 frame time (s)",
     "99.9th percentile of frame times, interpolated linearly between the nearest order statistics", 0.001, false},
    {"low1PercentFramesPerSecond", "1% low (frames/s)",
     "frame rate over the slowest 1% of frames (floor(n/100) of n): their count divided by their total time", 0.01,
     true},
    {"low01PercentFramesPerSecond", "0.1% low (frames/s)",
     "frame rate over the slowest 0.1% of frames (floor(n/1000) of n): their count divided by their total time",
     0.001, true},
};

namespace {

// Whole frames in the tail; rounded so that 1/share frames give one, not
// 0.999... of one.
long tailFrames(const TailFigureSpec& spec, size_t frames) {
    return long(std::floor(double(frames) * spec.share + 1e-9));
}

std::vector<double> withoutNaN(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }), values.end());
    return values;
}

// The tail figure of values known to be enough and free of not-a-number;
// reorders them.
double tailOf(const TailFigureSpec& spec, std::vector<double>& values) {
    if (!spec.rate) {
        std::sort(values.begin(), values.end());
        return quantile(values, 1.0 - spec.share);
    }
    const long k = tailFrames(spec, values.size());
    std::nth_element(values.begin(), values.begin() + (k - 1), values.end(), std::greater<double>());
    double total = 0;
    // The slowest k, summed from the smallest of them up, in a fixed order.
    std::sort(values.begin(), values.begin() + k);
    for (long i = 0; i < k; ++i) total += values[size_t(i)];
    return double(k) / total;
}

double medianOfSorted(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return quantile(values, 0.5);
}

std::vector<std::vector<double>> usableRuns(const RunSamples& runs) {
    std::vector<std::vector<double>> out;
    for (const std::vector<double>& run : runs) {
        std::vector<double> kept = withoutNaN(run);
        if (!kept.empty()) out.push_back(std::move(kept));
    }
    return out;
}

// One resample of a side: runs drawn with replacement, frames within each
// drawn run likewise; the median of the drawn runs' tail values.
double resampleSide(const TailFigureSpec& spec, const std::vector<std::vector<double>>& runs, UniformIndex& random,
                    std::vector<double>& frames, std::vector<double>& values) {
    values.clear();
    for (size_t r = 0; r < runs.size(); ++r) {
        const std::vector<double>& run = runs[random.below(uint32_t(runs.size()))];
        frames.resize(run.size());
        for (double& f : frames) f = run[random.below(uint32_t(run.size()))];
        values.push_back(tailOf(spec, frames));
    }
    return medianOfSorted(values);
}

double sideEstimate(const TailFigureSpec& spec, std::vector<std::vector<double>> runs) {
    std::vector<double> values;
    for (std::vector<double>& run : runs) values.push_back(tailOf(spec, run));
    return medianOfSorted(values);
}

}  // namespace

long framesForTail(const TailFigureSpec& spec) { return long(std::lround(1.0 / spec.share)); }

long framesForTailInterval(const TailFigureSpec& spec) { return 10 * framesForTail(spec); }

TailValue tailValue(const TailFigureSpec& spec, std::vector<double> frameSeconds) {
    TailValue out;
    frameSeconds = withoutNaN(std::move(frameSeconds));
    const long needed = framesForTail(spec);
    if (long(frameSeconds.size()) < needed) {
        out.absent = "needs at least " + std::to_string(needed) + " frames; the run has " +
                     std::to_string(frameSeconds.size());
        return out;
    }
    out.value = tailOf(spec, frameSeconds);
    return out;
}

Interval tailRatioInterval(const TailFigureSpec& spec, const RunSamples& a, const RunSamples& b,
                           const BootstrapOptions& options, std::string& why) {
    Interval out;
    const std::vector<std::vector<double>> runsA = usableRuns(a), runsB = usableRuns(b);
    const long needed = framesForTail(spec), sound = framesForTailInterval(spec);
    size_t fewest = SIZE_MAX;
    for (const auto* side : {&runsA, &runsB})
        for (const std::vector<double>& run : *side) fewest = std::min(fewest, run.size());
    if (runsA.empty() || runsB.empty() || long(fewest) < needed) {
        why = "needs at least " + std::to_string(needed) + " frames in every run";
        return out;
    }
    out.estimate = sideEstimate(spec, runsB) / sideEstimate(spec, runsA);
    if (long(fewest) < sound) {
        why = "no interval: a run has " + std::to_string(fewest) + " frames, fewer than the " +
              std::to_string(sound) + " that put ten in its tail, and resampling so few extreme frames "
              "understates how much the figure varies";
        return out;
    }
    UniformIndex random(options.seed);
    std::vector<double> ratios, frames, values;
    ratios.reserve(size_t(options.resamples));
    for (int i = 0; i < options.resamples; ++i) {
        const double ra = resampleSide(spec, runsA, random, frames, values);
        const double rb = resampleSide(spec, runsB, random, frames, values);
        ratios.push_back(rb / ra);
    }
    std::sort(ratios.begin(), ratios.end());
    const double tail = (1.0 - options.confidence) / 2;
    out.low = quantile(ratios, tail);
    out.high = quantile(ratios, 1.0 - tail);
    return out;
}
