// Measures what a user waits on against the floor that Qt and the system set,
// case by case in one run, each pair interleaved, and prints a table of
// medians. `bench --quick` uses tiny sizes to show that every case runs;
// `bench --runner` measures the runner alone, `bench --debugger` the debugger.

#include "check/suite.h"
#include "core/document.h"
#include "core/shownlog.h"
#include "core/templates.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "run/debugger.h"
#include "run/session.h"
#include "ui/catalogue.h"
#include "ui/editor.h"
#include "ui/editorextras.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/language.h"
#include "ui/runwindow.h"
#include "z80/analysis.h"
#include "z80/lexer.h"

#include "assemblers.h"
#include "debugging.h"
#include "hostile.h"
#include "packer.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Does nothing: no dialog or process is started while measuring.
struct Silent : MessageBox, FilePicker, ProcessStarter {
    void inform(QWidget *, const QString &text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    Answer askSave(QWidget *, const QString &) override { return Answer::Discard; }
    bool confirm(QWidget *, const QString &, const QString &) override { return true; }
    std::optional<int> askNumber(QWidget *, const QString &, const QString &, int, int,
                                 int) override {
        return std::nullopt;
    }
    int choose(QWidget *, const QString &, const QStringList &) override { return -1; }
    void showText(QWidget *, const QString &, const QString &) override {}
    std::optional<QString> getOpenFileName(QWidget *, const QList<FileFilter> &,
                                           const QString &) override {
        return {};
    }
    std::optional<QString> getSaveFileName(QWidget *, const QList<FileFilter> &,
                                           const QString &) override {
        return {};
    }
    StartResult start(const QString &, const QStringList &, const StartOptions &) override {
        return {};
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Row {
    QString name, unit;
    double ours, floor;
    QString goal;
};
std::vector<Row> rows;

// Runs ours and the floor alternately `reps` times; medians in milliseconds.
void timed(const QString &name, int reps, const std::function<void()> &ours,
           const std::function<void()> &floor, const QString &goal) {
    std::vector<double> a, b;
    QElapsedTimer t;
    for (int i = 0; i < reps; ++i) {
        t.start();
        ours();
        a.push_back(t.nsecsElapsed() / 1e6);
        t.start();
        floor();
        b.push_back(t.nsecsElapsed() / 1e6);
    }
    rows.push_back({name, "ms", median(a), median(b), goal});
}

// A source of `bytes` bytes in lines of about 33 characters with CR LF, and
// every byte from 0x80 to 0xFF among them.
QByteArray makeSource(qsizetype bytes) {
    QByteArray s;
    s.reserve(bytes + 64);
    int n = 0;
    while (s.size() < bytes) {
        s += "label";
        s += QByteArray::number(n);
        s += ":  ld a,(ix+";
        s += char(0x80 + (n % 128));
        s += char(0x80 + ((n * 7) % 128));
        s += ")   ; \xE9t\xE9\r\n";
        ++n;
    }
    return s;
}

// An include laid out like the calculator's standard one: #defines for the
// calls, .addinstr, and thousands of ROM calls as equates with comments.
QByteArray makeInclude(int calls) {
    QByteArray s = "#define equ .equ\r\n#define bcall(xxxx) rst 28h \\ .dw xxxx\r\n"
                   "#define b_call(xxxx) bcall(xxxx)\r\n.addinstr B_CALL * EF 3 NOP 1\r\n";
    for (int i = 0; i < calls; ++i)
        s += QStringLiteral("_Call%1\t\tEQU %2h ; does thing %1\r\n")
                 .arg(i)
                 .arg(0x4000 + 3 * i, 4, 16)
                 .toLatin1();
    return s;
}

// A program of `lines` lines that includes it: labels, jumps and ROM calls.
QByteArray makeProgram(int lines) {
    QByteArray s = "#include \"std.inc\"\r\n\t.org 9D93h\r\n";
    for (int i = 0; i < lines / 5; ++i)
        s += QStringLiteral("label%1:\r\n\tld a,%1 & 255\r\n\tb_call(_Call%2)\r\n"
                            "\tjp nz,label%1\r\n\tdjnz label%1\r\n")
                 .arg(i)
                 .arg(i % 3800)
                 .toLatin1();
    return s;
}

// Runs the probe once; returns milliseconds to the first paint and peak memory.
std::pair<double, double> probe(const QString &program, const QStringList &args,
                                const QString &home) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForReadyRead(60000))
        return {-1, -1};
    const double ms = t.nsecsElapsed() / 1e6;
    const QByteArray line = p.readLine();
    p.waitForFinished(60000);
    return {ms, line.split(' ').value(1).trimmed().toDouble() / 1024.0};
}

// A loop over the graph buffer with a display write; the timer interrupts it.
const std::vector<std::uint8_t> kLoop = {0x21, 0x40, 0x93, 0x06, 0x00, 0x7E, 0xA8, 0x77, 0x23,
                                         0x10, 0xFA, 0x3E, 0x05, 0xD3, 0x10, 0x18, 0xEF};

// The debugger: the runner flat out with 100 breakpoints (none reached) and
// a watched byte (never written), its history kept, on the wall clock and in
// processor time (what a busy machine's other work does not change); one
// step back with ten seconds of history behind it, back to a breakpoint
// nine seconds before, and what that history holds.
void debuggerRows(bool quick) {
    const int seconds = quick ? 1 : 10;
    const DebuggerTimes t = timeDebugger(kLoop, seconds, quick ? 1 : 5);
    const double floor = seconds * 1000.0 / 40;
    rows.push_back({QStringLiteral("debugger runs %1 s, 100 breakpoints, watch").arg(seconds), "ms",
                    t.runMs, floor, "ratio <= 1 (40x 6 MHz)"});
    rows.push_back({QStringLiteral("the same run, processor time"), "ms cpu", t.runCpuMs, floor,
                    "ratio <= 1 (40x 6 MHz)"});
    rows.push_back({QStringLiteral("one step back, %1 s of history").arg(seconds), "ms", t.backMs,
                    100, "ratio <= 1 (100 ms)"});
    rows.push_back({QStringLiteral("back to a breakpoint %1 s before").arg(seconds - 1), "ms",
                    t.backToBreakMs, 0, "< 1000 ms"});
    rows.push_back({QStringLiteral("history of %1 s").arg(seconds), "MiB", t.historyMiB, 64,
                    "ratio <= 1 (64 MiB)"});
}

// A step in the editor while a run is debugged: the step, the arrow on the
// paused line, the debug pane filled, the editor and the run window painted.
void debugStepRow(bool quick, const QString &dir, Form1 &form) {
    const double ms = timeDebugStep(form, dir, quick ? 3 : 51);
    if (ms < 0)
        std::fprintf(stderr, "the debugged step could not be set up\n");
    rows.push_back({"a step, its line and the pane painted", "ms", ms, 30, "ratio <= 1 (30 ms)"});
}

// The runner flat out against a twentieth of the calculator's own time, and
// the run window at the calculator's speed: its cycles over ten seconds of
// the wall clock against the calculator's 6 MHz.
void runnerRows(bool quick, const QString &dir) {
    const std::uint64_t cycles = quick ? 6000000 : 60000000;
    run::Program loop;
    loop.code = kLoop;
    std::vector<double> ms;
    for (int i = 0; i < (quick ? 1 : 5); ++i) {
        run::Session session(loop);
        QElapsedTimer t;
        t.start();
        session.runUntil(cycles);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    rows.push_back({QStringLiteral("run %1 s of calculator time").arg(cycles / 6000000), "ms",
                    median(ms), cycles / 6000.0 / 20, "ratio <= 1 (20x 6 MHz)"});
    debuggerRows(quick);

    std::vector<std::uint8_t> binary = {0xBB, 0x6D};
    binary.insert(binary.end(), kLoop.begin(), kLoop.end());
    const PackResult packed = pack8xp(binary, "PACED");
    const QString path = dir + "/paced.8xp";
    writeWholeFile(path, QByteArray(reinterpret_cast<const char *>(packed.file.data()),
                                    qsizetype(packed.file.size())));
    const int seconds = quick ? 1 : 10;
    QElapsedTimer t;
    t.start();
    RunWindow window(path);
    window.show();
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    const double khz = double(window.cycles()) / double(t.nsecsElapsed()) * 1e6;
    rows.push_back({QStringLiteral("run window's clock over %1 s").arg(seconds), "kHz", khz,
                    run::Machine::kClockHz / 1e3, "ratio 0.98 to 1.02"});
}

// The kit's assembler against spasm-ng, as processes; without spasm-ng the
// row says so and has no ratio.
void assemblerRow(bool quick, const QString &dir) {
    const QString spasm = findSpasm();
    const AssemblerTimes t = timeAssemblers(QApplication::applicationDirPath() + "/../kit/stage",
                                            spasm, dir, quick ? 1 : 15);
    if (!t.spasmFound) {
        rows.push_back({"sh asm.bat, 2,800 lines + include, no spasm-ng", "ms cpu", t.ours, 0,
                        "ratio <= 1 (install spasm-ng or set QUORVIN_SPASM)"});
        return;
    }
    if (!t.sameBytes)
        std::fprintf(stderr, "asm.bat and spasm-ng wrote different bytes\n");
    rows.push_back({"sh asm.bat, 2,800 lines + include (floor spasm -T -L)", "ms cpu", t.ours,
                    t.spasm, "ratio <= 1"});
}

// Sources that would make a build run away, each against a one-line build.
void hostileRows(bool quick, const QString &dir) {
    for (const HostileTime &h : timeHostile(QApplication::applicationDirPath() + "/../kit/qvasm",
                                            dir, quick, quick ? 1 : 5))
        rows.push_back({h.name, "ms", h.ours, h.floor, "ours < 1000 ms"});
}

// 100 routine tests of a program of 5,000 lines, assembly included: the
// tests file read, its program assembled in memory, each test on a fresh
// machine, as `quorvin --test` does.
void testsRow(bool quick, const QString &dir) {
    QByteArray program = "\t.org 9D93h\r\n\t.db 0BBh, 6Dh\r\n\tret\r\n";
    int lines = 3, routines = 0;
    for (; lines < 5000; lines += 7, ++routines)
        program += QStringLiteral("sum%1:\r\n\tld hl, 0\r\n\tld d, 0\r\n\tld b, a\r\n"
                                  "sum%1loop:\r\n\tadd hl, de\r\n\tdjnz sum%1loop\r\n\tret\r\n")
                       .arg(routines)
                       .toLatin1();
    QByteArray tests;
    for (int i = 0; i < 100; ++i)
        tests += QStringLiteral("test \"sum %1\"\n  call sum%2 with a=10, e=%3\n  expect hl=%4\n"
                                "  keeps c, ix\n  cycles <= 1000\n\n")
                     .arg(i)
                     .arg(i * routines / 100)
                     .arg(i)
                     .arg(10 * i)
                     .toLatin1();
    writeWholeFile(dir + "/sums.z80", program);
    writeWholeFile(dir + "/sums.tests", tests);
    std::vector<double> ms;
    std::size_t passed = 0;
    for (int rep = 0; rep < (quick ? 1 : 5); ++rep) {
        z80::DiskReader reader;
        check::SuiteOptions options;
        QElapsedTimer t;
        t.start();
        const check::FileResult r =
            check::runTestsFile((dir + "/sums.tests").toStdString(), reader, options);
        ms.push_back(t.nsecsElapsed() / 1e6);
        passed = r.passed();
    }
    if (passed != 100)
        std::fprintf(stderr, "only %zu of the 100 tests passed\n", passed);
    rows.push_back(
        {"100 routine tests, 5,000 lines, with build", "ms", median(ms), 0, "<= 1000 ms"});
}

void printRows() {
    std::printf("%-42s %12s %12s %7s   %s\n", "case", "ours", "floor", "ratio", "goal");
    for (const Row &r : rows)
        std::printf("%-42s %9.1f %-3s%9.1f %-3s%6s   %s\n", qPrintable(r.name), r.ours,
                    qPrintable(r.unit), r.floor, qPrintable(r.unit),
                    r.floor > 0 ? qPrintable(QString::number(r.ours / r.floor, 'f', 2)) : "-",
                    qPrintable(r.goal));
    std::fflush(stdout);
    std::quick_exit(0);
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = QApplication::arguments().contains("--quick");
    const qsizetype sourceSize = quick ? 100 * 1024 : 10 * 1024 * 1024;
    const int templates = quick ? 50 : 1000;
    const int reps = quick ? 1 : 9;

    QTemporaryDir home;
    if (QApplication::arguments().contains("--runner")) { // the runner's rows alone
        runnerRows(quick, home.path());
        printRows();
    }
    if (QApplication::arguments().contains("--tests")) { // the tests' row alone
        testsRow(quick, home.path());
        printRows();
    }
    if (QApplication::arguments().contains("--debugger")) { // the debugger's rows alone
        debuggerRows(quick);
        Silent silent;
        Services services;
        services.root = home.filePath("Asm");
        services.messages = &silent;
        services.picker = &silent;
        services.starter = &silent;
        QDir().mkpath(services.root + "/TASM/Templates");
        Form1 form(services);
        form.resize(900, 700);
        debugStepRow(quick, home.path(), form);
        printRows();
    }
    if (QApplication::arguments().contains("--assembler")) { // the assembler's rows alone
        assemblerRow(quick, home.path());
        hostileRows(quick, home.path());
        printRows();
    }
    const QString root = home.filePath("Asm");
    QDir().mkpath(root + "/TASM/Templates");
    writeWholeFile(root + "/TASM/config.ini", "/usr/bin/tilp\r\ntilem2\r\n");
    for (int i = 0; i < 100; ++i)
        writeWholeFile(QStringLiteral("%1/TASM/Templates/t%2.txt").arg(root).arg(i), "ret\r\n");
    const QString source = home.filePath("big.z80");
    const QByteArray bytes = makeSource(sourceSize);
    writeWholeFile(source, bytes);

    // Start-up and peak memory, as whole processes.
    const QString probeExe = QApplication::applicationDirPath() + "/probe";
    {
        std::vector<double> a, b;
        for (int i = 0; i < (quick ? 1 : 15); ++i) {
            a.push_back(probe(probeExe, {}, home.path()).first);
            b.push_back(probe(probeExe, {"--bare"}, home.path()).first);
        }
        rows.push_back({"start-up to first paint (100 templates)", "ms", median(a), median(b),
                        "ratio <= 1.25"});
        std::vector<double> ma, mb;
        for (int i = 0; i < (quick ? 1 : 3); ++i) {
            ma.push_back(probe(probeExe, {"--open", source}, home.path()).second);
            mb.push_back(probe(probeExe, {"--bare", "--open", source}, home.path()).second);
        }
        rows.push_back({"peak memory, source open", "MiB", median(ma), median(mb), "ratio <= 1.5"});
    }

    Silent silent;
    Services services;
    services.root = root;
    services.messages = &silent;
    services.picker = &silent;
    services.starter = &silent;
    Form1 form(services);
    QsciScintilla bare;
    bare.setUtf8(true);

    // The floor of opening: read, convert, hand the text to a plain QScintilla.
    const auto plainOpen = [&] {
        QFile f(source);
        f.open(QIODevice::ReadOnly);
        const QByteArray utf8 = QString::fromLatin1(f.readAll()).toUtf8();
        bare.SendScintilla(QsciScintillaBase::SCI_CLEARALL);
        bare.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT,
                           static_cast<unsigned long>(utf8.size()), utf8.constData());
    };
    timed(
        "open_doc of the source", reps, [&] { form.open_doc(source); }, plainOpen, "ratio <= 1.3");
    // Shown and painted, as a user sees it: the editor with its colours and
    // margins against a plain QScintilla of the same size.
    form.resize(900, 700);
    form.show();
    bare.resize(form.Text1->size());
    bare.show();
    QApplication::processEvents();
    timed(
        "open the source, shown and painted", reps,
        [&] {
            form.open_doc(source);
            form.Text1->repaint();
        },
        [&] {
            plainOpen();
            bare.repaint();
        },
        "ratio <= 1.3");
    // A key typed in the middle of the source, painted.
    const int middle = form.Text1->lines() / 2;
    for (QsciScintilla *e : {static_cast<QsciScintilla *>(form.Text1), &bare}) {
        e->setCursorPosition(middle, 3);
        e->ensureLineVisible(middle);
        e->repaint(); // the lines above are coloured once, before the measure
    }
    const auto typeKey = [](QsciScintilla *e) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(e, &press);
        e->repaint();
    };
    timed(
        "a key typed in the middle of the source", quick ? 1 : 51, [&] { typeKey(form.Text1); },
        [&] { typeKey(&bare); }, "< 16 ms, ratio <= 1.5");

    // The program the editor knows: its analysis, a key typed with the
    // analysis on, and completion.
    const QString program = home.filePath("prog.z80");
    writeWholeFile(home.filePath("std.inc"), makeInclude(3800));
    writeWholeFile(program, makeProgram(5000));
    {
        z80::DiskReader disk;
        z80::OverlayReader cached(disk, "", "");
        const std::string path = program.toStdString();
        timed(
            "analysis, 5,000 lines + a standard include", reps,
            [&] { z80::analyse(path, cached, {}); },
            [&] {
                for (const std::string &file : {path, home.filePath("std.inc").toStdString()}) {
                    bool block = false;
                    for (const std::string &line : z80::splitLines(cached.read(file).text))
                        z80::lex(line, &block);
                }
            },
            "<= 30 ms (floor: lexing alone)");
    }
    auto *language = form.findChild<Language *>("language");
    form.open_doc(program); // the document's file from now on
    QEventLoop wait;
    QObject::connect(language->runner(), &AnalysisRunner::finished, &wait, &QEventLoop::quit);
    wait.exec();
    const QByteArray programText = form.Text1->text().toUtf8();
    bare.SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    bare.SendScintilla(QsciScintillaBase::SCI_APPENDTEXT,
                       static_cast<unsigned long>(programText.size()), programText.constData());
    for (QsciScintilla *e : {static_cast<QsciScintilla *>(form.Text1), &bare}) {
        e->setCursorPosition(2500, 1);
        e->ensureLineVisible(2500);
        e->repaint();
    }
    const auto typeKeyAndSettle = [&](QsciScintilla *e) {
        typeKey(e);
        QApplication::processEvents();
    };
    timed(
        "a key typed, 5,000 lines, analysis on", quick ? 1 : 51,
        [&] { typeKeyAndSettle(form.Text1); }, [&] { typeKeyAndSettle(&bare); }, "<= 5 ms");
    wait.exec(); // the analysis of what was typed
    QAction *complete = form.findChild<QAction *>("complete");
    QByteArray words;
    for (int i = 0; i < 3800 + 1000 + 150; ++i)
        words += "word" + QByteArray::number(i) + "\n";
    words.chop(1);
    bare.SendScintilla(QsciScintillaBase::SCI_AUTOCSETSEPARATOR, '\n');
    for (QsciScintilla *e : {static_cast<QsciScintilla *>(form.Text1), &bare})
        e->setCursorPosition(2500, 0);
    timed(
        "completion shown after Ctrl+Space", reps,
        [&] {
            complete->trigger();
            form.Text1->repaint();
            form.Text1->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        },
        [&] {
            bare.SendScintilla(QsciScintillaBase::SCI_AUTOCSHOW, 0UL, words.constData());
            bare.repaint();
            bare.SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        },
        "<= 30 ms");
    form.hide();
    bare.hide();

    const QString saved = home.filePath("saved.z80");
    timed(
        "save_doc of the source", reps, [&] { form.save_doc(saved); },
        [&] {
            QSaveFile f(saved);
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            f.commit();
        },
        "ratio <= 1.3");
    if (QFile(saved).size() != bytes.size())
        std::fprintf(stderr, "save_doc wrote the wrong size\n");

    const QString text = cp1252::decode(bytes);
    QByteArray sink;
    qsizetype length = 0;
    timed(
        "decode the source to text", reps, [&] { length = cp1252::decode(bytes).size(); },
        [&] { length = QString::fromLatin1(bytes).size(); }, "ratio <= 2");
    timed(
        "encode text to 8-bit", reps, [&] { cp1252::encode(text, &sink); },
        [&] { sink = text.toLatin1(); }, "ratio <= 2");

    // A 50 MB log, as a build shows it: its start read and shown, the lines it
    // names marked. The floor shows as much in a plain text box.
    const QString log = home.filePath("error.log");
    {
        QFile f(log);
        f.open(QIODevice::WriteOnly);
        const QByteArray line = "big.z80:12: error: a line of the log that goes on and on\n";
        for (qsizetype n = 0; n < (quick ? 1 : 50) * 1000 * 1000; n += line.size())
            f.write(line);
    }
    Form3 output;
    output.show();
    QPlainTextEdit plainLog;
    plainLog.resize(output.Text1->size());
    plainLog.show();
    timed(
        "show a 50 MB log", reps,
        [&] {
            QString shownText;
            readShownLog(log, &shownText);
            output.setText(shownText);
            form.extras()->markLog(shownText, home.path(), source);
            output.Text1->repaint();
        },
        [&] {
            QFile f(log);
            f.open(QIODevice::ReadOnly);
            plainLog.setPlainText(QString::fromUtf8(f.read(kShownLogBytes)));
            plainLog.repaint();
        },
        "< 100 ms");
    output.hide();
    plainLog.hide();

    const QString many = home.filePath("many");
    QDir().mkpath(many);
    for (int i = 0; i < templates; ++i)
        writeWholeFile(QStringLiteral("%1/template%2.txt").arg(many).arg(i), "x");
    timed(
        QStringLiteral("build catalogue (%1 templates)").arg(templates), quick ? 1 : 15,
        [&] {
            QMenu menu;
            buildCatalogue(&menu, many, [](const QByteArray &) {}, [] {});
        },
        [&] { sink = QDir(many).entryList({"*.txt"}, QDir::Files).value(0).toLatin1(); },
        "ratio <= 1.5, < 30 ms");

    assemblerRow(quick, home.path());
    hostileRows(quick, home.path());
    runnerRows(quick, home.path());
    debugStepRow(quick, home.path(), form);
    testsRow(quick, home.path());
    printRows();
}
