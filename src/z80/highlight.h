#pragma once
// What each stretch of a source line is, for colouring: the editor styles the
// text by these spans and never changes a byte of it. The spans come from the
// assembler's own lexer, so the colours and the build never disagree about
// where a string, a number or a comment ends.

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

// What a line leaves open for the next one: a #comment block, a /* comment.
enum LineState : int { kNoBlock = 0, kInCommentBlock = 1, kInSlashComment = 2 };

// Classifies one line (without its end), given the state the line before
// left, and returns the state after it. Stretches not listed are Default.
int highlightLine(std::string_view line, int state, std::vector<Span> &spans);

} // namespace z80
