#include "platform/process.h"

#include "fakes.h"

#include <QtTest>

#include <sys/stat.h>

class ProcessTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void searchTakesFoldersInOrderThenPath() {
        QDir(m_dir.path()).mkpath(QStringLiteral("a"));
        QDir(m_dir.path()).mkpath(QStringLiteral("b"));
        QDir(m_dir.path()).mkpath(QStringLiteral("onpath"));
        makeExecutable(path("b/tool"), "#!/bin/sh\n");
        makeExecutable(path("onpath/tool"), "#!/bin/sh\n");
        makeExecutable(path("onpath/only"), "#!/bin/sh\n");
        writeBytes(path("a/tool"), "not executable");
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(path("onpath")) + ":" + oldPath);
        QCOMPARE(findProgram(QStringLiteral("tool"), {path("a"), path("b")}), path("b/tool"));
        QCOMPARE(findProgram(QStringLiteral("tool"), {path("a")}), path("onpath/tool"));
        QCOMPARE(findProgram(QStringLiteral("only"), {QString(), path("a")}), path("onpath/only"));
        QCOMPARE(findProgram(QStringLiteral("nothing-like-this"), {path("a")}), QString());
        QDir(m_dir.path()).mkpath(QStringLiteral("c/tool")); // a folder is no program
        QCOMPARE(findProgram(QStringLiteral("tool"), {path("c")}), path("onpath/tool"));
        qputenv("PATH", oldPath);
    }

    void startPassesArgumentsWithoutAShellInTheGivenFolder() {
        makeExecutable(path("record"), "#!/bin/sh\npwd > \"$0.out\"\nfor a in \"$@\"; do printf "
                                       "'[%s]\\n' \"$a\" >> \"$0.out\"; done\n");
        QDir(m_dir.path()).mkpath(QStringLiteral("work dir"));
        SystemProcessStarter starter;
        const QStringList args = {QStringLiteral("x; touch pwned"), QString(),
                                  QStringLiteral("$(id) 'q' \"d\"\nline")};
        StartResult r = starter.start(path("record"), args, path("work dir"));
        QVERIFY(r.ok());
        QSignalSpy ended(r.watch.get(), &ProcessWatch::ended);
        QVERIFY(!r.watch->isRunning() || ended.wait(10000));
        QVERIFY(!r.watch->isRunning());
        QCOMPARE(readBytes(path("record.out")),
                 QFile::encodeName(path("work dir")) +
                     "\n[x; touch pwned]\n[]\n[$(id) 'q' \"d\"\nline]\n");
        QVERIFY(!QFile::exists(path("work dir/pwned")));
        QVERIFY(!QFile::exists(path("pwned")));
    }

    void watchSeesALongProcessEndAndReapsIt() {
        SystemProcessStarter starter;
        StartResult r = starter.start(QStringLiteral("sleep"), {QStringLiteral("0.3")}, QString());
        QVERIFY(r.ok());
        QVERIFY(r.watch->isRunning());
        QSignalSpy ended(r.watch.get(), &ProcessWatch::ended);
        QVERIFY(ended.wait(10000));
        QVERIFY(!r.watch->isRunning());
    }

    void failedStartGivesTheSystemError() {
        SystemProcessStarter starter;
        StartResult r = starter.start(path("does-not-exist"), {}, QString());
        QVERIFY(!r.ok());
        QCOMPARE(r.errorNumber, ENOENT);
        QVERIFY(!r.errorDescription.isEmpty());

        writeBytes(path("plain.txt"), "no program");
        r = starter.start(path("plain.txt"), {}, QString());
        QVERIFY(!r.ok());
        QCOMPARE(r.errorNumber, EACCES);

        r = starter.start(QStringLiteral("   "), {}, QString());
        QVERIFY(!r.ok());
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "platform_process_test.moc"
