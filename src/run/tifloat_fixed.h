#pragma once
// Decimal fixed point for the calculator's transcendental functions: a value
// is an integer count of 10^-30, so a result has some 30 exact places before
// it is rounded once to the calculator's 14 digits. Shared by the logarithms
// and powers (tifloat_exp.cpp) and the trigonometry (tifloat_trig.cpp).

#include "run/tifloat.h"

#include <cstdint>

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

} // namespace run::fixed
