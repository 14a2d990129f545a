#include "build/commands.h"
#include "build/programname.h"

#include "fakes.h"

#include <QtTest>

#include <sys/time.h>

class BuildCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void programName_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "/x/hello.z80"
                               << "hello";
        QTest::newRow("two dots") << "/x/my.prog.z80"
                                  << "my.prog";
        QTest::newRow("only extension") << "/x/.z80"
                                        << "";
        QTest::newRow("no dot") << "/x/Makefile"
                                << "Makefile";
        QTest::newRow("dot in folder only") << "/x.y/prog"
                                            << "prog";
        QTest::newRow("spaces and shell") << "/a b/x; touch pwned.z80"
                                          << "x; touch pwned";
        QTest::newRow("backslash is a name character") << "/x/a\\b.z80"
                                                       << "a\\b";
        QTest::newRow("empty") << ""
                               << "";
    }
    void programName() {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QCOMPARE(::programName(file), name);
    }

    void emulatorCommandLine() {
        QTemporaryDir dir;
        const QString spaced = dir.filePath(QStringLiteral("my emu"));
        writeBytes(spaced, "");
        Command c = emulatorCommand(spaced);
        QCOMPARE(c.program, spaced);
        QVERIFY(c.arguments.isEmpty());
        c = emulatorCommand(QStringLiteral("tilem2 --rom=/home/me/ti83p.rom"));
        QCOMPARE(c.program, QStringLiteral("tilem2"));
        QCOMPARE(c.arguments, QStringList{QStringLiteral("--rom=/home/me/ti83p.rom")});
        c = emulatorCommand(QStringLiteral("\"/opt/my emu/run\" -a \"b c\""));
        QCOMPARE(c.program, QStringLiteral("/opt/my emu/run"));
        QCOMPARE(c.arguments, (QStringList{QStringLiteral("-a"), QStringLiteral("b c")}));
        c = emulatorCommand(QStringLiteral("   "));
        QCOMPARE(c.program, QStringLiteral("   ")); // starting it fails and is reported
    }

    void linkAndBuildCommandsTakeOneArgument() {
        const Command link = linkCommand(QStringLiteral("/opt/my \"link\"/send"),
                                         QStringLiteral("/h/Asm/Exec/a b.8xp"));
        QCOMPARE(link.program, QStringLiteral("/opt/my \"link\"/send"));
        QCOMPARE(link.arguments, QStringList{QStringLiteral("/h/Asm/Exec/a b.8xp")});
        const Command build = buildCommand(QStringLiteral("/r/asm.bat"), QString());
        QCOMPARE(build.arguments, QStringList{QString()}); // an empty name is still one argument
    }

    void buildScriptIsSoughtInProgramFolderThenRootThenPath() {
        TestTree tree;
        const QString inRoot = tree.path(QStringLiteral("asm.bat"));
        const QString inBin = tree.path(QStringLiteral("bin/asm.bat"));
        QDir(tree.root()).mkpath(QStringLiteral("bin"));
        QCOMPARE(findBuildScript(tree.path(QStringLiteral("bin")), tree.root()), QString());
        writeBytes(inRoot, "#!/bin/sh\n");
        QCOMPARE(findBuildScript(tree.path(QStringLiteral("bin")), tree.root()),
                 QString()); // not executable
        QFile::setPermissions(inRoot, QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(findBuildScript(tree.path(QStringLiteral("bin")), tree.root()), inRoot);
        writeBytes(inBin, "#!/bin/sh\n");
        QFile::setPermissions(inBin, QFile::ReadOwner | QFile::ExeOwner);
        QCOMPARE(findBuildScript(tree.path(QStringLiteral("bin")), tree.root()), inBin);
    }

    void onlyAProgramWrittenSinceTheStartIsFresh() {
        QTemporaryDir dir;
        const QString p = dir.filePath(QStringLiteral("hello.8xp"));
        QVERIFY(!isFreshBuild(p, buildStartTime()));
        writeBytes(p, "old");
        // Date the file an hour back: a program an earlier build left.
        const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        QVERIFY(::utimes(QFile::encodeName(p).constData(), past) == 0);
        const QDateTime start = buildStartTime();
        QVERIFY(!isFreshBuild(p, start));
        writeBytes(p, "new"); // written at once after the start
        QVERIFY(isFreshBuild(p, start));
        QDir(dir.path()).mkpath(QStringLiteral("dir.8xp"));
        QVERIFY(!isFreshBuild(dir.filePath(QStringLiteral("dir.8xp")),
                              QDateTime::fromMSecsSinceEpoch(0)));
    }
};

QTEST_GUILESS_MAIN(BuildCommandsTest)
#include "build_commands_test.moc"
