// The owner of every started program: results tagged with their build, every
// program kept until it has ended, and nothing left behind once they have.

#include "toolchain/buildrunner.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

namespace {

// Children of this process that have ended and were never reaped.
int zombies() {
    int count = 0;
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = readBytes("/proc/" + pid + "/stat");
        const QList<QByteArray> after = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (after.size() > 1 && after[0] == "Z" && after[1].toInt() == int(::getpid()))
            ++count;
    }
    return count;
}

int openDescriptors() {
    return int(QDir("/proc/self/fd")
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class RunnerTest : public QObject {
    Q_OBJECT
private slots:
    void aLateResultNeverFinishesTheNextBuild() {
        FakeStarter starter;
        starter.endAtOnce = false;
        BuildRunner runner(&starter);
        QSignalSpy finished(&runner, &BuildRunner::finished);
        QVERIFY(!runner.startBuild(1, {"asm.bat", {"first"}}, {"/src", false, {}}, "first",
                                   "/src/first.z80"));
        const auto first = starter.lastWatch;
        runner.awaitResult(1); // the timer fired while the build still ran
        first->finish();       // its end is queued...
        QVERIFY(!runner.startBuild(1, {"asm.bat", {"second"}}, {"/src", false, {}}, "second",
                                   "/src/second.z80")); // ...behind this
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 1, kWaitMs);
        QCOMPARE(finished.count(), 0);
        runner.awaitResult(1);
        starter.lastWatch->finish();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished[0][0].value<BuildRunner::Build>().programName, QStringLiteral("second"));
        QCOMPARE(finished[0][0].value<BuildRunner::Build>().source,
                 QStringLiteral("/src/second.z80"));
        QCOMPARE(starter.calls[1].options.workingFolder, QStringLiteral("/src"));
    }

    // A build whose end is still queued when its result is asked for is told
    // as ended first: the editor learns there which files it read, which
    // the next build of one of them needs as soon as the result is shown.
    void aBuildIsToldEndedBeforeItsResult() {
        FakeStarter starter;
        BuildRunner runner(&starter);
        QStringList told;
        connect(&runner, &BuildRunner::buildEnded, this, [&] { told << "ended"; });
        connect(&runner, &BuildRunner::finished, this, [&] { told << "finished"; });
        QVERIFY(!runner.startBuild(1, {"asm.bat", {"a"}}, {}, "a", "a.z80"));
        runner.awaitResult(1); // it has ended; the news of it is queued
        QCOMPARE(told, QStringList({"ended", "finished"}));
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 0, kWaitMs);
        QCOMPARE(told.size(), 2); // and told once
    }

    void everyProgramIsKeptUntilItHasEnded() {
        FakeStarter starter;
        starter.endAtOnce = false;
        BuildRunner runner(&starter);
        QVERIFY(!runner.startBuild(0, {"asm.bat", {"a"}}, {}, "a", "a.z80"));
        const auto replaced = starter.lastWatch;
        QVERIFY(!runner.startBuild(0, {"asm.bat", {"a"}}, {}, "a", "a.z80"));
        const auto build = starter.lastWatch;
        QVERIFY(runner.startTool({"tilem2", {}}, false).ok());
        starter.endAtOnce = true; // a tool that ends before anyone listens
        QVERIFY(runner.startTool({"send", {}}, true).ok());
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 3, kWaitMs);
        replaced->finish();
        build->finish();
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 1, kWaitMs);
    }

    void aToolThatFailsIsReportedWithItsOutput() {
        FakeStarter starter;
        starter.endAtOnce = false;
        BuildRunner runner(&starter);
        QSignalSpy failed(&runner, &BuildRunner::toolFailed);
        QVERIFY(runner.startTool({"/bin/send", {"/x.8xp"}}, true).ok());
        QVERIFY(starter.calls[0].options.captureErrors);
        starter.lastWatch->errors = "ERROR: no cable found\n";
        starter.lastWatch->finish({false, 1});
        QVERIFY(failed.wait(30000));
        QCOMPARE(failed[0][0].toString(), QStringLiteral("/bin/send"));
        QCOMPARE(failed[0][2].toByteArray(), QByteArray("ERROR: no cable found\n"));
        QVERIFY(runner.startTool({"/bin/tool", {}}, false).ok()); // not watched for
        starter.lastWatch->finish({true, 9});
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 0, kWaitMs);
        QCOMPARE(failed.count(), 1);
        // Watched for a while only: an end after it is the user closing it.
        QVERIFY(runner.startTool({"/bin/emu", {}}, true, 2, 0).ok());
        starter.lastWatch->finish({false, 1});
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 0, kWaitMs);
        QCOMPARE(failed.count(), 1);
        QVERIFY(runner.startTool({"/bin/emu", {}}, true, 2, 60000).ok());
        starter.lastWatch->finish({false, 1});
        QVERIFY(failed.wait(30000));
        QCOMPARE(failed[1][3].toInt(), 2);
    }

    void nothingIsLeftBehindOnceAllHaveEnded() {
        SystemProcessStarter starter;
        BuildRunner runner(&starter);
        QVERIFY(runner.startTool({"true", {}}, true).ok()); // whatever Qt sets up once
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 0, kWaitMs);
        const int descriptors = openDescriptors();
        const int before = zombies();
        for (int i = 0; i < 20; ++i) {
            QVERIFY(!runner.startBuild(i % 2, {"sh", {"-c", "exit 0"}}, {}, "p", "p.z80"));
            if (i % 3 == 0)
                runner.awaitResult(i % 2);
            QVERIFY(runner.startTool({"sh", {"-c", "echo oops >&2; exit 1"}}, i % 2).ok());
        }
        QTRY_COMPARE_WITH_TIMEOUT(runner.running(), 0, 30000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(zombies(), before);
        QCOMPARE(openDescriptors(), descriptors);
    }
};

QTEST_GUILESS_MAIN(RunnerTest)
#include "toolchain_runner_test.moc"
