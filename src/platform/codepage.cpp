#include "codepage.h"

#include "base/utf8.h"

#include <QCoreApplication>

#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace cp1252 {
namespace {

// Unicode code points of bytes 0x80..0x9F; the rest of the range is Latin-1.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

// The byte for each code point of the few Unicode pages 1252 draws from.
struct EncodeTable {
    std::array<signed char, 256> pageIndex{}; // -1: no character of that page
    std::array<std::array<short, 256>, 5> bytes{};
    EncodeTable() {
        pageIndex.fill(-1);
        const int pages[5] = {0x00, 0x01, 0x02, 0x20, 0x21};
        for (int i = 0; i < 5; ++i) {
            pageIndex[pages[i]] = static_cast<signed char>(i);
            bytes[i].fill(-1);
        }
        for (int b = 0; b < 256; ++b) {
            const char16_t c = codePoint(static_cast<unsigned char>(b));
            bytes[pageIndex[c >> 8]][c & 0xFF] = short(b);
        }
    }
};
const EncodeTable &encodeTable() {
    static const EncodeTable table;
    return table;
}

// The byte for a code point, or -1 when 1252 has none.
inline int byteFor(char32_t c, const EncodeTable &t) {
    if (c > 0xFFFF)
        return -1;
    const int page = t.pageIndex[c >> 8];
    return page < 0 ? -1 : t.bytes[page][c & 0xFF];
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
    return QCoreApplication::translate("FileError",
                                       "The character \u201C%1\u201D (U+%2) at line %3, column "
                                       "%4 cannot be stored in an 8-bit (Windows-1252) file.")
        .arg(QString::fromUcs4(&character, 1),
             QString::number(uint(character), 16).toUpper().rightJustified(4, QLatin1Char('0')),
             QString::number(line), QString::number(column));
}

QString decode(const QByteArray &bytes) {
    // Latin-1 is 1252 but for 0x80..0x9F: convert fast, then mend those.
    QString out = QString::fromLatin1(bytes);
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QChar *d = nullptr;
    auto mend = [&](qsizetype i) {
        if (!d)
            d = out.data();
        d[i] = QChar(kHigh[s[i] - 0x80]);
    };
    qsizetype at = 0;
#ifdef __SSE2__
    const __m128i top3 = _mm_set1_epi8(char(0xE0)), c1 = _mm_set1_epi8(char(0x80));
    for (; at + 16 <= n; at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, top3), c1)));
        while (mask) {
            mend(at + __builtin_ctz(mask));
            mask &= mask - 1;
        }
    }
#endif
    for (; at < n; ++at)
        if ((s[at] & 0xE0) == 0x80)
            mend(at);
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

// Calls `visit(i)` for every position of `s` whose character Latin-1 does not
// map as 1252 does (0x80..0x9F, and above 0xFF), eight at a time where it can;
// stops early when `visit` returns false.
template <typename Visit> bool forEachNeedingMapping(const char16_t *s, qsizetype n, Visit visit) {
    qsizetype at = 0;
#ifdef __SSE2__
    const __m128i c1Low = _mm_set1_epi16(0x80), c1Mask = _mm_set1_epi16(short(0xFFE0));
    const __m128i zero = _mm_setzero_si128();
    for (; at + 8 <= n; at += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        const __m128i inC1 = _mm_cmpeq_epi16(_mm_and_si128(_mm_sub_epi16(v, c1Low), c1Mask), zero);
        const __m128i latin1 = _mm_cmpeq_epi16(_mm_srli_epi16(v, 8), zero);
        unsigned mask = unsigned(_mm_movemask_epi8(
            _mm_or_si128(inC1, _mm_xor_si128(latin1, _mm_cmpeq_epi16(zero, zero)))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            if (!visit(at + bit / 2))
                return false;
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; at < n; ++at)
        if ((char16_t(s[at] - 0x80) < 0x20 || s[at] > 0xFF) && !visit(at))
            return false;
    return true;
}

bool encode(const QString &text, QByteArray *out, Unmappable *where) {
    // Latin-1 first, then the characters it does not map as 1252 does. Every
    // character that succeeds takes one byte, so positions match.
    QByteArray result = text.toLatin1();
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    const EncodeTable &t = encodeTable();
    char *d = nullptr;
    qsizetype failedAt = -1;
    forEachNeedingMapping(s, n, [&](qsizetype i) {
        const int b = byteFor(s[i], t);
        if (b < 0) {
            failedAt = i;
            return false;
        }
        if (!d)
            d = result.data();
        d[i] = char(b);
        return true;
    });
    if (failedAt >= 0) {
        if (where) {
            const qsizetype i = failedAt;
            const bool pair =
                QChar::isHighSurrogate(s[i]) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]);
            where->character = pair ? QChar::surrogateToUcs4(s[i], s[i + 1]) : s[i];
            locate(
                s, i,
                [](const char16_t *p, qsizetype k) {
                    return QChar::isHighSurrogate(p[k]) ? qsizetype(2) : qsizetype(1);
                },
                where);
        }
        return false;
    }
    *out = std::move(result);
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
    const EncodeTable &t = encodeTable();
    for (qsizetype i = 0; i < length;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            // Runs of ASCII go eight bytes at a time.
            quint64 chunk;
            while (i + 8 <= length &&
                   (std::memcpy(&chunk, s + i, 8), !(chunk & 0x8080808080808080ULL))) {
                std::memcpy(d + written, s + i, 8);
                written += 8;
                i += 8;
            }
            while (i < length && s[i] < 0x80)
                d[written++] = char(s[i++]);
            continue;
        }
        // Decode one multi-byte sequence; a malformed one counts as unmappable.
        char32_t c = 0xFFFD;
        const qsizetype len =
            qsizetype(base::decodeUtf8(std::string_view(utf8 + i, size_t(length - i)), &c));
        const bool ok = len > 0;
        const int mapped = ok ? byteFor(c, t) : -1;
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
