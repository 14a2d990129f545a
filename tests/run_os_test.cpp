// The OS calls a program makes, each told by what it leaves on the screen
// and in RAM: the home screen's text and cursor, the small font at the pen,
// the graph buffer, the keys, whole numbers and the decimal floating point.

#include "run/font.h"
#include "run/romdocs.h"
#include "run/tifloat.h"

#include "run_programs.h"

using namespace run;

namespace {

QString lines(std::initializer_list<const char *> rows) {
    QString all;
    for (const char *r : rows)
        all += QString(r).leftJustified(16) + '\n';
    for (int i = int(rows.size()); i < 8; ++i)
        all += QString(16, ' ') + '\n';
    return all;
}

std::uint8_t at(const Session &s, std::uint16_t a) {
    return s.machine().read(a);
}

// The nine bytes of a real number stored at `from`, in hex.
QByteArray realAt(const Session &s, std::uint16_t from) {
    QByteArray b;
    for (int i = 0; i < 9; ++i)
        b += char(at(s, std::uint16_t(from + i)));
    return b.toHex(' ');
}

QByteArray op1(const Session &s) {
    return realAt(s, ram::op1);
}

} // namespace

class RunOsTest : public QObject {
    Q_OBJECT
private slots:
    // A program pasmo refuses fails the test that wrote it, with pasmo's
    // message, instead of running nothing and letting the test pass on an
    // empty machine. The Z80 has no (de+d) operand. Each expected failure is
    // the helper's own: were it silent, the check after it would pass where
    // a failure is expected, which fails the test.
    void aProgramPasmoRefusesFailsItsTest() {
        QEXPECT_FAIL("", "pasmo refuses ld a,(de+1)", Continue);
        const Bytes code = assemble(" ld a,(de+1)\n ret");
        QVERIFY(code.empty());
        QEXPECT_FAIL("", "pasmo refuses ld a,(de+1)", Continue);
        const auto s = runAsm(" ld a,(de+1)\n ret");
        QCOMPARE(s->machine().cycles(), std::uint64_t(0)); // nothing ran
    }

    // Text wraps at the 16th column, scrolls at the last row, and the cursor
    // ends where the next character goes; back on the home screen, "Done" on
    // the next line scrolls it once more.
    void homeScreenTextWrapsAndScrolls() {
        const auto s = runAsm(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, long
        bcall(_PutS)
        bcall(_NewLine)
        ld hl, 1234
        bcall(_DispHL)
        ld a, 7
        ld (curRow), a
        ld a, 14
        ld (curCol), a
        ld hl, wrap
        bcall(_PutS)
        ld a, '!'
        bcall(_PutMap)
        ret
long:   db "Hello, world! And more", 0
wrap:   db "xyz", 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(screenText(*s),
                 lines({" 1234", "", "", "", "", "              xy", "z!", "            Done"}));
        QCOMPARE(at(*s, ram::curRow), std::uint8_t(7));
        QCOMPARE(at(*s, ram::curCol), std::uint8_t(1));
        QCOMPARE(at(*s, std::uint16_t(ram::textShadow + 0)), std::uint8_t(' '));
        QCOMPARE(at(*s, std::uint16_t(ram::textShadow + 1)), std::uint8_t('1'));
    }

    // _PutS leaves HL past the string's terminating zero, as TI's reference
    // loop does (ld a,(hl) / inc hl / or a): strings laid end to end are
    // shown by calling it again.
    void stringsLaidEndToEndAreShownOneCallEach() {
        const auto s = runAsm(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, first
        ld (9002h), hl
        bcall(_PutS)
        ld (9000h), hl
        bcall(_PutS)
        ret
first:  db "ab", 0
second: db "cd", 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(screenText(*s), lines({"abcd", "            Done"}));
        QCOMPARE(s->machine().readWord(0x9000), std::uint16_t(s->machine().readWord(0x9002) + 3));
    }

    // Without auto-scroll the cursor goes back to the top; EraseEOL blanks the
    // rest of the row and leaves the cursor; PutPS prints a counted string;
    // inverse text reads back as the same characters with the cell dark.
    void eraseCountedStringsAndInverseText() {
        const auto s = runAsm(R"(
        res 2, (iy+13)          ; appAutoScroll off
        ld hl, 0*256+7          ; row 7, column 0
        ld (curRow), hl
        ld hl, full
        bcall(_PutS)
        bcall(_PutS)
        ld hl, 0
        ld (curRow), hl
        ld hl, counted
        bcall(_PutPS)
        bcall(_EraseEOL)
        set 3, (iy+5)           ; textInverse
        ld a, 'I'
        bcall(_PutC)
        ret
full:   db "0123456789ABCDEF", 0, "second row text", 0
counted: db 3, "abcdef")");
        QCOMPARE(screenText(*s),
                 lines({"abcI", "            Done", "", "", "", "", "", "0123456789ABCDEF"}));
        QVERIFY(s->machine().lcd().pixel(18, 0)); // the inverse cell's blank corner is dark
        QCOMPARE(at(*s, ram::curCol), std::uint8_t(4));
    }

    // The small font goes where the pen is and moves it by the glyphs' widths;
    // with textWrite it draws into the graph buffer, which GrBufCpy shows.
    // _SStringLength measures a counted string as _VPutS would draw it.
    void smallFontAndTheGraphBuffer() {
        const auto s = runAsm(R"(
        bcall(_GrBufClr)
        ld hl, 3*256+10
        ld (penCol), hl
        ld hl, text
        bcall(_VPutS)
        set 7, (iy+20)          ; textWrite
        ld hl, 20*256+0
        ld (penCol), hl
        ld a, 'X'
        bcall(_VPutMap)
        ld a, 0FFh
        ld (plotSScreen+12*40+11), a
        bcall(_GrBufCpy)
        ret
text:   db "Hi", 0)");
        const auto ink = [](const Session &run) {
            int n = 0;
            for (int y = 3; y < 10; ++y)
                for (int x = 10; x < 20; ++x)
                    n += run.machine().lcd().pixel(x, y);
            return n;
        };
        const int width = smallGlyph('H').width + smallGlyph('i').width;
        QCOMPARE(int(at(*s, ram::penCol)), smallGlyph('X').width);
        QCOMPARE(ink(*s), 0); // the buffer's copy covered the text drawn on the screen
        for (int x = 88; x < 96; ++x)
            QVERIFY(s->machine().lcd().pixel(x, 40));
        const auto direct = runAsm(R"(
        ld hl, 3*256+10
        ld (penCol), hl
        ld hl, text
        bcall(_VPutS)
        ld hl, counted
        bcall(_SStringLength)   ; the width _VPutS drew, in A and B
        ld (9000h), a
        ld a, b
        ld (9001h), a
        ret
text:   db "Hi", 0
counted: db 2, "Hi")");
        QCOMPARE(int(at(*direct, ram::penCol)), 10 + width);
        QVERIFY(ink(*direct) > 0);
        QCOMPARE(int(at(*direct, 0x9000)), width);
        QCOMPARE(int(at(*direct, 0x9001)), width);
    }

    // A filled frame with its inside cleared, and one corner pixel inverted.
    void rectangles() {
        const auto s = runAsm(R"(
        ld hl, 2*256+3
        ld de, 5*256+10
        bcall(_FillRect)
        ld hl, 3*256+4
        ld de, 4*256+9
        bcall(_ClearRect)
        ld hl, 0
        ld de, 0
        bcall(_InvertRect)
        ret)");
        int lit = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 72; ++x) // the home screen's "Done" is right of these
                lit += s->machine().lcd().pixel(x, y);
        QCOMPARE(lit, 4 * 8 - 2 * 6 + 1);
        QVERIFY(s->machine().lcd().pixel(10, 5) && !s->machine().lcd().pixel(9, 4));
    }

    // IPoint and ILine count y from the bottom and draw to buffer and screen.
    void pointsAndLines() {
        const auto s = runAsm(R"(
        ld bc, 0*256+0
        ld de, 95*256+0
        ld h, 1
        bcall(_ILine)
        ld bc, 5*256+63
        ld d, 1
        bcall(_IPoint)
        ld d, 2
        bcall(_IPoint)
        ld bc, 6*256+63
        ld d, 1
        bcall(_IPoint)
        ret)");
        for (int x = 0; x < 96; ++x)
            QVERIFY(s->machine().lcd().pixel(x, 63));
        QVERIFY(!s->machine().lcd().pixel(5, 0));
        QVERIFY(s->machine().lcd().pixel(6, 0));
        QCOMPARE(at(*s, 0x9340), std::uint8_t(0x02));
    }

    // _GetKey turns 2ND and ALPHA into the shifted key's code; _GetCSC gives
    // scan codes; keys that run out while a program waits end the run.
    void keysCodesShiftsAndRunningOut() {
        const QString readThree = R"(
        bcall(_GetKey)
        ld (9000h), a
        bcall(_GetKey)
        ld (9001h), a
        bcall(_GetKey)
        ld (9002h), a
        ret)";
        const auto s = runAsm(readThree, {sk::Enter, sk::Second, sk::Mode, sk::Alpha, sk::Math});
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(at(*s, 0x9000), std::uint8_t(0x05)); // kEnter
        QCOMPARE(at(*s, 0x9001), std::uint8_t(0x40)); // kQuit
        QCOMPARE(at(*s, 0x9002), std::uint8_t(0x9A)); // kCapA
        const auto out = runAsm(readThree, {sk::Two});
        QCOMPARE(QString::fromStdString(out->stopped()->reason),
                 QString("the program waits for a key (_GetKey at 9D9Bh) and the list of keys "
                         "has run out"));
        const auto scan = runAsm(R"(
wait:   bcall(_GetCSC)
        or a
        jr z, wait
        ld (9000h), a
        ret)",
                                 {sk::Clear});
        QCOMPARE(at(*scan, 0x9000), std::uint8_t(sk::Clear));
    }

    // An empty calculator: a lookup fails until the program creates the
    // variable; X keeps what is stored to it.
    void variablesAreCreatedFoundAndStored() {
        const auto s = runAsm(R"(
        ld hl, name
        rst 20h                 ; _Mov9ToOP1
        bcall(_ChkFindSym)
        ld a, 0
        rla
        ld (9000h), a           ; 1: not found
        ld hl, 5
        bcall(_CreateAppVar)
        ld (9002h), de
        ld hl, name
        rst 20h
        ld b, 5
        bcall(_ChkFindSym)
        ld (9004h), de
        ld a, b
        ld (9006h), a           ; 0: in RAM, not archived
        ld a, 42
        bcall(_SetXXOP1)
        bcall(_StoX)
        bcall(_OP1Set0)
        bcall(_RclX)
        ret
name:   db 15h, "SAVE", 0)");
        QCOMPARE(at(*s, 0x9000), std::uint8_t(1));
        QCOMPARE(s->machine().readWord(0x9004), s->machine().readWord(0x9002));
        QCOMPARE(at(*s, 0x9006), std::uint8_t(0));
        QCOMPARE(s->machine().readWord(s->machine().readWord(0x9002)), std::uint16_t(5));
        QCOMPARE(op1(*s), QByteArray("00 81 42 00 00 00 00 00 00"));
    }

    // An AppVar grows in the middle of the variables' memory: the one made
    // after it moves up with its data and is found there; deleting bytes
    // brings it back down. Too much, or outside the variables, stops the run.
    void memoryIsInsertedAndDeletedUnderVariables() {
        const auto s = runAsm(R"(
        ld hl, nameA
        rst 20h
        ld hl, 3
        bcall(_CreateAppVar)
        inc de
        inc de
        ld hl, abc
        ld bc, 3
        ldir
        ld (9000h), de          ; the end of A's data
        ld hl, nameB
        rst 20h
        ld hl, 1
        bcall(_CreateAppVar)
        ld (9002h), de
        inc de
        inc de
        ld a, 'x'
        ld (de), a
        ld de, (9000h)
        ld hl, 4
        bcall(_InsertMem)
        ld hl, nameB
        rst 20h
        bcall(_ChkFindSym)
        ld (9004h), de
        ld hl, (9000h)
        ld de, 1
        bcall(_DelMem)
        ld hl, nameB
        rst 20h
        bcall(_ChkFindSym)
        ld (9006h), de
        ret
abc:    db "abc"
nameA:  db 15h, "A", 0
nameB:  db 15h, "B", 0)");
        const Machine &m = s->machine();
        const std::uint16_t b = m.readWord(0x9002), end = m.readWord(0x9000);
        QCOMPARE(m.readWord(0x9004), std::uint16_t(b + 4));
        QCOMPARE(m.readWord(0x9006), std::uint16_t(b + 3));
        QCOMPARE(at(*s, std::uint16_t(b + 5)), std::uint8_t('x'));
        QCOMPARE(at(*s, std::uint16_t(end - 1)), std::uint8_t('c'));
        QCOMPARE(at(*s, end), std::uint8_t(0)); // the inserted bytes left after the delete
        const auto full = runAsm(" ld de, 0C000h\n ld hl, 4000h\n bcall(_InsertMem)\n ret");
        QCOMPARE(QString::fromStdString(full->stopped()->reason),
                 QString("the calculator runs out of memory (ERR:MEMORY) in _InsertMem"));
        // A size word of FFFEh or FFFFh and its own two bytes are more than
        // 64 KiB, never a few bytes.
        for (const char *size : {"0FFFEh", "0FFFFh"}) {
            const auto huge = runAsm(QString(" ld hl, nameA\n rst 20h\n ld hl, ") + size +
                                     "\n bcall(_CreateAppVar)\n ret\nnameA: db 15h, \"A\", 0");
            QVERIFY(huge->stopped());
            QCOMPARE(QString::fromStdString(huge->stopped()->reason),
                     QString("the calculator runs out of memory (ERR:MEMORY) in _CreateAppVar"));
        }
        const auto outside = runAsm(" ld hl, 9000h\n ld de, 1\n bcall(_DelMem)\n ret");
        QCOMPARE(QString::fromStdString(outside->stopped()->reason),
                 QString("the program called _DelMem at 9D9Bh for 9000h, outside the memory of "
                         "the variables (C000h to C000h now)"));
    }

    // Deleting a variable gives its memory back: the one made after it moves
    // down into its place, and once both are gone the memory free is what it
    // was before either. _Arc_Unarc leaves a variable in RAM (B = 0 from
    // _ChkFindSym: this calculator has no archive), and _DelVarArc deletes
    // it as _DelVar does (TI-83 Plus SDK).
    void deletedVariablesGiveTheirMemoryBack() {
        const auto s = runAsm(R"(
        bcall(_MemChk)
        ld (9000h), hl
        ld hl, nameA
        rst 20h
        ld hl, 3
        bcall(_CreateAppVar)
        ld (9002h), de
        ld hl, nameB
        rst 20h
        bcall(_CreateReal)
        ld a, 'x'
        ld (de), a
        ld hl, nameA
        rst 20h
        bcall(_ChkFindSym)
        bcall(_DelVar)
        ld hl, nameB
        rst 20h
        bcall(_Arc_Unarc)
        bcall(_ChkFindSym)
        ld a, b
        ld (900Bh), a
        ld (9004h), de
        ld a, (de)
        ld (9008h), a
        bcall(_DelVarArc)
        bcall(_MemChk)
        ld (9006h), hl
        ld hl, nameA
        rst 20h
        bcall(_ChkFindSym)
        ld a, 0
        rla
        ld (900Ah), a           ; 1: A is gone
        ret
nameA:  db 15h, "A", 0
nameB:  db 0, "B", 0)");
        const Machine &m = s->machine();
        QCOMPARE(m.readWord(0x9004), m.readWord(0x9002));
        QCOMPARE(at(*s, 0x9008), std::uint8_t('x'));
        QCOMPARE(m.readWord(0x9006), m.readWord(0x9000));
        QCOMPARE(at(*s, 0x900A), std::uint8_t(1));
        QCOMPARE(at(*s, 0x900B), std::uint8_t(0));
        const auto missing = runAsm(" ld hl, name\n rst 20h\n bcall(_Arc_Unarc)\n ret\n"
                                    "name: db 15h, \"Z\", 0");
        QCOMPARE(QString::fromStdString(missing->stopped()->reason),
                 QString("the calculator stops the program with ERR:UNDEFINED in _Arc_Unarc, "
                         "called at 9D99h: no variable of that name exists"));
    }

    // A real taken from the floating-point stack goes to any real variable by
    // name, made on the first store; an empty stack stops the run.
    void storingFromTheStackToANamedVariable() {
        const auto s = runAsm(R"(
        ld a, 42
        bcall(_SetXXOP1)
        bcall(_PushRealO1)
        ld hl, zName
        rst 20h
        bcall(_StoOther)
        ld a, 7
        bcall(_SetXXOP1)
        bcall(_PushRealO1)
        ld hl, zName
        rst 20h
        bcall(_StoOther)
        bcall(_OP1Set0)
        ld hl, zName
        rst 20h
        bcall(_RclVarSym)
        ret
zName:  db 0, 'Z', 0, 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(op1(*s), QByteArray("00 80 70 00 00 00 00 00 00"));
        QCOMPARE(s->machine().readWord(ram::fps), s->machine().readWord(ram::fpBase));
        const auto empty = runAsm(" ld hl, 8000h\n rst 20h\n bcall(_StoOther)\n ret");
        QCOMPARE(QString::fromStdString(empty->stopped()->reason),
                 QString("the program stored from the empty floating-point stack (_StoOther "
                         "at 9D99h)"));
    }

    // 12345678h / 1000 as the boot code's division leaves it, big-endian.
    void thirtyTwoBitsByDE() {
        const auto s = runAsm(R"(
        ld hl, 3412h
        ld (OP1), hl
        ld hl, 7856h
        ld (OP1+2), hl
        ld de, 1000
        bcall(_Div32By16)
        ret)");
        QCOMPARE(op1(*s).left(11), QByteArray("00 04 a9 0b"));
        QByteArray rest;
        for (int i = 0; i < 4; ++i)
            rest += char(at(*s, std::uint16_t(ram::op(2) + i)));
        QCOMPARE(rest.toHex(' '), QByteArray("00 00 03 80"));
    }

    void wholeNumbers() {
        const auto s = runAsm(R"(
        ld hl, 1234
        bcall(_DivHLBy10)
        ld (9000h), hl
        ld (9002h), a
        ld hl, 5
        ld de, 7
        bcall(_CpHLDE)
        push af
        pop hl
        ld a, l
        ld (9003h), a
        ret)");
        QCOMPARE(s->machine().readWord(0x9000), std::uint16_t(123));
        QCOMPARE(at(*s, 0x9002), std::uint8_t(4));
        QCOMPARE(at(*s, 0x9003) & 0x41, 0x01); // carry: HL below DE, not zero
    }

    // 7 / 2 in OP1, pushed and popped through the floating-point stack,
    // formatted and shown; dividing by zero is the calculator's error.
    void decimalFloatingPoint() {
        const auto s = runAsm(R"(
        ld a, 7
        bcall(_SetXXOP1)
        ld a, 2
        bcall(_SetXXOP2)
        bcall(_FPDiv)
        bcall(_PushRealO1)
        bcall(_OP1Set0)
        bcall(_PopRealO1)
        bcall(_OP1ToOP2)
        bcall(_FPMult)
        bcall(_HomeUp)
        ld a, 10
        bcall(_DispOP1A)
        ret)");
        QCOMPARE(op1(*s), QByteArray("00 81 12 25 00 00 00 00 00"));
        QCOMPARE(screenText(*s), lines({"12.25", "            Done"}));
        const auto zero = runAsm(R"(
        bcall(_OP1Set1)
        bcall(_OP2Set0)
        bcall(_FPDiv)
        ret)");
        QCOMPARE(QString::fromStdString(zero->stopped()->reason),
                 QString("the calculator stops the program with ERR:DIVIDE BY 0 in _FPDiv, "
                         "called at 9D9Bh"));
    }

    // The small constants, the zero tests on OP1 and OP2 (Z set for zero),
    // and the 9-byte move, which leaves the 10th byte alone.
    void constantsZeroTestsAndMoves() {
        const auto s = runAsm(R"(
        bcall(_OP2Set0)
        bcall(_OP1Set1)
        or 1                    ; Z reset: the call must set it
        bcall(_CkOP2FP0)
        push af
        pop hl
        ld (9000h), hl
        xor a                   ; Z set: the call must reset it
        bcall(_CkOP1FP0)
        push af
        pop hl
        ld (9002h), hl
        ld hl, 9010h
        ld (hl), 77h
        ld de, 9010h+1
        ld bc, 9
        ldir
        ld hl, src
        ld de, 9010h
        bcall(_Mov9B)
        ret
src:    db 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12)");
        QCOMPARE(op1(*s), QByteArray("00 80 10 00 00 00 00 00 00"));
        QCOMPARE(at(*s, 0x9000) & 0x40, 0x40); // OP2 is zero
        QCOMPARE(at(*s, 0x9002) & 0x40, 0);    // OP1 is not
        QCOMPARE(at(*s, 0x9010 + 8), std::uint8_t(9));
        QCOMPARE(at(*s, 0x9010 + 9), std::uint8_t(0x77));
    }

    // rand after a reset is .9435974025, and RandSeed 100 gives .556077 then
    // .590054 (TI-Basic Developer, the rand and RandSeed pages: L'Ecuyer's
    // generator with the seeds 12345 and 67890); _RandInit starts over.
    void randomNumbersAreTheCalculatorsOwn() {
        const auto s = runAsm(R"(
        bcall(_Random)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_Random)
        bcall(_RandInit)
        bcall(_Random)
        ld de, 9010h
        bcall(_MovFrOP1)
        ld hl, hundred          ; RandSeed 100: seed1 = 40014 * 100, seed2 = 100
        ld de, 9640h
        bcall(_Mov9B)
        ld hl, hundred + 9
        ld de, 9649h
        bcall(_Mov9B)
        bcall(_Random)
        ld de, 9020h
        bcall(_MovFrOP1)
        bcall(_Random)
        ret
hundred: db 0, 86h, 40h, 01h, 40h, 0, 0, 0, 0
        db 0, 82h, 10h, 0, 0, 0, 0, 0, 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        const auto shown = [&s](std::uint16_t from, int width) {
            TiFloat v;
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = at(*s, std::uint16_t(from + i));
            return QString::fromStdString(formatReal(v, width));
        };
        QCOMPARE(shown(0x9000, 11), QString(".9435974025"));
        QCOMPARE(shown(0x9010, 11), QString(".9435974025"));
        QCOMPARE(shown(0x9020, 7), QString(".556077"));
        QCOMPARE(shown(ram::op1, 7), QString(".590054"));
    }

    // Logarithms and powers (TI's System Routines: _LnX, _LogX, _EToX and
    // _TenX take OP1, _YToX OP1 to the power OP2, and leave the result in OP1, rounded to the 14
    // digits the calculator keeps): ln 2 = .69314718055995, e^1 = 2.7182818284590, log 1000 is
    // exactly 3, 10^-2.5 = 3.1622776601684E-3. ln of 0 is the calculator's domain error, e^231
    // (past 9.9999999999999E99) an overflow.
    void logarithmsAndPowersAsTheCalculatorRoundsThem() {
        const auto s = runAsm(R"(
        bcall(_OP1Set2)
        bcall(_LnX)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_EToX)
        ld de, 9010h
        bcall(_MovFrOP1)
        ld hl, thousand
        bcall(_Mov9ToOP1)
        bcall(_LogX)
        ld de, 9020h
        bcall(_MovFrOP1)
        ld hl, minus25
        bcall(_Mov9ToOP1)
        bcall(_TenX)
        ld de, 9030h
        bcall(_MovFrOP1)
        ld a, 2
        bcall(_SetXXOP1)
        ld a, 10
        bcall(_SetXXOP2)
        bcall(_YToX)
        ld de, 9040h
        bcall(_MovFrOP1)
        ret
thousand: db 0, 83h, 10h, 0, 0, 0, 0, 0, 0
minus25: db 80h, 80h, 25h, 0, 0, 0, 0, 0, 0)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        const auto stored = [&s](std::uint16_t from) { return realAt(*s, from); };
        QCOMPARE(stored(0x9000), QByteArray("00 7f 69 31 47 18 05 59 95"));
        QCOMPARE(stored(0x9010), QByteArray("00 80 27 18 28 18 28 45 90"));
        QCOMPARE(stored(0x9020), QByteArray("00 80 30 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9030), QByteArray("00 7d 31 62 27 76 60 16 84"));
        QCOMPARE(stored(0x9040), QByteArray("00 83 10 24 00 00 00 00 00")); // 2^10
        const auto lnZero = runAsm(R"(
        bcall(_OP1Set0)
        bcall(_LnX)
        ret)");
        QVERIFY(QString::fromStdString(lnZero->stopped()->reason)
                    .startsWith("the calculator stops the program with ERR:DOMAIN in _LnX"));
        // In Real mode the logarithm of a negative number is complex: NONREAL ANS.
        const auto lnNegative = runAsm(R"(
        bcall(_OP1Set1)
        bcall(_InvOP1S)
        bcall(_LogX)
        ret)");
        QVERIFY2(QString::fromStdString(lnNegative->stopped()->reason)
                     .startsWith("the calculator stops the program with ERR:NONREAL ANS in _LogX"),
                 lnNegative->stopped()->reason.c_str());
        const auto tooBig = runAsm(R"(
        ld hl, 231
        bcall(_SetXXXXOP2)
        bcall(_OP2ToOP1)
        bcall(_EToX)
        ret)");
        QVERIFY(QString::fromStdString(tooBig->stopped()->reason)
                    .startsWith("the calculator stops the program with ERR:OVERFLOW in _EToX"));
    }

    // The trigonometric calls take and give angles in the OS's mode: trigDeg
    // (bit 2 of IY+0, TI's include: trigFlags 0, trigDeg 2) set for degrees,
    // where sin 30 is .5 and atan 1 is 45; _SinCosRad works in radians
    // whatever the mode (OP1 = sin 30 = -.98803162409286, OP2 = cos 30 =
    // .15425144988758); in radians atan 1 is pi/4 = .78539816339745. tan 90
    // degrees is the calculator's domain error (TI's System Routines, _Tan).
    void trigonometryFollowsTheAngleMode() {
        const auto s = runAsm(R"(
        set 2, (iy+0)
        ld a, 30
        bcall(_SetXXOP1)
        bcall(_Sin)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_ATan)
        ld de, 9010h
        bcall(_MovFrOP1)
        ld a, 30
        bcall(_SetXXOP1)
        bcall(_SinCosRad)
        ld de, 9020h
        bcall(_MovFrOP1)
        bcall(_OP2ToOP1)
        ld de, 9030h
        bcall(_MovFrOP1)
        res 2, (iy+0)
        bcall(_OP1Set1)
        bcall(_ATan)
        ret)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        const auto stored = [&s](std::uint16_t from) { return realAt(*s, from); };
        QCOMPARE(stored(0x9000), QByteArray("00 7f 50 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9010), QByteArray("00 81 45 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9020), QByteArray("80 7f 98 80 31 62 40 92 86"));
        QCOMPARE(stored(0x9030), QByteArray("00 7f 15 42 51 44 98 87 58"));
        QCOMPARE(op1(*s), QByteArray("00 7f 78 53 98 16 33 97 45"));
        const auto right = runAsm(R"(
        set 2, (iy+0)
        ld a, 90
        bcall(_SetXXOP1)
        bcall(_Tan)
        ret)");
        QVERIFY2(QString::fromStdString(right->stopped()->reason)
                     .startsWith("the calculator stops the program with ERR:DOMAIN in _Tan"),
                 right->stopped()->reason.c_str());
        // A complex number (type 0Ch) is not taken for its real part.
        const auto complex = runAsm(R"(
        bcall(_OP1Set1)
        ld a, 0Ch
        ld (8478h), a
        bcall(_Cos)
        ret)");
        QVERIFY2(QString::fromStdString(complex->stopped()->reason)
                     .contains("_Cos at 9D9Dh with OP1 of type 0Ch (a complex number)"),
                 complex->stopped()->reason.c_str());
    }

    // The hyperbolic calls take no angle mode (TI-83 Plus guidebook; the
    // same results with trigDeg set): sinh 1 = 1.1752011936438, cosh 1 =
    // 1.5430806348152, tanh 1 = .76159415595576, asinh 1 = .88137358701954,
    // acosh 2 = 1.3169578969248, atanh .5 = .54930614433405.
    void hyperbolicCallsTakeNoAngleMode() {
        const auto s = runAsm(R"(
        set 2, (iy+0)
        bcall(_OP1Set1)
        bcall(_SinH)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_CosH)
        ld de, 9009h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_TanH)
        ld de, 9012h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_ASinH)
        ld de, 901Bh
        bcall(_MovFrOP1)
        bcall(_OP1Set2)
        bcall(_ACosH)
        ld de, 9024h
        bcall(_MovFrOP1)
        bcall(_OP1Set1)
        bcall(_TimesPt5)
        bcall(_ATanH)
        ld de, 902Dh
        bcall(_MovFrOP1)
        ret)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        QStringList got;
        for (int n = 0; n < 6; ++n) {
            QByteArray b;
            for (int i = 0; i < 9; ++i)
                b += char(at(*s, std::uint16_t(0x9000 + 9 * n + i)));
            got << b.toHex(' ');
        }
        QCOMPARE(got, QStringList({"00 80 11 75 20 11 93 64 38", "00 80 15 43 08 06 34 81 52",
                                   "00 7f 76 15 94 15 59 55 76", "00 7f 88 13 73 58 70 19 54",
                                   "00 80 13 16 95 78 96 92 48", "00 7f 54 93 06 14 43 34 05"}));
    }

    // _FormDisp shows OP1 as Disp does (TI's System Routines: the home
    // screen's own display of a result): right-justified on the cursor's row,
    // the cursor then at the start of the next, where the next text goes; on
    // the last row the screen scrolls up.
    void formDispShowsANumberAsDispDoes() {
        const auto s = runAsm(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld a, 7
        bcall(_SetXXOP1)
        ld a, 3
        bcall(_SetXXOP2)
        bcall(_FPDiv)
        bcall(_FormDisp)
        ld hl, 1234
        bcall(_SetXXXXOP2)
        bcall(_OP2ToOP1)
        bcall(_FormDisp)
        ld hl, text
        bcall(_PutS)
        ret
text:   db "AB", 0)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        QCOMPARE(screenText(*s),
                 lines({"     2.333333333", "            1234", "AB", "            Done"}));
        const auto last = runAsm(R"(
        bcall(_ClrLCDFull)
        ld hl, 1
        ld (curRow), hl         ; row 1, column 0
        ld a, 'X'
        bcall(_PutC)
        ld hl, 7
        ld (curRow), hl
        bcall(_OP1Set4)
        bcall(_FormDisp)
        ret)");
        QCOMPARE(screenText(*last),
                 lines({"X", "", "", "", "", "", "               4", "            Done"}));
    }

    // The helpers TI's System Routines lists beside the arithmetic, as Flash
    // applications use them: _InvSub is OP2 - OP1, _AbsO1PAbsO2 |OP1| + |OP2|,
    // _AbsO1O2Cp compares the sizes alone (flags as _CpOP1OP2), _CkOP1Cplx
    // sets Z for a complex number (type 0Ch), _PushOP5 and _PopOP5 keep OP5
    // on the floating-point stack, and _AnsName puts Ans's name (the token
    // tAns, 72h, of a real variable) in OP1.
    void theHelpersBesideTheArithmetic() {
        const auto s = runAsm(R"(
        ld a, 7
        bcall(_SetXXOP1)
        ld a, 2
        bcall(_SetXXOP2)
        bcall(_InvSub)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_AbsO1PAbsO2)
        bcall(_InvOP1S)
        ld de, 9010h
        bcall(_MovFrOP1)
        bcall(_AbsO1O2Cp)
        push af
        pop hl
        ld (9020h), hl
        bcall(_OP1ExOP2)
        bcall(_AbsO1O2Cp)
        push af
        pop hl
        ld (9022h), hl
        bcall(_OP2ToOP1)
        bcall(_OP1ToOP5)
        bcall(_PushOP5)
        bcall(_OP5Set0)
        bcall(_PopOP5)
        bcall(_OP5ToOP1)
        ld de, 9030h
        bcall(_MovFrOP1)
        bcall(_AnsName)
        ld de, 9040h
        bcall(_MovFrOP1)
        ld a, 0Ch
        ld (8478h), a
        bcall(_CkOP1Cplx)
        push af
        pop hl
        ld (9024h), hl
        ld a, 0
        ld (8478h), a
        bcall(_CkOP1Cplx)
        push af
        pop hl
        ld (9026h), hl
        ret)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        const auto stored = [&s](std::uint16_t from) { return realAt(*s, from); };
        QCOMPARE(stored(0x9000), QByteArray("80 80 50 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9010), QByteArray("80 80 70 00 00 00 00 00 00"));
        QCOMPARE(at(*s, 0x9020) & 0x41, 0);    // |-7| above |2|: neither Z nor C
        QCOMPARE(at(*s, 0x9022) & 0x41, 0x01); // |2| below |-7|: C
        QCOMPARE(stored(0x9030), QByteArray("80 80 70 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9040).left(8), QByteArray("00 72 00"));
        QCOMPARE(at(*s, 0x9024) & 0x40, 0x40);
        QCOMPARE(at(*s, 0x9026) & 0x40, 0);
    }

    // The floating-point stack read and written in place (TI's System
    // Routines: FPST is the top entry, FPS1 the one below it...): with 1, 2, 3
    // pushed, _CpyTo1FPST gives 3 and _CpyTo2FPS2 gives 1, both left there;
    // _CpyO1ToFPS1 puts OP1 over the 2; _DeallocFPS1 drops HL entries, after
    // which _PopRealO6 takes what was FPS1. Asking for an entry the stack does
    // not hold stops the run. _Min, _Max and _ClrOP1S (the sign bit cleared)
    // work on OP1 and OP2.
    void theFloatingPointStackIsReadInPlace() {
        const auto s = runAsm(R"(
        bcall(_OP1Set1)
        bcall(_PushRealO1)
        bcall(_OP1Set2)
        bcall(_PushRealO1)
        bcall(_OP1Set3)
        bcall(_PushRealO1)
        bcall(_OP1Set0)
        bcall(_CpyTo1FPST)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_CpyTo2FPS2)
        bcall(_OP2ToOP1)
        ld de, 9009h
        bcall(_MovFrOP1)
        bcall(_OP1Set4)
        bcall(_CpyO1ToFPS1)
        ld hl, 1
        bcall(_DeallocFPS1)
        bcall(_PopRealO6)
        bcall(_OP6ToOP5)
        bcall(_OP5ToOP1)
        ld de, 9012h
        bcall(_MovFrOP1)
        bcall(_InvOP1S)
        bcall(_OP2Set3)
        bcall(_Min)
        ld de, 901Bh
        bcall(_MovFrOP1)
        bcall(_Max)
        ld de, 9024h
        bcall(_MovFrOP1)
        bcall(_OP1Set4)
        bcall(_InvOP1S)
        bcall(_ClrOP1S)
        ld de, 902Dh
        bcall(_MovFrOP1)
        bcall(_CpyTo1FPS1)
        ret)");
        const auto stored = [&s](std::uint16_t from) { return realAt(*s, from); };
        QCOMPARE(stored(0x9000), QByteArray("00 80 30 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9009), QByteArray("00 80 10 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9012), QByteArray("00 80 40 00 00 00 00 00 00"));
        QCOMPARE(stored(0x901B), QByteArray("80 80 40 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9024), QByteArray("00 80 30 00 00 00 00 00 00"));
        QCOMPARE(stored(0x902D), QByteArray("00 80 40 00 00 00 00 00 00"));
        QVERIFY2(QString::fromStdString(s->stopped()->reason)
                     .endsWith("for entry 1 below the top of the floating-point stack, which "
                               "holds 1 entry"),
                 s->stopped()->reason.c_str());
    }

    // A complex list made with _CreateCList (TI's System Routines: OP1 = the
    // name, HL = the count; 18 bytes an element, the real part then the
    // imaginary, each with type 0Ch) takes 3 + 4i as element 2 with _PutToL
    // and gives it back to OP1 and OP2 with _GetLToOP1 (HL = the element from
    // 1, DE = the list's count word); asking past its end stops the run.
    // _HTimesL multiplies H by L.
    void listElementsAreStoredAndRecalled() {
        const auto s = runAsm(R"(
        bcall(_MemChk)
        ld (9040h), hl
        ld hl, name
        bcall(_Mov9ToOP1)
        ld hl, 2
        bcall(_CreateCList)
        ld (9000h), de
        bcall(_MemChk)
        ld (9042h), hl
        ld hl, three
        bcall(_Mov9ToOP1)
        ld hl, four
        bcall(_Mov9ToOP2)
        ld de, (9000h)
        ld hl, 2
        bcall(_PutToL)
        bcall(_OP1Set0)
        bcall(_OP2Set0)
        ld de, (9000h)
        ld hl, 2
        bcall(_GetLToOP1)
        ld de, 9010h
        bcall(_MovFrOP1)
        bcall(_OP2ToOP1)
        ld de, 9020h
        bcall(_MovFrOP1)
        ld hl, 0C03h
        bcall(_HTimesL)
        ld (9030h), hl
        ld de, (9000h)
        ld hl, 3
        bcall(_GetLToOP1)
        ret
name:   db 0Dh, 5Dh, 01h, 0
three:  db 0Ch, 80h, 30h, 0, 0, 0, 0, 0, 0
four:   db 0Ch, 80h, 40h, 0, 0, 0, 0, 0, 0)");
        const auto stored = [&s](std::uint16_t from) { return realAt(*s, from); };
        const auto word = [&s](std::uint16_t a) {
            return at(*s, a) | at(*s, std::uint16_t(a + 1)) << 8;
        };
        const std::uint16_t list = std::uint16_t(word(0x9000));
        QCOMPARE(word(list), 2);
        QCOMPARE(word(0x9040) - word(0x9042), 2 + 2 * 18);
        QCOMPARE(stored(std::uint16_t(list + 2 + 18)), QByteArray("0c 80 30 00 00 00 00 00 00"));
        QCOMPARE(stored(std::uint16_t(list + 2 + 27)), QByteArray("0c 80 40 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9010), QByteArray("0c 80 30 00 00 00 00 00 00"));
        QCOMPARE(stored(0x9020), QByteArray("0c 80 40 00 00 00 00 00 00"));
        QCOMPARE(word(0x9030), 36);
        const QString stop = QString::fromStdString(s->stopped()->reason);
        QVERIFY2(stop.contains("_GetLToOP1 at 9D") && stop.contains("for element 3 of a list of 2"),
                 qPrintable(stop));
    }

    // A list made with _CreateRList (TI's System Routines: OP1 = the name,
    // HL = the element count; DE points to the count word, the 9-byte
    // elements follow) is found again and deleted whole, giving back 2 + 9n
    // bytes. _AllocFPS1 adds HL 9-byte entries to the floating-point stack
    // (FPS moves by 9 * HL), which _PopRealO1 then takes back.
    void aListIsCreatedAndTheFloatingPointStackGrown() {
        const auto s = runAsm(R"(
        bcall(_MemChk)
        ld (9000h), hl
        ld hl, name
        bcall(_Mov9ToOP1)
        ld hl, 3
        bcall(_CreateRList)
        ld (9002h), de
        ex de, hl
        ld a, (hl)
        ld (9004h), a
        ld hl, name
        bcall(_Mov9ToOP1)
        bcall(_ChkFindSym)
        ld (9006h), de
        bcall(_DelVar)
        bcall(_MemChk)
        ld (9008h), hl
        ld hl, (9824h)          ; FPS
        ld (900Ah), hl
        ld hl, 2
        bcall(_AllocFPS1)
        ld hl, (9824h)          ; FPS
        ld (900Ch), hl
        bcall(_PopRealO1)
        ret
name:   db 01h, 5Dh, 00h, 0, 0, 0, 0, 0, 0 ; L1)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        const Machine &m = s->machine();
        QCOMPARE(at(*s, 0x9004), std::uint8_t(3));
        QCOMPARE(m.readWord(0x9006), m.readWord(0x9002));
        QCOMPARE(m.readWord(0x9008), m.readWord(0x9000));
        QCOMPARE(m.readWord(0x900C) - m.readWord(0x900A), 18);
        const auto huge = runAsm(R"(
        ld hl, 7000
        bcall(_AllocFPS1)
        ret)");
        QVERIFY(QString::fromStdString(huge->stopped()->reason).contains("hardware stack"));
    }

    // The keypad's yellow and green labels (TI's key equates): 2ND+. is i,
    // ALPHA+3 is theta, 2ND+7 is u; 2ND ALPHA locks letters on; ON gives 0 and
    // sets onInterrupt; 2ND with an arrow sets the contrast and gives nothing.
    void getKeyHasTheWholeKeypad_data() {
        QTest::addColumn<std::vector<int>>("keys");
        QTest::addColumn<QByteArray>("codes");
        QTest::newRow("2ND .") << std::vector<int>{sk::Second, sk::DecPnt, sk::Clear}
                               << QByteArray::fromHex("ee09");
        QTest::newRow("ALPHA 3") << std::vector<int>{sk::Alpha, sk::Three, sk::Three}
                                 << QByteArray::fromHex("cc91");
        QTest::newRow("2ND 7, 2ND VARS")
            << std::vector<int>{sk::Second, sk::Seven, sk::Second, sk::Vars}
            << QByteArray::fromHex("f938");
        QTest::newRow("2ND SIN, 2ND (")
            << std::vector<int>{sk::Second, sk::Sin, sk::Second, sk::LParen}
            << QByteArray::fromHex("b8ec");
        QTest::newRow("alpha lock") << std::vector<int>{sk::Second, sk::Alpha, sk::Math, sk::Apps}
                                    << QByteArray::fromHex("9a9b");
        QTest::newRow("ALPHA once")
            << std::vector<int>{sk::Alpha, sk::Math, sk::Math} << QByteArray::fromHex("9a32");
        QTest::newRow("ON") << std::vector<int>{sk::On, sk::Enter} << QByteArray::fromHex("0005");
        QTest::newRow("contrast") << std::vector<int>{sk::Second, sk::Up, sk::Enter, sk::Enter}
                                  << QByteArray::fromHex("0505");
    }
    void getKeyHasTheWholeKeypad() {
        QFETCH(std::vector<int>, keys);
        QFETCH(QByteArray, codes);
        const auto s = runAsm(R"(
        ld a, (8447h)
        ld (9010h), a
        res 4, (iy+9)           ; onInterrupt
        bcall(_GetKey)
        ld (9000h), a
        bcall(_GetKey)
        ld (9001h), a
        ret)",
                              keys);
        QVERIFY(s->stopped() && s->stopped()->returned);
        QByteArray got;
        got += char(at(*s, 0x9000));
        got += char(at(*s, 0x9001));
        QCOMPARE(got.toHex(), codes.toHex());
        const bool on = keys.front() == sk::On, contrast = keys[1] == sk::Up;
        QCOMPARE(bool(at(*s, 0x89F0 + 9) & 0x10), on);
        QCOMPARE(int(at(*s, 0x8447)) - int(at(*s, 0x9010)), contrast ? 1 : 0);
    }

    // The OS starts a program from the home screen with the text window the
    // whole screen: winTop 0, winBtm 8 (TI's include: winTop 97A5h, winBtm 97A6h).
    void theOsStartsAProgramWithItsSystemVariables() {
        const auto s = runAsm("ret");
        QCOMPARE(at(*s, ram::winTop), std::uint8_t(0));
        QCOMPARE(at(*s, ram::winBtm), std::uint8_t(8));
        QCOMPARE(at(*s, ram::winLeft), std::uint8_t(0));
    }

    // Every call the runner answers is described for the editor's hover:
    // what it does, and the registers it destroys.
    void everyAnsweredCallIsDescribed() {
        const std::vector<std::string> answered = Os().answeredCalls();
        QVERIFY(answered.size() > 150);
        for (const std::string &name : answered) {
            const RomCallDoc *doc = romCallDoc(name);
            QVERIFY2(doc, name.c_str());
            QVERIFY2(!doc->what.empty() && !doc->destroys.empty(), name.c_str());
        }
        QCOMPARE(romCallDoc("_putS")->name, std::string("_PutS"));
        QCOMPARE(describe(*romCallDoc("_OP2Set5")),
                 std::string("OP2 = the real number 5.\nIn: nothing\nOut: OP2\nDestroys: AF, HL"));
        QVERIFY(!romCallDoc("_NoSuchCall"));
    }

    // Calls public programs stopped at: Ans kept and recalled, the string a key
    // types (at keyForStr, 9D76h in TI's include), the boot code's version,
    // the display's wait reached by `call 000Bh`, a string copy, int( (the
    // greatest whole number not above); a result past 1E99 is an overflow.
    void theCallsPublicProgramsMake() {
        const auto s = runAsm(R"(
        ld a, 5
        bcall(_SetXXOP1)
        bcall(_StoAns)
        bcall(_OP1Set0)
        bcall(_RclAns)
        ld de, 9000h
        bcall(_MovFrOP1)
        ld a, 0CCh              ; kTheta
        bcall(_KeyToString)
        ld (9010h), hl
        ld b, 7
        bcall(_GetBaseVer)
        ld (9012h), a
        ld a, b
        ld (9013h), a
        call 000Bh              ; LCD_BUSY_QUICK
        ld hl, text
        ld de, 9020h
        bcall(_StrCopy)
        ld hl, minus
        bcall(_Mov9ToOP1)
        bcall(_Int)
        ld de, 9030h
        bcall(_MovFrOP1)
        ret
minus:  db 80h, 80h, 25h, 0, 0, 0, 0, 0, 0 ; -2.5
text:   db "ABC", 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        QByteArray five;
        for (int i = 0; i < 9; ++i)
            five += char(at(*s, std::uint16_t(0x9000 + i)));
        QCOMPARE(five.toHex(' '), QByteArray("00 80 50 00 00 00 00 00 00"));
        QCOMPARE(s->machine().readWord(0x9010), std::uint16_t(0x9D76));
        QCOMPARE(at(*s, 0x9D76), std::uint8_t(1));
        QCOMPARE(at(*s, 0x9D77), std::uint8_t(0x5B)); // theta in the calculator's font
        QCOMPARE(at(*s, 0x9012), std::uint8_t(1));
        QCOMPARE(at(*s, 0x9013), std::uint8_t(0));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(at(*s, std::uint16_t(0x9020 + i)), std::uint8_t("ABC"[i]));
        QCOMPARE(at(*s, 0x9030), std::uint8_t(0x80)); // int(-2.5) = -3
        QCOMPARE(at(*s, 0x9032), std::uint8_t(0x30));
        const auto big = runAsm(R"(
        ld a, 0E5h              ; 1E101: past what the calculator holds
        ld (OP1 + 1), a
        ld a, 10h
        ld (OP1 + 2), a
        bcall(_CkValidNum)
        ret)");
        QCOMPARE(QString::fromStdString(big->stopped()->reason),
                 QString("the calculator stops the program with ERR:OVERFLOW in _CkValidNum, "
                         "called at 9D9Fh"));
    }

    // More calls the corpus's programs name (TI's System Routines guide):
    // _PushOP3 and _PopRealO4 move a number through the floating-point stack,
    // _CkOP1Pos says Z for a number that is not negative, _DelRes clears
    // statsValid (bit 6 of statFlags, IY+9), _DrawRectBorder turns on only a
    // rectangle's border (rows H to D, columns L to E).
    void moreCallsOfPublicPrograms() {
        const auto s = runAsm(R"(
        ld a, 7
        bcall(_SetXXOP1)
        bcall(_OP1ToOP3)
        bcall(_PushOP3)
        bcall(_OP1Set0)
        bcall(_PopRealO4)
        bcall(_OP4ToOP1)
        ld de, 9000h
        bcall(_MovFrOP1)
        bcall(_InvOP1S)
        bcall(_CkOP1Pos)
        push af
        pop hl
        ld a, l
        ld (9010h), a
        set 6, (iy+9)
        bcall(_DelRes)
        ld a, (iy+9)
        ld (9011h), a
        ld hl, 2*256+3
        ld de, 10*256+20
        bcall(_DrawRectBorder)
        ret)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        QCOMPARE(at(*s, 0x9000), std::uint8_t(0x00)); // 7: real, exponent 80h, 70h
        QCOMPARE(at(*s, 0x9001), std::uint8_t(0x80));
        QCOMPARE(at(*s, 0x9002), std::uint8_t(0x70));
        QCOMPARE(at(*s, 0x9010) & 0x40, 0); // -7: NZ
        QCOMPARE(at(*s, 0x9011) & 0x40, 0);
        const Lcd &lcd = s->machine().lcd();
        QVERIFY(lcd.memoryPixel(3, 2) && lcd.memoryPixel(20, 10) && lcd.memoryPixel(3, 10));
        QVERIFY(!lcd.memoryPixel(10, 5) && !lcd.memoryPixel(21, 10));
    }

    // A program for Ion, written against Ion's documented header (ion.inc:
    // lVectors = cmdshad + 80, the routines 3 bytes apart; libs.txt for what
    // each takes and gives) runs as Ion starts it: past its `ret`, carry clear.
    void anIonProgramUsesTheShellsLibrary() {
        Program program;
        program.name = "IONTEST";
        program.shell = "Ion";
        program.code = assemble(R"(
lVectors equ 966Eh + 80
ionVersion equ lVectors
ionRandom equ lVectors + 3
ionPutSprite equ lVectors + 6
ionLargeSprite equ lVectors + 9
ionGetPixel equ lVectors + 12
ionFastCopy equ lVectors + 15
ionDetect equ lVectors + 18
ionDecompress equ lVectors + 21
        ret
        jr nc, start
        db "Ion test", 0
start:  ld b, 8
        ld a, 10
        ld l, 5
        ld ix, square
        call ionPutSprite
        ld (9030h), ix
        ld b, 2
        ld c, 2
        ld a, 40
        ld l, 20
        ld ix, wide
        call ionLargeSprite
        call ionFastCopy
        ld a, 10
        ld e, 5
        call ionGetPixel
        and (hl)
        ld (9000h), a
        ld b, 6
        call ionRandom
        ld (9001h), a
        ld hl, packed
        ld de, 9010h
        ld bc, 4*256+3
        call ionDecompress
        call ionVersion
        ld (9020h), hl
        ret
square: db 0FFh, 81h, 81h, 81h, 81h, 81h, 81h, 0FFh
wide:   db 0F0h, 0Fh, 0AAh, 55h
packed: db 1Bh)");
        Session s(program);
        s.runUntil(60000000);
        QVERIFY(s.stopped() && s.stopped()->returned);
        const Lcd &lcd = s.machine().lcd();
        QVERIFY(lcd.pixel(10, 5) && lcd.pixel(17, 12) && !lcd.pixel(11, 6) && !lcd.pixel(9, 5));
        // Its 8 rows of 8 pixels and no more: the bytes after it are not drawn,
        // below it or to its right.
        QVERIFY(!lcd.pixel(10, 13) && !lcd.pixel(18, 6));
        QVERIFY(lcd.pixel(40, 20) && !lcd.pixel(44, 20) && lcd.pixel(52, 20) && lcd.pixel(49, 21) &&
                !lcd.pixel(48, 21));
        QVERIFY(!screenText(s).contains("Done"));    // back in Ion: no "Done"
        QCOMPARE(at(s, 0x9000), std::uint8_t(0x20)); // the pixel's mask, set
        QVERIFY(at(s, 0x9001) < 6);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(at(s, std::uint16_t(0x9010 + i)), std::uint8_t(i));
        QCOMPARE(s.machine().readWord(0x9020), std::uint16_t(0x0106));
    }

    // A program for MirageOS (mirage.inc: the Ion routines from 4083h, its own
    // from 409Bh) starts after its icon and description, and quittoshell ends
    // it; a routine this runner lacks is named by its address.
    void aMirageOsProgramUsesTheShellsRoutines() {
        Program program;
        program.name = "MIRTEST";
        program.shell = "MirageOS";
        program.code = assemble(R"(
isprite equ 4089h
ifastcopy equ 4092h
multhe equ 40B3h
quittoshell equ 40B9h
cphlde equ 4101h
        ret
        db 1
        ds 30, 0FFh
        db "Mirage test", 0
        ld h, 12
        ld e, 11
        call multhe
        ld (9000h), hl
        ld de, 200
        call cphlde
        push af
        pop hl
        ld a, l
        ld (9002h), a
        ld b, 1
        ld a, 0
        ld l, 0
        ld ix, dot
        call isprite
        call ifastcopy
        call quittoshell
        ld a, 1
        ld (9003h), a
        ret
dot:    db 80h)");
        Session s(program);
        s.runUntil(60000000);
        QVERIFY(s.stopped() && s.stopped()->returned);
        QCOMPARE(s.machine().readWord(0x9000), std::uint16_t(132));
        QCOMPARE(at(s, 0x9002) & 0x41, 0x01); // 132 < 200: carry, not zero
        QVERIFY(s.machine().lcd().pixel(0, 0));
        QCOMPARE(at(s, 0x9003), std::uint8_t(0)); // nothing after quittoshell
        program.code = assemble(R"(
        ret
        db 1
        ds 30, 0
        db 0
        call 4131h              ; runprog
        ret)");
        Session lacking(program);
        lacking.runUntil(6000000);
        QCOMPARE(QString::fromStdString(lacking.stopped()->reason),
                 QString("the program called MirageOS's routine runprog at 4131h from 9DB6h, one "
                         "this runner does not answer"));
    }

    // MirageOS's text and rectangles (its developer's guide): setvputs puts
    // the text at row D, column E; centertext centres it on row A;
    // filledrectangle fills from (H, L) to (D, E) in the graph buffer, black
    // for A = 1, and fastcopys shows the buffer.
    void mirageOsDrawsTextAndRectangles() {
        Program program;
        program.name = "MIRDRAW";
        program.shell = "MirageOS";
        program.code = assemble(R"(
setvputs equ 40A7h
fastcopys equ 40ADh
centertext equ 40E6h
filledrectangle equ 413Dh
        ret
        db 1
        ds 30, 0
        db 0
        ld hl, 10*256+20
        ld de, 13*256+22
        ld a, 1
        call filledrectangle
        call fastcopys
        ld hl, text
        ld de, 30*256+7
        call setvputs
        ld a, (penCol)
        ld (9000h), a
        ld hl, text
        ld a, 50
        call centertext
        ld a, (penCol)
        ld (9001h), a
        ret
text:   db "II", 0)");
        Session s(program);
        s.runUntil(60000000);
        const Lcd &lcd = s.machine().lcd();
        QVERIFY(lcd.pixel(10, 20) && lcd.pixel(13, 22) && !lcd.pixel(14, 22) && !lcd.pixel(10, 23));
        const int width = 2 * run::smallGlyph('I').width;
        QCOMPARE(int(at(s, 0x9000)), 7 + width);
        QCOMPARE(int(at(s, 0x9001)), (96 - width) / 2 + width);
        QVERIFY(s.stopped() && s.stopped()->returned);
    }

    // A program for Doors CS, written against its documented header (xor d,
    // ret, jr to the code, then the description's address, 07h 00h, the
    // icon's address and the ALE list's): it starts at its jr, reaches the
    // Ion and MirageOS routines at their addresses and VDispHL, and its
    // description and icon are read where the header points. A GUI routine stops the
    // run with its name.
    void aDoorsCsProgramRunsAsDoorsCsStartsIt() {
        const Bytes code = assemble(R"(
VDispHL equ 41E5h
ifastcopy equ 4092h
        xor d
        ret
        jr start
        dw description
        db 07h, 00h
        dw icon
        dw 0
start:  ld hl, 0
        ld (penCol), hl
        ld hl, 1234
        call VDispHL
        ld a, (penCol)
        ld (9000h), a
        call ifastcopy
        call 41E8h              ; Pause: till a key
        ld a, 1
        ld (9001h), a
        ret
description:
        db "DCS test", 0
icon:   db 0FFh, 0FFh
        ds 30, 81h)");
        // The .8xp file (TI's link guide): its header, one entry holding the
        // program's size word and bytes (BB 6D first), and the checksum.
        Bytes body = {0xBB, 0x6D};
        body.insert(body.end(), code.begin(), code.end());
        const std::size_t n = body.size() + 2;
        Bytes file = {'*', '*', 'T', 'I', '8', '3', 'F', '*', 0x1A, 0x0A, 0x00};
        file.resize(53, 0);
        const auto word = [&file](std::size_t v) {
            file.push_back(std::uint8_t(v)), file.push_back(std::uint8_t(v >> 8));
        };
        word(n + 17);
        word(0x0D);
        word(n);
        file.push_back(0x06);
        for (char c : std::string("DCSTEST\0", 8))
            file.push_back(std::uint8_t(c));
        word(0);
        word(n);
        word(body.size());
        file.insert(file.end(), body.begin(), body.end());
        unsigned sum = 0;
        for (std::size_t k = 55; k < file.size(); ++k)
            sum += file[k];
        word(sum & 0xFFFF);
        const run::Program program = run::readProgram(file);
        QCOMPARE(QString::fromStdString(program.shell), QString("Doors CS"));
        QCOMPARE(QString::fromStdString(program.description), QString("DCS test"));
        QCOMPARE(program.iconWidth, 16); // its 16x16 icon, a row a word
        QCOMPARE(program.icon.size(), std::size_t(16));
        QCOMPARE(program.icon[0], std::uint16_t(0xFFFF));
        QCOMPARE(program.icon[15], std::uint16_t(0x8181));
        Session waits(program);
        waits.machine().keypad().setScript({});
        waits.runUntil(60000000);
        QCOMPARE(at(waits, 0x9001), std::uint8_t(0)); // no key: Pause waits
        Session s(program);
        s.machine().keypad().setScript({run::sk::Enter});
        s.runUntil(60000000);
        QVERIFY2(s.stopped() && s.stopped()->returned,
                 s.stopped() ? s.stopped()->reason.c_str() : "still running");
        int width = 0;
        for (char c : std::string("1234"))
            width += run::smallGlyph(std::uint8_t(c)).width;
        QCOMPARE(int(at(s, 0x9000)), width);
        Program gui = program;
        gui.code = assemble(R"(
        xor d
        ret
        jr start
        dw 0
        db 07h, 00h
        dw 0
        dw 0
start:  call 4206h              ; GUIFindNext
        ret)");
        Session stops(gui);
        stops.runUntil(6000000);
        QCOMPARE(QString::fromStdString(stops.stopped()->reason),
                 QString("the program called Doors CS's GUI routine GUIFindNext at 4206h from "
                         "9DA1h, one this runner does not answer (of Doors CS's GUI, this runner "
                         "answers the stack, RenderGUI and GUIMouse)"));
    }

    // An arrow held down comes again, as the calculator repeats it; a held
    // letter key does not.
    void aHeldArrowRepeats() {
        Program program;
        program.name = "HOLD";
        program.code = assemble(R"(
        bcall(_GetKey)
        ld (9000h), a
        bcall(_GetKey)
        ld (9001h), a
        bcall(_GetKey)
        ld (9002h), a
        ret)");
        Session s(program);
        s.machine().keypad().press(sk::Up);
        s.runUntil(12000000);
        QVERIFY(s.stopped() && s.stopped()->returned);
        QCOMPARE(at(s, 0x9002), std::uint8_t(0x03)); // kUp, the third time
        Session held(program);
        held.machine().keypad().press(sk::Math);
        held.runUntil(12000000);
        QVERIFY(!held.stopped());
        QCOMPARE(at(held, 0x9000), std::uint8_t(0x32)); // kMath once, then waiting
    }
};

QTEST_GUILESS_MAIN(RunOsTest)
#include "run_os_test.moc"
