// The hyperbolic functions of the calculator's numbers and their inverses,
// exact to some 30 places before the one rounding to 14 digits; they take no
// angle mode.
//
// sinh and cosh are (e^x -+ e^-x) / 2 from e^|x| = e^r * 10^n, the smaller
// term shifted down by 10^2n, so a result carries all its places whatever
// its size (past 1E100 it is an overflow); below 1, sinh is its own series,
// free of the difference's cancellation. tanh is their quotient, 1 once
// e^-2x no longer reaches the 30th place. asinh x = ln x + ln(1 + sqrt(1 +
// 1/x^2)) from 1 up, ln(x + sqrt(1 + x^2)) below; acosh x = ln x + ln(1 +
// sqrt(1 - 1/x^2)); atanh x = (ln(1 + x) - ln(1 - x)) / 2. Below 1E-7 each
// is x (1 + c x^2) to 14 digits, and cosh 1.

#include "run/tifloat_fixed.h"

namespace run {

namespace {

using namespace fixed;

bool tiny(const Decoded &d) {
    return d.digits == 0 || d.exp <= -8;
}

Decoded magnitudeOf(const Decoded &d) {
    Decoded m = d;
    m.neg = false;
    return m;
}

// e^|x| and e^-|x| for |x| below 1000, as a = e^r, b = e^-r in 10^-30 and
// the power of ten n: e^|x| = a * 10^n, e^-|x| = b * 10^-n.
struct Exponentials {
    Fixed a, b;
    int n;
};

Exponentials exponentials(const Decoded &d) {
    const Fixed x = toFixed(magnitudeOf(d));
    const Fixed n = (x + kLn10 / 2) / kLn10;
    const Fixed r = x - n * kLn10;
    return {expSeries(r), expSeries(-r), int(n)};
}

// e^-|x| in the scale of e^|x|: b * 10^-2n, 0 once below its 30th place.
Fixed smallerTerm(const Exponentials &e) {
    return 2 * e.n > 38 ? 0 : e.b / pow10Fixed(2 * e.n);
}

// (e^|x| + sign * e^-|x|) / 2, rounded once.
FloatResult halfSum(const Decoded &d, int sign, bool neg) {
    const Exponentials e = exponentials(d);
    const Fixed m = sign < 0 ? e.a - smallerTerm(e) : e.a + smallerTerm(e);
    return fromScaled(neg, Wide(m) * 5, e.n - kPlaces - 1);
}

// sinh and cosh of |x| below 1 from their series.
std::pair<Fixed, Fixed> smallSinhCosh(Fixed x) {
    const Fixed x2 = mulFixed(x, x);
    Fixed sinhSum = x, coshSum = kOne, sinhTerm = x, coshTerm = kOne;
    for (int k = 1; (sinhTerm != 0 || coshTerm != 0) && k < 60; ++k) {
        sinhTerm = mulFixed(sinhTerm, x2) / ((2 * k) * (2 * k + 1));
        coshTerm = mulFixed(coshTerm, x2) / ((2 * k - 1) * (2 * k));
        sinhSum += sinhTerm;
        coshSum += coshTerm;
    }
    return {sinhSum, coshSum};
}

} // namespace

FloatResult hypSine(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (tiny(d))
        return tinySeries(d, kExact, 18, 1, 6); // x + x^3/6
    if (d.exp >= 3)
        return {a, FloatError::Overflow};
    if (d.exp < 0) {
        const Fixed s = smallSinhCosh(toFixed(magnitudeOf(d))).first;
        return fromFixed(d.neg ? -s : s);
    }
    return halfSum(d, -1, d.neg);
}

FloatResult hypCosine(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (tiny(d))
        return {fromInt(1), FloatError::None};
    if (d.exp >= 3)
        return {a, FloatError::Overflow};
    return halfSum(d, 1, false);
}

FloatResult hypTangent(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (tiny(d))
        return tinySeries(d, kExact, 18, -1, 3); // x - x^3/3
    Fixed t = kOne;
    if (d.exp < 0) {
        const auto [s, c] = smallSinhCosh(toFixed(magnitudeOf(d)));
        t = divFixed(s, c);
    } else if (d.exp < 3) {
        const Exponentials e = exponentials(d);
        t = divFixed(e.a - smallerTerm(e), e.a + smallerTerm(e));
    }
    return fromFixed(d.neg ? -t : t);
}

FloatResult hypArcsine(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (tiny(d))
        return tinySeries(d, kExact, 18, -1, 6); // x - x^3/6
    const Decoded m = magnitudeOf(d);
    Fixed r;
    if (d.exp < 0) {
        const Fixed x = toFixed(m);
        r = lnFixed(x + sqrtFixed(kOne + mulFixed(x, x)));
    } else {
        const auto [e, lnm] = lnParts(m);
        const Fixed inverse = inverseOf(m);
        r = e * kLn10 + lnm + lnFixed(kOne + sqrtFixed(kOne + mulFixed(inverse, inverse)));
    }
    return fromFixed(d.neg ? -r : r);
}

FloatResult hypArccosine(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (d.neg || d.digits == 0 || d.exp < 0)
        return {a, FloatError::Domain};
    const auto [e, lnm] = lnParts(d);
    const Fixed inverse = inverseOf(d);
    return fromFixed(e * kLn10 + lnm +
                     lnFixed(kOne + sqrtFixed(kOne - mulFixed(inverse, inverse))));
}

FloatResult hypArctangent(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (tiny(d))
        return tinySeries(d, kExact, 18, 1, 3); // x + x^3/3
    if (d.exp >= 0)
        return {a, FloatError::Domain};
    const Fixed x = toFixed(magnitudeOf(d));
    const Fixed r = (lnFixed(kOne + x) - lnFixed(kOne - x)) / 2;
    return fromFixed(d.neg ? -r : r);
}

} // namespace run
