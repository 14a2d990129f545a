#pragma once
// The operands of an instruction as the source writes them, apart by commas
// outside brackets, and each classified for the encoder: a register or
// condition, (hl), (ix+d), (nn) or a value.

#include "encoder.h"
#include "expr.h"
#include "lexer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace z80 {

// The ranges [begin, end) of the comma-separated items of tokens [begin, end).
std::vector<std::pair<size_t, size_t>> items(const std::vector<Token> &t, size_t begin, size_t end);

// A value of tokens [begin, end): what the assembler computes for an
// expression; nothing when it reported why not.
using Value = std::function<std::optional<std::int64_t>(const std::vector<Token> &t, size_t begin,
                                                        size_t end)>;

// The operand in tokens [begin, end); nothing, and *error, when it is not
// one. A value that could not be computed (already reported) counts as 0.
std::optional<Operand> parseOperand(const std::vector<Token> &t, size_t begin, size_t end,
                                    const Value &value, std::string *error);

} // namespace z80
