#include "fill.h"

#include <sys/mman.h>

#include <cmath>
#include <cstring>

double attributeElement(size_t k) {
    const double x = double(k);
    return (std::cos(x) + std::sin(x)) * std::tan(x);
}

void fillAttributesPlain(double* buffer, size_t count) {
    for (size_t k = 0; k < count; ++k) buffer[k] = attributeElement(k);
}

const char* fillLevelName(FillLevel level) {
    switch (level) {
        case fillSse2: return "SSE2";
        case fillAvx2: return "AVX2";
        case fillAvx512: return "AVX-512";
        default: return "plain";
    }
}

bool fillLevelSupported(FillLevel level) {
    switch (level) {
        case fillPlain: return true;
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: return __builtin_cpu_supports("sse2");
        case fillAvx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case fillAvx512: return __builtin_cpu_supports("avx512f");
#endif
        default: return false;
    }
}

FillLevel bestFillLevel() {
    static const FillLevel best = [] {
        for (int level = fillLevelCount - 1; level > fillPlain; --level) {
            if (fillLevelSupported(FillLevel(level))) return FillLevel(level);
        }
        return fillPlain;
    }();
    return best;
}

void fillAttributesAt(FillLevel level, double* buffer, size_t first, size_t count) {
    switch (level) {
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: fillRangeSse2(buffer, first, count); return;
        case fillAvx2: fillRangeAvx2(buffer, first, count); return;
        case fillAvx512: fillRangeAvx512(buffer, first, count); return;
#endif
        default:
            for (size_t i = 0; i < count; ++i) buffer[i] = attributeElement(first + i);
    }
}

void fillAttributes(double* buffer, size_t count) {
    fillAttributesAt(bestFillLevel(), buffer, 0, count);
}

void trigAt(FillLevel level, size_t first, size_t count, double* cosOut, double* sinOut,
            double* tanOut) {
    switch (level) {
#if LUMENFOLD_VECTOR_FILL
        case fillSse2: trigRangeSse2(first, count, cosOut, sinOut, tanOut); return;
        case fillAvx2: trigRangeAvx2(first, count, cosOut, sinOut, tanOut); return;
        case fillAvx512: trigRangeAvx512(first, count, cosOut, sinOut, tanOut); return;
#endif
        default:
            for (size_t i = 0; i < count; ++i) {
                const double x = double(first + i);
                cosOut[i] = std::cos(x);
                sinOut[i] = std::sin(x);
                tanOut[i] = std::tan(x);
            }
    }
}

namespace {

// Doubles reordered as integers that grow with the value, -0 and +0 together.
int64_t orderedBits(double value) {
    int64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits < 0 ? INT64_MIN - bits : bits;
}

}  // namespace

uint64_t ulpDistance(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return UINT64_MAX;
    const int64_t x = orderedBits(a);
    const int64_t y = orderedBits(b);
    return x > y ? uint64_t(x) - uint64_t(y) : uint64_t(y) - uint64_t(x);
}

double* provisionAttributeBuffer(bool hugePages) {
    if (!hugePages) {
        void* mapped = mmap(nullptr, attributeBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return mapped == MAP_FAILED ? nullptr : static_cast<double*>(mapped);
    }
    // One huge page of slack lets the buffer start on a huge-page boundary
    // whatever address the kernel picks; the slack is handed back at once.
    const size_t hugePage = size_t(1) << 21;
    const size_t span = attributeBytes + hugePage;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    char* raw = static_cast<char*>(mapped);
    char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(raw) + hugePage - 1) &
                                          ~uintptr_t(hugePage - 1));
    const size_t head = size_t(start - raw);
    const size_t tail = span - head - attributeBytes;
    if (head != 0) munmap(raw, head);
    if (tail != 0) munmap(start + attributeBytes, tail);
#ifdef MADV_HUGEPAGE
    // Advice only: a kernel without transparent huge pages still gives small
    // pages.
    madvise(start, attributeBytes, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<double*>(start);
}

double indexCountForStep(double s) {
    const double count = s * 3600 + 3600;
    return count < maxIndexCount ? count : maxIndexCount;
}
