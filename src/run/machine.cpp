#include "run/machine.h"

#include <z80ex/z80ex.h>

#include "run/hex.h"

#include <algorithm>
#include <cstdio>

namespace run {

namespace {

// The hardware timers' rates for bits 1-2 of port 4 on the TI-83 Plus (WikiTI,
// 83Plus:Ports:04); the OS sets the slowest. The second runs about twice as
// fast as the first.
long timerHz(std::uint8_t port4) {
    static const long rates[4] = {560, 248, 170, 118};
    return rates[(port4 >> 1) & 3];
}
long timer2Hz(std::uint8_t port4) {
    static const long rates[4] = {1120, 497, 344, 236};
    return rates[(port4 >> 1) & 3];
}

} // namespace

Machine::Machine(Rom &rom)
    : m_rom(rom),
      m_cpu(z80ex_create(&Machine::readMem, this, &Machine::writeMem, this, &Machine::readPort,
                         this, &Machine::writePort, this, &Machine::intVector, this)),
      m_ram(0x8000, 0), m_osPage(0x4000, 0), m_none(0x4000, 0xFF) {
    m_bank[0] = m_osPage.data();
    mapBank(1, 0x00);
    mapBank(2, 0x41);
    m_bank[3] = m_ram.data();
    m_writable[3] = true;
    m_nextTimer = kClockHz / timerHz(m_port4);
    m_nextTimer2 = kClockHz / timer2Hz(m_port4);
}

Machine::~Machine() {
    z80ex_destroy(m_cpu);
}

// Port 6 maps the bank at 4000h, port 7 the one at 8000h: bit 6 picks RAM
// (page in bit 0), otherwise a page of Flash, which this machine has none of.
void Machine::mapBank(int bank, std::uint8_t value) {
    const bool ram = value & 0x40;
    m_bank[bank] = ram ? m_ram.data() + ((value & 1) ? 0x4000 : 0) : m_none.data();
    m_writable[bank] = ram;
}

void Machine::load(const std::vector<std::uint8_t> &code, std::uint16_t returnTo) {
    const std::size_t room = 0xFE00 - kUserMem;
    for (std::size_t i = 0; i < code.size() && i < room; ++i)
        write(std::uint16_t(kUserMem + i), code[i]);
    z80ex_set_reg(m_cpu, regIY, 0x89F0);
    z80ex_set_reg(m_cpu, regSP, 0x0000);
    push(returnTo);
    z80ex_set_reg(m_cpu, regPC, kUserMem);
    z80ex_set_reg(m_cpu, regIM, 1);
    enableInterrupts();
}

std::uint16_t Machine::reg(Reg r) const {
    static const Z80_REG_T map[] = {regAF, regBC, regDE, regHL, regIX, regIY, regSP, regPC};
    return z80ex_get_reg(m_cpu, map[int(r)]);
}

void Machine::setReg(Reg r, std::uint16_t v) {
    static const Z80_REG_T map[] = {regAF, regBC, regDE, regHL, regIX, regIY, regSP, regPC};
    z80ex_set_reg(m_cpu, map[int(r)], v);
}

std::uint16_t Machine::pop() {
    const std::uint16_t sp = reg(Reg::SP);
    setReg(Reg::SP, std::uint16_t(sp + 2));
    return readWord(sp);
}

void Machine::push(std::uint16_t v) {
    const std::uint16_t sp = std::uint16_t(reg(Reg::SP) - 2);
    setReg(Reg::SP, sp);
    writeWord(sp, v);
}

void Machine::enableInterrupts() {
    z80ex_set_reg(m_cpu, regIFF1, 1);
    z80ex_set_reg(m_cpu, regIFF2, 1);
}

bool Machine::interruptsEnabled() const {
    return z80ex_get_reg(m_cpu, regIFF1);
}

void Machine::setFlag(int offset, int bit, bool on) {
    const std::uint16_t a = std::uint16_t(0x89F0 + offset);
    write(a, std::uint8_t(on ? read(a) | 1 << bit : read(a) & ~(1 << bit)));
}

std::uint64_t Machine::nextInterrupt() const {
    return (m_intMask & 0x04) ? std::min(m_nextTimer, m_nextTimer2) : m_nextTimer;
}

void Machine::timer() {
    if (m_cycles >= m_nextTimer) {
        m_nextTimer += kClockHz / timerHz(m_port4);
        if (m_intMask & 0x02)
            m_intStatus |= 0x02;
    }
    if (m_cycles >= m_nextTimer2) {
        m_nextTimer2 += kClockHz / timer2Hz(m_port4);
        if (m_intMask & 0x04)
            m_intStatus |= 0x04;
    }
    const bool on = m_keypad.onHeld();
    if (on && !m_onWasHeld && (m_intMask & 0x01))
        m_intStatus |= 0x01;
    m_onWasHeld = on;
}

void Machine::runUntil(std::uint64_t until) {
    while (!m_stop && m_cycles < until) {
        if (m_cycles >= m_nextTimer || m_cycles >= m_nextTimer2)
            timer();
        if (m_intStatus && z80ex_int_possible(m_cpu)) {
            m_cycles += z80ex_int(m_cpu);
            ++m_interruptsTaken;
        }
        const std::uint16_t pc = z80ex_get_reg(m_cpu, regPC);
        if (pc < 0x8000 || (pc >= m_trapFrom && pc < m_trapTo)) {
            m_rom.enter(*this, pc);
            continue;
        }
        if (pc >= 0xC000) {
            stop("the program ran code at " + hex4(pc) +
                 ", and the calculator runs no code at C000h or above");
            break;
        }
        if (z80ex_doing_halt(m_cpu)) {
            if (!interruptsEnabled()) {
                stop("the program halted with interrupts off at " + hex4(pc) +
                     ", which stops the calculator for good");
                break;
            }
            if (m_cycles < nextInterrupt())
                m_cycles = nextInterrupt();
            continue;
        }
        m_cycles += z80ex_step(m_cpu);
    }
}

std::uint8_t Machine::readMem(_z80_cpu_context *, std::uint16_t a, int, void *self) {
    const auto *m = static_cast<Machine *>(self);
    return m->m_bank[a >> 14][a & 0x3FFF];
}

void Machine::writeMem(_z80_cpu_context *, std::uint16_t a, std::uint8_t v, void *self) {
    static_cast<Machine *>(self)->write(a, v);
}

std::uint8_t Machine::readPort(_z80_cpu_context *, std::uint16_t port, void *self) {
    return static_cast<Machine *>(self)->in(std::uint8_t(port));
}

void Machine::writePort(_z80_cpu_context *, std::uint16_t port, std::uint8_t v, void *self) {
    static_cast<Machine *>(self)->out(std::uint8_t(port), v);
}

std::uint8_t Machine::intVector(_z80_cpu_context *, void *) {
    return 0xFF;
}

// The TI-83 Plus decodes few address lines: 08h-0Fh are 00h-07h again, 10h-1Fh
// the display's two ports, and every port from 20h on is one of 00h-07h (WikiTI,
// 83Plus:Ports:20: "on the standard TI-83 Plus, it acts as a shadow of port 00").
// So the Silver Edition's and TI-84 Plus's ports reach these on this model, as
// they do on the calculator: `out (20h),a` to ask for 15 MHz writes the link port.
std::uint8_t Machine::portOf(std::uint8_t port) {
    return port >= 0x10 && port < 0x20 ? std::uint8_t(0x10 | (port & 1)) : std::uint8_t(port & 7);
}

std::uint8_t Machine::in(std::uint8_t port) {
    port = portOf(port);
    if (port >= 0x10)
        return port & 1 ? m_lcd.readData() : m_lcd.status();
    switch (port) {
    case 0:
        // Bits 0-1: a line reads low while either end pulls it; 4-5: what this end pulls.
        return std::uint8_t((0x03 & ~m_link) | m_link << 4);
    case 1:
        return m_keypad.read(m_cycles);
    case 2:
        return 0x03; // batteries good; bit 7 clear: a TI-83 Plus
    case 3:
        return m_intMask;
    case 4:
        return std::uint8_t(m_intStatus | (m_keypad.onHeld() ? 0 : 0x08));
    case 5:
        return 0x00; // the link assistant's last byte: nothing received
    case 6:
        return 0x1F;
    case 7:
        return 0x41;
    default:
        return 0xFF;
    }
}

void Machine::out(std::uint8_t port, std::uint8_t v) {
    port = portOf(port);
    if (port >= 0x10) {
        if (port & 1)
            m_lcd.writeData(v);
        else
            m_lcd.command(v);
        return;
    }
    switch (port) {
    case 0:
        m_link = v & 3; // bits 0-1 pull the tip and the ring low
        break;
    case 1:
        m_keypad.selectGroups(v);
        break;
    case 3:
        m_intMask = v;
        m_intStatus &= v; // a cleared bit acknowledges its interrupt
        break;
    case 4:
        if ((v & 6) != (m_port4 & 6)) { // a new rate counts from now
            m_nextTimer = m_cycles + kClockHz / timerHz(v);
            m_nextTimer2 = m_cycles + kClockHz / timer2Hz(v);
        }
        m_port4 = v;
        break;
    case 6:
        mapBank(1, v);
        break;
    case 7:
        mapBank(2, v);
        break;
    default:
        break; // the link port and the rest: nothing to see
    }
}

} // namespace run
