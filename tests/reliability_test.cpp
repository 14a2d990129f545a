// Trying to break the promise: bad files, failing disks, killed saves, and
// build scripts that misbehave. The editor must keep running, say what went
// wrong, and lose nothing.

#include "core/shownlog.h"
#include "platform/textfile.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QDirIterator>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Every file under a folder with its content, to see what an action wrote.
QMap<QString, QByteArray> snapshot(const QString &folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        files.insert(p, readBytes(p));
    }
    return files;
}
} // namespace

class ReliabilityTest : public QObject, public WindowFixture {
    Q_OBJECT

    // A window with real processes, an asm.bat running `script`, and an open source.
    bool withBuildScript(const QByteArray &script, int delayMs) {
        makeWindow(true, delayMs);
        return makeExecutable(tree->path("asm.bat"), "#!/bin/sh\n" + script) &&
               openSource("Source/h.z80", "x");
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void openRefusesWhatIsNotARegularFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("folder") << "folder"
                                << "Error 21: Is a directory";
        QTest::newRow("fifo") << "fifo"
                              << "Error 22: Not a regular file";
        QTest::newRow("endless device") << "/dev/zero"
                                        << "Error 22: Not a regular file";
        QTest::newRow("dangling link") << "link"
                                       << "Error 2: No such file or directory";
        QTest::newRow("huge sparse file") << "huge"
                                          << "Error 27: File too large (the limit is 64 MiB)";
    }
    void openRefusesWhatIsNotARegularFile() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        const QString path = kind.startsWith('/') ? kind : tree->path(kind);
        QFile huge(path);
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "fifo")
            QVERIFY(makeFifo(path));
        else if (kind == "link")
            QVERIFY(QFile::link(tree->path("nowhere"), path));
        else if (kind == "huge")
            QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(200) << 20)); // sparse
        Form1 &w = makeWindow();
        QVERIFY(openSource("mine.z80", "my text"));
        tree->picker.answers = {path};
        w.open_Click();
        QCOMPARE(shown(), QStringList{path + "\n\n" + error});
        QCOMPARE(text(), QByteArray("my text"));
        QCOMPARE(w.currentFile().path(), tree->path("mine.z80"));
    }

    void binaryFilesComeBackExactly() {
        Form1 &w = makeWindow();
        QByteArray program("**TI83F*\x1A\x0A\x00", 11);
        for (int i = 0; i < 5000; ++i)
            program.append(char((i * 37) & 0xFF));
        for (const QByteArray &bytes : {program, QByteArray(65536, '\0')}) {
            QVERIFY(openSource("Exec/bin.8xp", bytes));
            w.Text1->setModified(true);
            w.save_Click();
            QCOMPARE(readBytes(tree->path("Exec/bin.8xp")), bytes);
        }
        QCOMPARE(shown(), QStringList());
    }

    void strangeSettingsFilesStillStart_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("link");
        QTest::newRow("garbage") << QByteArray("\x00\xFF\x81\x9D\x01\r\r\n", 8)
                                 << QString::fromUtf16(u"\0\u00FF\u0081\u009D\u0001", 5);
        QTest::newRow("one huge line")
            << QByteArray(4 * 1024 * 1024, 'x') << QString(4 * 1024 * 1024, 'x');
        QTest::newRow("only a quote") << QByteArray("\"") << "\"";
        QTest::newRow("UTF-8 with a byte-order mark")
            << QByteArray("\xEF\xBB\xBF/opt/\xC3\xA9mu\r\n/b\r\n")
            << QString::fromUtf16(u"/opt/\u00E9mu");
    }
    void strangeSettingsFilesStillStart() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, link);
        QVERIFY(writeBytes(tree->places().settingsFile(), bytes));
        Form1 &w = makeWindow();
        QCOMPARE(w.form2()->Text1->text(), link);
        QCOMPARE(shown(), QStringList());
    }

    void strangeTemplateFoldersStillList() {
        const QString folder = tree->places().templateFolder();
        for (int i = 0; i < 3000; ++i)
            QVERIFY(writeBytes(
                QStringLiteral("%1/t%2.txt").arg(folder).arg(i, 4, 10, QLatin1Char('0')), "x"));
        QVERIFY(writeBytes(folder + "/two\nlines.txt", "newline"));
        // A name that is not UTF-8 still loads the file it names.
        const QByteArray latin1 = QFile::encodeName(folder) + "/caf\xE9.txt";
        FILE *f = fopen(latin1.constData(), "wb");
        QVERIFY(f);
        fputs("latin-1 name", f);
        fclose(f);
        Form1 &w = makeWindow();
        const QList<QAction *> entries = w.findChild<QMenu *>("new")->actions();
        QCOMPARE(entries.size(), 3002);
        for (QAction *a : entries) {
            if (a->text().startsWith("caf")) {
                a->trigger();
                QCOMPARE(text(), QByteArray("latin-1 name"));
            } else if (a->text() == "two lines") {
                a->trigger();
                QCOMPARE(text(), QByteArray("newline"));
            }
        }
        QVERIFY(::unlink(latin1.constData()) == 0); // Qt could not remove it by its decoded name
    }

    void aFullDiskLosesNothingAndTheNextSaveWorks() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/big.z80", "the old, short content"));
        const QString file = w.currentFile().path();
        const QByteArray typed(20000, 'z');
        w.Text1->setText(QString::fromLatin1(typed));
        // Files may grow to 4 KiB only; the write fails with EFBIG instead of a signal.
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        w.save_Click();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(shown(), QStringList{file + "\n\nError 27: File too large"});
        QCOMPARE(readBytes(file), QByteArray("the old, short content"));
        QCOMPARE(text(), typed);
        QCOMPARE(QDir(tree->path("Source")).entryList(QDir::Files | QDir::Hidden).size(),
                 1); // no temporary left
        w.save_Click();
        QCOMPARE(readBytes(file), typed);
        QCOMPARE(shown().size(), 1);
    }

    // A helper saves over and over, stopping at each step of each write; it is
    // killed at a different step each round. The file is always one whole
    // version; written in place (in a folder its user may not write in), the
    // file or the copy in the spare folder is.
    void aSaveKilledAtAnyStepLeavesAWholeFile_data() {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("beside the file") << false;
        QTest::newRow("in place") << true;
    }
    void aSaveKilledAtAnyStepLeavesAWholeFile() {
        QFETCH(bool, inPlace);
        if (inPlace && ::geteuid() != 0)
            QSKIP("only root can save as another user here");
        const QString file = tree->path("Source/killed.z80");
        const QString spare = tree->places().spareFolder();
        const qsizetype size = 1024 * 1024;
        QVERIFY(writeBytes(file, QByteArray(size, 'O')));
        QStringList command = {QCoreApplication::applicationDirPath() + "/save_helper"};
        if (inPlace) {
            // The user 4001 may write the file and the spare folder only.
            QVERIFY(QDir().mkpath(spare));
            const QList<QPair<QString, int>> modes = {{file, 0666},
                                                      {tree->path("Source"), 0555},
                                                      {tree->path("TASM"), 0755},
                                                      {tree->root(), 0755}};
            for (const auto &[path, mode] : modes)
                QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
            QVERIFY(::chown(QFile::encodeName(spare).constData(), 4001, 4001) == 0);
            command =
                QStringList{"setpriv", "--reuid=4001", "--regid=4001", "--clear-groups", "--"} +
                command;
        }
        for (int round = 0; round < 8; ++round) {
            QProcess helper;
            helper.start(command.first(),
                         command.mid(1) +
                             QStringList{"--steps", file, QString::number(size), spare});
            const int killAt = round % 4; // the temporary made, half, all written, renamed
            for (int step = -1; step != killAt;) {
                while (!helper.canReadLine())
                    QVERIFY(helper.waitForReadyRead(30000));
                step = helper.readLine().trimmed().toInt();
                if (step != killAt)
                    helper.write("go\n");
            }
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished(30000));
            const auto whole = [](const QByteArray &bytes) {
                return bytes.size() == size && bytes == QByteArray(size, bytes[0]);
            };
            bool found = whole(readBytes(file)); // one whole version, never a mix
            QDirIterator copies(spare, QDir::Files);
            while (!found && copies.hasNext())
                found = whole(readBytes(copies.next()));
            QVERIFY2(found, qPrintable(QStringLiteral("killed at step %1").arg(killAt)));
        }
        QVERIFY(::chmod(QFile::encodeName(tree->path("Source")).constData(), 0755) == 0);
    }

    void aHangingBuildKeepsTheEditorResponsive() {
        QVERIFY(makeFifo(tree->path("gate"))); // never opened: the script waits for ever
        QVERIFY(withBuildScript(
            "echo $$ > \"$(dirname \"$0\")/pid\"\nread go < \"$(dirname \"$0\")/gate\"\n", 50));
        Form1 &w = *window;
        w.makesend_Click();
        QSignalSpy tick(w.Timer2, &QTimer::timeout);
        QVERIFY(tick.wait(30000));
        QTimer beat;
        QSignalSpy beats(&beat, &QTimer::timeout);
        beat.start(10);
        QVERIFY(beats.wait(2000)); // the event loop runs on
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tree->path("pid")), kWaitMs);
        QVERIFY(!w.form3());
        QCOMPARE(shown(), QStringList()); // nothing judged while it runs
        ::kill(readBytes(tree->path("pid")).trimmed().toInt(), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(
            shown(),
            QStringList{tree->places().assemblerLog() + "\n\nError 2: No such file or directory"},
            10000); // it left no log
    }

    // A log of one 1 MB line, or of 50 MB: the window shows its start with
    // long lines cut, and a last line says what it left out and where it all is.
    void aHugeLogIsShownInPart_data() {
        QTest::addColumn<QByteArray>("write");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("leftOut");
        const QString line = "a line of the log that goes on";
        const int whole = int(kShownLogBytes / (line.size() + 1));
        QTest::newRow("one 1 MB line")
            << QByteArray("head -c 1000000 /dev/zero | tr '\\0' x") << QString(4000, 'x') + u'…'
            << 2 << "the end of 1 line longer than 4000 characters";
        // Lines ended by a lone CR are cut each on its own.
        QTest::newRow("two long lines ended by a CR")
            << QByteArray("{ head -c 5000 /dev/zero | tr '\\0' y; printf '\\r'; "
                          "head -c 5000 /dev/zero | tr '\\0' x; }")
            << QString(4000, 'y') + u'…' << 3 << "the ends of 2 lines longer than 4000 characters";
        QTest::newRow("50 MB") << QByteArray("yes '" + line.toLatin1() + "' | head -c 50000000")
                               << line << whole + 1
                               << QStringLiteral("the last %1 of its 50000000 bytes")
                                      .arg(50000000 - whole * (line.size() + 1));
    }
    void aHugeLogIsShownInPart() {
        QFETCH(QByteArray, write);
        QFETCH(QString, firstLine);
        QFETCH(int, lines);
        QFETCH(QString, leftOut);
        QVERIFY(withBuildScript(write + " > \"$(dirname \"$0\")/TASM/error.log\"\n", 50));
        window->makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(window->form3(), 20000);
        const QTextDocument *shownLog = window->form3()->Text1->document();
        QCOMPARE(shownLog->blockCount(), lines);
        QCOMPARE(shownLog->firstBlock().text(), firstLine);
        QCOMPARE(shownLog->lastBlock().text(), "(Not shown here: " + leftOut + ". " +
                                                   tree->places().assemblerLog() +
                                                   " holds the whole log.)");
        QCOMPARE(shown(), QStringList());
    }

    void aHundredMakesGiveOneDisplayAndLeaveNothingRunning() {
        QVERIFY(
            withBuildScript("echo \"built $1\" > \"$(dirname \"$0\")/TASM/error.log\"\n", 1500));
        Form1 &w = *window;
        QSignalSpy shownLogs(w.runner(), &BuildRunner::finished);
        for (int i = 0; i < 100; ++i)
            w.makeprog_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shownLogs.count(), 1, 30000);
        QVERIFY(!w.Timer1->isActive()); // one-shot: no second display follows
        QTRY_COMPARE_WITH_TIMEOUT(w.runner()->running(), 0, 30000);
        QFile::remove(tree->path("asm.bat")); // removed between two Makes
        {
            const NoSearchPath noPath;
            w.makeprog_Click();
        }
        QCOMPARE(shown(), QStringList{"asm.bat\n\nError 2: No such file or directory"});
        // Exit while a build is being waited for.
        QVERIFY(makeFifo(tree->path("gate")));
        QVERIFY(makeExecutable(tree->path("asm.bat"),
                               "#!/bin/sh\nread go < \"$(dirname \"$0\")/gate\"\n"));
        w.makeprog_Click();
        w.Timer1_Timer();
        window.reset();
        QVERIFY(openGate(tree->path("gate")));
    }

    // A script that fails is no success, even when a fresh program is there
    // (another editor's build of the same name wrote it).
    void aFailedBuildIsNotMadeWhateverProgramIsThere() {
        QVERIFY(withBuildScript("echo other > \"$(dirname \"$0\")/Exec/h.8xp\"\n"
                                "echo failed > \"$(dirname \"$0\")/TASM/error.log\"\nexit 1\n",
                                50));
        window->form2()->Text1->setText("/bin/true");
        window->makesend_Click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"Errors were found."}, 10000);
        QCOMPARE(window->form3()->Text1->toPlainText(), QString("failed\n"));
    }

    // Two editors on one folder tree: each shows the log of the build it
    // started, though the other build wrote the shared log later.
    void twoEditorsEachShowTheirOwnBuildsLog() {
        QVERIFY(makeFifo(tree->path("gate")));
        QVERIFY(withBuildScript(
            "here=$(dirname \"$0\")\nprintf 'log of %s\\n' \"$1\" > \"$QUORVIN_LOG\"\n"
            "printf 'log of %s\\n' \"$1\" > \"$here/TASM/error.log\"\n"
            "[ \"$1\" = h ] && read go < \"$here/gate\"\nexit 0\n",
            50));
        Form1 &first = *window;
        Form1 second(tree->services(&realStarter));
        QVERIFY(writeBytes(tree->path("Source/other.z80"), "y"));
        QVERIFY(second.openFile(tree->path("Source/other.z80")));
        first.makeprog_Click(); // waits at the gate after writing its logs
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tree->places().assemblerLog()), 10000);
        second.makeprog_Click();
        second.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(second.form3(), 10000);
        QCOMPARE(second.form3()->Text1->toPlainText(), QString("log of other\n"));
        QVERIFY(openGate(tree->path("gate")));
        first.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(first.form3(), 10000);
        QCOMPARE(first.form3()->Text1->toPlainText(), QString("log of h\n"));
        QCOMPARE(readBytes(tree->places().assemblerLog()), QByteArray("log of other\n"));
    }

    void nothingIsWrittenButTheChosenFileAndTheSettings() {
        Form1 &w = makeWindow(true, 50);
        QVERIFY(makeExecutable(tree->path("asm.bat"),
                               "#!/bin/sh\necho ok > \"$(dirname \"$0\")/TASM/error.log\"\n"));
        QVERIFY(writeBytes(tree->places().settingsFile(), "\r\n\r\n"));
        QVERIFY(writeBytes(tree->places().assemblerLog(), "old log"));
        const QString weird = "Source/weird \"$(touch x)\" `id`;\n.z80";
        QVERIFY(openSource(weird, "x"));
        w.form2()->Text1->setText("/bin/true; touch " + tree->path("pwned"));
        w.form2()->Text2->setText("sh -c \"touch " + tree->path("pwned2") + "\"");
        const QMap<QString, QByteArray> before = snapshot(tree->root());
        w.Text1->setText("new text");
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.form3(), 10000);
        w.form2()->Command3_Click();
        const QMap<QString, QByteArray> after = snapshot(tree->root());
        QCOMPARE(after.keys(), before.keys());
        QStringList changed;
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            if (before.value(it.key()) != it.value())
                changed << it.key();
        QStringList expected{tree->places().settingsFile(), tree->places().assemblerLog(),
                             tree->path(weird)};
        expected.sort();
        QCOMPARE(changed, expected);
    }
};

QTEST_MAIN(ReliabilityTest)
#include "reliability_test.moc"
