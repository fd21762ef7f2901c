// The 1-ulp kernels at AVX2, as they were, for fill_bench.
#include <immintrin.h>

#include "fill.h"

namespace {

using Vec = __m256d;
using Quad = __m256i;
using Mask = __m256d;
constexpr size_t lanes = 4;

Vec splat(double v) { return _mm256_set1_pd(v); }
Vec zero() { return _mm256_setzero_pd(); }
Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
Vec div(Vec a, Vec b) { return _mm256_div_pd(a, b); }
void store(double* to, Vec v) { _mm256_storeu_pd(to, v); }
Vec laneOffsets() { return _mm256_setr_pd(0.0, 1.0, 2.0, 3.0); }

Vec mulAdd(Vec a, Vec b, Vec c) { return _mm256_fmadd_pd(a, b, c); }
Vec negMulAdd(Vec a, Vec b, Vec c) { return _mm256_fnmadd_pd(a, b, c); }
Vec exactNegMulAdd(Vec a, Vec b, Vec c) { return _mm256_fnmadd_pd(a, b, c); }
Vec productError(Vec a, Vec b, Vec p) { return _mm256_fmsub_pd(a, b, p); }

Quad asQuad(Vec v) { return _mm256_castpd_si256(v); }
Quad nextQuadrant(Quad q) { return _mm256_add_epi64(q, _mm256_set1_epi64x(1)); }
Mask quadrantBit(Quad q, int index) {
    const __m256i b = _mm256_set1_epi64x(1LL << index);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(q, b), b));
}
Vec choose(Mask mask, Vec whenClear, Vec whenSet) {
    return _mm256_blendv_pd(whenClear, whenSet, mask);
}
Vec negateWhere(Mask mask, Vec v) { return _mm256_xor_pd(v, _mm256_and_pd(mask, splat(-0.0))); }

}  // namespace

#include "previous_kernels.h"

void previousFillAvx2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

// Unused; keeps the shared header's second entry point referenced.
void previousTrigAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    trigRange(first, count, cosOut, sinOut, tanOut);
}
