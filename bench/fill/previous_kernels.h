// The fill's kernels as they were before they rounded correctly: sine and
// cosine pairs held a few bits beyond double precision and rounded without a
// test, within 1 ulp of the C library. Kept only as fill_bench's yardstick for
// what correct rounding costs; see triangles/fill/fill_vector.h for the operations
// each instruction-set file defines before including it.
#pragma once

#include <cstddef>

namespace {

#include "fill_reduction.h"

// sin and cos of r = hi + lo, |r| <= pi/4 + a hair, each as a pair: the
// leading terms are summed exactly, so rounding is left only in the tail, at
// most a tenth of the result. Taylor series, truncated past r^19 and r^18
// where the next terms fall below 2^-68 of the result.
void sinCosReduced(Vec hi, Vec lo, Vec& sinHi, Vec& sinLo, Vec& cosHi, Vec& cosLo) {
    const Vec z = mul(hi, hi);

    Vec sp = splat(-1.0 / 121645100408832000.0);  // -1/19!
    sp = mulAdd(sp, z, splat(1.0 / 355687428096000.0));
    sp = mulAdd(sp, z, splat(-1.0 / 1307674368000.0));
    sp = mulAdd(sp, z, splat(1.0 / 6227020800.0));
    sp = mulAdd(sp, z, splat(-1.0 / 39916800.0));
    sp = mulAdd(sp, z, splat(1.0 / 362880.0));
    sp = mulAdd(sp, z, splat(-1.0 / 5040.0));
    sp = mulAdd(sp, z, splat(1.0 / 120.0));
    sp = mulAdd(sp, z, splat(-1.0 / 6.0));
    // sin r = hi + (hi^3 * sp + lo * (1 - hi^2 / 2)), the latter lo's share.
    const Vec sinTail = mulAdd(mul(hi, z), sp, mul(lo, negMulAdd(splat(0.5), z, splat(1.0))));
    fastTwoSum(hi, sinTail, sinHi, sinLo);

    Vec cp = splat(-1.0 / 6402373705728000.0);  // -1/18!
    cp = mulAdd(cp, z, splat(1.0 / 20922789888000.0));
    cp = mulAdd(cp, z, splat(-1.0 / 87178291200.0));
    cp = mulAdd(cp, z, splat(1.0 / 479001600.0));
    cp = mulAdd(cp, z, splat(-1.0 / 3628800.0));
    cp = mulAdd(cp, z, splat(1.0 / 40320.0));
    cp = mulAdd(cp, z, splat(-1.0 / 720.0));
    cp = mulAdd(cp, z, splat(1.0 / 24.0));
    // r^2 / 2 = halfSq + halfSqLo exactly enough: hi^2 and its exact error,
    // plus the cross term hi * lo.
    const Vec halfSq = mul(splat(0.5), z);
    const Vec halfSqLo = mulAdd(hi, lo, mul(splat(0.5), productError(hi, hi, z)));
    Vec w, wErr;
    fastTwoSum(splat(1.0), sub(zero(), halfSq), w, wErr);
    const Vec cosTail = mulAdd(mul(z, z), cp, sub(wErr, halfSqLo));
    fastTwoSum(w, cosTail, cosHi, cosLo);
}

// cos, sin and tan of x, each rounded once from its pair.
void trig(Vec x, Vec& cosX, Vec& sinX, Vec& tanX) {
    Vec hi, lo, sinHi, sinLo, cosHi, cosLo;
    Quad n;
    reduce(x, n, hi, lo);
    sinCosReduced(hi, lo, sinHi, sinLo, cosHi, cosLo);

    Vec tanLo;
    placeInQuadrant(n, sinHi, sinLo, cosHi, cosLo, sinX, cosX, tanX, tanLo);
}

#include "fill_range.h"

}  // namespace
