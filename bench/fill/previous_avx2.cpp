// The 1-ulp kernels at AVX2, as they were, for fill_bench.
#include "fill.h"
#include "fill_ops_avx2.h"

#include "previous_kernels.h"

void previousFillAvx2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

