// The fill's own cos, sin and tan for its arguments, the whole numbers below
// 2^26, written once for every instruction set, each correctly rounded: the
// double nearest the exact value. One reduction feeds all three. Sine and
// cosine are carried as pairs to about 70 bits, tan is their quotient as a
// pair; each pair is then rounded once, and a lane whose pair lies too close
// to a point halfway between two doubles for its error to decide the rounding
// is handed to trigPrecise, about 100 bits, scalar and the same on every
// level. That happens for about one argument in ten thousand, and every level
// gives the same bits. The test suite compares all three functions at every
// level with MPFR over every argument.
//
// Included by one file per instruction set, compiled for that set alone,
// after the operations for that set (fill_ops_<set>.h), which define in an
// unnamed namespace:
//   Vec, Quad (the same lanes as whole numbers), Mask, and lanes;
//   splat, zero, add, sub, mul, div, absOf, load, store, laneOffsets (0, 1, 2, ...);
//   mulAdd(a, b, c) = a * b + c and negMulAdd(a, b, c) = c - a * b, fused
//   where the set has it; exactNegMulAdd, the same rounded once from the
//   exact value; productError(a, b, p) = a * b - p exactly;
//   asQuad, nextQuadrant (q + 1), quadrantBit(q, index), choose, negateWhere;
//   differ(a, b) (lanes where a != b), either (lanes set in one mask or the
//   other), laneBits (bit j set where lane j is);
// and FILL_VECTOR_SPLIT_PRODUCTS where products are exact only for operands
// of 26 bits; then it defines its two entry points with fillRange and trigRange.
#pragma once

#include <cstddef>

namespace {

#include "fill_reduction.h"

// (hi, lo) = (ah + al) * (bh + bl) to about 100 bits.
void pairProduct(Vec ah, Vec al, Vec bh, Vec bl, Vec& hi, Vec& lo) {
    const Vec p = mul(ah, bh);
    const Vec e = add(productError(ah, bh, p), mulAdd(ah, bl, mul(al, bh)));
    fastTwoSum(p, e, hi, lo);
}

// (hi, lo) = (ch + cl) + (ah + al) * (bh + bl), where the product is smaller
// than c: a step of Horner's scheme carried in pairs.
void pairStep(Vec ah, Vec al, Vec bh, Vec bl, Vec ch, Vec cl, Vec& hi, Vec& lo) {
    const Vec p = mul(ah, bh);
    const Vec pe = add(productError(ah, bh, p), mulAdd(ah, bl, mul(al, bh)));
    Vec s, se;
    fastTwoSum(ch, p, s, se);
    fastTwoSum(s, add(add(se, pe), cl), hi, lo);
}

// Coefficients 1/n! as pairs, where a double alone would lose the bits the
// rounding needs.
const double inv3h = 0x1.5555555555555p-3, inv3l = 0x1.5555555555555p-57;
const double inv5h = 0x1.1111111111111p-7, inv5l = 0x1.1111111111111p-63;
const double inv7h = 0x1.a01a01a01a01ap-13, inv7l = 0x1.a01a01a01a01ap-73;
const double inv4h = 0x1.5555555555555p-5, inv4l = 0x1.5555555555555p-59;
const double inv6h = 0x1.6c16c16c16c17p-10, inv6l = -0x1.f49f49f49f49fp-65;

// sin and cos of r = hi + lo, |r| <= pi/4 + a hair, each as a pair good to
// about 2^-70 of its value: the terms down to r^7 / 7! (sine) and r^6 / 6!
// (cosine) in pairs, the smaller ones in doubles, the series cut where the
// next term falls below 2^-77.
void sinCosReduced(Vec hi, Vec lo, Vec& sinHi, Vec& sinLo, Vec& cosHi, Vec& cosLo) {
    // w = r^2 as a pair.
    const Vec z = mul(hi, hi);
    Vec wh, wl;
    fastTwoSum(z, add(productError(hi, hi, z), mul(splat(2.0), mul(hi, lo))), wh, wl);

    Vec sq = splat(1.0 / 51090942171709440000.0);  // 1/21!
    sq = mulAdd(sq, wh, splat(-1.0 / 121645100408832000.0));
    sq = mulAdd(sq, wh, splat(1.0 / 355687428096000.0));
    sq = mulAdd(sq, wh, splat(-1.0 / 1307674368000.0));
    sq = mulAdd(sq, wh, splat(1.0 / 6227020800.0));
    sq = mulAdd(sq, wh, splat(-1.0 / 39916800.0));
    sq = mulAdd(sq, wh, splat(1.0 / 362880.0));
    // sin r = r + r w (-1/3! + w (1/5! + w (-1/7! + w sq))).
    Vec ah, al, bh, bl;
    fastTwoSum(splat(-inv7h), mul(wh, sq), ah, al);
    al = sub(al, splat(inv7l));
    pairStep(wh, wl, ah, al, splat(inv5h), splat(inv5l), bh, bl);
    pairStep(wh, wl, bh, bl, splat(-inv3h), splat(-inv3l), ah, al);
    Vec rwh, rwl;
    pairProduct(hi, lo, wh, wl, rwh, rwl);
    {
        const Vec p = mul(rwh, ah);
        const Vec pe = add(productError(rwh, ah, p), mulAdd(rwh, al, mul(rwl, ah)));
        Vec s, se;
        fastTwoSum(hi, p, s, se);
        fastTwoSum(s, add(add(se, pe), lo), sinHi, sinLo);
    }

    Vec cq = splat(-1.0 / 1124000727777607680000.0);  // -1/22!
    cq = mulAdd(cq, wh, splat(1.0 / 2432902008176640000.0));
    cq = mulAdd(cq, wh, splat(-1.0 / 6402373705728000.0));
    cq = mulAdd(cq, wh, splat(1.0 / 20922789888000.0));
    cq = mulAdd(cq, wh, splat(-1.0 / 87178291200.0));
    cq = mulAdd(cq, wh, splat(1.0 / 479001600.0));
    cq = mulAdd(cq, wh, splat(-1.0 / 3628800.0));
    cq = mulAdd(cq, wh, splat(1.0 / 40320.0));
    // cos r = 1 - w/2 + w^2 (1/4! + w (-1/6! + w cq)).
    fastTwoSum(splat(-inv6h), mul(wh, cq), ah, al);
    al = sub(al, splat(inv6l));
    pairStep(wh, wl, ah, al, splat(inv4h), splat(inv4l), bh, bl);
    Vec w2h, w2l;
    pairProduct(wh, wl, wh, wl, w2h, w2l);
    {
        const Vec p = mul(w2h, bh);
        const Vec pe = add(productError(w2h, bh, p), mulAdd(w2h, bl, mul(w2l, bh)));
        Vec c0, c0e, c1, c1e;
        fastTwoSum(splat(1.0), mul(splat(-0.5), wh), c0, c0e);
        fastTwoSum(c0, p, c1, c1e);
        const Vec tail = add(add(c0e, c1e), sub(pe, mul(splat(0.5), wl)));
        fastTwoSum(c1, tail, cosHi, cosLo);
    }
}

// Lanes where hi + lo, known to within eps * |hi|, might round to a double
// other than hi (hi is already the rounded sum).
Mask undecided(Vec hi, Vec lo, Vec eps) {
    const Vec d = mul(absOf(hi), eps);
    return either(differ(add(hi, add(lo, d)), hi), differ(add(hi, sub(lo, d)), hi));
}

// Bounds on the relative error of the pairs above. Tightening them until a
// rounded result changed, over every argument at every level, put the largest
// error between 2^-72 and 2^-71 for sine and cosine (twice that for the
// quotient); these sit four times above the tightest bounds that changed
// nothing. The check against MPFR over every argument is what proves them.
const double pairError = 0x1p-69;
const double quotientError = 0x1p-68;

// cos, sin and tan of x, each correctly rounded. Returns how many lanes went
// to the careful evaluation.
unsigned trig(Vec x, Vec& cosX, Vec& sinX, Vec& tanX) {
    Vec hi, lo, sinHi, sinLo, cosHi, cosLo;
    Quad n;
    reduce(x, n, hi, lo);
    sinCosReduced(hi, lo, sinHi, sinLo, cosHi, cosLo);

    Vec tanHi, tanLo;
    placeInQuadrant(n, sinHi, sinLo, cosHi, cosLo, sinX, cosX, tanHi, tanLo);
    tanX = tanHi;

    const Vec pairEps = splat(pairError);
    const unsigned doubtful =
        laneBits(either(either(undecided(sinHi, sinLo, pairEps), undecided(cosHi, cosLo, pairEps)),
                        undecided(tanHi, tanLo, splat(quotientError))));
    if (doubtful == 0) return 0;
    double xs[lanes], c[lanes], s[lanes], t[lanes];
    store(xs, x);
    store(c, cosX);
    store(s, sinX);
    store(t, tanX);
    unsigned count = 0;
    for (size_t j = 0; j < lanes; ++j) {
        if (doubtful & (1u << j)) {
            trigPrecise(xs[j], &c[j], &s[j], &t[j]);
            ++count;
        }
    }
    cosX = load(c);
    sinX = load(s);
    tanX = load(t);
    return count;
}

#include "fill_range.h"

size_t trigRange(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const Vec step = splat(double(lanes));
    Vec x = firstArguments(first);
    size_t careful = 0;
    for (size_t i = 0; i < count; i += lanes) {
        Vec cv, sv, tv;
        const unsigned n = trig(x, cv, sv, tv);
        double c[lanes], s[lanes], t[lanes];
        store(c, cv);
        store(s, sv);
        store(t, tv);
        for (size_t j = 0; j < lanes && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        careful += n;
        x = add(x, step);
    }
    return careful;
}

}  // namespace
