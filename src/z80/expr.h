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
    enum class Kind { Number, Symbol, Pc, Reusable, Unary, Binary, Cast, Choice, Page };
    Kind kind = Kind::Number;
    std::int64_t value = 0; // Number; Reusable: -1, -2 ... back, 1, 2 ... ahead
    double real = 0;        // Number: Brass's value with a fraction ("2.5"), when `isReal`
    bool isReal = false;
    // name, for a Page: the label of Brass's ":label", "" for ":$" (the page being written)
    std::string name;       // Symbol; Reusable: Brass's family ("+", "--", "@"), "" for '_'
    std::string op;         // Unary and Binary; Cast: Brass's type ("word", "fp8.8")
    int column = -1, length = 0; // Symbol: where its name is written on the line, if it is
    std::unique_ptr<Expr> left, right, third; // Choice: left ? right : third
};
using ExprPtr = std::unique_ptr<Expr>;

// The code point of a text that is one UTF-8 character of two to four
// bytes ('∫' is 222Bh), or -1.
std::int64_t oneCodePoint(std::string_view text);

// How deep parentheses and signs may nest before an expression is refused.
constexpr int kMaxExpressionDepth = 200;

// Reads tokens [begin, end) as one expression; nothing, and *error, when
// they are not one. With `precedence`, operators bind as in Brass (and C):
// 1+2*3 is 7. Without it, *regroups (when given) says whether Brass's
// order would group the operators otherwise, so that the value may differ.
ExprPtr parseExpression(const std::vector<Token> &tokens, size_t begin, size_t end,
                        std::string *error, bool precedence = false, bool *regroups = nullptr);

// A symbol's value when it is known before assembly.
using Lookup = std::function<std::optional<std::int64_t>(const std::string &name)>;
// The value in 32-bit arithmetic, as the dialect's assemblers compute it.
std::optional<std::int64_t> evaluate(const Expr &e, const Lookup &lookup, std::string *error);

// The value of a Symbol, Pc, Reusable or Page node during assembly; nothing, and
// *error, when it has none.
using Resolve = std::function<std::optional<std::int64_t>(const Expr &node, std::string *error)>;
std::optional<std::int64_t> evaluate(const Expr &e, const Resolve &resolve, std::string *error);

// Brass computes in double precision: a symbol may hold a value with a
// fraction (`realOf` gives it, after `resolve` found the symbol), and a value
// used where a whole number goes is cut toward zero.
using RealOf = std::function<std::optional<double>(const Expr &node)>;
std::optional<double> evaluateReal(const Expr &e, const Resolve &resolve, const RealOf &realOf,
                                   std::string *error);
// The whole value as evaluate() gives it; *fraction holds the value itself
// when it has a fraction (Brass's 2.5), else nothing. `realOf` may be null
// when no symbol holds a fraction.
std::optional<std::int64_t> evaluate(const Expr &e, const Resolve &resolve, const RealOf *realOf,
                                     std::string *error, std::optional<double> *fraction);

// Brass's casts (syntax/expressions.htm, directives/var.htm): the value
// cut toward zero and wrapped into the type's bytes; for fixed point (fpX.Y,
// ufpX.Y) scaled by 2^Y first. Nothing when `type` names no such type.
std::optional<double> brassCast(const std::string &type, double v);
// A value with a fraction as Brass's .echo writes it: "-1634.3".
std::string realText(double v);
// The bytes of a Brass type (byte 1, word 2, int 4, fp8.8 2, tifloat 9...), or 0.
int brassTypeSize(const std::string &type);

} // namespace z80
