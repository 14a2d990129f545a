// Logarithms and powers of the calculator's numbers, in decimal fixed point:
// every intermediate value is an integer count of 10^-30, so a result has
// some 30 exact places before it is rounded to the calculator's 14 digits.
//
// e^x = e^r * 10^n with x = n ln 10 + r and |r| <= ln 10 / 2 (Taylor series);
// 10^x = e^(f ln 10) * 10^n with n the whole part of x and f the rest;
// ln x = e ln 10 + ln m for x = m * 10^e, with m in [1/sqrt 10, sqrt 10) and
// ln m = 2 atanh((m - 1) / (m + 1)) (a series in odd powers that converges
// fast there); log x = e + ln m / ln 10.

#include "run/tifloat_fixed.h"

#include <cstdint>
#include <utility>

namespace run {

namespace {

using namespace fixed;

// 1 / ln 10 to 30 places.
constexpr Fixed kInvLn10 = Fixed(434294481903251LL) * kHalfScale + 827651128918917LL;

// 10^n * e^r, rounded; the exponent decides Overflow and underflow.
FloatResult scaled(Fixed r, Fixed n) {
    return fromScaled(false, Wide(expSeries(r)), int(n) - kPlaces);
}

} // namespace

FloatResult lnx(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (d.digits == 0)
        return {a, FloatError::Domain};
    if (d.neg)
        return {a, FloatError::NonReal};
    const auto [e, lnm] = lnParts(d);
    return fromFixed(e * kLn10 + lnm);
}

FloatResult logx(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (d.digits == 0)
        return {a, FloatError::Domain};
    if (d.neg)
        return {a, FloatError::NonReal};
    const auto [e, lnm] = lnParts(d);
    return fromFixed(e * kOne + mulFixed(lnm, kInvLn10));
}

FloatResult etox(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (d.exp >= 3) // |x| >= 1000: far beyond the numbers' range either way
        return d.neg ? fromScaled(false, 0, 0) : FloatResult{a, FloatError::Overflow};
    const Fixed x = toFixed(d);
    const Fixed n = (x + (x < 0 ? -kLn10 : kLn10) / 2) / kLn10;
    return scaled(x - n * kLn10, n);
}

FloatResult tenx(const TiFloat &a) {
    const Decoded d = decodeFloat(a);
    if (d.exp >= 3)
        return d.neg ? fromScaled(false, 0, 0) : FloatResult{a, FloatError::Overflow};
    const Fixed x = toFixed(d);
    const Fixed n = x / kOne; // towards zero: the rest has x's sign
    return scaled(mulFixed(x - n * kOne, kLn10), n);
}

} // namespace run
