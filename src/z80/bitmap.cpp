#include "bitmap.h"

#include <algorithm>

namespace z80 {
namespace {

std::uint32_t u32(const std::string &b, size_t at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t u16(const std::string &b, size_t at) {
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// spasm-ng's rule for two shades: the shade is (0.99 - luminance) * 2,
// truncated, so a pixel is dark from luminance 0.49 down.
bool dark(const Rgb &c) {
    const double luminance =
        (0.2126 / 255.0) * c.red + (0.7152 / 255.0) * c.green + (0.0722 / 255.0) * c.blue;
    return (0.99 - luminance) * 2 >= 1.0;
}

} // namespace

bool isBitmap(const std::string &bytes) {
    return bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M';
}

bool bitmapBytes(const std::string &b, std::vector<std::uint8_t> *out, std::string *error) {
    const std::uint32_t pixels = u32(b, 10), header = u32(b, 14);
    const std::int32_t width = std::int32_t(u32(b, 18)), height = std::int32_t(u32(b, 22));
    const unsigned bits = u16(b, 28);
    const std::uint32_t compression = u32(b, 30), used = u32(b, 46);
    if ((header != 40 && header != 108 && header != 124) || compression != 0) {
        *error = "is a compressed or unusual bitmap; save it as an uncompressed Windows bitmap";
        return false;
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        *error = "has " + std::to_string(bits) + " bits a pixel, which no bitmap has";
        return false;
    }
    if (width <= 0 || height <= 0) {
        *error = "is stored from the top down or is empty; save it bottom-up";
        return false;
    }
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    if (pixels > b.size() || stride * size_t(height) > b.size() - pixels) {
        *error = "is cut short";
        return false;
    }
    std::vector<Rgb> palette;
    if (bits <= 8) {
        const size_t colours = used ? used : size_t(1) << bits;
        for (size_t i = 0, at = 14 + header; i < colours && at + 4 <= b.size(); ++i, at += 4)
            palette.push_back(
                {std::uint8_t(b[at + 2]), std::uint8_t(b[at + 1]), std::uint8_t(b[at])});
    }
    const size_t rowBytes = (size_t(width) + 7) / 8;
    out->assign(rowBytes * size_t(height), 0);
    for (std::int32_t y = 0; y < height; ++y) {
        const size_t row = pixels + size_t(height - 1 - y) * stride; // rows are stored bottom-up
        for (std::int32_t x = 0; x < width; ++x) {
            const size_t bit = size_t(x) * bits;
            Rgb c;
            if (bits <= 8) {
                const unsigned index =
                    (std::uint8_t(b[row + bit / 8]) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                c = index < palette.size() ? palette[index] : Rgb{};
            } else {
                std::uint32_t data = 0;
                for (unsigned i = 0; i < bits / 8; ++i)
                    data = data << 8 | std::uint8_t(b[row + bit / 8 + i]);
                const unsigned part = bits / 3;
                const std::uint32_t mask = (1u << part) - 1;
                c = {std::uint8_t(data & mask), std::uint8_t(data >> part & mask),
                     std::uint8_t(data >> 2 * part & mask)};
            }
            if (dark(c))
                (*out)[size_t(y) * rowBytes + size_t(x) / 8] |= std::uint8_t(0x80 >> (x % 8));
        }
    }
    return true;
}

bool isBinary(const std::string &bytes) {
    const size_t n = std::min(bytes.size(), size_t(65536));
    size_t control = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = std::uint8_t(bytes[i]);
        if (c == 0)
            return true;
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1A)
            ++control;
    }
    return control * 100 > n;
}

} // namespace z80
