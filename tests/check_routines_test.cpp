// Tests of routines as a programmer writes them in NAME.tests: a right
// routine passes, and each way a routine goes wrong fails at the line to
// look at with a message that says what to do. The program and its tests
// live in memory; the assembler is the kit's own.

#include "check/report.h"
#include "check/suite.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A program with a right routine and ones that go wrong in the usual ways.
const char *kProgram = R"(#define bcall(label) rst 28h \ .dw label
_PutS     .equ 450Ah
_NoSuch   .equ 4A00h
maxVal    .equ 9000h
        .org 9D93h
        .db 0BBh, 6Dh
        ret
; mul8: HL = A * E, keeps BC
mul8:
        ld hl, 0
        ld d, 0
mul8go:
        or a
mul8loop:
        ret z
        add hl, de
        dec a
        jr mul8loop
; the same with one add too many
mul8wrong:
        ld hl, 0
        ld d, 0
        add hl, de
        jr mul8go
; clamp A to (maxVal)
clamp:
        ld b, a
        ld a, (maxVal)
        cp b
        ccf
        ret nc
        ld a, b
        or a
        ret
pushes:
        push bc
        ret
pops:
        pop bc
        ret
jumps:
        jp (hl)
spins:
        jr spins
callsNothing:
        bcall(_NoSuch)
        ret
checked:
        ld b, a
        ;@assert a < 100
        ;@log "a={a}"
        ld a, b
        ret
; an assert on a statement's line is checked before the statement runs
nonzero:
        inc a   ;@assert a != 0
        ret
)";

struct Outcome {
    check::FileResult file;
    std::vector<std::string> lines;
    // The failures' lines, each "at: message".
    QStringList failures() const {
        QStringList out;
        for (const check::TestResult &r : file.results)
            for (const check::Failure &f : r.failures)
                out << QString::fromStdString(f.at + ": " + f.message);
        return out;
    }
};

// The line of the program that holds `text`, or one `after` it.
QString lineOf(const char *text, int after = 0) {
    const QStringList lines = QString(kProgram).split('\n');
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].contains(QLatin1String(text)))
            return QStringLiteral("/p/prog.z80:%1").arg(i + 1 + after);
    return {};
}

Outcome runTests(const std::string &tests, const std::string &program = kProgram) {
    z80::MemoryReader reader;
    reader.files["/p/prog.z80"] = program;
    reader.files["/p/prog.tests"] = tests;
    check::SuiteOptions options;
    Outcome o{check::runTestsFile("/p/prog.tests", reader, options), {}};
    o.lines = check::textReport({o.file});
    return o;
}

} // namespace

class CheckRoutinesTest : public QObject {
    Q_OBJECT
private slots:
    void aRightRoutinePasses() {
        const Outcome o = runTests("test \"mul8: 5 times 3\"\n"
                                   "  call mul8 with a=5, e=3\n"
                                   "  expect hl=15, a=0, zf=1\n"
                                   "  keeps bc, ix\n"
                                   "  cycles <= 400\n"
                                   "test \"clamp above the maximum\"\n"
                                   "  set (maxVal)=10\n"
                                   "  call clamp with a=200\n"
                                   "  expect a=10, cf=0\n");
        QVERIFY2(o.file.failed() == 0, o.lines.front().c_str());
        QCOMPARE(o.file.passed(), std::size_t(2));
        QCOMPARE(o.lines.back(), std::string("2 passed, 0 failed"));
    }

    // The message names the register, what was wanted and what came, in hex
    // and decimal, at the expectation's line; the registers and the last
    // statements run follow.
    void aWrongResultFailsAtItsExpectation() {
        const Outcome o = runTests("\n\ntest \"mul8: 5 times 3\"\n"
                                   "  call mul8wrong with a=5, e=3\n"
                                   "  expect hl=15\n");
        QCOMPARE(QString::fromStdString(o.lines.front()),
                 QString("/p/prog.tests:5: error: mul8: 5 times 3: "
                         "expected HL=000Fh (15), got 0012h (18)"));
        QVERIFY(o.lines[1].find("registers AF=") != std::string::npos);
        QVERIFY(o.lines[2].find("last statements run") != std::string::npos);
        QVERIFY(QString::fromStdString(o.lines[2]).endsWith(lineOf("ret z")));
        QCOMPARE(o.lines.back(), std::string("0 passed, 1 failed"));
    }

    // Registers the test does not give hold a fixed pattern, not zero: a
    // routine that forgets to clear one does not pass by chance.
    void registersNotGivenAreNotZero() {
        const Outcome o = runTests("test \"d is cleared by the routine\"\n"
                                   "  call mul8 with a=1, e=1\n"
                                   "  expect hl=1\n"
                                   "test \"mul8 without its ld d,0\"\n"
                                   "  call mul8go with a=1, e=1, hl=0\n"
                                   "  expect hl=1\n");
        QCOMPARE(o.failures().size(), 1);
        QVERIFY(o.failures()[0].startsWith("/p/prog.tests:6: expected HL=0001h (1), got 4D"));
    }

    void aClobberedRegisterThatKeepsNamesFails() {
        const Outcome o = runTests("test \"clamp keeps b\"\n"
                                   "  set (maxVal)=10\n"
                                   "  call clamp with a=5, b=7\n"
                                   "  keeps b, de\n");
        QCOMPARE(o.failures(),
                 QStringList("/p/prog.tests:4: the routine changed what `keeps` names: B was "
                             "07h (7), is 05h (5) (save it with push and pop, or drop it from "
                             "keeps)"));
    }

    // A push without its pop returns to the pushed word; a pop without its
    // push returns past the test. Both are told at the routine's ret.
    void anUnbalancedStackFailsAtTheReturn() {
        const Outcome o = runTests("test \"pushes\"\n  call pushes\n"
                                   "test \"pops\"\n  call pops\n");
        const QStringList f = o.failures();
        QCOMPARE(f.size(), 2);
        QVERIFY2(f[0].startsWith(lineOf("push bc", 1) +
                                 ": the routine pushes stopped: the routine's "
                                 "return went to 4BC4h instead of to the test: it left 2 bytes "
                                 "more on the stack"),
                 qPrintable(f[0]));
        QVERIFY2(f[1].startsWith(lineOf("pop bc", 1) +
                                 ": the routine pops stopped: the routine's return "
                                 "went past the test's return address: it took 2 bytes more off"),
                 qPrintable(f[1]));
    }

    // A jump where no code is, with the stack as the call left it, is no
    // return: the runner's own reason stands.
    void aJumpIntoTheOsIsNoUnbalancedStack() {
        const QStringList f = runTests("test \"jumps\"\n  call jumps\n").failures();
        QCOMPARE(f.size(), 1);
        QVERIFY2(f[0].startsWith(lineOf("jp (hl)") + ": the routine jumps stopped: the program "
                                                     "jumped to 4E14h inside the OS"),
                 qPrintable(f[0]));
    }

    void anEndlessLoopStopsAtTheBound() {
        const Outcome o = runTests("test \"spins\"\n  call spins\n"
                                   "test \"spins briefly\"\n  bound 1000\n  call spins\n");
        const QStringList f = o.failures();
        QCOMPARE(f.size(), 2);
        QVERIFY2(f[0] == "/p/prog.tests:2: the routine was still running after 10000000 "
                         "T-states (an endless loop? `bound N` gives it longer); it was at " +
                             lineOf("jr spins"),
                 qPrintable(f[0]));
        QVERIFY(f[1].startsWith("/p/prog.tests:5: the routine was still running after 1000 "));
        QVERIFY(o.file.results[1].cycles < 1100);
    }

    void anUnansweredOsCallFailsAtTheCall() {
        const Outcome o = runTests("test \"calls\"\n  call callsNothing\n"
                                   "test \"expected to stop\"\n  call callsNothing\n"
                                   "  stops \"does not answer\"\n");
        const QStringList f = o.failures();
        QCOMPARE(f.size(), 1);
        QVERIFY2(f[0].startsWith(lineOf("bcall(_NoSuch)") +
                                 ": the routine callsNothing stopped: the program called _NoSuch "
                                 "(4A00h) at 9D") &&
                     f[0].endsWith(", an OS call this runner does not answer"),
                 qPrintable(f[0]));
    }

    // The check waits for the statement after it; its failure names its own
    // line and the values it read. A passing run shows its logs nowhere.
    void aFailedAssertFailsAtItsOwnLine() {
        const Outcome o = runTests("test \"small\"\n  call checked with a=5\n  expect a=5\n"
                                   "test \"large\"\n  call checked with a=150\n");
        QCOMPARE(o.failures(),
                 QStringList(lineOf(";@assert") + ": assertion failed: a < 100 (a=96h (150))"));
        for (const std::string &line : o.lines)
            QVERIFY(line.find("a=5") == std::string::npos);
        QCOMPARE(o.file.results[1].name, std::string("large"));
    }

    void anAssertOnAStatementsLineIsCheckedBeforeItRuns() {
        const Outcome o = runTests("test \"ff\"\n  call nonzero with a=0FFh\n  expect a=0\n"
                                   "test \"zero\"\n  call nonzero with a=0\n");
        QVERIFY(o.file.results[0].passed()); // a=FFh when the check ran, 0 after
        QCOMPARE(o.failures(),
                 QStringList(lineOf("inc a") + ": assertion failed: a != 0 (a=00h (0))"));
    }

    void logsShowWithAFailedTest() {
        const Outcome o = runTests("test \"x\"\n  call checked with a=7\n  expect a=8\n");
        const auto &notes = o.file.results[0].notes;
        const std::string log = "log " + lineOf(";@log").toStdString() + ": a=7";
        QVERIFY(std::find(notes.begin(), notes.end(), log) != notes.end());
    }

    void memoryIsSetAndCompared() {
        const Outcome o = runTests("test \"memory\"\n"
                                   "  set (9100h)=\"AB\", {9102h}=1234h\n"
                                   "  call mul8 with a=0\n"
                                   "  expect (9100h)=\"AB\", {9102h}=1234h, (9101h)='B'\n"
                                   "  expect (9100h)=\"AC\"\n"
                                   "  expect {9102h}=1235h\n");
        QCOMPARE(o.failures(),
                 QStringList({"/p/prog.tests:5: expected (9100h)=\"AC\" at 9100h, got \"AB\" "
                              "(differs at byte 1)",
                              "/p/prog.tests:6: expected {9102h}=1235h (4661) at 9102h, got "
                              "1234h (4660)"}));
    }

    void aProgramThatDoesNotAssembleRunsNoTest() {
        const Outcome o = runTests("test \"a\"\n  call mul8\n", "  ld a,\n");
        QCOMPARE(o.file.failed(), std::size_t(1));
        QVERIFY(o.lines.front().rfind("/p/prog.z80:1: error:", 0) == 0);
        QVERIFY(std::find(o.lines.begin(), o.lines.end(),
                          "/p/prog.tests:1: error: the program /p/prog.z80 has errors, so no "
                          "test ran") != o.lines.end());
    }
};

QTEST_APPLESS_MAIN(CheckRoutinesTest)
#include "check_routines_test.moc"
