// What correct rounding costs the fill: at each level this machine has, the
// correctly rounded kernels against the 1-ulp kernels they replaced (at the
// portable level, against the C library's scalar loop they replaced), one
// thread, into buffers whose pages are already in place, alternating round by
// round so that both see the same machine state; the plain scalar loop and,
// with SLEEF at hand, its 1-ulp fill alongside. Then how many arguments each
// level hands to the careful evaluation.
//
// Usage: fill_bench [rounds]   (default 5)
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fill.h"
#include "bench_timing.h"

#if FILL_BENCH_LIBRARY
void libraryFillAvx2(double* buffer, size_t count);
void libraryFillAvx512(double* buffer, size_t count);
#endif
#if LUMENFOLD_VECTOR_FILL
void previousFillSse2(double* buffer, size_t first, size_t count);
void previousFillAvx2(double* buffer, size_t first, size_t count);
void previousFillAvx512(double* buffer, size_t first, size_t count);
#endif

namespace {

FillLevel benchLevel;

void previousFill(double* buffer) {
    switch (benchLevel) {
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: previousFillSse2(buffer, 0, attributeCount); return;
        case fillAvx2: previousFillAvx2(buffer, 0, attributeCount); return;
        case fillAvx512: previousFillAvx512(buffer, 0, attributeCount); return;
#endif
        default: fillAttributesPlain(buffer, attributeCount);
    }
}

void roundedFill(double* buffer) { fillAttributesAt(benchLevel, buffer, 0, attributeCount); }

#if FILL_BENCH_LIBRARY
bool libraryAt(FillLevel level) { return level == fillAvx2 || level == fillAvx512; }
void libraryFill(double* buffer) {
    if (benchLevel == fillAvx512) libraryFillAvx512(buffer, attributeCount);
    else libraryFillAvx2(buffer, attributeCount);
}
#else
bool libraryAt(FillLevel) { return false; }
void libraryFill(double*) {}
#endif

double timeFill(void (*fill)(double*), double* buffer) {
    const auto start = std::chrono::steady_clock::now();
    fill(buffer);
    return secondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    double* buffer = provisionAttributeBuffer(attributeHugePages);
    if (buffer == nullptr) {
        std::fprintf(stderr, "fill_bench: cannot provision the buffer\n");
        return 1;
    }
    std::memset(buffer, 0, attributeBytes);
    std::printf("fill bench: 2^26 elements, %d rounds, one thread, pages already in place\n",
                rounds);
    std::printf("medians (s)   1-ulp kernels  correctly rounded  ratio     (SLEEF 1-ulp)\n");
    for (int l = fillLevelCount - 1; l >= 0; --l) {
        benchLevel = FillLevel(l);
        if (!fillLevelSupported(benchLevel)) continue;
        std::vector<double> previous, rounded, library;
        for (int round = 0; round < rounds; ++round) {
            previous.push_back(timeFill(previousFill, buffer));
            if (libraryAt(benchLevel)) library.push_back(timeFill(libraryFill, buffer));
            rounded.push_back(timeFill(roundedFill, buffer));
        }
        const double mPrevious = median(previous), mRounded = median(rounded);
        std::printf("  %-9s %12.3f %15.3f %10.2f", fillLevelName(benchLevel), mPrevious, mRounded,
                    mRounded / mPrevious);
        if (!library.empty()) std::printf(" %12.3f", median(library));
        std::printf("%s\n", benchLevel == fillPortable ? "   (1-ulp: the C library loop)" : "");
    }

    std::printf("\narguments needing the careful evaluation, of 2^26:\n");
    const size_t chunk = size_t(1) << 16;
    std::vector<double> c(chunk), s(chunk), t(chunk);
    for (int l = fillLevelCount - 1; l >= 0; --l) {
        if (!fillLevelSupported(FillLevel(l))) continue;
        size_t careful = 0;
        for (size_t first = 0; first < attributeCount; first += chunk) {
            careful += trigAt(FillLevel(l), first, chunk, c.data(), s.data(), t.data());
        }
        std::printf("  %-9s %zu\n", fillLevelName(FillLevel(l)), careful);
    }
    munmap(buffer, attributeBytes);
    return 0;
}
