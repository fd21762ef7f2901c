// The vector operations the fill's kernels are written in, at AVX2 and FMA: see
// fill_vector.h for the list. Inline, so a kernel file that leaves some
// unused compiles clean; include only in a file compiled for this set.
#pragma once
#include <immintrin.h>

#include <cstddef>

namespace {

using Vec = __m256d;
using Quad = __m256i;
using Mask = __m256d;
constexpr size_t lanes = 4;

inline Vec splat(double v) { return _mm256_set1_pd(v); }
inline Vec zero() { return _mm256_setzero_pd(); }
inline Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
inline Vec div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
inline void store(double* to, Vec v) { _mm256_storeu_pd(to, v); }
inline Vec laneOffsets() { return _mm256_setr_pd(0.0, 1.0, 2.0, 3.0); }
inline Vec load(const double* from) { return _mm256_loadu_pd(from); }
inline Vec absOf(Vec v) { return _mm256_andnot_pd(splat(-0.0), v); }
inline Mask differ(Vec a, Vec b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
inline Mask either(Mask a, Mask b) { return _mm256_or_pd(a, b); }
inline unsigned laneBits(Mask m) { return unsigned(_mm256_movemask_pd(m)); }

inline Vec mulAdd(Vec a, Vec b, Vec c) { return _mm256_fmadd_pd(a, b, c); }
inline Vec negMulAdd(Vec a, Vec b, Vec c) { return _mm256_fnmadd_pd(a, b, c); }
inline Vec exactNegMulAdd(Vec a, Vec b, Vec c) { return _mm256_fnmadd_pd(a, b, c); }
inline Vec productError(Vec a, Vec b, Vec p) { return _mm256_fmsub_pd(a, b, p); }

inline Quad asQuad(Vec v) { return _mm256_castpd_si256(v); }
inline Quad nextQuadrant(Quad q) { return _mm256_add_epi64(q, _mm256_set1_epi64x(1)); }
inline Mask quadrantBit(Quad q, int index) {
    const __m256i b = _mm256_set1_epi64x(1LL << index);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(q, b), b));
}
inline Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm256_blendv_pd(whenClear, whenSet, mask);
}
inline Vec negateWhere(Mask mask, Vec v) { return _mm256_xor_pd(v, _mm256_and_pd(mask, splat(-0.0))); }

}  // namespace
