// The vector operations the fill's kernels are written in, at SSE2: see
// fill_vector.h for the list. Inline, so a kernel file that leaves some
// unused compiles clean; include only in a file compiled for this set.
#pragma once
#include <emmintrin.h>

#include <cstddef>

namespace {

using Vec = __m128d;
using Quad = __m128i;
using Mask = __m128d;
constexpr size_t lanes = 2;

inline Vec splat(double v) { return _mm_set1_pd(v); }
inline Vec zero() { return _mm_setzero_pd(); }
inline Vec add(Vec a, Vec b) { return _mm_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
inline Vec div(Vec a, Vec b) { return _mm_div_pd(a, b); }
inline void store(double* to, Vec v) { _mm_storeu_pd(to, v); }
inline Vec laneOffsets() { return _mm_setr_pd(0.0, 1.0); }
inline Vec load(const double* from) { return _mm_loadu_pd(from); }
inline Vec absOf(Vec v) { return _mm_andnot_pd(splat(-0.0), v); }
inline Mask differ(Vec a, Vec b) { return _mm_cmpneq_pd(a, b); }
inline Mask either(Mask a, Mask b) { return _mm_or_pd(a, b); }
inline unsigned laneBits(Mask m) { return unsigned(_mm_movemask_pd(m)); }

// Without a fused operation each product is rounded before the sum.
inline Vec mulAdd(Vec a, Vec b, Vec c) { return add(mul(a, b), c); }
inline Vec negMulAdd(Vec a, Vec b, Vec c) { return sub(c, mul(a, b)); }

// a = hi + lo with hi holding the leading 26 bits, so that products of halves
// are exact.
inline void split(Vec a, Vec& hi, Vec& lo) {
    const Vec c = mul(splat(134217729.0), a);  // 2^27 + 1
    hi = sub(c, sub(c, a));
    lo = sub(a, hi);
}

inline Vec productError(Vec a, Vec b, Vec p) {
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
inline Vec exactNegMulAdd(Vec a, Vec b, Vec c) {
    const Vec product = mul(a, b);
    return sub(sub(c, product), productError(a, b, product));
}

inline Quad asQuad(Vec v) { return _mm_castpd_si128(v); }
inline Quad nextQuadrant(Quad q) { return _mm_add_epi64(q, _mm_set1_epi64x(1)); }
// The bit is moved to the top of its lane and spread over it.
inline Mask quadrantBit(Quad q, int index) {
    const __m128i top = _mm_sll_epi64(q, _mm_cvtsi32_si128(63 - index));
    return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_srai_epi32(top, 31), _MM_SHUFFLE(3, 3, 1, 1)));
}
inline Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm_or_pd(_mm_and_pd(mask, whenSet), _mm_andnot_pd(mask, whenClear));
}
inline Vec negateWhere(Mask mask, Vec v) { return _mm_xor_pd(v, _mm_and_pd(mask, splat(-0.0))); }

}  // namespace
