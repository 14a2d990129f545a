#pragma once
// Expressions over a paused machine, for breakpoint conditions and watches,
// written as the assembler's expressions with the operators binding as in
// Brass and C (1+2*3 is 7, `a = 5 && b = 3` is two tests): the registers
// (a f b c d e h l ixh ixl iyh iyl af bc de hl ix iy sp pc, any case), the
// flags by their condition names (z nz nc po pe p m, and cy for carry, as
// `c` is the register), `$` for PC, the program's labels, `(x)` the byte at
// x and `{x}` the little-endian word at x. Square brackets group, as
// parentheses read memory; `<>` is `!=`. The assembler's own parser and
// evaluator compute it: what differs is only where a name's value comes from.

#include "run/machine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace run {

// A label's value, or nothing when the program has none of that name.
using LabelLookup = std::function<std::optional<std::uint16_t>(const std::string &name)>;

class WatchExpr {
public:
    // Nothing, and *error, when `text` is not one expression or names
    // something that is neither a register, a flag nor one of `labels`.
    static std::optional<WatchExpr> parse(const std::string &text, const LabelLookup &labels,
                                          std::string *error);
    // The value now (the assembler's 32-bit arithmetic); nothing, and
    // *error, for a division by zero.
    std::optional<std::int64_t> value(const Machine &m, std::string *error) const;
    // As a breakpoint's condition: not zero. An expression that cannot be
    // computed now holds (the run stops, so the user sees why).
    bool holds(const Machine &m) const;

    struct Compiled;

private:
    std::shared_ptr<const Compiled> m_compiled;
};

// A log breakpoint's message with each {expression} in it replaced by its
// value in hex ("05h", "9340h"): {(score)} the byte at score, {{lives}} the
// word at lives, {a + b}; a brace that holds no expression stays as written,
// and so does a message longer than an expression may be.
std::string fillInExpressions(const std::string &message, const Machine &m,
                              const LabelLookup &labels);

} // namespace run
