#pragma once
// A run set up for a test: the program loaded as a run loads it, then either
// run from its start, or one routine called with a return address that only
// its own return reaches, so that the test knows when it came back and
// whether it left the stack as it found it. It steps one instruction at a
// time for the checks that watch addresses, and notes every OS call made.

#include "run/machine.h"
#include "run/os.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace run {

class Harness : public Rom {
public:
    // Where the called routine's return goes, and the word beneath it, which a
    // routine that takes more off the stack than it put on returns to.
    static constexpr std::uint16_t kBack = 0x0004, kBeneath = 0x0006;

    Harness(const std::vector<std::uint8_t> &code, RomNames names);
    Machine &machine() { return *m_machine; }
    const Machine &machine() const { return *m_machine; }
    // The routine at `address` is called with the registers as they stand.
    void call(std::uint16_t address);
    bool calling() const { return m_calling; }
    // Where SP pointed as the routine started (at the return address).
    std::uint16_t stackAtCall() const { return m_callSp; }
    // One instruction, one OS answer or one interrupt.
    void step() {
        if (const std::uint16_t pc = m_machine->reg(Reg::PC); pc >= 0x8000)
            m_lastPc = pc;
        m_machine->runUntil(m_machine->cycles() + 1);
    }
    // The addresses of the OS calls made so far (bcall, bjump, the rst shortcuts).
    const std::vector<std::uint16_t> &osCalls() const { return m_osCalls; }

    // The machine's calls below 8000h: the test's return addresses, else the OS.
    void enter(Machine &m, std::uint16_t pc) override;

private:
    Os m_os;
    std::unique_ptr<Machine> m_machine;
    std::vector<std::uint16_t> m_osCalls;
    std::uint16_t m_callSp = 0;
    std::uint16_t m_lastPc = 0; // the program's instruction run last
    bool m_calling = false;
};

} // namespace run
