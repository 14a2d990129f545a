#include "codepage.h"

#include <array>

namespace cp1252 {
namespace {

// Unicode code points of bytes 0x80..0x9F; the rest of the range is Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t codePoint(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : char16_t(b);
}

// UTF-8 form of each byte's character, precomputed once.
struct Utf8Table {
    std::array<std::array<char, 3>, 256> bytes{};
    std::array<unsigned char, 256> length{};
    Utf8Table() {
        for (int b = 0; b < 256; ++b) {
            const char32_t c = codePoint(static_cast<unsigned char>(b));
            auto &o = bytes[b];
            if (c < 0x80) {
                o[0] = char(c);
                length[b] = 1;
            } else if (c < 0x800) {
                o[0] = char(0xC0 | (c >> 6));
                o[1] = char(0x80 | (c & 0x3F));
                length[b] = 2;
            } else {
                o[0] = char(0xE0 | (c >> 12));
                o[1] = char(0x80 | ((c >> 6) & 0x3F));
                o[2] = char(0x80 | (c & 0x3F));
                length[b] = 3;
            }
        }
    }
};
const Utf8Table &utf8Table() {
    static const Utf8Table table;
    return table;
}

// The byte for a code point, or -1 when 1252 has none.
int byteFor(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return 0x80 + i;
    return -1;
}

// Line and column of the character that starts at index `at`; `step` tells
// how many code units the character at a given index takes.
template <typename Unit, typename StepFn>
void locate(const Unit *data, qsizetype at, StepFn step, Unmappable *where) {
    int line = 1, column = 1;
    for (qsizetype i = 0; i < at;) {
        const Unit u = data[i];
        if (u == '\r' && i + 1 < at && data[i + 1] == '\n') {
            ++i; // the LF that follows ends the line
        } else if (u == '\n' || u == '\r') {
            ++line;
            column = 1;
            ++i;
        } else {
            ++column;
            i += step(data, i);
        }
    }
    where->line = line;
    where->column = column;
}

} // namespace

QString Unmappable::describe() const {
    return QStringLiteral("The character \u201C%1\u201D (U+%2) at line %3, column %4 cannot be "
                          "stored in an 8-bit (Windows-1252) file.")
        .arg(QString::fromUcs4(&character, 1),
             QString::number(uint(character), 16).toUpper().rightJustified(4, QLatin1Char('0')))
        .arg(line)
        .arg(column);
}

QString decode(const QByteArray &bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i)
        d[i] = QChar(codePoint(s[i]));
    return out;
}

QByteArray decodeToUtf8(const QByteArray &bytes) {
    const Utf8Table &t = utf8Table();
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype size = 0;
    for (qsizetype i = 0; i < n; ++i)
        size += t.length[s[i]];
    QByteArray out(size, Qt::Uninitialized);
    char *d = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *d++ = char(b);
        } else {
            const auto &seq = t.bytes[b];
            for (int k = 0; k < t.length[b]; ++k)
                *d++ = seq[k];
        }
    }
    return out;
}

bool encode(const QString &text, QByteArray *out, Unmappable *where) {
    QByteArray result(text.size(), Qt::Uninitialized);
    char *d = result.data();
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = s[i];
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]);
        if (pair)
            c = QChar::surrogateToUcs4(char16_t(c), s[i + 1]);
        const int b = byteFor(c);
        if (b < 0) {
            if (where) {
                where->character = c;
                locate(
                    s, i,
                    [](const char16_t *p, qsizetype k) {
                        return QChar::isHighSurrogate(p[k]) ? qsizetype(2) : qsizetype(1);
                    },
                    where);
            }
            return false;
        }
        d[written++] = char(b);
    }
    result.truncate(written);
    *out = result;
    return true;
}

bool encodeFromUtf8(const char *utf8, qsizetype length, QByteArray *out, Unmappable *where) {
    QByteArray result(length, Qt::Uninitialized);
    char *d = result.data();
    const auto *s = reinterpret_cast<const unsigned char *>(utf8);
    qsizetype written = 0;
    auto seqLength = [](const unsigned char *p, qsizetype k) -> qsizetype {
        const unsigned char b = p[k];
        return b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    };
    for (qsizetype i = 0; i < length;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            d[written++] = char(b);
            ++i;
            continue;
        }
        // Decode one multi-byte sequence; a malformed one counts as unmappable.
        const qsizetype len = seqLength(s, i);
        char32_t c = 0xFFFD;
        bool ok = i + len <= length && b >= 0xC2 && b <= 0xF4;
        if (ok) {
            c = b & (0xFF >> (len + 1));
            for (qsizetype k = 1; k < len; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                c = (c << 6) | (s[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (c < kSmallest[len] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF))
            ok = false;
        const int mapped = ok ? byteFor(c) : -1;
        if (mapped < 0) {
            if (where) {
                where->character = ok ? c : 0xFFFD;
                locate(s, i, seqLength, where);
            }
            return false;
        }
        d[written++] = char(mapped);
        i += len;
    }
    result.truncate(written);
    *out = result;
    return true;
}

} // namespace cp1252
