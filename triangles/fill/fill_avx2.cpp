// Compiled with -mavx2 -mfma; reached only after the processor says it has
// AVX2 and FMA. Four lanes, fused multiply-adds, all-ones lanes as masks.
#include "fill.h"
#include "fill_ops_avx2.h"

#include "fill_vector.h"

void fillRangeAvx2(double* buffer, size_t first, size_t count) { fillRange(buffer, first, count); }

size_t trigRangeAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    return trigRange(first, count, cosOut, sinOut, tanOut);
}
