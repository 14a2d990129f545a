#pragma once
// Reading the runner's font files. A file holds glyphs keyed by the
// calculator's character codes:
//
//   ; a comment
//   char 41 A
//   .###.
//   #...#
//
// "char CODE SHOW": CODE is two hex digits, SHOW the Unicode character the
// code stands for, written as itself or as U+XXXX. Then exactly `rows` lines
// of '.' and '#', all of one width. The build turns the files into C++, so a
// malformed file stops the build with the message this reader gives.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace run {

struct FontFileGlyph {
    int code = 0;
    char32_t unicode = 0;
    int width = 0;
    std::vector<std::string> rows; // '.' and '#'
};

struct FontFileShape {
    int rows;     // every glyph has exactly this many rows
    int minWidth; // and a width in this range
    int maxWidth;
};

struct FontFile {
    std::vector<FontFileGlyph> glyphs;
    std::string error; // "NAME:LINE: what is wrong"; empty when the file is good
};

FontFile parseFontFile(std::string_view text, std::string_view name, FontFileShape shape);

} // namespace run
