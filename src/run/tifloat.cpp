// Exact decimal arithmetic on the calculator's numbers: the 14 BCD digits
// become an integer mantissa m, the value is m * 10^(exp - 13), and every
// intermediate result is an exact integer times a power of ten (128 bits hold
// 38 digits, enough for a product or a quotient with guard digits).

#include "run/tifloat.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace run {

namespace {

using Wide = unsigned __int128;

constexpr int kDigits = 14;
constexpr int kBias = 0x80;
constexpr int kMaxExp = 99;

Wide pow10(int n) {
    Wide p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

int digitCount(Wide m) {
    int n = 0;
    while (m != 0) {
        m /= 10;
        ++n;
    }
    return n;
}

// A decoded number: value = (neg ? -1 : 1) * m * 10^(exp - 13), with m of
// exactly 14 digits, or m == 0 for zero.
struct Dec {
    bool neg = false;
    int exp = 0;
    std::uint64_t m = 0;
};

Dec decode(const TiFloat &f) {
    Dec d;
    if ((f[2] >> 4) == 0)
        return d;
    for (int i = 2; i < 9; ++i)
        d.m = d.m * 100 + (f[i] >> 4) * 10 + (f[i] & 0x0F);
    d.neg = (f[0] & 0x80) != 0;
    d.exp = int(f[1]) - kBias;
    return d;
}

TiFloat zero() {
    return TiFloat{0, kBias, 0, 0, 0, 0, 0, 0, 0};
}

TiFloat encode(const Dec &d) {
    if (d.m == 0)
        return zero();
    TiFloat f{};
    f[0] = d.neg ? 0x80 : 0x00;
    f[1] = std::uint8_t(d.exp + kBias);
    std::uint64_t m = d.m;
    for (int i = 8; i >= 2; --i) {
        const unsigned low = unsigned(m % 10);
        m /= 10;
        const unsigned high = unsigned(m % 10);
        m /= 10;
        f[i] = std::uint8_t(high << 4 | low);
    }
    return f;
}

// Keeps `keep` digits of m, rounding half away from zero on the first digit
// dropped; returns how many digits were dropped (one more if the rounding
// carried into a new digit).
int roundTo(Wide &m, int keep) {
    const int n = digitCount(m);
    if (n <= keep)
        return 0;
    m /= pow10(n - keep - 1);
    const bool up = m % 10 >= 5;
    m /= 10;
    if (up)
        ++m;
    if (m == pow10(keep)) {
        m /= 10;
        return n - keep + 1;
    }
    return n - keep;
}

// The exact value neg * m * 10^p as a 14-digit number.
FloatResult normalize(bool neg, Wide m, int p) {
    if (m == 0)
        return {zero(), FloatError::None};
    p += roundTo(m, kDigits);
    const int n = digitCount(m);
    m *= pow10(kDigits - n);
    p -= kDigits - n;
    const int exp = p + kDigits - 1;
    if (exp > kMaxExp)
        return {zero(), FloatError::Overflow};
    if (exp < -kMaxExp)
        return {zero(), FloatError::None};
    return {encode({neg, exp, std::uint64_t(m)}), FloatError::None};
}

TiFloat value(const FloatResult &r) {
    return r.value;
}

FloatResult addDec(Dec a, Dec b) {
    if (a.exp < b.exp || a.m == 0)
        std::swap(a, b);
    // Beyond 15 places the smaller number is under a hundredth of the
    // larger one's last digit and cannot move the rounded result.
    if (b.m == 0 || a.exp - b.exp > kDigits + 1)
        return normalize(a.neg, a.m, a.exp - (kDigits - 1));
    const int shift = a.exp - b.exp;
    const Wide ma = Wide(a.m) * pow10(shift);
    const Wide mb = b.m;
    const int p = b.exp - (kDigits - 1);
    if (a.neg == b.neg)
        return normalize(a.neg, ma + mb, p);
    if (ma >= mb)
        return normalize(a.neg, ma - mb, p);
    return normalize(b.neg, mb - ma, p);
}

// The whole part of d towards zero, and whether anything was cut off.
Dec truncDec(const Dec &d, bool &cut) {
    cut = false;
    if (d.m == 0 || d.exp >= kDigits - 1)
        return d;
    if (d.exp < 0) {
        cut = true;
        return Dec{};
    }
    const std::uint64_t scale = std::uint64_t(pow10(kDigits - 1 - d.exp));
    cut = d.m % scale != 0;
    Dec t = d;
    t.m = d.m / scale * scale;
    return t.m == 0 ? Dec{} : t;
}

Wide isqrt(Wide n) {
    if (n == 0)
        return 0;
    Wide x = pow10((digitCount(n) + 1) / 2); // above the root
    for (;;) {
        const Wide y = (x + n / x) / 2;
        if (y >= x)
            return x;
        x = y;
    }
}

// The text of m's digits, m having exactly `count` digits.
std::string digitsOf(Wide m, int count) {
    std::string s(std::size_t(count), '0');
    for (int i = count - 1; i >= 0; --i) {
        s[std::size_t(i)] = char('0' + int(m % 10));
        m /= 10;
    }
    return s;
}

void stripZeros(std::string &s) {
    while (!s.empty() && s.back() == '0')
        s.pop_back();
}

// d rounded to k significant digits: the digits (trailing zeros dropped)
// and the exponent after any carry.
std::string significant(const Dec &d, int k, int &exp) {
    Wide m = d.m;
    exp = d.exp;
    if (roundTo(m, k) > kDigits - k)
        ++exp;
    std::string s = digitsOf(m, digitCount(m));
    stripZeros(s);
    return s;
}

std::string sign(const Dec &d) {
    return d.neg ? std::string(1, kNegativeSign) : std::string();
}

// Plain form with k significant digits; empty when the rounding carried
// the number out of the plain range.
std::string plain(const Dec &d, int k) {
    int exp = 0;
    std::string s = significant(d, k, exp);
    if (exp > 9)
        return {};
    if (exp < 0)
        return sign(d) + "." + std::string(std::size_t(-exp - 1), '0') + s;
    if (s.size() < std::size_t(exp + 1))
        s.append(std::size_t(exp + 1) - s.size(), '0');
    std::string text = sign(d) + s.substr(0, std::size_t(exp + 1));
    if (s.size() > std::size_t(exp + 1))
        text += "." + s.substr(std::size_t(exp + 1));
    return text;
}

std::string scientific(const Dec &d, int k) {
    int exp = 0;
    const std::string s = significant(d, k, exp);
    std::string text = sign(d) + s.substr(0, 1);
    if (s.size() > 1)
        text += "." + s.substr(1);
    text += kExponentE;
    if (exp < 0)
        text += kNegativeSign;
    text += std::to_string(std::abs(exp));
    return text;
}

} // namespace

FloatResult fromScaled(bool neg, Wide m, int p) {
    return normalize(neg, m, p);
}

FloatResult add(const TiFloat &a, const TiFloat &b) {
    return addDec(decode(a), decode(b));
}

FloatResult sub(const TiFloat &a, const TiFloat &b) {
    Dec nb = decode(b);
    nb.neg = !nb.neg;
    return addDec(decode(a), nb);
}

FloatResult mult(const TiFloat &a, const TiFloat &b) {
    const Dec x = decode(a), y = decode(b);
    if (x.m == 0 || y.m == 0)
        return {zero(), FloatError::None};
    return normalize(x.neg != y.neg, Wide(x.m) * y.m, x.exp + y.exp - 2 * (kDigits - 1));
}

FloatResult div(const TiFloat &a, const TiFloat &b) {
    const Dec x = decode(a), y = decode(b);
    if (y.m == 0)
        return {zero(), FloatError::DivideByZero};
    if (x.m == 0)
        return {zero(), FloatError::None};
    // 17 extra digits leave at least 16 in the quotient: the first digit
    // past the 14th decides the rounding, the rest cannot change it.
    constexpr int extra = 17;
    const Wide q = Wide(x.m) * pow10(extra) / y.m;
    return normalize(x.neg != y.neg, q, x.exp - y.exp - extra);
}

FloatResult sqroot(const TiFloat &a) {
    const Dec x = decode(a);
    if (x.m == 0)
        return {zero(), FloatError::None};
    if (x.neg)
        return {zero(), FloatError::Domain};
    // value = m * 10^(exp-13); scale m by 10^k with exp-13-k even and the
    // root at least 15 digits long.
    int k = 18;
    if ((x.exp - (kDigits - 1) - k) % 2 != 0)
        ++k;
    const Wide root = isqrt(Wide(x.m) * pow10(k));
    return normalize(false, root, (x.exp - (kDigits - 1) - k) / 2);
}

TiFloat trunc(const TiFloat &a) {
    bool cut = false;
    return encode(truncDec(decode(a), cut));
}

TiFloat intgr(const TiFloat &a) {
    const Dec d = decode(a);
    bool cut = false;
    const Dec t = truncDec(d, cut);
    if (!d.neg || !cut)
        return encode(t);
    return value(sub(encode(t), fromInt(1)));
}

TiFloat frac(const TiFloat &a) {
    return value(sub(a, trunc(a)));
}

TiFloat negate(const TiFloat &a) {
    Dec d = decode(a);
    d.neg = !d.neg;
    return encode(d);
}

TiFloat abs(const TiFloat &a) {
    Dec d = decode(a);
    d.neg = false;
    return encode(d);
}

bool isZero(const TiFloat &a) {
    return decode(a).m == 0;
}
bool isNegative(const TiFloat &a) {
    return decode(a).neg;
}

int compare(const TiFloat &a, const TiFloat &b) {
    const Dec x = decode(a), y = decode(b);
    const int sx = x.m == 0 ? 0 : (x.neg ? -1 : 1);
    const int sy = y.m == 0 ? 0 : (y.neg ? -1 : 1);
    if (sx != sy)
        return sx < sy ? -1 : 1;
    if (sx == 0)
        return 0;
    int magnitude = 0;
    if (x.exp != y.exp)
        magnitude = x.exp < y.exp ? -1 : 1;
    else if (x.m != y.m)
        magnitude = x.m < y.m ? -1 : 1;
    return sx * magnitude;
}

TiFloat fromInt(std::int64_t n) {
    const bool neg = n < 0;
    const Wide m = neg ? Wide(-(n + 1)) + 1 : Wide(n);
    return normalize(neg, m, 0).value;
}

IntResult toInt(const TiFloat &a) {
    const Dec d = decode(a);
    if (d.m == 0)
        return {0, FloatError::None};
    bool cut = false;
    truncDec(d, cut);
    if (cut)
        return {0, FloatError::Domain};
    if (d.exp > 18)
        return {0, FloatError::Overflow};
    const int shift = d.exp - (kDigits - 1);
    const Wide m = shift >= 0 ? Wide(d.m) * pow10(shift) : Wide(d.m) / pow10(-shift);
    const Wide limit = d.neg ? Wide(INT64_MAX) + 1 : Wide(INT64_MAX);
    if (m > limit)
        return {0, FloatError::Overflow};
    const std::int64_t v = d.neg ? std::int64_t(-(m - 1)) - 1 : std::int64_t(m);
    return {v, FloatError::None};
}

TiFloat fromDouble(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.13e", v); // d.ddddddddddddde±xx
    if (v == 0 || text[0] == 'n' || text[1] == 'n' || text[0] == 'i' || text[1] == 'i')
        return zero();
    const char *p = text;
    const bool neg = *p == '-';
    if (neg)
        ++p;
    Wide m = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            m = m * 10 + Wide(*p - '0');
    const int exp = std::atoi(p + 1);
    return normalize(neg, m, exp - (kDigits - 1)).value;
}

double toDouble(const TiFloat &a) {
    const Dec d = decode(a);
    if (d.m == 0)
        return 0.0;
    const std::string text =
        (d.neg ? "-" : "") + std::to_string(d.m) + "e" + std::to_string(d.exp - (kDigits - 1));
    return std::strtod(text.c_str(), nullptr);
}

std::string formatReal(const TiFloat &a, int maxWidth) {
    const Dec d = decode(a);
    if (d.m == 0)
        return "0";
    int exp = 0;
    significant(d, 10, exp);
    if (exp >= -3 && exp <= 9) {
        // Ten digits, or ten places after the point for numbers below 1.
        const int widest = exp >= 0 ? 10 : 11 + exp;
        const int fewest = exp >= 0 ? exp + 1 : 1;
        for (int k = widest; k >= fewest; --k) {
            const std::string text = plain(d, k);
            if (!text.empty() && int(text.size()) <= maxWidth)
                return text;
        }
    }
    std::string text;
    for (int k = 10; k >= 1; --k) {
        text = scientific(d, k);
        if (int(text.size()) <= maxWidth)
            break;
    }
    return text;
}

} // namespace run
