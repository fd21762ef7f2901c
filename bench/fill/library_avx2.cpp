// Compiled with -mavx2 -mfma; called only after the processor says it has
// AVX2 and FMA.
//
// The fill as SLEEF's 1-ulp vector functions give it (sin and cos from one
// call, then tan), the yardstick the shipped kernels are measured against.
#include <immintrin.h>
#include <sleef.h>

#include <cstddef>

// count is a multiple of 4.
void libraryFillAvx2(double* buffer, size_t count) {
    __m256d x = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
    for (size_t i = 0; i < count; i += 4) {
        const Sleef___m256d_2 sinCos = Sleef_sincosd4_u10avx2(x);
        const __m256d tangent = Sleef_tand4_u10avx2(x);
        _mm256_storeu_pd(buffer + i, _mm256_mul_pd(_mm256_add_pd(sinCos.y, sinCos.x), tangent));
        x = _mm256_add_pd(x, _mm256_set1_pd(4.0));
    }
}
