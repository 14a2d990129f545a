#pragma once
// Files an #include meets that are not source text. A Windows bitmap becomes
// the bytes spasm-ng makes of it: rows from the top, each row widened with
// white to a multiple of 8 pixels, 8 pixels a byte with the leftmost in the
// high bit, a bit set where the pixel is dark (luminance below one half).
// spasm-ng's options add shades in layers, a mask, a header, a minimum
// width and a map of several images in one file.
// Any other file that is not text is refused rather than read as source.

#include <cstdint>
#include <string>
#include <vector>

namespace z80 {

// spasm-ng's options for an included bitmap (its __BM_* #defines).
struct BitmapOptions {
    int shades = 2;                      // __BM_SHD: layers of 1 bit, darkest bit first
    bool mask = false;                   // __BM_MSK: a mask after the layers
    bool maskFirst = false;              // __BM_MSK_1ST: the mask before them
    bool maskInverted = false;           // __BM_MSK_INV: bits set where the image is solid
    std::uint32_t maskColour = 0x00FF00; // __BM_MSK_RGB: the colour that is see-through
    std::int64_t darkColour = -1;        // __BM_INV_RGB: drawn darkest and never masked
    std::int64_t minWidth = -1;          // __BM_MIN_W: narrower widened, wider cut in strips
    std::vector<std::string> header;     // __BM_HDR_FMT when __BM_HDR is 1: w ww h hh b s ss
    std::vector<std::int64_t> map;       // __BM_MAP: columns, rows and perhaps a count
    std::int64_t padding = -1;           // __BM_PAD: pixels around each image of a map
};

// What a bitmap gives: one image, or one per cell of a map.
struct Picture {
    std::vector<std::vector<std::uint8_t>> images;
    std::int64_t width = 0, height = 0; // of each image, in pixels
    std::vector<std::string> warnings;
};

// The most bytes one bitmap may give: the calculator's whole address space.
constexpr size_t kMaxPictureBytes = 65536;

// The file starts as a Windows bitmap does.
bool isBitmap(const std::string &bytes);

// The bitmap's bytes; false, and *error (to follow the file's name), when it
// is a kind of bitmap that is not read or the options do not fit it.
bool bitmapPicture(const std::string &bytes, const BitmapOptions &options, Picture *out,
                   std::string *error);

// The bitmap's pixels from the top left, row by row, each 0xRRGGBB; false,
// and *error, as bitmapPicture() says it.
bool bitmapRgb(const std::string &bytes, std::int64_t *width, std::int64_t *height,
               std::vector<std::uint32_t> *rgb, std::string *error);

// The same of a GIF picture's first image (Brass's .incbmp reads them).
bool gifRgb(const std::string &bytes, std::int64_t *width, std::int64_t *height,
            std::vector<std::uint32_t> *rgb, std::string *error);

// The file holds bytes no source text holds (NUL, or many control characters).
bool isBinary(const std::string &bytes);

} // namespace z80
