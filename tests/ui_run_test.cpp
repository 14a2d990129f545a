// Ctrl+F5 in the editor: the program is made as Make makes it and, when a
// fresh program was written, runs in a window of its own that takes the
// calculator's keys from the PC keyboard and keeps the last screen.

#include "packer.h"
#include "ui/form3.h"
#include "ui/runwindow.h"

#include "fakes.h"
#include "run_programs.h"

#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QLabel>

namespace {

// The build script: the program prepared by the test, unless the source says FAIL.
const QByteArray kScript = R"SH(#!/bin/sh
root=$(dirname "$0")
echo "built" > "$root/TASM/error.log"
if grep -q FAIL "$1.z80"; then exit 1; fi
cp "$root/prepared.8xp" "$root/Exec/$1.8xp"
)SH";

} // namespace

class RunWindowTest : public QObject, public WindowFixture {
    Q_OBJECT

    bool prepare(const QString &body) {
        Bytes binary = {0xBB, 0x6D};
        const Bytes code = assemble(body);
        binary.insert(binary.end(), code.begin(), code.end());
        const PackResult packed = pack8xp(binary, "DEMO");
        return !code.empty() &&
               writeBytes(tree->path("prepared.8xp"),
                          QByteArray(reinterpret_cast<const char *>(packed.file.data()),
                                     qsizetype(packed.file.size())));
    }
    RunWindow *runWindow() { return window->findChild<RunWindow *>("RunWindow"); }

private slots:
    void init() {
        setUp();
        QVERIFY(makeExecutable(tree->path("asm.bat"), kScript));
    }
    void cleanup() { tearDown(); }

    void ctrlF5MakesAndRunsTheProgramKeepingItsLastScreen() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, text
        bcall(_PutS)
        ret
text:   db "Ran in a window", 0)"));
        QVERIFY(openSource("Source/demo.z80", "ld a,1"));
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(w.Text1, Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 10000);
        RunWindow *run = runWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.form3())); // the log, shown first, keeps no keys
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(run));
        QCOMPARE(run->findChild<QLabel *>("runStatus")->text(), QString("The program returned."));
        QCOMPARE(screenText(run->session()).left(16), QString("Ran in a window "));
        QVERIFY(run->findChild<QLabel *>("runLegend")->text().contains("Esc CLEAR"));
    }

    // Presses while the build runs make one window, not one each.
    void ctrlF5PressedAgainMakesOneWindow() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare("ret"));
        QVERIFY(openSource("Source/demo.z80", "ld a,1"));
        for (int press = 0; press < 5; ++press)
            w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 10000);
        QSignalSpy finished(w.runner(), &BuildRunner::finished);
        w.makeprog_Click(); // a later Make alone makes none
        QVERIFY(finished.wait(10000));
        QCOMPARE(w.findChildren<RunWindow *>().size(), 1);
    }

    void aFailedBuildRunsNothing() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare("ret"));
        QVERIFY(openSource("Source/bad.z80", "FAIL"));
        QSignalSpy finished(w.runner(), &BuildRunner::finished);
        w.runWindow_Key();
        QVERIFY(finished.wait(10000));
        QVERIFY(!runWindow());
    }

    // Escape is CLEAR, a letter is ALPHA and its key; the program sees them
    // through _GetKey while running at the calculator's speed.
    void theKeyboardIsTheCalculatorsKeys() {
        makeWindow();
        QVERIFY(prepare(R"(
        bcall(_GetKey)
        ld (9000h), a
        bcall(_GetKey)
        ld (9001h), a
        ret)"));
        RunWindow run(tree->path("prepared.8xp"));
        run.show();
        QVERIFY(QTest::qWaitForWindowActive(&run));
        QVERIFY(!run.findChild<QCheckBox *>("runFullSpeed")->isChecked());
        QTest::keyClick(&run, Qt::Key_A, Qt::NoModifier, 0);
        QTRY_VERIFY(run.session().machine().read(0x9000) != 0);
        QTest::keyClick(&run, Qt::Key_Escape);
        QTRY_VERIFY(run.ended());
        QCOMPARE(run.session().machine().read(0x9000), std::uint8_t(0x9A)); // kCapA
        QCOMPARE(run.session().machine().read(0x9001), std::uint8_t(0x09)); // kClear
    }
};

QTEST_MAIN(RunWindowTest)
#include "ui_run_test.moc"
