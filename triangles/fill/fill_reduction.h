// The exact sums, the reduction by pi/2 and the return to x's quadrant that
// every version of the fill's kernels shares. Included inside the including file's unnamed namespace,
// after it has defined the operations fill_vector.h lists.

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

// From the pairs of sin r and cos r, where x = r + n * pi/2 with n = q mod 4
// (the low bits of q): sin x and cos x, each rounded from its pair, and tan x
// as a pair. Odd n swaps sine and cosine, and each quadrant has its own
// signs; tan x = sin r / cos r, or -cos r / sin r for odd n, the quotient of
// the pairs corrected once by its remainder.
void placeInQuadrant(Quad n, Vec sinHi, Vec sinLo, Vec cosHi, Vec cosLo, Vec& sinX, Vec& cosX,
                     Vec& tanHi, Vec& tanLo) {
    const Mask odd = quadrantBit(n, 0);
    const Mask sinNegative = quadrantBit(n, 1);
    const Mask cosNegative = quadrantBit(nextQuadrant(n), 1);
    sinX = negateWhere(sinNegative, choose(odd, sinHi, cosHi));
    cosX = negateWhere(cosNegative, choose(odd, cosHi, sinHi));

    const Vec numHi = choose(odd, sinHi, cosHi);
    const Vec numLo = choose(odd, sinLo, cosLo);
    const Vec denHi = choose(odd, cosHi, sinHi);
    const Vec denLo = choose(odd, cosLo, sinLo);
    const Vec t0 = div(numHi, denHi);
    const Vec remainder = negMulAdd(t0, denLo, add(exactNegMulAdd(t0, denHi, numHi), numLo));
    Vec hi, lo;
    fastTwoSum(t0, div(remainder, denHi), hi, lo);
    // Negating both halves leaves the pair's distance to a rounding boundary
    // as it was, so the rounding test reads it the same.
    tanHi = negateWhere(odd, hi);
    tanLo = negateWhere(odd, lo);
}
