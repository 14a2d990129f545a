#include "platform/process.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class ProcessTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Starts and waits for the end.
    std::shared_ptr<ProcessWatch> run(const QString &program, const QStringList &args,
                                      const StartOptions &options) {
        SystemProcessStarter starter;
        StartResult r = starter.start(program, args, options);
        if (!r.ok())
            return nullptr;
        QSignalSpy ended(r.watch.get(), &ProcessWatch::ended);
        if (r.watch->isRunning() && !ended.wait(10000))
            return nullptr;
        return r.watch;
    }

private slots:
    void searchTakesFoldersInOrderThenPath() {
        for (const char *folder : {"a", "b", "onpath", "c/tool"})
            QDir(m_dir.path()).mkpath(folder);
        QVERIFY(makeExecutable(path("b/tool"), "#!/bin/sh\n"));
        QVERIFY(makeExecutable(path("onpath/tool"), "#!/bin/sh\n"));
        QVERIFY(writeBytes(path("a/tool"), "not executable"));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(path("onpath")) + ":" + oldPath);
        QCOMPARE(findProgram("tool", {path("a"), path("b")}), path("b/tool"));
        QCOMPARE(findProgram("tool", {path("a"), path("c")}),
                 path("onpath/tool")); // c/tool is a folder
        QCOMPARE(findProgram("nothing-like-this", {path("a")}), QString());
        qputenv("PATH", oldPath);
    }

    void startPassesArgumentsWithoutAShellInTheGivenFolder() {
        QVERIFY(makeExecutable(path("record"), "#!/bin/sh\npwd > \"$0.out\"\nfor a in \"$@\"; do "
                                               "printf '[%s]\\n' \"$a\" >> \"$0.out\"; done\n"));
        QDir(m_dir.path()).mkpath("work dir");
        const QStringList args = {"x; touch pwned", QString(), "$(id) 'q' \"d\"\nline"};
        QVERIFY(run(path("record"), args, {path("work dir"), false, {}}));
        QCOMPARE(readBytes(path("record.out")),
                 QFile::encodeName(path("work dir")) +
                     "\n[x; touch pwned]\n[]\n[$(id) 'q' \"d\"\nline]\n");
        QVERIFY(!QFile::exists(path("work dir/pwned")));
    }

    void theEndAndTheLastErrorOutputAreKept() {
        auto watch = run("sh",
                         {"-c", "yes 'filler line' | head -n 10000 >&2; "
                                "echo 'ERROR: no cable found' >&2; exit 3"},
                         {{}, true, {}});
        QVERIFY(watch);
        QVERIFY(!watch->isRunning());
        QCOMPARE(watch->end().code, 3);
        QVERIFY(watch->end().failed() && !watch->end().signalled);
        QVERIFY(watch->errorOutput().endsWith("filler line\nERROR: no cable found\n"));
        QCOMPARE(watch->errorOutput().size(), 4096);
        watch = run("sh", {"-c", "kill -9 $$"}, {{}, true, {}});
        QVERIFY(watch && watch->end().signalled);
        QCOMPARE(watch->end().code, 9);
    }

    // Started with SIGCHLD ignored, the system reaps the child itself: how it
    // ended cannot be known, and is never taken for success.
    void anEndThatCannotBeKnownIsNoSuccess() {
        const auto old = std::signal(SIGCHLD, SIG_IGN);
        auto watch = run("sh", {"-c", "exit 3"}, {});
        std::signal(SIGCHLD, old);
        QVERIFY(watch);
        QVERIFY(watch->end().unknown);
        QVERIFY(watch->end().failed());
    }

    void failedStartGivesTheSystemError() {
        SystemProcessStarter starter;
        StartResult r = starter.start(path("does-not-exist"), {}, {});
        QCOMPARE(r.errorNumber, ENOENT);
        QCOMPARE(r.errorDescription, QStringLiteral("No such file or directory"));
        QVERIFY(writeBytes(path("plain.txt"), "no program"));
        QCOMPARE(starter.start(path("plain.txt"), {}, {}).errorNumber, EACCES);
        // A folder that cannot be entered is no place to run in.
        QVERIFY(makeExecutable(path("ok"), "#!/bin/sh\n"));
        QCOMPARE(starter.start(path("ok"), {}, {path("missing folder"), false, {}}).errorNumber,
                 ENOENT);
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "platform_process_test.moc"
