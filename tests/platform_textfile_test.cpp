#include "platform/textfile.h"

#include "fakes.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TextFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void readsEveryByteOfARegularFile() {
        QByteArray all;
        for (int i = 0; i < 3000; ++i)
            all.append(char(i % 256));
        writeBytes(path("all.bin"), all);
        QByteArray got;
        QVERIFY(!readWholeFile(path("all.bin"), &got));
        QCOMPARE(got, all);
        writeBytes(path("empty"), {});
        QVERIFY(!readWholeFile(path("empty"), &got));
        QVERIFY(got.isEmpty());
    }

    void refusesWhatIsNotARegularFile() {
        QByteArray got("kept");
        auto e = readWholeFile(path("missing"), &got);
        QVERIFY(e);
        QCOMPARE(e->number, ENOENT);
        QCOMPARE(e->path, path("missing"));
        QVERIFY(e->message().contains(QLatin1String("No such file")));
        QVERIFY(e->message().contains(path("missing")));

        e = readWholeFile(m_dir.path(), &got);
        QVERIFY(e);
        QCOMPARE(e->number, EISDIR);

        QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
        e = readWholeFile(path("fifo"), &got); // would block forever if opened for reading
        QVERIFY(e);
        QCOMPARE(e->number, EINVAL);

        e = readWholeFile(QStringLiteral("/dev/zero"), &got);
        QVERIFY(e);
        QCOMPARE(got, QByteArray("kept"));
    }

    void safeWriteReplacesTheWholeFileAndKeepsItsMode() {
        const QString p = path("doc.z80");
        writeBytes(p, "old content that is longer");
        QVERIFY(::chmod(QFile::encodeName(p).constData(), 0640) == 0);
        QVERIFY(!writeWholeFile(p, "new"));
        QCOMPARE(readBytes(p), QByteArray("new"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(p).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
        // No temporary file is left next to it.
        QCOMPARE(QDir(m_dir.path())
                     .entryList(QDir::Files | QDir::Hidden)
                     .filter(QLatin1String("doc.z80"))
                     .size(),
                 1);
    }

    void writeThroughALinkChangesTheFileItNames() {
        const QString target = path("target.z80");
        writeBytes(target, "before");
        QVERIFY(QFile::link(target, path("link.z80")));
        QVERIFY(!writeWholeFile(path("link.z80"), "after"));
        QCOMPARE(readBytes(target), QByteArray("after"));
        QVERIFY(QFileInfo(path("link.z80")).isSymLink());
    }

    void failedWriteLeavesTheOldFileAndReportsTheSystemError() {
        writeBytes(path("plain"), "i am a file");
        // A path below a regular file fails even for root.
        auto e = writeWholeFile(path("plain") + QLatin1String("/below.z80"), "text");
        QVERIFY(e);
        QCOMPARE(e->number, ENOTDIR);
        QCOMPARE(readBytes(path("plain")), QByteArray("i am a file"));

        e = writeWholeFile(path("nofolder/x.z80"), "text");
        QVERIFY(e);
        QCOMPARE(e->number, ENOENT);

        e = writeWholeFile(m_dir.path(), "text");
        QVERIFY(e);
        QCOMPARE(e->number, EISDIR);
    }

    void readOnlyFileFollowsTheUsersRights() {
        const QString p = path("ro.z80");
        writeBytes(p, "old");
        QVERIFY(::chmod(QFile::encodeName(p).constData(), 0444) == 0);
        const auto e = writeWholeFile(p, "new");
        if (::geteuid() == 0) {
            QVERIFY(!e); // root may write it, as a plain write would
            QCOMPARE(readBytes(p), QByteArray("new"));
        } else {
            QVERIFY(e);
            QCOMPARE(e->number, EACCES);
            QCOMPARE(readBytes(p), QByteArray("old"));
        }
    }
};

QTEST_APPLESS_MAIN(TextFileTest)
#include "platform_textfile_test.moc"
