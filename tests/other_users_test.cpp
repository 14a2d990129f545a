// Other users of the machine: a file swapped for a link is not written
// through unasked, a save keeps the file's ACL and attributes, an include
// planted where others may write is not taken before the one meant, and an
// include swapped for a FIFO does not hang the editor.

#include "platform/textfile.h"
#include "ui/analysisrunner.h"
#include "ui/form1.h"
#include "ui/language.h"
#include "ui/symbollist.h"
#include "z80/assembler.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <sys/xattr.h>

namespace {
// A POSIX ACL as the system keeps it in system.posix_acl_access: the owner,
// one more user, the group, the mask and the others.
QByteArray aclGivingUser(quint32 uid) {
    QByteArray acl;
    const auto put32 = [&acl](quint32 v) {
        for (int i = 0; i < 4; ++i)
            acl.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto entry = [&](quint16 tag, quint16 perm, quint32 id) {
        acl.append(char(tag & 0xFF)).append(char(tag >> 8));
        acl.append(char(perm & 0xFF)).append(char(perm >> 8));
        put32(id);
    };
    put32(2);                   // the format's version
    entry(0x01, 6, 0xFFFFFFFF); // owner rw
    entry(0x02, 6, uid);        // the user rw
    entry(0x04, 4, 0xFFFFFFFF); // group r
    entry(0x10, 6, 0xFFFFFFFF); // mask rw
    entry(0x20, 4, 0xFFFFFFFF); // others r
    return acl;
}
QByteArray attribute(const QString &path, const char *name) {
    char value[256];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n < 0 ? QByteArray() : QByteArray(value, int(n));
}
} // namespace

class OtherUsersTest : public QObject, public WindowFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Another user replaces the open file with a link, to a file of the
    // saver's (their shell's start-up file) or to none: the save asks first,
    // naming the file the text would go to, and writes nothing when declined.
    void aFileSwappedForALinkIsNotWrittenThroughUnasked_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("to an existing file") << true;
        QTest::newRow("dangling") << false;
    }
    void aFileSwappedForALinkIsNotWrittenThroughUnasked() {
        QFETCH(bool, targetExists);
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/shared.z80", "ours"));
        const QString file = w.currentFile().path(), profile = tree->path("profile");
        if (targetExists)
            QVERIFY(writeBytes(profile, "the saver's own commands\n"));
        QVERIFY(QFile::remove(file) && QFile::link(profile, file));
        w.Text1->setText("echo typed text");
        tree->messages.confirmations = {false};
        w.save_Click();
        QCOMPARE(shown().size(), 1);
        QVERIFY2(shown().first().contains(profile), qPrintable(shown().first()));
        QCOMPARE(QFileInfo::exists(profile), targetExists);
        if (targetExists)
            QCOMPARE(readBytes(profile), QByteArray("the saver's own commands\n"));
        QCOMPARE(text(), QByteArray("echo typed text"));
        // The user may still say yes.
        tree->messages.confirmations = {true};
        w.save_Click();
        QCOMPARE(readBytes(profile), QByteArray("echo typed text"));
    }

    // A file a third user may read through its ACL, with a note in an
    // extended attribute: both stay through a save.
    void aSaveKeepsTheFilesAclAndAttributes() {
        const QString file = tree->path("Source/acl.z80");
        QVERIFY(writeBytes(file, "old"));
        const QByteArray native = QFile::encodeName(file), acl = aclGivingUser(4003);
        if (::setxattr(native.constData(), "system.posix_acl_access", acl.constData(),
                       size_t(acl.size()), 0) != 0 ||
            ::setxattr(native.constData(), "user.note", "kept", 4, 0) != 0)
            QSKIP("this file system keeps no ACLs or attributes");
        QVERIFY(!writeWholeFile(file, "new"));
        QCOMPARE(readBytes(file), QByteArray("new"));
        QCOMPARE(attribute(file, "system.posix_acl_access"), acl);
        QCOMPARE(attribute(file, "user.note"), QByteArray("kept"));
    }

    // An include with the calculator's definitions planted (in another
    // letter case) in a world-writable folder above the project is not taken
    // before the one in the kit's folder; found only there, it is taken with
    // a warning.
    void aPlantedIncludeIsNotTakenBeforeTheOneMeant() {
        QTemporaryDir top;
        const QString shared = top.filePath("shared"), kit = top.filePath("kit");
        QVERIFY(QDir().mkpath(shared + "/project") && QDir().mkpath(kit));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 0777) == 0);
        QVERIFY(writeBytes(shared + "/project/prog.z80",
                           " .org 9D93h\n #include \"ti83plus.inc\"\n .db VALUE\n"));
        QVERIFY(writeBytes(shared + "/TI83PLUS.INC", "VALUE .equ 0C7h\n")); // rst 0
        QVERIFY(writeBytes(kit + "/ti83plus.inc", "VALUE .equ 0C9h\n"));    // ret
        z80::DiskReader reader;
        z80::Options options;
        options.includeFolders = {kit.toStdString()};
        const std::string source = (shared + "/project/prog.z80").toStdString();
        z80::Assembly a = z80::assemble(source, reader, options);
        QVERIFY(a.ok());
        QCOMPARE(int(a.bytes.size()), 1);
        QCOMPARE(int(a.bytes[0]), 0xC9);
        QVERIFY(a.warnings.empty());

        QVERIFY(QFile::remove(kit + "/ti83plus.inc"));
        a = z80::assemble(source, reader, options);
        QCOMPARE(int(a.bytes.size()), 1);
        QCOMPARE(int(a.bytes[0]), 0xC7);
        QCOMPARE(a.warnings.size(), size_t(1));
        QVERIFY2(QString::fromStdString(a.warnings.front().text).contains("other users"),
                 a.warnings.front().text.c_str());
    }

    // An include swapped for a FIFO after the analysis read it: Find
    // References lists the use and does not wait for a writer.
    void anIncludeSwappedForAFifoDoesNotHangFindReferences() {
        Form1 &w = makeWindow();
        QVERIFY(writeBytes(tree->path("Source/use.inc"), "\tjr loop\n"));
        QVERIFY(openSource("Source/prog.z80", "loop:\n#include \"use.inc\"\n"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy analysed(w.findChild<Language *>("language")->runner(),
                            &AnalysisRunner::finished);
        QVERIFY(analysed.wait(30000));
        QVERIFY(QFile::remove(tree->path("Source/use.inc")));
        QVERIFY(makeFifo(tree->path("Source/use.inc")));
        w.Text1->setCursorPosition(0, 1);
        w.findChildren<QAction *>("findReferences").first()->trigger();
        auto *items = w.findChild<QListWidget *>("symbolItems");
        QVERIFY(items);
        QCOMPARE(items->count(), 1);
        QCOMPARE(w.findChild<QListWidget *>("symbolItems")->item(0)->text(),
                 QString("use.inc:1: loop"));
    }
};

QTEST_MAIN(OtherUsersTest)
#include "other_users_test.moc"
