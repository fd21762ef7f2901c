// The 1-ulp kernels at AVX-512, as they were, for fill_bench.
#include "fill.h"
#include "fill_ops_avx512.h"

#include "previous_kernels.h"

void previousFillAvx512(double* buffer, size_t first, size_t count) {
    fillRange(buffer, first, count);
}

