// Nothing typed is lost: unsaved text is kept in a recovery copy soon after
// each change, at once when a signal ends the editor, and offered back at the
// next start; a failed or killed save leaves nothing the editor then
// misreads.

#include "core/recovery.h"
#include "ui/form1.h"
#include "ui/recoverykeeper.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {
QStringList copiesIn(const QString &folder) {
    return QDir(folder).entryList({"*.recovery"}, QDir::Files);
}
void type(QsciScintilla *editor, const QByteArray &text) {
    editor->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    editor->SendScintilla(QsciScintillaBase::SCI_ADDTEXT, text.size(), text.constData());
}
bool chmodTo(const QString &path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}
} // namespace

class RecoveryTest : public QObject, public WindowFixture {
    Q_OBJECT
    QString recoveryFolder() const { return tree->places().recoveryFolder(); }
    std::optional<RecoveryCopy> onlyCopy() const {
        const QStringList copies = copiesIn(recoveryFolder());
        if (copies.size() != 1)
            return std::nullopt;
        return decodeRecoveryCopy(readBytes(recoveryFolder() + "/" + copies.first()));
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Typing is kept within two seconds; a save, or dropping the text when
    // the window closes, removes the copy.
    void typedTextIsKeptUntilItIsSavedOrDropped() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/a.z80", "start\n"));
        type(w.Text1, "typed\n");
        QTRY_VERIFY_WITH_TIMEOUT(onlyCopy().has_value(), 2000);
        QCOMPARE(onlyCopy()->text, QByteArray("start\ntyped\n"));
        QCOMPARE(onlyCopy()->document, tree->path("Source/a.z80"));
        w.save_Click();
        QCOMPARE(copiesIn(recoveryFolder()), QStringList());

        type(w.Text1, "more\n");
        QTRY_VERIFY_WITH_TIMEOUT(onlyCopy().has_value(), 2000);
        tree->messages.answers.push_back(MessageBox::Answer::Discard);
        QVERIFY(w.close());
        QCOMPARE(copiesIn(recoveryFolder()), QStringList());
    }

    // A copy that cannot be written is said on the status line, with why,
    // and said again once it can be kept.
    void aCopyThatCannotBeWrittenIsSaid() {
        QVERIFY(writeBytes(recoveryFolder(), "a file where the folder should be"));
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/a.z80", "start\n"));
        type(w.Text1, "typed\n");
        auto *said = w.findChild<QLabel *>("statusMessage");
        QTRY_VERIFY_WITH_TIMEOUT(said->toolTip().contains("cannot be kept in a recovery copy"),
                                 5000);
        QVERIFY(said->toolTip().contains(recoveryFolder()));
        QVERIFY(QFile::remove(recoveryFolder()));
        type(w.Text1, "more\n");
        QTRY_VERIFY_WITH_TIMEOUT(said->toolTip().contains("kept in its recovery copy again"), 5000);
        QVERIFY(onlyCopy().has_value());
    }

    // A real editor process told to end by each signal: the text is in its
    // copy, and the process ended by itself, not killed by the signal.
    void aSignalKeepsTheTextAndEndsTheEditorCleanly_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP (the terminal closed)") << SIGHUP;
        QTest::newRow("SIGINT (Ctrl+C)") << SIGINT;
    }
    void aSignalKeepsTheTextAndEndsTheEditorCleanly() {
        QFETCH(int, signalNumber);
        const QString file = tree->path("Source/s.z80");
        QVERIFY(writeBytes(file, "saved line\n"));
        QProcess editor;
        editor.start(QCoreApplication::applicationDirPath() + "/editor_helper",
                     {tree->root(), file, "typed, never saved"});
        QVERIFY(editor.waitForReadyRead(30000));
        QCOMPARE(editor.readLine(), QByteArray("ready\n"));
        ::kill(pid_t(editor.processId()), signalNumber);
        QVERIFY(editor.waitForFinished(30000));
        QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(editor.exitCode(), 128 + signalNumber);
        QVERIFY(onlyCopy().has_value());
        QCOMPARE(onlyCopy()->text, QByteArray("saved line\ntyped, never saved"));
        QCOMPARE(readBytes(file), QByteArray("saved line\n"));
    }

    // The next start offers a copy whose editor has ended: the difference
    // first, then the text back in the editor, unsaved, under its file's name.
    void theNextStartOffersTheTextBack() {
        const QString file = tree->path("Source/b.z80");
        QVERIFY(writeBytes(file, "one\ntwo\nthree\n"));
        {
            RecoveryOwner ended(recoveryFolder());
            QVERIFY(!ended.write({file, TextEncoding::Windows1252, "one\nTWO, typed\nthree\n",
                                  QDateTime::currentDateTime()}));
        }
        RecoveryOwner running(recoveryFolder()); // a live editor's copy is not offered
        QVERIFY(!running.write({file, TextEncoding::Windows1252, "not this", {}}));
        tree->messages.choices = {1, 0};
        Form1 &w = makeWindow();
        w.show();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 2, kWaitMs);
        QVERIFY(shown().first().contains(file));
        QCOMPARE(tree->messages.texts.size(), 1);
        QVERIFY(tree->messages.texts.first().contains("-two\n+TWO, typed\n"));
        QVERIFY(!tree->messages.texts.first().contains("three"));
        QCOMPARE(text(), QByteArray("one\nTWO, typed\nthree\n"));
        QCOMPARE(w.currentFile().path(), file);
        QVERIFY(w.Text1->isModified());
        QCOMPARE(readBytes(file), QByteArray("one\ntwo\nthree\n"));
        // The offered copy is gone; the text lives on in this editor's own.
        QCOMPARE(copiesIn(recoveryFolder()).size(), 2);
        QVERIFY(QFileInfo::exists(w.recovery()->copyPath()));
        w.Text1->undo();
        QCOMPARE(text(), QByteArray("one\ntwo\nthree\n"));
    }

    // Owners made one right after the other (several windows of one process,
    // or a test) each keep a copy of their own.
    void ownersMadeInTheSameMomentKeepCopiesOfTheirOwn() {
        RecoveryOwner first(recoveryFolder()), second(recoveryFolder());
        QVERIFY(!first.write({{}, TextEncoding::Windows1252, "first", {}}));
        QVERIFY(!second.write({{}, TextEncoding::Windows1252, "second", {}}));
        QCOMPARE(copiesIn(recoveryFolder()).size(), 2);
        QVERIFY(first.copyPath() != second.copyPath());
    }

    void aDiscardedCopyIsGoneAndAskedAboutNoMore() {
        {
            RecoveryOwner ended(recoveryFolder());
            QVERIFY(!ended.write({{}, TextEncoding::Windows1252, "untitled text", {}}));
        }
        tree->messages.choices = {2};
        makeWindow().show();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 1, kWaitMs);
        QVERIFY(shown().first().contains("an untitled document"));
        QCOMPARE(text(), QByteArray());
        QCOMPARE(QDir(recoveryFolder()).entryList(QDir::Files), QStringList());
    }

    // A save in place that fails after reserving room cuts the file back to
    // its old size, which moves its stamp: that is no other program's change.
    void aFailedSaveIsNoChangeByAnotherProgram() {
        if (::geteuid() != 0)
            QSKIP("only root can act as a user who may not write the folder");
        Form1 &w = makeWindow();
        QVERIFY(QDir().mkpath(tree->path("Source/locked")));
        QVERIFY(openSource("Source/locked/doc.z80", "old text"));
        QVERIFY(QDir().mkpath(tree->places().spareFolder()));
        QVERIFY(chmodTo(tree->root(), 0755) && chmodTo(tree->path("Source/locked"), 0555) &&
                chmodTo(tree->path("Source/locked/doc.z80"), 0666));
        QVERIFY(::chown(QFile::encodeName(tree->places().spareFolder()).constData(), 4001, 4001) ==
                0);
        w.Text1->setText(QString(50000, 'n'));
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        QVERIFY(::seteuid(4001) == 0);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        w.save_Click();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
        QVERIFY(::seteuid(0) == 0);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(shown().size(), 1);
        QVERIFY(shown().first().contains("Error 27"));
        QCOMPARE(readBytes(w.currentFile().path()), QByteArray("old text"));
        w.save_Click(); // no question: the file is as the failed save left it
        QCOMPARE(shown().size(), 1);
        QCOMPARE(readBytes(w.currentFile().path()), QByteArray(50000, 'n'));
        QVERIFY(chmodTo(tree->path("Source/locked"), 0755));
    }

    // A save in place killed half-way: the next start names the whole copy
    // in the spare folder and the file it is of.
    void aKilledSaveInPlaceIsNamedAtTheNextStart() {
        if (::geteuid() != 0)
            QSKIP("only root can save as another user here");
        const QString file = tree->path("Source/locked/doc.z80");
        const QString spare = tree->places().spareFolder();
        QVERIFY(QDir().mkpath(tree->path("Source/locked")) && QDir().mkpath(spare));
        QVERIFY(writeBytes(file, QByteArray(4096, 'O')));
        QVERIFY(chmodTo(tree->root(), 0755) && chmodTo(tree->path("Source/locked"), 0555) &&
                chmodTo(file, 0666));
        QVERIFY(::chown(QFile::encodeName(spare).constData(), 4001, 4001) == 0);
        QProcess helper;
        helper.start("setpriv", {"--reuid=4001", "--regid=4001", "--clear-groups", "--",
                                 QCoreApplication::applicationDirPath() + "/save_helper", "--steps",
                                 file, "4096", spare});
        for (QByteArray step; step != "1\n";) { // half written
            QVERIFY(helper.canReadLine() || helper.waitForReadyRead(30000));
            step = helper.readLine();
            if (step != "1\n")
                helper.write("go\n");
        }
        ::kill(pid_t(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(30000));
        const QStringList kept = QDir(spare).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(::chown(QFile::encodeName(spare + "/" + kept.first()).constData(), 0, 0) == 0);
        makeWindow().show();
        QTRY_COMPARE_WITH_TIMEOUT(shown().size(), 1, kWaitMs);
        QVERIFY2(shown().first().contains(file) &&
                     shown().first().contains(spare + "/" + kept.first()),
                 qPrintable(shown().first()));
        QVERIFY(chmodTo(tree->path("Source/locked"), 0755));
    }
};

QTEST_MAIN(RecoveryTest)
#include "recovery_test.moc"
