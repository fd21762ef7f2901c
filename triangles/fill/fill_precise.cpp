// The careful evaluation behind every level's fast kernels: cos, sin and tan of
// a whole number below 2^26 to about 100 bits, from which the double nearest
// each is read off. The kernels call it only for the rare arguments whose fast
// result lies too close to a point halfway between two doubles to round with
// certainty. Plain double arithmetic, with products made exact by splitting
// operands rather than by fused operations, so it gives the same bits on any
// processor with IEEE doubles (and -ffp-contract=off, which the build sets).
#include <cstdint>

#include "fill.h"

namespace {

// A value as an unevaluated sum hi + lo, |lo| <= half an ulp of hi.
struct Pair {
    double hi;
    double lo;
};

Pair twoSum(double a, double b) {
    const double s = a + b;
    const double bPart = s - a;
    return {s, (a - (s - bPart)) + (b - bPart)};
}

Pair fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a = hi + lo with hi holding the leading 26 bits.
Pair split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b exactly, as a pair.
Pair twoProduct(double a, double b) {
    const double p = a * b;
    const Pair x = split(a), y = split(b);
    const double e = ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo;
    return {p, e};
}

Pair add(Pair a, Pair b) {
    const Pair s = twoSum(a.hi, b.hi);
    const Pair t = twoSum(a.lo, b.lo);
    const Pair u = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(u.hi, u.lo + t.lo);
}

Pair mul(Pair a, Pair b) {
    const Pair p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Pair divide(Pair a, Pair b) {
    const double q1 = a.hi / b.hi;
    const Pair r = add(a, mul({-q1, 0.0}, b));
    const double q2 = r.hi / b.hi;
    const Pair r2 = add(r, mul({-q2, 0.0}, b));
    const double q3 = r2.hi / b.hi;
    const Pair q = fastTwoSum(q1, q2);
    return add(q, {q3, 0.0});
}

// pi/2 in parts of at most 26 bits, each starting where the previous one
// ends; q is below 2^26, so q times any part is exact. What they leave out of
// pi/2 is below 2^-155.
const double halfPiParts[6] = {0x1.921fb5p+0,   0x1.110b46p-26,  0x1.1a6262p-54,
                               0x1.3145c0p-78,  0x1.b839a2p-104, 0x1.481270p-130};

// Series coefficients (-1)^k / n! as pairs, n = 0 .. 29.
struct Coefficients {
    Pair inverseFactorial[30];
    Coefficients() {
        inverseFactorial[0] = {1.0, 0.0};
        for (int n = 1; n < 30; ++n) {
            const Pair previous = inverseFactorial[n - 1];
            inverseFactorial[n] = divide(previous, {double(n), 0.0});
        }
    }
};

const Coefficients& coefficients() {
    static const Coefficients c;
    return c;
}

// sum over k of (-1)^k r^(2k + first) / (2k + first)! for |r| <= pi/4 + a
// hair, as a pair; terms past r^29 fall below 2^-110 of the result.
Pair series(Pair r, Pair rSquared, int first) {
    const Pair* f = coefficients().inverseFactorial;
    int n = first == 0 ? 28 : 29;
    Pair sum = n / 2 % 2 ? Pair{-f[n].hi, -f[n].lo} : f[n];
    for (n -= 2; n >= first; n -= 2) {
        const Pair term = n / 2 % 2 ? Pair{-f[n].hi, -f[n].lo} : f[n];
        sum = add(mul(sum, rSquared), term);
    }
    return first == 0 ? sum : mul(sum, r);
}

Pair negate(Pair p) { return {-p.hi, -p.lo}; }

}  // namespace

void trigPrecise(double x, double* cosOut, double* sinOut, double* tanOut) {
    // q, the whole number nearest x * 2/pi; should the product round across a
    // half, |r| exceeds pi/4 by a hair, which the series allow for.
    const double q = double(int64_t(x * 0.63661977236758134308 + 0.5));
    // The first two subtractions are exact: each result is a multiple of the
    // part's last bit and small enough to fit a double. The rest are summed
    // as pairs.
    double s = x - q * halfPiParts[0];
    s = s - q * halfPiParts[1];
    Pair r = twoSum(s, -q * halfPiParts[2]);
    for (int i = 3; i < 6; ++i) r = add(r, {-q * halfPiParts[i], 0.0});
    r = fastTwoSum(r.hi, r.lo);

    const Pair rSquared = mul(r, r);
    const Pair sinR = series(r, rSquared, 1);
    const Pair cosR = series(r, rSquared, 0);

    // x = r + n * pi/2, n = q mod 4.
    const int n = int(int64_t(q) & 3);
    const Pair sinX = n == 0 ? sinR : n == 1 ? cosR : n == 2 ? negate(sinR) : negate(cosR);
    const Pair cosX = n == 0 ? cosR : n == 1 ? negate(sinR) : n == 2 ? negate(cosR) : sinR;
    const Pair tanX = divide(sinX, cosX);
    // hi is the rounded sum of each pair.
    *cosOut = cosX.hi + cosX.lo;
    *sinOut = sinX.hi + sinX.lo;
    *tanOut = tanX.hi + tanX.lo;
}
