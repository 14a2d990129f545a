#include "platform/textfile.h"

#include "fakes.h"

#include <QProcess>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TextFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static ino_t inode(const QString &p) {
        struct stat st {};
        return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? st.st_ino : 0;
    }

private slots:
    void readsRegularFilesOnly() {
        QByteArray all;
        for (int i = 0; i < 3000; ++i)
            all.append(char(i % 256));
        QVERIFY(writeBytes(path("all.bin"), all));
        QByteArray got;
        QVERIFY(!readWholeFile(path("all.bin"), &got));
        QCOMPARE(got, all);

        got = "kept";
        auto e = readWholeFile(path("missing"), &got);
        QVERIFY(e);
        QCOMPARE(e->message(), path("missing") + "\n\nError 2: No such file or directory");
        QCOMPARE(readWholeFile(m_dir.path(), &got)->number, EISDIR);
        QVERIFY(makeFifo(path("fifo")));
        QCOMPARE(readWholeFile(path("fifo"), &got)->number, EINVAL); // no endless wait
        QVERIFY(readWholeFile(QStringLiteral("/dev/zero"), &got));
        QCOMPARE(got, QByteArray("kept"));
    }

    void aFileOfExactlyTheLimitIsRead() {
        QFile f(path("limit"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(kMaxReadSize)); // sparse
        f.close();
        QByteArray got;
        QVERIFY(!readWholeFile(path("limit"), &got));
        QCOMPARE(got.size(), kMaxReadSize);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append) && f.resize(kMaxReadSize + 1));
        f.close();
        const auto e = readWholeFile(path("limit"), &got);
        QVERIFY(e);
        QCOMPARE(e->message(),
                 path("limit") + "\n\nError 27: File too large (the limit is 64 MiB)");
    }

    void safeWriteReplacesTheWholeFileKeepingModeAndLinks() {
        const QString p = path("doc.z80");
        QVERIFY(writeBytes(p, "old content that is longer"));
        QVERIFY(::chmod(QFile::encodeName(p).constData(), 0640) == 0);
        QVERIFY(QFile::link(p, path("link.z80")));
        QVERIFY(!writeWholeFile(path("link.z80"), "new"));
        QCOMPARE(readBytes(p), QByteArray("new"));
        QVERIFY(QFileInfo(path("link.z80")).isSymLink());
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(p).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
        // A name near the longest a folder allows still has room for its temporary.
        const QString longName = path(QString(250, 'n') + ".z80");
        QVERIFY(!writeWholeFile(longName, "long"));
        QCOMPARE(readBytes(longName), QByteArray("long"));
        QCOMPARE(QDir(m_dir.path()).entryList({".*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void failedWriteLeavesTheOldFile() {
        QVERIFY(writeBytes(path("plain"), "i am a file"));
        // A path below a regular file fails even for root.
        QCOMPARE(writeWholeFile(path("plain") + "/below.z80", "text")->number, ENOTDIR);
        QCOMPARE(readBytes(path("plain")), QByteArray("i am a file"));
        QCOMPARE(writeWholeFile(path("nofolder/x.z80"), "text")->number, ENOENT);
        QCOMPARE(writeWholeFile(m_dir.path(), "text")->number, EISDIR);
    }

    // A folder the user may not write in: the writable file in it is written in
    // place. Root may write anywhere, so the writer runs as nobody then.
    void aFileInAFolderTheUserCannotWriteIsWrittenInPlace() {
        QDir(m_dir.path()).mkpath("locked");
        const QString p = path("locked/doc.z80");
        QVERIFY(writeBytes(p, "old"));
        const bool root = ::geteuid() == 0;
        QVERIFY(::chmod(QFile::encodeName(p).constData(), root ? 0666 : 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("locked")).constData(), 0555) == 0);
        QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0);
        const ino_t before = inode(p);
        QProcess helper;
        helper.start(QCoreApplication::applicationDirPath() + "/save_helper",
                     {root ? "--as-nobody" : "--as-me", p, "new text"});
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(readBytes(p), QByteArray("new text"));
        QCOMPARE(inode(p), before);
        QVERIFY(::chmod(QFile::encodeName(path("locked")).constData(), 0755) == 0);
    }

    void aReplacedFileKeepsItsOwner() {
        if (::geteuid() != 0)
            QSKIP("only root may give a file away");
        const QString p = path("theirs.z80");
        QVERIFY(writeBytes(p, "old"));
        QVERIFY(::chown(QFile::encodeName(p).constData(), 65534, 65534) == 0);
        QVERIFY(!writeWholeFile(p, "new"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(p).constData(), &st) == 0);
        QCOMPARE(int(st.st_uid), 65534);
        QCOMPARE(int(st.st_gid), 65534);
    }

    void aStampTellsAnotherVersionApart() {
        const QString p = path("stamped");
        QVERIFY(writeBytes(p, "one"));
        const auto first = fileStamp(p);
        QVERIFY(first && first == fileStamp(p));
        QVERIFY(!writeWholeFile(p, "one")); // same size, new file
        QVERIFY(fileStamp(p) != first);
        QVERIFY(!fileStamp(path("none")));
    }
};

QTEST_GUILESS_MAIN(TextFileTest)
#include "platform_textfile_test.moc"
