#include "platform/textfile.h"

#include "base/lines.h"
#include "platform/textlines.h"

#include "fakes.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
struct stat statOf(const QString &p) {
    struct stat st {};
    ::stat(QFile::encodeName(p).constData(), &st);
    return st;
}
bool own(const QString &p, uid_t uid, gid_t gid, mode_t mode) {
    const QByteArray n = QFile::encodeName(p);
    return ::chown(n.constData(), uid, gid) == 0 && ::chmod(n.constData(), mode) == 0;
}
// Other users of the machine, by number: no account is needed to act as one.
constexpr uid_t kOwner = 4001, kSaver = 4002;
constexpr gid_t kTeam = 4242;
} // namespace

class TextFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static ino_t inode(const QString &p) { return statOf(p).st_ino; }

    // Runs the save helper as user `uid` (groups `groups`), with files limited
    // to `fileLimit` bytes when it is not 0; its exit code, its output in `out`.
    int saveAs(uid_t uid, const QString &groups, const QStringList &arguments,
               QByteArray *out = nullptr, qint64 fileLimit = 0) {
        QStringList command;
        if (fileLimit)
            command << "prlimit" << QStringLiteral("--fsize=%1").arg(fileLimit) << "--";
        command << "setpriv" << QStringLiteral("--reuid=%1").arg(uid)
                << QStringLiteral("--regid=%1").arg(uid)
                << (groups.isEmpty() ? QStringLiteral("--clear-groups") : "--groups=" + groups)
                << "--" << QCoreApplication::applicationDirPath() + "/save_helper";
        QProcess helper;
        helper.start(command.takeFirst(), command + arguments);
        if (!helper.waitForFinished(30000))
            return -1;
        if (out)
            *out = helper.readAllStandardOutput();
        return helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1;
    }
    // A folder of root's that nobody else may write in, a file in it the
    // user kOwner may write, and kOwner's spare folder.
    bool lockedFolderWith(const QByteArray &old) {
        QDir(m_dir.path()).mkpath("locked");
        QDir(m_dir.path()).mkpath("spare");
        return writeBytes(path("locked/doc.z80"), old) && own(path("locked/doc.z80"), 0, 0, 0666) &&
               own(path("locked"), 0, 0, 0555) && own(path("spare"), kOwner, kOwner, 0700) &&
               own(m_dir.path(), 0, 0, 0755);
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

    // CR LF, LF and a lone CR each end a line, in bytes and in Qt's strings
    // alike; a last line needs no end, a text's last end starts no line, a
    // byte-order mark is no part of the first line.
    void aTextReadsAsTheSameLinesWhateverItsLineEnds_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("one end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("each end") << QByteArray("a\r\nb\nc\rd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("CR, CR LF, LF") << QByteArray("a\r\r\n\n") << QStringList{"a", "", ""};
        QTest::newRow("mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9\n") << QStringList{"\u00e9"};
    }
    void aTextReadsAsTheSameLinesWhateverItsLineEnds() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        QStringList fromBytes;
        for (const QByteArray &line : splitLines(text))
            fromBytes << QString::fromUtf8(line);
        QCOMPARE(fromBytes, lines);
        QCOMPARE(splitLines(QString::fromUtf8(text)), lines);
        // With its ends, a text is given back whole.
        base::LineSplitter split({text.constData(), size_t(text.size())});
        std::string whole(split.mark());
        for (std::string_view line, end; split.next(&line, &end);)
            whole += std::string(line) + std::string(end);
        QCOMPARE(QByteArray::fromStdString(whole), text);
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

    // A folder the user may not write in: the writable file in it is written
    // in place, with a whole copy kept in the spare folder until it is done.
    // Root may write anywhere, so the writer runs as another user.
    void aFileInAFolderTheUserCannotWriteIsWrittenInPlace() {
        if (::geteuid() != 0)
            QSKIP("only root can save as another user here");
        QVERIFY(lockedFolderWith("old"));
        const QString p = path("locked/doc.z80");
        const ino_t before = inode(p);
        QCOMPARE(saveAs(kOwner, {}, {"--once", p, "new text", path("spare")}), 0);
        QCOMPARE(readBytes(p), QByteArray("new text"));
        QCOMPARE(inode(p), before);
        QCOMPARE(QDir(path("spare")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A disk that fills: the space is asked for before the file is cut, so a
    // write that cannot fit leaves the old text whole.
    void aWriteInPlaceThatCannotFitLeavesTheFileAsItWas() {
        if (::geteuid() != 0)
            QSKIP("only root can save as another user here");
        const QByteArray old(31540, 'o');
        QVERIFY(lockedFolderWith(old));
        const QString p = path("locked/doc.z80");
        QByteArray message;
        QCOMPARE(
            saveAs(kOwner, {}, {"--once", p, QString(60000, 'n'), path("spare")}, &message, 40960),
            1);
        QCOMPARE(QString::fromLocal8Bit(message), p + "\n\nError 27: File too large");
        QCOMPARE(readBytes(p), old);
        QCOMPARE(QDir(path("spare")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The disk fills in the middle of the write: the message says where the
    // whole old text is.
    void aWriteInPlaceCutShortSaysWhereTheOldTextIs() {
        if (::geteuid() != 0)
            QSKIP("only root can save as another user here");
        QVERIFY(lockedFolderWith("the old text, whole"));
        const QString p = path("locked/doc.z80");
        QByteArray message;
        QCOMPARE(saveAs(kOwner, {}, {"--cut-at-half", p, "the new text", path("spare")}, &message),
                 1);
        const QStringList kept = QDir(path("spare")).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        const QString copy = path("spare/" + kept.first());
        QCOMPARE(QString::fromLocal8Bit(message),
                 p +
                     "\n\nError 27: File too large\n\nThe file may now be cut short. Its text "
                     "from before this save is kept whole in " +
                     copy + ".");
        QCOMPARE(readBytes(copy), QByteArray("the old text, whole"));
    }

    // Another member of the file's group saves it: the group stays, so its
    // owner may still write it. Where neither owner nor group can stay (a
    // file of another user and group, one in a sticky folder), it is written
    // in place and stays its owner's.
    void savingAnotherUsersFileKeepsItWritableForThem_data() {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileGroup");
        QTest::addColumn<int>("newOwner");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("shared group") << 0775 << int(kTeam) << int(kSaver) << false;
        QTest::newRow("nothing shared") << 0777 << int(kOwner) << int(kOwner) << true;
        QTest::newRow("sticky folder") << 01777 << int(kTeam) << int(kOwner) << true;
    }
    void savingAnotherUsersFileKeepsItWritableForThem() {
        if (::geteuid() != 0)
            QSKIP("only root can save as other users here");
        QFETCH(int, folderMode);
        QFETCH(int, fileGroup);
        QFETCH(int, newOwner);
        QFETCH(bool, inPlace);
        QDir(m_dir.path()).mkpath("shared");
        const QString p = path("shared/doc.z80");
        QVERIFY(writeBytes(p, "theirs"));
        QVERIFY(own(p, kOwner, gid_t(fileGroup), 0664 | (fileGroup == int(kTeam) ? 0 : 0002)));
        QVERIFY(own(path("shared"), 0, kTeam, mode_t(folderMode)));
        QVERIFY(own(m_dir.path(), 0, 0, 0755));
        const ino_t before = inode(p);
        QByteArray message;
        QCOMPARE(saveAs(kSaver, QString::number(kTeam), {"--once", p, "mine"}, &message), 0);
        QCOMPARE(readBytes(p), QByteArray("mine"));
        const struct stat after = statOf(p);
        QCOMPARE(int(after.st_uid), newOwner);
        QCOMPARE(int(after.st_gid), fileGroup);
        QCOMPARE(after.st_ino == before, inPlace);
    }

    // A link whose file is missing gets its file, as the shell's `>` makes it.
    void savingThroughADanglingLinkMakesItsFile() {
        QDir(m_dir.path()).mkpath("real");
        QVERIFY(QFile::link("real/made.z80", path("dangling.z80")));
        QVERIFY(!writeWholeFile(path("dangling.z80"), "made"));
        QVERIFY(QFileInfo(path("dangling.z80")).isSymLink());
        QCOMPARE(readBytes(path("real/made.z80")), QByteArray("made"));
    }

    // Temporary files that killed saves left beside a file go at its next
    // save once they are old; a young one may belong to a save under way.
    void staleTemporariesOfAKilledSaveAreRemoved() {
        QDir(m_dir.path()).mkpath("stale");
        const QString old = path("stale/.big.z80.Ab12Cd"), young = path("stale/.big.z80.Xy34Zw");
        const QStringList others = {path("stale/.other.z80.Ab12Cd"), path("stale/.big.z80.keep")};
        for (const QString &f : QStringList{old, young} + others)
            QVERIFY(writeBytes(f, "left"));
        const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
        for (const QString &f : QStringList{old} + others) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(hourAgo, QFileDevice::FileModificationTime));
        }
        QVERIFY(!writeWholeFile(path("stale/big.z80"), "saved"));
        QStringList left = QDir(path("stale")).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left,
                 (QStringList{".big.z80.Xy34Zw", ".big.z80.keep", ".other.z80.Ab12Cd", "big.z80"}));
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

    // A name that is not UTF-8 would come back from Qt changed, and be saved
    // under another name: it is refused, saying why.
    void aNameThatIsNotUtf8IsRefusedSayingWhy() {
        QVERIFY(!checkNativeName(QFile::encodeName(path(QString::fromUtf16(u"caf\u00E9.z80")))));
        const auto e = checkNativeName("/src/caf\xE9.z80");
        QVERIFY(e);
        QCOMPARE(e->message(),
                 QString::fromUtf16(u"/src/caf\uFFFD.z80") +
                     "\n\nError 84: The name is not valid in the system's character set (UTF-8), "
                     "so the file could not be saved under it again; rename the file first");
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
