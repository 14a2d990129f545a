// Lookups into the tables the build generates from the font files.

#include "run/font.h"

namespace run {

namespace fontdata {
extern const Glyph kLarge[256];
extern const Glyph kSmall[256];
extern const char32_t kUnicode[256];
} // namespace fontdata

const Glyph &largeGlyph(std::uint8_t code) {
    return fontdata::kLarge[code];
}
const Glyph &smallGlyph(std::uint8_t code) {
    return fontdata::kSmall[code];
}
char32_t unicodeOf(std::uint8_t code) {
    return fontdata::kUnicode[code];
}

std::optional<std::uint8_t> codeOf(char32_t c) {
    if (c == U'\uFFFD')
        return std::nullopt;
    for (int code = 0; code < 256; ++code)
        if (fontdata::kUnicode[code] == c)
            return std::uint8_t(code);
    return std::nullopt;
}

} // namespace run
