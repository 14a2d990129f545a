// Make, Make and Send, the output window and the emulator start: first with a
// scripted process starter, then end to end with real scripts.

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/time.h>

namespace {

bool ageFile(const QString &path) {
    const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    return ::utimes(QFile::encodeName(path).constData(), past) == 0;
}

// A build script for the end-to-end tests. It writes a log naming its argument
// and folder, then a built program, unless the source says FAIL; GATE makes it
// wait until the test opens the FIFO "gate".
const QByteArray kScript = R"SH(#!/bin/sh
root=$(dirname "$0")
src="$1.z80"
printf 'building [%s]\nin %s\nline three\n' "$1" "$(pwd)" > "$root/TASM/error.log"
if grep -q GATE "$src"; then read go < "$root/gate"; fi
if grep -q FAIL "$src"; then echo "$src:1: error: FAIL" >> "$root/TASM/error.log"; exit 1; fi
cp "$src" "$root/Exec/$1.8xp"
echo "done" >> "$root/TASM/error.log"
)SH";

// A build script that leaves the list of files it read, as the kit's does:
// the source, then each file named by an #include line.
const QByteArray kListingScript = R"SH(#!/bin/sh
root=$(dirname "$0")
printf 'built %s in %s\n' "$1" "$(pwd)" > "$root/TASM/error.log"
{ printf '%s\n' "$QUORVIN_SOURCE"
  sed -n 's/^#include "\(.*\)"/\1/p' "$QUORVIN_SOURCE" | while read -r f; do printf '%s/%s\n' "$(pwd)" "$f"; done
} > "$root/TASM/last-build.files"
cp "$QUORVIN_SOURCE" "$root/Exec/$1.8xp"
)SH";

// A tool that records its arguments, one per line, to a file beside itself.
const QByteArray kRecorder = R"SH(#!/bin/sh
for a in "$@"; do printf '%s\n' "$a"; done > "$0.args"
)SH";

} // namespace

class BuildTest : public QObject, public WindowFixture {
    Q_OBJECT

    QString logShown(Form1 &w) { return w.form3() ? w.form3()->Text1->toPlainText() : QString(); }
    bool writeLog(const QByteArray &bytes) {
        return writeBytes(tree->places().assemblerLog(), bytes);
    }

private slots:
    void init() {
        setUp();
        QVERIFY(makeExecutable(tree->path("asm.bat"), kScript));
    }
    void cleanup() { tearDown(); }

    // --- with a scripted starter ---

    void makeSavesAndStartsTheScriptInTheSourcesFolder() {
        Form1 &w = makeWindow();
        tree->picker.answers = {std::nullopt};
        w.makeprog_Click(); // untitled, and the Save dialog cancelled: nothing
        QVERIFY(tree->starter.calls.isEmpty());
        QVERIFY(!w.Timer1->isActive());
        const QString file = tree->path("Source/my.prog.z80");
        tree->picker.answers = {file};
        w.Text1->setText(QStringLiteral("ret"));
        w.makesend_Click();
        QCOMPARE(readBytes(file), QByteArray("ret"));
        QCOMPARE(tree->starter.calls[0].program, tree->path("asm.bat"));
        QCOMPARE(tree->starter.calls[0].arguments, QStringList{"my.prog"});
        QCOMPARE(tree->starter.calls[0].options.workingFolder, tree->path("Source"));
        // The file to build, and where this build alone writes its log and
        // its list of files read.
        const QStringList environment = tree->starter.calls[0].options.environment;
        QCOMPARE(environment.size(), 3);
        QCOMPARE(environment[0], "QUORVIN_SOURCE=" + file);
        QVERIFY(
            environment[1].startsWith("QUORVIN_LOG=" + tree->places().buildOutputFolder() + "/"));
        QVERIFY(environment[2].startsWith(
            "QUORVIN_FILES_READ=" + tree->places().buildOutputFolder() + "/"));
        QVERIFY(w.Timer2->isActive() && !w.Timer1->isActive());
        QVERIFY(openSource("Source/.z80", "x"));
        w.makeprog_Click(); // titled: no dialog; an empty name is still one argument
        QCOMPARE(tree->starter.calls[1].arguments, QStringList{QString()});
        QCOMPARE(tree->picker.calls.size(), 2);
    }

    void aMissingOrUnstartableScriptIsReported() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/hello.z80", "x"));
        QVERIFY(QFile::remove(tree->path("asm.bat")));
        {
            const NoSearchPath noPath;
            w.makeprog_Click();
        }
        QCOMPARE(shown(), QStringList{"asm.bat\n\nError 2: No such file or directory"});
        QVERIFY(!w.Timer1->isActive());
        QVERIFY(makeExecutable(tree->path("asm.bat"), kScript));
        tree->starter.failWith = EACCES;
        w.makesend_Click();
        QCOMPARE(shown().last(), tree->path("asm.bat") + "\n\nError 13: Permission denied");
        QVERIFY(!w.Timer2->isActive());
    }

    void theLogIsShownAsLinesAndReplaced() {
        Form1 &w = makeWindow();
        w.viewout_Click(); // before any build: an empty window
        QVERIFY(w.form3()->isVisible());
        QVERIFY(logShown(w).isEmpty());
        QVERIFY(writeLog("one\r\ntwo \x80\r\nthree")); // not UTF-8: 8-bit text
        w.Timer1_Timer();
        QCOMPARE(logShown(w), QString::fromUtf16(u"one\ntwo \u20AC\nthree"));
        QVERIFY(writeLog("/home/zo\xC3\xAB/a.z80:1: error")); // UTF-8, as the kit writes paths
        w.Timer1_Timer();
        QCOMPARE(logShown(w), QString::fromUtf16(u"/home/zo\u00EB/a.z80:1: error"));
        QTest::keyClicks(w.form3()->Text1, "abc"); // read-only
        QCOMPARE(logShown(w), QString::fromUtf16(u"/home/zo\u00EB/a.z80:1: error"));
        QTest::keyClick(w.form3()->Text1, Qt::Key_End, Qt::ShiftModifier); // keyboard selection
        QCOMPARE(w.form3()->Text1->textCursor().selectedText(),
                 QString::fromUtf16(u"/home/zo\u00EB/a.z80:1: error"));
        w.form3()->close();
        QTRY_VERIFY_WITH_TIMEOUT(!w.form3(), kWaitMs);
        w.viewout_Click(); // closed, it comes back empty
        QVERIFY(logShown(w).isEmpty());
        QVERIFY(QFile::remove(tree->places().assemblerLog()));
        w.Timer2_Timer();
        QCOMPARE(shown(), QStringList{tree->places().assemblerLog() +
                                      "\n\nError 2: No such file or directory"});
    }

    void aLogShownByABuildLeavesTheKeysWithTheEditor() {
        Form1 &w = makeWindow();
        QVERIFY(writeLog("log"));
        w.show();
        QVERIFY(waitActive(&w));
        w.Text1->setFocus();
        w.Timer1_Timer();
        QVERIFY(QTest::qWaitForWindowExposed(w.form3()));
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeWindow(), &w);
        QTest::keyClicks(QApplication::focusWidget(), "ld");
        QCOMPARE(text(), QByteArray("ld"));
        w.viewout_Click(); // asked for: it takes the keys
        QVERIFY(waitActive(w.form3()));
    }

    void aLogWithErrorsLeadsWithTheFirstAndEnterGoesToIt() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/main.z80", "1\n2\n3\n4\n5\n6\nseven\n8\n"));
        // Lines ended by LF, a lone CR and CR LF, as other assemblers write them.
        QByteArray log = "main.z80:2: warning: w\n";
        for (int i = 0; i < 200; ++i)
            log += "defining\r";
        QVERIFY(
            writeLog(log + "main.z80:7: error: bad\r\nmain.z80:8: error: worse\nBuild failed\n"));
        w.Timer1_Timer();
        QPlainTextEdit *shownLog = w.form3()->Text1;
        QCOMPARE(shownLog->textCursor().selectedText(), QStringLiteral("main.z80:7: error: bad"));
        QVERIFY(shownLog->viewport()->rect().contains(shownLog->cursorRect()));
        QTest::keyClick(shownLog, Qt::Key_Return);
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("seven"));
    }

    // Ctrl+B and Ctrl+Shift+B finish as soon as the build script ends; the
    // menu's Make keeps its five seconds.
    void theBuildKeysShowTheResultWhenTheBuildEnds() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        QVERIFY(openSource("Source/k.z80", " .org userMem-2"));
        tree->starter.endAtOnce = false;
        QVERIFY(writeLog("k.z80:1: error: bad\nBuild failed\n"));
        w.Text1->setFocus();
        QTest::keyClick(w.Text1, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(tree->starter.calls.size(), 1);
        QVERIFY(!w.Timer1->isActive() && !w.Timer2->isActive());
        QVERIFY(!w.form3()); // the build runs: nothing yet
        tree->starter.lastWatch->finish();
        QTRY_COMPARE_WITH_TIMEOUT(logShown(w),
                                  QStringLiteral("k.z80:1: error: bad\nBuild failed\n"), kWaitMs);
        QTest::keyClick(w.Text1, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tree->starter.calls.size(), 2);
        QVERIFY(!w.Timer2->isActive());
        tree->starter.lastWatch->finish();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"Errors were found."},
                                  kWaitMs);              // judged at once
        QCOMPARE(text(), QByteArray(" .org userMem-2")); // the keys typed nothing
        for (const char *name : {"makeprog", "makesend", "viewout", "startcalc"})
            QVERIFY(w.findChild<QAction *>(name)->shortcut().isEmpty());
        // The menu item: the build ends, the log waits for the timer.
        w.form3()->Text1->clear();
        w.makeprog_Click();
        QVERIFY(w.Timer1->isActive());
        tree->starter.lastWatch->finish();
        QCoreApplication::processEvents(); // the end is handled: still nothing shown
        QVERIFY(logShown(w).isEmpty());
        w.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!logShown(w).isEmpty(), kWaitMs);
    }

    void twoMakesGiveOneDisplay() {
        Form1 &w = makeWindow(false, 100);
        QVERIFY(writeLog("log"));
        QVERIFY(openSource("Source/a.z80", "x"));
        QSignalSpy ticks(w.Timer1, &QTimer::timeout);
        w.makeprog_Click();
        w.makeprog_Click();
        QCOMPARE(tree->starter.calls.size(), 2);
        QVERIFY(ticks.wait(30000));
        QVERIFY(!w.Timer1->isActive()); // one-shot: no second tick follows
        QCOMPARE(logShown(w), QStringLiteral("log"));
    }

    void aBuildStillRunningIsWaitedFor() {
        Form1 &w = makeWindow();
        QVERIFY(writeLog("finished log"));
        QVERIFY(openSource("Source/slow.z80", "x"));
        tree->starter.endAtOnce = false;
        w.makesend_Click();
        w.Timer2_Timer();
        QVERIFY(!w.form3()); // nothing judged yet
        tree->starter.lastWatch->finish();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"Errors were found."}, kWaitMs);
        QCOMPARE(logShown(w), QStringLiteral("finished log"));
    }

    // Another file opened while a build runs: the log's relative names still
    // start from the folder of the file that was built.
    void theLogsNamesStartFromTheBuiltFilesFolder() {
        Form1 &w = makeWindow();
        QVERIFY(QDir().mkpath(tree->path("Source/a")) && QDir().mkpath(tree->path("Source/b")));
        QVERIFY(openSource("Source/a/main.z80", "one\ntwo\n"));
        w.makeprog_Click();
        QVERIFY(openSource("Source/b/other.z80", "x\n"));
        QVERIFY(writeLog("main.z80:2: error: x\n"));
        w.Timer1_Timer();
        emit w.form3()->lineActivated(QStringLiteral("main.z80:2: error: x"));
        QCOMPARE(w.currentFile().path(), tree->path("Source/a/main.z80"));
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("two"));
        QVERIFY(shown().isEmpty());
    }

    void sendJudgesByAProgramThisBuildWrote() {
        Form1 &w = makeWindow();
        QVERIFY(writeLog("log"));
        const QString built = tree->places().builtProgram("hello");
        QVERIFY(openSource("Source/hello.z80", "x"));
        w.form2()->Text1->setText(tree->path("bin/my link"));  // typed, not stored: counts at once
        QVERIFY(writeBytes(built, "stale") && ageFile(built)); // an earlier build's program
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(shown(), QStringList{"Errors were found."});
        QCOMPARE(tree->starter.calls.size(), 1); // the build only
        tree->starter.onStart = [&](const FakeStarter::Call &c) {
            if (c.program.endsWith("asm.bat"))
                QVERIFY(writeBytes(built, "fresh"));
        };
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(tree->starter.calls[2].program, tree->path("bin/my link"));
        QCOMPARE(tree->starter.calls[2].arguments, QStringList{built});
        w.form2()->Text1->clear();
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(shown().last(), QStringLiteral("No Calculator Link Program Found!"));
        QCOMPARE(tree->starter.calls.size(), 4);
    }

    void theTickUsesTheNameTheBuildStartedWith() {
        Form1 &w = makeWindow();
        QVERIFY(writeLog("log"));
        QVERIFY(openSource("Source/first.z80", "x"));
        w.form2()->Text1->setText(QStringLiteral("/bin/link"));
        tree->starter.onStart = [&](const FakeStarter::Call &c) {
            if (c.program.endsWith("asm.bat"))
                QVERIFY(writeBytes(tree->places().builtProgram(c.arguments[0]), "built"));
        };
        w.makesend_Click();
        tree->picker.answers = {tree->path("Source/second.z80")};
        w.saveas_Click(); // renamed before the tick: the program that was built is sent
        w.Timer2_Timer();
        QCOMPARE(tree->starter.calls.last().arguments,
                 QStringList{tree->places().builtProgram("first")});
        QCOMPARE(shown(), QStringList());
    }

    void aLinkProgramThatFailsIsReported() {
        Form1 &w = makeWindow();
        QVERIFY(writeLog("log"));
        QVERIFY(openSource("Source/hello.z80", "x"));
        QVERIFY(writeBytes(tree->places().builtProgram("hello"), "old") &&
                ageFile(tree->places().builtProgram("hello")));
        tree->starter.onStart = [&](const FakeStarter::Call &c) {
            if (c.program.endsWith("asm.bat"))
                QVERIFY(writeBytes(tree->places().builtProgram("hello"), "built"));
        };
        w.form2()->Text1->setText(QStringLiteral("/usr/bin/send 100%1"));
        w.makesend_Click();
        tree->starter.endAtOnce = false;
        w.Timer2_Timer();
        tree->starter.lastWatch->errors = "probing\nERROR: no cable found\n";
        tree->starter.lastWatch->finish({false, 1});
        QTRY_COMPARE_WITH_TIMEOUT(
            shown(),
            QStringList{"The link program /usr/bin/send 100%1 ended with exit "
                        "status 1.\n\nprobing\nERROR: no cable found"},
            kWaitMs);
    }

    void theEmulatorStartsFromTheFieldsWords() {
        Form1 &w = makeWindow();
        w.startcalc_Click();
        QCOMPARE(shown(), QStringList{"No Emulator Found!"});
        w.form2()->Text2->setText(QStringLiteral("tilem2 -r '/home/me/My ROMs/83p.rom'"));
        w.startcalc_Click();
        QCOMPARE(tree->starter.calls[0].program, QStringLiteral("tilem2"));
        QCOMPARE(tree->starter.calls[0].arguments, (QStringList{"-r", "/home/me/My ROMs/83p.rom"}));
        w.form2()->Text2->setText(QStringLiteral("tilem2 \"-r"));
        w.startcalc_Click();
        QCOMPARE(shown().last(), QStringLiteral("The command line has a double quote (\") that is "
                                                "never closed:\n\ntilem2 \"-r"));
        w.form2()->Text2->setText(QStringLiteral("tilem2 -r /rom %f")); // an untitled document
        w.startcalc_Click();
        QCOMPARE(shown().last(), QStringLiteral("The emulator command asks for the built program "
                                                "(%f), but the document has no file name yet. "
                                                "Save it and make it first."));
        QVERIFY(openSource("Source/hi.z80", "x")); // never built
        w.startcalc_Click();
        QCOMPARE(shown().last(), "Build the program first: " + tree->places().builtProgram("hi") +
                                     " does not exist");
        QCOMPARE(tree->starter.calls.size(), 1);
        tree->starter.failWith = ENOENT;
        w.form2()->Text2->setText(QStringLiteral("/opt/tilem2"));
        w.startcalc_Click();
        QCOMPARE(shown().last(), QStringLiteral("The emulator /opt/tilem2 could not be started: "
                                                "Error 2: No such file or directory"));
    }

    // F5: the program is made and, once built, handed to the emulator; an
    // emulator that fails or closes within seconds is said, with Ctrl+F5,
    // which needs no ROM image, offered in its place.
    void endToEndF5MakesAndRunsTheProgram() {
        Form1 &w = makeWindow(true);
        QVERIFY(makeExecutable(tree->path("bin/emu"), kRecorder));
        w.form2()->Text2->setText("'" + tree->path("bin/emu") + "' -r rom %f");
        QVERIFY(openSource("Source/hello.z80", "ld a,1"));
        w.show();
        QVERIFY(waitActive(&w));
        QTest::keyClick(w.Text1, Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(
            readBytes(tree->path("bin/emu.args")),
            "-r\nrom\n" + QFile::encodeName(tree->places().builtProgram("hello")) + "\n", 10000);
        QVERIFY(logShown(w).endsWith("done\n"));
        const QString noProgram =
            " within seconds of its start, so the program did not run there (an emulator "
            "without a ROM image of the calculator cannot run it).\n\nCtrl+F5 runs the program "
            "in Quorvin's own runner, which needs no ROM image.";
        QTRY_COMPARE_WITH_TIMEOUT(
            shown(),
            QStringList{"The emulator " + tree->path("bin/emu") + " was closed" + noProgram},
            10000);
        QVERIFY(
            makeExecutable(tree->path("bin/emu"),
                           "#!/bin/sh\necho 'TilEm 2.0'\necho 'no ROM image given' >&2\nexit 3\n"));
        w.run_Key();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 2, 10000);
        QCOMPARE(shown().last(), "The emulator " + tree->path("bin/emu") +
                                     " ended with exit status 3" + noProgram +
                                     "\n\nTilEm 2.0\nno ROM image given");
        QVERIFY(openSource("Source/bad.z80", "FAIL"));
        w.run_Key();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 3, 10000);
        QCOMPARE(shown().last(), QStringLiteral("Errors were found."));
    }

    // --- end to end, with real processes ---

    void endToEndMakeAndSend() {
        Form1 &w = makeWindow(true, 100);
        QVERIFY(makeExecutable(tree->path("bin/link"), kRecorder));
        w.form2()->Text1->setText(tree->path("bin/link"));
        QVERIFY(openSource("Source/hello.z80", "ld a,1"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(tree->path("bin/link.args")),
                                  QFile::encodeName(tree->places().builtProgram("hello")) + "\n",
                                  10000);
        QCOMPARE(logShown(w),
                 "building [hello]\nin " + tree->path("Source") + "\nline three\ndone\n");
        QCOMPARE(shown(), QStringList());
    }

    // Make in a tests file builds the program it tests, and says no more.
    void makeInATestsFileBuildsItsProgram() {
        QVERIFY(makeExecutable(tree->path("asm.bat"), kListingScript));
        QVERIFY(QDir().mkpath(tree->path("Source/game")));
        QVERIFY(writeBytes(tree->path("Source/game/tinvader.z80"), " ret\n"));
        Form1 &w = makeWindow(true, 20);
        QVERIFY(openSource("Source/game/tinvader.tests", "test \"t\"\n  run\n"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!logShown(w).isEmpty(), 10000);
        QCOMPARE(logShown(w), "built tinvader in " + tree->path("Source/game") + "\n");
    }

    // Make on an include builds the program that read it, in its folder;
    // the record outlives the window, and the program built last wins.
    void endToEndAnIncludeBuildsItsProgram() {
        QVERIFY(makeExecutable(tree->path("asm.bat"), kListingScript));
        QVERIFY(QDir().mkpath(tree->path("Source/game/gfx")));
        QVERIFY(writeBytes(tree->path("Source/game/gfx/sprite.z80"), "put_sprite: ret\n"));
        QVERIFY(writeBytes(tree->path("Source/game/tinvader.z80"),
                           "#include \"gfx/sprite.z80\"\n call put_sprite\n"));
        {
            Form1 &w = makeWindow(true, 20);
            QVERIFY(openSource("Source/game/tinvader.z80", "#include \"gfx/sprite.z80\"\n"));
            w.makeprog_Click();
            QTRY_VERIFY_WITH_TIMEOUT(logShown(w).startsWith("built tinvader"), 30000);
            QVERIFY(openSource("Source/game/gfx/sprite.z80", "put_sprite: ret ; fixed\n"));
            w.makeprog_Click();
            QTRY_VERIFY_WITH_TIMEOUT(logShown(w).startsWith("Building"), 30000);
            QCOMPARE(logShown(w), "Building tinvader.z80, which includes gfx/sprite.z80\nbuilt "
                                  "tinvader in " +
                                      tree->path("Source/game") + "\n");
            QCOMPARE(readBytes(tree->path("Source/game/gfx/sprite.z80")),
                     QByteArray("put_sprite: ret ; fixed\n")); // saved first
        }
        Form1 &w = makeWindow(true, 20); // a new start remembers
        QVERIFY(openSource("Source/game/gfx/sprite.z80", "put_sprite: ret\n"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"No Calculator Link Program Found!"}, 30000);
        QVERIFY(logShown(w).startsWith("Building tinvader.z80, which includes gfx/sprite.z80\n"));
        // A second program reads the same file and is built last: it wins.
        QVERIFY(openSource("Source/game/editor.z80", "#include \"gfx/sprite.z80\"\n"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(logShown(w).startsWith("built editor"), 30000);
        QVERIFY(openSource("Source/game/gfx/sprite.z80", "put_sprite: ret\n"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(logShown(w).startsWith("Building editor.z80"), 30000);
        // A file no build has read names its program in its first line.
        QVERIFY(openSource("Source/game/gfx/new.z80", "; main: ../tinvader.z80\nnop\n"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(logShown(w).startsWith("Building tinvader.z80"), 30000);
        QCOMPARE(logShown(w).section('\n', 0, 0),
                 "Building tinvader.z80, which includes gfx/new.z80");
        QVERIFY(openSource("Source/game/gfx/lost.z80", "; main: gone.z80\n"));
        w.makeprog_Click();
        QCOMPARE(shown().last(),
                 tree->path("Source/game/gfx/gone.z80") + "\n\nError 2: No such file or directory");
    }

    void endToEndFailedBuildWithAStaleProgram() {
        Form1 &w = makeWindow(true, 100);
        QVERIFY(makeExecutable(tree->path("bin/link"), kRecorder));
        w.form2()->Text1->setText(tree->path("bin/link"));
        const QString built = tree->places().builtProgram("bad");
        QVERIFY(writeBytes(built, "from an earlier build") && ageFile(built));
        QVERIFY(openSource("Source/bad.z80", "FAIL"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"Errors were found."}, 30000);
        QVERIFY(logShown(w).contains("bad.z80:1: error: FAIL"));
        QVERIFY(!QFile::exists(tree->path("bin/link.args")));
    }

    void endToEndBuildOutlastingItsTimer() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(makeFifo(tree->path("gate")));
        QVERIFY(openSource("Source/slow.z80", "GATE"));
        QSignalSpy tick(w.Timer2, &QTimer::timeout);
        w.makesend_Click();
        QVERIFY(tick.wait(30000));
        QVERIFY(!w.form3()); // still building: not judged yet
        QVERIFY(openGate(tree->path("gate")));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"No Calculator Link Program Found!"}, 10000);
        QVERIFY(logShown(w).endsWith("done\n"));
    }

    void endToEndNamesAndCommandsReachNoShell() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(openSource("Source/x; touch pwned.z80", "ld a,2"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(logShown(w).contains("building [x; touch pwned]"), 10000);
        QVERIFY(QFile::exists(tree->places().builtProgram("x; touch pwned")));
        QVERIFY(makeExecutable(tree->path("bin/my emu"), kRecorder));
        w.form2()->Text2->setText("'" + tree->path("bin/my emu") + "' --rom='/a b/$HOME' %f");
        w.startcalc_Click();
        QTRY_COMPARE_WITH_TIMEOUT(
            readBytes(tree->path("bin/my emu.args")),
            "--rom=/a b/$HOME\n" +
                QFile::encodeName(tree->places().builtProgram("x; touch pwned")) + "\n",
            10000);
        QVERIFY(!QFile::exists(tree->path("Source/pwned")) && !QFile::exists(tree->path("pwned")));
    }

    // With SIGCHLD ignored (as a parent may leave it), how the link program
    // ended cannot be known: that is said, never taken for success.
    void endToEndFailingLinkProgram_data() {
        QTest::addColumn<bool>("childSignalIgnored");
        QTest::addColumn<QString>("how");
        QTest::newRow("status known") << false << "ended with exit status 2";
        QTest::newRow("SIGCHLD ignored") << true << "ended in a way that cannot be known";
    }
    void endToEndFailingLinkProgram() {
        QFETCH(bool, childSignalIgnored);
        QFETCH(QString, how);
        const auto old = std::signal(SIGCHLD, childSignalIgnored ? SIG_IGN : SIG_DFL);
        const auto restore = qScopeGuard([old] { std::signal(SIGCHLD, old); });
        Form1 &w = makeWindow(true, 50);
        QVERIFY(makeExecutable(tree->path("bin/link"),
                               "#!/bin/sh\necho 'Probing cables'\n"
                               "echo 'ERROR: no cable found' >&2\nexit 2\n"));
        w.form2()->Text1->setText(tree->path("bin/link"));
        QVERIFY(openSource("Source/hello.z80", "x"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(),
                                  QStringList{"The link program " + tree->path("bin/link") + " " +
                                              how + ".\n\nProbing cables\nERROR: no cable found"},
                                  10000);
        w.form2()->Text1->setText(tree->path("bin/gone"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 2, 10000);
        QCOMPARE(shown().last(), "The link program " + tree->path("bin/gone") +
                                     " could not be started: Error 2: No such file or directory");
    }

    void startedProcessesOutliveTheEditor() {
        Form1 &w = makeWindow(true);
        QVERIFY(makeFifo(tree->path("gate")));
        QVERIFY(makeExecutable(tree->path("asm.bat"),
                               "#!/bin/sh\nread go < \"$(dirname \"$0\")/gate\"\n"
                               "touch \"$(dirname \"$0\")/survived\"\n"));
        QVERIFY(openSource("Source/a.z80", "x"));
        w.makeprog_Click();
        QVERIFY(w.Timer1->isActive());
        window.reset(); // exit within the five seconds
        QVERIFY(openGate(tree->path("gate")));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tree->path("survived")), 10000);
    }
};

QTEST_MAIN(BuildTest)
#include "ui_build_test.moc"
