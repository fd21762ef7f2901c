// Compiled with -mavx512f; called only after the processor says it has
// AVX-512F.
//
// The fill as SLEEF's 1-ulp vector functions give it (sin and cos from one
// call, then tan), the yardstick the shipped kernels are measured against.
#include <immintrin.h>
#include <sleef.h>

#include <cstddef>

// count is a multiple of 8.
void libraryFillAvx512(double* buffer, size_t count) {
    __m512d x = _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0);
    for (size_t i = 0; i < count; i += 8) {
        const Sleef___m512d_2 sinCos = Sleef_sincosd8_u10avx512f(x);
        const __m512d tangent = Sleef_tand8_u10avx512f(x);
        _mm512_storeu_pd(buffer + i, _mm512_mul_pd(_mm512_add_pd(sinCos.y, sinCos.x), tangent));
        x = _mm512_add_pd(x, _mm512_set1_pd(8.0));
    }
}
