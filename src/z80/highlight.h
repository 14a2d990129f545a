#pragma once
// What each stretch of a source line is, for colouring: the editor styles the
// text by these spans and never changes a byte of it.

#include <cstddef>
#include <string_view>
#include <vector>

namespace z80 {

enum class Style { Default, Comment, Instruction, Register, Directive, Number, String, Label };
constexpr int kStyleCount = 8;

struct Span {
    size_t start, length;
    Style style;
};

// Classifies one line (without its end). `inComment`: a #comment block is
// open before the line; the result says whether one is open after it.
// Stretches not listed are Default.
bool highlightLine(std::string_view line, bool inComment, std::vector<Span> &spans);

} // namespace z80
