#pragma once
// Windows-1252, lossless in both directions: every byte maps to one character
// and back, so any file round-trips exactly. The five bytes 1252 leaves
// undefined (81, 8D, 8F, 90, 9D) map to the control characters of the same value.

#include <QByteArray>
#include <QString>

namespace cp1252 {

// Where encoding stopped: the first character that has no byte in 1252.
struct Unmappable {
    char32_t character = 0;
    int line = 0;   // 1-based; CR LF, LF and a lone CR each end a line
    int column = 0; // 1-based, in characters
    QString describe() const;
};

QString decode(const QByteArray &bytes);
QByteArray decodeToUtf8(const QByteArray &bytes);

// Both return false and fill *where (if given) when a character cannot be held.
bool encode(const QString &text, QByteArray *out, Unmappable *where = nullptr);
bool encodeFromUtf8(const char *utf8, qsizetype length, QByteArray *out,
                    Unmappable *where = nullptr);

} // namespace cp1252
