// Times the plain fill against the shipped fill of the triangles buffer in one
// process, alternating them round by round so that both see the same machine
// state: once into new buffers, the first touch of their pages included (as
// at the program's start), once into buffers written before, the fill alone;
// with SLEEF at hand, its 1-ulp fill too. Then counts the elements that differ
// from the plain fill's and checks the shipped fill's cos, sin and tan against
// the C library over every argument the buffer uses.
//
// Usage: fill_bench [rounds]   (default 5; one thread, about 20 s a round)
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "fill.h"

#if FILL_BENCH_LIBRARY
void libraryFillAvx2(double* buffer, size_t count);
void libraryFillAvx512(double* buffer, size_t count);
#endif

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void plainFill(double* buffer) { fillAttributesPlain(buffer, attributeCount); }
void shippedFill(double* buffer) { fillAttributes(buffer, attributeCount); }

#if FILL_BENCH_LIBRARY
// SLEEF's forms at the same level as the shipped fill, for AVX2 and AVX-512.
bool libraryAvailable() { return bestFillLevel() >= fillAvx2; }
void libraryFill(double* buffer) {
    if (bestFillLevel() == fillAvx512) libraryFillAvx512(buffer, attributeCount);
    else libraryFillAvx2(buffer, attributeCount);
}
#else
bool libraryAvailable() { return false; }
void libraryFill(double*) {}
#endif

// The fill as the program used to run it: a free-store array on small pages,
// every page faulted in by the fill.
double timeIntoNewArray(void (*fill)(double*)) {
    double* buffer = new double[attributeCount];
    const auto start = std::chrono::steady_clock::now();
    fill(buffer);
    const double seconds = secondsSince(start);
    delete[] buffer;
    return seconds;
}

// A fill into a freshly provisioned buffer, its pages faulted in by the fill.
double timeIntoProvisioned(void (*fill)(double*), bool hugePages) {
    double* buffer = provisionAttributeBuffer(hugePages);
    if (buffer == nullptr) {
        std::fprintf(stderr, "fill_bench: cannot provision a buffer\n");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    fill(buffer);
    const double seconds = secondsSince(start);
    munmap(buffer, attributeBytes);
    return seconds;
}

// A program starts on memory that has lain free a while; on a VM whose
// balloon reports free pages, the host takes such memory back after about 2 s
// and faulting it in again costs more. Pausing before each first-touch run
// lets the memory the previous run freed reach that state too.
void settle() { std::this_thread::sleep_for(std::chrono::seconds(3)); }

// The fill alone: the buffer's pages are already in place.
double timeIntoTouched(void (*fill)(double*), double* buffer) {
    const auto start = std::chrono::steady_clock::now();
    fill(buffer);
    return secondsSince(start);
}

// Per function: arguments at 0 ulp, at 1 ulp, above 1 ulp, and the largest.
void tally(uint64_t* counts, double shipped, double reference) {
    const uint64_t d = ulpDistance(shipped, reference);
    ++counts[d < 2 ? d : 2];
    counts[3] = std::max(counts[3], d);
}

void printTally(const char* name, const uint64_t* counts) {
    std::printf("  %-4s %10llu %10llu %8llu %8llu\n", name, (unsigned long long)counts[0],
                (unsigned long long)counts[1], (unsigned long long)counts[2],
                (unsigned long long)counts[3]);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const FillLevel level = bestFillLevel();
    std::printf("fill bench: 2^26 elements, %d rounds, one thread, shipped level %s\n", rounds,
                fillLevelName(level));

    double* plainTouched = provisionAttributeBuffer(attributeHugePages);
    double* shippedTouched = provisionAttributeBuffer(attributeHugePages);
    if (plainTouched == nullptr || shippedTouched == nullptr) {
        std::fprintf(stderr, "fill_bench: cannot provision the buffers\n");
        return 1;
    }
    std::memset(plainTouched, 0, attributeBytes);
    std::memset(shippedTouched, 0, attributeBytes);

    // First touch included: a new buffer per run, after a pause (see settle).
    std::vector<double> plainNew, shippedSmall, shippedHuge;
    // First touch excluded: the same two buffers every round.
    std::vector<double> plainWarm, shippedWarm, libraryWarm;
    std::printf("seconds per round        plain      shipped    shipped  |  plain    shipped  SLEEF\n");
    std::printf("                         new[]      small pg   huge pg  |  touched  touched  touched\n");
    for (int round = 0; round < rounds; ++round) {
        settle();
        plainNew.push_back(timeIntoNewArray(plainFill));
        settle();
        shippedSmall.push_back(timeIntoProvisioned(shippedFill, false));
        settle();
        shippedHuge.push_back(timeIntoProvisioned(shippedFill, true));
        plainWarm.push_back(timeIntoTouched(plainFill, plainTouched));
        // The library writes into the shipped fill's buffer first, so that the
        // shipped fill's result is what the buffer holds at the end.
        if (libraryAvailable()) libraryWarm.push_back(timeIntoTouched(libraryFill, shippedTouched));
        shippedWarm.push_back(timeIntoTouched(shippedFill, shippedTouched));
        std::printf("  round %d %16.3f %10.3f %10.3f  | %8.3f %8.3f", round + 1, plainNew.back(),
                    shippedSmall.back(), shippedHuge.back(), plainWarm.back(), shippedWarm.back());
        if (libraryAvailable()) std::printf(" %8.3f", libraryWarm.back());
        std::printf("\n");
    }

    const double mPlainNew = median(plainNew), mShippedSmall = median(shippedSmall);
    const double mShippedHuge = median(shippedHuge);
    const double mShipped = attributeHugePages ? mShippedHuge : mShippedSmall;
    const double mPlainWarm = median(plainWarm), mShippedWarm = median(shippedWarm);
    std::printf("\nmedians, first touch of the pages included (a new buffer every run):\n");
    std::printf("  plain fill, free-store array               %8.3f s\n", mPlainNew);
    std::printf("  shipped fill, mapped on small pages        %8.3f s\n", mShippedSmall);
    std::printf("  shipped fill, mapped on huge pages         %8.3f s\n", mShippedHuge);
    std::printf("  ratio shipped (as provisioned, %s pages) / plain  %8.3f\n",
                attributeHugePages ? "huge" : "small", mShipped / mPlainNew);
    std::printf("medians, first touch excluded (buffers written beforehand):\n");
    std::printf("  plain fill                                 %8.3f s\n", mPlainWarm);
    std::printf("  shipped fill                               %8.3f s\n", mShippedWarm);
    std::printf("  ratio shipped / plain                      %8.3f\n", mShippedWarm / mPlainWarm);
    if (libraryAvailable()) {
        const double mLibraryWarm = median(libraryWarm);
        std::printf("  SLEEF 1-ulp fill at the same level         %8.3f s\n", mLibraryWarm);
        std::printf("  ratio shipped / SLEEF                      %8.3f\n", mShippedWarm / mLibraryWarm);
    }

    // The last touched-buffer round left one complete buffer of each fill.
    uint64_t differing = 0, worstElement = 0;
    for (size_t k = 0; k < attributeCount; ++k) {
        if (std::memcmp(&plainTouched[k], &shippedTouched[k], sizeof(double)) != 0) {
            ++differing;
            worstElement = std::max(worstElement, ulpDistance(plainTouched[k], shippedTouched[k]));
        }
    }
    std::printf("\nelements differing from the plain fill: %llu of %zu (largest difference %llu ulp)\n",
                (unsigned long long)differing, attributeCount, (unsigned long long)worstElement);
    std::printf("  (large where cos + sin cancels: 1 ulp of either is then many ulp of the sum)\n");

    std::printf("\nshipped %s functions against the C library, all 2^26 arguments:\n",
                fillLevelName(level));
    std::printf("  fn        0 ulp      1 ulp   >1 ulp  max ulp\n");
    uint64_t cosTally[4] = {}, sinTally[4] = {}, tanTally[4] = {};
    const size_t chunk = size_t(1) << 16;
    std::vector<double> c(chunk), s(chunk), t(chunk);
    for (size_t first = 0; first < attributeCount; first += chunk) {
        trigAt(level, first, chunk, c.data(), s.data(), t.data());
        for (size_t i = 0; i < chunk; ++i) {
            const double x = double(first + i);
            tally(cosTally, c[i], std::cos(x));
            tally(sinTally, s[i], std::sin(x));
            tally(tanTally, t[i], std::tan(x));
        }
    }
    printTally("sin", sinTally);
    printTally("cos", cosTally);
    printTally("tan", tanTally);
    return 0;
}
