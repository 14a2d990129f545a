#include "debugging.h"

#include "packer.h"
#include "run/debugger.h"
#include "run/session.h"
#include "ui/breakpoints.h"
#include "ui/debugcontroller.h"
#include "ui/form1.h"
#include "ui/runwindow.h"
#include "z80/assembler.h"
#include "z80/source.h"
#include "z80/sourcemap.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <ctime>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// This thread's processor time in milliseconds: a busy machine's other
// processes do not count.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A program a learner steps through: a routine called in a loop, a bcall,
// a buffer filled.
const char *const kStepped = R"( .org 9D93h
 .db 0BBh, 6Dh
start:
 ld b, 0
outer:
 push bc
 call fill
 pop bc
 rst 28h
 .dw 4558h ; _HomeUp
 djnz outer
 jr start
fill:
 ld hl, 9340h
 ld b, 12
more:
 ld (hl), b
 inc hl
 djnz more
 ret
)";

} // namespace

DebuggerTimes timeDebugger(const std::vector<std::uint8_t> &code, int seconds, int reps) {
    const std::uint64_t cycles = std::uint64_t(seconds) * run::Machine::kClockHz;
    run::Program program;
    program.code = code;
    std::vector<double> wall, cpu, back, backToBreak, mib;
    for (int i = 0; i < reps; ++i) {
        run::Session session(program);
        run::Debugger debugger(session, code.size());
        for (int b = 0; b < 100; ++b) // none reached
            debugger.setBreakpoint(std::uint16_t(0xA000 + 3 * b));
        debugger.watchWrites(0x9000, true); // never written
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        debugger.run(cycles);
        cpu.push_back(cpuMs() - cpu0);
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
        mib.push_back(double(debugger.historyBytes()) / (1 << 20));
        // Just before the next snapshot: a step back runs again the most.
        debugger.run(debugger.machine().cycles() + run::HistoryLimits{}.every * 49 / 50);
        t.restart();
        debugger.stepBack();
        back.push_back(double(t.nsecsElapsed()) / 1e6);
        // A breakpoint at the loop's first instruction that held in the first
        // second only: back to it replays nine seconds.
        run::Breakpoint early;
        early.condition = [](const run::Machine &m) { return m.cycles() < run::Machine::kClockHz; };
        debugger.setBreakpoint(run::Machine::kUserMem, early);
        t.restart();
        debugger.stepBackToBreakpoint();
        backToBreak.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return {median(wall), median(cpu), median(back), median(backToBreak), median(mib)};
}

double timeDebugStep(Form1 &form, const QString &dir, int steps) {
    const QString source = dir + "/stepped.z80";
    if (!writeFile(source, kStepped))
        return -1;
    z80::DiskReader reader;
    const z80::Assembly a = z80::assemble(source.toStdString(), reader, {});
    if (!a.ok())
        return -1;
    const PackResult packed = pack8xp(a.bytes, "STEPPED");
    const QString program = dir + "/STEPPED.8xp";
    if (!writeFile(program, QByteArray(reinterpret_cast<const char *>(packed.file.data()),
                                       qsizetype(packed.file.size()))) ||
        !writeFile(dir + "/STEPPED.map", QByteArray::fromStdString(z80::writeMap(a))))
        return -1;
    form.open_doc(source);
    form.show();
    auto *controller = form.findChild<DebugController *>("debugController");
    if (!controller)
        return -1;
    RunWindow window(program);
    window.show();
    controller->attach(&window, program, dir, true);
    QApplication::processEvents();
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < steps && controller->paused(); ++i) {
        t.start();
        controller->stepInto();
        form.Text1->repaint();
        window.repaint();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const bool marked = form.findChild<Breakpoints *>("breakpoints")->arrowLine() > 0;
    window.hide(); // not closed: a closed run window deletes itself
    form.hide();
    QApplication::processEvents();
    return marked && int(ms.size()) == steps ? median(ms) : -1;
}
