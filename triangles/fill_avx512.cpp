// Compiled with -mavx512f alone; reached only after the processor says it has
// AVX-512F.
#include <immintrin.h>
#include <sleef.h>

#include "fill.h"

namespace {

// Arguments first + 0 .. first + 7; exact, since every index is far below 2^53.
__m512d firstArguments(size_t first) {
    return _mm512_add_pd(_mm512_set1_pd(double(first)),
                         _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0));
}

// One range reduction serves both sine and cosine.
__m512d elements(__m512d x) {
    const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(x);
    const __m512d tangent = Sleef_tand8_u10avx512f(x);
    return _mm512_mul_pd(_mm512_add_pd(sinCos.y, sinCos.x), tangent);
}

}  // namespace

void fillRangeAvx512(double* buffer, size_t first, size_t count) {
    const __m512d step = _mm512_set1_pd(8.0);
    __m512d x = firstArguments(first);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        _mm512_storeu_pd(buffer + i, elements(x));
        x = _mm512_add_pd(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of this level comes from the same code.
    if (i < count) {
        double tail[8];
        _mm512_storeu_pd(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRangeAvx512(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const __m512d step = _mm512_set1_pd(8.0);
    __m512d x = firstArguments(first);
    for (size_t i = 0; i < count; i += 8) {
        const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(x);
        double c[8], s[8], t[8];
        _mm512_storeu_pd(c, sinCos.y);
        _mm512_storeu_pd(s, sinCos.x);
        _mm512_storeu_pd(t, Sleef_tand8_u10avx512f(x));
        for (size_t j = 0; j < 8 && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = _mm512_add_pd(x, step);
    }
}
