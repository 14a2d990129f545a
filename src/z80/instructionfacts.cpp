#include "z80/instructionfacts.h"

#include "z80/encoder.h"
#include "z80/lexer.h"
#include "z80/operands.h"
#include "z80/vocabulary.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace z80 {
namespace {

// Unprefixed opcodes; a conditional jump, call or return at its taken count.
// Zilog UM0080, the instruction descriptions' "T States" lines.
constexpr unsigned char kMain[256] = {
    4,  10, 7,  6,  4,  4,  7,  4,  4,  11, 7,  6,  4,  4,  7, 4,  // 00
    13, 10, 7,  6,  4,  4,  7,  4,  12, 11, 7,  6,  4,  4,  7, 4,  // 10
    12, 10, 16, 6,  4,  4,  7,  4,  12, 11, 16, 6,  4,  4,  7, 4,  // 20
    12, 10, 13, 6,  11, 11, 10, 4,  12, 11, 13, 6,  4,  4,  7, 4,  // 30
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // 40
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // 50
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // 60
    7,  7,  7,  7,  7,  7,  4,  7,  4,  4,  4,  4,  4,  4,  7, 4,  // 70
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // 80
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // 90
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // A0
    4,  4,  4,  4,  4,  4,  7,  4,  4,  4,  4,  4,  4,  4,  7, 4,  // B0
    11, 10, 10, 10, 17, 11, 7,  11, 11, 10, 10, 0,  17, 17, 7, 11, // C0
    11, 10, 10, 11, 17, 11, 7,  11, 11, 4,  10, 11, 17, 0,  7, 11, // D0
    11, 10, 10, 19, 17, 11, 7,  11, 11, 4,  10, 4,  17, 0,  7, 11, // E0
    11, 10, 10, 4,  17, 11, 7,  11, 11, 6,  10, 4,  17, 0,  7, 11, // F0
};

// The count when the condition fails: djnz and jr cc, ret cc, call cc.
int notTaken(unsigned op) {
    if (op == 0x10)
        return 8;
    if (op == 0x20 || op == 0x28 || op == 0x30 || op == 0x38)
        return 7;
    if ((op & 0xC7) == 0xC0)
        return 5;
    if ((op & 0xC7) == 0xC4)
        return 10;
    return 0;
}

// Whether an unprefixed opcode reads or writes (hl), which ix and iy make (ix+d).
bool usesHlIndirect(unsigned op) {
    if (op == 0x34 || op == 0x35 || op == 0x36)
        return true;
    if (op >= 0x40 && op < 0xC0 && op != 0x76)
        return (op & 7) == 6 || (op >= 0x70 && op < 0x78);
    return false;
}

std::pair<int, int> edTiming(unsigned op) {
    if (op >= 0x40 && op < 0x80) {
        if (op == 0x67 || op == 0x6F)
            return {18, 0}; // rrd, rld
        static const int byLow[8] = {12, 12, 15, 20, 8, 14, 8, 9};
        return {byLow[op & 7], 0};
    }
    if ((op & 0xF4) == 0xA0)
        return {16, 0}; // ldi cpi ini outi ldd cpd ind outd
    if ((op & 0xF4) == 0xB0)
        return {21, 16}; // the repeats: again, or done
    return {8, 0};
}

// S Z H P/V N C as the manual's tables give them.
std::string flagsOf(const std::string &m, const std::vector<Operand> &ops) {
    const auto reg = [&](size_t i) {
        return i < ops.size() && ops[i].kind == Operand::Kind::Register ? ops[i].name
                                                                        : std::string();
    };
    const bool wide = [&] {
        const std::string r = reg(0);
        return r == "bc" || r == "de" || r == "hl" || r == "sp" || r == "ix" || r == "iy";
    }();
    if (m == "add")
        return wide ? "- - * - 0 *" : "* * * V 0 *";
    if (m == "adc")
        return "* * * V 0 *";
    if (m == "sub" || m == "sbc" || m == "cp" || m == "neg")
        return "* * * V 1 *";
    if (m == "and")
        return "* * 1 P 0 0";
    if (m == "or" || m == "xor")
        return "* * 0 P 0 0";
    if (m == "inc")
        return wide ? "- - - - - -" : "* * * V 0 -";
    if (m == "dec")
        return wide ? "- - - - - -" : "* * * V 1 -";
    if (m == "daa")
        return "* * * P - *";
    if (m == "cpl")
        return "- - 1 - 1 -";
    if (m == "ccf")
        return "- - * - 0 *";
    if (m == "scf")
        return "- - 0 - 0 1";
    if (m == "rlca" || m == "rrca" || m == "rla" || m == "rra")
        return "- - 0 - 0 *";
    if (m == "rlc" || m == "rrc" || m == "rl" || m == "rr" || m == "sla" || m == "sra" ||
        m == "srl" || m == "sll" || m == "sl1")
        return "* * 0 P 0 *";
    if (m == "rld" || m == "rrd")
        return "* * 0 P 0 -";
    if (m == "bit")
        return "? * 1 ? 0 -";
    if (m == "in")
        return ops.size() == 2 && ops[1].kind == Operand::Kind::Memory ? "- - - - - -"
                                                                       : "* * 0 P 0 -";
    if (m == "ldi" || m == "ldd" || m == "ldir" || m == "lddr")
        return "- - 0 * 0 -";
    if (m == "cpi" || m == "cpd" || m == "cpir" || m == "cpdr")
        return "* * * * 1 -";
    if (m == "ini" || m == "ind" || m == "inir" || m == "indr" || m == "outi" || m == "outd" ||
        m == "otir" || m == "otdr")
        return "? * ? ? 1 -";
    if (m == "ld" && (reg(1) == "i" || reg(1) == "r"))
        return "* * 0 IFF2 0 -";
    if (m == "pop" && reg(0) == "af")
        return "all, from the stack";
    if (m == "ex" && reg(0) == "af")
        return "all, swapped with F'";
    return "- - - - - -";
}

} // namespace

std::pair<int, int> tstatesOf(const unsigned char *b, size_t size) {
    if (size == 0)
        return {0, 0};
    const unsigned op = b[0];
    if (op == 0xCB && size >= 2) {
        const unsigned x = b[1];
        if ((x & 7) != 6)
            return {8, 0};
        return {x >= 0x40 && x < 0x80 ? 12 : 15, 0};
    }
    if (op == 0xED && size >= 2)
        return edTiming(b[1]);
    if ((op == 0xDD || op == 0xFD) && size >= 2) {
        const unsigned x = b[1];
        if (x == 0xCB && size >= 4)
            return {b[3] >= 0x40 && b[3] < 0x80 ? 20 : 23, 0};
        if (x == 0x36)
            return {19, 0};
        if (usesHlIndirect(x))
            return {kMain[x] + 12, 0};
        return {kMain[x] + 4, notTaken(x) ? notTaken(x) + 4 : 0};
    }
    return {kMain[op], notTaken(op)};
}

std::optional<InstructionFacts> instructionFacts(std::string_view line, size_t column) {
    const LexedLine lexed = lex(line);
    const std::vector<Token> &t = lexed.tokens;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Kind::Name || column < t[i].start || column > t[i].start + t[i].length ||
            !isMnemonic(t[i].text))
            continue;
        size_t end = i + 1;
        while (end < t.size() && t[end].kind != Kind::Separator)
            ++end;
        std::vector<Operand> operands;
        const Value anyValue = [](const std::vector<Token> &, size_t, size_t) {
            return std::optional<std::int64_t>(0);
        };
        for (const auto &[from, to] : items(t, i + 1, end)) {
            std::string error;
            const auto operand = parseOperand(t, from, to, anyValue, &error);
            if (!operand)
                return std::nullopt;
            operands.push_back(*operand);
        }
        const std::string mnemonic = lower(t[i].text);
        const Encoding encoding = encode(mnemonic, operands, 0, false);
        if (encoding.bytes.empty() || !encoding.error.empty())
            return std::nullopt;
        InstructionFacts facts;
        const size_t last =
            end > i + 1 ? t[end - 1].start + t[end - 1].length : t[i].start + t[i].length;
        facts.statement = std::string(line.substr(t[i].start, last - t[i].start));
        facts.bytes = int(encoding.bytes.size());
        std::tie(facts.tstates, facts.tstatesOther) =
            tstatesOf(encoding.bytes.data(), encoding.bytes.size());
        facts.flags = flagsOf(mnemonic, operands);
        return facts;
    }
    return std::nullopt;
}

std::string describe(const InstructionFacts &f) {
    std::string text = f.statement + ": " + std::to_string(f.bytes) +
                       (f.bytes == 1 ? " byte, " : " bytes, ") + std::to_string(f.tstates) +
                       " T-states";
    if (f.tstatesOther)
        text += " when it jumps or repeats, " + std::to_string(f.tstatesOther) + " when not";
    text += "\nflags S Z H P/V N C: " + f.flags;
    return text;
}

} // namespace z80
