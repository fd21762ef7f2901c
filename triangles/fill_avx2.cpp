// Compiled with -mavx2 -mfma; reached only after the processor says it has AVX2
// and FMA.
#include <immintrin.h>
#include <sleef.h>

#include "fill.h"

namespace {

// Arguments first + 0 .. first + 3; exact, since every index is far below 2^53.
__m256d firstArguments(size_t first) {
    return _mm256_add_pd(_mm256_set1_pd(double(first)), _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
}

// One range reduction serves both sine and cosine.
__m256d elements(__m256d x) {
    const Sleef___m256d_2 sinCos = Sleef_sincosd4_u10avx2(x);
    const __m256d tangent = Sleef_tand4_u10avx2(x);
    return _mm256_mul_pd(_mm256_add_pd(sinCos.y, sinCos.x), tangent);
}

}  // namespace

void fillRangeAvx2(double* buffer, size_t first, size_t count) {
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d x = firstArguments(first);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        _mm256_storeu_pd(buffer + i, elements(x));
        x = _mm256_add_pd(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of this level comes from the same code.
    if (i < count) {
        double tail[4];
        _mm256_storeu_pd(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRangeAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d x = firstArguments(first);
    for (size_t i = 0; i < count; i += 4) {
        const Sleef___m256d_2 sinCos = Sleef_sincosd4_u10avx2(x);
        double c[4], s[4], t[4];
        _mm256_storeu_pd(c, sinCos.y);
        _mm256_storeu_pd(s, sinCos.x);
        _mm256_storeu_pd(t, Sleef_tand4_u10avx2(x));
        for (size_t j = 0; j < 4 && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = _mm256_add_pd(x, step);
    }
}
