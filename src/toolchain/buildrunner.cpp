#include "buildrunner.h"

#include <QFileInfo>

BuildRunner::BuildRunner(ProcessStarter *starter, QObject *parent)
    : QObject(parent), m_starter(starter) {
    m_clock.start();
}

std::optional<StartResult> BuildRunner::startBuild(int slot, const Command &command,
                                                   const StartOptions &options,
                                                   const QString &programName,
                                                   const QString &source, const QString &document,
                                                   const BuildOutputs &outputs) {
    const QDateTime started = buildStartTime();
    StartResult result = m_starter->start(command.program, command.arguments, options);
    if (!result.ok())
        return result;
    Build build;
    build.id = m_nextBuild++;
    build.slot = slot;
    build.programName = programName;
    build.source = source;
    build.started = started;
    build.document = document.isEmpty() ? source : document;
    build.outputs = outputs;
    adopt(result.watch, Live{result.watch, command.program, false, build});
    m_slots[slot] = Pending{build, result.watch};
    return std::nullopt;
}

bool BuildRunner::Build::succeeded(const QString &builtProgram) const {
    // An end that could not be learned (SIGCHLD ignored by whoever started
    // the editor) leaves the fresh program as the only evidence.
    const bool failed = end.signalled || (end.code != 0 && !end.unknown);
    return id != 0 && !failed && isFreshBuild(builtProgram, started);
}

void BuildRunner::awaitResult(int slot) {
    const auto it = m_slots.find(slot);
    if (it == m_slots.end()) {
        Build none;
        none.slot = slot;
        emit finished(none);
        return;
    }
    const quint64 id = it->second.build.id;
    const std::shared_ptr<ProcessWatch> &watch = it->second.watch;
    if (watch && watch->isRunning()) {
        // Queued, and tagged: a later build in this slot is never finished by it.
        connect(
            watch.get(), &ProcessWatch::ended, this, [this, slot, id] { finish(slot, id); },
            Qt::QueuedConnection);
        return;
    }
    finish(slot, id);
}

void BuildRunner::finish(int slot, quint64 id) {
    const auto it = m_slots.find(slot);
    if (it == m_slots.end() || it->second.build.id != id)
        return;
    Build build = it->second.build;
    const std::shared_ptr<ProcessWatch> watch = it->second.watch;
    if (watch && !watch->isRunning())
        build.end = watch->end();
    else
        build.end.unknown = true;
    m_slots.erase(it);
    // A build that has ended is told as ended (what it read is learned
    // there) before its result, even when its end is still queued.
    if (watch && !watch->isRunning())
        for (auto live = m_live.cbegin(); live != m_live.cend(); ++live)
            if (live->watch == watch) {
                release(live.key());
                break;
            }
    emit finished(build);
}

StartResult BuildRunner::startTool(const Command &command, bool reportFailure, int tag,
                                   qint64 reportWithinMs, bool reportAnyEnd) {
    StartResult result =
        m_starter->start(command.program, command.arguments, {{}, reportFailure, {}});
    if (result.ok())
        adopt(result.watch, Live{result.watch, command.program, reportFailure, Build(), tag,
                                 reportWithinMs < 0 ? -1 : m_clock.elapsed() + reportWithinMs,
                                 reportAnyEnd});
    return result;
}

void BuildRunner::adopt(const std::shared_ptr<ProcessWatch> &watch, Live live) {
    const quint64 serial = m_nextSerial++;
    m_live.insert(serial, std::move(live));
    // Queued: a watch must not go while its own signal runs.
    connect(
        watch.get(), &ProcessWatch::ended, this, [this, serial] { release(serial); },
        Qt::QueuedConnection);
    if (!watch->isRunning()) // it may have ended before anyone listened
        QMetaObject::invokeMethod(
            this, [this, serial] { release(serial); }, Qt::QueuedConnection);
}

void BuildRunner::release(quint64 serial) {
    const Live live = m_live.take(serial);
    if (!live.watch)
        return; // released already
    if (live.build.id != 0)
        emit buildEnded(live.build);
    const ProcessEnd end = live.watch->end();
    const bool soon = live.reportUntilMs < 0 || m_clock.elapsed() < live.reportUntilMs;
    if (live.reportFailure && (end.failed() || live.reportAnyEnd) && soon)
        emit toolFailed(live.program, end, live.watch->errorOutput(), live.tag);
}

QString buildLogToShow(const BuildRunner::Build &build, const QString &sharedLog) {
    return !build.outputs.log.isEmpty() && QFileInfo::exists(build.outputs.log) ? build.outputs.log
                                                                                : sharedLog;
}
