#pragma once
// A line of an assembler's log that names a file and a line: the kit's and
// spasm-ng's "file:line: error: text" (spasm-ng's with a code, "error
// SE106:"), pasmo's "ERROR on line N of file F", and the classic assembler's
// "file line 0004: text". The output window's double-click and the editor's
// error marks both read the log through it.

#include <QString>

#include <optional>

struct LogEntry {
    QString file;      // as the log names it: relative to the source's folder, or whole
    int line = 0;      // from 1
    bool error = true; // else a warning
};

std::optional<LogEntry> parseLogLine(const QString &line);

// The file a log entry names, with a relative name taken from `folder`.
QString logEntryPath(const LogEntry &entry, const QString &folder);
