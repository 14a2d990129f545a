#include "commands.h"

#include "core/locations.h"
#include "platform/process.h"

#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <time.h>

QString findBuildScript(const QString &programFolder, const QString &root) {
    return findProgram(QLatin1String(kBuildScriptName), {programFolder, root});
}

Command buildCommand(const QString &script, const QString &programName) {
    return {script, {programName}};
}

Command linkCommand(const QString &linkProgram, const QString &builtProgram) {
    return {linkProgram, {builtProgram}};
}

Command emulatorCommand(const QString &text) {
    if (QFileInfo(text).isFile())
        return {text, {}};
    QStringList words = QProcess::splitCommand(text);
    if (words.isEmpty())
        return {text, {}}; // blanks: starting it fails and is reported
    const QString program = words.takeFirst();
    return {program, words};
}

QDateTime buildStartTime() {
    // Files are stamped from the coarse clock, which may lag the fine one by a
    // tick; taking the start from the same clock keeps a quick build fresh.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000, Qt::UTC);
}

bool isFreshBuild(const QString &builtProgram, const QDateTime &buildStart) {
    const QFileInfo info(builtProgram);
    return info.isFile() && info.lastModified() >= buildStart;
}
