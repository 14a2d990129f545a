#include "run/snapshot.h"

#include <z80ex/z80ex.h>

namespace run {

bool Machine::betweenInstructions() const {
    return z80ex_last_op_type(m_cpu) == 0;
}

// z80ex can neither be told it is halted nor that an EI has just run, so
// a state is only taken where neither holds, between two of the program's
// instructions.
bool Machine::restorable() const {
    return !m_midInstruction && betweenInstructions() && !z80ex_doing_halt(m_cpu) &&
           bool(z80ex_int_possible(m_cpu)) == interruptsEnabled();
}

int Machine::interruptMode() const {
    return z80ex_get_reg(m_cpu, regIM);
}

void Machine::save(MachineState &to) const {
    for (int r = 0; r < 18; ++r)
        to.regs[std::size_t(r)] = z80ex_get_reg(m_cpu, Z80_REG_T(r));
    to.ram = m_ram;
    to.pages = m_page;
    to.port5 = m_port5, to.port6 = m_port6, to.port7 = m_port7;
    to.ti84 = m_ti84;
    to.time6At = m_time6At, to.cyclesAt = m_cyclesAt;
    to.note = m_note;
    to.lcd = m_lcd;
    to.keypad = m_keypad;
    to.cycles = m_cycles;
    to.nextTimer = m_nextTimer;
    to.nextTimer2 = m_nextTimer2;
    to.trapFrom = m_trapFrom;
    to.trapTo = m_trapTo;
    to.link = m_link;
    to.intMask = m_intMask;
    to.intStatus = m_intStatus;
    to.port4 = m_port4;
    to.onWasHeld = m_onWasHeld;
    to.stop = m_stop;
    to.instructions = m_instructions;
    to.began = m_began;
}

void Machine::restore(const MachineState &from) {
    z80ex_reset(m_cpu);          // clears a halt and a pending prefix
    for (int r = 0; r < 18; ++r) // in z80ex's order: R7 after R
        z80ex_set_reg(m_cpu, Z80_REG_T(r), from.regs[std::size_t(r)]);
    m_ram = from.ram;
    m_page = from.pages;
    for (std::size_t b = 1; b < 4; ++b) {
        const int page = m_page[b];
        m_bank[b] = pageMemory(page);
        m_writable[b] = page >= 0;
    }
    m_appInBank1 = m_bank[1] != m_none.data() && m_page[1] < -1;
    m_port5 = from.port5, m_port6 = from.port6, m_port7 = from.port7;
    m_ti84 = from.ti84;
    m_time6At = from.time6At, m_cyclesAt = from.cyclesAt;
    m_note = from.note;
    m_lcd = from.lcd;
    m_keypad = from.keypad;
    m_cycles = from.cycles;
    m_nextTimer = from.nextTimer;
    m_nextTimer2 = from.nextTimer2;
    m_trapFrom = from.trapFrom;
    m_trapTo = from.trapTo;
    m_link = from.link;
    m_intMask = from.intMask;
    m_intStatus = from.intStatus;
    m_port4 = from.port4;
    m_onWasHeld = from.onWasHeld;
    m_stop = from.stop;
    // Taken only where restorable(): between instructions, not halted.
    m_instructions = from.instructions;
    m_began = from.began;
    m_midInstruction = false;
    m_halted = m_unfinished = false;
    m_stackTouched = m_attention = false;
    m_written.reset();
    m_readAt.reset();
}

} // namespace run
