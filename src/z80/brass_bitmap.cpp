// Brass's pictures and run-length encoding (its manual:
// directives/incbmp.htm, rlemode.htm, incbin.htm): a monochrome bitmap as
// bytes, 8 pixels a byte with the leftmost in the high bit, a bit set where
// the pixel is darker than the threshold; runs of a byte written as the run
// indicator, the byte and its count.

#include "preprocessor.h"

#include "bitmap.h"
#include "operands.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {

// directives/rlemode.htm: ".rlemode RUN_INDICATOR [, VALUE_FIRST]".
void Preprocessor::rleMode(const std::vector<Token> &t, const Origin &at) {
    const auto parts = items(t, 1, t.size());
    if (parts.empty() || parts.size() > 2) {
        m_diag.error(at, ".rlemode takes a run indicator and perhaps whether the value comes "
                         "first: .rlemode $91, 1");
        return;
    }
    auto number = [&](size_t k) {
        return valueNow(std::vector<Token>(t.begin() + std::ptrdiff_t(parts[k].first),
                                           t.begin() + std::ptrdiff_t(parts[k].second)),
                        at, ".rlemode");
    };
    m_rleFlag = std::uint8_t(number(0).value_or(0x91));
    m_rleValueFirst = parts.size() < 2 || number(1).value_or(1) != 0;
}

// A run of four or more equal bytes, and every byte that is the indicator,
// becomes the indicator, then the byte and the run's length (at most 255),
// in the order .rlemode sets.
std::vector<std::uint8_t> Preprocessor::runLengths(const std::vector<std::uint8_t> &d) const {
    std::vector<std::uint8_t> out;
    for (size_t i = 0; i < d.size(); ++i) {
        const bool run =
            i + 3 < d.size() && d[i] == d[i + 1] && d[i] == d[i + 2] && d[i] == d[i + 3];
        if (d[i] != m_rleFlag && !run) {
            out.push_back(d[i]);
            continue;
        }
        const std::uint8_t byte = d[i];
        const size_t end = std::min(i + 0xFF, d.size());
        size_t n = 0;
        while (i + n < end && d[i + n] == byte)
            ++n;
        i += n - 1;
        out.push_back(m_rleFlag);
        if (m_rleValueFirst)
            out.push_back(byte);
        out.push_back(std::uint8_t(n));
        if (!m_rleValueFirst)
            out.push_back(byte);
    }
    return out;
}

bool Preprocessor::madeBytes(const std::vector<std::uint8_t> &bytes, const Origin &at) {
    constexpr size_t kPerStatement = 16;
    for (size_t from = 0; from < bytes.size(); from += kPerStatement) {
        std::vector<Token> s(1);
        s[0].kind = Kind::Dot;
        s[0].text = ".db";
        for (size_t i = from; i < bytes.size() && i < from + kPerStatement; ++i) {
            if (i > from) {
                s.emplace_back();
                s.back().text = ",";
            }
            s.emplace_back();
            s.back().kind = Kind::Number;
            s.back().value = bytes[i];
            s.back().text = std::to_string(bytes[i]);
            s.back().spaced = true;
        }
        if (!made(s, at))
            return false;
    }
    return true;
}

// directives/incbmp.htm: ".incbmp FILE [, THRESHOLD] [, rle] [, width = W]
// [, height = H]": a pixel whose mean of red, green and blue is below the
// threshold (127 unless told) is black, a set bit. A width or height given
// cuts the picture or widens it from its top left: columns past the
// picture's width are white; rows past its height are black, as Brass
// makes them. Windows bitmaps and GIF pictures are read; PNG and JPEG are not.
void Preprocessor::brassBitmap(const std::vector<Token> &t, const Origin &at, const Place &place) {
    const auto parts = items(t, 1, t.size());
    if (parts.empty() || parts[0].second != parts[0].first + 1 ||
        t[parts[0].first].kind != Kind::String) {
        m_diag.error(at, ".incbmp needs a file name in quotes");
        return;
    }
    std::int64_t threshold = 127, width = -1, height = -1;
    bool rle = false;
    for (size_t k = 1; k < parts.size(); ++k) {
        const auto [b, e] = parts[k];
        const std::vector<Token> part(t.begin() + std::ptrdiff_t(b), t.begin() + std::ptrdiff_t(e));
        if (part.size() == 1 && part[0].kind == Kind::Name && sameWord(part[0].text, "rle")) {
            rle = true;
        } else if (part.size() > 2 && part[0].kind == Kind::Name && part[1].isOp("=") &&
                   (sameWord(part[0].text, "width") || sameWord(part[0].text, "height"))) {
            const auto v = valueNow(std::vector<Token>(part.begin() + 2, part.end()), at,
                                    ".incbmp " + part[0].text);
            (sameWord(part[0].text, "width") ? width : height) = v.value_or(-1);
        } else {
            threshold = valueNow(part, at, ".incbmp's threshold").value_or(threshold);
        }
    }
    std::string path;
    const auto file = quotedFile(t[parts[0].first], at, place, "picture", &path);
    if (!file)
        return;
    const ReadResult &read = *file;
    std::int64_t w = 0, h = 0;
    std::vector<std::uint32_t> rgb;
    std::string why;
    const bool gif = read.text.compare(0, 4, "GIF8") == 0;
    if (!(gif ? gifRgb(read.text, &w, &h, &rgb, &why) : bitmapRgb(read.text, &w, &h, &rgb, &why))) {
        m_diag.error(at, display(path) + " " + why);
        return;
    }
    const std::int64_t outWidth = width < 0 ? w : width, outHeight = height < 0 ? h : height;
    if (outWidth <= 0 || outHeight < 0 ||
        ((outWidth + 7) / 8) * outHeight > std::int64_t(kMaxPictureBytes)) {
        m_diag.error(at, ".incbmp's width and height give more than " +
                             std::to_string(kMaxPictureBytes) + " bytes, or none");
        return;
    }
    std::vector<std::uint8_t> bytes;
    for (std::int64_t y = 0; y < outHeight; ++y)
        for (std::int64_t x = 0; x < outWidth; x += 8) {
            std::uint8_t row = 0;
            for (std::int64_t i = 0; i < 8; ++i) {
                row = std::uint8_t(row << 1);
                if (x + i >= w)
                    continue;
                const std::uint32_t c = y < h ? rgb[size_t(y * w + x + i)] : 0;
                if (std::int64_t((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF)) / 3 < threshold)
                    row |= 1;
            }
            bytes.push_back(row);
        }
    madeBytes(rle ? runLengths(bytes) : bytes, at);
}

} // namespace z80
