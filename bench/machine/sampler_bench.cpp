// What sampling the machine costs: the sampling thread's CPU time over the
// time it ran, as a share of one core, against the goal of 0.5%; and the
// cost of one reading of every sensor, taken back to back.
//
//   sampler_bench [seconds=10] [interval ms=100] [root=/]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "bench_timing.h"
#include "machine/machine_sampler.h"

namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Readings back to back on this thread: CPU time per reading.
double readingCost(const MachineOptions& options, int readings) {
    MachineReader reader(options);
    reader.read(0);
    const double cpu = threadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < readings; ++i) reader.read(secondsSince(start) + 1);
    return (threadCpuSeconds() - cpu) / readings;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const int intervalMs = argc > 2 ? std::atoi(argv[2]) : 100;
    MachineOptions options;
    if (argc > 3) options.root = argv[3];
    options.pid = getpid();   // this process stands for the program
    if (seconds <= 0 || intervalMs <= 0) {
        std::fprintf(stderr, "usage: sampler_bench [seconds] [interval ms] [root]\n");
        return 2;
    }
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("sampler_bench_" + std::to_string(getpid()) + ".samples.csv")).string();
    const auto found = std::chrono::steady_clock::now();
    MachineSampler sampler(options, path, intervalMs);
    const double discovery = secondsSince(found);
    std::printf("%zu sensors sampled, %zu unavailable, found in %.2f ms\n", sampler.sensors().size(),
                sampler.unavailable().size(), discovery * 1e3);
    for (const std::string& problem : sampler.problems()) std::printf("  %s\n", problem.c_str());
    std::string error;
    if (!sampler.start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("sampling every %d ms for %g s...\n", intervalMs, seconds);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    sampler.stop();
    const double share = sampler.cpuSeconds() / sampler.wallSeconds();
    std::printf("%zu samples in %.2f s; sampling thread CPU %.4f s: %.3f%% of a core (goal: under 0.5%%)\n",
                sampler.samples(), sampler.wallSeconds(), sampler.cpuSeconds(), share * 100);
    std::printf("samples file: %ju bytes\n", uintmax_t(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
    const double each = readingCost(options, 2000);
    std::printf("one reading of every sensor, back to back: %.1f us CPU (%.3f%% of a core at %d ms)\n", each * 1e6,
                each / (intervalMs * 1e-3) * 100, intervalMs);
    return share < 0.005 ? 0 : 1;
}
