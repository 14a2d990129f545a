#pragma once
// The machine's whole state at one moment, for steps back: the registers,
// the 32 KB of RAM and how it is mapped, the display, the keypad, the clock
// and the interrupt hardware. Restoring one and running the same steps again
// gives the same machine: the runner is deterministic.

#include "run/keypad.h"
#include "run/lcd.h"
#include "run/machine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace run {

struct MachineState {
    std::array<std::uint16_t, 18> regs{}; // z80ex's registers in its own order
    std::vector<std::uint8_t> ram;
    std::array<int, 2> banks{}; // the banks at 4000h and 8000h: 0, 1 RAM page; -1 none
    Lcd lcd;
    Keypad keypad;
    std::uint64_t cycles = 0, nextTimer = 0, nextTimer2 = 0;
    std::uint16_t trapFrom = 0, trapTo = 0;
    std::uint8_t intMask = 0, intStatus = 0, port4 = 0, link = 0;
    bool onWasHeld = false;
    std::optional<Stop> stop;

    // Roughly what the state holds in memory, for the history's budget.
    std::size_t bytes() const { return sizeof *this + ram.size(); }
};

} // namespace run
