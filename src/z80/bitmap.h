#pragma once
// Files an #include meets that are not source text. A Windows bitmap becomes
// the bytes spasm-ng makes of it: rows from the top, each row widened with
// white to a multiple of 8 pixels, 8 pixels a byte with the leftmost in the
// high bit, a bit set where the pixel is dark (luminance below one half).
// Any other file that is not text is refused rather than read as source.

#include <cstdint>
#include <string>
#include <vector>

namespace z80 {

// The file starts as a Windows bitmap does.
bool isBitmap(const std::string &bytes);

// The bitmap's bytes; false, and *error (to follow the file's name), when it
// is a kind of bitmap that is not read.
bool bitmapBytes(const std::string &bytes, std::vector<std::uint8_t> *out, std::string *error);

// The file holds bytes no source text holds (NUL, or many control characters).
bool isBinary(const std::string &bytes);

} // namespace z80
