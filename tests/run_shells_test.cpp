// Programs written for the shells' libraries, against the addresses their
// documented headers give (mirage.inc for MirageOS, dcs7.inc for Doors CS),
// each told by what the routine leaves in the graph buffer, on the screen,
// in the registers or in the reason a run stops.

#include "run/font.h"

#include "run_programs.h"

using namespace run;

namespace {

// MirageOS's entry points as mirage.inc names them.
const char *const kMirageHeader = R"(
setpixel equ 40AAh
delayb equ 40B0h
fastline equ 40BCh
pixelonhl equ 40BFh
pixeloff equ 40C2h
pixeltest equ 40C8h
pixelxorhl equ 40CEh
fastlineb equ 40D4h
fastlinex equ 40DAh
pointonc equ 40DDh
putsprite8 equ 40ECh
vputsc equ 40F2h
vnewline equ 40F8h
disprle equ 40FEh
fastlined equ 4107h
compstrs equ 4119h
getinfo equ 411Fh
largespritehl equ 4197h
fastcopys equ 40ADh
        ret
        db 1
        ds 30, 0
        db 0
)";

std::unique_ptr<Session> runMirage(const QString &body, std::uint64_t cycles = 60000000) {
    Program program;
    program.name = "MIRTEST";
    program.shell = "MirageOS";
    program.code = assemble(kMirageHeader + body);
    auto s = std::make_unique<Session>(program);
    s->runUntil(cycles);
    return s;
}

// Doors CS's header with no description or icon, before a `start:` label.
const char *const kDoorsHeader = R"(
        xor d
        ret
        jr start
        dw 0
        db 07h, 00h
        dw 0
        dw 0
)";

bool buffer(const Session &s, int x, int y) {
    return s.machine().read(std::uint16_t(0x9340 + y * 12 + x / 8)) & (0x80 >> (x & 7));
}

std::uint8_t at(const Session &s, std::uint16_t a) {
    return s.machine().read(a);
}

} // namespace

class RunShellsTest : public QObject {
    Q_OBJECT
private slots:
    // setpixel takes x in A and y in E, pixelonhl x in H and y in L;
    // pixeloff clears, pixelxorhl inverts, pixeltest answers NZ for a pixel
    // that is on, and each keeps HL; pointonc leaves a pixel off the screen
    // alone.
    void mirageOsSetsTestsAndClearsPixels() {
        const auto s = runMirage(R"(
        ld hl, 1234h
        ld a, 5
        ld e, 7
        call setpixel
        ld (9000h), hl
        ld hl, 40*256+20
        call pixelonhl
        ld a, 41
        ld e, 20
        call setpixel
        ld a, 41
        ld e, 20
        call pixeloff
        ld hl, 60*256+30
        call pixelxorhl
        call pixelxorhl
        call pixelxorhl
        ld a, 5
        ld e, 7
        call pixeltest
        push af
        pop bc
        ld a, c
        ld (9002h), a
        ld a, 6
        ld e, 7
        call pixeltest
        push af
        pop bc
        ld a, c
        ld (9003h), a
        ld a, 100
        ld e, 63
        call pointonc
        ret)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        QCOMPARE(s->machine().readWord(0x9000), std::uint16_t(0x1234));
        QVERIFY(buffer(*s, 5, 7) && buffer(*s, 40, 20) && !buffer(*s, 41, 20));
        QVERIFY(buffer(*s, 60, 30));           // inverted three times
        QCOMPARE(at(*s, 0x9002) & 0x40, 0);    // on: NZ
        QCOMPARE(at(*s, 0x9003) & 0x40, 0x40); // off: Z
        // x = 100 on the last row would be the byte past the buffer's end.
        QCOMPARE(at(*s, std::uint16_t(0x9340 + 63 * 12 + 12)), std::uint8_t(0));
    }

    // A line from (H, L) to (D, E), both ends drawn: fastlineb black,
    // fastlinex inverted over it, fastlined dotted (every other pixel).
    void mirageOsDrawsLines() {
        const auto s = runMirage(R"(
        ld hl, 10*256+5
        ld de, 20*256+5
        call fastlineb
        ld hl, 15*256+5
        ld de, 15*256+5
        call fastlinex
        ld hl, 30*256+40
        ld de, 30*256+50
        call fastlined
        ld hl, 0*256+0
        ld de, 6*256+3
        ld a, 1
        call fastline
        ret)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        for (int x = 10; x <= 20; ++x)
            QCOMPARE(buffer(*s, x, 5), x != 15);
        QVERIFY(!buffer(*s, 9, 5) && !buffer(*s, 21, 5));
        int dots = 0;
        for (int y = 40; y <= 50; ++y)
            dots += buffer(*s, 30, y);
        QCOMPARE(dots, 6); // AAh: on, off, on... over 11 pixels
        QVERIFY(buffer(*s, 0, 0) && buffer(*s, 6, 3));
        int steep = 0;
        for (int x = 0; x <= 6; ++x)
            for (int y = 0; y <= 3; ++y)
                steep += buffer(*s, x, y);
        QCOMPARE(steep, 7); // one pixel for each step along the longer side
    }

    // vputsc writes to the screen and to the graph buffer; vnewline moves the
    // pen to the next line of the small font, and from the last one scrolls
    // the buffer up by a line instead.
    void mirageOsWritesTextToScreenAndBuffer() {
        const auto s = runMirage(R"(
        ld a, 56
        ld (penRow), a
        ld a, 1
        ld (penCol), a
        ld a, 0FFh
        ld (plotSScreen + 12 * 57), a
        call vnewline
        ld hl, (penCol)
        ld (9002h), hl
        ld hl, 20*256
        ld (penCol), hl
        ld hl, text
        call vputsc
        call vnewline
        ld hl, (penCol)
        ld (9000h), hl
        ret
text:   db "I", 0)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        const Glyph &glyph = smallGlyph('I');
        bool screenInk = false, bufferInk = false;
        for (int x = 0; x < glyph.width; ++x)
            for (int y = 20; y < 27; ++y) {
                screenInk = screenInk || s->machine().lcd().memoryPixel(x, y);
                bufferInk = bufferInk || buffer(*s, x, y);
            }
        QVERIFY(screenInk && bufferInk);
        QCOMPARE(s->machine().readWord(0x9000), std::uint16_t(27 << 8));       // column 0, row 27
        QCOMPARE(s->machine().readWord(0x9002), std::uint16_t(56 << 8));       // the row stays
        QCOMPARE(at(*s, std::uint16_t(0x9340 + 12 * 50)), std::uint8_t(0xFF)); // 7 rows up
        QCOMPARE(at(*s, std::uint16_t(0x9340 + 12 * 57)), std::uint8_t(0));
    }

    // delayb waits B of the calculator's interrupts.
    void mirageOsWaitsForInterrupts() {
        const auto s = runMirage(R"(
        ld b, 20
        call delayb
        ld a, b
        ld (9000h), a
        ret)");
        QVERIFY(s->stopped() && s->stopped()->returned);
        QVERIFY(s->machine().interruptsTaken() >= 19 && s->machine().interruptsTaken() <= 21);
        QCOMPARE(at(*s, 0x9000), std::uint8_t(0));
    }

    // disprle expands 91h, value, count runs to 768 bytes at DE; compstrs
    // says Z for equal strings and moves HL past the first for unequal ones;
    // largespritehl draws Ion's large sprite at x = H; putsprite8 eight rows.
    void mirageOsExpandsComparesAndDrawsSprites() {
        const auto s = runMirage(R"(
        ld hl, rle
        ld de, 9000h
        call disprle
        ld (8000h), de
        ld hl, one
        ld de, one2
        call compstrs
        push af
        pop bc
        ld a, c
        ld (8002h), a
        ld hl, one
        ld de, two
        call compstrs
        ld (8003h), hl
        ld hl, one2
        ld (8005h), hl
        ld hl, 16*256+2
        ld b, 2
        ld c, 2
        ld ix, big
        call largespritehl
        ld a, 40
        ld l, 50
        ld ix, eight
        call putsprite8
        ret
rle:    db 7, 91h, 5, 0, 91h, 0, 255, 91h, 6, 0, 91h, 9, 2
one:    db "AB", 0
one2:   db "AB", 0
two:    db "AC", 0
big:    db 0FFh, 0, 0, 0FFh
eight:  db 1, 1, 1, 1, 1, 1, 1, 1)");
        QVERIFY2(s->stopped() && s->stopped()->returned,
                 s->stopped() ? s->stopped()->reason.c_str() : "still running");
        QCOMPARE(at(*s, 0x9000), std::uint8_t(7));
        QCOMPARE(at(*s, 0x9001), std::uint8_t(5));
        QCOMPARE(at(*s, 0x9100), std::uint8_t(5)); // 256 fives, then 255 zeros
        QCOMPARE(at(*s, 0x9101), std::uint8_t(0));
        QCOMPARE(at(*s, 0x92FF), std::uint8_t(6)); // 768 in all
        QCOMPARE(s->machine().readWord(0x8000), std::uint16_t(0x9300));
        QCOMPARE(at(*s, 0x8002) & 0x40, 0x40);
        QCOMPARE(s->machine().readWord(0x8003), s->machine().readWord(0x8005)); // past "AB"
        QVERIFY(buffer(*s, 16, 2) && buffer(*s, 23, 2) && !buffer(*s, 24, 2) && buffer(*s, 31, 3));
        for (int y = 50; y < 58; ++y)
            QVERIFY(buffer(*s, 47, y));
    }

    // A Doors CS program that opens a window with a button and waits for a
    // click (its SDK's GUI API: OpenGUIStack, PushGUIStack with A the type,
    // HL the data and DE its length, GUIMouse with HL 0 for no hook): ENTER
    // at the mouse, which starts over the button, jumps to the button's
    // onclick as if the program had jumped to GUIMouse; CLEAR clicks the
    // window's [X]; a click beside the button does nothing. An item this
    // runner does not draw stops the run with its name.
    void aDoorsCsWindowWaitsForAClick() {
        Program program;
        program.name = "GUITEST";
        program.shell = "Doors CS";
        const QString body = R"(
OpenGUIStack equ 41EEh
CloseGUIStack equ 41F1h
PushGUIStack equ 41F4h
GUIMouse equ 4200h
ResetAppPage equ 4000h
)" + QString(kDoorsHeader) + R"(
start:  call OpenGUIStack
        ld hl, win
        ld de, 10
        ld a, 1                 ; GUIRLargeWin
        call PushGUIStack
        ld hl, button
        ld de, 7
        ld a, 7                 ; GUIRButtonText
        call PushGUIStack
        ld hl, buttons
        ld de, 7
        ld a, 5                 ; GUIRWinButtons
        call PushGUIStack
        ld hl, extra
        ld de, EXTRALEN
        ld a, EXTRATYPE
        call PushGUIStack
        ld hl, 0
        call GUIMouse
        ld a, 9
        ld (9000h), a
        ret
clicked:
        call ResetAppPage
        ld a, 1
        ld (9000h), a
        call CloseGUIStack
        ret
closed: call ResetAppPage
        ld a, 2
        ld (9000h), a
        call CloseGUIStack
        ret
win:    db 0F8h, 88h, 88h, 88h, 0F8h, "Demo", 0
button: db 40, 20
        dw clicked
        db "OK", 0
buttons:
        db 20h
        dw 0, 0, closed
extra:  db 0, 0, 10, 10, 0FFh, 0FFh, 0FFh, 0FFh, 0FFh, 0FFh)";
        const auto run = [&](std::vector<int> keys, const char *extra) {
            program.code = assemble(QString(body)
                                        .replace("EXTRALEN", extra[0] == '9' ? "9" : "6")
                                        .replace("EXTRATYPE", extra));
            auto s = std::make_unique<Session>(program);
            s->machine().keypad().setScript(std::move(keys));
            s->runUntil(60000000);
            return s;
        };
        const auto clicked = run({sk::Enter}, "0Eh"); // a GUIRHotspot in a corner
        QVERIFY2(clicked->stopped() && clicked->stopped()->returned,
                 clicked->stopped() ? clicked->stopped()->reason.c_str() : "still running");
        QCOMPARE(at(*clicked, 0x9000), std::uint8_t(1));
        const Lcd &lcd = clicked->machine().lcd();
        QVERIFY(lcd.memoryPixel(40, 0) && lcd.memoryPixel(95, 63) && !lcd.memoryPixel(50, 55));
        const auto closed = run({sk::Clear}, "0Eh");
        QVERIFY(closed->stopped() && closed->stopped()->returned);
        QCOMPARE(at(*closed, 0x9000), std::uint8_t(2));
        const auto beside = run({sk::Right, sk::Right, sk::Right, sk::Right, sk::Right, sk::Right,
                                 sk::Right, sk::Enter},
                                "0Eh");
        QVERIFY(beside->stopped() && !beside->stopped()->returned);
        QVERIFY2(QString::fromStdString(beside->stopped()->reason).contains("waits for a key"),
                 beside->stopped()->reason.c_str());
        QCOMPARE(at(*beside, 0x9000), std::uint8_t(0));
        const auto below = run({sk::Down, sk::Down, sk::Down, sk::Down, sk::Enter}, "0Eh");
        QVERIFY(below->stopped() && !below->stopped()->returned);
        QCOMPARE(at(*below, 0x9000), std::uint8_t(0));
        program.code = assemble(kDoorsHeader + QString(R"(
start:  call 41EEh              ; OpenGUIStack
        ld hl, 0
        ld de, 0FFFFh
        ld a, 4
        call 41F4h              ; PushGUIStack: 64 KB of text
        ret)"));
        Session huge(program);
        huge.runUntil(60000000);
        QVERIFY2(QString::fromStdString(huge.stopped()->reason)
                     .startsWith("Doors CS's GUI stack would outgrow the memory it has"),
                 huge.stopped()->reason.c_str());
        const auto lineIn = run({sk::Enter}, "9"); // a GUIRTextLineIn
        QVERIFY2(QString::fromStdString(lineIn->stopped()->reason)
                     .contains("Doors CS GUI holds GUIRTextLineIn"),
                 lineIn->stopped()->reason.c_str());
    }

    // A MirageOS routine of the header that this runner does not answer
    // stops the run with its name; a Doors CS GUI routine says it is one.
    void unansweredShellRoutinesAreNamed() {
        const auto s = runMirage(R"(
        call getinfo
        ret)");
        QVERIFY(s->stopped() && !s->stopped()->returned);
        QVERIFY2(QString::fromStdString(s->stopped()->reason)
                     .startsWith("the program called MirageOS's routine getinfo at 411Fh from "),
                 s->stopped()->reason.c_str());
        Program gui;
        gui.name = "GUI";
        gui.shell = "Doors CS";
        gui.code = assemble(kDoorsHeader + QString(R"(
start:  call 4203h              ; GUIFindFirst
        ret)"));
        Session stops(gui);
        stops.runUntil(6000000);
        QVERIFY2(QString::fromStdString(stops.stopped()->reason)
                     .startsWith("the program called Doors CS's GUI routine GUIFindFirst at 4203h"),
                 stops.stopped()->reason.c_str());
    }
};

QTEST_GUILESS_MAIN(RunShellsTest)
#include "run_shells_test.moc"
