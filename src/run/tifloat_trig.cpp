// Trigonometry of the calculator's numbers, exact to some 30 places before
// the one rounding to 14 digits.
//
// sin and cos: the angle becomes a fraction of a turn, exactly: in degrees
// x/360 by whole-number arithmetic on the digits; in radians x/(2 pi) from
// 1/(2 pi) to 210 places, of which only the 60 that reach the fraction for
// the number's power of ten are used (so 1E99 radians is reduced as exactly
// as 1). Four times that fraction gives the quadrant and an angle of at most
// pi/4 either way, counted in 10^-36, whose sine and cosine come from their
// Taylor series. tan is sin / cos, a domain error where cos is exactly 0
// (90 degrees).
//
// atan y (|y| <= 1) is 2 atan(y / (1 + sqrt(1 + y^2))) twice over, then its
// series; asin and acos go through atan of the two legs, sqrt(1 - x^2)
// exact from the 14 digits. Arguments below 1E-7 radians are their own sine,
// tangent and arcs to 14 digits, and their cosine is 1.

#include "run/tifloat_fixed.h"

#include <cstring>

namespace run {

namespace {

using namespace fixed;

// A count of 10^-36, for a fraction of a turn and the reduced angle.
using Unit = __int128;
constexpr std::int64_t k18 = 1000000000000000000LL;
constexpr Unit kUnit = Unit(k18) * k18; // 10^36
constexpr Fixed kUnitPerFixed = 1000000;
// pi/2 to 36 places, and to 30.
constexpr Unit kHalfPiUnit = Unit(1570796326794896619LL) * k18 + 231321691639751442LL;
constexpr Fixed kHalfPi = Fixed(1570796326794896LL) * kHalfScale + 619231321691640LL;
// 180/pi to 30 places.
constexpr Fixed kDegreesPerRadian = Fixed(57295779513082320LL) * kHalfScale + 876798154814105LL;
// pi/180 to 19 digits (times 10^20) and 180/pi to 19 digits (times 10^17),
// for converting a 14-digit number with one rounding.
constexpr std::uint64_t kPiOver180 = 1745329251994329577ULL;
constexpr std::uint64_t k180OverPi = 5729577951308232088ULL;
// The places of 1/(2 pi) after the point.
constexpr const char *kInvTwoPi =
    "159154943091895335768883763372514362034459645740456448747667344058896797634226535090113802"
    "766253085956072842726757958036892911846114578652877967410731699839229239966937409077573077"
    "746396925307688717392896217397";

Unit absUnit(Unit a) {
    return a < 0 ? -a : a;
}

FloatResult fromUnit(Unit v) {
    return fromScaled(v < 0, Wide(absUnit(v)), -36);
}

// num / den (0 <= num < den) in 10^-36, by long division.
Unit ratio(std::int64_t num, std::int64_t den) {
    Unit q = 0, rest = num;
    for (int i = 0; i < 36; ++i) {
        rest *= 10;
        q = q * 10 + rest / den;
        rest %= den;
    }
    return q;
}

// frac(|x| / 360) in 10^-36, for x = digits * 10^s.
Unit turnsOfDegrees(const Decoded &d) {
    const int s = d.exp - 13;
    if (s >= 0) {
        std::int64_t power = 1; // 10^s mod 360
        for (int i = 0; i < s; ++i)
            power = power * 10 % 360;
        return ratio(d.digits % 360 * power % 360, 360);
    }
    if (-s <= 12) {
        std::int64_t den = 360;
        for (int i = 0; i < -s; ++i)
            den *= 10;
        return ratio(d.digits % den, den);
    }
    return -s > 36 ? 0 : Unit(d.digits) * pow10Fixed(36 + s) / 360;
}

// frac(|x| / (2 pi)) in 10^-36, for x = digits * 10^s: the whole turns of
// digits * 10^s / (2 pi) are dropped by taking only the places of 1/(2 pi)
// from the (s+1)th on, 60 of them in four 15-digit pieces.
Unit turnsOfRadians(const Decoded &d) {
    const int s = d.exp - 13;
    const int known = int(std::strlen(kInvTwoPi));
    std::int64_t piece[4];
    for (int c = 0; c < 4; ++c) {
        piece[c] = 0;
        for (int i = 0; i < 15; ++i) {
            const int place = s + 1 + 15 * c + i; // 1 is the first after the point
            piece[c] =
                piece[c] * 10 + (place >= 1 && place <= known ? kInvTwoPi[place - 1] - '0' : 0);
        }
    }
    constexpr std::int64_t k15 = 1000000000000000LL;
    std::int64_t limb[4];
    Unit carry = 0;
    for (int c = 3; c >= 0; --c) {
        const Unit p = Unit(d.digits) * piece[c] + carry;
        limb[c] = std::int64_t(p % k15);
        carry = p / k15; // out of the first piece: whole turns
    }
    return Unit(limb[0]) * (Unit(k15) * 1000000) + Unit(limb[1]) * 1000000 + limb[2] / 1000000000;
}

// f * pi/2 in 10^-36, for |f| <= 10^36 / 2.
Unit timesHalfPi(Unit f) {
    const bool neg = f < 0;
    f = absUnit(f);
    const Unit f1 = f / k18, f0 = f % k18;
    const Unit p1 = kHalfPiUnit / k18, p0 = kHalfPiUnit % k18;
    const Unit r = f1 * p1 + (f1 * p0 + f0 * p1) / k18 + f0 * p0 / kUnit;
    return neg ? -r : r;
}

struct Circle {
    Unit sin, cos; // in 10^-36
};

// The sine and cosine of |x|.
Circle circle(const Decoded &d, Angle mode) {
    const Unit turns = mode == Angle::Degrees ? turnsOfDegrees(d) : turnsOfRadians(d);
    const Unit quarters = 4 * turns;
    int quadrant = int(quarters / kUnit);
    Unit f = quarters % kUnit;
    if (f > kUnit / 2) {
        f -= kUnit;
        ++quadrant;
    }
    const Unit a = timesHalfPi(f);
    Unit s = a, c = kUnit;
    if (absUnit(a) >= kUnit / 1000000000000) { // a^3/6 reaches the 36th place
        const Fixed x = a / kUnitPerFixed, x2 = mulFixed(x, x);
        Fixed sinSum = x, cosSum = kOne, sinTerm = x, cosTerm = kOne;
        for (int k = 1; (sinTerm != 0 || cosTerm != 0) && k < 60; ++k) {
            sinTerm = -mulFixed(sinTerm, x2) / ((2 * k) * (2 * k + 1));
            cosTerm = -mulFixed(cosTerm, x2) / ((2 * k - 1) * (2 * k));
            sinSum += sinTerm;
            cosSum += cosTerm;
        }
        s = sinSum * kUnitPerFixed;
        c = cosSum * kUnitPerFixed;
    }
    switch (quadrant & 3) {
    case 1:
        return {c, -s};
    case 2:
        return {-s, -c};
    case 3:
        return {-c, s};
    default:
        return {s, c};
    }
}

// x radians as degrees, or x degrees as radians, rounded once.
FloatResult convert(const Decoded &d, std::uint64_t factor, int places) {
    return fromScaled(d.neg, Wide(d.digits) * factor, d.exp - 13 - places);
}

// An argument so small that its sine, tangent and arcs are y (1 + c y^2) to
// 14 digits, y the argument in radians: below 1E-7 radians, 1E-6 degrees.
bool tiny(const Decoded &d, Angle mode) {
    return d.digits == 0 || d.exp <= (mode == Angle::Degrees ? -7 : -8);
}

constexpr std::uint64_t kPiOver180Squared = 3046174197867086ULL; // (pi/180)^2 * 10^19

FloatResult tinyAngle(const Decoded &d, Angle mode, int num, int den) {
    return mode == Angle::Degrees ? tinySeries(d, kPiOver180, 20, num, den, kPiOver180Squared)
                                  : tinySeries(d, kExact, 18, num, den);
}

// The arc of a tiny number, in the angle mode.
FloatResult tinyArc(const Decoded &d, Angle mode, int num, int den) {
    return mode == Angle::Degrees ? tinySeries(d, k180OverPi, 17, num, den)
                                  : tinySeries(d, kExact, 18, num, den);
}

// atan y for 0 <= y <= 1: two halvings of the angle, then the series.
Fixed atanSmall(Fixed y) {
    for (int i = 0; i < 2; ++i)
        y = divFixed(y, kOne + sqrtFixed(kOne + mulFixed(y, y)));
    const Fixed y2 = mulFixed(y, y);
    Fixed sum = 0, power = y;
    for (int k = 1; power != 0 && k < 200; k += 2) {
        sum += (k % 4 == 1 ? power : -power) / k;
        power = mulFixed(power, y2);
    }
    return 4 * sum;
}

// The angle of the point (x, y), both >= 0 and not both 0, in [0, pi/2].
Fixed atanOfLegs(Fixed y, Fixed x) {
    return y <= x ? atanSmall(divFixed(y, x)) : kHalfPi - atanSmall(divFixed(x, y));
}

// A result in radians, in 30 places, as the angle mode shows it.
FloatResult angleResult(bool neg, Fixed radians, Angle mode) {
    if (mode == Angle::Degrees)
        radians = mulFixed(radians, kDegreesPerRadian);
    return fromFixed(neg ? -radians : radians);
}

} // namespace

FloatResult sine(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (tiny(d, mode))
        return tinyAngle(d, mode, -1, 6); // x - x^3/6
    const Unit s = circle(d, mode).sin;
    return fromUnit(d.neg ? -s : s);
}

FloatResult cosine(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (tiny(d, mode))
        return {fromInt(1), FloatError::None};
    return fromUnit(circle(d, mode).cos);
}

FloatResult tangent(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (tiny(d, mode))
        return tinyAngle(d, mode, 1, 3); // x + x^3/3
    const Circle c = circle(d, mode);
    if (c.cos == 0)
        return {a, FloatError::Domain};
    // sin / cos by long division, to 18 digits at least.
    const Wide num = Wide(absUnit(c.sin)), den = Wide(absUnit(c.cos));
    Wide q = num / den, rest = num % den;
    int places = 0;
    while (q < Wide(k18) && places < 80) {
        rest *= 10;
        q = q * 10 + rest / den;
        rest %= den;
        ++places;
    }
    return fromScaled(d.neg != ((c.sin < 0) != (c.cos < 0)), q, -places);
}

FloatResult arctangent(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (tiny(d, Angle::Radians))
        return tinyArc(d, mode, -1, 3); // x - x^3/3
    Decoded magnitude = d;
    magnitude.neg = false;
    if (d.exp < 0)
        return angleResult(d.neg, atanSmall(toFixed(magnitude)), mode);
    // atan x = pi/2 - atan(1/x).
    return angleResult(d.neg, kHalfPi - atanSmall(inverseOf(magnitude)), mode);
}

FloatResult arcsine(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (d.exp > 0 || (d.exp == 0 && d.digits > 10000000000000LL))
        return {a, FloatError::Domain};
    if (tiny(d, Angle::Radians))
        return tinyArc(d, mode, 1, 6); // x + x^3/6
    Decoded magnitude = d;
    magnitude.neg = false;
    const Fixed x = toFixed(magnitude);
    return angleResult(d.neg, atanOfLegs(x, sqrtFixed(kOne - mulFixed(x, x))), mode);
}

FloatResult arccosine(const TiFloat &a, Angle mode) {
    const Decoded d = decodeFloat(a);
    if (d.exp > 0 || (d.exp == 0 && d.digits > 10000000000000LL))
        return {a, FloatError::Domain};
    Decoded magnitude = d;
    magnitude.neg = false;
    const Fixed x = toFixed(magnitude);
    const Fixed r = atanOfLegs(sqrtFixed(kOne - mulFixed(x, x)), x);
    return angleResult(false, d.neg ? 2 * kHalfPi - r : r, mode);
}

FloatResult degreesToRadians(const TiFloat &a) {
    return convert(decodeFloat(a), kPiOver180, 20);
}

FloatResult radiansToDegrees(const TiFloat &a) {
    return convert(decodeFloat(a), k180OverPi, 17);
}

} // namespace run
