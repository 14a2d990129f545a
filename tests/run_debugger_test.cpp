// The debugger on the runner as a learner uses it: steps over calls, OS
// calls and loops, out of nested calls, to an address; breakpoints with a
// condition and a hit count; steps back that retrace the run exactly; and
// the checks that stop a program breaking the calculator's rules at the
// instruction at fault. Programs are assembled in memory by our assembler.

#include "run/debugger.h"
#include "run/romcalls.h"
#include "run/romtable.h"
#include "run/sourceinfo.h"
#include "z80/assembler.h"
#include "z80/outputs.h"
#include "z80/source.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <string_view>

namespace {

constexpr std::uint64_t kSecond = run::Machine::kClockHz;

// A program assembled at 9D95h, run as `--run` runs it, with a debugger.
struct Debugged {
    z80::Assembly a;
    std::unique_ptr<run::Session> session;
    std::unique_ptr<run::Debugger> debugger;

    std::uint16_t at(const char *label) const {
        for (const auto &l : a.labels)
            if (l.name == label)
                return std::uint16_t(l.value);
        qFatal("no label %s", label);
    }
    run::Machine &m() { return session->machine(); }
    std::uint16_t pc() { return m().reg(run::Reg::PC); }
};

std::unique_ptr<Debugged> debug(const std::string &body, run::HistoryLimits limits = {},
                                run::Model model = run::Model::Ti83Plus) {
    auto d = std::make_unique<Debugged>();
    z80::MemoryReader reader;
    reader.files["/p/main.z80"] =
        "_ClrLCDFull .equ 4540h\n_PutS .equ 450Ah\n_HomeUp .equ 4558h\n .org 9D95h\n" + body;
    d->a = z80::assemble("/p/main.z80", reader, {});
    if (!d->a.ok())
        qFatal("%s", z80::message(d->a.errors.front()).c_str());
    run::Program program;
    program.name = "TEST";
    program.code = d->a.bytes;
    d->session = std::make_unique<run::Session>(program, run::RomNames{}, model);
    d->debugger = std::make_unique<run::Debugger>(*d->session, program.code.size(), limits);
    return d;
}

// Everything a step back must restore: registers, RAM, the display, the clock.
// Memory is hashed a bank at a time: byte by byte it was most of the
// sanitized suite's longest test.
std::uint64_t fingerprint(const run::Machine &m) {
    std::uint64_t h = 1469598103934665603u;
    auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 1099511628211u; };
    const auto bytes = [&mix](const void *data, std::size_t size) {
        mix(std::hash<std::string_view>{}({static_cast<const char *>(data), size}));
    };
    for (int r = 0; r < 8; ++r)
        mix(m.reg(run::Reg(r)));
    bytes(m.bankBytes(2), 0x4000);
    bytes(m.bankBytes(3), 0x4000);
    bytes(m.lcd().memory().data(), sizeof(run::Lcd::Memory));
    mix(m.cycles());
    mix(m.interruptsEnabled());
    return h;
}

const std::string kStepping = R"(
start:  ld b, 3
c1:     call sub1
c2:     rst 28h
        .dw _ClrLCDFull
c3:     rst 30h
c4:     xor a
c5:     call nz, sub1
c6:     ld b, 4
loop:   djnz loop
waits:  halt
c7:     call outer
c8:     ret
outer:  call sub1
back:   ret
sub1:   push bc
inner:  nop
        pop bc
        ret
)";

bool is(const run::Pause &p, run::Pause::Why why) {
    return p.why == why;
}

} // namespace

class RunDebuggerTest : public QObject {
    Q_OBJECT

private slots:
    // Each step lands where a reader of the source expects, with the stack as it was.
    void stepsOverCallsOsCallsAndLoops() {
        auto d = debug(kStepping);
        run::Debugger &g = *d->debugger;
        QCOMPARE(d->pc(), d->at("start"));
        g.stepInto(kSecond);
        const std::uint16_t sp = d->m().reg(run::Reg::SP);
        struct Row {
            const char *from, *to;
            bool over;
        };
        const Row rows[] = {
            {"c1", "c2", true},                         // a call
            {"c2", "c3", false},                        // a bcall is one step even stepping into it
            {"c3", "c4", true},                         // an rst the OS answers
            {"c4", "c5", false},    {"c5", "c6", true}, // a call whose condition fails
            {"c6", "loop", false},  {"loop", "waits", true}, // a djnz loop runs to its end
            {"waits", "c7", false}, // a halt is one step, to the interrupt that ends it
        };
        for (const Row &r : rows) {
            QCOMPARE(d->pc(), d->at(r.from));
            const run::Pause p = r.over ? g.stepOver(kSecond) : g.stepInto(kSecond);
            QVERIFY2(is(p, run::Pause::Why::Step),
                     (r.from + (" " + std::to_string(int(p.why)) + p.message)).c_str());
            QCOMPARE(d->pc(), d->at(r.to));
            QCOMPARE(d->m().reg(run::Reg::SP), sp);
        }
        QCOMPARE(d->m().reg(run::Reg::BC) >> 8, 0);
    }

    void stepsOutOfNestedCallsAndRunsToAnAddress() {
        auto d = debug(kStepping);
        run::Debugger &g = *d->debugger;
        QVERIFY(is(g.runTo(d->at("inner"), kSecond), run::Pause::Why::Reached));
        g.stepOut(kSecond); // out of the first call of sub1, from c1
        QCOMPARE(d->pc(), d->at("c2"));
        QVERIFY(is(g.runTo(d->at("inner"), kSecond), run::Pause::Why::Reached));
        g.stepOut(kSecond);
        QCOMPARE(d->pc(), d->at("back")); // one level: into outer
        g.stepOut(kSecond);
        QCOMPARE(d->pc(), d->at("c8"));
        QVERIFY(is(g.stepOut(kSecond), run::Pause::Why::Ended));
        QVERIFY(d->session->stopped()->returned);
    }

    void breakpointsWithAConditionAndAHitCount() {
        const std::string counting = R"(
        ld b, 5
again:  call sub
        djnz again
        ret
sub:    ld a, b
        ret
)";
        auto d = debug(counting);
        run::Breakpoint onTwo;
        onTwo.condition = [](const run::Machine &m) { return m.reg(run::Reg::BC) >> 8 == 2; };
        d->debugger->setBreakpoint(d->at("sub"), onTwo);
        QVERIFY(is(d->debugger->run(kSecond), run::Pause::Why::Breakpoint));
        QCOMPARE(d->m().reg(run::Reg::BC) >> 8, 2);
        QVERIFY(is(d->debugger->run(kSecond), run::Pause::Why::Ended));

        auto e = debug(counting);
        run::Breakpoint third;
        third.hitCount = 3;
        e->debugger->setBreakpoint(e->at("sub"), third);
        QVERIFY(is(e->debugger->run(kSecond), run::Pause::Why::Breakpoint));
        QCOMPARE(e->m().reg(run::Reg::BC) >> 8, 3); // b counts down 5, 4, 3
        QCOMPARE(e->debugger->breakpoint(e->at("sub"))->hits, 3u);
        e->debugger->clearBreakpoint(e->at("sub"));
        QVERIFY(is(e->debugger->run(kSecond), run::Pause::Why::Ended));
    }

    // The run window runs in slices of a few thousand T-states: a breakpoint
    // where a slice happens to end stops the run as in one run, and a step
    // over or out cut short by a slice's end goes on to where it would have
    // stopped, at the same stack depth (not at the next return of a call
    // the step had entered).
    void runsAndStepsCutInSlicesStopWhereOneRunStops() {
        const std::string counting = R"(
        ld b, 5
again:  call sub
        djnz again
        ret
sub:    ld a, b
        call leaf
        ret
leaf:   nop
        ret
)";
        auto d = debug(counting);
        d->debugger->setBreakpoint(d->at("sub"));
        int hits = 0;
        for (std::uint64_t until = 1; until < kSecond && !d->session->stopped(); ++until) {
            const run::Pause p = d->debugger->run(until); // one T-state a slice
            hits += is(p, run::Pause::Why::Breakpoint);
            QVERIFY(!is(p, run::Pause::Why::Breakpoint) || d->pc() == d->at("sub"));
        }
        QCOMPARE(hits, 5);

        auto e = debug(counting);
        QVERIFY(is(e->debugger->runTo(e->at("again"), kSecond), run::Pause::Why::Reached));
        run::Pause p = e->debugger->stepOver(e->m().cycles() + 20); // ends inside sub
        QVERIFY(is(p, run::Pause::Why::Limit));
        while (is(p, run::Pause::Why::Limit))
            p = e->debugger->resumeStep(e->m().cycles() + 3);
        QVERIFY(is(p, run::Pause::Why::Step));
        QCOMPARE(e->pc(), std::uint16_t(e->at("again") + 3));

        QVERIFY(is(e->debugger->runTo(e->at("sub"), kSecond), run::Pause::Why::Reached));
        p = e->debugger->stepOut(e->m().cycles() + 12); // ends inside leaf
        QVERIFY(is(p, run::Pause::Why::Limit));
        while (is(p, run::Pause::Why::Limit))
            p = e->debugger->resumeStep(e->m().cycles() + 3);
        QCOMPARE(e->pc(), std::uint16_t(e->at("again") + 3));
    }

    // A run to a line on an application's later page stops only while that
    // page is mapped: the address passed under another condition is run on,
    // also when the run is cut into slices. Here the condition is B's count.
    void aRunToWithAConditionPassesTheAddressUntilItHolds() {
        const std::string counting = R"(
        ld b, 5
again:  ld a, b
        djnz again
        ret
)";
        auto d = debug(counting);
        const auto third = [](const run::Machine &m) { return m.reg(run::Reg::BC) >> 8 == 3; };
        QVERIFY(is(d->debugger->runTo(d->at("again"), kSecond, third), run::Pause::Why::Reached));
        QCOMPARE(d->m().reg(run::Reg::BC) >> 8, 3);

        auto e = debug(counting);
        run::Pause p = e->debugger->runTo(e->at("again"), e->m().cycles() + 20, third);
        while (is(p, run::Pause::Why::Limit))
            p = e->debugger->resumeStep(e->m().cycles() + 5);
        QVERIFY(is(p, run::Pause::Why::Reached));
        QCOMPARE(e->pc(), e->at("again"));
        QCOMPARE(e->m().reg(run::Reg::BC) >> 8, 3);
    }

    // The OS's timer interrupt, taken just before an instruction, is not the
    // instruction: a breakpoint there stops once, not again on continuing.
    void aBreakpointStopsOnceWhereAnInterruptCameFirst() {
        auto d = debug(R"(
        ld c, 40
outer:  ld b, 250
inner:  djnz inner
        dec c
        jr nz, outer
        ret
)");
        d->debugger->setBreakpoint(d->at("inner"));
        int hits = 0;
        while (is(d->debugger->run(kSecond), run::Pause::Why::Breakpoint))
            ++hits;
        QVERIFY(d->session->stopped() && d->session->stopped()->returned);
        QVERIFY(d->m().cycles() > 2 * kSecond / 118); // some timer interrupts came
        QCOMPARE(hits, 40 * 250);
    }

    // Back a step at a time over OS calls, interrupts, the display and a key
    // a person pressed, then forward again: each state is the one it was.
    void stepsBackThenForwardReachTheIdenticalState() {
        const std::string program = R"(
        ld hl, 0A000h
        ld de, 0
more:   ld a, 0FEh
        out (1), a
        in a, (1)
        ld (hl), a
        inc hl
        ld a, e
        out (11h), a
        inc de
        rst 28h
        .dw _ClrLCDFull
        ld a, d
        cp 4
        jr c, more
        ret
)";
        run::HistoryLimits often;
        often.every = 3000; // restores and replays many times in a short run
        auto d = debug(program, often);
        run::Debugger &g = *d->debugger;
        std::vector<std::uint64_t> seen{fingerprint(d->m())};
        const int steps = 4000;
        for (int i = 0; i < steps; ++i) {
            if (i == 1500)
                g.press(run::sk::Down);
            if (i == 1700)
                g.release(run::sk::Down);
            QVERIFY(is(g.stepInto(10 * kSecond), run::Pause::Why::Step));
            seen.push_back(fingerprint(d->m()));
        }
        QVERIFY(d->m().cycles() > kSecond / run::Machine::kTimerHz); // the timer's interrupt came
        QVERIFY(g.snapshots() > 10);
        for (int i = steps - 1; i >= 1; --i) {
            QVERIFY(is(g.stepBack(), run::Pause::Why::Step));
            QCOMPARE(g.position(), std::uint64_t(i));
            QCOMPARE(fingerprint(d->m()), seen[std::size_t(i)]);
        }
        for (int i = 2; i <= steps; ++i) {
            g.stepInto(10 * kSecond);
            QCOMPARE(fingerprint(d->m()), seen[std::size_t(i)]);
        }
    }

    // The history keeps to its budget and still steps back.
    void theHistoryStaysWithinItsMemory() {
        run::HistoryLimits small;
        small.every = 2000;
        small.bytes = std::size_t(1) << 20;
        auto d = debug("loop: inc hl\n ld (9000h), hl\n jr loop\n", small);
        d->debugger->run(kSecond / 5);
        QVERIFY(d->debugger->historyBytes() <= small.bytes);
        QVERIFY(d->debugger->snapshots() >= 2);
        const std::uint16_t hl = d->m().reg(run::Reg::HL);
        for (int i = 0; i < 3; ++i)
            d->debugger->stepInto(kSecond);
        QVERIFY(d->m().reg(run::Reg::HL) != hl);
        for (int i = 0; i < 3; ++i)
            d->debugger->stepBack();
        QCOMPARE(d->m().reg(run::Reg::HL), hl);
    }

    // Snapshots share the RAM a program left unchanged: on the TI-84 Plus,
    // whose 128 KB whole would fill the budget with a quarter of the span,
    // the whole span is kept, and the earliest moment comes back as it was.
    void theHistoryKeepsItsSpanOnTheTi84PlusWithinItsMemory() {
        run::HistoryLimits limits;
        limits.span = 2 * kSecond;
        limits.bytes = std::size_t(8) << 20;
        auto d = debug("loop: inc hl\n ld (9000h), hl\n push hl\n pop hl\n jr loop\n", limits,
                       run::Model::Ti84Plus);
        run::Debugger &g = *d->debugger;
        const std::uint64_t start = fingerprint(d->m());
        g.run(limits.span - limits.every);
        QVERIFY(g.historyBytes() <= limits.bytes);
        QVERIFY2(g.snapshots() >= limits.span / limits.every - 1,
                 qPrintable(QString::number(g.snapshots())));
        QVERIFY(is(g.stepBackToBreakpoint(), run::Pause::Why::NoHistory));
        QCOMPARE(g.position(), std::uint64_t(0));
        QCOMPARE(fingerprint(d->m()), start);
        // Run on past the span: the oldest snapshots go, giving back only
        // the memory they held alone, and the span stays whole.
        g.run(2 * limits.span);
        const std::size_t steady = g.historyBytes(); // a span of the same loop
        g.run(3 * limits.span);
        QVERIFY2(g.historyBytes() <= steady + steady / 20,
                 qPrintable(QString("%1 then %2").arg(steady).arg(g.historyBytes())));
        QVERIFY(g.historyBytes() >= g.snapshots() * sizeof(run::MachineState));
        QVERIFY2(g.snapshots() >= limits.span / limits.every - 1,
                 qPrintable(QString::number(g.snapshots())));
    }

    // A watched byte stops the run after the instruction that writes it,
    // the program's own or an OS call's; a log breakpoint writes its message
    // with the registers filled in and does not stop.
    void aWatchedByteAndALogMessage() {
        auto d = debug(R"(
        ld b, 3
again:  ld a, b
        djnz again
        ld (9000h), a
stored: ld a, 1
        rst 28h
        .dw _HomeUp
homed:  ret
)");
        run::Breakpoint log;
        log.log = "b={B} pair={bc} {nothing}";
        d->debugger->setBreakpoint(d->at("again"), log);
        std::vector<std::string> said;
        d->debugger->setLog([&said](const std::string &s) { said.push_back(s); });
        d->debugger->watchWrites(0x9000, true);
        d->debugger->watchWrites(0x844B, true); // curRow, which _HomeUp sets
        run::Pause p = d->debugger->run(kSecond);
        QVERIFY(is(p, run::Pause::Why::Written));
        QCOMPARE(p.address, std::uint16_t(0x9000));
        QCOMPARE(d->pc(), d->at("stored"));
        const std::string c = "{nothing}";
        QCOMPARE(said, (std::vector<std::string>{"b=03h pair=03FFh " + c, "b=02h pair=02FFh " + c,
                                                 "b=01h pair=01FFh " + c}));
        p = d->debugger->run(kSecond);
        QVERIFY(is(p, run::Pause::Why::Written));
        QCOMPARE(p.address, std::uint16_t(0x844B));
        QCOMPARE(d->pc(), d->at("homed"));
        d->debugger->watchWrites(0x9000, false);
        d->debugger->watchWrites(0x844B, false);
        QVERIFY(is(d->debugger->run(kSecond), run::Pause::Why::Ended));
    }

    // A watched read stops after the instruction that reads the byte: the
    // program's own load, and an OS call reading a string; the opcode
    // fetches of code around it and the debugger's own looks do not.
    void aWatchedReadStopsAfterTheReader() {
        auto d = debug(R"(
        ld a, (count)
loaded: inc a
        ld hl, text
        rst 28h
        .dw _PutS
shown:  ld hl, (count)
        ret
count:  .db 7
text:   .db "HI", 0
)");
        run::Debugger &g = *d->debugger;
        g.watchReads(d->at("count"), true);
        g.watchReads(d->at("text") + 1, true); // the I, which _PutS reads
        run::Breakpoint peeks;
        peeks.condition = [&](const run::Machine &m) { return m.read(d->at("count")) == 0; };
        g.setBreakpoint(d->at("shown") - 3, peeks); // a condition reading the byte: no stop
        run::Pause p = g.run(kSecond);
        QVERIFY(is(p, run::Pause::Why::Read));
        QCOMPARE(p.address, d->at("count"));
        QCOMPARE(d->pc(), d->at("loaded"));
        p = g.run(kSecond);
        QVERIFY(is(p, run::Pause::Why::Read));
        QCOMPARE(p.address, std::uint16_t(d->at("text") + 1));
        QCOMPARE(d->pc(), d->at("shown"));
        g.watchReads(d->at("text") + 1, false);
        p = g.run(kSecond); // a word read reads the watched byte too
        QVERIFY(is(p, run::Pause::Why::Read));
        QCOMPARE(d->m().reg(run::Reg::HL), std::uint16_t(7 | 'H' << 8));
        g.watchReads(d->at("count"), false);
        QVERIFY(is(g.run(kSecond), run::Pause::Why::Ended));
    }

    // Back to the previous breakpoint lands where the run paused, or would
    // have, before now, through snapshots and replays; forward again from
    // there reaches the same states; with none before, the earliest moment kept.
    void backToThePreviousBreakpointThenForwardAgain() {
        const std::string counting = R"(
        ld c, 4
again:  ld b, 200
delay:  djnz delay
        call sub
        dec c
        jr nz, again
        ret
sub:    ld a, c
        ld (9000h), a
stored: ret
)";
        run::HistoryLimits often;
        often.every = 1000; // several snapshots between two hits
        auto d = debug(counting, often);
        run::Debugger &g = *d->debugger;
        g.setBreakpoint(d->at("sub"));
        std::vector<std::uint64_t> hits, positions;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(is(g.run(kSecond), run::Pause::Why::Breakpoint));
            hits.push_back(fingerprint(d->m()));
            positions.push_back(g.position());
        }
        g.watchWrites(0x9000, true);
        QVERIFY(is(g.run(kSecond), run::Pause::Why::Written)); // the third call's write
        const std::uint64_t written = fingerprint(d->m());
        g.changedByHand(); // a snapshot just after the write: the pause is still found
        for (int i = 0; i < 50; ++i)
            g.stepInto(kSecond);
        QVERIFY(g.snapshots() > 6);

        run::Pause p = g.stepBackToBreakpoint();
        QVERIFY(is(p, run::Pause::Why::Written));
        QCOMPARE(p.address, std::uint16_t(0x9000));
        QCOMPARE(fingerprint(d->m()), written);
        g.watchWrites(0x9000, false);
        for (int i = 2; i >= 0; --i) {
            p = g.stepBackToBreakpoint();
            QVERIFY(is(p, run::Pause::Why::Breakpoint));
            QCOMPARE(p.pc, d->at("sub"));
            QCOMPARE(g.position(), positions[std::size_t(i)]);
            QCOMPARE(fingerprint(d->m()), hits[std::size_t(i)]);
        }
        QVERIFY(is(g.stepBackToBreakpoint(), run::Pause::Why::NoHistory));
        QCOMPARE(g.position(), std::uint64_t(0));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(is(g.run(kSecond), run::Pause::Why::Breakpoint));
            QCOMPARE(fingerprint(d->m()), hits[std::size_t(i)]);
        }
        QVERIFY(is(g.run(kSecond), run::Pause::Why::Breakpoint)); // the fourth, not seen before
        QCOMPARE(d->m().read(0x9000), std::uint8_t(2));
    }

    // Paused in a nested routine: the call stack names each call and where
    // it returns to, innermost first; the OS calls made are logged by name
    // with the registers before and after, a step back takes the last one
    // back, and the log keeps to its size.
    void theCallStackAndTheOsCallsMade() {
        auto d = debug(R"(
        ld a, 5
c1:     call outer
        ld c, 17
again:  ld b, 0
many:   rst 28h
        .dw _HomeUp
        djnz many
        dec c
        jr nz, again
        ret
outer:  nop
c2:     call inner
        ret
inner:  ld hl, text
c3:     rst 28h
        .dw _PutS
shown:  ret
text:   .db "AB", 0
)");
        run::Debugger &g = *d->debugger;
        g.setBreakpoint(d->at("shown"));
        QVERIFY(is(g.run(kSecond), run::Pause::Why::Breakpoint));
        const std::vector<run::Frame> frames = g.callStack();
        QCOMPARE(frames.size(), std::size_t(2));
        QCOMPARE(frames[0].call, d->at("c2"));
        QCOMPARE(frames[0].routine, d->at("inner"));
        QCOMPARE(frames[0].returnTo, std::uint16_t(d->at("c2") + 3));
        QCOMPARE(frames[0].slot, d->m().reg(run::Reg::SP));
        QCOMPARE(frames[1].call, d->at("c1"));
        QCOMPARE(frames[1].returnTo, std::uint16_t(d->at("c1") + 3));

        QCOMPARE(g.osCalls().size(), std::size_t(1));
        const run::OsCall &c = g.osCalls().back();
        QCOMPARE(c.name, std::string("_PutS"));
        QCOMPARE(c.address, std::uint16_t(0x450A));
        QCOMPARE(c.from, d->at("c3"));
        QVERIFY(c.done);
        QCOMPARE(c.in[std::size_t(run::Reg::HL)], d->at("text"));
        QCOMPARE(c.in[std::size_t(run::Reg::AF)] >> 8, 5);
        QCOMPARE(c.out[std::size_t(run::Reg::PC)], d->at("shown"));

        QVERIFY(is(g.stepBack(), run::Pause::Why::Step)); // before the _PutS
        QCOMPARE(d->pc(), d->at("c3"));
        QVERIFY(g.osCalls().empty());
        g.clearBreakpoint(d->at("shown"));
        g.stepOut(kSecond);
        QCOMPARE(g.callStack().size(), std::size_t(1));
        g.stepOut(kSecond);
        QVERIFY(g.callStack().empty());
        QVERIFY(is(g.run(20 * kSecond), run::Pause::Why::Ended));
        QCOMPARE(g.osCalls().size(), run::Debugger::kOsCallsKept); // of 4,353 made
        QCOMPARE(g.osCalls().back().name, std::string("_HomeUp"));
    }

    // Each check on a program made to break it, named, at the instruction at fault.
    void eachCheckStopsAProgramThatBreaksItsRule() {
        struct Case {
            const char *name, *program, *faultAt, *check;
        };
        const Case cases[] = {
            {"IY changed for an OS call", " ld iy, 0\nat: rst 28h\n .dw _ClrLCDFull\n ret\n", "at",
             "IY:"},
            {"a word left on the stack", " push hl\nat: ret\n", "at", "SP:"},
            {"a word too many taken", " pop hl\nat: ret\n", "at", "SP:"},
            {"the stack in the program", " ld sp, at + 1\nat: nop\n nop\n", "at", "SP:"},
            {"interrupts left disabled", " di\nat: ret\n", "at", "DI:"},
            {"a ret to a data word pushed",
             " ld hl, 1234h\n call sub\n ret\nsub: push hl\nat: ret\n", "at", "RET:"},
            {"a data word left at the top level", " ld hl, 1234h\n push hl\nat: ret\n", "at",
             "SP:"},
            {"the return address swapped for a data word",
             " call sub\n ret\nsub: pop hl\n ld de, 1234h\n push de\nat: ret\n", "at", "SP:"},
            {"pushes down into the program",
             " ld hl, 0\n ld sp, theEnd + 4\n push hl\n push hl\n push hl\nat: jr at\ntheEnd:\n",
             "at", "SP:"},
        };
        for (const Case &c : cases) {
            auto d = debug(c.program);
            const run::Pause p = d->debugger->run(kSecond);
            QVERIFY2(is(p, run::Pause::Why::Check), c.name);
            QCOMPARE(p.pc, d->at(c.faultAt));
            QVERIFY2(p.message.rfind(c.check, 0) == 0, p.message.c_str());
        }
        // Sound code: a pushed address of the program's own is a jump through a
        // table, at the top level and inside a routine, not a fault.
        auto sound = debug(" ld hl, 0\n push hl\n pop hl\n di\n ei\n call sub\n"
                           " ld hl, top\n push hl\n ret\ntop: ret\n"
                           "sub: ex (sp), hl\n ex (sp), hl\n ld hl, inner\n push hl\n ret\n"
                           "inner: scf\n ret nc\n ret\n");
        QVERIFY(is(sound->debugger->run(kSecond), run::Pause::Why::Ended));
        QVERIFY(sound->session->stopped()->returned);

        auto off = debug(" di\n ret\n"); // each check can be turned off
        off->debugger->setCheck(run::Check::Interrupts, false);
        QVERIFY(is(off->debugger->run(kSecond), run::Pause::Why::Ended));
    }

    // A listing and labels file written on any system (CR LF, LF, or the
    // lone CR of old Macintosh editors) name the same lines and labels.
    void aListingReadsTheSameWhateverItsLineEnds() {
        for (const std::string end : {"\n", "\r\n", "\r"}) {
            run::SourceInfo info;
            info.readListing("    4 00:9D95 3E 01 -- --  ld a,1" + end +
                                 "    5 00:9D97 C9 -- -- --  ret" + end,
                             "main.z80");
            info.readLabels("start = $9D95" + end + "done = $9D97" + end);
            QVERIFY(info.lineAt(0x9D95) && info.lineAt(0x9D97));
            QCOMPARE(info.lineAt(0x9D95)->line, 4);
            QCOMPARE(info.lineAt(0x9D97)->text, std::string("ret"));
            QCOMPARE(info.label("DONE"), std::optional<std::uint16_t>(0x9D97));
            QCOMPARE(info.labelAt(0x9D96), std::string("start+1"));
        }
    }

    // The OS calls' names are taken from an include file written on any
    // system: every equate is read, not only the first line's.
    void callNamesFromAnIncludeWhateverItsLineEnds() {
        for (const std::string end : {"\n", "\r\n", "\r"}) {
            run::RomNames names;
            names.addFromInclude("_MyFirst .equ $4F00" + end + "_MySecond = 4F03h" + end +
                                 "_MyThird equ $4F06" + end);
            QCOMPARE(names.nameOf(0x4F00), std::string("_MyFirst"));
            QCOMPARE(names.nameOf(0x4F03), std::string("_MySecond"));
            QCOMPARE(names.nameOf(0x4F06), std::string("_MyThird"));
        }
    }

    // spasm-ng's listing of an application gives each line's page before its
    // address ("02:4000"), and its labels file a label's page above its 16
    // bits ("$24000"; export.cpp writes "%.4X" of the whole value): pages 1
    // and 2 both at 4000h are told apart, and a page-0 label stays 4000h-7FFFh.
    void anApplicationsListingAndLabelsNameItsPages() {
        run::SourceInfo info;
        info.readListing("   12 01:4000 3E 01 -  -      ld a,1\n"
                         "   20 02:4000 3E 02 -  -      ld a,2\n"
                         "    3 00:4080 C9 -  -  -  start: ret\n",
                         "app.z80");
        info.readLabels("one = $14000\ntwo = $24000\nstart = $4080\n");
        QVERIFY(info.lineAt(0x4000, 1) && info.lineAt(0x4000, 2) && info.lineAt(0x4080, 0));
        QCOMPARE(info.lineAt(0x4000, 1)->line, 12);
        QCOMPARE(info.lineAt(0x4000, 2)->text, std::string("ld a,2"));
        QVERIFY(!info.lineAt(0x4000, 0));
        QCOMPARE(info.labelAt(0x4001, 2), std::string("two+1"));
        QCOMPARE(info.labelAt(0x4001, 1), std::string("one+1"));
        QCOMPARE(info.labelAt(0x4081), std::string("start+1"));
        QCOMPARE(info.label("two"), std::optional<std::uint16_t>(0x4000));
        QCOMPARE(info.labelValue("two"), std::optional<std::uint32_t>(0x24000));
    }
};

QTEST_APPLESS_MAIN(RunDebuggerTest)
#include "run_debugger_test.moc"
