// cos, sin and tan of the fill, at every level this machine has, against
// MPFR's correctly rounded values: over all 2^26 arguments, or over a fixed
// sample spread across them. The MPFR values are computed once per argument
// and every level is compared with them; the C library is counted too, for
// the record. Work is split across the CPUs this process may run on.
//
// Calling mpfr_sin, mpfr_cos and mpfr_tan 2^26 times takes most of an hour of
// processor time here, so the reference walks each block of 2^16 arguments
// with MPFR at 192 bits: sin and cos of the block's first argument, then a
// rotation by one radian per step, tan as their quotient. Over 2^16 steps the
// error stays below 2^-173 absolute, so below 2^-140 of any value (none is
// smaller than 2^-27); mpfr_can_round says whether that decides the double
// nearest, and where it does not, MPFR's own 53-bit functions are called.
//
// Usage: fill_exhaustive [all|portable|vector] [every N]
//   which levels (default all), and every Nth argument from each block of N,
//   the offset turning with the block (default 1: every argument).
// Exits 0 when every compared value of every chosen level is the MPFR value.
#include <mpfr.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fill.h"

namespace {

constexpr size_t chunk = size_t(1) << 16;
const char* functionNames[3] = {"cos", "sin", "tan"};

std::vector<FillLevel> levels;
size_t every = 1;
std::atomic<size_t> nextChunk{0};
std::atomic<size_t> chunksDone{0};
std::mutex reportLock;

// Per level and function: wrong values, and the first one found.
struct Tally {
    std::atomic<uint64_t> wrong{0};
    std::atomic<uint64_t> careful{0};
    size_t firstWrong = SIZE_MAX;
};
std::vector<Tally> tallies;           // levels.size() * 3
std::atomic<uint64_t> libraryWrong[3];  // the C library, per function
std::atomic<uint64_t> compared{0};

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

constexpr mpfr_prec_t walkBits = 192;
constexpr mpfr_exp_t walkGoodBits = 140;
std::atomic<uint64_t> directCalls{0};

// The double nearest the value that v approximates to walkGoodBits bits;
// when that is undecided, f's own correctly rounded value at x.
double nearest(mpfr_srcptr v, int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), mpfr_srcptr x,
               mpfr_ptr scratch53) {
    if (mpfr_can_round(v, walkGoodBits, MPFR_RNDN, MPFR_RNDZ, 54)) {
        return mpfr_get_d(v, MPFR_RNDN);
    }
    ++directCalls;
    f(scratch53, x, MPFR_RNDN);
    return mpfr_get_d(scratch53, MPFR_RNDN);
}

void worker() {
    mpfr_t x, c, s, t, c1, s1, u, v, w, r53;
    mpfr_inits2(walkBits, x, c, s, t, c1, s1, u, v, w, static_cast<mpfr_ptr>(nullptr));
    mpfr_init2(r53, 53);
    mpfr_set_ui(x, 1, MPFR_RNDN);
    mpfr_sin_cos(s1, c1, x, MPFR_RNDN);
    std::vector<double> ref[3], got[3];
    for (auto& values : ref) values.resize(chunk);
    for (auto& values : got) values.resize(chunk);
    const size_t chunks = attributeCount / chunk;
    for (size_t n; (n = nextChunk++) < chunks;) {
        const size_t first = n * chunk;
        // The sampled positions of this chunk: i where (first + i) % every
        // is the block's turning offset.
        std::vector<size_t> positions;
        for (size_t i = 0; i < chunk; ++i) {
            const size_t k = first + i;
            if (k % every == (k / every) % every) positions.push_back(i);
        }
        uint64_t libraryMiss[3] = {};
        mpfr_set_ui(x, first, MPFR_RNDN);
        mpfr_sin_cos(s, c, x, MPFR_RNDN);
        size_t at = 0;  // the argument c and s belong to, first + at
        for (size_t i : positions) {
            for (; at < i; ++at) {
                // (c, s) turned by one radian.
                mpfr_mul(u, c, c1, MPFR_RNDN);
                mpfr_mul(v, s, s1, MPFR_RNDN);
                mpfr_mul(w, s, c1, MPFR_RNDN);
                mpfr_sub(u, u, v, MPFR_RNDN);
                mpfr_mul(v, c, s1, MPFR_RNDN);
                mpfr_add(s, w, v, MPFR_RNDN);
                mpfr_swap(c, u);
            }
            const double arg = double(first + i);
            if (first + i == 0) {
                ref[0][i] = 1.0, ref[1][i] = 0.0, ref[2][i] = 0.0;
            } else {
                mpfr_set_ui(x, first + i, MPFR_RNDN);
                mpfr_div(t, s, c, MPFR_RNDN);
                ref[0][i] = nearest(c, mpfr_cos, x, r53);
                ref[1][i] = nearest(s, mpfr_sin, x, r53);
                ref[2][i] = nearest(t, mpfr_tan, x, r53);
            }
            libraryMiss[0] += !same(std::cos(arg), ref[0][i]);
            libraryMiss[1] += !same(std::sin(arg), ref[1][i]);
            libraryMiss[2] += !same(std::tan(arg), ref[2][i]);
        }
        for (int f = 0; f < 3; ++f) libraryWrong[f] += libraryMiss[f];
        compared += positions.size();
        for (size_t l = 0; l < levels.size(); ++l) {
            tallies[l * 3].careful +=
                trigAt(levels[l], first, chunk, got[0].data(), got[1].data(), got[2].data());
            for (int f = 0; f < 3; ++f) {
                Tally& tally = tallies[l * 3 + f];
                for (size_t i : positions) {
                    if (same(got[f][i], ref[f][i])) continue;
                    ++tally.wrong;
                    std::lock_guard<std::mutex> hold(reportLock);
                    if (first + i < tally.firstWrong) tally.firstWrong = first + i;
                }
            }
        }
        const size_t done = ++chunksDone;
        if (done % (chunks / 16) == 0) {
            std::lock_guard<std::mutex> hold(reportLock);
            std::printf("  %3zu%% of the arguments\n", done * 100 / chunks);
            std::fflush(stdout);
        }
    }
    mpfr_clears(x, c, s, t, c1, s1, u, v, w, r53, static_cast<mpfr_ptr>(nullptr));
    mpfr_free_cache();
}

unsigned cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? unsigned(CPU_COUNT(&set)) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "all";
    if (argc > 2) every = std::strtoul(argv[2], nullptr, 10);
    if ((which != "all" && which != "portable" && which != "vector") || every < 1) {
        std::fprintf(stderr, "usage: fill_exhaustive [all|portable|vector] [every N]\n");
        return 2;
    }
    for (int l = 0; l < fillLevelCount; ++l) {
        const FillLevel level = FillLevel(l);
        const bool wanted = which == "all" || (which == "portable") == (level == fillPortable);
        if (wanted && fillLevelSupported(level)) levels.push_back(level);
    }
    if (!mpfr_buildopt_tls_p()) {
        std::fprintf(stderr, "fill_exhaustive: this MPFR is not thread-safe\n");
        return 2;
    }
    tallies = std::vector<Tally>(levels.size() * 3);
    const unsigned threads = cpus();
    std::printf("cos, sin, tan against MPFR: %s levels (", which.c_str());
    for (FillLevel level : levels) std::printf(" %s", fillLevelName(level));
    std::printf(" ), every %zu of 2^26 arguments, %u threads\n", every, threads);
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i) pool.emplace_back(worker);
    for (auto& thread : pool) thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("%llu arguments compared in %.1f s (%llu values needed MPFR's own functions)\n",
                (unsigned long long)compared.load(), seconds,
                (unsigned long long)directCalls.load());
    bool ok = compared > 0;
    for (size_t l = 0; l < levels.size(); ++l) {
        std::printf("  %-8s", fillLevelName(levels[l]));
        for (int f = 0; f < 3; ++f) {
            const Tally& tally = tallies[l * 3 + f];
            std::printf("  %s wrong: %llu", functionNames[f], (unsigned long long)tally.wrong.load());
            if (tally.wrong != 0) {
                std::printf(" (first at %zu)", tally.firstWrong);
                ok = false;
            }
        }
        std::printf("  careful evaluations: %llu\n",
                    (unsigned long long)tallies[l * 3].careful.load());
    }
    std::printf("  C library (not checked, for the record):");
    for (int f = 0; f < 3; ++f) {
        std::printf("  %s wrong: %llu", functionNames[f], (unsigned long long)libraryWrong[f].load());
    }
    std::printf("\n%s\n", ok ? "all values correctly rounded" : "FAILED");
    return ok ? 0 : 1;
}
