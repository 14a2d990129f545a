#include "run/watchformat.h"

#include "run/tifloat.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace run {
namespace {

// The last comma outside quotes and brackets, where a format is written.
std::size_t formatComma(const std::string &text) {
    std::size_t at = std::string::npos;
    char quote = 0;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' ||
                   (c == '\'' && !(i > 0 && std::isalnum((unsigned char)text[i - 1])))) {
            quote = c;
        } else if (c == '(' || c == '{' || c == '[') {
            ++depth;
        } else if (c == ')' || c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth == 0) {
            at = i;
        }
    }
    return at;
}

std::string trimmed(const std::string &s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string hex(std::int64_t v) {
    char out[24];
    const std::uint64_t u = std::uint64_t(v) & 0xFFFFFFFFu;
    std::snprintf(out, sizeof out,
                  u > 0xFFFF ? "%08llXh"
                  : u > 0xFF ? "%04llXh"
                             : "%02llXh",
                  (unsigned long long)u);
    return out;
}

// The calculator's characters as text: its digits and letters as they are,
// its signs of numbers as '-' and 'E', the rest as \xNN.
std::string calculatorText(const std::string &codes) {
    std::string out;
    for (const char ch : codes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == kNegativeSign)
            out += '-';
        else if (ch == kExponentE)
            out += 'E';
        else if (c >= 0x20 && c < 0x7F)
            out += ch;
        else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        }
    }
    return out;
}

} // namespace

std::optional<Watch> Watch::parse(const std::string &text, const LabelLookup &labels,
                                  std::string *error) {
    const std::size_t comma = formatComma(text);
    Format format = Format::Hex;
    int width = 0, height = 0;
    if (comma != std::string::npos) {
        std::string f = trimmed(text.substr(comma + 1));
        std::transform(f.begin(), f.end(), f.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        char x = 0, tail = 0;
        if (f == "hex" || f == "h")
            format = Format::Hex;
        else if (f == "dec" || f == "d")
            format = Format::Decimal;
        else if (f == "bin" || f == "b")
            format = Format::Binary;
        else if (f == "str" || f == "s")
            format = Format::String;
        else if (f == "real" || f == "r")
            format = Format::Real;
        else if (std::sscanf(f.c_str(), "%d%c%d%c", &width, &x, &height, &tail) == 3 && x == 'x') {
            if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
                *error =
                    "a bitmap is 1 to " + std::to_string(kMaxBitmapSide) + " pixels wide and high";
                return std::nullopt;
            }
            format = Format::Bitmap;
        } else {
            *error = "'" + f + "' is not a format (hex, dec, bin, str, real or WxH)";
            return std::nullopt;
        }
    }
    auto e = WatchExpr::parse(text.substr(0, comma), labels, error);
    if (!e)
        return std::nullopt;
    Watch w(std::move(*e));
    w.m_format = format;
    w.m_width = width;
    w.m_height = height;
    return w;
}

Watch::Shown Watch::show(const Machine &m) const {
    Shown s;
    std::string error;
    const auto v = m_expr.value(m, &error);
    if (!v) {
        s.text = error;
        return s;
    }
    const std::uint16_t at = std::uint16_t(*v);
    switch (m_format) {
    case Format::Hex:
        s.text = hex(*v);
        break;
    case Format::Decimal:
        s.text = std::to_string(*v);
        break;
    case Format::Binary: {
        const std::uint64_t u = std::uint64_t(*v) & 0xFFFFFFFFu;
        const int bits = u > 0xFFFF ? 32 : u > 0xFF ? 16 : 8;
        for (int b = bits - 1; b >= 0; --b) {
            s.text += char('0' + (u >> b & 1));
            if (b % 8 == 0 && b)
                s.text += ' ';
        }
        s.text += 'b';
        break;
    }
    case Format::String: {
        std::string codes;
        std::uint16_t a = at;
        for (int n = 0; n < kMaxString && m.read(a); ++n)
            codes += char(m.read(a++));
        s.text = '"' + calculatorText(codes) + '"' + (m.read(a) ? "..." : "");
        break;
    }
    case Format::Real: {
        TiFloat f;
        for (std::size_t i = 0; i < f.size(); ++i)
            f[i] = m.read(std::uint16_t(at + i));
        if ((f[0] & 0x1F) != 0 || (f[2] >> 4) > 9) {
            s.text = "not a real number";
            break;
        }
        s.text = calculatorText(formatReal(f, 20));
        break;
    }
    case Format::Bitmap: {
        s.width = m_width;
        s.height = m_height;
        s.dark.resize(std::size_t(m_width * m_height));
        const int rowBytes = (m_width + 7) / 8;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                s.dark[std::size_t(y * m_width + x)] =
                    m.read(std::uint16_t(at + y * rowBytes + x / 8)) >> (7 - x % 8) & 1;
        s.text = hex(at);
        break;
    }
    }
    return s;
}

} // namespace run
