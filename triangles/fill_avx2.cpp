// Compiled with -mavx2 -mfma; reached only after the processor says it has
// AVX2 and FMA. The same arithmetic as fill_avx512.cpp, four lanes at a time.
//
// The fill's own cos, sin and tan for its arguments, the whole numbers below
// 2^26. A library evaluates the three separately, reducing the argument twice;
// here one reduction and one sine-cosine pair, each held a few bits beyond
// double precision, serve all three: tan is their quotient, so it needs no
// polynomial of its own. Checked against the C library over every one of the
// 2^26 arguments by the test suite and fill_bench; SLEEF's 1-ulp forms, which
// it replaced, took 2.4 times as long here for no better agreement.
#include <immintrin.h>

#include "fill.h"

namespace {

__m256d splat(double v) { return _mm256_set1_pd(v); }

// s + e == a + b exactly, s the rounded sum.
void twoSum(__m256d a, __m256d b, __m256d& s, __m256d& e) {
    s = _mm256_add_pd(a, b);
    const __m256d bPart = _mm256_sub_pd(s, a);
    e = _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(s, bPart)), _mm256_sub_pd(b, bPart));
}

// The same when |a| >= |b|.
void fastTwoSum(__m256d a, __m256d b, __m256d& s, __m256d& e) {
    s = _mm256_add_pd(a, b);
    e = _mm256_sub_pd(b, _mm256_sub_pd(s, a));
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
void reduce(__m256d x, __m256i& qBits, __m256d& hi, __m256d& lo) {
    const __m256d roundingShift = splat(0x1.8p52);
    const __m256d shifted = _mm256_add_pd(_mm256_mul_pd(x, splat(0.63661977236758134308)),
                                          roundingShift);
    const __m256d q = _mm256_sub_pd(shifted, roundingShift);
    qBits = _mm256_castpd_si256(shifted);
    const __m256d p1 = _mm256_mul_pd(q, splat(halfPi1));
    const __m256d p1Err = _mm256_fmsub_pd(q, splat(halfPi1), p1);
    const __m256d p2 = _mm256_mul_pd(q, splat(halfPi2));
    const __m256d p2Err = _mm256_fmsub_pd(q, splat(halfPi2), p2);
    // x and p1 are within a factor of two of each other (or p1 is 0): exact.
    const __m256d a = _mm256_sub_pd(x, p1);
    __m256d s1, e1, s2, e2;
    twoSum(a, _mm256_sub_pd(_mm256_setzero_pd(), p1Err), s1, e1);
    twoSum(s1, _mm256_sub_pd(_mm256_setzero_pd(), p2), s2, e2);
    const __m256d rest = _mm256_sub_pd(_mm256_sub_pd(_mm256_add_pd(e1, e2), p2Err),
                                       _mm256_mul_pd(q, splat(halfPi3)));
    fastTwoSum(s2, rest, hi, lo);
}

// sin and cos of r = hi + lo, |r| <= pi/4 + a hair, each as a pair: the
// leading terms are summed exactly, so rounding is left only in the tail, at
// most a tenth of the result. Taylor series, truncated past r^19 and r^18
// where the next terms fall below 2^-68 of the result.
void sinCosReduced(__m256d hi, __m256d lo, __m256d& sinHi, __m256d& sinLo, __m256d& cosHi,
                   __m256d& cosLo) {
    const __m256d z = _mm256_mul_pd(hi, hi);

    __m256d sp = splat(-1.0 / 121645100408832000.0);  // -1/19!
    sp = _mm256_fmadd_pd(sp, z, splat(1.0 / 355687428096000.0));
    sp = _mm256_fmadd_pd(sp, z, splat(-1.0 / 1307674368000.0));
    sp = _mm256_fmadd_pd(sp, z, splat(1.0 / 6227020800.0));
    sp = _mm256_fmadd_pd(sp, z, splat(-1.0 / 39916800.0));
    sp = _mm256_fmadd_pd(sp, z, splat(1.0 / 362880.0));
    sp = _mm256_fmadd_pd(sp, z, splat(-1.0 / 5040.0));
    sp = _mm256_fmadd_pd(sp, z, splat(1.0 / 120.0));
    sp = _mm256_fmadd_pd(sp, z, splat(-1.0 / 6.0));
    // sin r = hi + (hi^3 * sp + lo * (1 - hi^2 / 2)), the latter lo's share.
    const __m256d sinTail = _mm256_fmadd_pd(_mm256_mul_pd(hi, z), sp,
                                            _mm256_mul_pd(lo, _mm256_fnmadd_pd(splat(0.5), z, splat(1.0))));
    fastTwoSum(hi, sinTail, sinHi, sinLo);

    __m256d cp = splat(-1.0 / 6402373705728000.0);  // -1/18!
    cp = _mm256_fmadd_pd(cp, z, splat(1.0 / 20922789888000.0));
    cp = _mm256_fmadd_pd(cp, z, splat(-1.0 / 87178291200.0));
    cp = _mm256_fmadd_pd(cp, z, splat(1.0 / 479001600.0));
    cp = _mm256_fmadd_pd(cp, z, splat(-1.0 / 3628800.0));
    cp = _mm256_fmadd_pd(cp, z, splat(1.0 / 40320.0));
    cp = _mm256_fmadd_pd(cp, z, splat(-1.0 / 720.0));
    cp = _mm256_fmadd_pd(cp, z, splat(1.0 / 24.0));
    // r^2 / 2 = halfSq + halfSqLo exactly enough: hi^2 split by the fused
    // multiply, plus the cross term hi * lo.
    const __m256d halfSq = _mm256_mul_pd(splat(0.5), z);
    const __m256d halfSqLo =
        _mm256_fmadd_pd(hi, lo, _mm256_mul_pd(splat(0.5), _mm256_fmsub_pd(hi, hi, z)));
    __m256d w, wErr;
    fastTwoSum(splat(1.0), _mm256_sub_pd(_mm256_setzero_pd(), halfSq), w, wErr);
    const __m256d cosTail =
        _mm256_fmadd_pd(_mm256_mul_pd(z, z), cp, _mm256_sub_pd(wErr, halfSqLo));
    fastTwoSum(w, cosTail, cosHi, cosLo);
}

// Lanes whose bit is set in the given bit of q, as an all-ones mask.
__m256d bitSet(__m256i qBits, long long bit) {
    const __m256i b = _mm256_set1_epi64x(bit);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(qBits, b), b));
}

__m256d negateWhere(__m256d mask, __m256d v) {
    return _mm256_xor_pd(v, _mm256_and_pd(mask, _mm256_set1_pd(-0.0)));
}

__m256d choose(__m256d mask, __m256d whenClear, __m256d whenSet) {
    return _mm256_blendv_pd(whenClear, whenSet, mask);
}

// cos, sin and tan of x, each rounded once from its pair.
void trig(__m256d x, __m256d& cosX, __m256d& sinX, __m256d& tanX) {
    __m256d hi, lo, sinHi, sinLo, cosHi, cosLo;
    __m256i n;
    reduce(x, n, hi, lo);
    sinCosReduced(hi, lo, sinHi, sinLo, cosHi, cosLo);

    // x = r + n * pi/2 with n = q mod 4 (the low bits of q): odd n swaps sine
    // and cosine, and each quadrant has its own signs.
    const __m256d odd = bitSet(n, 1);
    const __m256d sinNegative = bitSet(n, 2);
    const __m256d cosNegative = bitSet(_mm256_add_epi64(n, _mm256_set1_epi64x(1)), 2);
    sinX = negateWhere(sinNegative, choose(odd, sinHi, cosHi));
    cosX = negateWhere(cosNegative, choose(odd, cosHi, sinHi));

    // tan x = sin r / cos r, or -cos r / sin r for odd n; the quotient of the
    // pairs, corrected once by its remainder, is rounded only at the end.
    const __m256d numHi = choose(odd, sinHi, cosHi);
    const __m256d numLo = choose(odd, sinLo, cosLo);
    const __m256d denHi = choose(odd, cosHi, sinHi);
    const __m256d denLo = choose(odd, cosLo, sinLo);
    const __m256d t0 = _mm256_div_pd(numHi, denHi);
    const __m256d remainder =
        _mm256_fnmadd_pd(t0, denLo, _mm256_add_pd(_mm256_fnmadd_pd(t0, denHi, numHi), numLo));
    tanX = negateWhere(odd, _mm256_add_pd(t0, _mm256_div_pd(remainder, denHi)));
}

// Arguments first + 0 .. first + 3; exact, since every index is far below 2^53.
__m256d firstArguments(size_t first) {
    return _mm256_add_pd(_mm256_set1_pd(double(first)),
                         _mm256_setr_pd(0.0, 1.0, 2.0, 3.0));
}

__m256d elements(__m256d x) {
    __m256d c, s, t;
    trig(x, c, s, t);
    return _mm256_mul_pd(_mm256_add_pd(c, s), t);
}

}  // namespace

void fillRangeAvx2(double* buffer, size_t first, size_t count) {
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d x = firstArguments(first);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        _mm256_storeu_pd(buffer + i, elements(x));
        x = _mm256_add_pd(x, step);
    }
    // A short tail still goes through the vector functions, so every element
    // of this level comes from the same code.
    if (i < count) {
        double tail[4];
        _mm256_storeu_pd(tail, elements(x));
        for (size_t j = 0; i + j < count; ++j) buffer[i + j] = tail[j];
    }
}

void trigRangeAvx2(size_t first, size_t count, double* cosOut, double* sinOut, double* tanOut) {
    const __m256d step = _mm256_set1_pd(4.0);
    __m256d x = firstArguments(first);
    for (size_t i = 0; i < count; i += 4) {
        __m256d cv, sv, tv;
        trig(x, cv, sv, tv);
        double c[4], s[4], t[4];
        _mm256_storeu_pd(c, cv);
        _mm256_storeu_pd(s, sv);
        _mm256_storeu_pd(t, tv);
        for (size_t j = 0; j < 4 && i + j < count; ++j) {
            cosOut[i + j] = c[j];
            sinOut[i + j] = s[j];
            tanOut[i + j] = t[j];
        }
        x = _mm256_add_pd(x, step);
    }
}
