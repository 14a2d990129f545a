// Logarithms and powers of the calculator's numbers, in decimal fixed point:
// every intermediate value is an integer count of 10^-30, so a result has
// some 30 exact places before it is rounded to the calculator's 14 digits.
//
// e^x = e^r * 10^n with x = n ln 10 + r and |r| <= ln 10 / 2 (Taylor series);
// 10^x = e^(f ln 10) * 10^n with n the whole part of x and f the rest;
// ln x = e ln 10 + ln m for x = m * 10^e, with m in [1/sqrt 10, sqrt 10) and
// ln m = 2 atanh((m - 1) / (m + 1)) (a series in odd powers that converges
// fast there); log x = e + ln m / ln 10. y^x = e^(x ln |y|), the product
// x ln |y| taken exactly from x's 14 digits and ln |y|'s first 24; a whole
// power whose digits fit in 128 bits is multiplied out exactly instead.

#include "run/tifloat_fixed.h"

#include <cstdint>
#include <optional>
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

// |ln y| for y > 0 as digits * 10^power with at most 24 digits (30 places,
// cut to the first 24 where it is larger), and whether it is negative.
struct Logarithm {
    Wide digits;
    int power;
    bool neg;
};

Logarithm lnMagnitude(const Decoded &y) {
    const auto [e, lnm] = lnParts(y);
    const Fixed l = e * kLn10 + lnm;
    Logarithm r{Wide(absolute(l)), -kPlaces, l < 0};
    while (r.digits >= Wide(pow10Fixed(24))) {
        r.digits /= 10;
        ++r.power;
    }
    return r;
}

// |y|^n for a whole n other than 0, exactly when its digits fit in 128
// bits (37 digits for a negative n, whose reciprocal is then divided out
// with a sticky last digit), so a result with an exact tie, 15^12 =
// 129746337890625, rounds as it should; none when they do not fit.
std::optional<FloatResult> exactPower(const Decoded &y, std::int64_t n) {
    std::int64_t digits = y.digits;
    int scale = y.exp - 13;
    while (digits % 10 == 0) {
        digits /= 10;
        ++scale;
    }
    const std::int64_t count = n < 0 ? -n : n;
    // Far outside the range (the general way says which end), or 1 and 10^k.
    if (digits == 1 || (scale != 0 && count > 1000))
        return std::nullopt;
    const Wide limit = n < 0 ? Wide(pow10Fixed(37)) : ~Wide(0);
    Wide acc = 1;
    for (std::int64_t i = 0; i < count; ++i) { // digits >= 2: at most 127 rounds
        if (acc > limit / Wide(digits))
            return std::nullopt;
        acc *= Wide(digits);
    }
    const int places = int(scale * count);
    if (n > 0)
        return fromScaled(false, acc, places);
    Wide q = 0, rest = 1;
    int shift = 0;
    while (q < Wide(pow10Fixed(18))) {
        rest *= 10;
        q = q * 10 + rest / acc;
        rest %= acc;
        ++shift;
    }
    if (rest != 0)
        q = q * 10 + 1, ++shift;
    return fromScaled(false, q, -shift - places);
}

} // namespace

FloatResult power(const TiFloat &base, const TiFloat &exponent) {
    const Decoded y = decodeFloat(base), x = decodeFloat(exponent);
    if (y.digits == 0) {
        if (x.digits == 0)
            return {base, FloatError::Domain};
        return x.neg ? FloatResult{base, FloatError::DivideByZero} : fromScaled(false, 0, 0);
    }
    if (x.digits == 0)
        return fromScaled(false, 1, 0);
    // A negative base takes a whole exponent only; an odd one keeps the sign.
    bool negative = false;
    if (y.neg) {
        const int s = x.exp - 13; // x = digits * 10^s
        if (s < 0 && (s < -13 || x.digits % std::int64_t(pow10Fixed(-s)) != 0))
            return {base, FloatError::NonReal};
        negative = s == 0 ? x.digits % 2 != 0 : (s < 0 && x.digits / pow10Fixed(-s) % 2 != 0);
    }
    Decoded magnitude = y;
    magnitude.neg = false;
    const int s = x.exp - 13;
    if (s >= -13 && s <= 4 && (s >= 0 || x.digits % std::int64_t(pow10Fixed(-s)) == 0)) {
        const std::int64_t n =
            std::int64_t(s >= 0 ? x.digits * pow10Fixed(s) : x.digits / pow10Fixed(-s));
        if (std::optional<FloatResult> exact = exactPower(magnitude, x.neg ? -n : n)) {
            if (negative && exact->error == FloatError::None)
                exact->value = negate(exact->value);
            return *exact;
        }
    }
    const Logarithm l = lnMagnitude(magnitude);
    if (l.digits == 0) // |y| = 1
        return {negative ? negate(fromInt(1)) : fromInt(1), FloatError::None};
    // t = x ln |y| = product * 10^places.
    const Wide product = Wide(x.digits) * l.digits;
    const bool tNegative = x.neg != l.neg;
    int places = x.exp - 13 + l.power;
    int size = 0; // the power of ten of t's first digit, less places
    for (Wide p = product; p >= 10; p /= 10)
        ++size;
    if (size + places >= 3) // |t| >= 1000: beyond the numbers' range either way
        return tNegative ? fromScaled(false, 0, 0) : FloatResult{base, FloatError::Overflow};
    const int shift = places + kPlaces;
    const Fixed t = shift >= 0 ? Fixed(product) * pow10Fixed(shift)
                               : (shift < -38 ? 0 : Fixed(product / Wide(pow10Fixed(-shift))));
    const Fixed signedT = tNegative ? -t : t;
    const Fixed n = (signedT + (signedT < 0 ? -kLn10 : kLn10) / 2) / kLn10;
    FloatResult r = scaled(signedT - n * kLn10, n);
    if (negative && r.error == FloatError::None)
        r.value = negate(r.value);
    return r;
}

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
