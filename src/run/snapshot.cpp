#include "run/snapshot.h"

#include <z80ex/z80ex.h>

namespace run {

bool Machine::betweenInstructions() const {
    return z80ex_last_op_type(m_cpu) == 0;
}

// z80ex can neither be told it is halted nor that an EI has just run, so
// a state is only taken where neither holds.
bool Machine::restorable() const {
    return betweenInstructions() && !z80ex_doing_halt(m_cpu) &&
           bool(z80ex_int_possible(m_cpu)) == interruptsEnabled();
}

int Machine::interruptMode() const {
    return z80ex_get_reg(m_cpu, regIM);
}

void Machine::save(MachineState &to) const {
    for (int r = 0; r < 18; ++r)
        to.regs[std::size_t(r)] = z80ex_get_reg(m_cpu, Z80_REG_T(r));
    to.ram = m_ram;
    for (int b = 1; b <= 2; ++b)
        to.banks[std::size_t(b - 1)] = m_bank[std::size_t(b)] == m_ram.data()            ? 0
                                       : m_bank[std::size_t(b)] == m_ram.data() + 0x4000 ? 1
                                                                                         : -1;
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
}

void Machine::restore(const MachineState &from) {
    z80ex_reset(m_cpu);          // clears a halt and a pending prefix
    for (int r = 0; r < 18; ++r) // in z80ex's order: R7 after R
        z80ex_set_reg(m_cpu, Z80_REG_T(r), from.regs[std::size_t(r)]);
    m_ram = from.ram;
    m_bank[3] = m_ram.data();
    for (int b = 1; b <= 2; ++b) {
        const int page = from.banks[std::size_t(b - 1)];
        m_bank[std::size_t(b)] = page < 0 ? m_none.data() : m_ram.data() + (page ? 0x4000 : 0);
        m_writable[std::size_t(b)] = page >= 0;
    }
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
}

} // namespace run
