// The calculator's decimal numbers: what a program that calls the OS's
// arithmetic sees in OP1, and the text the home screen would show for it.
// Screen text is written with ⁻ for the negative sign and ᴇ for the E.

#include "run/tifloat.h"

#include <QSignalSpy>
#include <QTest>

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

TiFloat ok(const FloatResult &r) {
    if (r.error != FloatError::None)
        qWarning("unexpected error %d", int(r.error));
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
};

QTEST_APPLESS_MAIN(TiFloatTest)
#include "run_tifloat_test.moc"
