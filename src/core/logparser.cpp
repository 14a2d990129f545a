#include "logparser.h"

#include <QDir>
#include <QRegularExpression>

std::optional<LogEntry> parseLogLine(const QString &line) {
    static const QRegularExpression colon(QStringLiteral("^(.+?):(\\d+):\\s*(error|warning)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pasmo(
        QStringLiteral("^(ERROR|WARNING)\\b.*\\bon line (\\d+) of file (.+?)\\s*$"));
    static const QRegularExpression classic(QStringLiteral("^(\\S.*?) line (\\d+): "));
    if (const auto m = colon.match(line); m.hasMatch())
        return LogEntry{m.captured(1).trimmed(), m.captured(2).toInt(),
                        m.captured(3).compare(QLatin1String("error"), Qt::CaseInsensitive) == 0};
    if (const auto m = pasmo.match(line); m.hasMatch())
        return LogEntry{m.captured(3), m.captured(2).toInt(),
                        m.captured(1) == QLatin1String("ERROR")};
    if (const auto m = classic.match(line); m.hasMatch())
        return LogEntry{m.captured(1), m.captured(2).toInt(), true};
    return std::nullopt;
}

QString logEntryPath(const LogEntry &entry, const QString &folder) {
    return QDir::cleanPath(QDir(folder).absoluteFilePath(entry.file));
}
