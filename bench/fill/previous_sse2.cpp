// The 1-ulp kernels at SSE2, as they were, for fill_bench.
#include <emmintrin.h>

#include "fill.h"

namespace {

using Vec = __m128d;
using Quad = __m128i;
using Mask = __m128d;
constexpr size_t lanes = 2;

Vec splat(double v) { return _mm_set1_pd(v); }
Vec zero() { return _mm_setzero_pd(); }
Vec add(Vec a, Vec b) { return _mm_add_pd(a, b); }
Vec sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
Vec mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
Vec div(Vec a, Vec b) { return _mm_div_pd(a, b); }
void store(double* to, Vec v) { _mm_storeu_pd(to, v); }
Vec laneOffsets() { return _mm_setr_pd(0.0, 1.0); }

// Without a fused operation each product is rounded before the sum.
Vec mulAdd(Vec a, Vec b, Vec c) { return add(mul(a, b), c); }
Vec negMulAdd(Vec a, Vec b, Vec c) { return sub(c, mul(a, b)); }

// a = hi + lo with hi holding the leading 26 bits, so that products of halves
// are exact.
void split(Vec a, Vec& hi, Vec& lo) {
    const Vec c = mul(splat(134217729.0), a);  // 2^27 + 1
    hi = sub(c, sub(c, a));
    lo = sub(a, hi);
}

Vec productError(Vec a, Vec b, Vec p) {
    Vec aHi, aLo, bHi, bLo;
    split(a, aHi, aLo);
    split(b, bHi, bLo);
    Vec e = sub(mul(aHi, bHi), p);
    e = add(e, mul(aHi, bLo));
    e = add(e, mul(aLo, bHi));
    return add(e, mul(aLo, bLo));
}

// c - a * b where the rounded product is within a factor of two of c: the
// difference is exact, and so is the product's error.
Vec exactNegMulAdd(Vec a, Vec b, Vec c) {
    const Vec product = mul(a, b);
    return sub(sub(c, product), productError(a, b, product));
}

Quad asQuad(Vec v) { return _mm_castpd_si128(v); }
Quad nextQuadrant(Quad q) { return _mm_add_epi64(q, _mm_set1_epi64x(1)); }
// The bit is moved to the top of its lane and spread over it.
Mask quadrantBit(Quad q, int index) {
    const __m128i top = _mm_sll_epi64(q, _mm_cvtsi32_si128(63 - index));
    return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_srai_epi32(top, 31), _MM_SHUFFLE(3, 3, 1, 1)));
}
Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm_or_pd(_mm_and_pd(mask, whenSet), _mm_andnot_pd(mask, whenClear));
}
Vec negateWhere(Mask mask, Vec v) { return _mm_xor_pd(v, _mm_and_pd(mask, splat(-0.0))); }

}  // namespace

#define FILL_VECTOR_SPLIT_PRODUCTS
#include "previous_kernels.h"

void previousFillSse2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

// Unused; keeps the shared header's second entry point referenced.
void previousTrigSse2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    trigRange(first, count, cosOut, sinOut, tanOut);
}
