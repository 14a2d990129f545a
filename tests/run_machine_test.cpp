// The runner's machine: the display controller driven through its ports as
// its documentation describes, the keypad matrix, the timer interrupt, and the
// places where a run stops and says why. Programs are hand-assembled bytes
// with their source beside them.

#include "run/session.h"

#include <QSignalSpy>
#include <QTest>

using Bytes = std::vector<std::uint8_t>;

namespace {

// Runs `code` at 9D95h with the keys held, for at most a second of calculator time.
std::unique_ptr<run::Session> runCode(const Bytes &code, std::vector<int> held = {}) {
    run::Program program;
    program.name = "TEST";
    program.code = code;
    auto session = std::make_unique<run::Session>(program);
    for (int key : held)
        session->machine().keypad().press(key);
    session->runUntil(6000000);
    return session;
}

QString lcdRow(const run::Lcd &lcd, int y, int width = 16) {
    QString bits;
    for (int x = 0; x < width; ++x)
        bits += lcd.pixel(x, y) ? '#' : '.';
    return bits;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes lcdCommand(std::uint8_t c) {
    return {0x3E, c, 0xD3, 0x10};
} // ld a,c \ out (10h),a
Bytes lcdData(std::uint8_t d) {
    return {0x3E, d, 0xD3, 0x11};
} // ld a,d \ out (11h),a
const Bytes kRet = {0xC9};

// A .8xp file holding `body` as a program named DEMO, with its checksum.
Bytes programBytes(const Bytes &body, std::uint8_t type = 0x06) {
    Bytes f = {'*', '*', 'T', 'I', '8', '3', 'F', '*', 0x1A, 0x0A, 0x00};
    f.resize(53, 0);
    const std::size_t n = body.size() + 2;
    for (std::uint8_t b : {std::uint8_t(n + 17), std::uint8_t((n + 17) >> 8), std::uint8_t(0x0D),
                           std::uint8_t(0), std::uint8_t(n), std::uint8_t(n >> 8), type})
        f.push_back(b);
    for (char c : std::string("DEMO\0\0\0\0", 8))
        f.push_back(std::uint8_t(c));
    for (std::uint8_t b : {std::uint8_t(0), std::uint8_t(0), std::uint8_t(n), std::uint8_t(n >> 8),
                           std::uint8_t(body.size()), std::uint8_t(body.size() >> 8)})
        f.push_back(b);
    f.insert(f.end(), body.begin(), body.end());
    unsigned sum = 0;
    for (std::size_t i = 55; i < f.size(); ++i)
        sum += f[i];
    f.push_back(std::uint8_t(sum)), f.push_back(std::uint8_t(sum >> 8));
    return f;
}
run::Program programFile(const Bytes &body) {
    return run::readProgram(programBytes(body));
}

} // namespace

class RunMachineTest : public QObject {
    Q_OBJECT
private slots:
    // 8-bit words going down a column, 6-bit words going right along a row.
    void aProgramDrawsThroughTheDisplayPorts() {
        const auto s =
            runCode(join({lcdCommand(0x01), lcdCommand(0x05), lcdCommand(0x80), lcdCommand(0x20),
                          lcdData(0xF0), lcdData(0xAA), lcdCommand(0x00), lcdCommand(0x07),
                          lcdCommand(0x84), lcdCommand(0x20), lcdData(0x3F), lcdData(0x21), kRet}));
        const run::Lcd &lcd = s->machine().lcd();
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(lcdRow(lcd, 0), QString("####............"));
        QCOMPARE(lcdRow(lcd, 1), QString("#.#.#.#........."));
        QCOMPARE(lcdRow(lcd, 4), QString("#######....#...."));
        QCOMPARE(lcd.row(), 4);
        QCOMPARE(lcd.column(), 2);
        QVERIFY(!lcd.wordIs8Bits());
    }

    // After setting an address the first read is a dummy; the next ones give
    // the words from that address on.
    void readingBackNeedsADummyReadFirst() {
        const auto s =
            runCode(join({lcdCommand(0x01),
                          lcdCommand(0x07),
                          lcdCommand(0x80),
                          lcdCommand(0x20),
                          lcdData(0x81),
                          lcdData(0x42),
                          lcdCommand(0x20),
                          // in a,(11h) \ in a,(11h) \ ld (9000h),a \ in a,(11h) \ ld (9001h),a
                          {0xDB, 0x11, 0xDB, 0x11, 0x32, 0x00, 0x90, 0xDB, 0x11, 0x32, 0x01, 0x90},
                          kRet}));
        QCOMPARE(s->machine().read(0x9000), std::uint8_t(0x81));
        QCOMPARE(s->machine().read(0x9001), std::uint8_t(0x42));
    }

    // The Z-address scrolls what is shown; switching the display off blanks it.
    void zAddressAndDisplayOff() {
        const Bytes draw = join({lcdCommand(0x01), lcdCommand(0x81), lcdCommand(0x20),
                                 lcdData(0xFF), lcdCommand(0x41)});
        const auto shown = runCode(join({draw, kRet}));
        QCOMPARE(lcdRow(shown->machine().lcd(), 0), QString("########........"));
        QCOMPARE(lcdRow(shown->machine().lcd(), 1), QString("................"));
        const auto off = runCode(join({draw, lcdCommand(0x02), kRet}));
        QCOMPARE(lcdRow(off->machine().lcd(), 0), QString("................"));
        QVERIFY(off->machine().lcd().memoryPixel(0, 1));
    }

    // Port 1: a 0 bit in the mask selects a group, a 0 bit read back is a key
    // held; two groups selected read as one.
    void theKeypadMatrixIsActiveLow() {
        // ld a,0FEh \ out (1),a \ in a,(1) \ ld (9000h),a \ ld a,0FCh \ out (1),a
        // in a,(1) \ ld (9001h),a \ ld a,0FBh \ out (1),a \ in a,(1) \ ld (9002h),a \ ret
        const Bytes scan = {0x3E, 0xFE, 0xD3, 0x01, 0xDB, 0x01, 0x32, 0x00, 0x90, 0x3E,
                            0xFC, 0xD3, 0x01, 0xDB, 0x01, 0x32, 0x01, 0x90, 0x3E, 0xFB,
                            0xD3, 0x01, 0xDB, 0x01, 0x32, 0x02, 0x90, 0xC9};
        const auto s = runCode(scan, {run::sk::Down, run::sk::Enter, run::sk::Three});
        QCOMPARE(s->machine().read(0x9000), std::uint8_t(0xFE));        // DOWN: group 0, bit 0
        QCOMPARE(s->machine().read(0x9001), std::uint8_t(0xFE & 0xFE)); // ENTER: group 1, bit 0
        QCOMPARE(s->machine().read(0x9002), std::uint8_t(0xFD));        // 3: group 2, bit 1
        const auto none = runCode(scan);
        QCOMPARE(none->machine().read(0x9001), std::uint8_t(0xFF));
    }

    // The OS's timer interrupt wakes a halt 118 times a second.
    void twoHaltsTakeTwoTimerTicks() {
        const auto s = runCode({0xFB, 0x76, 0x76, 0xC9}); // ei \ halt \ halt \ ret
        QVERIFY(s->stopped() && s->stopped()->returned);
        const double seconds = double(s->machine().cycles()) / run::Machine::kClockHz;
        QVERIFY2(seconds > 1.0 / 118 && seconds < 2.05 / 118, qPrintable(QString::number(seconds)));
    }

    // The second timer (port 3 bit 2) runs at 236 Hz at the OS's setting and
    // the first at 560 Hz at the fastest (WikiTI, 83Plus:Ports:04's table).
    void bothTimersWakeAHaltAtTheirRates_data() {
        QTest::addColumn<Bytes>("setup");
        QTest::addColumn<double>("hz");
        QTest::newRow("second timer alone")
            << Bytes{0x3E, 0x0C, 0xD3, 0x03} // ld a,0Ch \ out (3),a: timer 2, no timer 1
            << 236.0;
        QTest::newRow("first timer, fastest") << Bytes{0x3E, 0x00, 0xD3, 0x04} // ld a,0 \ out (4),a
                                              << 560.0;
    }
    void bothTimersWakeAHaltAtTheirRates() {
        QFETCH(Bytes, setup);
        QFETCH(double, hz);
        // ten halts, then the clock read back
        const auto s = runCode(join({setup, {0xFB, 0x06, 0x0A, 0x76, 0x10, 0xFD}, kRet}));
        QVERIFY(s->stopped() && s->stopped()->returned);
        const double seconds = double(s->machine().cycles()) / run::Machine::kClockHz;
        QVERIFY2(seconds > 9.0 / hz && seconds < 10.5 / hz, qPrintable(QString::number(seconds)));
    }

    // The display's status (WikiTI, 83Plus:Ports:10): bit 1 set when the
    // cursor moves along a row (column mode), bit 0 when it counts up.
    void theDisplaysStatusTellsItsCursorMode() {
        const auto s = runCode(join({lcdCommand(0x05),
                                     {0xDB, 0x10, 0x32, 0x00, 0x90}, // in a,(10h) \ ld (9000h),a
                                     lcdCommand(0x06),
                                     {0xDB, 0x10, 0x32, 0x01, 0x90},
                                     kRet}));
        QCOMPARE(s->machine().read(0x9000) & 0x03, 0x01); // rows, counting up
        QCOMPARE(s->machine().read(0x9001) & 0x03, 0x02); // columns, counting down
    }

    // On the TI-83 Plus, port 20h (the later models' speed port) is port 0 again
    // (WikiTI, 83Plus:Ports:20): "ask for 15 MHz" runs on, pulling a link line.
    void laterModelsPortsMirrorThisModelsOwn() {
        const auto s = runCode({0x3E, 0x01, 0xD3, 0x20,       // ld a,1 \ out (20h),a
                                0xDB, 0x00, 0x32, 0x00, 0x90, // in a,(0) \ ld (9000h),a
                                0xAF, 0xD3, 0x20,             // xor a \ out (20h),a
                                0xDB, 0x30, 0x32, 0x01, 0x90, // in a,(30h) \ ld (9001h),a
                                0xC9});
        QVERIFY(s->stopped() && s->stopped()->returned);
        QCOMPARE(s->machine().read(0x9000) & 0x03, 0x02); // the tip pulled low
        QCOMPARE(s->machine().read(0x9001) & 0x03, 0x03); // both lines high again
    }

    // A TI-84 Plus program (WikiTI, 83Plus:Ports:20, :30, :02, :21): it asks
    // for 15 MHz, counts four ticks of the 8 Hz crystal timer (47h) down on
    // port 32h, and reads the model ports and the OS's version. As a TI-84 Plus it runs half a
    // second at 15 MHz and sees port 2's bits 7 (not a TI-83 Plus) and 5 (USB)
    // and port 21h's model bits clear; as a TI-83 Plus, where 32h is only the
    // link port, it never ends and the run names the port it wanted.
    void aTi84PlusProgramRunsOnTheTi84PlusAndIsNamedOnTheTi83Plus() {
        const Bytes code = {0x3E, 0x01, 0xD3, 0x20,       // ld a,1 \ out (20h),a
                            0x3E, 0x47, 0xD3, 0x30,       // ld a,47h \ out (30h),a
                            0xAF, 0xD3, 0x31,             // xor a \ out (31h),a
                            0x3E, 0x04, 0xD3, 0x32,       // ld a,4 \ out (32h),a
                            0xDB, 0x32, 0xB7, 0x20, 0xFB, // wait: in a,(32h) \ or a \ jr nz,wait
                            0xDB, 0x20, 0x32, 0x00, 0x90, // in a,(20h) \ ld (9000h),a
                            0xDB, 0x02, 0x32, 0x01, 0x90, // in a,(2) \ ld (9001h),a
                            0xDB, 0x21, 0x32, 0x02, 0x90, // in a,(21h) \ ld (9002h),a
                            0xEF, 0x6F, 0x4C, 0x32, 0x03, 0x90, // bcall(_GetBaseVer) \ ld (9003h),a
                            0xC9};
        run::Program program;
        program.code = code;
        run::Session on84(program, {}, run::Model::Ti84Plus);
        on84.runUntil(30000000);
        QVERIFY(on84.stopped() && on84.stopped()->returned);
        const run::Machine &m = on84.machine();
        QCOMPARE(m.clockHz(), 15000000L);
        const double seconds = double(m.cycles()) / 15e6;
        QVERIFY2(seconds > 0.49 && seconds < 0.51, qPrintable(QString::number(seconds)));
        QVERIFY(std::abs(double(m.time6()) / 6e6 - seconds) < 0.001); // the same half second
        QCOMPARE(m.read(0x9000) & 3, 1);
        QCOMPARE(m.read(0x9001) & 0xA0, 0xA0);
        QCOMPARE(m.read(0x9002) & 3, 0);
        QCOMPARE(m.read(0x9003), 2); // an OS 2.xx, as the TI-84 Plus has

        run::Session on83(program);
        on83.runUntil(6000000);
        QVERIFY(!on83.stopped());
        QVERIFY2(on83.machine().hardwareNote().find("port 32h, the TI-84 Plus's crystal timer") !=
                     std::string::npos,
                 on83.machine().hardwareNote().c_str());
    }

    // The TI-84 Plus's clock (WikiTI, 83Plus:Ports:40 and :45) counts seconds
    // from the value loaded through 41h-44h when 40h's bit 1 goes to 1; a
    // crystal timer whose loop port asks for an interrupt (bit 1) wakes a
    // halt when its counter reaches 0, with the hardware timers off.
    void theTi84PlusClockAndACrystalTimersInterrupt() {
        const Bytes code = {0x3E, 0x10, 0xD3, 0x41,        // ld a,16 \ out (41h),a: from 16 s
                            0xAF, 0xD3, 0x42, 0xD3, 0x43,  // xor a \ out (42h),a \ out (43h),a
                            0xD3, 0x44,                    // out (44h),a
                            0x3E, 0x01, 0xD3, 0x40,        // ld a,1 \ out (40h),a
                            0x3E, 0x03, 0xD3, 0x40,        // ld a,3 \ out (40h),a: load
                            0x3E, 0x47, 0xD3, 0x30,        // ld a,47h \ out (30h),a: 8 Hz
                            0xAF, 0xD3, 0x31,              // xor a \ out (31h),a
                            0x3E, 0x10, 0xD3, 0x32,        // ld a,16 \ out (32h),a: 2 s
                            0xDB, 0x32, 0xB7, 0x20, 0xFB,  // wait: in a,(32h) \ or a \ jr nz,wait
                            0xDB, 0x45, 0x32, 0x00, 0x90,  // in a,(45h) \ ld (9000h),a
                            0xAF, 0xD3, 0x03,              // xor a \ out (3),a: no timers
                            0x3E, 0x46, 0xD3, 0x33,        // ld a,46h \ out (33h),a: 128 Hz
                            0x3E, 0x02, 0xD3, 0x34,        // ld a,2 \ out (34h),a: interrupt
                            0x3E, 0x01, 0xD3, 0x35,        // ld a,1 \ out (35h),a
                            0xFB, 0x76,                    // ei \ halt
                            0x3E, 0x0B, 0xD3, 0x03, 0xC9}; // ld a,0Bh \ out (3),a \ ret
        run::Program program;
        program.code = code;
        run::Session s(program, {}, run::Model::Ti84Plus);
        s.runUntil(30000000);
        QVERIFY2(s.stopped() && s.stopped()->returned,
                 s.stopped() ? s.stopped()->reason.c_str() : "still running");
        QCOMPARE(s.machine().read(0x9000), 18);
        const double after = double(s.machine().cycles()) / 6e6 - 2.0; // the halt's part
        QVERIFY2(after > 0.5 / 128 && after < 1.5 / 128, qPrintable(QString::number(after)));
    }

    // The TI-84 Plus's 128 KB of RAM: port 5 pages any of its eight pages in
    // at C000h (WikiTI, 83Plus:Ports:05); what one page holds the others,
    // and the page at 8000h, do not.
    void theTi84PlusPagesItsRamAtC000h() {
        const Bytes code = {0x3E, 0x03, 0xD3, 0x05,             // ld a,3 \ out (5),a
                            0x3E, 0x55, 0x32, 0x00, 0xC0,       // ld a,55h \ ld (0C000h),a
                            0xAF, 0xD3, 0x05,                   // xor a \ out (5),a
                            0x3A, 0x00, 0xC0, 0x32, 0x00, 0x90, // ld a,(0C000h) \ ld (9000h),a
                            0x3E, 0x03, 0xD3, 0x05,             // ld a,3 \ out (5),a
                            0x3A, 0x00, 0xC0, 0x32, 0x01, 0x90, // ld a,(0C000h) \ ld (9001h),a
                            0x3A, 0x00, 0x80, 0x32, 0x02, 0x90, // ld a,(8000h) \ ld (9002h),a
                            0xAF, 0xD3, 0x05, 0xC9};            // xor a \ out (5),a \ ret
        run::Program program;
        program.code = code;
        run::Session s(program, {}, run::Model::Ti84Plus);
        s.runUntil(6000000);
        QVERIFY(s.stopped() && s.stopped()->returned);
        QVERIFY(s.machine().read(0x9000) != 0x55);
        QCOMPARE(s.machine().read(0x9001), 0x55);
        QCOMPARE(s.machine().read(0x9002), 0x00); // page 1, at 8000h, untouched
    }

    void runsStopWithTheirReason_data() {
        QTest::addColumn<Bytes>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("code at C000h") << Bytes{0xC3, 0x00, 0xC0} // jp 0C000h
                                       << "the program ran code at C000h, and the calculator "
                                          "runs no code at C000h or above";
        QTest::newRow("an unknown OS call")
            << Bytes{0x00, 0xEF, 0x34, 0x12} // nop \ rst 28h \ .dw 1234h
            << "the program called the OS at 1234h at 9D96h, an OS call this runner does not "
               "answer";
        QTest::newRow("a named OS call")
            << Bytes{0xEF, 0xB1, 0x4C} // bcall(_LoadPattern)
            << "the program called _LoadPattern (4CB1h) at 9D95h, an OS call this runner does "
               "not answer";
        QTest::newRow("into the OS") << Bytes{0xC3, 0x00, 0x45} // jp 4500h
                                     << "the program jumped to 4500h inside the OS, where this "
                                        "runner has no code; only OS calls made with bcall or "
                                        "rst are answered";
        QTest::newRow("halt for good") << Bytes{0xF3, 0x76} // di \ halt
                                       << "the program halted with interrupts off at 9D96h, "
                                          "which stops the calculator for good";
    }
    void runsStopWithTheirReason() {
        QFETCH(Bytes, code);
        QFETCH(QString, reason);
        const auto s = runCode(code);
        QVERIFY(s->stopped());
        QCOMPARE(QString::fromStdString(s->stopped()->reason), reason);
    }

    // Shell programs are named for the shell they need; files that are not
    // assembly programs are refused before they run.
    void programFilesAreReadAndJudged() {
        const run::Program plain = programFile({0xBB, 0x6D, 0xC9});
        QCOMPARE(plain.error, std::string());
        QCOMPARE(plain.name, std::string("DEMO"));
        QCOMPARE(plain.code, Bytes{0xC9});
        const run::Program ion = programFile({0xBB, 0x6D, 0xC9, 0x30, 0x03, 'G', 'o', 0, 0xC9});
        QCOMPARE(ion.shell, std::string("Ion"));
        QCOMPARE(ion.description, std::string("Go"));
        QCOMPARE(programFile({0xBB, 0x6D, 0xC9, 0x01, 0x00}).shell, std::string("MirageOS"));
        Bytes mirage = {0xBB, 0x6D, 0xC9, 0x01, 0xFF, 0xFE}; // ret, .db 1, the 15x15 icon
        mirage.resize(mirage.size() + 28, 0x80);
        mirage.insert(mirage.end(), {'M', 0, 0xC9});
        const run::Program withIcon = programFile(mirage);
        QCOMPARE(withIcon.iconWidth, 15);
        QCOMPARE(withIcon.icon.size(), std::size_t(15));
        QCOMPARE(withIcon.icon[0], std::uint16_t(0xFFFE));
        QCOMPARE(withIcon.description, std::string("M"));
        QCOMPARE(programFile({0xBB, 0x6D, 0xAA, 0xC9, 0x18}).shell, std::string("Doors CS"));
        QCOMPARE(programFile({0xDE, 0x2A, 0x3F}).error,
                 std::string("the program is a TI-BASIC program, not an assembly program"));
        // Doors CS starts it at its jr, past the ret that ends it from the home screen.
        run::Session doors(
            programFile({0xBB, 0x6D, 0xAA, 0xC9, 0x18, 0x00, 0x3E, 0x07, 0x32, 0x00, 0x90, 0xC9}));
        doors.runUntil(6000000); // jr $+2 \ ld a,7 \ ld (9000h),a \ ret
        QVERIFY(doors.stopped() && doors.stopped()->returned);
        QCOMPARE(doors.machine().read(0x9000), 7);
    }

    // A damaged file says so (the checksum is the low 16 bits of the sum of
    // the bytes from the variable entry on, TI's link guide) and runs only when
    // asked; a program larger than Asm( can run is refused with both sizes; a
    // stray byte before BB 6D is named as such, not as TI-BASIC.
    void damagedAndOversizedFilesAreRefusedWithTheirReason() {
        Bytes file = programBytes({0xBB, 0x6D, 0xC9});
        file[file.size() - 2] ^= 0x01;
        const run::Program damaged = run::readProgram(file);
        QVERIFY(damaged.checksumWrong);
        QVERIFY2(damaged.error.find("checksum") != std::string::npos, damaged.error.c_str());
        run::ReadOptions anyway;
        anyway.ignoreChecksum = true;
        const run::Program ran = run::readProgram(file, anyway);
        QCOMPARE(ran.error, std::string());
        QCOMPARE(ran.code, Bytes{0xC9});

        Bytes big = {0xBB, 0x6D};
        big.resize(run::kMaxProgramBytes + 1, 0x00);
        QCOMPARE(programFile(big).error,
                 "the program has " + std::to_string(run::kMaxProgramBytes + 1) +
                     " bytes, more than the calculator can run (12385 bytes: Asm( needs it in "
                     "memory twice)");
        big.resize(run::kMaxProgramBytes);
        QCOMPARE(programFile(big).error, std::string());

        QCOMPARE(programFile({0x00, 0xBB, 0x6D, 0xC9, 0x30, 0x05}).error,
                 std::string("the assembly program's BB 6D comes after 1 stray byte, so the "
                             "calculator takes the program for TI-BASIC (it is written for "
                             "Ion); the source has bytes before its header"));
    }

    // Every length from an empty file to a whole one is read without going
    // past its end, and all but the whole file are refused.
    void everyTruncationIsRefused() {
        const Bytes whole = programBytes({0xBB, 0x6D, 0xC9});
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const run::Program p = run::readProgram(Bytes(whole.begin(), whole.begin() + long(n)));
            QVERIFY2(!p.error.empty(), qPrintable(QString::number(n)));
        }
        QCOMPARE(run::readProgram(whole).error, std::string());
    }
};

QTEST_APPLESS_MAIN(RunMachineTest)
#include "run_machine_test.moc"
