// The default toolchain end to end: the kit set up in a temporary HOME,
// asm.bat with the kit's assembler, and a build through the editor.

#include "core/kitsetup.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include "fakes.h"

#include <QCryptographicHash>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

class KitTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString root() const { return home.filePath("Asm"); }
    QString at(const QString &relative) const { return root() + "/" + relative; }

    // Runs asm.bat NAME in `folder`, with QUORVIN_SOURCE set when `source` is given.
    int build(const QString &name, const QString &folder, const QString &source = {}) {
        QProcess p;
        p.setWorkingDirectory(folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QUORVIN_SOURCE");
        if (!source.isEmpty())
            env.insert("QUORVIN_SOURCE", source);
        p.setProcessEnvironment(env);
        p.start(at("asm.bat"), {name});
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QStringList log() { return QString::fromUtf8(readBytes(at("TASM/error.log"))).split('\n'); }
    QByteArray program(const QString &name) {
        const QByteArray f = readBytes(at("Exec/" + name + ".8xp"));
        return f.mid(74, f.size() - 76).toHex();
    }

private slots:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(!setUpKit(KIT_STAGE_DIR, root()).error);
    }

    // The kit's programs follow the kit; a file the user may edit is updated
    // while it is a version some kit shipped, and kept once the user changed it.
    void aNewerKitUpdatesOnlyWhatTheUserLeftAlone() {
        QTemporaryDir scratch;
        const QString kit = scratch.filePath("kit"), tree = scratch.filePath("Asm");
        QVERIFY(QDir().mkpath(kit + "/Templates"));
        for (const auto &[file, text] : {std::pair<QString, QByteArray>{"asm.bat", "new asm"},
                                         {"qvasm", "new assembler"},
                                         {"pack8xp", "packer"},
                                         {"Templates/hello.txt", "new hello"},
                                         {"VERSION", "2"}})
            QVERIFY(writeBytes(kit + "/" + file, text));
        const QByteArray oldAsm = QCryptographicHash::hash("old asm", QCryptographicHash::Sha256);
        QVERIFY(writeBytes(kit + "/shipped.txt", oldAsm.toHex() + "  asm.bat\n"));
        QVERIFY(kitNeedsSetUp(kit, tree));
        // With TilEm installed, the new settings start it with the built program.
        const QByteArray path = qgetenv("PATH");
        QVERIFY(QDir().mkpath(scratch.filePath("bin")) &&
                makeExecutable(scratch.filePath("bin/tilem2"), "#!/bin/sh\n"));
        qputenv("PATH", QFile::encodeName(scratch.filePath("bin")));
        QCOMPARE(setUpKit(kit, tree).installed,
                 (QStringList{"qvasm", "pack8xp", "asm.bat", "TASM/Templates/hello.txt",
                              "TASM/config.ini"}));
        qputenv("PATH", path);
        QCOMPARE(readBytes(tree + "/TASM/config.ini"), QByteArray("\r\ntilem2 %f\r\n"));
        QVERIFY(!kitNeedsSetUp(kit, tree));
        QVERIFY(writeBytes(tree + "/asm.bat", "old asm"));
        QVERIFY(writeBytes(tree + "/qvasm", "an old assembler"));
        QVERIFY(writeBytes(tree + "/TASM/Templates/hello.txt", "my own hello"));
        QVERIFY(writeBytes(tree + "/TASM/config.ini", "/my/link\r\n\r\n"));
        const KitReport again = setUpKit(kit, tree);
        QCOMPARE(again.lines(kit, tree),
                 (QStringList{"updated qvasm", "updated asm.bat",
                              "kept TASM/Templates/hello.txt: you have changed it (the kit's own "
                              "version is in " +
                                  kit + ")"}));
        QCOMPARE(readBytes(tree + "/asm.bat"), QByteArray("new asm"));
        QVERIFY(QFileInfo(tree + "/asm.bat").isExecutable());
        QCOMPARE(readBytes(tree + "/TASM/config.ini"), QByteArray("/my/link\r\n\r\n"));
        const QString keptLine =
            "kept TASM/Templates/hello.txt: you have changed it (the kit's own version is in " +
            kit + ")";
        QCOMPARE(setUpKit(kit, tree).lines(kit, tree), QStringList{keptLine});
        QCOMPARE(again.notice(kit, tree), keptLine); // what the window's start tells
        // A template the user deleted stays deleted; one new in a kit comes.
        QVERIFY(QFile::remove(tree + "/TASM/Templates/hello.txt"));
        QVERIFY(writeBytes(kit + "/Templates/getkey.txt", "new getkey"));
        const KitReport third = setUpKit(kit, tree);
        QCOMPARE(third.lines(kit, tree),
                 (QStringList{"installed TASM/Templates/getkey.txt",
                              "left out TASM/Templates/hello.txt: you deleted it"}));
        QVERIFY(!QFileInfo::exists(tree + "/TASM/Templates/hello.txt"));
        QCOMPARE(third.notice(kit, tree), QString());
        // An asm.bat of the user's own is kept, with word of what the new one offers; the
        // programs it calls stay.
        QVERIFY(writeBytes(tree + "/asm.bat", "my own asm"));
        QVERIFY(writeBytes(tree + "/tasm2pasmo", "the translator it calls"));
        QCOMPARE(setUpKit(kit, tree).lines(kit, tree).mid(0, 2),
                 (QStringList{"kept asm.bat: you have changed it (the kit's own version is in " +
                                  kit + ")",
                              "The kit's new asm.bat builds with its own assembler, qvasm: every "
                              "error of a build at once, values in 32 bits, the program's size in "
                              "the log, and a listing and a label file beside each program in " +
                                  tree +
                                  "/Exec. Yours still builds with tasm2pasmo and pasmo, "
                                  "which stay in " +
                                  tree + " (keep pasmo installed); to change over, copy " + kit +
                                  "/asm.bat over yours and make your changes again."}));
        QCOMPARE(readBytes(tree + "/tasm2pasmo"), QByteArray("the translator it calls"));
    }

    // The templates build to the bytes spasm-ng gives for them.
    void everyTemplateBuilds() {
        const struct {
            const char *name, *bytes;
            QString summary;
        } expected[] = {
            {"hello", "bb6def4045ef584521a29def0a45c948656c6c6f2c20776f726c642100",
             "Build succeeded: 29 bytes, code ends at 9DB0h (8,784 bytes below C000h)."},
            {"getkey", "bb6def4045ef584521ab9def0a45ef7249ef4045ef5845c950726573732061206b657900",
             "Build succeeded: 36 bytes, code ends at 9DB7h (8,777 bytes below C000h)."},
            {"empty", "", "Build succeeded: 0 bytes."}};
        for (const auto &[name, bytes, summary] : expected) {
            QFile::remove(at(QString("Source/%1.z80").arg(name)));
            QVERIFY(QFile::copy(at(QString("TASM/Templates/%1.txt").arg(name)),
                                at(QString("Source/%1.z80").arg(name))));
            QCOMPARE(build(name, at("Source")), 0);
            QCOMPARE(program(name), QByteArray(bytes));
            QCOMPARE(log().mid(log().size() - 2), (QStringList{summary, ""}));
        }
        // Beside the program: its listing, labels and map; and the files the build read.
        QCOMPARE(readBytes(at("Exec/hello.lab")),
                 QByteArray("_ClrLCDFull = $4540\n_HomeUp = $4558\n_PutS = $450A\n"
                            "message = $9DA2\nuserMem = $9D95\n"));
        QVERIFY(readBytes(at("Exec/hello.lst"))
                    .contains("   17 00:9D9B 21 A2 9D -          ld hl, message\n"));
        QVERIFY(readBytes(at("Exec/hello.map")).contains("\nlabel message 40354 0:"));
        QCOMPARE(readBytes(at("TASM/last-build.files")),
                 QFile::encodeName(at("Source/empty.z80")) + "\n");
    }

    void errorsAreListedCappedAndEndWithOneVerdict() {
        const QString folder = home.filePath("work");
        QDir().mkpath(folder);
        QVERIFY(writeBytes(folder + "/bad.z80", " .org 9D93h\r\n .db 0BBh,6Dh\r\n"
                                                " rst 28h\r\n .dw _PutS\r\n ret\r\n"));
        QVERIFY(writeBytes(at("Exec/bad.8xp"), "stale program from an earlier build"));
        QVERIFY(writeBytes(at("Exec/bad.map"), "qvmap 1\nstale map from an earlier build\n"));
        QVERIFY(build("bad", folder) != 0);
        QVERIFY(!QFile::exists(at("Exec/bad.map")));
        QCOMPARE(log().mid(1), (QStringList{"bad.z80:4: error: '_PutS' is undefined",
                                            "Build failed: no program was written.", ""}));
        // The same message as values for the editor: the line, and the name's column and length.
        QCOMPARE(readBytes(at("Exec/bad.diag")),
                 QByteArray("qvdiag 1\nerror\t4\t5\t5\tbad.z80\t'_PutS' is undefined\n"));
        QVERIFY(!QFile::exists(at("Exec/bad.8xp")));
        QByteArray many;
        for (int i = 0; i < 60; ++i)
            many += " frob\r\n";
        QVERIFY(writeBytes(folder + "/many.z80", many));
        QVERIFY(build("many", folder) != 0);
        const QStringList lines = log();
        QCOMPARE(lines.size(), 1 + 50 + 1 + 1 + 1);
        QCOMPARE(lines[50], QStringLiteral("many.z80:50: error: unknown instruction 'frob'"));
        QCOMPARE(lines[51], QStringLiteral("... and 10 more errors"));
        QCOMPARE(lines[52], QStringLiteral("Build failed: no program was written."));
        QCOMPARE(readBytes(at("Exec/many.diag")).count("\nerror\t"), 60);
        // A build that fails before the assembler runs leaves no older values behind.
        QVERIFY(build("missing", folder) != 0);
        QVERIFY(writeBytes(at("Exec/many.diag"), "qvdiag 1\n"));
        QFile::remove(folder + "/many.z80");
        QVERIFY(build("many", folder) != 0);
        QVERIFY(!QFile::exists(at("Exec/many.diag")));
    }

    // The editor names the very file it edits; run by hand, a pair of
    // sources of one name is refused rather than guessed between.
    void theFileBeingEditedIsTheOneBuilt() {
        const QString folder = home.filePath("pair");
        QDir().mkpath(folder);
        QVERIFY(writeBytes(folder + "/twin.z80", " .org 9D93h\r\n .db 0BBh,6Dh,1\r\n"));
        QVERIFY(writeBytes(folder + "/twin.asm", " .org 9D93h\r\n .db 0BBh,6Dh,2\r\n"));
        QCOMPARE(build("twin", folder, folder + "/twin.asm"), 0);
        QCOMPARE(program("twin"), QByteArray("bb6d02"));
        QVERIFY(build("twin", folder) != 0);
        QCOMPARE(log()[0], "error: both twin.z80 and twin.asm are in .; build one of them from "
                           "the editor, or rename the other");
        QVERIFY(writeBytes(folder + "/elsewhere.s", " .org 9D93h\r\n .db 0BBh,6Dh,3\r\n"));
        QCOMPARE(build("elsewhere", folder, folder + "/elsewhere.s"), 0);
        QCOMPARE(program("elsewhere"), QByteArray("bb6d03"));
    }

    // A program's own "; defines:" line, among its first lines, adds to
    // asm.bat's; the log's first line names them all.
    void aProgramNamesTheDefinesItNeeds() {
        const QString folder = home.filePath("defines");
        QDir().mkpath(folder);
        QVERIFY(writeBytes(folder + "/opts.z80",
                           "; main: opts.z80\r\n;   defines: DEBUG LEVEL=2\r\n .org 9D93h\r\n"
                           " .db 0BBh,6Dh\r\n#ifdef DEBUG\r\n .db LEVEL\r\n#endif\r\n"
                           "#ifdef TI83P\r\n .db 1\r\n#endif\r\n"));
        QCOMPARE(build("opts", folder), 0);
        QCOMPARE(program("opts"), QByteArray("bb6d0201"));
        QCOMPARE(log()[0], "Assembling ./opts.z80 (defines: TI83P DEBUG LEVEL=2)");
    }

    // A build's outputs reach Exec by a rename inside it: when Exec is full
    // (a 64 KiB file system there), the build fails whole, leaves no cut
    // listing and no program, and its log says it failed.
    void aFullDiskFailsTheBuildAndLeavesNothingCut() {
        if (::geteuid() != 0)
            QSKIP("only root can mount a small file system here");
        QByteArray source = " .org 9D93h\r\n .db 0BBh,6Dh\r\n ret\r\n";
        for (int i = 0; i < 3000; ++i) // a listing of some 150 KB for a 3-byte program
            source += "; a comment line that goes into the listing and nowhere else\r\n";
        QVERIFY(writeBytes(at("Source/roomy.z80"), source));
        QVERIFY(QProcess::execute("mount",
                                  {"-t", "tmpfs", "-o", "size=64k", "tmpfs", at("Exec")}) == 0);
        const int status = build("roomy", at("Source"));
        const QStringList made =
            QDir(at("Exec"))
                .entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
        QVERIFY(QProcess::execute("umount", {at("Exec")}) == 0);
        QVERIFY(status != 0);
        QCOMPARE(made, QStringList());
        QVERIFY2(log().contains("Build failed: no program was written."),
                 qPrintable(log().join('\n')));
    }

    // The editor names a log of the build's own: the script writes it whole,
    // as it writes error.log.
    void theBuildWritesTheLogItWasGiven() {
        QVERIFY(writeBytes(at("Source/own.z80"), " .org 9D93h\r\n .db 0BBh,6Dh\r\n ret\r\n"));
        const QString own = home.filePath("own.log");
        qputenv("QUORVIN_LOG", QFile::encodeName(own));
        const int status = build("own", at("Source"));
        qunsetenv("QUORVIN_LOG");
        QCOMPARE(status, 0);
        QCOMPARE(readBytes(own), readBytes(at("TASM/error.log")));
        QVERIFY(readBytes(own).contains("Build succeeded"));
    }

    void aNameTheCalculatorCannotShowStillBuilds() {
        QVERIFY(writeBytes(at("Source/2cool.z80"), " .org 9D93h\r\n .db 0BBh,6Dh\r\n ret\r\n"));
        QCOMPARE(build("2cool", at("Source")), 0);
        QVERIFY(log().contains("warning: the calculator will show this program as P2COOL (a name "
                               "there is letters and digits, a letter first, at most 8)"));
        QCOMPARE(readBytes(at("Exec/2cool.8xp")).mid(60, 8), QByteArray("P2COOL\0\0", 8));
    }

    // The options that need no window answer without one; --setup-kit says
    // what it did.
    void theCommandLine() {
        QProcess p;
        p.start(QUORVIN_PROGRAM, {"--version"});
        QVERIFY(p.waitForFinished(30000));
        // The licence a binary linked with QScintilla must carry.
        QCOMPARE(p.readAllStandardOutput(),
                 QByteArray("Quorvin " QUORVIN_VERSION "\n"
                            "Copyright 2026 The Quorvin developers\n"
                            "License GPL-3.0-or-later: GNU GPL version 3 or later "
                            "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
                            "This is free software: you are free to change and redistribute it.\n"
                            "There is NO WARRANTY, to the extent permitted by law.\n"));
        p.start(QUORVIN_PROGRAM, {"--help"});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY(p.readAllStandardOutput().contains("Usage: "));
        p.start(QUORVIN_PROGRAM, {"--setup-kit"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.readAllStandardOutput(), root().toUtf8() + " has this kit already\n");
    }

    void makeAndSendThroughTheEditor() {
        TestTree fakes; // scripted dialogs; the tree itself is the set-up one
        SystemProcessStarter starter;
        Services s = fakes.services(&starter);
        s.root = root();
        s.resultDelayMs = 200;
        Form1 w(s);
        const QString recorder = home.filePath("send-link");
        QVERIFY(makeExecutable(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n"));
        QAction *hello = nullptr;
        for (QAction *a : w.findChild<QMenu *>("new")->actions())
            if (a->text() == "hello")
                hello = a;
        QVERIFY(hello);
        hello->trigger();
        fakes.picker.answers = {home.filePath("work/hello.s")};
        w.makeprog_Click(); // untitled: the Save dialog names it, anywhere
        QTRY_VERIFY_WITH_TIMEOUT(
            w.form3() && w.form3()->Text1->toPlainText().contains("Build succeeded"), 20000);
        w.form2()->Text1->setText(recorder);
        w.makesend_Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recorder + ".args"), 20000);
        QCOMPARE(readBytes(recorder + ".args"), QFile::encodeName(at("Exec/hello.8xp")) + "\n");
        QCOMPARE(fakes.messages.shown, QStringList());
    }
};

QTEST_MAIN(KitTest)
#include "kit_script_test.moc"
