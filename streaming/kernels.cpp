#include "kernels.h"

#include <cfloat>
#include <cmath>

// The kernels rely on NaN, infinities and the order of every operation.
#if defined(__FAST_MATH__) || (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "the streaming kernels must not be compiled with fast or finite-only math"
#endif

uint64_t stepCounter = 1;

double floatStreamData[streamLength];
int64_t integerStreamData[streamLength];
bool logicStreamData[streamLength];

namespace {

// 2^896 + 2^872 + 2^848: large enough to swallow 1.0, the weight and the
// step offset once the exponent is 0.
constexpr double floatOffset = 5.28294562624475e269;
constexpr double integerBias = 9223372036854775808.0;  // 2^63
constexpr double integerOffset = 4294967298.0;         // 2^32 + 2

}  // namespace

double stepExponent(uint64_t n) {
    // The counter would reach 0 only after wrapping past 2^64 - 1 steps; a
    // division by it then would kill the run, so it counts as a large step.
    if (n == 0) return 0.0;
    return double(1 / n);
}

double stepOffset(uint64_t n) {
    const uint64_t q = n * n;  // wraps for n above 2^32 - 1, as intended
    return std::sin(std::sqrt(double(q)) * 90.0) * std::log(11.0);
}

int64_t truncateToInt64(double v) {
    // NaN fails both comparisons. -2^63 itself is in range and converts exactly.
    if (v >= -9223372036854775808.0 && v < 9223372036854775808.0) return int64_t(v);
    return INT64_MIN;
}

// In every kernel slot is volatile and read afresh at each use: the rate
// reported assumes each iteration is carried out on its own, so the compiler
// must not merge, vectorise or drop any of them.

void floatStream() {
    const uint64_t n = stepCounter;
    const double exponent = stepExponent(n);
    const double offset = stepOffset(n);
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < streamIterations; ++i) {
        slot = i < streamLength ? i : (i & streamIndexMask);
        const double x = floatStreamData[slot];
        const double p = std::pow(x, exponent);
        const double weight = double((i % (slot + 1)) >> 1);
        floatStreamData[slot] = ((weight * (p - DBL_MIN)) + floatOffset) - offset;
    }
}

void integerStream() {
    const uint64_t n = stepCounter;
    const double exponent = stepExponent(n);
    const double offset = stepOffset(n);
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < streamIterations; ++i) {
        slot = i < streamLength ? i : (i & streamIndexMask);
        const double x = double(integerStreamData[slot]);
        const double p = std::pow(x, exponent);
        const double weight = double((i % (slot + 1)) >> 1);
        const double v = ((weight * (p - integerBias)) + integerOffset) - offset;
        integerStreamData[slot] = truncateToInt64(v);
    }
}

void logicStream() {
    // The comparison is always true, and a compiler that knows the limit
    // proves it and drops the conversion and the comparison (clang does). Read
    // through a volatile once per call, the limit is a value it cannot know.
    volatile double largestFinite = DBL_MAX;
    const double limit = largestFinite;
    volatile uint64_t slot = 0;
    for (uint64_t i = 0; i < streamIterations; ++i) {
        slot = i < streamLength ? i : (i & streamIndexMask);
        const double complement = double(~i);
        logicStreamData[slot] = complement < limit;
    }
}
