// The set-up a user of `triangles` sees, against the plain scalar fill, and
// what threads do for the fill.
//
// First the fill alone with 1, 2, ... N threads (N the CPUs this process may
// run on, at least 2), a new buffer each run so that bringing its pages in is
// included, once for each way of doing that: the fill's writes faulting them
// in, madvise(MADV_POPULATE_WRITE) per slice, and MAP_POPULATE on the whole
// mapping (its time included). Beside them, the same pages brought in and
// written with zeros on as many threads: the floor under any fill of a new
// buffer, however cheap its arithmetic. Then, alternating round by round, the
// plain scalar fill into a new array and the real program's reported set-up
// time.
//
// Usage: setup_bench [rounds]   (default 5; needs a display for the program,
// e.g. xvfb-run -a -s "-screen 0 1920x1200x24" build/release/bench/fill/setup_bench)
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fill.h"
#include "bench_timing.h"

namespace {

// On a VM whose balloon reports free pages, memory that has lain free a
// couple of seconds costs more to fault in; a program starts on such memory,
// so every first-touch run waits for the previous run's memory to get there.
void settle() { std::this_thread::sleep_for(std::chrono::seconds(3)); }

enum Touch { byWriting, byPopulating, byMapPopulate, pagesAlone };
constexpr int touchCount = 4;
const char* touchNames[] = {"writes fault pages in", "MADV_POPULATE_WRITE per slice",
                            "MAP_POPULATE", "pages alone: populate, zeros"};

// Each thread populates its slice and writes zeros over it, as the fill
// would write its elements.
void bringPagesIn(char* buffer, unsigned threads) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t pages = attributeBytes / page;
    auto slice = [&](unsigned i) {
        char* from = buffer + pages * i / threads * page;
        char* to = buffer + pages * (i + 1) / threads * page;
#ifdef MADV_POPULATE_WRITE
        madvise(from, size_t(to - from), MADV_POPULATE_WRITE);
#endif
        std::memset(from, 0, size_t(to - from));
    };
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) workers.emplace_back(slice, i);
    slice(0);
    for (std::thread& worker : workers) worker.join();
}

double timeThreadedFill(unsigned threads, Touch touch) {
    const auto start = std::chrono::steady_clock::now();
    void* mapped = mmap(nullptr, attributeBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | (touch == byMapPopulate ? MAP_POPULATE : 0),
                        -1, 0);
    if (mapped == MAP_FAILED) {
        std::fprintf(stderr, "setup_bench: cannot map the buffer\n");
        std::exit(1);
    }
    if (touch == pagesAlone)
        bringPagesIn(static_cast<char*>(mapped), threads);
    else
        fillAttributesThreaded(bestFillLevel(), threads,
                               touch == byPopulating ? touchByPopulating : touchByWriting,
                               static_cast<double*>(mapped), attributeCount);
    const double seconds = secondsSince(start);
    munmap(mapped, attributeBytes);
    return seconds;
}

double timePlainFill() {
    double* buffer = new double[attributeCount];
    const auto start = std::chrono::steady_clock::now();
    fillAttributesPlain(buffer, attributeCount);
    const double seconds = secondsSince(start);
    delete[] buffer;
    return seconds;
}

// Starts the program in an empty directory, reads its console up to the
// set-up line, ends it and clears the directory. Returns the reported seconds.
double reportedSetup(const char* program) {
    char dir[] = "/tmp/setup_bench.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("setup_bench: mkdtemp");
        std::exit(1);
    }
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        if (chdir(dir) != 0) _exit(127);
        execl(program, program, nullptr);
        _exit(127);
    }
    close(out[1]);
    FILE* console = fdopen(out[0], "r");
    char line[512];
    double seconds = -1;
    const char* prefix = "It spent: ";
    while (std::fgets(line, sizeof line, console) != nullptr) {
        if (std::strncmp(line, prefix, std::strlen(prefix)) == 0) {
            seconds = std::atof(line + std::strlen(prefix));
            break;
        }
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::fclose(console);
    const std::string cleanup = std::string("rm -rf '") + dir + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "setup_bench: %s left\n", dir);
    if (seconds < 0) {
        std::fprintf(stderr, "setup_bench: %s reported no set-up time (no display?)\n", program);
        std::exit(1);
    }
    return seconds;
}

unsigned cpusAvailable() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? unsigned(CPU_COUNT(&cpus)) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const unsigned most = std::max(2u, std::min(cpusAvailable(), maxFillThreads));
    std::printf("setup bench: %d rounds, fill level %s, up to %u threads\n", rounds,
                fillLevelName(bestFillLevel()), most);

    std::vector<std::vector<double>> times(touchCount * most);
    for (int round = 0; round < rounds; ++round) {
        for (unsigned threads = 1; threads <= most; ++threads) {
            for (int touch = 0; touch < touchCount; ++touch) {
                settle();
                times[(threads - 1) * touchCount + touch].push_back(timeThreadedFill(threads, Touch(touch)));
            }
        }
    }
    std::printf("\nfill of a new buffer, pages brought in included, medians (s); speed-up over 1 thread\n");
    for (int touch = 0; touch < touchCount; ++touch) {
        std::printf("  %-30s", touchNames[touch]);
        const double one = median(times[touch]);
        for (unsigned threads = 1; threads <= most; ++threads) {
            const double m = median(times[(threads - 1) * touchCount + touch]);
            std::printf("  %u: %.3f (%.2fx)", threads, m, one / m);
        }
        std::printf("\n");
    }

    std::vector<double> plain, setup;
    std::printf("\nseconds per round   plain fill   triangles' reported set-up\n");
    for (int round = 0; round < rounds; ++round) {
        settle();
        plain.push_back(timePlainFill());
        settle();
        setup.push_back(reportedSetup(LUMENFOLD_TRIANGLES_PROGRAM));
        std::printf("  round %d %15.3f %15.3f\n", round + 1, plain.back(), setup.back());
    }
    const double mPlain = median(plain), mSetup = median(setup);
    std::printf("\nmedians: plain scalar fill %.3f s, reported set-up %.3f s, ratio %.3f\n", mPlain,
                mSetup, mSetup / mPlain);
    const double floor = median(times[(most - 1) * touchCount + pagesAlone]);
    std::printf("pages alone on %u threads %.3f s: %.3f of the plain fill, the least any fill of a "
                "new buffer can take\n",
                most, floor, floor / mPlain);
    return 0;
}
