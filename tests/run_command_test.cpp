// `quorvin --run` as a learner or a CI script uses it: tutorial-style
// programs built into .8xp files, run without a window, judged by the home
// screen printed with --text, the exit status and the reason on stderr.

#include "packer.h"

#include "run_programs.h"

#include <QImage>

#include <sys/stat.h>

namespace {

struct Outcome {
    int status;
    QString out, err;
};

} // namespace

class RunCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Builds the program into NAME.8xp and runs quorvin --run on it.
    Outcome run(const QString &name, const QString &body, const QStringList &options) {
        Bytes binary = {0xBB, 0x6D};
        const Bytes code = assemble(body);
        binary.insert(binary.end(), code.begin(), code.end());
        const PackResult packed = pack8xp(binary, name.toStdString());
        const QString path = dir.filePath(name + ".8xp");
        QFile f(path);
        if (code.empty() || !f.open(QIODevice::WriteOnly))
            return {-1, {}, {}};
        f.write(reinterpret_cast<const char *>(packed.file.data()), qint64(packed.file.size()));
        f.close();
        QProcess p;
        p.start(QUORVIN_PROGRAM, QStringList{"--run", path} + options);
        if (!p.waitForFinished(60000))
            return {-1, {}, {}};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void helloWorldPrintsItsGreeting() {
        const Outcome o = run("HELLO", R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, text
        bcall(_PutS)
        bcall(_NewLine)
        ld hl, 2026
        bcall(_DispHL)
        ret
text:   db "Hello, world!", 0)",
                              {"--text", "--screenshot", dir.filePath("hello.png")});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out, QString("Hello, world!   \n 2026           \n            Done\n") +
                            QString("                \n").repeated(5));
        const QImage shot(dir.filePath("hello.png"));
        QCOMPARE(shot.size(), QSize(96, 64));
        int dark = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                dark +=
                    qGray(shot.pixel(x, y)) < 128 ? (y < 24 ? 1 : 1000) : 0; // Done is on line 3
        QVERIFY(dark > 0 && dark < 1000);
    }

    // Each key the list gives is read by _GetKey and shown as its key code.
    void aKeyLoopReadsTheKeysGiven() {
        const QString loop = R"(
        bcall(_HomeUp)
again:  bcall(_GetKey)
        cp 9                    ; kClear
        ret z
        ld l, a
        ld h, 0
        bcall(_DispHL)
        bcall(_NewLine)
        jr again)";
        const Outcome o = run("KEYS", loop, {"--keys", "2,ENTER,2ND,MODE,A,CLEAR", "--text"});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.split('\n').mid(0, 4),
                 QStringList({"  144           ", "    5           ", "   64           ",
                              "  154           "}));
        const Outcome out = run("KEYS", loop, {"--keys", "2"});
        QCOMPARE(out.status, 1);
        QCOMPARE(out.err, QString("quorvin: KEYS: the program waits for a key (_GetKey at 9D98h) "
                                  "and the list of keys has run out\n"));
    }

    void aRunThatDoesNotEndSaysWhy() {
        const Outcome loop = run("LOOP", "spin: jr spin", {"--cycles", "1200000"});
        QCOMPARE(loop.status, 1);
        QCOMPARE(loop.err, QString("quorvin: LOOP: the program was still running after 1200000 "
                                   "cycles (0.2 seconds of calculator time)\n"));
        const Outcome key = run("LOOP", "ret", {"--keys", "ENTER,FOO"});
        QCOMPARE(key.status, 2);
        QCOMPARE(key.err, QString("quorvin: no calculator key is called FOO\n"));
    }

    // Only regular files are read, and no more than a program file can be: a
    // FIFO nobody writes to and /dev/zero are refused at once instead of
    // blocking or growing without end. A damaged file runs only when asked.
    void filesThatAreNoProgramAreRefused() {
        const QString fifo = dir.filePath("pipe.8xp");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &path : {fifo, QString("/dev/zero")}) {
            QProcess p;
            p.start(QUORVIN_PROGRAM, {"--run", path});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 1);
            QVERIFY2(QString::fromUtf8(p.readAllStandardError()).contains("is not a regular file"),
                     qPrintable(path));
        }
        QVERIFY(run("GOOD", "ret", {}).status == 0);
        QFile f(dir.filePath("GOOD.8xp"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(f.size() - 1);
        const char last = f.read(1).at(0);
        f.seek(f.size() - 1);
        f.write(QByteArray(1, char(last ^ 1)));
        f.close();
        QProcess refused;
        refused.start(QUORVIN_PROGRAM, {"--run", f.fileName()});
        QVERIFY(refused.waitForFinished(60000));
        QCOMPARE(refused.exitCode(), 1);
        QVERIFY(QString::fromUtf8(refused.readAllStandardError()).contains("checksum"));
        QProcess anyway;
        anyway.start(QUORVIN_PROGRAM, {"--run", f.fileName(), "--ignore-checksum"});
        QVERIFY(anyway.waitForFinished(60000));
        QCOMPARE(anyway.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(anyway.readAllStandardError()),
                 QString("quorvin: GOOD: the file's checksum is wrong; running it as asked\n"));
    }
};

QTEST_GUILESS_MAIN(RunCommandTest)
#include "run_command_test.moc"
