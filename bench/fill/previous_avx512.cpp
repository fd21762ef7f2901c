// The 1-ulp kernels at AVX-512, as they were, for fill_bench.
#include <immintrin.h>

#include <cstdint>

#include "fill.h"

namespace {

using Vec = __m512d;
using Quad = __m512i;
using Mask = __mmask8;
constexpr size_t lanes = 8;

Vec splat(double v) { return _mm512_set1_pd(v); }
Vec zero() { return _mm512_setzero_pd(); }
Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
Vec sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
Vec div(Vec a, Vec b) { return _mm512_div_pd(a, b); }
void store(double* to, Vec v) { _mm512_storeu_pd(to, v); }
Vec laneOffsets() { return _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0); }

Vec mulAdd(Vec a, Vec b, Vec c) { return _mm512_fmadd_pd(a, b, c); }
Vec negMulAdd(Vec a, Vec b, Vec c) { return _mm512_fnmadd_pd(a, b, c); }
Vec exactNegMulAdd(Vec a, Vec b, Vec c) { return _mm512_fnmadd_pd(a, b, c); }
Vec productError(Vec a, Vec b, Vec p) { return _mm512_fmsub_pd(a, b, p); }

Quad asQuad(Vec v) { return _mm512_castpd_si512(v); }
Quad nextQuadrant(Quad q) { return _mm512_add_epi64(q, _mm512_set1_epi64(1)); }
Mask quadrantBit(Quad q, int index) {
    return _mm512_test_epi64_mask(q, _mm512_set1_epi64(int64_t(1) << index));
}
Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm512_mask_blend_pd(mask, whenClear, whenSet);
}
Vec negateWhere(Mask mask, Vec v) {
    const __m512i bits = _mm512_castpd_si512(v);
    return _mm512_castsi512_pd(
        _mm512_mask_xor_epi64(bits, mask, bits, _mm512_set1_epi64(INT64_MIN)));
}

}  // namespace

#include "previous_kernels.h"

void previousFillAvx512(double* buffer, size_t first, size_t count) {
    fillRange(buffer, first, count);
}

// Unused; keeps the shared header's second entry point referenced.
void previousTrigAvx512(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    trigRange(first, count, cosOut, sinOut, tanOut);
}
