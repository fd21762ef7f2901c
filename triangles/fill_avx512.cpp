// Compiled with -mavx512f alone; reached only after the processor says it has
// AVX-512F.
//
// The fill's own cos, sin and tan for its arguments, the whole numbers below
// 2^26. A library evaluates the three separately, reducing the argument twice;
// here one reduction and one sine-cosine pair, each held a few bits beyond
// double precision, serve all three: tan is their quotient, so it needs no
// polynomial of its own. Checked against the C library over every one of the
// 2^26 arguments by the test suite and fill_bench; SLEEF's 1-ulp forms, which
// it replaced, took 2.2 times as long here for no better agreement.
#include <immintrin.h>

#include "fill.h"

namespace {

__m512d splat(double v) { return _mm512_set1_pd(v); }

// s + e == a + b exactly, s the rounded sum.
void twoSum(__m512d a, __m512d b, __m512d& s, __m512d& e) {
    s = _mm512_add_pd(a, b);
    const __m512d bPart = _mm512_sub_pd(s, a);
    e = _mm512_add_pd(_mm512_sub_pd(a, _mm512_sub_pd(s, bPart)), _mm512_sub_pd(b, bPart));
}

// The same when |a| >= |b|.
void fastTwoSum(__m512d a, __m512d b, __m512d& s, __m512d& e) {
    s = _mm512_add_pd(a, b);
    e = _mm512_sub_pd(b, _mm512_sub_pd(s, a));
}

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
void reduce(__m512d x, __m512i& qBits, __m512d& hi, __m512d& lo) {
    const __m512d roundingShift = splat(0x1.8p52);
    const __m512d shifted = _mm512_add_pd(_mm512_mul_pd(x, splat(0.63661977236758134308)),
                                          roundingShift);
    const __m512d q = _mm512_sub_pd(shifted, roundingShift);
    qBits = _mm512_castpd_si512(shifted);
    const __m512d p1 = _mm512_mul_pd(q, splat(halfPi1));
    const __m512d p1Err = _mm512_fmsub_pd(q, splat(halfPi1), p1);
    const __m512d p2 = _mm512_mul_pd(q, splat(halfPi2));
    const __m512d p2Err = _mm512_fmsub_pd(q, splat(halfPi2), p2);
    // x and p1 are within a factor of two of each other (or p1 is 0): exact.
    const __m512d a = _mm512_sub_pd(x, p1);
    __m512d s1, e1, s2, e2;
    twoSum(a, _mm512_sub_pd(_mm512_setzero_pd(), p1Err), s1, e1);
    twoSum(s1, _mm512_sub_pd(_mm512_setzero_pd(), p2), s2, e2);
    const __m512d rest = _mm512_sub_pd(_mm512_sub_pd(_mm512_add_pd(e1, e2), p2Err),
                                       _mm512_mul_pd(q, splat(halfPi3)));
    fastTwoSum(s2, rest, hi, lo);
}

// sin and cos of r = hi + lo, |r| <= pi/4 + a hair, each as a pair: the
// leading terms are summed exactly, so rounding is left only in the tail, at
// most a tenth of the result. Taylor series, truncated past r^19 and r^18
// where the next terms fall below 2^-68 of the result.
void sinCosReduced(__m512d hi, __m512d lo, __m512d& sinHi, __m512d& sinLo, __m512d& cosHi,
                   __m512d& cosLo) {
    const __m512d z = _mm512_mul_pd(hi, hi);

    __m512d sp = splat(-1.0 / 121645100408832000.0);  // -1/19!
    sp = _mm512_fmadd_pd(sp, z, splat(1.0 / 355687428096000.0));
    sp = _mm512_fmadd_pd(sp, z, splat(-1.0 / 1307674368000.0));
    sp = _mm512_fmadd_pd(sp, z, splat(1.0 / 6227020800.0));
    sp = _mm512_fmadd_pd(sp, z, splat(-1.0 / 39916800.0));
    sp = _mm512_fmadd_pd(sp, z, splat(1.0 / 362880.0));
    sp = _mm512_fmadd_pd(sp, z, splat(-1.0 / 5040.0));
    sp = _mm512_fmadd_pd(sp, z, splat(1.0 / 120.0));
    sp = _mm512_fmadd_pd(sp, z, splat(-1.0 / 6.0));
    // sin r = hi + (hi^3 * sp + lo * (1 - hi^2 / 2)), the latter lo's share.
    const __m512d sinTail = _mm512_fmadd_pd(_mm512_mul_pd(hi, z), sp,
                                            _mm512_mul_pd(lo, _mm512_fnmadd_pd(splat(0.5), z, splat(1.0))));
    fastTwoSum(hi, sinTail, sinHi, sinLo);

    __m512d cp = splat(-1.0 / 6402373705728000.0);  // -1/18!
    cp = _mm512_fmadd_pd(cp, z, splat(1.0 / 20922789888000.0));
    cp = _mm512_fmadd_pd(cp, z, splat(-1.0 / 87178291200.0));
    cp = _mm512_fmadd_pd(cp, z, splat(1.0 / 479001600.0));
    cp = _mm512_fmadd_pd(cp, z, splat(-1.0 / 3628800.0));
    cp = _mm512_fmadd_pd(cp, z, splat(1.0 / 40320.0));
    cp = _mm512_fmadd_pd(cp, z, splat(-1.0 / 720.0));
    cp = _mm512_fmadd_pd(cp, z, splat(1.0 / 24.0));
    // r^2 / 2 = halfSq + halfSqLo exactly enough: hi^2 split by the fused
    // multiply, plus the cross term hi * lo.
    const __m512d halfSq = _mm512_mul_pd(splat(0.5), z);
    const __m512d halfSqLo =
        _mm512_fmadd_pd(hi, lo, _mm512_mul_pd(splat(0.5), _mm512_fmsub_pd(hi, hi, z)));
    __m512d w, wErr;
    fastTwoSum(splat(1.0), _mm512_sub_pd(_mm512_setzero_pd(), halfSq), w, wErr);
    const __m512d cosTail =
        _mm512_fmadd_pd(_mm512_mul_pd(z, z), cp, _mm512_sub_pd(wErr, halfSqLo));
    fastTwoSum(w, cosTail, cosHi, cosLo);
}

__m512d negateWhere(__mmask8 mask, __m512d v) {
    const __m512i bits = _mm512_castpd_si512(v);
    return _mm512_castsi512_pd(
        _mm512_mask_xor_epi64(bits, mask, bits, _mm512_set1_epi64(INT64_MIN)));
}

// cos, sin and tan of x, each rounded once from its pair.
void trig(__m512d x, __m512d& cosX, __m512d& sinX, __m512d& tanX) {
    __m512d hi, lo, sinHi, sinLo, cosHi, cosLo;
    __m512i n;
    reduce(x, n, hi, lo);
    sinCosReduced(hi, lo, sinHi, sinLo, cosHi, cosLo);

    // x = r + n * pi/2 with n = q mod 4 (the low bits of q): odd n swaps sine
    // and cosine, and each quadrant has its own signs.
    const __mmask8 odd = _mm512_test_epi64_mask(n, _mm512_set1_epi64(1));
    const __mmask8 sinNegative = _mm512_test_epi64_mask(n, _mm512_set1_epi64(2));
    const __mmask8 cosNegative =
        _mm512_test_epi64_mask(_mm512_add_epi64(n, _mm512_set1_epi64(1)), _mm512_set1_epi64(2));
    sinX = negateWhere(sinNegative, _mm512_mask_blend_pd(odd, sinHi, cosHi));
    cosX = negateWhere(cosNegative, _mm512_mask_blend_pd(odd, cosHi, sinHi));

    // tan x = sin r / cos r, or -cos r / sin r for odd n; the quotient of the
    // pairs, corrected once by its remainder, is rounded only at the end.
    const __m512d numHi = _mm512_mask_blend_pd(odd, sinHi, cosHi);
    const __m512d numLo = _mm512_mask_blend_pd(odd, sinLo, cosLo);
    const __m512d denHi = _mm512_mask_blend_pd(odd, cosHi, sinHi);
    const __m512d denLo = _mm512_mask_blend_pd(odd, cosLo, sinLo);
    const __m512d t0 = _mm512_div_pd(numHi, denHi);
    const __m512d remainder =
        _mm512_fnmadd_pd(t0, denLo, _mm512_add_pd(_mm512_fnmadd_pd(t0, denHi, numHi), numLo));
    tanX = negateWhere(odd, _mm512_add_pd(t0, _mm512_div_pd(remainder, denHi)));
}

// Arguments first + 0 .. first + 7; exact, since every index is far below 2^53.
__m512d firstArguments(size_t first) {
    return _mm512_add_pd(_mm512_set1_pd(double(first)),
                         _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0));
}

__m512d elements(__m512d x) {
    __m512d c, s, t;
    trig(x, c, s, t);
    return _mm512_mul_pd(_mm512_add_pd(c, s), t);
}

}  // namespace

void fillRangeAvx512(double* buffer, size_t first, size_t count) {
    const __m512d step = _mm512_set1_pd(8.0);
    __m512d x = firstArguments(first);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        _mm512_storeu_pd(buffer + i, elements(x));
        x = _mm512_add_pd(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of this level comes from the same code.
    if (i < count) {
        double tail[8];
        _mm512_storeu_pd(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRangeAvx512(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const __m512d step = _mm512_set1_pd(8.0);
    __m512d x = firstArguments(first);
    for (size_t i = 0; i < count; i += 8) {
        __m512d cv, sv, tv;
        trig(x, cv, sv, tv);
        double c[8], s[8], t[8];
        _mm512_storeu_pd(c, cv);
        _mm512_storeu_pd(s, sv);
        _mm512_storeu_pd(t, tv);
        for (size_t j = 0; j < 8 && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = _mm512_add_pd(x, step);
    }
}
