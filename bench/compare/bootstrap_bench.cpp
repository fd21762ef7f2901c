// What the interval of one compared figure costs: the hierarchical bootstrap
// of B/A as lumenfold draws it (each drawn run's resampled median straight
// from its distribution) against the same bootstrap drawing every frame of
// every drawn run, as it was first written and is kept here as the
// reference. Both use the same generator and run mapping; their intervals
// agree to within the resampling noise, not to the bit.
//
// Sizes: 10 runs x 1,000 frames per side at 10,000 resamples, and 10 runs x
// 100,000 frames at 1,000 resamples (the reference would take minutes per
// round at 10,000; both methods are linear in the resamples apart from the
// new one's tables). Rounds alternate the two methods so both see the same
// machine state. The new method's tables, built once per frame count and
// process, are timed apart; its round times are with them already built.
//
// Usage: bootstrap_bench [rounds]   (default 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "bench_timing.h"
#include "analysis/resampled_median.h"
#include "analysis/statistics.h"

namespace {

struct Timing {
    double wall = 0;
    double cpu = 0;
};

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <typename Work>
Timing timed(Work work) {
    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    Timing t;
    t.wall = secondsSince(start);
    t.cpu = cpuSeconds() - cpuStart;
    return t;
}

// Frame rates with a spread between runs and within them.
RunSamples side(double level, int frames, uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> noise(0, 1);
    RunSamples runs(10);
    for (std::vector<double>& run : runs) {
        const double runLevel = level * (1 + 0.02 * noise(engine));
        for (int f = 0; f < frames; ++f) run.push_back(runLevel * (1 + 0.05 * noise(engine)));
    }
    return runs;
}

// The reference: every frame of every drawn run drawn again.
namespace reference {

double middle(double lower, double upper) { return lower == upper ? lower : lower + 0.5 * (upper - lower); }

double resampledRunMedian(const std::vector<double>& run, UniformIndex& random, std::vector<uint32_t>& counts) {
    const uint32_t n = uint32_t(run.size());
    if (n == 1) return run[0];
    std::fill(counts.begin(), counts.begin() + n, 0u);
    if (n <= (1u << 16))
        random.count(n, n, counts.data());
    else
        for (uint32_t i = 0; i < n; ++i) ++counts[random.below(n)];
    uint32_t seen = 0, index = 0;
    while (seen + counts[index] <= (n - 1) / 2) seen += counts[index++];
    const double lower = run[index];
    while (seen + counts[index] <= n / 2) seen += counts[index++];
    return middle(lower, run[index]);
}

double resampledStatistic(const RunSamples& sorted, UniformIndex& random, std::vector<uint32_t>& counts,
                          std::vector<double>& medians) {
    medians.clear();
    for (size_t r = 0; r < sorted.size(); ++r)
        medians.push_back(resampledRunMedian(sorted[random.below(uint32_t(sorted.size()))], random, counts));
    std::sort(medians.begin(), medians.end());
    return quantile(medians, 0.5);
}

Interval ratioInterval(RunSamples a, RunSamples b, const BootstrapOptions& options) {
    size_t longest = 0;
    for (RunSamples* side : {&a, &b})
        for (std::vector<double>& run : *side) {
            std::sort(run.begin(), run.end());
            longest = std::max(longest, run.size());
        }
    std::vector<uint32_t> counts(longest);
    std::vector<double> medians, ratios;
    UniformIndex random(options.seed);
    for (int i = 0; i < options.resamples; ++i) {
        const double medianA = resampledStatistic(a, random, counts, medians);
        ratios.push_back(resampledStatistic(b, random, counts, medians) / medianA);
    }
    std::sort(ratios.begin(), ratios.end());
    Interval out;
    out.estimate = medianOfRunMedians(b) / medianOfRunMedians(a);
    const double tail = (1 - options.confidence) / 2;
    out.low = quantile(ratios, tail);
    out.high = quantile(ratios, 1 - tail);
    return out;
}

}  // namespace reference

void compareAt(int frames, int resamples, int rounds) {
    const RunSamples a = side(100, frames, 1);
    const RunSamples b = side(103, frames, 2);
    BootstrapOptions options;
    options.resamples = resamples;
    uint32_t covered = 0;
    const Timing table = timed([&] { covered = ResampledMedian(uint32_t(frames)).size(); });
    std::vector<double> wallNew, cpuNew, wallOld, cpuOld;
    Interval drawn, redrawn;
    for (int r = 0; r < rounds; ++r) {
        const Timing n = timed([&] { drawn = ratioInterval(a, b, options); });
        const Timing o = timed([&] { redrawn = reference::ratioInterval(a, b, options); });
        wallNew.push_back(n.wall);
        cpuNew.push_back(n.cpu);
        wallOld.push_back(o.wall);
        cpuOld.push_back(o.cpu);
    }
    printf("\n10 runs x %d frames per side, %d resamples, median of %d rounds\n", frames, resamples, rounds);
    printf("%-38s %10s %10s   %s\n", "", "wall (s)", "cpu (s)", "B/A [95% interval]");
    printf("%-38s %10.4f %10.4f   %.4f [%.4f, %.4f]\n", "new: medians drawn from their tables", median(wallNew),
           median(cpuNew), drawn.estimate, drawn.low, drawn.high);
    printf("%-38s %10.4f %10.4f   (%u order statistics)\n", "  its table for this frame count", table.wall, table.cpu,
           covered);
    printf("%-38s %10.4f %10.4f   %.4f [%.4f, %.4f]\n", "reference: every frame drawn", median(wallOld),
           median(cpuOld), redrawn.estimate, redrawn.low, redrawn.high);
    printf("reference / new: %.1f (wall), %.1f (cpu); with the table built: %.1f (wall)\n",
           median(wallOld) / median(wallNew), median(cpuOld) / median(cpuNew),
           median(wallOld) / (median(wallNew) + table.wall));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    compareAt(1000, 10000, rounds);
    compareAt(100000, 1000, rounds);
    return 0;
}
