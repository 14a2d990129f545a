#include "operands.h"

#include "vocabulary.h"

namespace z80 {
namespace {

// Where the parenthesis that opens at `open` closes, or SIZE_MAX.
size_t closing(const std::vector<Token> &t, size_t open, size_t end) {
    int depth = 0;
    for (size_t i = open; i < end; ++i) {
        if (t[i].isOp("("))
            ++depth;
        else if (t[i].isOp(")") && --depth == 0)
            return i;
    }
    return SIZE_MAX;
}

bool isIndirectRegister(const std::string &word) {
    return word == "hl" || word == "bc" || word == "de" || word == "sp" || word == "ix" ||
           word == "iy" || word == "c";
}

} // namespace

std::vector<std::pair<size_t, size_t>> items(const std::vector<Token> &t, size_t begin,
                                             size_t end) {
    std::vector<std::pair<size_t, size_t>> out;
    int depth = 0;
    size_t start = begin;
    for (size_t i = begin; i < end; ++i) {
        if (t[i].isOp("(") || t[i].isOp("["))
            ++depth;
        else if ((t[i].isOp(")") || t[i].isOp("]")) && depth > 0)
            --depth;
        else if (t[i].isOp(",") && depth == 0) {
            out.emplace_back(start, i);
            start = i + 1;
        }
    }
    if (end > begin)
        out.emplace_back(start, end);
    return out;
}

std::optional<Operand> parseOperand(const std::vector<Token> &t, size_t b, size_t e,
                                    const Value &value, std::string *error) {
    if (b == e) {
        *error = "an operand is missing";
        return std::nullopt;
    }
    Operand op;
    if (e == b + 1 && t[b].kind == Kind::Name &&
        (isRegister(t[b].text) || isCondition(t[b].text))) {
        op.kind = Operand::Kind::Register;
        op.name = lower(t[b].text);
        return op;
    }
    if (t[b].isOp("(") && closing(t, b, e) == e - 1) {
        const size_t in = b + 1, out = e - 1;
        const std::string reg = in < out && t[in].kind == Kind::Name ? lower(t[in].text) : "";
        if (out == in + 1 && isIndirectRegister(reg)) {
            op.kind = Operand::Kind::Indirect;
            op.name = reg;
            return op;
        }
        if ((reg == "ix" || reg == "iy") && in + 1 < out &&
            (t[in + 1].isOp("+") || t[in + 1].isOp("-"))) {
            op.kind = Operand::Kind::Indexed;
            op.name = reg;
            op.value = value(t, in + 1, out).value_or(0);
            return op;
        }
        if (isRegister(reg) && in + 1 < out && (t[in + 1].isOp("+") || t[in + 1].isOp("-"))) {
            // "(hl+1)": only the index registers take a displacement.
            const std::string rest = spell(t, in + 1, out);
            *error = "'" + spell(t, b, e) + "': the Z80 has no such operand; '(ix" + rest +
                     ")' or '(iy" + rest + ")' can";
            return std::nullopt;
        }
        op.kind = Operand::Kind::Memory;
        op.value = value(t, in, out).value_or(0);
        return op;
    }
    op.kind = Operand::Kind::Immediate;
    op.value = value(t, b, e).value_or(0);
    return op;
}

} // namespace z80
