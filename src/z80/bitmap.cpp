#include "bitmap.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

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
    std::uint8_t red = 0, green = 0, blue = 0, reserved = 0;
    bool sameColour(std::int64_t rgb) const {
        return rgb >= 0 && red == (rgb >> 16 & 0xFF) && green == (rgb >> 8 & 0xFF) &&
               blue == (rgb & 0xFF);
    }
};

// The pixels of a bitmap file whose header was checked.
struct Pixels {
    const std::string &file;
    std::uint32_t start;
    std::int64_t width, height;
    unsigned bits;
    size_t stride;
    std::vector<Rgb> palette;

    // Column x of the row `fromBottom` rows above the last one stored.
    Rgb at(std::int64_t x, std::int64_t fromBottom) const {
        const size_t row = start + size_t(fromBottom) * stride;
        const size_t bit = size_t(x) * bits;
        if (bits <= 8) {
            const unsigned index =
                (std::uint8_t(file[row + bit / 8]) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            return index < palette.size() ? palette[index] : Rgb{};
        }
        std::uint32_t data = 0;
        for (unsigned i = 0; i < bits / 8; ++i)
            data = data << 8 | std::uint8_t(file[row + bit / 8 + i]);
        const unsigned part = bits / 3;
        const std::uint32_t mask = (1u << part) - 1;
        return {std::uint8_t(data & mask), std::uint8_t(data >> part & mask),
                std::uint8_t(data >> 2 * part & mask)};
    }
};

// A part of the picture: columns [left, right), rows [top, bottom) counted
// from the bottom, as the file stores them.
struct Area {
    std::int64_t left, top, right, bottom;
};

// spasm-ng's shade: (0.99 - luminance) * shades, truncated; with two shades a
// pixel is dark from luminance 0.49 down.
int shadeOf(const Rgb &c, int shades) {
    const double luminance =
        (0.2126 / 255.0) * c.red + (0.7152 / 255.0) * c.green + (0.0722 / 255.0) * c.blue;
    return std::max(0, int((0.99 - luminance) * shades));
}

class Maker {
public:
    Maker(const Pixels &p, const BitmapOptions &o, Picture *out)
        : m_p(p), m_o(o), m_out(out), m_layers(int(std::log2(o.shades))) {}

    // One image: the header, then the area in strips of the minimum width.
    bool image(Area a, std::string *error) {
        m_out->images.emplace_back();
        if (!header(a, error))
            return false;
        const std::int64_t width = a.right - a.left;
        if (m_o.minWidth > 0 && width > m_o.minWidth) {
            for (std::int64_t w = width; w > 0; w -= m_o.minWidth, a.left += m_o.minWidth) {
                a.right = a.left + std::min(m_o.minWidth, w);
                if (!strip(a, error))
                    return false;
            }
            return true;
        }
        return strip(a, error);
    }

private:
    void put(std::int64_t byte) { m_out->images.back().push_back(std::uint8_t(byte & 0xFF)); }
    void warn(const std::string &text) {
        if (std::find(m_out->warnings.begin(), m_out->warnings.end(), text) ==
            m_out->warnings.end())
            m_out->warnings.push_back(text);
    }

    // Counted in the picture's bytes before it is made: a long header on
    // each image of a map would otherwise grow without limit.
    bool header(const Area &a, std::string *error) {
        size_t headerBytes = 0;
        for (const std::string &token : m_o.header) {
            std::string t = token;
            for (char &c : t)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            headerBytes += t == "ww" || t == "hh" || t == "ss" ? 2 : 1;
        }
        if (!spend(headerBytes, error))
            return false;
        const std::int64_t w = a.right - a.left, h = a.bottom - a.top;
        for (const std::string &token : m_o.header) {
            std::string t = token;
            for (char &c : t)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            if (t == "w" || t == "h") {
                const std::int64_t v = t == "w" ? w : h;
                if (v > 255)
                    warn("its " + std::string(t == "w" ? "width" : "height") +
                         " does not fit the header's '" + t + "'; use '" + t + t + "'");
                put(v);
            } else if (t == "ww" || t == "hh") {
                const std::int64_t v = t == "ww" ? w : h;
                put(v);
                put(v >> 8);
            } else if (t == "b") {
                put(m_o.shades);
            } else if (t == "s" || t == "ss") {
                // The layers' size, as spasm-ng counts it: the mask is not in it.
                std::int64_t size = (w + 7) / 8 * h;
                size *= m_o.shades == 4 ? 2 : m_o.shades == 8 ? 4 : 1;
                if (t == "s" && size > 255)
                    warn("its size does not fit the header's 's'; use 'ss'");
                put(size);
                if (t == "ss")
                    put(size >> 8);
            } else {
                warn("the header's '" + token + "' is not one of w, ww, h, hh, b, s, ss");
                put(0);
            }
        }
        return true;
    }
    bool spend(size_t size, std::string *error) {
        m_total += size;
        if (m_total <= kMaxPictureBytes)
            return true;
        *error = "gives more than " + std::to_string(kMaxPictureBytes) + " bytes";
        return false;
    }

    // The layers (darkest bit first) and the mask of one strip, each row
    // widened with white to the minimum width and to whole bytes.
    bool strip(const Area &a, std::string *error) {
        const std::int64_t rows = a.bottom - a.top;
        const std::int64_t span = std::max(a.right - a.left, m_o.minWidth);
        const size_t rowBytes = size_t(span + 7) / 8;
        const size_t size = rowBytes * size_t(rows) * size_t(m_layers + (m_o.mask ? 1 : 0));
        if (!spend(size, error))
            return false;
        const size_t width = rowBytes * 8;
        std::vector<std::uint8_t> shade(width * size_t(rows), 0), see(width * size_t(rows), 1);
        const std::int64_t end = std::max(a.right, a.left + m_o.minWidth);
        for (std::int64_t y = 0; y < rows; ++y) {
            const std::int64_t fromBottom = a.top + rows - 1 - y;
            for (std::int64_t x = a.left; x < end; ++x) {
                if (x >= m_p.width || x >= a.right)
                    continue; // white, and see-through in the mask
                const Rgb c = m_p.at(x, fromBottom);
                const size_t at = size_t(y) * width + size_t(x - a.left);
                if (c.sameColour(m_o.darkColour)) {
                    shade[at] = std::uint8_t(m_o.shades - 1);
                } else {
                    shade[at] = std::uint8_t(shadeOf(c, m_o.shades));
                    if (!(c.sameColour(m_o.maskColour) && c.reserved == 0))
                        see[at] = 0;
                }
            }
        }
        const auto bits = [&](const std::vector<std::uint8_t> &from, int bit, bool invert) {
            for (size_t k = 0; k < from.size(); k += 8) {
                int byte = 0;
                for (size_t i = 0; i < 8; ++i)
                    byte |= ((from[k + i] >> bit) & 1) << (7 - i);
                put(invert ? ~byte : byte);
            }
        };
        if (m_o.mask && m_o.maskFirst)
            bits(see, 0, m_o.maskInverted);
        for (int layer = m_layers - 1; layer >= 0; --layer)
            bits(shade, layer, false);
        if (m_o.mask && !m_o.maskFirst)
            bits(see, 0, m_o.maskInverted);
        return true;
    }

    const Pixels &m_p;
    const BitmapOptions &m_o;
    Picture *m_out;
    int m_layers;
    size_t m_total = 0;
};

} // namespace

bool isBitmap(const std::string &bytes) {
    return bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M';
}

namespace {

// The pixels of a bitmap the kit reads; nothing, and *error, for another.
std::optional<Pixels> openBitmap(const std::string &b, std::string *error) {
    if (!isBitmap(b)) {
        *error = "is not a Windows bitmap (.bmp)";
        return std::nullopt;
    }
    const std::uint32_t pixels = u32(b, 10), header = u32(b, 14);
    const std::int32_t width = std::int32_t(u32(b, 18)), height = std::int32_t(u32(b, 22));
    const unsigned bits = u16(b, 28);
    const std::uint32_t compression = u32(b, 30), used = u32(b, 46);
    if ((header != 40 && header != 108 && header != 124) || compression != 0) {
        *error = "is a compressed or unusual bitmap; save it as an uncompressed Windows bitmap";
        return std::nullopt;
    }
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        *error = "has " + std::to_string(bits) + " bits a pixel, which no bitmap has";
        return std::nullopt;
    }
    if (width <= 0 || height <= 0) {
        *error = "is stored from the top down or is empty; save it bottom-up";
        return std::nullopt;
    }
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    if (pixels > b.size() || stride * size_t(height) > b.size() - pixels) {
        *error = "is cut short";
        return std::nullopt;
    }
    Pixels p{b, pixels, width, height, bits, stride, {}};
    if (bits <= 8) {
        const size_t colours = used ? used : size_t(1) << bits;
        for (size_t i = 0, at = 14 + header; i < colours && at + 4 <= b.size(); ++i, at += 4)
            p.palette.push_back({std::uint8_t(b[at + 2]), std::uint8_t(b[at + 1]),
                                 std::uint8_t(b[at]), std::uint8_t(b[at + 3])});
    }
    return p;
}

} // namespace

bool bitmapRgb(const std::string &b, std::int64_t *width, std::int64_t *height,
               std::vector<std::uint32_t> *rgb, std::string *error) {
    const std::optional<Pixels> p = openBitmap(b, error);
    if (!p)
        return false;
    *width = p->width;
    *height = p->height;
    if (size_t(p->width) * size_t(p->height) > 8 * kMaxPictureBytes) {
        *error = "is larger than " + std::to_string(8 * kMaxPictureBytes) + " pixels";
        return false;
    }
    rgb->clear();
    for (std::int64_t y = 0; y < p->height; ++y)
        for (std::int64_t x = 0; x < p->width; ++x) {
            const Rgb c = p->at(x, p->height - 1 - y);
            rgb->push_back(std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue);
        }
    return true;
}

namespace {

// A GIF's first image, LZW-decoded into palette indexes (GIF89a's
// specification, appendix F): codes of growing width, low bit first.
class GifReader {
public:
    explicit GifReader(const std::string &b) : m_b(b) {}

    bool read(std::int64_t *width, std::int64_t *height, std::vector<std::uint32_t> *rgb,
              std::string *error) {
        if (m_b.size() < 13 || m_b.compare(0, 4, "GIF8") != 0)
            return fail(error, "is not a GIF picture");
        const std::int64_t w = u16(6), h = u16(8);
        const unsigned packed = byte(10), background = byte(11);
        m_at = 13;
        std::vector<std::uint32_t> global;
        if (packed & 0x80)
            global = palette(size_t(2) << (packed & 7));
        if (w <= 0 || h <= 0 || size_t(w) * size_t(h) > 8 * kMaxPictureBytes || m_at > m_b.size())
            return fail(error, "is empty, cut short or larger than " +
                                   std::to_string(8 * kMaxPictureBytes) + " pixels");
        rgb->assign(size_t(w * h), background < global.size() ? global[background] : 0);
        while (m_at < m_b.size()) {
            const unsigned block = byte(m_at++);
            if (block == 0x21) { // an extension: its label, then sub-blocks
                ++m_at;
                skipBlocks();
            } else if (block == 0x2C) {
                const std::int64_t left = u16(m_at), top = u16(m_at + 2);
                const std::int64_t iw = u16(m_at + 4), ih = u16(m_at + 6);
                const unsigned flags = byte(m_at + 8);
                m_at += 9;
                std::vector<std::uint32_t> colours = global;
                if (flags & 0x80)
                    colours = palette(size_t(2) << (flags & 7));
                std::vector<std::uint8_t> index;
                if (!decode(size_t(iw * ih), &index))
                    return fail(error, "holds a picture that is not whole");
                const auto rows = order(ih, flags & 0x40);
                for (std::int64_t r = 0; r < ih; ++r)
                    for (std::int64_t x = 0; x < iw; ++x) {
                        const std::int64_t y = top + rows[size_t(r)], cx = left + x;
                        const size_t i = size_t(r * iw + x);
                        if (y < h && cx < w && i < index.size() && index[i] < colours.size())
                            (*rgb)[size_t(y * w + cx)] = colours[index[i]];
                    }
                *width = w;
                *height = h;
                return true;
            } else {
                break;
            }
        }
        return fail(error, "holds no picture");
    }

private:
    static bool fail(std::string *error, const std::string &text) {
        *error = text;
        return false;
    }
    unsigned byte(size_t at) const { return at < m_b.size() ? std::uint8_t(m_b[at]) : 0; }
    std::int64_t u16(size_t at) const { return byte(at) | byte(at + 1) << 8; }
    std::vector<std::uint32_t> palette(size_t n) {
        std::vector<std::uint32_t> p;
        for (size_t k = 0; k < n; ++k, m_at += 3)
            p.push_back(std::uint32_t(byte(m_at)) << 16 | byte(m_at + 1) << 8 | byte(m_at + 2));
        return p;
    }
    void skipBlocks() {
        while (m_at < m_b.size()) {
            const unsigned n = byte(m_at++);
            if (n == 0)
                return;
            m_at += n;
        }
    }
    // Interlaced rows come in four passes: every 8th from 0, from 4, every
    // 4th from 2, every 2nd from 1.
    static std::vector<std::int64_t> order(std::int64_t h, bool interlaced) {
        std::vector<std::int64_t> rows;
        if (!interlaced) {
            for (std::int64_t y = 0; y < h; ++y)
                rows.push_back(y);
            return rows;
        }
        for (const auto &[start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (std::int64_t y = start; y < h; y += step)
                rows.push_back(y);
        return rows;
    }
    bool decode(size_t pixels, std::vector<std::uint8_t> *out) {
        const unsigned minimum = byte(m_at++);
        if (minimum < 2 || minimum > 11)
            return false;
        std::string data; // the sub-blocks joined
        while (m_at < m_b.size()) {
            const unsigned n = byte(m_at++);
            if (n == 0)
                break;
            data.append(m_b, m_at, n);
            m_at += n;
        }
        const unsigned clear = 1u << minimum, end = clear + 1;
        std::vector<std::pair<int, std::uint8_t>> table; // prefix code, last byte
        unsigned width = minimum + 1;
        auto reset = [&] {
            table.clear();
            for (unsigned c = 0; c < clear + 2; ++c)
                table.emplace_back(-1, std::uint8_t(c));
            width = minimum + 1;
        };
        reset();
        std::vector<std::uint8_t> chars;
        auto spell = [&](int code) {
            chars.clear();
            for (int c = code; c >= 0 && chars.size() <= 4096; c = table[size_t(c)].first)
                chars.push_back(table[size_t(c)].second);
            std::reverse(chars.begin(), chars.end());
        };
        int previous = -1;
        size_t bit = 0;
        while (out->size() < pixels && bit + width <= data.size() * 8) {
            unsigned code = 0;
            for (unsigned k = 0; k < width; ++k, ++bit)
                code |= unsigned(std::uint8_t(data[bit / 8]) >> (bit % 8) & 1) << k;
            if (code == clear) {
                reset();
                previous = -1;
                continue;
            }
            if (code == end)
                break;
            if (code < table.size()) {
                spell(int(code));
                if (previous >= 0 && table.size() < 4096)
                    table.emplace_back(previous, chars.front());
            } else if (code == table.size() && previous >= 0) {
                spell(previous);
                chars.push_back(chars.front());
                table.emplace_back(previous, chars.front());
            } else {
                return false;
            }
            out->insert(out->end(), chars.begin(), chars.end());
            previous = int(code);
            if (table.size() == (size_t(1) << width) && width < 12)
                ++width;
        }
        if (out->size() < pixels) // the codes end before the picture does
            return false;
        out->resize(pixels);
        return true;
    }

    const std::string &m_b;
    size_t m_at = 0;
};

} // namespace

bool gifRgb(const std::string &b, std::int64_t *width, std::int64_t *height,
            std::vector<std::uint32_t> *rgb, std::string *error) {
    return GifReader(b).read(width, height, rgb, error);
}

bool bitmapPicture(const std::string &b, const BitmapOptions &o, Picture *out, std::string *error) {
    if (o.shades < 2 || o.shades > 256) {
        *error = "cannot have " + std::to_string(o.shades) + " shades (__BM_SHD is 2 to 256)";
        return false;
    }
    const std::optional<Pixels> opened = openBitmap(b, error);
    if (!opened)
        return false;
    const Pixels &p = *opened;
    const std::int64_t width = p.width, height = p.height;
    Maker make(p, o, out);
    if (o.map.empty()) {
        out->width = width;
        out->height = height;
        return make.image({0, 0, width, height}, error);
    }
    // A map: COLUMNS x ROWS images apart by twice the padding, read a
    // column at a time from the top left; a count stops it early.
    const std::int64_t columns = o.map[0], rows = o.map.size() > 1 ? o.map[1] : 0;
    const std::int64_t pad = std::max<std::int64_t>(o.padding, 0);
    if (columns <= 0 || rows <= 0) {
        *error = "needs a map of columns and rows (__BM_MAP 2x5, say)";
        return false;
    }
    out->width = (width - columns * 2 * pad) / columns;
    out->height = (height - rows * 2 * pad) / rows;
    if (out->width <= 0 || out->height <= 0) {
        *error = "is too small for a map of " + std::to_string(columns) + "x" +
                 std::to_string(rows) + " with padding " + std::to_string(pad);
        return false;
    }
    std::int64_t left = 0, count = o.map.size() > 2 ? o.map[2] + 1 : 0;
    for (; left < width; left += out->width + 2 * pad) {
        for (std::int64_t top = height - out->height - 2 * pad; top >= 0;
             top -= out->height + 2 * pad) {
            if (count == 1)
                return true;
            if (count != 0)
                --count;
            const Area a{left + pad, top + pad, left + pad + out->width, top + pad + out->height};
            if (!make.image(a, error))
                return false;
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
