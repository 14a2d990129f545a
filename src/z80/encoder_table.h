#pragma once
// The instruction forms the encoder knows, each found by its mnemonic and the
// shapes of its operands ("ld a,(ix+d)", "jr nz,n"), with its bytes and the
// places where the operands' values go.

#include <cstdint>
#include <string_view>

namespace z80::forms {

// What an operand's value becomes, and so which values fit.
enum class Field : std::uint8_t {
    None,
    Byte,          // one byte at `at`
    Word,          // two bytes at `at`, low first
    Relative,      // jr and djnz: the distance from the instruction's end
    Displacement,  // the d of (ix+d)
    Bit,           // a bit number, or'ed into the opcode at `at` as 8 * b
    Restart,       // rst: the address, or'ed into the opcode at `at`
    InterruptMode, // im: the mode picks the opcode at `at`
    Zero,          // out (c),0: only 0 is written, nothing is stored
};

struct Slot {
    Field field = Field::None;
    std::uint8_t operand = 0; // which operand holds the value
    std::uint8_t at = 0;      // which byte it goes into
};

struct Form {
    std::uint8_t bytes[4] = {};
    std::uint8_t size = 0;
    Slot slots[2];
};

// The form for a key: the mnemonic, a space and the operands' shapes joined
// by commas ("ld a,(ix+d)", "ret"); nullptr when there is none.
const Form *find(std::string_view key);

// Whether the lower-case `mnemonic` is known, and whether it takes operands.
bool known(std::string_view mnemonic);
bool takesOperands(std::string_view mnemonic);

} // namespace z80::forms
