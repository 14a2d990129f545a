#include "toolchain/commands.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/time.h>

class CommandsTest : public QObject {
    Q_OBJECT
private slots:
    void shellWords_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("blanks") << " tilem2\t-r  x " << QStringList{"tilem2", "-r", "x"};
        QTest::newRow("single quotes") << "tilem2 -r '/home/me/My ROMs/83p.rom'"
                                       << QStringList{"tilem2", "-r", "/home/me/My ROMs/83p.rom"};
        QTest::newRow("double quotes")
            << "\"/opt/My Emu/run\" --rom=\"a b\"" << QStringList{"/opt/My Emu/run", "--rom=a b"};
        QTest::newRow("backslashes")
            << "a\\ b \"c\\\"d\\e\" 'f\\g'" << QStringList{"a b", "c\"d\\e", "f\\g"};
        QTest::newRow("nothing expanded")
            << "$HOME `id` ~ *" << QStringList{"$HOME", "`id`", "~", "*"};
        QTest::newRow("empty quoted word") << "x '' \"\"" << QStringList{"x", "", ""};
    }
    void shellWords() {
        QFETCH(QString, text);
        QFETCH(QStringList, words);
        QString error;
        QCOMPARE(splitShellWords(text, &error), std::optional<QStringList>(words));
    }

    void emulatorCommand_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("words") << "tilem2 -r '/My ROMs/83p.rom'"
                               << "tilem2" << QStringList{"-r", "/My ROMs/83p.rom"} << "";
        QTest::newRow("built program")
            << "tilem2 -r /rom %f --x=%%f"
            << "tilem2" << QStringList{"-r", "/rom", "/A/Exec/hi.8xp", "--x=%f"} << "";
        QTest::newRow("blanks start and fail") << "   "
                                               << "   " << QStringList{} << "";
        QTest::newRow("open quote") << "tilem2 -r 'x"
                                    << "" << QStringList{}
                                    << "The command line has a single quote (') that is never "
                                       "closed:\n\ntilem2 -r 'x";
    }
    void emulatorCommand() {
        QFETCH(QString, text);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QString said;
        const auto c = ::emulatorCommand(text, "/A/Exec/hi.8xp", &said);
        QCOMPARE(said, error);
        QCOMPARE(c ? c->program : QString(), program);
        QCOMPARE(c ? c->arguments : QStringList(), arguments);
    }

    void anEmulatorNamedByAWholePathWithSpacesRunsAsItIs() {
        QTemporaryDir dir;
        const QString spaced = dir.filePath("my emu %f");
        QVERIFY(writeBytes(spaced, ""));
        QString error;
        QCOMPARE(::emulatorCommand(spaced, "/x.8xp", &error)->program, spaced);
        QVERIFY(!wantsBuiltProgram(spaced));
        QVERIFY(wantsBuiltProgram("tilem2 %f") && !wantsBuiltProgram("tilem2 %%f"));
    }

    void buildScriptIsSoughtInProgramFolderThenRootThenPath() {
        TestTree tree;
        const QString bin = tree.path("bin");
        const NoSearchPath noPath;
        QCOMPARE(missingBuildScript(bin, tree.root()).message(),
                 "asm.bat\n\nError 2: No such file or directory");
        QVERIFY(writeBytes(tree.path("asm.bat"), "#!/bin/sh\n")); // not executable yet
        QCOMPARE(findBuildScript(bin, tree.root()), QString());
        QCOMPARE(missingBuildScript(bin, tree.root()).message(),
                 tree.path("asm.bat") + "\n\nError 13: The build script is not executable: give "
                                        "it permission to run (chmod +x)");
        QVERIFY(makeExecutable(tree.path("asm.bat"), "#!/bin/sh\n"));
        QCOMPARE(findBuildScript(bin, tree.root()), tree.path("asm.bat"));
        QVERIFY(makeExecutable(tree.path("bin/asm.bat"), "#!/bin/sh\n"));
        QCOMPARE(findBuildScript(bin, tree.root()), tree.path("bin/asm.bat"));
    }

    void onlyAProgramWrittenSinceTheStartIsFresh() {
        QTemporaryDir dir;
        const QString p = dir.filePath("hello.8xp");
        QVERIFY(!isFreshBuild(p, buildStartTime()));
        QVERIFY(writeBytes(p, "old"));
        // Date the file an hour back: a program an earlier build left.
        const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        QVERIFY(::utimes(QFile::encodeName(p).constData(), past) == 0);
        const QDateTime start = buildStartTime();
        QVERIFY(!isFreshBuild(p, start));
        QVERIFY(writeBytes(p, "new")); // written at once after the start
        QVERIFY(isFreshBuild(p, start));
        // Stamped in the very millisecond the build started (the coarse
        // clock stamps a quick build so): fresh; one before it: not.
        const auto stamp = [&](qint64 ms) {
            const timeval at[2] = {{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)},
                                   {time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)}};
            return ::utimes(QFile::encodeName(p).constData(), at) == 0;
        };
        QVERIFY(stamp(start.toMSecsSinceEpoch()));
        QVERIFY(isFreshBuild(p, start));
        QVERIFY(stamp(start.toMSecsSinceEpoch() - 1));
        QVERIFY(!isFreshBuild(p, start));
    }
};

QTEST_GUILESS_MAIN(CommandsTest)
#include "toolchain_commands_test.moc"
