#include "ui/buildproblems.h"

#include "core/logparser.h"
#include "platform/textfile.h"
#include "platform/textlines.h"
#include "z80/diagfile.h"
#include "z80/outputs.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString wholePath(const QString &file, const QString &folder) {
    return QDir::cleanPath(QDir(folder).absoluteFilePath(file));
}

std::optional<QList<BuildProblem>> fromValues(const QString &values, const QString &folder,
                                              const QDateTime &since) {
    const QFileInfo info(values);
    if (values.isEmpty() || !since.isValid() || !info.isFile() || info.lastModified() < since)
        return std::nullopt;
    QByteArray bytes;
    if (readWholeFile(values, &bytes))
        return std::nullopt;
    std::string error;
    const auto read =
        z80::readDiagnostics(std::string_view(bytes.constData(), bytes.size()), &error);
    if (!read)
        return std::nullopt;
    QList<BuildProblem> out;
    for (const z80::Diagnostic &d : *read)
        out << BuildProblem{wholePath(QString::fromStdString(d.file), folder),
                            d.line,
                            d.column,
                            d.length,
                            d.error(),
                            QString::fromStdString(z80::message(d))};
    return out;
}

} // namespace

QList<BuildProblem> buildProblems(const QString &log, const QString &folder, const QString &values,
                                  const QDateTime &since) {
    if (auto read = fromValues(values, folder, since))
        return *read;
    QList<BuildProblem> out;
    for (const QString &line : splitLines(log))
        if (const auto entry = parseLogLine(line))
            out << BuildProblem{
                logEntryPath(*entry, folder), entry->line, -1, 0, entry->error, line.trimmed()};
    return out;
}

int logLineOf(const QString &log, const BuildProblem &problem) {
    const QStringList lines = splitLines(log);
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed() == problem.said)
            return i;
    return -1;
}
