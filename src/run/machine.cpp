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

Machine::Machine(Rom &rom, Model model)
    : m_rom(rom), m_model(model),
      m_cpu(z80ex_create(&Machine::readMem, this, &Machine::writeMem, this, &Machine::readPort,
                         this, &Machine::writePort, this, &Machine::intVector, this)),
      m_ram(model == Model::Ti84Plus ? 0x20000 : 0x8000, 0), m_osPage(0x4000, 0),
      m_none(0x4000, 0xFF) {
    m_bank[0] = m_osPage.data();
    m_page[0] = -1;
    mapBank(1, 0x00);
    mapBank(2, model == Model::Ti84Plus ? 0x81 : 0x41);
    mapBank(3, model == Model::Ti84Plus ? 0x80 : 0x40);
    m_nextTimer = kClockHz / timerHz(m_port4);
    m_nextTimer2 = kClockHz / timer2Hz(m_port4);
}

Machine::~Machine() {
    z80ex_destroy(m_cpu);
}

// Port 6 maps the bank at 4000h, port 7 the one at 8000h: on the TI-83 Plus
// bit 6 picks RAM (page in bit 0), on the TI-84 Plus bit 7 (page in bits
// 0-2: 128 KB); otherwise a page of Flash, bits 0-4 on the TI-83 Plus (32
// pages), 0-5 on the TI-84 Plus (64; WikiTI, 83Plus:Ports:06). Of the Flash
// this machine holds only an application's pages; the rest read FFh.
// Port 5 picks the TI-84 Plus's RAM page at C000h (WikiTI, 83Plus:Ports:05).
void Machine::mapBank(int bank, std::uint8_t value) {
    const bool is84 = m_model == Model::Ti84Plus;
    const bool ram = value & (is84 ? 0x80 : 0x40);
    const int page = ram ? value & (is84 ? 7 : 1) : -2 - (value & (is84 ? 0x3F : 0x1F));
    m_page[std::size_t(bank)] = page;
    m_bank[std::size_t(bank)] = pageMemory(page);
    m_writable[std::size_t(bank)] = ram;
    if (bank == 1)
        m_appInBank1 = page < -1 && m_bank[1] != m_none.data();
}

std::uint8_t *Machine::pageMemory(int page) {
    if (page >= 0)
        return m_ram.data() + page * 0x4000;
    const int flash = -2 - page;
    if (page < -1 && m_appFirst >= 0 && flash <= m_appFirst &&
        std::size_t(m_appFirst - flash) * 0x4000 < m_app.size())
        return m_app.data() + std::size_t(m_appFirst - flash) * 0x4000;
    return m_none.data();
}

void Machine::loadApplication(const std::vector<std::uint8_t> &bytes, int firstPage,
                              std::uint16_t entry, std::uint16_t returnTo) {
    m_app = bytes;
    m_app.resize((bytes.size() + 0x3FFF) / 0x4000 * 0x4000, 0xFF);
    m_appFirst = firstPage;
    load({}, returnTo);
    setPort6(std::uint8_t(firstPage));
    z80ex_set_reg(m_cpu, regPC, entry);
    m_began[0] = entry;
}

void Machine::load(const std::vector<std::uint8_t> &code, std::uint16_t returnTo) {
    const std::size_t room = 0xFE00 - kUserMem;
    for (std::size_t i = 0; i < code.size() && i < room; ++i)
        write(std::uint16_t(kUserMem + i), code[i]);
    z80ex_set_reg(m_cpu, regIY, 0x89F0);
    z80ex_set_reg(m_cpu, regSP, 0x0000);
    push(returnTo);
    z80ex_set_reg(m_cpu, regPC, kUserMem);
    m_began[0] = kUserMem;
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
    const std::uint64_t next =
        (m_intMask & 0x04) ? std::min(m_nextTimer, m_nextTimer2) : m_nextTimer;
    return m_model == Model::Ti84Plus ? std::min(next, m_ti84.nextInterrupt()) : next;
}

void Machine::timer() {
    if (m_cycles >= m_nextTimer) {
        m_nextTimer += std::uint64_t(clockHz() / timerHz(m_port4));
        if (m_intMask & 0x02)
            m_intStatus |= 0x02;
    }
    if (m_cycles >= m_nextTimer2) {
        m_nextTimer2 += std::uint64_t(clockHz() / timer2Hz(m_port4));
        if (m_intMask & 0x04)
            m_intStatus |= 0x04;
    }
    const bool on = m_keypad.onHeld();
    if (on && !m_onWasHeld && (m_intMask & 0x01))
        m_intStatus |= 0x01;
    m_onWasHeld = on;
}

void Machine::runUntil(std::uint64_t until) {
    run<false>(until, nullptr);
}

bool Machine::runUntil(std::uint64_t until, const Stops &stops) {
    static const std::bitset<65536> kNowhere;
    static const std::bitset<256> kNone;
    Stops s = stops;
    if (s.every)
        s.count = 0;
    if (!s.at)
        s.at = &kNowhere;
    if (!s.opcodes)
        s.opcodes = &kNone;
    return run<true>(until, &s);
}

// An instruction ends where PC is back at the program's own code with no
// prefix waiting and no halt: the OS's answer to a call, and an interrupt
// the OS took and returned from, belong to the instruction around them.
template <bool kStops> bool Machine::run(std::uint64_t until, const Stops *stops) {
    const bool is84 = m_model == Model::Ti84Plus;
    const std::bitset<65536> *at = kStops ? stops->at : nullptr;
    const std::bitset<256> *opcodes = kStops ? stops->opcodes : nullptr;
    const std::uint64_t count = kStops ? stops->count : 0;
    while (!m_stop) {
        std::uint16_t pc = z80ex_get_reg(m_cpu, regPC);
        bool osCode = answered(pc);
        if (m_midInstruction && !osCode && !m_unfinished) {
            m_midInstruction = false;
            ++m_instructions;
            m_began[m_instructions & 1] = pc;
            if (kStops &&
                (m_instructions >= count || m_attention || (*at)[pc] || (*opcodes)[peek(pc)]) &&
                stopsBefore(*stops, pc))
                return true;
        }
        if (m_cycles >= until)
            break;
        if (m_cycles >= m_nextTimer || m_cycles >= m_nextTimer2)
            timer();
        const bool crystal =
            is84 && m_cycles >= m_ti84.nextInterrupt() && m_ti84.interrupts(m_cycles);
        if ((m_intStatus || crystal) && z80ex_int_possible(m_cpu)) {
            m_cycles += z80ex_int(m_cpu);
            ++m_interruptsTaken;
            m_halted = m_unfinished = false; // z80ex goes on after a halt
            pc = z80ex_get_reg(m_cpu, regPC);
            osCode = answered(pc);
        }
        if (osCode) {
            m_rom.enter(*this, pc);
            continue;
        }
        if (pc >= 0xC000) {
            stop("the program ran code at " + hex4(pc) +
                 ", and the calculator runs no code at C000h or above");
            break;
        }
        if (m_halted) {
            if (!interruptsEnabled()) {
                stop("the program halted with interrupts off at " + hex4(pc) +
                     ", which stops the calculator for good");
                break;
            }
            if (m_cycles < nextInterrupt())
                m_cycles = nextInterrupt();
            continue;
        }
        const int t = z80ex_step(m_cpu);
        m_cycles += std::uint64_t(t);
        m_midInstruction = true;
        // A prefix byte and a halt take 4 T-states; so do many instructions.
        m_unfinished =
            t == 4 && (z80ex_last_op_type(m_cpu) || (m_halted = z80ex_doing_halt(m_cpu)));
    }
    return false;
}

bool Machine::stopsBefore(const Stops &s, std::uint16_t pc) {
    if (m_instructions >= s.count || (*s.at)[pc])
        return true;
    if (std::exchange(m_attention, false)) {
        if (m_written || m_readAt)
            return true;
        if (std::exchange(m_stackTouched, false) &&
            std::uint16_t(z80ex_get_reg(m_cpu, regSP) - m_guardFrom) < m_guardSpan)
            return true;
    }
    const std::uint8_t op = peek(pc);
    if (!(*s.opcodes)[op])
        return false;
    const std::bitset<256> *next = op == 0xED                 ? s.afterEd
                                   : op == 0xDD || op == 0xFD ? s.afterIndex
                                                              : nullptr;
    return !next || (*next)[peek(std::uint16_t(pc + 1))];
}

std::uint8_t Machine::readMem(_z80_cpu_context *, std::uint16_t a, int, void *self) {
    const auto *m = static_cast<Machine *>(self);
    return m->m_bank[a >> 14][a & 0x3FFF];
}

std::uint8_t Machine::readMemWatched(_z80_cpu_context *, std::uint16_t a, int m1, void *self) {
    const auto *m = static_cast<Machine *>(self);
    if (!m1 && (*m->m_readWatched)[a])
        m->m_readAt = a, m->m_attention = true;
    return m->m_bank[a >> 14][a & 0x3FFF];
}

void Machine::watchReads(const std::bitset<65536> *watched) {
    m_readWatched = watched;
    z80ex_set_memread_callback(m_cpu, watched ? &Machine::readMemWatched : &Machine::readMem, this);
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
    if (m_model == Model::Ti84Plus)
        return in84(port);
    noteLaterModelPort(port);
    return in83(portOf(port));
}

std::uint8_t Machine::in83(std::uint8_t port) {
    if (port >= 0x10)
        return port & 1 ? m_lcd.readData() : m_lcd.status();
    switch (port) {
    case 0:
        // Bits 0-1: a line reads low while either end pulls it; 4-5: what this end pulls.
        return std::uint8_t((0x03 & ~m_link) | m_link << 4);
    case 1:
        return m_keypad.read(time6());
    case 2:
        return 0x03; // batteries good; bit 7 clear: a TI-83 Plus
    case 3:
        return m_intMask;
    case 4:
        return std::uint8_t(m_intStatus | (m_keypad.onHeld() ? 0 : 0x08));
    case 5:
        return 0x00; // the link assistant's last byte: nothing received
    case 6:
        return m_port6;
    case 7:
        return m_port7;
    default:
        return 0xFF;
    }
}

void Machine::out(std::uint8_t port, std::uint8_t v) {
    if (m_model == Model::Ti84Plus)
        return out84(port, v);
    out83(portOf(port), v);
}

void Machine::out83(std::uint8_t port, std::uint8_t v) {
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
            m_nextTimer = m_cycles + std::uint64_t(clockHz() / timerHz(v));
            m_nextTimer2 = m_cycles + std::uint64_t(clockHz() / timer2Hz(v));
        }
        m_port4 = v;
        break;
    case 6:
        m_port6 = v;
        mapBank(1, v);
        break;
    case 7:
        m_port7 = v;
        mapBank(2, v);
        break;
    default:
        break; // the link port and the rest: nothing to see
    }
}

// The TI-84 Plus: 00h-07h as on the TI-83 Plus, except that port 2 tells
// the model (bit 7: not a TI-83 Plus; bit 5: a TI-84 Plus, with USB; bit 6:
// the link assistant; WikiTI, 83Plus:Ports:02), port 5 pages RAM and ports 6
// and 7 read back; 10h-13h the display; the rest are `Ti84Ports`.
std::uint8_t Machine::in84(std::uint8_t port) {
    if (port >= 0x10 && port < 0x14)
        return port & 1 ? m_lcd.readData() : m_lcd.status();
    switch (port) {
    case 0:
    case 1:
    case 3:
        return in83(port);
    case 4: // bits 5-7: the crystal timers' interrupts
        return std::uint8_t(in83(4) | m_ti84.interrupts(m_cycles));
    case 2:
        return 0xE3;
    case 5:
        return m_port5;
    case 6:
        return m_port6;
    case 7:
        return m_port7;
    default:
        break;
    }
    if (Ti84Ports::usbPort(port) && m_note.empty())
        m_note = "it used the TI-84 Plus's USB port " + hex2(port) +
                 ", which this runner answers as having no cable plugged in";
    return *m_ti84.in(port, m_cycles);
}

void Machine::out84(std::uint8_t port, std::uint8_t v) {
    if (port >= 0x10 && port < 0x14) {
        if (port & 1)
            m_lcd.writeData(v);
        else
            m_lcd.command(v);
        return;
    }
    if (port == 2) { // a 0 bit acknowledges the ON key and the two timers
        m_intStatus &= std::uint8_t(v | 0xF8);
        return;
    }
    if (port == 5) {
        m_port5 = v & 7;
        mapBank(3, std::uint8_t(0x80 | m_port5));
        return;
    }
    if (port < 8)
        return out83(port, v);
    const long from = clockHz();
    m_ti84.out(port, v, m_cycles);
    if (clockHz() != from)
        speedChanged(from);
}

// What was due keeps its time, now counted in cycles of the new speed.
void Machine::speedChanged(long fromHz) {
    m_time6At += in6(m_cycles - m_cyclesAt, fromHz);
    m_cyclesAt = m_cycles;
    const auto rescale = [this, fromHz](std::uint64_t &due) {
        if (due > m_cycles)
            due = m_cycles + (due - m_cycles) * std::uint64_t(clockHz()) / std::uint64_t(fromHz);
    };
    rescale(m_nextTimer);
    rescale(m_nextTimer2);
}

// A TI-83 Plus program reading the TI-84 Plus's model port, crystal timers or
// clock reads the link port there (WikiTI, 83Plus:Ports:21, :30, :40): most
// likely it was written for the later model. Told once, with the run's end.
void Machine::noteLaterModelPort(std::uint8_t port) {
    if (!m_note.empty())
        return;
    const char *what = port == 0x21                   ? "model port"
                       : port >= 0x30 && port <= 0x38 ? "crystal timer"
                       : port >= 0x40 && port <= 0x48 ? "clock"
                       : port == 0x4C || port == 0x4D ? "USB port"
                                                      : nullptr;
    if (what)
        m_note = std::string("it read port ") + hex2(port) + ", the TI-84 Plus's " + what +
                 ", which on a TI-83 Plus is only the link port again; it may need a TI-84 Plus "
                 "(--model 84p)";
}

} // namespace run
