// Trying to break the promise: bad files, failing disks, killed saves, and
// build scripts that misbehave. The editor must keep running, say what went
// wrong, and lose nothing.

#include "core/settings.h"
#include "core/templates.h"
#include "ui/editor.h"
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
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
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
    Form1 &withBuildScript(const QByteArray &script, int delayMs) {
        Form1 &w = makeWindow(true, delayMs);
        makeExecutable(tree->path("asm.bat"), "#!/bin/sh\n" + script);
        writeBytes(tree->path("Source/h.z80"), "x");
        openSource(tree->path("Source/h.z80"));
        return w;
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void openRefusesWhatIsNotARegularFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << "folder";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("endless device") << "/dev/zero";
        QTest::newRow("dangling link") << "link";
        QTest::newRow("huge sparse file") << "huge";
    }
    void openRefusesWhatIsNotARegularFile() {
        QFETCH(QString, kind);
        QString path = kind.startsWith('/') ? kind : tree->path(kind);
        if (kind == "folder")
            QDir().mkpath(path);
        else if (kind == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else if (kind == "link")
            QVERIFY(QFile::link(tree->path("nowhere"), path));
        else if (kind == "huge") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qint64(200) * 1024 * 1024)); // sparse: no disk used
        } else {
            path = kind;
        }
        Form1 &w = makeWindow();
        const QString mine = tree->path("mine.z80");
        writeBytes(mine, "my text");
        openSource(mine);
        tree->picker.answers = {path};
        w.open_Click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY2(tree->messages.shown[0].contains(path), qPrintable(tree->messages.shown[0]));
        QVERIFY(tree->messages.shown[0].contains("Error "));
        QCOMPARE(text(), QByteArray("my text"));
        QCOMPARE(w.CommonDialog1.FileName, mine);
    }

    void binaryFilesComeBackExactly() {
        Form1 &w = makeWindow();
        QByteArray program("**TI83F*\x1A\x0A\x00", 11);
        for (int i = 0; i < 5000; ++i)
            program.append(char((i * 37) & 0xFF));
        for (const QByteArray &bytes : {program, QByteArray(65536, '\0')}) {
            const QString p = tree->path("Exec/bin.8xp");
            writeBytes(p, bytes);
            openSource(p);
            w.Text1->setModified(true);
            w.save_Click();
            QCOMPARE(readBytes(p), bytes);
        }
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void strangeSettingsFilesStillStart_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("link");
        QTest::newRow("garbage") << QByteArray("\x00\xFF\x81\x9D\x01\r\r\n", 8)
                                 << QString::fromUtf16(u"\0\u00FF\u0081\u009D\u0001", 5);
        QTest::newRow("one huge line")
            << QByteArray(4 * 1024 * 1024, 'x') << QString(4 * 1024 * 1024, 'x');
        QTest::newRow("no line end") << QByteArray("/usr/bin/tilp") << "/usr/bin/tilp";
        QTest::newRow("only a quote") << QByteArray("\"") << "";
        QTest::newRow("bom") << QByteArray("\xEF\xBB\xBF/a\r\n/b\r\n")
                             << QString::fromUtf16(u"\u00EF\u00BB\u00BF/a");
    }
    void strangeSettingsFilesStillStart() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, link);
        writeBytes(tree->places().settingsFile(), bytes);
        Form1 &w = makeWindow();
        QCOMPARE(w.form2()->Text1->text().size(), link.size());
        QCOMPARE(w.form2()->Text1->text(), link);
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void strangeTemplateFoldersStillList() {
        const QString folder = tree->places().templateFolder();
        for (int i = 0; i < 3000; ++i)
            writeBytes(QStringLiteral("%1/t%2.txt").arg(folder).arg(i, 4, 10, QLatin1Char('0')),
                       "x");
        writeBytes(folder + "/locked.txt", "locked");
        QVERIFY(::chmod(QFile::encodeName(folder + "/locked.txt").constData(), 0) == 0);
        writeBytes(folder + "/two\nlines.txt", "newline");
        // A name that is not UTF-8 still loads the file it names.
        const QByteArray latin1 = QFile::encodeName(folder) + "/caf\xE9.txt";
        FILE *f = fopen(latin1.constData(), "wb");
        QVERIFY(f);
        fputs("latin-1 name", f);
        fclose(f);

        Form1 &w = makeWindow();
        const QList<QAction *> entries = w.findChild<QMenu *>("new")->actions();
        QCOMPARE(entries.size(), 3003);
        QAction *odd = nullptr, *lines = nullptr, *locked = nullptr;
        for (QAction *a : entries) {
            if (a->text().startsWith("caf"))
                odd = a;
            if (a->text() == "two lines")
                lines = a;
            if (a->text() == "locked")
                locked = a;
        }
        QVERIFY(odd && lines && locked);
        odd->trigger();
        QCOMPARE(text(), QByteArray("latin-1 name"));
        lines->trigger();
        QCOMPARE(text(), QByteArray("newline"));
        locked->trigger(); // unreadable unless we are root; either way nothing breaks
        if (::geteuid() != 0) {
            QCOMPARE(tree->messages.shown.size(), 1);
            QCOMPARE(text(), QByteArray("newline"));
        }
        QVERIFY(::chmod(QFile::encodeName(folder + "/locked.txt").constData(), 0600) == 0);
        QVERIFY(::unlink(latin1.constData()) == 0); // Qt could not remove it by its decoded name
    }

    void aFullDiskLosesNothingAndTheNextSaveWorks() {
        Form1 &w = makeWindow();
        const QString file = tree->path("Source/big.z80");
        writeBytes(file, "the old, short content");
        openSource(file);
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

        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(QString::fromLocal8Bit(strerror(EFBIG))));
        QCOMPARE(readBytes(file), QByteArray("the old, short content"));
        QCOMPARE(text(), typed);
        QVERIFY(w.Text1->isModified());
        QCOMPARE(QDir(tree->path("Source")).entryList(QDir::Files | QDir::Hidden).size(),
                 1); // no temporary left
        w.save_Click();
        QCOMPARE(readBytes(file), typed);
        QCOMPARE(tree->messages.shown.size(), 1);
    }

    void aSaveKilledHalfwayLeavesAWholeFile() {
        const QString file = tree->path("Source/killed.z80");
        const qsizetype size = 4 * 1024 * 1024;
        writeBytes(file, QByteArray(size, 'O'));
        for (int round = 0; round < 8; ++round) {
            QProcess helper;
            helper.start(QCoreApplication::applicationDirPath() + "/save_helper",
                         {file, QString::number(size)});
            QVERIFY(helper.waitForReadyRead(10000));
            // Kill it while a save is under way: its temporary file exists.
            auto saving = [&] {
                return !QDir(tree->path("Source"))
                            .entryList({".killed.z80.*"}, QDir::Files | QDir::Hidden)
                            .isEmpty();
            };
            QTRY_VERIFY_WITH_TIMEOUT(saving(), 30000);
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished(10000));
            const QByteArray now = readBytes(file);
            QCOMPARE(now.size(), size);
            QVERIFY(now == QByteArray(size, now[0])); // one whole version, never a mix
        }
    }

    void aHangingBuildKeepsTheEditorResponsive() {
        Form1 &w = withBuildScript("echo $$ > \"$(dirname \"$0\")/pid\"\nexec sleep 600\n", 50);
        w.makesend_Click();
        QSignalSpy tick(w.Timer2, &QTimer::timeout);
        QVERIFY(tick.wait(5000));
        QTimer beat;
        QSignalSpy beats(&beat, &QTimer::timeout);
        beat.start(10);
        QVERIFY(beats.wait(2000)); // the event loop runs on
        QTRY_VERIFY(QFile::exists(tree->path("pid")));
        QVERIFY(!w.form3());
        QVERIFY(tree->messages.shown.isEmpty()); // nothing judged while it runs
        ::kill(readBytes(tree->path("pid")).trimmed().toInt(), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(tree->messages.shown.size(), 1, 10000);
        QVERIFY(tree->messages.shown[0].contains(tree->places().assemblerLog())); // it left no log
    }

    void aHugeLogIsShown() {
        Form1 &w = withBuildScript("yes 'a line of the log that goes on' | head -c 5000000 > "
                                   "\"$(dirname \"$0\")/TASM/error.log\"\n",
                                   50);
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.form3(), 20000);
        const int lineLength = int(strlen("a line of the log that goes on\n"));
        QCOMPARE(w.form3()->Text1->document()->blockCount(), 5000000 / lineLength + 1);
    }

    void aScriptRemovedBetweenMakesIsReported() {
        Form1 &w = withBuildScript("echo ok > \"$(dirname \"$0\")/TASM/error.log\"\n", 50);
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.form3(), 10000);
        QFile::remove(tree->path("asm.bat"));
        withoutSearchPath([&] { w.makeprog_Click(); });
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(!w.Timer1->isActive());
    }

    void aHundredMakesGiveOneDisplay() {
        Form1 &w =
            withBuildScript("echo \"built $1\" > \"$(dirname \"$0\")/TASM/error.log\"\n", 1500);
        QSignalSpy ticks(w.Timer1, &QTimer::timeout);
        for (int i = 0; i < 100; ++i)
            w.makeprog_Click();
        QVERIFY(ticks.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(w.form3(), 10000);
        QVERIFY(!ticks.wait(2000));
        QCOMPARE(ticks.count(), 1);
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void aNewMakeReplacesTheOneBeingWaitedFor() {
        Form1 &w = makeWindow();
        makeExecutable(tree->path("asm.bat"), "#!/bin/sh\n");
        writeBytes(tree->places().assemblerLog(), "log");
        writeBytes(tree->path("Source/h.z80"), "x");
        openSource(tree->path("Source/h.z80"));
        tree->starter.endAtOnce = false;
        w.makesend_Click();
        auto first = tree->starter.lastWatch;
        w.Timer2_Timer(); // waits for the first build
        w.makesend_Click();
        auto second = tree->starter.lastWatch;
        first->finish();
        QCoreApplication::processEvents();
        QVERIFY(!w.form3()); // the first build is no longer judged
        w.Timer2_Timer();
        second->finish();
        QTRY_COMPARE(tree->messages.shown, QStringList{"Errors were found."});
        // Exit while a build is being waited for.
        w.makeprog_Click();
        w.Timer1_Timer();
        window.reset();
        tree->starter.lastWatch->finish();
        QCoreApplication::processEvents();
    }

    void nothingIsWrittenButTheChosenFileAndTheSettings() {
        Form1 &w = makeWindow(true, 50);
        makeExecutable(tree->path("asm.bat"),
                       "#!/bin/sh\necho ok > \"$(dirname \"$0\")/TASM/error.log\"\n");
        writeBytes(tree->places().settingsFile(), "\r\n\r\n");
        writeBytes(tree->places().assemblerLog(), "old log");
        writeBytes(tree->path("Source/weird \"$(touch x)\" `id`;\n.z80"), "x");
        openSource(tree->path("Source/weird \"$(touch x)\" `id`;\n.z80"));
        w.form2()->Text1->setText("/bin/true; touch " + tree->path("pwned"));
        w.form2()->Text2->setText("sh -c \"touch " + tree->path("pwned2") + "\"");
        QMap<QString, QByteArray> before = snapshot(tree->root());
        w.Text1->setText("new text");
        w.makeprog_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.form3(), 10000);
        w.form2()->Command3_Click();
        QMap<QString, QByteArray> after = snapshot(tree->root());
        QCOMPARE(after.keys(), before.keys());
        QStringList changed;
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            if (before.value(it.key()) != it.value())
                changed << it.key();
        QStringList expected{tree->places().settingsFile(), tree->places().assemblerLog(),
                             tree->path("Source/weird \"$(touch x)\" `id`;\n.z80")};
        expected.sort();
        QCOMPARE(changed, expected);
        QVERIFY(!QFile::exists(tree->path("Source/x")));
        QVERIFY(!QFile::exists(tree->path("pwned")));
    }
};

QTEST_MAIN(ReliabilityTest)
#include "reliability_test.moc"
