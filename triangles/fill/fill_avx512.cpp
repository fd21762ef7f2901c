// Compiled with -mavx512f alone; reached only after the processor says it has
// AVX-512F. Eight lanes, fused multiply-adds, mask registers for the quadrants.
#include "fill.h"
#include "fill_ops_avx512.h"

#include "fill_vector.h"

void fillRangeAvx512(double* buffer, size_t first, size_t count) {
    fillRange(buffer, first, count);
}

size_t trigRangeAvx512(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    return trigRange(first, count, cosOut, sinOut, tanOut);
}
