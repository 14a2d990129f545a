#pragma once
// Owns every program the editor starts: build scripts, link programs and
// emulators. Each one is kept until it has ended and been reaped. A build is
// tagged, so that its result can only ever finish that build.

#include "platform/process.h"
#include "toolchain/commands.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <map>
#include <memory>

class BuildRunner : public QObject {
    Q_OBJECT
public:
    // A build whose result a timer will show: what it was started for and when.
    struct Build {
        quint64 id = 0; // 0: the slot held no build when its result was asked for
        int slot = 0;
        QString programName;
        QString source; // the file built, whole path
        QDateTime started;
        QString document; // the file being edited when it started, whole path
        BuildOutputs outputs; // the build's own log and list of files read
        ProcessEnd end;       // how the script ended, once it has
        // Made: the script exited with 0 (or its end cannot be known) and
        // wrote a program after it started.
        bool succeeded(const QString &builtProgram) const;
    };

    explicit BuildRunner(ProcessStarter *starter, QObject *parent = nullptr);

    // Starts a build of `source` for `slot` (one slot a result timer); the new
    // build replaces the one the slot held, which runs on unjudged. On failure
    // returns the failed start.
    std::optional<StartResult> startBuild(int slot, const Command &command,
                                          const StartOptions &options, const QString &programName,
                                          const QString &source, const QString &document = {},
                                          const BuildOutputs &outputs = {});
    // The slot's result is due: `finished` follows once its build has ended,
    // at once when it already has.
    void awaitResult(int slot);
    // The build the slot holds (0: none), as `Build::id` will name it.
    quint64 pendingBuild(int slot) const {
        const auto it = m_slots.find(slot);
        return it == m_slots.end() ? 0 : it->second.build.id;
    }
    // Starts a tool in the editor's own folder. With `reportFailure`, an end
    // with a failure status is told through `toolFailed` with the tool's
    // `tag`; with `reportWithinMs` too, only an end that soon after the start,
    // and with `reportAnyEnd` also one with a success status.
    StartResult startTool(const Command &command, bool reportFailure, int tag = 0,
                          qint64 reportWithinMs = -1, bool reportAnyEnd = false);
    // Programs started and not yet known to have ended.
    int running() const { return int(m_live.size()); }

signals:
    void finished(const BuildRunner::Build &build);
    // A build's process has ended, whether or not its result is ever shown.
    void buildEnded(const BuildRunner::Build &build);
    // What the tool wrote (its standard and error output) comes last.
    void toolFailed(const QString &program, const ProcessEnd &end, const QByteArray &output,
                    int tag);

private:
    struct Live {
        std::shared_ptr<ProcessWatch> watch;
        QString program;
        bool reportFailure = false;
        Build build; // id 0 for a tool
        int tag = 0;
        qint64 reportUntilMs = -1; // on the monotonic clock; -1: whenever it ends
        bool reportAnyEnd = false;
    };
    struct Pending {
        Build build;
        std::shared_ptr<ProcessWatch> watch;
    };

    void adopt(const std::shared_ptr<ProcessWatch> &watch, Live live);
    void release(quint64 serial);
    void finish(int slot, quint64 id);

    ProcessStarter *m_starter;
    QHash<quint64, Live> m_live;
    std::map<int, Pending> m_slots;
    quint64 m_nextSerial = 1;
    quint64 m_nextBuild = 1;
    QElapsedTimer m_clock;
};

// The log a build's result shows: the build's own when its script wrote one,
// else the shared log that every build script writes.
QString buildLogToShow(const BuildRunner::Build &build, const QString &sharedLog);
