#pragma once
// Quorvin's own fonts for the calculator's character codes 00h-FFh, built
// into the program from fonts/large.txt and fonts/small.txt.
//
// A glyph is the block of pixels a character call draws, blank pixels
// included: rows[0] is the top row, bit 7 of a row the leftmost pixel.
// - Large font (home screen, 16x8 characters): every glyph is a 6x8 cell
//   with the 5x7 drawing one column in and one row down.
// - Small font (graph-screen text): 7 rows high, a blank row on top of six;
//   2 to 6 columns wide, the first one blank. Lower case is about 4 wide.
// Codes the calculator leaves undefined (00h, F2h-FFh) are blank.
//
// Some codes, useful to programs and tests: 1Ah the negative sign, 1Bh the
// E of scientific notation, 1Ch the store arrow, 05h the conversion arrow,
// 10h the square root, 12h the square, 5Bh theta, C1h the '[' (whose ASCII
// place 5Bh theta takes), C4h pi, D6h the enter symbol.

#include <array>
#include <cstdint>
#include <optional>

namespace run {

struct Glyph {
    int width;
    int height;
    std::array<std::uint8_t, 8> rows;
};

constexpr int kLargeCellWidth = 6;
constexpr int kLargeCellHeight = 8;
constexpr int kSmallHeight = 7;

const Glyph &largeGlyph(std::uint8_t code);
const Glyph &smallGlyph(std::uint8_t code);

// The Unicode character a code shows as (U+FFFD for undefined codes), and
// back: the code that shows as a Unicode character, if any does.
char32_t unicodeOf(std::uint8_t code);
std::optional<std::uint8_t> codeOf(char32_t c);

} // namespace run
