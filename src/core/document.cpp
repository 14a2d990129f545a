#include "document.h"

#include "platform/codepage.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>

namespace {
FileError unmappable(const cp1252::Unmappable &where, const QString &path) {
    return FileError{EILSEQ, where.describe(), path};
}
} // namespace

std::optional<FileError> readDocument(const QString &path, QByteArray *utf8) {
    return readDocument(QFile::encodeName(path), utf8);
}

std::optional<FileError> readDocument(const QByteArray &nativePath, QByteArray *utf8) {
    QByteArray bytes;
    if (auto error = readWholeFile(nativePath, &bytes))
        return error;
    *utf8 = cp1252::decodeToUtf8(bytes);
    return std::nullopt;
}

std::optional<FileError> writeDocument(const QString &path, const char *utf8, qsizetype length) {
    QByteArray bytes;
    cp1252::Unmappable where;
    if (!cp1252::encodeFromUtf8(utf8, length, &bytes, &where))
        return unmappable(where, path);
    return writeWholeFile(path, bytes);
}

std::optional<FileError> readTextFile(const QString &path, QString *text) {
    QByteArray bytes;
    if (auto error = readWholeFile(path, &bytes))
        return error;
    *text = cp1252::decode(bytes);
    return std::nullopt;
}

QString decodeToolText(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8.decode(bytes);
    return utf8.hasError() ? cp1252::decode(bytes) : decoded;
}

std::optional<FileError> readLogFile(const QString &path, QString *text) {
    QByteArray bytes;
    if (auto error = readWholeFile(path, &bytes))
        return error;
    *text = decodeToolText(bytes);
    return std::nullopt;
}

std::optional<FileError> writeTextFile(const QString &path, const QString &text) {
    QByteArray bytes;
    cp1252::Unmappable where;
    if (!cp1252::encode(text, &bytes, &where))
        return unmappable(where, path);
    return writeWholeFile(path, bytes);
}
