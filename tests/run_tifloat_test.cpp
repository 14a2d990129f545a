// The calculator's decimal numbers: what a program that calls the OS's
// arithmetic sees in OP1, and the text the home screen would show for it.
// Screen text is written with ⁻ for the negative sign and ᴇ for the E.

#include "run/tifloat.h"

#include <QSignalSpy>
#include <QtMath>

#include <QTest>
#include <algorithm>
#include <cmath>

using namespace run;

namespace {

TiFloat num(double d) {
    return fromDouble(d);
}

QString bytes(const TiFloat &f) {
    return QByteArray(reinterpret_cast<const char *>(f.data()), 9).toHex(' ').toUpper();
}

QString screen(const std::string &calculatorText) {
    QString out;
    for (char c : calculatorText)
        out += c == kNegativeSign ? QStringLiteral("⁻")
               : c == kExponentE  ? QStringLiteral("ᴇ")
                                  : QString(QLatin1Char(c));
    return out;
}

QString shown(const TiFloat &f) {
    return screen(formatReal(f, 16));
}

// The value of a computation that must not fail; an error fails the test
// (an error's value is its input, which a check could take for the answer).
TiFloat ok(const FloatResult &r, const char *file = __builtin_FILE(),
           int line = __builtin_LINE()) {
    if (r.error != FloatError::None)
        QTest::qFail(qPrintable(QString("unexpected error %1").arg(int(r.error))), file, line);
    return r.value;
}

} // namespace

class TiFloatTest : public QObject {
    Q_OBJECT
private slots:
    void oneThirdTimesThreeShowsOne() {
        const TiFloat third = ok(div(num(1), num(3)));
        QCOMPARE(bytes(third), "00 7F 33 33 33 33 33 33 33");
        QCOMPARE(shown(third), ".3333333333");
        QCOMPARE(shown(ok(mult(third, num(3)))), "1");
    }

    void tenthPlusTwoTenthsIsExactlyThreeTenths() {
        const TiFloat sum = ok(add(num(0.1), num(0.2)));
        QCOMPARE(bytes(sum), "00 7F 30 00 00 00 00 00 00");
        QCOMPARE(compare(sum, num(0.3)), 0);
    }

    void resultsRoundHalfAwayFromZeroAtTheFourteenthDigit() {
        QCOMPARE(bytes(ok(add(num(1), num(5e-14)))), "00 80 10 00 00 00 00 00 01");
        QCOMPARE(bytes(ok(add(num(1), num(4e-14)))), "00 80 10 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(sub(num(-1), num(5e-14)))), "80 80 10 00 00 00 00 00 01");
        QCOMPARE(bytes(ok(div(num(2), num(3)))), "00 7F 66 66 66 66 66 66 67");
        // A tiny amount below a power of ten rounds back up to it.
        QCOMPARE(bytes(ok(sub(num(1), num(1e-20)))), "00 80 10 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(sub(num(1), num(1e-14)))), "00 7F 99 99 99 99 99 99 99");
    }

    void negativeNumbersCarryTheirSign() {
        QCOMPARE(shown(ok(sub(num(2), num(5)))), "⁻3");
        QCOMPARE(shown(ok(mult(num(-2), num(-3)))), "6");
        QCOMPARE(shown(ok(div(num(-7), num(2)))), "⁻3.5");
        QCOMPARE(shown(ok(add(num(-2.5), num(2.5)))), "0");
        QCOMPARE(bytes(negate(num(0))), "00 80 00 00 00 00 00 00 00");
        QCOMPARE(shown(abs(num(-4.25))), "4.25");
    }

    void wholeAndFractionalParts() {
        QCOMPARE(shown(intgr(num(-2.5))), "⁻3");
        QCOMPARE(shown(intgr(num(2.5))), "2");
        QCOMPARE(shown(intgr(num(-3))), "⁻3");
        QCOMPARE(shown(intgr(num(-0.001))), "⁻1");
        QCOMPARE(shown(trunc(num(-2.5))), "⁻2");
        QCOMPARE(shown(frac(num(-2.5))), "⁻.5");
        QCOMPARE(shown(frac(num(1234.0625))), ".0625");
    }

    void squareRoots() {
        QCOMPARE(bytes(ok(sqroot(num(2)))), "00 80 14 14 21 35 62 37 31");
        QCOMPARE(shown(ok(sqroot(num(16)))), "4");
        QCOMPARE(shown(ok(sqroot(num(1e-3)))), ".0316227766");
        QCOMPARE(sqroot(num(-1)).error, FloatError::Domain);
    }

    void errorsAtTheEdgesOfTheRange() {
        QCOMPARE(mult(num(1e99), num(10)).error, FloatError::Overflow);
        QCOMPARE(shown(ok(mult(num(9.9999999999999e99), num(1)))), "1ᴇ100");
        QCOMPARE(div(num(5), num(0)).error, FloatError::DivideByZero);
        const FloatResult under = div(num(1e-99), num(10));
        QCOMPARE(under.error, FloatError::None);
        QVERIFY(isZero(under.value));
    }

    void theHomeScreenShowsTenDigitsThenScientificForm() {
        QCOMPARE(shown(num(1e99)), "1ᴇ99");
        QCOMPARE(shown(num(1234567890)), "1234567890");
        QCOMPARE(shown(num(12345678901.0)), "1.23456789ᴇ10");
        QCOMPARE(shown(num(9999999999.9)), "1ᴇ10");
        QCOMPARE(shown(ok(div(num(10), num(3)))), "3.333333333");
        QCOMPARE(shown(ok(div(num(1), num(300)))), ".0033333333");
        QCOMPARE(shown(num(0.001)), ".001");
        QCOMPARE(shown(num(0.0001)), "1ᴇ⁻4");
        QCOMPARE(shown(ok(div(num(-1), num(3000)))), "⁻3.333333333ᴇ⁻4");
        QCOMPARE(shown(num(-1e-99)), "⁻1ᴇ⁻99");
    }

    void aNarrowFieldKeepsFewerDigits() {
        const TiFloat third = ok(div(num(1), num(3)));
        QCOMPARE(screen(formatReal(third, 6)), ".33333");
        QCOMPARE(screen(formatReal(num(123456789), 6)), "1.23ᴇ8");
        QCOMPARE(screen(formatReal(num(-2.5), 6)), "⁻2.5");
    }

    void integersInAndOut() {
        QCOMPARE(toInt(num(255)).value, 255);
        QCOMPARE(toInt(num(-9)).value, -9);
        QCOMPARE(toInt(num(2.5)).error, FloatError::Domain);
        QCOMPARE(toInt(num(1e20)).error, FloatError::Overflow);
        QCOMPARE(bytes(fromInt(-1337)), "80 83 13 37 00 00 00 00 00");
        QCOMPARE(bytes(fromInt(123456789012345678)), "00 91 12 34 56 78 90 12 35");
        QCOMPARE(toDouble(fromInt(-1337)), -1337.0);
    }

    void numbersOrderAcrossSignAndExponent() {
        const QList<double> ascending = {-1e50, -2, -1, -1e-5, 0, 1e-5, 0.5, 1, 2, 1e50};
        for (int i = 0; i + 1 < ascending.size(); ++i) {
            QCOMPARE(compare(num(ascending[i]), num(ascending[i + 1])), -1);
            QCOMPARE(compare(num(ascending[i + 1]), num(ascending[i])), 1);
        }
        // A first digit of 0 reads as zero, whatever the other bytes hold.
        QCOMPARE(compare(TiFloat{0x80, 0x85, 0x01, 0x23}, num(0)), 0);
    }

    // Powers (TI's System Routines, _YToX: OP1 = OP1 ^ OP2), rounded once
    // (values from a 40-digit reference): 15^12 = 129746337890625 ties at
    // its 15th digit and rounds up, as only an exact whole power can show;
    // 1.005^360 = 6.0225752122632; a base 1E-13 from 1 keeps its digits
    // through an exponent of 1E15 (e^100 = 2.6881171418027E43), and one
    // 1E-7 from 1 through 1E9 (2.6881037012649E43); (-2)^3 = -8, and -1 to
    // an odd power of 14 digits is -1; 1 to any power is 1.
    // 0^0, 0 to a negative power and a negative base to a power that is not
    // whole are the calculator's errors (the last NONREAL ANS in Real mode).
    void powersAsTheCalculatorRoundsThem() {
        QCOMPARE(bytes(ok(power(num(15), num(12)))), "00 8E 12 97 46 33 78 90 63");
        QCOMPARE(bytes(ok(power(num(1.005), num(360)))), "00 80 60 22 57 52 12 26 32");
        QCOMPARE(bytes(ok(power(num(1.0000000000001), num(1e15)))), "00 AB 26 88 11 71 41 80 27");
        QCOMPARE(bytes(ok(power(num(-2), num(3)))), "80 80 80 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(power(num(0.5), num(-10)))), "00 83 10 24 00 00 00 00 00");
        QCOMPARE(bytes(ok(power(num(1.0000001), num(1e9)))), "00 AB 26 88 10 37 01 26 49");
        QCOMPARE(bytes(ok(power(num(-1), num(12345678901233)))), "80 80 10 00 00 00 00 00 00");
        const FloatResult one = power(num(1), num(1e99));
        QCOMPARE(one.error, FloatError::None);
        QCOMPARE(bytes(one.value), "00 80 10 00 00 00 00 00 00");
        QCOMPARE(power(num(10), num(100)).error, FloatError::Overflow);
        QCOMPARE(power(num(0), num(0)).error, FloatError::Domain);
        QCOMPARE(power(num(0), num(-2)).error, FloatError::DivideByZero);
        QCOMPARE(power(num(-8), num(0.33333333333333)).error, FloatError::NonReal);
        QCOMPARE(power(num(-2), num(1.5)).error, FloatError::NonReal);
    }

    // Trigonometry rounded once from some 30 exact places (TI's System
    // Routines: _Sin, _Cos and _Tan take the angle in the OS's mode, the arcs
    // give theirs in it). sin 1 = .84147098480790; sin 30 degrees is .5 and
    // asin .5 is 30 degrees exactly; 1E99 radians is reduced by the whole
    // of 1E99 / 2 pi (a 200-digit reference gives sin -.272511601934366 and
    // cos .962152496650695); pi's 14 digits leave sin -6.7615373566167E-15;
    // whole turns of degrees are dropped exactly; a tiny arc's x^3/3
    // decides its last digit (atan of 7.2890976332785E-8 is
    // 4.17634530845654E-6 degrees). Where the cosine is 0 the tangent is
    // the calculator's domain error, and so is an arc of more than 1
    // (TI-Basic Developer, the sin-1( page: real arguments only).
    void trigonometryAsTheCalculatorRoundsIt() {
        QCOMPARE(bytes(ok(sine(num(1), Angle::Radians))), "00 7F 84 14 70 98 48 07 90");
        QCOMPARE(bytes(ok(sine(num(30), Angle::Degrees))), "00 7F 50 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(arcsine(num(0.5), Angle::Degrees))), "00 81 30 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(sine(num(1e99), Angle::Radians))), "80 7F 27 25 11 60 19 34 37");
        QCOMPARE(bytes(ok(cosine(num(1e99), Angle::Radians))), "00 7F 96 21 52 49 66 50 70");
        QCOMPARE(bytes(ok(sine(num(3.1415926535898), Angle::Radians))),
                 "80 71 67 61 53 73 56 61 67");
        QCOMPARE(bytes(ok(arctangent(num(7.2890976332785e-8), Angle::Degrees))),
                 "00 7A 41 76 34 53 08 45 65");
        QCOMPARE(bytes(ok(arccosine(num(-1), Angle::Radians))), "00 80 31 41 59 26 53 58 98");
        QCOMPARE(bytes(ok(arctangent(num(1e50), Angle::Degrees))), "00 81 90 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(cosine(num(-270), Angle::Degrees))), "00 80 00 00 00 00 00 00 00");
        // 3.1415926535897E15 degrees are whole turns and 140 degrees: sin 40.
        QCOMPARE(bytes(ok(sine(num(3.1415926535897e15), Angle::Degrees))),
                 "00 7F 64 27 87 60 96 86 54");
        QCOMPARE(tangent(num(-270), Angle::Degrees).error, FloatError::Domain);
        QCOMPARE(arcsine(num(1.0000000000001), Angle::Radians).error, FloatError::Domain);
        QCOMPARE(arccosine(num(-2), Angle::Degrees).error, FloatError::Domain);
        QCOMPARE(bytes(ok(degreesToRadians(num(180)))), "00 80 31 41 59 26 53 58 98");
        QCOMPARE(radiansToDegrees(num(1e99)).error, FloatError::Overflow);
    }

    // The hyperbolic functions, rounded once like the rest (values from a
    // 40-digit reference): sinh 230 = 3.8610092499919E99 is still in range
    // and sinh 231 is not; acosh just above 1 keeps its digits
    // (4.4721359549995E-7), as atanh just below 1 does (16.464669241238);
    // asinh 1E50 = 115.82240183026. acosh below 1 and atanh from 1 on are
    // domain errors: the calculator's hyperbolic functions take no complex
    // results (Cemetech's TI-BASIC reference, the tanh( page).
    void hyperbolicFunctionsAsTheCalculatorRoundsThem() {
        QCOMPARE(bytes(ok(hypSine(num(230)))), "00 E3 38 61 00 92 49 99 19");
        QCOMPARE(hypSine(num(-231)).error, FloatError::Overflow);
        QCOMPARE(bytes(ok(hypArccosine(num(1.0000000000001)))), "00 79 44 72 13 59 54 99 95");
        QCOMPARE(bytes(ok(hypArctangent(num(-0.99999999999999)))), "80 81 16 46 46 69 24 12 38");
        QCOMPARE(bytes(ok(hypArcsine(num(1e50)))), "00 82 11 58 22 40 18 30 26");
        QCOMPARE(bytes(ok(hypTangent(num(-1e50)))), "80 80 10 00 00 00 00 00 00");
        QCOMPARE(bytes(ok(hypCosine(num(1e-9)))), "00 80 10 00 00 00 00 00 00");
        QCOMPARE(hypArccosine(num(0.5)).error, FloatError::Domain);
        QCOMPARE(hypArccosine(num(-2)).error, FloatError::Domain);
        QCOMPARE(hypArctangent(num(1)).error, FloatError::Domain);
    }

    // Across turns, signs and sizes the functions agree with the C library's
    // (binary, some 16 digits) to 12 digits.
    void trigonometryAgreesWithTheLibraryEverywhere() {
        std::uint32_t seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return double(seed >> 8) / double(1u << 24);
        };
        for (int i = 0; i < 2000; ++i) {
            const double x = toDouble(num((next() - 0.5) * std::pow(10.0, 6 * next() - 3)));
            const auto near = [x](const FloatResult &r, double want) {
                return r.error == FloatError::None &&
                       std::abs(toDouble(r.value) - want) <= 1e-12 * std::max(1.0, std::abs(want));
            };
            QVERIFY2(near(sine(num(x), Angle::Radians), std::sin(x)),
                     qPrintable(QString::number(x)));
            QVERIFY2(near(cosine(num(x), Angle::Radians), std::cos(x)),
                     qPrintable(QString::number(x)));
            QVERIFY2(near(tangent(num(x), Angle::Degrees), std::tan(x * M_PI / 180)),
                     qPrintable(QString::number(x)));
            QVERIFY2(near(arctangent(num(x), Angle::Radians), std::atan(x)),
                     qPrintable(QString::number(x)));
            QVERIFY2(near(hypArcsine(num(x)), std::asinh(x)), qPrintable(QString::number(x)));
            const double small = std::fmod(x, 20.0);
            QVERIFY2(near(hypTangent(num(small)), std::tanh(small)),
                     qPrintable(QString::number(small)));
            QVERIFY2(std::abs(toDouble(ok(hypSine(num(small)))) / std::sinh(small) - 1) < 1e-12 ||
                         small == 0,
                     qPrintable(QString::number(small)));
            // Away from 1, where the arcs magnify their argument's last digit.
            const double unit = toDouble(num(0.99 * std::fmod(x, 1.0)));
            QVERIFY2(near(arcsine(num(unit), Angle::Radians), std::asin(unit)),
                     qPrintable(QString::number(unit)));
            QVERIFY2(near(arccosine(num(unit), Angle::Degrees), std::acos(unit) * 180 / M_PI),
                     qPrintable(QString::number(unit)));
        }
    }
};

QTEST_APPLESS_MAIN(TiFloatTest)
#include "run_tifloat_test.moc"
