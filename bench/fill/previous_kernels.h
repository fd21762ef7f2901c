// The fill's kernels as they were before they rounded correctly: sine and
// cosine pairs held a few bits beyond double precision and rounded without a
// test, within 1 ulp of the C library. Kept only as fill_bench's yardstick for
// what correct rounding costs; see triangles/fill_vector.h for the operations
// each instruction-set file defines before including it.
#pragma once

#include <cstddef>

namespace {

// s + e == a + b exactly, s the rounded sum.
void twoSum(Vec a, Vec b, Vec& s, Vec& e) {
    s = add(a, b);
    const Vec bPart = sub(s, a);
    e = add(sub(a, sub(s, bPart)), sub(b, bPart));
}

// The same when |a| >= |b|.
void fastTwoSum(Vec a, Vec b, Vec& s, Vec& e) {
    s = add(a, b);
    e = sub(b, sub(s, a));
}

#ifndef FILL_VECTOR_SPLIT_PRODUCTS
// pi/2 in three parts, each the double nearest to what the previous ones leave.
const double halfPi1 = 0x1.921fb54442d18p+0;
const double halfPi2 = 0x1.1a62633145c07p-54;
const double halfPi3 = -0x1.f1976b7ed8fbcp-110;

// r = x - q * pi/2 as hi + lo, q the whole number nearest x * 2/pi, so that
// |r| <= pi/4 (a hair more where the product rounds across a half). The
// argument below 2^26 closest to a multiple of pi/2 leaves |r| ~ 1.2e-8; its
// last bits need pi/2 to about 2^-112, hence the three parts, every product
// with them kept exact. Adding 1.5 * 2^52 rounds x * 2/pi to a whole number
// and leaves q in the low bits of the sum, which qBits returns for the choice
// of quadrant.
void reduce(Vec x, Quad& qBits, Vec& hi, Vec& lo) {
    const Vec roundingShift = splat(0x1.8p52);
    const Vec shifted = add(mul(x, splat(0.63661977236758134308)), roundingShift);
    const Vec q = sub(shifted, roundingShift);
    qBits = asQuad(shifted);
    const Vec p1 = mul(q, splat(halfPi1));
    const Vec p1Err = productError(q, splat(halfPi1), p1);
    const Vec p2 = mul(q, splat(halfPi2));
    const Vec p2Err = productError(q, splat(halfPi2), p2);
    // x and p1 are within a factor of two of each other (or p1 is 0): exact.
    const Vec a = sub(x, p1);
    Vec s1, e1, s2, e2;
    twoSum(a, sub(zero(), p1Err), s1, e1);
    twoSum(s1, sub(zero(), p2), s2, e2);
    const Vec rest = sub(sub(add(e1, e2), p2Err), mul(q, splat(halfPi3)));
    fastTwoSum(s2, rest, hi, lo);
}
#else
// pi/2 in four parts, the first three of 27 bits: q stays below 2^26, so q
// times each of them is exact without a fused multiply.
const double halfPi1 = 0x1.921fb54p+0;
const double halfPi2 = 0x1.10b461p-30;
const double halfPi3 = 0x1.a626330p-58;
const double halfPi4 = 0x1.45c06e0e68948p-86;

// The same reduction with the short parts.
void reduce(Vec x, Quad& qBits, Vec& hi, Vec& lo) {
    const Vec roundingShift = splat(0x1.8p52);
    const Vec shifted = add(mul(x, splat(0.63661977236758134308)), roundingShift);
    const Vec q = sub(shifted, roundingShift);
    qBits = asQuad(shifted);
    // x and q * halfPi1 are within a factor of two of each other (or the
    // latter is 0): exact.
    const Vec a = sub(x, mul(q, splat(halfPi1)));
    Vec s1, e1, s2, e2;
    twoSum(a, mul(q, splat(-halfPi2)), s1, e1);
    twoSum(s1, mul(q, splat(-halfPi3)), s2, e2);
    const Vec rest = sub(add(e1, e2), mul(q, splat(halfPi4)));
    fastTwoSum(s2, rest, hi, lo);
}
#endif

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

    // x = r + n * pi/2 with n = q mod 4 (the low bits of q): odd n swaps sine
    // and cosine, and each quadrant has its own signs.
    const Mask odd = quadrantBit(n, 0);
    const Mask sinNegative = quadrantBit(n, 1);
    const Mask cosNegative = quadrantBit(nextQuadrant(n), 1);
    sinX = negateWhere(sinNegative, choose(odd, sinHi, cosHi));
    cosX = negateWhere(cosNegative, choose(odd, cosHi, sinHi));

    // tan x = sin r / cos r, or -cos r / sin r for odd n; the quotient of the
    // pairs, corrected once by its remainder, is rounded only at the end.
    const Vec numHi = choose(odd, sinHi, cosHi);
    const Vec numLo = choose(odd, sinLo, cosLo);
    const Vec denHi = choose(odd, cosHi, sinHi);
    const Vec denLo = choose(odd, cosLo, sinLo);
    const Vec t0 = div(numHi, denHi);
    const Vec remainder = negMulAdd(t0, denLo, add(exactNegMulAdd(t0, denHi, numHi), numLo));
    tanX = negateWhere(odd, add(t0, div(remainder, denHi)));
}

// Arguments first + 0, first + 1, ...; exact, since every index is far below 2^53.
Vec firstArguments(size_t first) { return add(splat(double(first)), laneOffsets()); }

Vec elements(Vec x) {
    Vec c, s, t;
    trig(x, c, s, t);
    return mul(add(c, s), t);
}

void fillRange(double* buffer, size_t first, size_t count) {
    const Vec step = splat(double(lanes));
    Vec x = firstArguments(first);
    size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        store(buffer + i, elements(x));
        x = add(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of a level comes from the same code.
    if (i < count) {
        double tail[lanes];
        store(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRange(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const Vec step = splat(double(lanes));
    Vec x = firstArguments(first);
    for (size_t i = 0; i < count; i += lanes) {
        Vec cv, sv, tv;
        trig(x, cv, sv, tv);
        double c[lanes], s[lanes], t[lanes];
        store(c, cv);
        store(s, sv);
        store(t, tv);
        for (size_t j = 0; j < lanes && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = add(x, step);
    }
}

}  // namespace
