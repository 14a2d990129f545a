// The OS calls a program makes, each told by what it leaves on the screen
// and in RAM: the home screen's text and cursor, the small font at the pen,
// the graph buffer, the keys, whole numbers and the decimal floating point.

#include "run/font.h"
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

QByteArray op1(const Session &s) {
    QByteArray b;
    for (int i = 0; i < 9; ++i)
        b += char(at(s, std::uint16_t(ram::op1 + i)));
    return b.toHex(' ');
}

} // namespace

class RunOsTest : public QObject {
    Q_OBJECT
private slots:
    // Text wraps at the 16th column, scrolls at the last row, and the cursor
    // ends where the next character goes.
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
                 lines({"d more", " 1234", "", "", "", "", "              xy", "z!"}));
        QCOMPARE(at(*s, ram::curRow), std::uint8_t(7));
        QCOMPARE(at(*s, ram::curCol), std::uint8_t(1));
        QCOMPARE(at(*s, std::uint16_t(ram::textShadow + 16)), std::uint8_t(' '));
        QCOMPARE(at(*s, std::uint16_t(ram::textShadow + 17)), std::uint8_t('1'));
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
        QCOMPARE(screenText(*s), lines({"abcd"}));
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
        QCOMPARE(screenText(*s), lines({"abcI", "", "", "", "", "", "", "0123456789ABCDEF"}));
        QVERIFY(s->machine().lcd().pixel(18, 0)); // the inverse cell's blank corner is dark
        QCOMPARE(at(*s, ram::curCol), std::uint8_t(4));
    }

    // The small font goes where the pen is and moves it by the glyphs' widths;
    // with textWrite it draws into the graph buffer, which GrBufCpy shows.
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
        ret
text:   db "Hi", 0)");
        QCOMPARE(int(at(*direct, ram::penCol)), 10 + width);
        QVERIFY(ink(*direct) > 0);
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
            for (int x = 0; x < 96; ++x)
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
        bcall(_ChkFindSym)
        ld (9004h), de
        ld a, 42
        bcall(_SetXXOP1)
        bcall(_StoX)
        bcall(_OP1Set0)
        bcall(_RclX)
        ret
name:   db 15h, "SAVE", 0)");
        QCOMPARE(at(*s, 0x9000), std::uint8_t(1));
        QCOMPARE(s->machine().readWord(0x9004), s->machine().readWord(0x9002));
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
    // was before either.
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
        bcall(_ChkFindSym)
        ld (9004h), de
        ld a, (de)
        ld (9008h), a
        bcall(_DelVar)
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
        QCOMPARE(screenText(*s), lines({"12.25"}));
        const auto zero = runAsm(R"(
        bcall(_OP1Set1)
        bcall(_OP2Set0)
        bcall(_FPDiv)
        ret)");
        QCOMPARE(QString::fromStdString(zero->stopped()->reason),
                 QString("the calculator stops the program with ERR:DIVIDE BY 0 in _FPDiv, "
                         "called at 9D9Bh"));
    }
};

QTEST_GUILESS_MAIN(RunOsTest)
#include "run_os_test.moc"
