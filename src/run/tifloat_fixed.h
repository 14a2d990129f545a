#pragma once
// Decimal fixed point for the calculator's transcendental functions: a value
// is an integer count of 10^-30, so a result has some 30 exact places before
// it is rounded once to the calculator's 14 digits. Shared by the logarithms
// and powers (tifloat_exp.cpp), the trigonometry (tifloat_trig.cpp) and the
// hyperbolic functions (tifloat_hyperbolic.cpp).

#include "run/tifloat.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace run::fixed {

using Fixed = __int128; // a count of 10^-30
using Wide = unsigned __int128;

constexpr int kPlaces = 30;
constexpr Fixed kHalfScale = 1000000000000000; // 10^15
constexpr Fixed kOne = kHalfScale * kHalfScale;

inline Fixed absolute(Fixed a) {
    return a < 0 ? -a : a;
}

// a * b for numbers below 10^3 each (products below 10^36 stay in 128 bits).
inline Fixed mulFixed(Fixed a, Fixed b) {
    const bool neg = (a < 0) != (b < 0);
    a = absolute(a);
    b = absolute(b);
    const Fixed a1 = a / kHalfScale, a0 = a % kHalfScale;
    const Fixed b1 = b / kHalfScale, b0 = b % kHalfScale;
    const Fixed r = a1 * b1 + (a1 * b0 + a0 * b1) / kHalfScale + a0 * b0 / kOne;
    return neg ? -r : r;
}

// a / b by long division, one decimal place at a time (b > 0, a >= 0).
inline Fixed divFixed(Fixed a, Fixed b) {
    Fixed q = a / b, rest = a % b;
    for (int i = 0; i < kPlaces; ++i) {
        rest *= 10;
        q = q * 10 + rest / b;
        rest %= b;
    }
    return q;
}

inline Fixed pow10Fixed(int n) {
    Fixed p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// A number as sign, power of ten and its 14 digits: the value is
// digits * 10^(exp - 13); digits is 0 for zero.
struct Decoded {
    bool neg;
    int exp;
    std::int64_t digits;
};

inline Decoded decodeFloat(const TiFloat &a) {
    Decoded d{(a[0] & 0x80) != 0, int(a[1]) - 0x80, 0};
    if ((a[2] >> 4) == 0)
        return {false, 0, 0};
    for (int i = 2; i < 9; ++i)
        d.digits = d.digits * 100 + (a[i] >> 4) * 10 + (a[i] & 0x0F);
    return d;
}

// x as a fixed-point number; |x| must be below 10^3. Places beyond the 30th
// are dropped.
inline Fixed toFixed(const Decoded &d) {
    const int shift = kPlaces - 13 + d.exp;
    const Fixed v = shift >= 0 ? Fixed(d.digits) * pow10Fixed(shift)
                               : (shift > -15 ? Fixed(d.digits) / pow10Fixed(-shift) : 0);
    return d.neg ? -v : v;
}

inline FloatResult fromFixed(Fixed v) {
    return fromScaled(v < 0, Wide(absolute(v)), -kPlaces);
}

// ln 10 and sqrt 10 to 30 places.
constexpr Fixed kLn10 = Fixed(2302585092994045LL) * kHalfScale + 684017991454684LL;
constexpr Fixed kSqrt10 = Fixed(3162277660168379LL) * kHalfScale + 331998893544433LL;

// e^r for |r| below about 2.4: the Taylor series until its terms vanish.
inline Fixed expSeries(Fixed r) {
    Fixed sum = kOne, term = kOne;
    for (int k = 1; term != 0 && k < 200; ++k) {
        term = mulFixed(term, r) / k;
        sum += term;
    }
    return sum;
}

// ln of the mantissa m in [1/sqrt 10, sqrt 10): 2 atanh((m - 1) / (m + 1)),
// a series in odd powers that converges fast there.
inline Fixed lnMantissa(Fixed m) {
    const Fixed z = divFixed(m - kOne, m + kOne), z2 = mulFixed(z, z);
    Fixed sum = 0, power = z;
    for (int k = 1; power != 0 && k < 400; k += 2) {
        sum += power / k;
        power = mulFixed(power, z2);
    }
    return 2 * sum;
}

// The number's power of ten e and ln of its mantissa, for x > 0.
inline std::pair<int, Fixed> lnParts(const Decoded &d) {
    Fixed m = Fixed(d.digits) * pow10Fixed(kPlaces - 13);
    int e = d.exp;
    if (m >= kSqrt10) {
        m /= 10;
        ++e;
    }
    return {e, lnMantissa(m)};
}

// ln v for a fixed-point v > 0.
inline Fixed lnFixed(Fixed v) {
    if (v <= 0)
        return 0;
    int e = 0;
    while (v >= kSqrt10) {
        v /= 10; // places past the 30th go; ln keeps its 30 places from the rest
        ++e;
    }
    while (v * 10 < kSqrt10) {
        v *= 10;
        --e;
    }
    return e * kLn10 + lnMantissa(v);
}

inline Fixed sqrtFixed(Fixed v) {
    if (v <= 0)
        return 0;
    Fixed s = Fixed(std::sqrt(double(v) / 1e30) * 1e15) * kHalfScale;
    if (s <= 0)
        s = 1;
    for (int i = 0; i < 8; ++i)
        s = (s + divFixed(v, s)) / 2;
    return s;
}

// 1/x for x >= 1 (not negative), to 30 places: 0 from 1E43 on.
inline Fixed inverseOf(const Decoded &x) {
    return x.exp < 5 ? divFixed(kOne, toFixed(x))
                     : (x.exp > 43 ? 0 : pow10Fixed(43 - x.exp) / x.digits);
}

// x * factor * 10^-places * (1 + num/den * y^2), rounded once, for a tiny
// x (below 1E-6): y is x, times sqrt(squareFactor / 10^19) when that is
// given. The correction is some 1E-15 of the value or less, but it decides
// a rounding near a tie.
inline FloatResult tinySeries(const Decoded &d, std::uint64_t factor, int places, int num, int den,
                              std::uint64_t squareFactor = 0) {
    const int s = d.exp - 13;
    const int scale = -2 * s - 30; // y^2 in 10^-30 is digits^2 / 10^scale
    Wide square = scale > 38 ? 0 : Wide(d.digits) * Wide(d.digits) / Wide(pow10Fixed(scale));
    if (squareFactor)
        square = square * squareFactor / Wide(pow10Fixed(19));
    const Wide base = Wide(d.digits) * factor;
    const Wide delta = base / Wide(kHalfScale) * (square * Wide(num < 0 ? -num : num) / Wide(den)) /
                       Wide(kHalfScale);
    return fromScaled(d.neg, num < 0 ? base - delta : base + delta, s - places);
}

// 10^18: a factor that leaves a tiny number as it is, with room for its
// correction.
constexpr std::uint64_t kExact = 1000000000000000000ULL;

} // namespace run::fixed
