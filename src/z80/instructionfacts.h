#pragma once
// What the Z80 manual says of an instruction, for the editor's hover: its
// size in bytes (from the encoder), its T-states (both counts for a jump,
// call, return or repeat that may or may not happen) and how it leaves the
// flags, in the manual's notation. Tables of our own, from Zilog's Z80 CPU
// User Manual (UM0080); the undocumented forms time as their documented kin.

#include <optional>
#include <string>
#include <string_view>

namespace z80 {

struct InstructionFacts {
    std::string statement; // the instruction as written, operands included
    int bytes = 0;
    int tstates = 0;
    int tstatesOther = 0; // when a condition fails (or a repeat ends); 0: one count
    std::string flags;    // S Z H P/V N C, each * (by the result), 0, 1, - (kept) or ?
};

// The instruction whose mnemonic stands at byte `column` of `line`; nothing
// when no instruction stands there or its operands are no form of it.
std::optional<InstructionFacts> instructionFacts(std::string_view line, size_t column);

// The T-states of an encoded instruction: taken, and not taken (0 for none).
std::pair<int, int> tstatesOf(const unsigned char *bytes, size_t size);

// The hover's text: "ld a,(ix+5): 3 bytes, 19 T-states; flags S Z H P/V N C: - - - - - -".
std::string describe(const InstructionFacts &facts);

} // namespace z80
