#pragma once
// Text that the end of a desktop session could not save where it belonged
// (a file it cannot be written to, a character 8-bit text cannot hold) is
// kept in the source folder in UTF-8, and the next start says where.

#include "platform/textfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// ~/Asm/Source/unsaved-DATE.z80 for a moment.
QString unsavedTextPath(const QString &root, const QDateTime &when);

// Writes the editor's UTF-8 bytes to `path` as they are and records the name
// for the next start.
std::optional<FileError> keepUnsavedText(const QString &root, const QString &path,
                                         const QByteArray &utf8);

// The messages about text kept so since the last start; each is given once.
QStringList takeUnsavedTextNotices(const QString &root);
