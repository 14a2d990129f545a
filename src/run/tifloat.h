#pragma once
// The calculator's 9-byte floating-point numbers, computed exactly as decimal.
//
// Layout: byte 0 holds the sign in bit 7 and the type in its low bits (0 for a
// real number); byte 1 the exponent with a bias of 80h (82h means 10^2);
// bytes 2-8 fourteen BCD digits of the mantissa, the first one non-zero
// unless the value is 0 (zero is 00 80 00 00 00 00 00 00 00). A first digit
// of 0 reads as zero, as the calculator treats it.
//
// Every operation works on the exact decimal digits (an integer mantissa
// scaled by powers of ten), never on binary floating point, and rounds its
// result to 14 digits half away from zero. A result above 9.9999999999999E99
// is an Overflow error; one below 1E-99 becomes 0.

#include <array>
#include <cstdint>
#include <string>

namespace run {

using TiFloat = std::array<std::uint8_t, 9>;

// NonReal: a real argument whose result is complex (the logarithm of a
// negative number), which the calculator in Real mode refuses as such.
enum class FloatError { None, Overflow, DivideByZero, Domain, NonReal };

struct FloatResult {
    TiFloat value;
    FloatError error;
};

struct IntResult {
    std::int64_t value;
    FloatError error; // Domain: not a whole number; Overflow: beyond 64 bits
};

// Character codes the calculator's text uses in numbers.
constexpr char kNegativeSign = '\x1A'; // the raised minus of negative numbers
constexpr char kExponentE = '\x1B';    // the small E of scientific notation

FloatResult add(const TiFloat &a, const TiFloat &b);
FloatResult sub(const TiFloat &a, const TiFloat &b);
FloatResult mult(const TiFloat &a, const TiFloat &b);
FloatResult div(const TiFloat &a, const TiFloat &b);
FloatResult sqroot(const TiFloat &a); // Domain for a negative number
// Logarithms and powers, each rounded to 14 digits from a result exact to
// far more (about 30 places). ln and log give Domain for a number not above
// 0; e^x and 10^x give Overflow beyond 9.9999999999999E99 and 0 below 1E-99.
FloatResult lnx(const TiFloat &a);
FloatResult logx(const TiFloat &a);
FloatResult etox(const TiFloat &a);
FloatResult tenx(const TiFloat &a);
// base ^ exponent: 0^0 gives Domain, 0 to a negative power DivideByZero, a
// negative base with an exponent that is not whole NonReal (Real mode).
FloatResult power(const TiFloat &base, const TiFloat &exponent);
// The angle mode: the OS's trigDeg flag (bit 2 of IY+0) set for degrees.
enum class Angle { Radians, Degrees };
// Trigonometry, rounded to 14 digits from about 30 places, the angle (or the
// arc's result) in `mode`. tan gives Domain where the cosine is exactly 0
// (90 degrees); asin and acos give Domain outside [-1, 1].
FloatResult sine(const TiFloat &a, Angle mode);
FloatResult cosine(const TiFloat &a, Angle mode);
FloatResult tangent(const TiFloat &a, Angle mode);
FloatResult arcsine(const TiFloat &a, Angle mode);
FloatResult arccosine(const TiFloat &a, Angle mode);
FloatResult arctangent(const TiFloat &a, Angle mode);
// The hyperbolic functions (no angle mode): sinh and cosh give Overflow past
// 9.9999999999999E99; acosh gives Domain below 1, atanh outside (-1, 1).
FloatResult hypSine(const TiFloat &a);
FloatResult hypCosine(const TiFloat &a);
FloatResult hypTangent(const TiFloat &a);
FloatResult hypArcsine(const TiFloat &a);
FloatResult hypArccosine(const TiFloat &a);
FloatResult hypArctangent(const TiFloat &a);
FloatResult degreesToRadians(const TiFloat &a); // x * pi / 180
FloatResult radiansToDegrees(const TiFloat &a); // x * 180 / pi
// The exact value (neg ? -1 : 1) * m * 10^p as a 14-digit number.
FloatResult fromScaled(bool neg, unsigned __int128 m, int p);

TiFloat intgr(const TiFloat &a); // the greatest whole number not above a
TiFloat trunc(const TiFloat &a); // the whole part, towards zero
TiFloat frac(const TiFloat &a);  // a - trunc(a), keeping a's sign
TiFloat negate(const TiFloat &a);
TiFloat abs(const TiFloat &a);
// -1, 0 or 1 as a is below, equal to or above b.
int compare(const TiFloat &a, const TiFloat &b);
bool isZero(const TiFloat &a);
bool isNegative(const TiFloat &a);

TiFloat fromInt(std::int64_t n); // rounded to 14 digits beyond 10^14
IntResult toInt(const TiFloat &a);

// Conversions through binary floating point: for tests and display only.
TiFloat fromDouble(double d);
double toDouble(const TiFloat &a);

// The text the calculator shows for a number in normal float mode: at most
// 10 digits, scientific form from 1E10 up and below .001, and never longer
// than maxWidth characters (fewer digits first, then scientific form).
// Returned as the calculator's character codes: digits, '.', kNegativeSign
// and kExponentE.
std::string formatReal(const TiFloat &a, int maxWidth);

} // namespace run
