#pragma once
// One expression tree for the dialect's expressions. The dialect computes
// strictly from left to right (1+2*3 is 9) and gives 1 for true; the tree is
// built that way and evaluated for #if and by the assembler.

#include "lexer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

struct Expr {
    enum class Kind { Number, Symbol, Pc, Reusable, Unary, Binary };
    Kind kind = Kind::Number;
    std::int64_t value = 0; // Number; Reusable: -1, -2 ... back, 1, 2 ... ahead
    std::string name;       // Symbol; Reusable: Brass's family ("+", "--", "@"), "" for '_'
    std::string op;         // Unary and Binary
    int column = -1, length = 0; // Symbol: where its name is written on the line, if it is
    std::unique_ptr<Expr> left, right;
};
using ExprPtr = std::unique_ptr<Expr>;

// The code point of a text that is one UTF-8 character of two to four
// bytes ('∫' is 222Bh), or -1.
std::int64_t oneCodePoint(std::string_view text);

// How deep parentheses and signs may nest before an expression is refused.
constexpr int kMaxExpressionDepth = 200;

// Reads tokens [begin, end) as one expression; nothing, and *error, when
// they are not one. With `precedence`, operators bind as in Brass (and C):
// 1+2*3 is 7.
ExprPtr parseExpression(const std::vector<Token> &tokens, size_t begin, size_t end,
                        std::string *error, bool precedence = false);

// A symbol's value when it is known before assembly.
using Lookup = std::function<std::optional<std::int64_t>(const std::string &name)>;
// The value in 32-bit arithmetic, as the dialect's assemblers compute it.
std::optional<std::int64_t> evaluate(const Expr &e, const Lookup &lookup, std::string *error);

// The value of a Symbol, Pc or Reusable node during assembly; nothing, and
// *error, when it has none.
using Resolve = std::function<std::optional<std::int64_t>(const Expr &node, std::string *error)>;
std::optional<std::int64_t> evaluate(const Expr &e, const Resolve &resolve, std::string *error);

} // namespace z80
