// Compiled with -msse2, the baseline of every x86-64 processor.
#include <immintrin.h>
#include <sleef.h>

#include "fill.h"

namespace {

// Arguments first + 0 and first + 1; exact, since every index is far below 2^53.
__m128d firstArguments(size_t first) {
    return _mm_add_pd(_mm_set1_pd(double(first)), _mm_setr_pd(0.0, 1.0));
}

// One range reduction serves both sine and cosine.
__m128d elements(__m128d x) {
    const Sleef___m128d_2 sinCos = Sleef_sincosd2_u10sse2(x);
    const __m128d tangent = Sleef_tand2_u10sse2(x);
    return _mm_mul_pd(_mm_add_pd(sinCos.y, sinCos.x), tangent);
}

}  // namespace

void fillRangeSse2(double* buffer, size_t first, size_t count) {
    const __m128d step = _mm_set1_pd(2.0);
    __m128d x = firstArguments(first);
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        _mm_storeu_pd(buffer + i, elements(x));
        x = _mm_add_pd(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of this level comes from the same code.
    if (i < count) {
        double tail[2];
        _mm_storeu_pd(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRangeSse2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const __m128d step = _mm_set1_pd(2.0);
    __m128d x = firstArguments(first);
    for (size_t i = 0; i < count; i += 2) {
        const Sleef___m128d_2 sinCos = Sleef_sincosd2_u10sse2(x);
        double c[2], s[2], t[2];
        _mm_storeu_pd(c, sinCos.y);
        _mm_storeu_pd(s, sinCos.x);
        _mm_storeu_pd(t, Sleef_tand2_u10sse2(x));
        for (size_t j = 0; j < 2 && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = _mm_add_pd(x, step);
    }
}
