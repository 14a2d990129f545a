#include "document.h"

#include "platform/codepage.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>

namespace {
FileError unmappable(const cp1252::Unmappable &where, const QString &path) {
    return FileError{EILSEQ, where.describe(), path, {}};
}
} // namespace

namespace {
const QByteArray kMark("\xEF\xBB\xBF");
} // namespace

// Whether the bytes are strict UTF-8 (no overlong form, no surrogate, nothing
// past U+10FFFF) with at least one character beyond ASCII; stops at the first
// byte that is not.
bool isUtf8BeyondAscii(const QByteArray &bytes) {
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *const end = p + bytes.size();
    bool beyond = false;
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, cp = c & 0x07;
        else
            return false;
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        p += more + 1;
        beyond = true;
    }
    return beyond;
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
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString decoded = utf8.decode(bytes);
    return utf8.hasError() ? cp1252::decode(bytes) : decoded;
}

std::optional<FileError> writeTextFile(const QString &path, const QString &text) {
    QByteArray bytes;
    cp1252::Unmappable where;
    if (!cp1252::encode(text, &bytes, &where))
        return unmappable(where, path);
    return writeWholeFile(path, bytes);
}
