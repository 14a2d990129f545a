#pragma once
// Source documents, templates and logs are 8-bit text on disk. These move them
// between files and the editor's UTF-8 bytes or a Unicode string.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

// How a document's bytes are text. A file that is valid UTF-8 and holds a
// byte-order mark or any byte above 127 is UTF-8; every other file is 8-bit
// Windows-1252 text.
enum class TextEncoding { Windows1252, Utf8, Utf8WithMark };
TextEncoding detectEncoding(const QByteArray &bytes);

// Reads a file and gives its text as UTF-8 bytes, ready for the editor (a
// byte-order mark left out), and the encoding it was in.
std::optional<FileError> readDocument(const QString &path, QByteArray *utf8,
                                      TextEncoding *encoding = nullptr);
std::optional<FileError> readDocument(const QByteArray &nativePath, QByteArray *utf8,
                                      TextEncoding *encoding = nullptr);
// Writes the editor's UTF-8 text in an encoding (a UTF-8 file gets its mark
// back). A character 1252 cannot hold fails the write (error EILSEQ, naming
// the character) and nothing is written. A file written in place is first
// copied into `spareFolder`.
std::optional<FileError> writeDocument(const QString &path, const char *utf8, qsizetype length,
                                       TextEncoding encoding = TextEncoding::Windows1252,
                                       const QString &spareFolder = {});

std::optional<FileError> readTextFile(const QString &path, QString *text);
// Text a tool wrote, which may be UTF-8: read as UTF-8 when it is valid
// UTF-8, else as 8-bit text.
QString decodeToolText(const QByteArray &bytes);
std::optional<FileError> writeTextFile(const QString &path, const QString &text);
