// The fill's kernels one argument at a time in plain double arithmetic, for
// processors without the vector levels (or builds without their files): the
// same arithmetic as the SSE2 level, products made exact by splitting
// operands, so the buffer comes out bit for bit the same.
#include <cstdint>
#include <cstring>

#include "fill.h"

namespace {

using Vec = double;
using Quad = uint64_t;
using Mask = bool;
constexpr size_t lanes = 1;

Vec splat(double v) { return v; }
Vec add(Vec a, Vec b) { return a + b; }
Vec sub(Vec a, Vec b) { return a - b; }
Vec mul(Vec a, Vec b) { return a * b; }
Vec div(Vec a, Vec b) { return a / b; }
Vec absOf(Vec v) { return v < 0 ? -v : v; }
Vec load(const double* from) { return *from; }
void store(double* to, Vec v) { *to = v; }
Vec laneOffsets() { return 0.0; }

Vec mulAdd(Vec a, Vec b, Vec c) { return a * b + c; }
Vec negMulAdd(Vec a, Vec b, Vec c) { return c - a * b; }

// a = hi + lo with hi holding the leading 26 bits, so that products of halves
// are exact.
void split(Vec a, Vec& hi, Vec& lo) {
    const Vec c = 134217729.0 * a;  // 2^27 + 1
    hi = c - (c - a);
    lo = a - hi;
}

Vec productError(Vec a, Vec b, Vec p) {
    Vec aHi, aLo, bHi, bLo;
    split(a, aHi, aLo);
    split(b, bHi, bLo);
    return ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

// c - a * b where the rounded product is within a factor of two of c.
Vec exactNegMulAdd(Vec a, Vec b, Vec c) {
    const Vec product = a * b;
    return (c - product) - productError(a, b, product);
}

Quad asQuad(Vec v) {
    Quad bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}
Quad nextQuadrant(Quad q) { return q + 1; }
Mask quadrantBit(Quad q, int index) { return (q >> index) & 1; }
Vec choose(Mask mask, Vec whenClear, Vec whenSet) { return mask ? whenSet : whenClear; }
Vec negateWhere(Mask mask, Vec v) { return mask ? -v : v; }
Mask differ(Vec a, Vec b) { return a != b; }
Mask either(Mask a, Mask b) { return a || b; }
unsigned laneBits(Mask m) { return m ? 1u : 0u; }

}  // namespace

#define FILL_VECTOR_SPLIT_PRODUCTS
#include "fill_vector.h"

void fillRangePortable(double* buffer, size_t first, size_t count) {
    fillRange(buffer, first, count);
}

size_t trigRangePortable(size_t first, size_t count, double* cosOut, double* sinOut,
                         double* tanOut) {
    return trigRange(first, count, cosOut, sinOut, tanOut);
}
