// What the interval of one compared figure costs: the hierarchical bootstrap
// of B/A for 10 runs x 1,000 frames per side at 10,000 resamples, against a
// plain single-level bootstrap of the same frames pooled (each resample
// drawn by the library's distribution and its median found by
// nth_element). Rounds alternate the two so both see the same machine
// state; the medians of wall and processor time and their ratio are printed.
//
// Usage: bootstrap_bench [rounds]   (default 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "compare/statistics.h"
#include "bench_timing.h"

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
RunSamples side(double level, uint64_t seed) {
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> noise(0, 1);
    RunSamples runs(10);
    for (std::vector<double>& run : runs) {
        const double runLevel = level * (1 + 0.02 * noise(engine));
        for (int f = 0; f < 1000; ++f) run.push_back(runLevel * (1 + 0.05 * noise(engine)));
    }
    return runs;
}

double pooledMedian(std::vector<double> values) {
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + long(middle), values.end());
    return values[middle];
}

// The reference: frames pooled, resampled at one level.
Interval singleLevel(const RunSamples& a, const RunSamples& b, int resamples) {
    std::vector<double> poolA, poolB;
    for (const auto& run : a) poolA.insert(poolA.end(), run.begin(), run.end());
    for (const auto& run : b) poolB.insert(poolB.end(), run.begin(), run.end());
    std::mt19937_64 engine(BootstrapOptions::defaultSeed);
    std::vector<double> drawA(poolA.size()), drawB(poolB.size()), ratios;
    std::uniform_int_distribution<size_t> pickA(0, poolA.size() - 1), pickB(0, poolB.size() - 1);
    for (int i = 0; i < resamples; ++i) {
        for (double& v : drawA) v = poolA[pickA(engine)];
        for (double& v : drawB) v = poolB[pickB(engine)];
        ratios.push_back(pooledMedian(drawB) / pooledMedian(drawA));
    }
    std::sort(ratios.begin(), ratios.end());
    Interval out;
    out.estimate = pooledMedian(poolB) / pooledMedian(poolA);
    out.low = quantile(ratios, 0.025);
    out.high = quantile(ratios, 0.975);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const RunSamples a = side(100, 1);
    const RunSamples b = side(103, 2);
    const BootstrapOptions options;
    std::vector<double> wallH, cpuH, wallR, cpuR;
    Interval hierarchical, reference;
    for (int r = 0; r < rounds; ++r) {
        const Timing h = timed([&] { hierarchical = ratioInterval(a, b, options); });
        const Timing s = timed([&] { reference = singleLevel(a, b, options.resamples); });
        wallH.push_back(h.wall);
        cpuH.push_back(h.cpu);
        wallR.push_back(s.wall);
        cpuR.push_back(s.cpu);
    }
    printf("10 runs x 1000 frames per side, %d resamples, median of %d rounds\n", options.resamples, rounds);
    printf("%-34s %10s %10s   %s\n", "", "wall (s)", "cpu (s)", "B/A [95% interval]");
    printf("%-34s %10.3f %10.3f   %.4f [%.4f, %.4f]\n", "hierarchical (runs, then frames)", median(wallH),
           median(cpuH), hierarchical.estimate, hierarchical.low, hierarchical.high);
    printf("%-34s %10.3f %10.3f   %.4f [%.4f, %.4f]\n", "reference: frames pooled, one level", median(wallR),
           median(cpuR), reference.estimate, reference.low, reference.high);
    printf("hierarchical / reference: %.2f (wall), %.2f (cpu)\n", median(wallH) / median(wallR),
           median(cpuH) / median(cpuR));
    return 0;
}
