#pragma once
// The machine's whole state at one moment, for steps back: the registers,
// the RAM and how it is mapped, the display, the keypad, the clock
// and the interrupt hardware. Restoring one and running the same steps again
// gives the same machine: the runner is deterministic.

#include "run/keypad.h"
#include "run/lcd.h"
#include "run/machine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace run {

struct MachineState {
    std::array<std::uint16_t, 18> regs{}; // z80ex's registers in its own order
    std::vector<std::uint8_t> ram;
    std::array<int, 4> pages{}; // each bank's RAM page; -1 for Flash
    std::uint8_t port5 = 0, port6 = 0, port7 = 0;
    Ti84Ports ti84;
    std::uint64_t time6At = 0, cyclesAt = 0;
    std::string note;
    Lcd lcd;
    Keypad keypad;
    std::uint64_t cycles = 0, nextTimer = 0, nextTimer2 = 0;
    std::uint16_t trapFrom = 0, trapTo = 0;
    std::uint8_t intMask = 0, intStatus = 0, port4 = 0, link = 0;
    bool onWasHeld = false;
    std::optional<Stop> stop;
    std::uint64_t instructions = 0;
    std::array<std::uint16_t, 2> began{};

    // Roughly what the state holds in memory, for the history's budget.
    std::size_t bytes() const { return sizeof *this + ram.size(); }
};

} // namespace run
