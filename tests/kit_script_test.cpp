// The default toolchain: installation into ~/Asm, asm.bat with the real
// assembler, and a build through the editor. HOME is a temporary folder.

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include "fakes.h"

#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>

class KitTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString sourceDir = qEnvironmentVariable("QUORVIN_SOURCE_DIR");
    QString asmRoot() const { return home.filePath("Asm"); }
    QString at(const QString &relative) const { return asmRoot() + "/" + relative; }

    int run(const QString &program, const QStringList &args, const QString &folder) {
        QProcess p;
        p.setWorkingDirectory(folder);
        p.start(program, args);
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    int install() {
        return run("bash", {sourceDir + "/tools/install-kit.sh", KIT_BUILD_DIR}, sourceDir);
    }
    int build(const QString &name, const QString &folder) {
        return run(at("asm.bat"), {name}, folder);
    }
    QString log() { return QString::fromLatin1(readBytes(at("TASM/error.log"))); }

private slots:
    void initTestCase() {
        QVERIFY(!sourceDir.isEmpty());
        qputenv("HOME", QFile::encodeName(home.path()));
        QCOMPARE(install(), 0);
    }

    void installationFillsTheTreeAndNeverOverwrites() {
        for (const char *f :
             {"asm.bat", "pack8xp", "tasm2pasmo", "TASM/Templates/hello.txt",
              "TASM/Templates/empty.txt", "TASM/Templates/getkey.txt", "TASM/config.ini"})
            QVERIFY2(QFile::exists(at(f)), f);
        QVERIFY(QFileInfo(at("Source")).isDir() && QFileInfo(at("Exec")).isDir());
        QVERIFY(QFileInfo(at("asm.bat")).isExecutable());
        const QByteArray config = readBytes(at("TASM/config.ini"));
        QVERIFY2(config == "\r\n\r\n" || config == "\r\ntilem2\r\n", config.constData());

        QVERIFY(writeBytes(at("TASM/config.ini"), "/my/link\r\n\r\n"));
        QVERIFY(writeBytes(at("TASM/Templates/hello.txt"), "my own hello"));
        QCOMPARE(install(), 0);
        QCOMPARE(readBytes(at("TASM/config.ini")), QByteArray("/my/link\r\n\r\n"));
        QCOMPARE(readBytes(at("TASM/Templates/hello.txt")), QByteArray("my own hello"));
        QFile::remove(at("TASM/Templates/hello.txt"));
        QCOMPARE(install(), 0);
        QCOMPARE(readBytes(at("TASM/Templates/hello.txt")),
                 readBytes(sourceDir + "/kit/Templates/hello.txt"));
    }

    void everyTemplateBuildsAndPacks() {
        for (const QString &name : QDir(sourceDir + "/kit/Templates").entryList({"*.txt"})) {
            const QString program = QFileInfo(name).completeBaseName();
            QVERIFY(QFile::copy(sourceDir + "/kit/Templates/" + name,
                                at("Source/" + program + ".z80")));
            QCOMPARE(build(program, at("Source")), 0);
            QVERIFY2(log().contains("Build succeeded"), qPrintable(log()));
            const QByteArray file = readBytes(at("Exec/" + program + ".8xp"));
            QVERIFY(file.startsWith("**TI83F*"));
            QVERIFY(log().trimmed().section('\n', -1).startsWith("Build succeeded"));
        }
    }

    void anErrorNamesFileAndLineAndLeavesNoProgram() {
        const QString folder = home.filePath("elsewhere");
        QDir().mkpath(folder);
        QVERIFY(writeBytes(folder + "/bad.z80",
                           " org 9D93h\r\n db 0BBh,6Dh\r\n rst 28h\r\n dw _PutS\r\n ret\r\n"));
        QVERIFY(writeBytes(at("Exec/bad.8xp"), "stale program from an earlier build"));
        QVERIFY(build("bad", folder) != 0);
        QVERIFY2(log().contains("bad.z80:4: error: Symbol '_PutS' is undefined"),
                 qPrintable(log()));
        QVERIFY(log().trimmed().section('\n', -1).startsWith("Build failed"));
        QVERIFY(!QFile::exists(at("Exec/bad.8xp")));
    }

    void aMissingSourceIsReported() {
        QVERIFY(build("nothing", home.path()) != 0);
        QVERIFY2(log().contains("no source nothing.z80 or nothing.asm"), qPrintable(log()));
        QVERIFY(build("", home.path()) != 0);
        QVERIFY(log().contains("no program name"));
    }

    void theClassicDialectBuildsWithIncludesFromTheTreesTasmFolder() {
        QVERIFY(writeBytes(at("TASM/tutor.inc"), "#define bcall(label) rst 28h \\ .dw label\r\n"
                                                 "_PutS .equ 450Ah\r\nuserMem = 9D95h\r\n"));
        QVERIFY(writeBytes(at("Source/tutor.z80"),
                           "#include \"tutor.inc\"\r\n.org userMem-2\r\n"
                           ".db $BB,$6D\r\n ld hl,msg\r\n bcall(_PutS)\r\n ret\r\n"
                           "msg .db \"Hi\",0\r\n.end\r\n"));
        QCOMPARE(build("tutor", at("Source")), 0);
        const QByteArray file = readBytes(at("Exec/tutor.8xp"));
        QCOMPARE(file.mid(74, file.size() - 76),
                 QByteArray("\xBB\x6D\x21\x9C\x9D\xEF\x0A\x45\xC9Hi\0", 12));

        // pasmo's errors point into the user's own files, includes too.
        QVERIFY(writeBytes(at("TASM/broken.inc"), "; helpers\r\n ld a,undefinedThing\r\n"));
        QVERIFY(writeBytes(at("Source/broken.z80"), "#include \"broken.inc\"\r\n ret\r\n"));
        QVERIFY(build("broken", at("Source")) != 0);
        QVERIFY2(log().contains("broken.inc:2: error: Symbol 'undefinedThing' is undefined"),
                 qPrintable(log()));
        QVERIFY(writeBytes(at("Source/broken.z80"), " nop\r\n\r\n ld a,(nowhere)\r\n"));
        QVERIFY(build("broken", at("Source")) != 0);
        QVERIFY2(log().contains("broken.z80:3: error: Symbol 'nowhere' is undefined"),
                 qPrintable(log()));
        QVERIFY(writeBytes(at("Source/broken.z80"), " nop\r\n .wrong\r\n"));
        QVERIFY(build("broken", at("Source")) != 0);
        QVERIFY2(log().contains("broken.z80:2: error: unknown directive '.wrong'"),
                 qPrintable(log()));
        QVERIFY(!QFile::exists(at("Exec/broken.8xp")));
    }

    void theSourceFolderIsTheFallback() {
        QVERIFY(writeBytes(at("Source/fallback.asm"), " org 9D93h\n db 0BBh,6Dh\n ret\n"));
        QCOMPARE(build("fallback", home.path()), 0);
        QCOMPARE(readBytes(at("Exec/fallback.8xp")).size(), 76 + 3);
    }

    void makeAndSendThroughTheEditor() {
        TestTree fakes; // scripted dialogs; the tree itself is the installed one
        SystemProcessStarter starter;
        Services s = fakes.services(&starter);
        s.root = asmRoot();
        s.resultDelayMs = 200;
        Form1 w(s);
        const QString recorder = home.filePath("send-link");
        QVERIFY(writeBytes(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n"));
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QAction *hello = nullptr;
        for (QAction *a : w.findChild<QMenu *>("new")->actions())
            if (a->text() == "hello")
                hello = a;
        QVERIFY(hello);
        QFile::remove(at("TASM/Templates/hello.txt"));
        QVERIFY(
            QFile::copy(sourceDir + "/kit/Templates/hello.txt", at("TASM/Templates/hello.txt")));
        hello->trigger();
        fakes.picker.answers = {at("Source/hello.z80")};
        w.makeprog_Click(); // untitled: the Save dialog names it
        QTRY_VERIFY_WITH_TIMEOUT(
            w.form3() && w.form3()->Text1->toPlainText().contains("Build succeeded"), 20000);

        w.form2()->Text1->setText(recorder);
        w.makesend_Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recorder + ".args"), 20000);
        QCOMPARE(readBytes(recorder + ".args"), QFile::encodeName(at("Exec/hello.8xp")) + "\n");
        QVERIFY(fakes.messages.shown.isEmpty());
    }
};

QTEST_MAIN(KitTest)
#include "kit_script_test.moc"
