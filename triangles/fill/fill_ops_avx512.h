// The vector operations the fill's kernels are written in, at AVX-512F: see
// fill_vector.h for the list. Inline, so a kernel file that leaves some
// unused compiles clean; include only in a file compiled for this set.
#pragma once
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace {

using Vec = __m512d;
using Quad = __m512i;
using Mask = __mmask8;
constexpr size_t lanes = 8;

inline Vec splat(double v) { return _mm512_set1_pd(v); }
inline Vec zero() { return _mm512_setzero_pd(); }
inline Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
inline Vec div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
inline void store(double* to, Vec v) { _mm512_storeu_pd(to, v); }
inline Vec laneOffsets() { return _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0); }
inline Vec load(const double* from) { return _mm512_loadu_pd(from); }
inline Vec absOf(Vec v) { return _mm512_abs_pd(v); }
inline Mask differ(Vec a, Vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ); }
inline Mask either(Mask a, Mask b) { return Mask(a | b); }
inline unsigned laneBits(Mask m) { return unsigned(m); }

inline Vec mulAdd(Vec a, Vec b, Vec c) { return _mm512_fmadd_pd(a, b, c); }
inline Vec negMulAdd(Vec a, Vec b, Vec c) { return _mm512_fnmadd_pd(a, b, c); }
inline Vec exactNegMulAdd(Vec a, Vec b, Vec c) { return _mm512_fnmadd_pd(a, b, c); }
inline Vec productError(Vec a, Vec b, Vec p) { return _mm512_fmsub_pd(a, b, p); }

inline Quad asQuad(Vec v) { return _mm512_castpd_si512(v); }
inline Quad nextQuadrant(Quad q) { return _mm512_add_epi64(q, _mm512_set1_epi64(1)); }
inline Mask quadrantBit(Quad q, int index) {
    return _mm512_test_epi64_mask(q, _mm512_set1_epi64(int64_t(1) << index));
}
inline Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm512_mask_blend_pd(mask, whenClear, whenSet);
}
inline Vec negateWhere(Mask mask, Vec v) {
    const __m512i bits = _mm512_castpd_si512(v);
    return _mm512_castsi512_pd(
        _mm512_mask_xor_epi64(bits, mask, bits, _mm512_set1_epi64(INT64_MIN)));
}

}  // namespace
