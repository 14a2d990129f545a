#pragma once
// What the OS's own routines cost in clock cycles (T-states), so that a run
// keeps the calculator's pace through its calls as well as through its own
// code. No ROM is run here, so these are the cycles the instructions such a
// routine needs take by the Z80's documented timings (LDIR 21 a byte, OUT
// 11, a display write waiting some 10 microseconds for the controller), not
// measurements of TI's code. Loops are charged per byte, character or pixel.

#include <cstdint>
#include <string>

namespace run::cost {

// The bcall itself: the rst, saving and switching the Flash page, the jump
// through the OS's table, and back.
constexpr std::uint64_t kCall = 300;
// One byte moved or set by a block instruction (LDIR, or LD (HL),A / INC HL).
constexpr std::uint64_t kByte = 21;
// One byte written to the display through its data port, with the wait the
// controller needs between writes.
constexpr std::uint64_t kLcdByte = 90;
// A 6x8 character of the home screen: eight display writes and the font.
constexpr std::uint64_t kCell = 8 * kLcdByte + 400;
// A small-font character: its width read, merged with the screen and written.
constexpr std::uint64_t kSmallChar = 2 * 7 * kLcdByte + 600;
// A point of the graph: the buffer's byte and the display's.
constexpr std::uint64_t kPoint = 400 + 3 * kLcdByte;
// The whole display from a 768-byte buffer, or cleared.
constexpr std::uint64_t kScreen = 768 * kLcdByte + 64 * 60;
// One digit of a 16-bit number: a division by 10 (16 steps of a shift loop).
constexpr std::uint64_t kDigit = 16 * 40;

// The floating-point routines, by name; 0 for the calls that cost only kCall
// and what they charge themselves.
std::uint64_t ofFloatCall(const std::string &name);

} // namespace run::cost
