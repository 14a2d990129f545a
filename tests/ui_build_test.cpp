// Make, Make and Send, the output window and the emulator start: first with a
// scripted process starter, then end to end with real scripts.

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

#include <memory>
#include <sys/time.h>

namespace {

void ageFile(const QString &path) {
    const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    QVERIFY(::utimes(QFile::encodeName(path).constData(), past) == 0);
}

// A build script for the end-to-end tests. It writes a log naming its argument
// and folder, then a built program, unless the source says FAIL; SLOW makes it
// outlast the result timer.
const QByteArray kScript = R"SH(#!/bin/sh
root=$(dirname "$0")
src="$1.z80"
printf 'building [%s]\nin %s\nline three\n' "$1" "$(pwd)" > "$root/TASM/error.log"
if grep -q SLOW "$src"; then sleep 1; fi
if grep -q FAIL "$src"; then echo "$src:1: error: FAIL" >> "$root/TASM/error.log"; exit 1; fi
cp "$src" "$root/Exec/$1.8xp"
echo "done" >> "$root/TASM/error.log"
)SH";

// A tool that records its arguments, one per line, to a file beside itself.
const QByteArray kRecorder = R"SH(#!/bin/sh
for a in "$@"; do printf '%s\n' "$a"; done > "$0.args"
)SH";

} // namespace

class BuildTest : public QObject, public WindowFixture {
    Q_OBJECT

    QString source(const QString &name, const QByteArray &content) {
        const QString p = tree->path("Source/" + name);
        writeBytes(p, content);
        return p;
    }
    QString logShown(Form1 &w) { return w.form3() ? w.form3()->Text1->toPlainText() : QString(); }

private slots:
    void init() {
        setUp();
        makeExecutable(tree->path("asm.bat"), kScript);
    }
    void cleanup() { tearDown(); }

    // --- with a scripted starter ---

    void makeOnAnUntitledDocumentAsksForAName() {
        Form1 &w = makeWindow();
        tree->picker.answers = {std::nullopt};
        w.makeprog_Click();
        QVERIFY(tree->starter.calls.isEmpty());
        QVERIFY(!w.Timer1->isActive());
        QVERIFY(tree->picker.calls[0].save);

        const QString file = tree->path("Source/my.prog.z80");
        tree->picker.answers = {file};
        w.Text1->setText(QStringLiteral("ret"));
        w.makesend_Click();
        QCOMPARE(readBytes(file), QByteArray("ret"));
        QCOMPARE(tree->starter.calls.size(), 1);
        QCOMPARE(tree->starter.calls[0].program, tree->path("asm.bat"));
        QCOMPARE(tree->starter.calls[0].arguments, QStringList{"my.prog"});
        QCOMPARE(tree->starter.calls[0].folder, tree->path("Source"));
        QVERIFY(w.Timer2->isActive() && !w.Timer1->isActive());
    }

    void makeSavesATitledDocumentWithoutADialog() {
        Form1 &w = makeWindow();
        const QString file = source(".z80", "old");
        openSource(file);
        w.Text1->setText(QStringLiteral("new"));
        w.makeprog_Click();
        QCOMPARE(readBytes(file), QByteArray("new"));
        QCOMPARE(tree->starter.calls[0].arguments,
                 QStringList{QString()}); // empty name, one argument
        QVERIFY(w.Timer1->isActive());
        QVERIFY(tree->picker.calls.isEmpty());
    }

    void scriptMissingOrNotStartableIsReportedAndNoTimerRuns() {
        Form1 &w = makeWindow();
        openSource(source("hello.z80", "x"));
        QFile::remove(tree->path("asm.bat"));
        withoutSearchPath([&] { w.makeprog_Click(); });
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains("asm.bat"));
        QVERIFY(tree->messages.shown[0].contains(QString::fromLocal8Bit(strerror(ENOENT))));
        QVERIFY(!w.Timer1->isActive());

        makeExecutable(tree->path("asm.bat"), kScript);
        tree->starter.failWith = EACCES;
        w.makesend_Click();
        QCOMPARE(tree->messages.shown.size(), 2);
        QVERIFY(tree->messages.shown[1].contains(QString::fromLocal8Bit(strerror(EACCES))));
        QVERIFY(tree->messages.shown[1].contains(tree->path("asm.bat")));
        QVERIFY(!w.Timer2->isActive());
    }

    void tickShowsTheLogAsLinesAndReplacesIt() {
        Form1 &w = makeWindow();
        w.viewout_Click(); // before any build: an empty window
        QVERIFY(w.form3()->isVisible());
        QCOMPARE(w.form3()->windowTitle(), QStringLiteral("TASM Output"));
        QVERIFY(logShown(w).isEmpty());

        writeBytes(tree->places().assemblerLog(), "one\r\ntwo \x80\r\nthree");
        w.Timer1_Timer();
        QCOMPARE(w.form3()->Text1->document()->blockCount(), 3);
        QCOMPARE(logShown(w), QString::fromUtf16(u"one\ntwo \u20AC\nthree"));
        writeBytes(tree->places().assemblerLog(), "second");
        w.Timer1_Timer();
        QCOMPARE(logShown(w), QStringLiteral("second"));

        // Typing into the output changes nothing.
        QTest::keyClicks(w.form3()->Text1, "abc");
        QCOMPARE(logShown(w), QStringLiteral("second"));

        // Closed, it comes back empty.
        w.form3()->close();
        QTRY_VERIFY(!w.form3());
        w.viewout_Click();
        QVERIFY(logShown(w).isEmpty());
    }

    void missingLogIsReported() {
        Form1 &w = makeWindow();
        w.Timer2_Timer();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(tree->places().assemblerLog()));
        QVERIFY(!w.form3());
    }

    void twoMakesGiveOneDisplay() {
        Form1 &w = makeWindow(false, 100);
        writeBytes(tree->places().assemblerLog(), "log");
        openSource(source("a.z80", "x"));
        QSignalSpy ticks(w.Timer1, &QTimer::timeout);
        w.makeprog_Click();
        w.makeprog_Click();
        QCOMPARE(tree->starter.calls.size(), 2);
        QVERIFY(ticks.wait(5000));
        QVERIFY(!ticks.wait(400)); // no second tick
        QCOMPARE(ticks.count(), 1);
        QCOMPARE(logShown(w), QStringLiteral("log"));
    }

    void aBuildStillRunningIsWaitedFor() {
        Form1 &w = makeWindow();
        writeBytes(tree->places().assemblerLog(), "finished log");
        openSource(source("slow.z80", "x"));
        tree->starter.endAtOnce = false;
        w.makesend_Click();
        auto watch = tree->starter.lastWatch;
        w.Timer2_Timer();
        QVERIFY(!w.form3()); // nothing judged yet
        QVERIFY(tree->messages.shown.isEmpty());
        watch->finish();
        QTRY_COMPARE(tree->messages.shown, QStringList{"Errors were found."});
        QCOMPARE(logShown(w), QStringLiteral("finished log"));
    }

    void sendJudgesByAProgramThisBuildWrote() {
        Form1 &w = makeWindow();
        writeBytes(tree->places().assemblerLog(), "log");
        const QString built = tree->places().builtProgram("hello");
        openSource(source("hello.z80", "x"));
        w.form2()->Text1->setText(tree->path("bin/my link")); // typed, not stored: counts at once

        // A program an earlier build left is no success.
        writeBytes(built, "stale");
        ageFile(built);
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(tree->messages.shown, QStringList{"Errors were found."});
        QCOMPARE(tree->starter.calls.size(), 1); // the build only

        // The build writes it: the link program gets its path.
        tree->starter.onStart = [&](const FakeStarter::Call &c) {
            if (c.program.endsWith("asm.bat"))
                writeBytes(built, "fresh");
        };
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(tree->messages.shown.size(), 1);
        QCOMPARE(tree->starter.calls.size(), 3);
        QCOMPARE(tree->starter.calls[2].program, tree->path("bin/my link"));
        QCOMPARE(tree->starter.calls[2].arguments, QStringList{built});

        // No link program configured.
        w.form2()->Text1->clear();
        w.makesend_Click();
        w.Timer2_Timer();
        QCOMPARE(tree->messages.shown.last(), QStringLiteral("No Calculator Link Program Found!"));
        QCOMPARE(tree->starter.calls.size(), 4);
        QVERIFY(w.form3()->isVisible()); // the log came first
    }

    void theTickUsesTheNameTheBuildStartedWith() {
        Form1 &w = makeWindow();
        writeBytes(tree->places().assemblerLog(), "log");
        openSource(source("first.z80", "x"));
        w.form2()->Text1->setText(QStringLiteral("/bin/link"));
        tree->starter.onStart = [&](const FakeStarter::Call &c) {
            if (c.program.endsWith("asm.bat"))
                writeBytes(tree->places().builtProgram(c.arguments[0]), "built");
        };
        w.makesend_Click();
        // Renamed before the tick: the program that was built is sent.
        tree->picker.answers = {tree->path("Source/second.z80")};
        w.saveas_Click();
        w.Timer2_Timer();
        QCOMPARE(tree->starter.calls.last().arguments,
                 QStringList{tree->places().builtProgram("first")});
        // Untitled before the tick (as after a template): still judged and sent.
        w.makesend_Click();
        w.CommonDialog1.FileName.clear();
        w.Timer2_Timer();
        QCOMPARE(tree->starter.calls.last().arguments,
                 QStringList{tree->places().builtProgram("second")});
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void emulatorStartUsesTheFieldAsACommandLine() {
        Form1 &w = makeWindow();
        w.startcalc_Click();
        QCOMPARE(tree->messages.shown, QStringList{"No Emulator Found!"});
        QVERIFY(tree->starter.calls.isEmpty());
        w.form2()->Text2->setText(QStringLiteral("tilem2 --rom=/home/me/ti83p.rom"));
        w.startcalc_Click();
        QCOMPARE(tree->starter.calls[0].program, QStringLiteral("tilem2"));
        QCOMPARE(tree->starter.calls[0].arguments, QStringList{"--rom=/home/me/ti83p.rom"});
        tree->starter.failWith = ENOENT;
        w.startcalc_Click();
        QCOMPARE(tree->messages.shown.size(), 2);
        QVERIFY(tree->messages.shown[1].contains("tilem2"));
    }

    // --- end to end, with real processes ---

    void endToEndMakeAndSend() {
        Form1 &w = makeWindow(true, 100);
        makeExecutable(tree->path("bin/link"), kRecorder);
        w.form2()->Text1->setText(tree->path("bin/link"));
        openSource(source("hello.z80", "ld a,1"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(tree->path("bin/link.args")),
                                  QFile::encodeName(tree->places().builtProgram("hello")) + "\n",
                                  10000);
        QCOMPARE(logShown(w),
                 "building [hello]\nin " + tree->path("Source") + "\nline three\ndone\n");
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void endToEndFailedBuildWithAStaleProgram() {
        Form1 &w = makeWindow(true, 100);
        makeExecutable(tree->path("bin/link"), kRecorder);
        w.form2()->Text1->setText(tree->path("bin/link"));
        const QString built = tree->places().builtProgram("bad");
        writeBytes(built, "from an earlier build");
        ageFile(built);
        openSource(source("bad.z80", "FAIL"));
        w.makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(tree->messages.shown, QStringList{"Errors were found."}, 10000);
        QVERIFY(logShown(w).contains("bad.z80:1: error: FAIL"));
        QVERIFY(!QFile::exists(tree->path("bin/link.args")));
    }

    void endToEndBuildOutlastingItsTimer() {
        Form1 &w = makeWindow(true, 50);
        w.form2()->Text1->setText(QString()); // no link program: the message tells the result
        openSource(source("slow.z80", "SLOW"));
        QSignalSpy tick(w.Timer2, &QTimer::timeout);
        w.makesend_Click();
        QVERIFY(tick.wait(5000));
        QVERIFY(!w.form3()); // still building: not judged yet
        QTRY_COMPARE_WITH_TIMEOUT(tree->messages.shown,
                                  QStringList{"No Calculator Link Program Found!"}, 10000);
        QVERIFY(logShown(w).endsWith("done\n"));
    }

    void endToEndNameWithSpacesAndShellCharacters() {
        Form1 &w = makeWindow(true, 50);
        openSource(source("x; touch pwned.z80", "ld a,2"));
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(logShown(w).contains("building [x; touch pwned]"), 10000);
        QVERIFY(QFile::exists(tree->places().builtProgram("x; touch pwned")));
        QVERIFY(!QFile::exists(tree->path("Source/pwned")));
        QVERIFY(!QFile::exists(tree->path("pwned")));
    }

    void endToEndScriptNotFound() {
        Form1 &w = makeWindow(true, 50);
        QFile::remove(tree->path("asm.bat"));
        withoutSearchPath([&] {
            openSource(source("a.z80", "x"));
            w.makeprog_Click();
        });
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains("asm.bat"));
        QVERIFY(!w.Timer1->isActive());
    }

    void endToEndEmulator() {
        Form1 &w = makeWindow(true);
        makeExecutable(tree->path("bin/my emu"), kRecorder);
        w.form2()->Text2->setText(tree->path("bin/my emu")); // a path with a space, unquoted
        w.startcalc_Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tree->path("bin/my emu.args")), 10000);
        QCOMPARE(readBytes(tree->path("bin/my emu.args")), QByteArray(""));
        w.form2()->Text2->setText("\"" + tree->path("bin/my emu") + "\" --rom=\"/a b/rom\"");
        w.startcalc_Click();
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(tree->path("bin/my emu.args")),
                                  QByteArray("--rom=/a b/rom\n"), 10000);
        w.form2()->Text2->setText(
            QStringLiteral("   ")); // blanks count as configured; the start fails
        w.startcalc_Click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(QString::fromLocal8Bit(strerror(ENOENT))));
    }

    void startedProcessesOutliveTheEditor() {
        Form1 &w = makeWindow(true);
        makeExecutable(tree->path("asm.bat"),
                       "#!/bin/sh\nsleep 0.5\ntouch \"$(dirname \"$0\")/survived\"\n");
        openSource(source("a.z80", "x"));
        w.makeprog_Click();
        QVERIFY(w.Timer1->isActive());
        window.reset(); // exit within the five seconds
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tree->path("survived")), 10000);
    }
};

QTEST_MAIN(BuildTest)
#include "ui_build_test.moc"
