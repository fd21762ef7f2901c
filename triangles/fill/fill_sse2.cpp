// Compiled with -msse2, which every x86-64 processor has; for those without
// AVX2 and FMA. Two lanes, with the exact products that a fused multiply-add
// gives elsewhere built from split operands instead: pi/2 in parts short
// enough that q times each is exact, and Dekker's product where two full
// doubles meet.
#include "fill.h"
#include "fill_ops_sse2.h"

#define FILL_VECTOR_SPLIT_PRODUCTS
#include "fill_vector.h"

void fillRangeSse2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

size_t trigRangeSse2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    return trigRange(first, count, cosOut, sinOut, tanOut);
}
