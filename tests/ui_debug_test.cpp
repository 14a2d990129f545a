// Debugging a program of two files from the editor as a learner does: a
// breakpoint set by a click in the margin or by F9, Ctrl+F5 stopping there
// with the arrow on the line, F10 moving it, the registers shown and
// changed, the screen buffer shown, a step back; a breakpoint in an include
// opening the include; a map of an older build refused.

#include "appheader.h"
#include "packer.h"
#include "run/keypad.h"
#include "run/romtable.h"
#include "ui/breakpoints.h"
#include "ui/debugpane.h"
#include "ui/debugsource.h"
#include "ui/language.h"
#include "ui/runwindow.h"
#include "z80/assembler.h"
#include "z80/flashfile.h"
#include "z80/source.h"
#include "z80/sourcemap.h"

#include "base/wholefile.h"
#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include <sys/stat.h>

#include <filesystem>

namespace {

// The build script: the program and the map prepared by the test.
const QByteArray kScript = R"SH(#!/bin/sh
root=$(dirname "$0")
echo "built" > "$root/TASM/error.log"
cp "$root/prepared.8xp" "$root/Exec/$1.8xp"
cp "$root/prepared.map" "$root/Exec/$1.map"
)SH";

QByteArray mainSource() {
    QByteArray equates;
    for (const run::RomCall &c : run::romCalls())
        if (std::string(c.name) == "_ClrLCDFull")
            equates = "_ClrLCDFull .equ " + QByteArray::number(c.address) + "\n";
    return "#define bcall(x) rst 28h \\ .dw x\n" + equates + // lines 1-2
           "plotSScreen .equ 9340h\n"                        // 3
           " .org $9D93\n"                                   // 4
           " .db $BB,$6D\n"                                  // 5
           "start:\n"                                        // 6
           " bcall(_ClrLCDFull)\n"                           // 7
           " ld b,3\n"                                       // 8
           "loop:\n"                                         // 9
           " call twice\n"                                   // 10
           " djnz loop\n"                                    // 11
           "; fill the buffer's first byte\n"                // 12
           " ld hl,plotSScreen\n"                            // 13
           " ld (hl),$FF\n"                                  // 14
           " ret\n"                                          // 15
           "#include \"inc.z80\"\n";                         // 16
}
const QByteArray kInclude = "twice:\n" // 1
                            " inc a\n" // 2
                            " inc a\n" // 3
                            " ret\n";  // 4

} // namespace

class DebugTest : public QObject, public WindowFixture {
    Q_OBJECT

    // Writes the sources, and the program and map a build of them makes
    // (`stale`: the map of the sources before an edit).
    bool prepare(bool stale = false, const QByteArray &source = mainSource()) {
        if (!writeBytes(tree->path("Source/demo.z80"), source) ||
            !writeBytes(tree->path("Source/inc.z80"), stale ? "twice: ret\n" : kInclude))
            return false;
        z80::DiskReader reader;
        const z80::Assembly old =
            z80::assemble(tree->path("Source/demo.z80").toStdString(), reader, {});
        if (stale && !writeBytes(tree->path("Source/inc.z80"), kInclude))
            return false;
        const z80::Assembly a =
            z80::assemble(tree->path("Source/demo.z80").toStdString(), reader, {});
        if (!a.ok() || !old.ok())
            return false;
        const PackResult packed = pack8xp(a.bytes, "DEMO");
        const std::string map = z80::writeMap(stale ? old : a);
        return writeBytes(tree->path("prepared.8xp"),
                          QByteArray(reinterpret_cast<const char *>(packed.file.data()),
                                     qsizetype(packed.file.size()))) &&
               writeBytes(tree->path("prepared.map"), QByteArray::fromStdString(map));
    }
    RunWindow *runWindow() { return window->findChild<RunWindow *>("RunWindow"); }
    Breakpoints *breakpoints() { return window->findChild<Breakpoints *>("breakpoints"); }
    // The editor in front with the prepared program's main file open.
    Form1 &shownWithDemo() {
        Form1 &w = makeWindow(true, 50);
        if (!prepare() || !w.open_doc(tree->path("Source/demo.z80")))
            QTest::qFail("the program could not be prepared", __FILE__, __LINE__);
        w.show();
        if (!waitActive(&w))
            QTest::qFail("the editor did not come in front", __FILE__, __LINE__);
        return w;
    }
    bool pausedRun() { return runWindow() && runWindow()->paused() && !runWindow()->ended(); }
    QString status() { return runWindow()->findChild<QLabel *>("runStatus")->text(); }
    QTableWidget *registers() { return runWindow()->findChild<QTableWidget *>("debugRegisters"); }
    std::uint16_t reg(run::Reg r) { return runWindow()->session().machine().reg(r); }
    // The editor's window in front again, as after a click on it.
    bool editorInFront() {
        window->activateWindow();
        if (!waitActive(window.get(), 1000))
            QApplication::setActiveWindow(window.get()); // what a click does under Xvfb
        return QApplication::activeWindow() == window.get();
    }
    // A key in the editor, which the pause brought in front (a click may have taken it away).
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        if (QApplication::activeWindow() != window.get())
            editorInFront();
        QTest::keyClick(window->Text1, Qt::Key(k), mods);
    }
    void clickMargin(int line) {
        QsciScintilla *e = window->Text1;
        const long pos = e->positionFromLineIndex(line - 1, 0);
        const int y = int(e->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, pos)) +
                      e->textHeight(line - 1) / 2;
        const int x = e->marginWidth(0) + e->marginWidth(1) + e->marginWidth(2) / 2;
        QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    }
    void caretTo(int line) { window->Text1->setCursorPosition(line - 1, 0); }

    // An application whose pages 1 and 2 both hold code at 4000h (page 2's
    // routine on line 22), and a build script that leaves its .8xk and map.
    void writeApplication(const QString &path) {
        const QByteArray source =
            " .org $4000\n .db $80,$0F,0,0,0,0, $80,$12,1,4, $80,$44,\"Apps\", $80,$81,0\n"
            " .db $80,$90, $03,$26,$09,$04,$04,$6F,$1B,$80, $02,$0D,$40\n .block 64\n"
            " .db $80,$7F,0,0,0,0\n"
            " rst 28h\n .dw tOne-$4000\n rst 28h\n .dw tTwo-$4000\n call $50\n .dw $4027\n"
            "tOne: .dw one\n .db one>>16\n"
            "tTwo: .dw two\n .db two>>16\n"
            " .block $8000-($ & $FFFF)\n .org $14000\n"
            "one: ld a,1\n ret\n"
            " .block $8000-($ & $FFFF)\n .org $24000\n"
            "two: ld a,2\n" // 22
            " ret\n";
        QVERIFY(writeBytes(path, source));
        z80::DiskReader reader;
        const z80::Assembly a = z80::assemble(path.toStdString(), reader, {});
        QVERIFY(a.ok());
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        QVERIFY(writeBytes(tree->path("prepared.8xk"),
                           QByteArray::fromStdString(z80::flashFile(app.bytes, app.name))));
        QVERIFY(writeBytes(tree->path("prepared.map"),
                           QByteArray::fromStdString(z80::writeMap(a, app.bytes))));
        QVERIFY(makeExecutable(tree->path("asm.bat"), R"SH(#!/bin/sh
root=$(dirname "$0")
echo "built" > "$root/TASM/error.log"
cp "$root/prepared.8xk" "$root/Exec/$1.8xk"
cp "$root/prepared.map" "$root/Exec/$1.map"
)SH"));
    }
    // The names of the actions the breakpoint margin's menu offers at `line`.
    QStringList marginMenu(int line) {
        QsciScintilla *e = window->Text1;
        const long pos = e->positionFromLineIndex(line - 1, 0);
        const int y = int(e->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, pos)) +
                      e->textHeight(line - 1) / 2;
        const int x = e->marginWidth(0) + e->marginWidth(1) + e->marginWidth(2) / 2;
        QStringList names;
        QTimer::singleShot(0, [&names] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *a : menu->actions())
                    names << a->objectName();
                menu->close();
            }
        });
        emit e->customContextMenuRequested(e->viewport()->mapTo(e, QPoint(x, y)));
        return names;
    }

private slots:
    void init() {
        setUp();
        QVERIFY(makeExecutable(tree->path("asm.bat"), kScript));
    }
    void cleanup() { tearDown(); }

    void aBreakpointStopsTheRunAndTheKeysStepIt() {
        Form1 &w = shownWithDemo();
        if (QTest::currentTestFailed())
            return;
        clickMargin(10);
        QVERIFY(breakpoints()->has(10));
        caretTo(12); // a comment: the breakpoint goes to the next line with code
        key(Qt::Key_F9);
        QVERIFY(breakpoints()->has(12));

        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QVERIFY2(status().startsWith("Paused at demo.z80:10, 9D9Ah (loop): at a breakpoint"),
                 qPrintable(status()));
        QCOMPARE(breakpoints()->arrowLine(), 10);
        QVERIFY(breakpoints()->has(13) && !breakpoints()->has(12)); // bound, and moved
        auto *pane = runWindow()->findChild<DebugPane *>("debugPane");
        QVERIFY(pane && pane->isVisible());
        QCOMPARE(registers()->item(1, 0)->text(), QString("BC"));
        QVERIFY(registers()->item(1, 1)->text().startsWith("03"));

        // The pause brings the editor in front: F10 steps over the call.
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget *>(&w),
                                  kWaitMs);
        key(Qt::Key_F10);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 11, kWaitMs);
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D9D));
        QVERIFY(registers()->item(0, 1)->font().bold()); // A changed in the call

        // A register changed in the pane is the machine's.
        registers()->item(3, 1)->setText("1234");
        QCOMPARE(reg(run::Reg::HL), std::uint16_t(0x1234));
        QCOMPARE(registers()->item(3, 2)->text(), QString("4660"));

        // Ctrl+F5 continues to the breakpoint again; a step back is before the djnz.
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun() && reg(run::Reg::BC) >> 8 == 2, kWaitMs);
        QCOMPARE(breakpoints()->arrowLine(), 10);
        key(Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 11, kWaitMs);
        QCOMPARE(reg(run::Reg::BC) >> 8, 3);
        QCOMPARE(reg(run::Reg::HL), std::uint16_t(0x1234));

        // Off at line 10: the run goes on to line 13, then F10 twice fills the buffer.
        clickMargin(10);
        QVERIFY(!breakpoints()->has(10));
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 13, kWaitMs);
        key(Qt::Key_F10);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 14, kWaitMs);
        key(Qt::Key_F10);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 15, kWaitMs);
        const QImage buffer =
            runWindow()->findChild<QLabel *>("debugScreen_plotSScreen")->pixmap().toImage();
        QVERIFY(qGray(buffer.pixel(1, 1)) < 128 && qGray(buffer.pixel(20, 1)) > 128);

        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended(), kWaitMs);
        QCOMPARE(breakpoints()->arrowLine(), 0);
        QCOMPARE(status(), QString("The program returned."));
    }

    // F11 with nothing running makes the program and pauses before its
    // first statement; a breakpoint in the include opens it at its line,
    // and the main file keeps its own breakpoint meanwhile.
    void aBreakpointInAnIncludeOpensIt() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare());
        QVERIFY(w.open_doc(tree->path("Source/inc.z80")));
        w.show();
        QVERIFY(waitActive(&w));
        caretTo(3);
        key(Qt::Key_F9);
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        QVERIFY(!breakpoints()->has(3));
        caretTo(8);
        key(Qt::Key_F9);

        key(Qt::Key_F11);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D95));
        QCOMPARE(breakpoints()->arrowLine(), 7);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 8, kWaitMs);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.currentFile().path().endsWith("inc.z80") && breakpoints()->arrowLine() == 3, kWaitMs);
        QVERIFY(breakpoints()->has(3));
        QVERIFY2(status().startsWith("Paused at inc.z80:3"), qPrintable(status()));
        // Out of the call: back in the main file, whose breakpoint is kept.
        key(Qt::Key_F11, Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(w.currentFile().path().endsWith("demo.z80") &&
                                     breakpoints()->arrowLine() == 11,
                                 kWaitMs);
        QVERIFY(breakpoints()->has(8));
    }

    // Ctrl+Shift+F10 runs to the caret's line; a label's byte watched from
    // the context menu stops the run after the instruction that writes it.
    void runToTheCaretAndAWatchedLabel() {
        Form1 &w = shownWithDemo();
        if (QTest::currentTestFailed())
            return;
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        caretTo(11);
        key(Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 11, kWaitMs);
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D9D));
        w.Text1->setCursorPosition(12, 9); // in "plotSScreen"
        w.findChild<QAction *>("watchLabel")->trigger();
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 15, kWaitMs);
        QVERIFY2(status().contains("after a write to 9340h (plotSScreen)"), qPrintable(status()));
        QCOMPARE(runWindow()->session().machine().read(0x9340), std::uint8_t(0xFF));
    }

    // A label's byte watched for reads stops the run after the instruction
    // that reads it, and its word after one that reads the byte after it;
    // a byte's watch alone lets that pass.
    void aReadWatchStopsAfterTheRead() {
        QByteArray source = mainSource();
        source.replace(" ld (hl),$FF\n", " ld a,(plotSScreen)\n ld a,(plotSScreen+1)\n");
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare(false, source));
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        w.show();
        QVERIFY(waitActive(&w));
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        w.Text1->setCursorPosition(12, 9); // in "plotSScreen" of "ld hl,plotSScreen"
        w.findChild<QAction *>("watchLabelRead")->trigger();
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 15, kWaitMs);
        QVERIFY2(status().contains("demo.z80:15") &&
                     status().contains("after a read of 9340h (plotSScreen)"),
                 qPrintable(status()));
        // The word's watch on, the byte's off: the read of the second byte stops it.
        w.Text1->setCursorPosition(12, 9);
        w.findChild<QAction *>("watchLabelWordRead")->trigger();
        w.findChild<QAction *>("watchLabelRead")->trigger();
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 16, kWaitMs);
        QVERIFY2(status().contains("after a read of 9341h (plotSScreen+1)"), qPrintable(status()));
        // From the start again the word's watch stops at the first read;
        // then the byte's watch alone lets the read of the second byte pass.
        key(Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 15, kWaitMs);
        w.Text1->setCursorPosition(12, 9);
        w.findChild<QAction *>("watchLabelWordRead")->trigger();
        w.findChild<QAction *>("watchLabelRead")->trigger();
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended(), 30000);
        QCOMPARE(breakpoints()->arrowLine(), 0);
    }

    // The pane's watch expressions are there again at the next start.
    void watchExpressionsAreKeptAcrossSessions() {
        Form1 &w = shownWithDemo();
        if (QTest::currentTestFailed())
            return;
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        auto *watches = runWindow()->findChild<QTableWidget *>("debugWatches");
        watches->item(0, 0)->setText("{plotSScreen}, dec");
        watches->item(1, 0)->setText("b");
        window.reset();
        Form1 &again = makeWindow(true, 50);
        QVERIFY(again.open_doc(tree->path("Source/demo.z80")));
        again.show();
        QVERIFY(waitActive(&again));
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        watches = runWindow()->findChild<QTableWidget *>("debugWatches");
        QCOMPARE(watches->rowCount(), 3);
        QCOMPARE(watches->item(0, 0)->text(), QString("{plotSScreen}, dec"));
        QCOMPARE(watches->item(1, 0)->text(), QString("b"));
    }

    // The breakpoints of every file are there again at the next start.
    void breakpointsAreKeptAcrossSessions() {
        Form1 &w = makeWindow();
        QVERIFY(prepare());
        QVERIFY(w.open_doc(tree->path("Source/inc.z80")));
        caretTo(3);
        w.findChild<QAction *>("toggleBreakpoint")->trigger();
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        caretTo(10);
        w.findChild<QAction *>("toggleBreakpoint")->trigger();
        // Read again from disk, the file keeps its dot.
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        QVERIFY(breakpoints()->has(10));
        window.reset();
        Form1 &again = makeWindow();
        QVERIFY(again.open_doc(tree->path("Source/demo.z80")));
        QVERIFY(breakpoints()->has(10));
        QCOMPARE(breakpoints()->all().value(tree->path("Source/inc.z80")), QList<int>{3});
    }

    // An application's pages 1 and 2 both hold code at 4000h: a breakpoint
    // on page 2's line stops there while page 2 is mapped, not when page 1's
    // routine (called first) runs at the same address, and the pause names
    // the page; the map of the .8xk the build made is the application's own.
    void anApplicationsBreakpointStopsOnItsOwnPage() {
        const QString path = tree->path("Source/apps.z80");
        writeApplication(path);
        if (QTest::currentTestFailed())
            return;
        Form1 &w = makeWindow(true, 50);
        QVERIFY(w.open_doc(path));
        w.show();
        QVERIFY(waitActive(&w));
        caretTo(22);
        key(Qt::Key_F9);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QVERIFY2(status().startsWith("Paused at apps.z80:22, 02:4000h (two): at a breakpoint"),
                 qPrintable(status()));
        QCOMPARE(reg(run::Reg::AF) >> 8, 1); // page 1's routine ran first
        QCOMPARE(breakpoints()->arrowLine(), 22);
    }

    // Ctrl+Shift+F10 on page 2's line runs past 4000h while page 1 is mapped
    // there (its routine runs first) and stops on page 2, as a breakpoint does.
    void runToTheCaretOnAnApplicationsLaterPage() {
        const QString path = tree->path("Source/apps.z80");
        writeApplication(path);
        if (QTest::currentTestFailed())
            return;
        Form1 &w = makeWindow(true, 50);
        QVERIFY(w.open_doc(path));
        w.show();
        QVERIFY(waitActive(&w));
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        caretTo(22);
        key(Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 22, kWaitMs);
        QVERIFY2(status().startsWith("Paused at apps.z80:22, 02:4000h (two)"),
                 qPrintable(status()));
        QCOMPARE(reg(run::Reg::AF) >> 8, 1); // page 1's routine ran first
    }

    // From the margin's menu: a hit count, a condition in the assembler's
    // expressions, a log message that does not stop, a breakpoint turned
    // off; all kept for the next session. Shift+F5 stops the run and
    // Ctrl+Shift+F5 runs it again with them.
    void aBreakpointsConditionHitCountAndLogMessage() {
        Form1 &w = shownWithDemo();
        if (QTest::currentTestFailed())
            return;
        FakeMessageBox *messages = &tree->messages;
        auto act = [&](const char *name, int line) {
            caretTo(line);
            w.findChild<QAction *>(name)->trigger();
        };
        clickMargin(10);
        // A right click on the dot offers its settings; off a dot, nothing.
        QCOMPARE(marginMenu(10), QStringList({"breakpointEnabled", "breakpointCondition",
                                              "breakpointHitCount", "breakpointLog"}));
        QCOMPARE(marginMenu(11), QStringList());
        messages->numbers.push_back(2);
        act("breakpointHitCount", 10);
        QCOMPARE(breakpoints()->settings(breakpoints()->file(), 10).hitCount, 2);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QCOMPARE(reg(run::Reg::BC) >> 8, 2); // the second time round the loop
        // The pause brings the editor in front (after the run window's own start).
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget *>(&w),
                                  kWaitMs);

        // A name the program lacks is refused while its labels are known.
        messages->textAnswers = {QString("lives > 2"), QString("b = 1 && (plotSScreen) = 0")};
        act("breakpointCondition", 10);
        QVERIFY2(messages->shown.filter("'lives'").size() == 1,
                 qPrintable(messages->shown.join('|')));
        QCOMPARE(breakpoints()->settings(breakpoints()->file(), 10).condition,
                 QString("b = 1 && (plotSScreen) = 0"));
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun() && reg(run::Reg::BC) >> 8 == 1, kWaitMs);

        // Off, the run passes line 10 even from the first time.
        clickMargin(14);
        messages->textAnswers = {QString("hl={hl} buf={(plotSScreen)} next={{$ + 1}}")};
        act("breakpointLog", 14);
        messages->numbers.push_back(0);
        act("breakpointHitCount", 10);
        act("breakpointEnabled", 10);
        QVERIFY(!breakpoints()->settings(breakpoints()->file(), 10).enabled);
        QVERIFY(breakpoints()->has(10));
        key(Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier); // from the start again
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended(), kWaitMs);
        const QString log = runWindow()->findChild<QPlainTextEdit *>("debugLog")->toPlainText();
        // ld (hl),$FF \ ret: the word after the 36h is FFh, C9h
        QVERIFY2(log.contains("hl=9340h buf=00h next=C9FFh"), qPrintable(log));

        // Enabled again: Ctrl+Shift+F5 runs again and stops; Shift+F5 stops.
        act("breakpointEnabled", 10);
        key(Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun() && reg(run::Reg::BC) >> 8 == 1, kWaitMs);
        key(Qt::Key_F5, Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended(), kWaitMs);
        QCOMPARE(status(), QString("Stopped."));
        // Stopped while paused: the window's button no longer offers to continue.
        auto *pause = runWindow()->findChild<QPushButton *>("runPause");
        QVERIFY(!pause->isEnabled() && !pause->isChecked());
        QCOMPARE(pause->text(), QString("Pause"));
        messages->numbers.push_back(1);
        act("breakpointHitCount", 10);

        window.reset();
        makeWindow();
        QVERIFY(window->open_doc(tree->path("Source/demo.z80")));
        const BreakpointSettings kept = breakpoints()->settings(breakpoints()->file(), 10);
        QCOMPARE(kept.condition, QString("b = 1 && (plotSScreen) = 0"));
        QCOMPARE(kept.hitCount, 1);
        QVERIFY(kept.enabled);
        QCOMPARE(breakpoints()->settings(breakpoints()->file(), 14).log,
                 QString("hl={hl} buf={(plotSScreen)} next={{$ + 1}}"));
    }

    // Paused in the include: the call still open names its caller's line,
    // where a double-click goes; a watch shows a label's byte in binary; the
    // stopwatch counts from a click.
    void theCallsWatchesAndStopwatch() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare());
        QVERIFY(w.open_doc(tree->path("Source/inc.z80")));
        w.show();
        QVERIFY(waitActive(&w));
        caretTo(2);
        key(Qt::Key_F9);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        auto *calls = runWindow()->findChild<QTableWidget *>("debugCalls");
        QCOMPARE(calls->rowCount(), 1);
        QVERIFY2(calls->item(0, 1)->text().startsWith("demo.z80:10"),
                 qPrintable(calls->item(0, 1)->text()));
        emit calls->cellDoubleClicked(0, 1);
        QTRY_VERIFY_WITH_TIMEOUT(w.currentFile().path().endsWith("demo.z80"), kWaitMs);
        int line = 0, index = 0;
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line + 1, 10);

        // Hovering a register or a label says what it holds now.
        auto *language = w.findChild<Language *>();
        QCOMPARE(language->hoverText(w.Text1->positionFromLineIndex(7, 5)).section('\n', 0, 0),
                 QString("Now: B = 03h (3)"));
        QVERIFY2(language->hoverText(w.Text1->positionFromLineIndex(8, 1))
                     .startsWith("Now: loop = 9D9Ah, byte there CDh"),
                 qPrintable(language->hoverText(w.Text1->positionFromLineIndex(8, 1))));

        // The OS call made before, by name, with the line that made it.
        auto *osCalls = runWindow()->findChild<QTableWidget *>("debugOsCalls");
        QCOMPARE(osCalls->rowCount(), 1);
        QCOMPARE(osCalls->item(0, 0)->text(), QString("_ClrLCDFull"));
        QCOMPARE(osCalls->item(0, 3)->text(), QString("demo.z80:7"));

        auto *watches = runWindow()->findChild<QTableWidget *>("debugWatches");
        watches->item(0, 0)->setText("b, dec");
        QCOMPARE(watches->rowCount(), 2);
        watches->item(1, 0)->setText("(plotSScreen), bin");
        QCOMPARE(watches->item(0, 1)->text(), QString("3"));
        QCOMPARE(watches->item(1, 1)->text(), QString("00000000b"));
        // Keys typed in the pane are its own: Shift there is no 2ND.
        runWindow()->activateWindow();
        watches->setFocus();
        QTest::keyPress(watches, Qt::Key_Shift);
        QVERIFY(!runWindow()->session().machine().keypad().held(run::sk::Second));
        QTest::keyRelease(watches, Qt::Key_Shift);
        QTest::mouseClick(runWindow()->findChild<QWidget *>("runScreen"), Qt::LeftButton);
        QTest::keyPress(runWindow(), Qt::Key_Shift);
        QVERIFY(runWindow()->session().machine().keypad().held(run::sk::Second));
        QTest::keyRelease(runWindow(), Qt::Key_Shift);
        auto *stopwatch = runWindow()->findChild<QPushButton *>("debugStopwatch");
        stopwatch->click();
        QCOMPARE(stopwatch->text(), QString("Stopwatch: 0 T-states"));
        QVERIFY(w.open_doc(tree->path("Source/inc.z80")));
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun() && reg(run::Reg::BC) >> 8 == 2, kWaitMs);
        QVERIFY(stopwatch->text() != QString("Stopwatch: 0 T-states"));
        QCOMPARE(watches->item(0, 1)->text(), QString("2"));
        QVERIFY(watches->item(0, 1)->font().bold()); // changed since the last pause
    }

    // A check stops the run at the line at fault; turned off in the pane's
    // Log tab, the run from the start again goes past it to its end.
    void aCheckTurnedOffInThePane() {
        QByteArray source = mainSource();
        source.replace(" bcall(_ClrLCDFull)\n", " ld iy,0\n"); // line 7
        source.replace(" ld b,3\n", " bcall(_ClrLCDFull)\n");  // line 8
        source.replace("loop:\n", " ld iy,89F0h\n");           // line 9
        source.replace(" call twice\n djnz loop\n", "");
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare(false, source));
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        w.show();
        QVERIFY(waitActive(&w));
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QVERIFY2(status().startsWith("Paused at demo.z80:8") && status().contains("IY"),
                 qPrintable(status()));
        QCOMPARE(breakpoints()->arrowLine(), 8);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget *>(&w),
                                  kWaitMs);
        auto *iy = runWindow()->findChild<QCheckBox *>("debugCheckIy");
        QVERIFY(iy && iy->isChecked());
        iy->click();
        key(Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended(), kWaitMs);
        QCOMPARE(status(), QString("The program returned."));
    }

    // A map another build wrote is not used: the pane says so and the run goes on.
    void aMapOfAnOlderBuildIsRefused() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare(true));
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        w.show();
        QVERIFY(waitActive(&w));
        caretTo(10);
        key(Qt::Key_F9);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 30000);
        const QString said = runWindow()->findChild<QLabel *>("debugWhere")->text();
        QVERIFY2(said.startsWith(DebugSource::kChanged), qPrintable(said));
        QVERIFY(runWindow()->findChild<DebugPane *>("debugPane")->isVisible());
    }

    // The map and the sources it names are read whatever their line ends (a
    // lone CR, as old Macintosh editors write, ends a line too); a FIFO or a
    // file past the reader's limit where a map or a source should be is
    // passed over at once, never waited on nor read into memory.
    void whatTheBuildLeftIsReadWhateverItsLineEndsAndNeverWaitedOn() {
        const std::string program = tree->path("Exec/demo.8xp").toStdString();
        const std::string folder = tree->path("Source").toStdString();
        const std::filesystem::path map = tree->path("Exec/demo.map").toStdString();
        const std::filesystem::path include = tree->path("Source/inc.z80").toStdString();
        std::vector<std::uint8_t> bytes;
        for (const QByteArray &end : {QByteArray("\r"), QByteArray("\r\n")}) {
            QVERIFY(writeBytes(tree->path("Source/demo.z80"), mainSource().replace("\n", end)));
            QVERIFY(
                writeBytes(tree->path("Source/inc.z80"), QByteArray(kInclude).replace("\n", end)));
            z80::DiskReader reader;
            const z80::Assembly a =
                z80::assemble(tree->path("Source/demo.z80").toStdString(), reader, {});
            QVERIFY(a.ok());
            bytes = a.bytes;
            QVERIFY(writeBytes(QString::fromStdString(map.string()),
                               QByteArray::fromStdString(z80::writeMap(a)).replace("\n", end)));
            std::string error;
            const auto s = DebugSource::beside(program, bytes, folder, &error);
            QVERIFY2(s && s->kind() == DebugSource::Kind::Map, error.c_str());
            QCOMPARE(s->files().size(), size_t(2));
            QCOMPARE(s->lineText({s->files()[0], 13}), std::string("ld hl,plotSScreen"));
            QCOMPARE(s->lineText({include.string(), 2}), std::string("inc a"));
        }
        std::string error;
        std::filesystem::remove(include);
        QCOMPARE(mkfifo(include.c_str(), 0600), 0);
        auto s = DebugSource::beside(program, bytes, folder, &error);
        QVERIFY(s && s->kind() == DebugSource::Kind::Map);
        QCOMPARE(s->lineText({include.string(), 2}), std::string());
        std::filesystem::remove(include);
        QVERIFY(writeBytes(QString::fromStdString(include.string()), kInclude));
        std::filesystem::resize_file(include, base::kMaxFileSize + 1); // sparse: no disk used
        s = DebugSource::beside(program, bytes, folder, &error);
        QCOMPARE(s->lineText({include.string(), 2}), std::string());

        std::filesystem::remove(map);
        QCOMPARE(mkfifo(map.c_str(), 0600), 0);
        s = DebugSource::beside(program, bytes, folder, &error);
        QVERIFY(s && s->kind() == DebugSource::Kind::Labels && error.empty());
    }
    // The last key pressed says how the run starts, whatever came before:
    // F10 whose build failed, then Ctrl+F5, runs to the end; F10 then Ctrl+F5
    // before the build ended runs too; Ctrl+F5 then F10 pauses at the start.
    void theLastKeySaysWhetherTheRunPausesAtItsStart() {
        Form1 &w = makeWindow(false, 50);
        QVERIFY(prepare());
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        bool fails = true;
        tree->starter.onStart = [&](const FakeStarter::Call &) {
            if (!fails)
                for (const char *ext : {".8xp", ".map"})
                    QVERIFY(writeBytes(tree->path("Exec/demo") + ext,
                                       readBytes(tree->path("prepared") + ext)));
        };
        w.show();
        QVERIFY(waitActive(&w));
        key(Qt::Key_F10);
        QVERIFY(!runWindow());
        fails = false;
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), kWaitMs);
        QCOMPARE(status(), QString("The program returned."));

        tree->starter.endAtOnce = false;
        for (const auto &[first, second, pauses] :
             {std::tuple{Qt::Key_F10, Qt::Key_F5, false}, {Qt::Key_F5, Qt::Key_F10, true}}) {
            const QPointer<RunWindow> before = runWindow();
            QVERIFY(editorInFront());
            key(first, first == Qt::Key_F5 ? Qt::ControlModifier : Qt::NoModifier);
            key(second, second == Qt::Key_F5 ? Qt::ControlModifier : Qt::NoModifier);
            tree->starter.lastWatch->finish();
            QTRY_VERIFY_WITH_TIMEOUT(!before, kWaitMs);
            QTRY_VERIFY_WITH_TIMEOUT(runWindow()->ended() || pausedRun(), kWaitMs);
            QCOMPARE(pausedRun(), pauses);
        }
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D95));
    }
    // Made again while paused (the code before the loop shorter now), then
    // run again from the start: the run is the new build's, and so are the
    // addresses its breakpoints and arrow stand for.
    void aRestartAfterMakeDebugsTheNewBuild() {
        Form1 &w = makeWindow(false, 50);
        QVERIFY(prepare());
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        tree->starter.onStart = [&](const FakeStarter::Call &) {
            QVERIFY(writeBytes(tree->path("TASM/error.log"), "built\n"));
            for (const char *ext : {".8xp", ".map"})
                QVERIFY(writeBytes(tree->path("Exec/demo") + ext,
                                   readBytes(tree->path("prepared") + ext)));
        };
        w.show();
        QVERIFY(waitActive(&w));
        caretTo(10);
        key(Qt::Key_F9);
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), kWaitMs);
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D9A));

        QByteArray source = mainSource();
        source.replace(" bcall(_ClrLCDFull)\n", " nop\n"); // 3 bytes less
        QVERIFY(prepare(false, source));
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        QSignalSpy made(w.runner(), &BuildRunner::finished);
        w.makeprog_Click();
        QVERIFY(made.wait(kWaitMs));
        key(Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), kWaitMs);
        QCOMPARE(reg(run::Reg::PC), std::uint16_t(0x9D98));
        QVERIFY2(status().startsWith("Paused at demo.z80:10, 9D98h (loop)"), qPrintable(status()));
        QCOMPARE(breakpoints()->arrowLine(), 10);
    }
    // F10 with nothing running: the run's window shows paused without
    // taking the keys (it tells the window manager so), which stay the
    // editor's, where they step it; given them, it took F10 for the
    // calculator's VARS. Ctrl+F5's window takes them, for the program.
    void aRunStartedPausedLeavesTheKeysToTheEditor() {
        Form1 &w = shownWithDemo();
        if (QTest::currentTestFailed())
            return;
        key(Qt::Key_F10);
        QTRY_VERIFY_WITH_TIMEOUT(pausedRun(), 30000);
        QVERIFY(runWindow()->testAttribute(Qt::WA_ShowWithoutActivating));
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget *>(&w),
                                  kWaitMs);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
        QTRY_COMPARE_WITH_TIMEOUT(breakpoints()->arrowLine(), 8, kWaitMs);
        key(Qt::Key_F5, Qt::ShiftModifier);
        const QPointer<RunWindow> paused = runWindow();
        key(Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!paused && runWindow() && runWindow()->ended(), 30000);
        QVERIFY(!runWindow()->testAttribute(Qt::WA_ShowWithoutActivating));
    }
    // The run pauses in the include while the editor's text is changed: the
    // question about saving it is up when Ctrl+F5's later build ends (the
    // question's own event loop delivers it) and its run takes the window's
    // place. That pause is over: no arrow stays for it beside the new run.
    void aPauseWhoseRunWasReplacedDuringTheSaveQuestionShowsNoArrow() {
        QByteArray source = mainSource();
        source.replace(" bcall(_ClrLCDFull)\n", "wait: ld a,(8000h)\n or a\n jr z,wait\n");
        Form1 &w = makeWindow(false, 50);
        QVERIFY(prepare(false, source));
        tree->starter.onStart = [&](const FakeStarter::Call &) {
            QVERIFY(writeBytes(tree->path("TASM/error.log"), "built\n"));
            for (const char *ext : {".8xp", ".map"})
                QVERIFY(writeBytes(tree->path("Exec/demo") + ext,
                                   readBytes(tree->path("prepared") + ext)));
        };
        QVERIFY(w.open_doc(tree->path("Source/inc.z80")));
        w.findChild<QAction *>("toggleBreakpoint")->trigger(); // line 1, "twice:", binds to 2
        QVERIFY(w.open_doc(tree->path("Source/demo.z80")));
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->cycles() > 10000, kWaitMs);
        const QPointer<RunWindow> first = runWindow();
        tree->starter.endAtOnce = false;
        w.runWindow_Key();
        w.Text1->append("; more\n");
        tree->messages.answers.push_back(MessageBox::Answer::Discard);
        tree->messages.onAskSave = [&] {
            tree->starter.lastWatch->finish();
            QTRY_VERIFY_WITH_TIMEOUT(!first, kWaitMs);
        };
        first->session().machine().write(0x8000, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!first, kWaitMs);
        QVERIFY(runWindow() && !runWindow()->paused());
        QTRY_VERIFY_WITH_TIMEOUT(runWindow()->cycles() > 10000, kWaitMs);
        QCOMPARE(breakpoints()->arrowLine(), 0);
        QCOMPARE(tree->messages.shown.size(), 1);
    }
};

QTEST_MAIN(DebugTest)
#include "ui_debug_test.moc"
