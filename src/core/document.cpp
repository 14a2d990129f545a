#include "document.h"

#include "base/utf8.h"
#include "platform/codepage.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace {
FileError unmappable(const cp1252::Unmappable &where, const QString &path) {
    return FileError{EILSEQ, where.describe(), path, {}};
}
} // namespace

namespace {
const QByteArray kMark("\xEF\xBB\xBF");
} // namespace

// Whether the bytes are strict UTF-8 with at least one character beyond
// ASCII.
bool isUtf8BeyondAscii(const QByteArray &bytes) {
    const std::string_view text(bytes.constData(), size_t(bytes.size()));
    return base::isUtf8(text) &&
           std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
}

TextEncoding detectEncoding(const QByteArray &bytes) {
    if (!isUtf8BeyondAscii(bytes))
        return TextEncoding::Windows1252;
    return bytes.startsWith(kMark) ? TextEncoding::Utf8WithMark : TextEncoding::Utf8;
}

std::optional<FileError> readDocument(const QString &path, QByteArray *utf8,
                                      TextEncoding *encoding) {
    return readDocument(QFile::encodeName(path), utf8, encoding);
}

std::optional<FileError> readDocument(const QByteArray &nativePath, QByteArray *utf8,
                                      TextEncoding *encoding) {
    QByteArray bytes;
    if (auto error = readWholeFile(nativePath, &bytes))
        return error;
    const TextEncoding found = detectEncoding(bytes);
    if (found == TextEncoding::Windows1252)
        *utf8 = cp1252::decodeToUtf8(bytes);
    else
        *utf8 = found == TextEncoding::Utf8WithMark ? bytes.mid(kMark.size()) : bytes;
    if (encoding)
        *encoding = found;
    return std::nullopt;
}

std::optional<FileError> writeDocument(const QString &path, const char *utf8, qsizetype length,
                                       TextEncoding encoding, const QString &spareFolder) {
    if (encoding != TextEncoding::Windows1252)
        return writeWholeFile(path,
                              (encoding == TextEncoding::Utf8WithMark ? kMark : QByteArray()) +
                                  QByteArray(utf8, length),
                              {spareFolder, {}});
    QByteArray bytes;
    cp1252::Unmappable where;
    if (!cp1252::encodeFromUtf8(utf8, length, &bytes, &where))
        return unmappable(where, path);
    return writeWholeFile(path, bytes, {spareFolder, {}});
}

std::optional<FileError> readTextFile(const QString &path, QString *text) {
    QByteArray bytes;
    if (auto error = readWholeFile(path, &bytes))
        return error;
    *text = cp1252::decode(bytes);
    return std::nullopt;
}

QString decodeToolText(const QByteArray &bytes) {
    return base::isUtf8({bytes.constData(), size_t(bytes.size())}) ? QString::fromUtf8(bytes)
                                                                   : cp1252::decode(bytes);
}

std::optional<FileError> writeTextFile(const QString &path, const QString &text) {
    QByteArray bytes;
    cp1252::Unmappable where;
    if (!cp1252::encode(text, &bytes, &where))
        return unmappable(where, path);
    return writeWholeFile(path, bytes);
}
