// The 1-ulp kernels at SSE2, as they were, for fill_bench.
#include "fill.h"
#include "fill_ops_sse2.h"

#define FILL_VECTOR_SPLIT_PRODUCTS
#include "previous_kernels.h"

void previousFillSse2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

