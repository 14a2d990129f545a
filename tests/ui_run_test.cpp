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
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

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
    // A window whose builds are made by a fake script that writes the
    // program `body` assembles, as Ctrl+F5 needs it.
    Form1 &builtByTheFakeScript(const QString &body) {
        Form1 &w = makeWindow(false, 50);
        if (!prepare(body) || !openSource("Source/demo.z80", "ld a,1"))
            QTest::qFail("the program could not be prepared", __FILE__, __LINE__);
        const QByteArray program = readBytes(tree->path("prepared.8xp"));
        tree->starter.onStart = [this, program](const FakeStarter::Call &) {
            QVERIFY(writeBytes(tree->path("Exec/demo.8xp"), program));
        };
        return w;
    }
    RunWindow *runWindow() { return window->findChild<RunWindow *>("RunWindow"); }
    // The home screen's first row as the window shows it now.
    static QString shownRow(const RunWindow &run) {
        const QImage image = run.findChild<RunScreen *>("runScreen")->image();
        if (image.isNull())
            return {};
        const auto text =
            run::homeText([&image](int x, int y) { return qGray(image.pixel(x, y)) < 128; });
        return QString::fromStdU32String(text).left(16).trimmed();
    }

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
        QVERIFY(waitActive(&w));
        QTest::keyClick(w.Text1, Qt::Key_F5, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 30000);
        RunWindow *run = runWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.form3())); // the log, shown first, keeps no keys
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget *>(run),
                                  kWaitMs);
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
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 30000);
        QSignalSpy finished(w.runner(), &BuildRunner::finished);
        w.makeprog_Click(); // a later Make alone makes none
        QVERIFY(finished.wait(60000));
        QCOMPARE(w.findChildren<RunWindow *>().size(), 1);
    }

    // A build that ended before the key's handler waited for it (a busy
    // machine runs the script before the editor again) still runs its program.
    void aBuildThatEndedAtOnceStillOpensItsWindow() {
        Form1 &w = builtByTheFakeScript("ret");
        if (QTest::currentTestFailed())
            return;
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), 30000);
        QCOMPARE(tree->starter.calls.size(), 1);
    }

    // Ctrl+F5 whose build ended at once runs it; pressed again, then Make
    // before that build ends: Make's build replaced the run's, and its end
    // opens no window (the user asked for a build). Ctrl+F5 then still runs.
    void aMakeAfterCtrlF5ReplacesTheRun() {
        Form1 &w = builtByTheFakeScript("ret");
        if (QTest::currentTestFailed())
            return;
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow()->ended(), kWaitMs);
        RunWindow *first = runWindow();
        tree->starter.endAtOnce = false;
        w.runWindow_Key();
        w.makeprog_Click();
        tree->starter.lastWatch->finish();
        QSignalSpy finished(w.runner(), &BuildRunner::finished);
        w.Timer1_Timer(); // Make's result is due
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.findChildren<RunWindow *>(), QList<RunWindow *>{first});
        QVERIFY(first->isVisible());
        w.runWindow_Key();
        tree->starter.lastWatch->finish();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow() && runWindow() != first && runWindow()->ended(),
                                 kWaitMs);
    }

    // Ctrl+F5 again while the program still runs: its window gives way to
    // the new one, which goes on running under the debugger after the old
    // one is gone (the old one's end took the new one's debugger with it).
    void ctrlF5AgainWhileItRunsReplacesTheWindow() {
        Form1 &w = builtByTheFakeScript("forever: jr forever");
        if (QTest::currentTestFailed())
            return;
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow(), kWaitMs);
        const QPointer<RunWindow> first = runWindow();
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(!first, kWaitMs);
        RunWindow *second = runWindow();
        QVERIFY(second && !second->ended());
        const std::uint64_t then = second->session().machine().cycles();
        QTRY_VERIFY_WITH_TIMEOUT(second->session().machine().cycles() > then + 100000, kWaitMs);
        QCOMPARE(w.findChildren<RunWindow *>().size(), 1);
    }

    // Ctrl+F5 pressed again, and the old window asks for a file while that
    // build runs: the build's end, while the question is up (the dialog's
    // own event loop delivers it), gives the window's place to the new run;
    // the old one, the dialog's parent, goes after the answer: the screen
    // and the recording are saved where asked, nothing is sent to a run
    // that has ended.
    void aWindowReplacedWhileItAsksForAFileGoesAfterTheAnswer() {
        Form1 &w = builtByTheFakeScript("forever: jr forever");
        if (QTest::currentTestFailed())
            return;
        w.runWindow_Key();
        QTRY_VERIFY_WITH_TIMEOUT(runWindow(), kWaitMs);
        tree->starter.endAtOnce = false;
        for (const char *button : {"runSaveScreen", "runRecord", "runSend"}) {
            const QPointer<RunWindow> old = runWindow();
            auto next = [&]() -> RunWindow * {
                for (RunWindow *run : w.findChildren<RunWindow *>())
                    if (run != old)
                        return run;
                return nullptr;
            };
            auto *ask = old->findChild<QPushButton *>(button);
            if (ask->isCheckable())
                ask->click(); // the recording starts; stopped, it asks
            w.runWindow_Key();
            const QString file = tree->path(QStringLiteral("%1.out").arg(button));
            tree->picker.answers.push_back(file);
            tree->picker.onShow = [&] {
                tree->starter.lastWatch->finish();
                QTRY_VERIFY_WITH_TIMEOUT(next(), kWaitMs);
                QVERIFY(old && old->ended()); // closed, its run no longer goes on
            };
            ask->click();
            QCOMPARE(QFileInfo::exists(file), QByteArray(button) != "runSend");
            QTRY_VERIFY_WITH_TIMEOUT(!old, kWaitMs);
            RunWindow *run = next();
            QVERIFY(run && !run->ended() && run->sentFiles().isEmpty());
            const std::uint64_t then = run->cycles();
            QTRY_VERIFY_WITH_TIMEOUT(run->cycles() > then + 100000, kWaitMs);
        }
    }

    void aFailedBuildRunsNothing() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(prepare("ret"));
        QVERIFY(openSource("Source/bad.z80", "FAIL"));
        QSignalSpy finished(w.runner(), &BuildRunner::finished);
        w.runWindow_Key();
        // A build that ended before the key's handler asked is finished within it.
        QVERIFY(finished.count() || finished.wait(60000));
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
        QVERIFY(waitActive(&run));
        QVERIFY(!run.findChild<QCheckBox *>("runFullSpeed")->isChecked());
        QTest::keyClick(&run, Qt::Key_A, Qt::NoModifier, 0);
        QTRY_VERIFY_WITH_TIMEOUT(run.session().machine().read(0x9000) != 0, kWaitMs);
        QTest::keyClick(&run, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
        QCOMPARE(run.session().machine().read(0x9000), std::uint8_t(0x9A)); // kCapA
        QCOMPARE(run.session().machine().read(0x9001), std::uint8_t(0x09)); // kClear
    }

    // The keypad beside the screen gives the keys a PC keyboard lacks (STO),
    // a `+` typed with Shift is the + key, not 2ND and +; and a recording
    // saves every screen the program showed as an animated GIF.
    void theKeypadSymbolsAndARecording() {
        makeWindow();
        QVERIFY(prepare(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        bcall(_GetKey)
        ld (9000h), a
        ld l, a
        ld h, 0
        bcall(_DispHL)
        bcall(_GetKey)
        ld (9001h), a
        bcall(_GetKey)
        ret)"));
        RunWindow run(tree->path("prepared.8xp"));
        run.setFilePicker(&tree->picker);
        run.show();
        QVERIFY(waitActive(&run));
        auto *record = run.findChild<QPushButton *>("runRecord");
        record->click();
        QVERIFY(run.recording());
        auto *sto = run.findChild<QPushButton *>("runKey2a");
        QVERIFY(sto);
        QTest::mousePress(sto, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(run.session().machine().read(0x9000), std::uint8_t(0x8A),
                                  kWaitMs); // kStore
        QTest::mouseRelease(sto, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("138"), kWaitMs);
        QTest::keyPress(&run, Qt::Key_Shift);
        QTest::keyClick(&run, Qt::Key_Plus, Qt::ShiftModifier);
        QTest::keyRelease(&run, Qt::Key_Shift);
        QTRY_COMPARE_WITH_TIMEOUT(run.session().machine().read(0x9001), std::uint8_t(0x80),
                                  kWaitMs); // kAdd
        const QString gif = tree->path("run.gif");
        tree->picker.answers.push_back(gif);
        record->click();
        QVERIFY(!run.recording());
        QImageReader reader(gif, "gif");
        QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
        QVERIFY(reader.imageCount() >= 2);
        QImage last;
        for (int i = 0; i < reader.imageCount(); ++i)
            last = reader.read();
        QCOMPARE(last.size(), QSize(96, 64));
        const auto text =
            run::homeText([&last](int x, int y) { return qGray(last.pixel(x, y)) < 128; });
        QCOMPARE(QString::fromStdU32String(text).left(16).trimmed(), QString("138"));
        // Started and stopped by the window's own call, as by the button.
        run.setRecording(true);
        QVERIFY(run.recording() && record->isChecked());
        tree->picker.answers.push_back(tree->path("again.gif"));
        run.setRecording(false);
        QVERIFY(!run.recording() && !record->isChecked());
        QCOMPARE(tree->picker.calls.size(), 2);
        QVERIFY(QImageReader(tree->path("again.gif"), "gif").canRead());
        QTest::keyClick(&run, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
    }

    // What OS calls draw shows while the program runs, not only at its end:
    // a counter drawn by _DispHL at every key.
    void aCounterDrawnByTheOsRepaintsAtEveryKey() {
        makeWindow();
        QVERIFY(prepare(R"(
        bcall(_ClrLCDFull)
        ld hl, 0
        ld (9000h), hl
again:  bcall(_HomeUp)
        ld hl, (9000h)
        bcall(_DispHL)
        bcall(_GetKey)
        cp 09h                  ; kClear
        ret z
        ld hl, (9000h)
        inc hl
        ld (9000h), hl
        jr again)"));
        RunWindow run(tree->path("prepared.8xp"));
        run.show();
        QVERIFY(waitActive(&run));
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("0"), kWaitMs);
        QTest::keyClick(&run, Qt::Key_5);
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("1"), kWaitMs);
        QTest::keyClick(&run, Qt::Key_Enter);
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("2"), kWaitMs);
        QVERIFY(!run.ended());
        QTest::keyClick(&run, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
    }

    // A file whose checksum is wrong is refused with a "Run anyway" button
    // that runs it; reading a TI-84 Plus port on the TI-83 Plus is said; the
    // model choice runs it again on a TI-84 Plus, which port 2 tells apart
    // (bit 7 set; WikiTI, 83Plus:Ports:02).
    void runAnywayAndTheModelChoice() {
        makeWindow();
        QVERIFY(prepare(R"(
        in a, (32h)             ; a crystal timer on the TI-84 Plus
        in a, (2)
        ld (9000h), a
        ret)"));
        QByteArray bytes = readBytes(tree->path("prepared.8xp"));
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x55);
        QVERIFY(writeBytes(tree->path("prepared.8xp"), bytes));
        RunWindow run(tree->path("prepared.8xp"));
        run.show();
        QVERIFY(waitActive(&run));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
        QVERIFY(run.session().refused());
        auto *anyway = run.findChild<QPushButton *>("runAnyway");
        QVERIFY(anyway->isVisible());
        anyway->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
        QVERIFY(run.session().stopped()->returned);
        QVERIFY(!anyway->isVisible());
        QCOMPARE(run.session().machine().read(0x9000) & 0x80, 0);
        auto *note = run.findChild<QLabel *>("runHardwareNote");
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains("--model 84p"), qPrintable(note->text()));
        auto *model = run.findChild<QComboBox *>("runModel");
        model->setCurrentIndex(model->findText("TI-84 Plus"));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
        QCOMPARE(run.session().machine().model(), run::Model::Ti84Plus);
        QCOMPARE(run.session().machine().read(0x9000) & 0x80, 0x80);
        QVERIFY(!note->isVisible());
    }

    // Pause stops the calculator's clock and Continue starts it again;
    // Restart runs the program afresh; the screen saves as a 96x64 PNG; the
    // cycle count shows as it runs.
    void pauseRestartAndSaveTheScreen() {
        makeWindow();
        QVERIFY(prepare(R"(
        bcall(_ClrLCDFull)
        ld hl, 0
        ld (9000h), hl
again:  bcall(_HomeUp)
        ld hl, (9000h)
        bcall(_DispHL)
        bcall(_GetKey)
        ld hl, (9000h)
        inc hl
        ld (9000h), hl
        jr again)"));
        RunWindow run(tree->path("prepared.8xp"));
        run.setFilePicker(&tree->picker);
        run.show();
        QVERIFY(waitActive(&run));
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("0"), kWaitMs);
        auto *pause = run.findChild<QPushButton *>("runPause");
        pause->click();
        QVERIFY(run.paused());
        QCOMPARE(pause->text(), QString("Continue"));
        QVERIFY(!run.findChild<QTimer *>("runTimer")->isActive());
        const std::uint64_t at = run.cycles();
        QCOMPARE(run.findChild<QLabel *>("runCycles")->text(),
                 QString("%1 cycles").arg(QLocale().toString(qulonglong(at))));
        pause->click();
        QVERIFY(!run.paused());
        QTest::keyClick(&run, Qt::Key_5);
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("1"), kWaitMs);
        QVERIFY(run.cycles() > at);
        run.findChild<QPushButton *>("runRestart")->click();
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("0"), kWaitMs);
        const QString png = tree->path("shot.png");
        tree->picker.answers.push_back(png);
        run.findChild<QPushButton *>("runSaveScreen")->click();
        QCOMPARE(QImage(png).size(), QSize(96, 64));
        QCOMPARE(tree->picker.calls.size(), 1);
    }

    // "Send..." asks for a variable file and runs the program again with it
    // in the calculator's memory, as --send does: here a program variable
    // DATA (type 05h, its data a size word and the bytes) that the program
    // finds with _ChkFindSym and shows. A file that cannot be read is named
    // and left out, and the run goes on without it.
    void aVariableFileSentFromTheWindow() {
        makeWindow();
        QVERIFY(prepare(R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, name
        rst 20h                 ; _Mov9ToOP1
        bcall(_ChkFindSym)
        jr c, none
        ex de, hl
        ld b, (hl)
        inc hl
        inc hl
show:   ld a, (hl)
        bcall(_PutC)
        inc hl
        djnz show
        ret
none:   ld hl, missing
        bcall(_PutS)
        ret
missing: db "NONE", 0
name:   db 05h, "DATA", 0, 0, 0, 0)"));
        const std::uint8_t dataName[8] = {'D', 'A', 'T', 'A'};
        const PackResult data =
            packVariable({'H', 'E', 'L', 'L', 'O'}, dataName, 0x05, false, true);
        QVERIFY(writeBytes(tree->path("DATA.8xp"),
                           QByteArray(reinterpret_cast<const char *>(data.file.data()),
                                      qsizetype(data.file.size()))));
        RunWindow run(tree->path("prepared.8xp"));
        run.setFilePicker(&tree->picker);
        run.show();
        QVERIFY(waitActive(&run));
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("NONE"), kWaitMs);
        tree->picker.answers.push_back(tree->path("DATA.8xp"));
        run.findChild<QPushButton *>("runSend")->click();
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("HELLO"), kWaitMs);
        QCOMPARE(tree->picker.calls.size(), 1);
        QVERIFY(!tree->picker.calls[0].save);
        QVERIFY(tree->picker.calls[0].filters[0].patterns.contains("*.8xl"));
        QVERIFY(!run.sendFile(tree->path("missing.8xs")));
        QVERIFY(run.findChild<QLabel *>("runStatus")->text().startsWith("Not sent: "));
        QCOMPARE(run.sentFiles(), QStringList{tree->path("DATA.8xp")});
        QTRY_COMPARE_WITH_TIMEOUT(shownRow(run), QString("HELLO"), kWaitMs);
    }

    // A program written for Ion runs as Ion starts it, and the window's title
    // names the shell and the description its header gives.
    void anIonProgramsWindowNamesItsShell() {
        makeWindow();
        QVERIFY(prepare(R"(
        ret
        jr nc, start
        db "Demo game", 0
start:  ld a, 1
        ld (9000h), a
        ret)"));
        RunWindow run(tree->path("prepared.8xp"));
        QCOMPARE(run.windowTitle(), QString("Running DEMO for Ion \u2014 Demo game"));
        QTRY_VERIFY_WITH_TIMEOUT(run.ended(), kWaitMs);
        QCOMPARE(run.findChild<QLabel *>("runStatus")->text(), QString("The program returned."));
        QCOMPARE(run.session().machine().read(0x9000), std::uint8_t(1));
    }

    // A program that never stops filling memory with _MemSet, at full speed:
    // the editor's events keep coming through, and the window closes at once.
    void aBusyProgramLeavesTheEditorAnsweringAndClosesAtOnce() {
        makeWindow();
        QVERIFY(prepare(R"(
again:  ld hl, 0A000h
        ld bc, 2000h
        ld a, 55h
        bcall(_MemSet)
        jr again)"));
        QPointer<RunWindow> run = new RunWindow(tree->path("prepared.8xp"));
        run->show();
        QVERIFY(QTest::qWaitForWindowExposed(run));
        run->findChild<QCheckBox *>("runFullSpeed")->setChecked(true);
        for (int trip = 0; trip < 10; ++trip) {
            bool answered = false;
            QTimer::singleShot(0, window.get(), [&answered] { answered = true; });
            QTRY_VERIFY_WITH_TIMEOUT(answered, kWaitMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(run->cycles() > 6000000, kWaitMs);
        QCOMPARE(run->session().machine().read(0xA000), std::uint8_t(0x55));
        QVERIFY(!run->ended());
        run->close();
        QTRY_VERIFY_WITH_TIMEOUT(!run, kWaitMs);
    }
};

QTEST_MAIN(RunWindowTest)
#include "ui_run_test.moc"
