#pragma once
// The Z80 instruction set as a table: a mnemonic and its operands, already
// classified and with their values, become the instruction's bytes. Every
// documented instruction, and the undocumented ones calculator programs use
// (sll/sl1, the ixh/ixl/iyh/iyl forms, in f,(c), in (c), out (c),0).
// Plain C++: no file, no symbol table; the assembler hands it values.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

// One operand as the source wrote it.
struct Operand {
    enum class Kind {
        Register,  // a b c d e h l i r f ixh ixl iyh iyl af af' bc de hl sp ix iy,
                   // or a condition (nz z nc c po pe p m): the word is in `name`
        Indirect,  // a register in parentheses: (hl) (bc) (de) (sp) (ix) (iy) (c)
        Indexed,   // (ix+d) or (iy+d): `name` is "ix" or "iy", `value` is d
        Immediate, // an expression: `value`
        Memory,    // an expression in parentheses: (nn), and (n) of in and out
    };
    Kind kind = Kind::Immediate;
    std::string name;       // lower case; Register, Indirect and Indexed
    std::int64_t value = 0; // Immediate, Memory and Indexed
};

struct Encoding {
    std::vector<std::uint8_t> bytes; // the instruction; its size is right even with an error
    std::string error;               // empty when it was encoded; else the whole message
    std::string warning;             // a 9-bit value cut to its low byte, as spasm-ng cuts it
};

// Whether an 8-bit field's value out of -128..255 is cut to its low byte
// with a warning rather than refused: spasm-ng cuts every such value, and
// programs it builds hold a 9-bit one (256+n, -1-255) meaning its low byte;
// a wider value is a wrong name or operand, which an error catches.
inline bool cutToLowByte(std::int64_t v) {
    return v >= -256 && v <= 511;
}
// Whether a 16-bit field's value is the negative of an address above 7FFFh
// ("ld bc,-input" subtracts an address with add hl,bc): spasm-ng and Brass
// write its low 16 bits, the kit too, with a warning.
inline bool cutToLowWord(std::int64_t v) {
    return v >= -65535 && v < -32768;
}

// The one judgement of a value placed in a byte or a word, by an
// instruction or by data: no text when it fits; else the message, which is
// a warning (`*cut` set) for a value cut to its low byte or low 16 bits as
// spasm-ng cuts it (`anyByte`: Brass's data, which cuts every byte value).
// `paged`: the build is an application, whose labels carry their page in
// bits 16-23 (spasm-ng's app.inc places page N at N*10000h+4000h), so a
// 16-bit field takes the low 16 bits of any value up to FFFFFFh, silently,
// as spasm-ng takes them, and a byte the low byte of one up to FFFFh (label>>8)
// with a warning.
std::string widthMisfit(std::int64_t v, int bytes, bool *cut, bool anyByte = false,
                        bool paged = false);

// Encodes one instruction that starts at address `pc` (jr and djnz count
// from it). With `checkRanges` false (a first pass, where values ahead are
// not known yet) no value is judged, but the size is the final one: every
// form has one size whatever its values.
// `paged`: as widthMisfit() takes it; jr and djnz count in the low 16 bits.
Encoding encode(std::string_view mnemonic, const std::vector<Operand> &operands, std::uint32_t pc,
                bool checkRanges, bool paged = false);

// Whether `word` (any letter case) is an instruction's mnemonic.
bool isMnemonic(std::string_view word);

} // namespace z80
