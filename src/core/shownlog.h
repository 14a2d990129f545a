#pragma once
// What of a build's log the output window shows: enough to read, never so
// much that showing it holds up the editor. The file keeps all of it.

#include "platform/textfile.h"

#include <QString>

#include <optional>

// At most this much of the log's start is shown ...
constexpr qint64 kShownLogBytes = qint64(1024) * 1024;
// ... and of each line this many characters.
constexpr qsizetype kShownLineLength = 4000;

// The log's text as the window shows it (UTF-8 when it is valid UTF-8, else
// 8-bit text), with a last line saying what was left out, if anything was,
// and that the file holds all of it.
std::optional<FileError> readShownLog(const QString &path, QString *text);
