#include "base/utf8.h"

namespace base {

std::size_t decodeUtf8(std::string_view text, char32_t *c) {
    if (text.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        *c = lead;
        return 1;
    }
    std::size_t more = 0;
    char32_t v = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        more = 1, v = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        more = 2, v = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        more = 3, v = lead & 0x07;
    else
        return 0;
    if (text.size() <= more)
        return 0;
    for (std::size_t i = 1; i <= more; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (v < kSmallest[more] || (v >= 0xD800 && v <= 0xDFFF) || v > 0x10FFFF)
        return 0;
    *c = v;
    return more + 1;
}

long decodeOneUtf8(std::string_view text) {
    char32_t c = 0;
    if (text.size() < 2 || decodeUtf8(text, &c) != text.size())
        return -1;
    return long(c);
}

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t n = decodeUtf8(text.substr(at), &c);
        if (n == 0)
            return false;
        at += n;
    }
    return true;
}

} // namespace base
