#include "run/oscalllog.h"

#include "run/romcalls.h"
#include "run/romdocs.h"

#include <cctype>
#include <cstdio>

namespace run {

std::string namedRegisters(const std::string &text, const Machine &m) {
    static const struct {
        const char *name;
        Reg reg;
        int shift; // 8: the high byte, 0: the low byte, -1: the pair
    } kRegs[] = {{"HL", Reg::HL, -1}, {"DE", Reg::DE, -1}, {"BC", Reg::BC, -1}, {"IX", Reg::IX, -1},
                 {"IY", Reg::IY, -1}, {"A", Reg::AF, 8},   {"B", Reg::BC, 8},   {"C", Reg::BC, 0},
                 {"D", Reg::DE, 8},   {"E", Reg::DE, 0},   {"H", Reg::HL, 8},   {"L", Reg::HL, 0}};
    std::string out;
    for (const auto &r : kRegs) {
        // A whole word of capitals: "HL = string", "A, B", not the A of "All".
        const std::string name = r.name;
        bool named = false;
        for (std::size_t at = text.find(name); at != std::string::npos && !named;
             at = text.find(name, at + 1)) {
            const bool before = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
            const std::size_t end = at + name.size();
            const bool after =
                end >= text.size() || !std::isalnum(static_cast<unsigned char>(text[end]));
            named = before && after;
        }
        if (!named)
            continue;
        const std::uint16_t v = m.reg(r.reg);
        char value[16];
        if (r.shift < 0)
            std::snprintf(value, sizeof value, "=%04X", v);
        else
            std::snprintf(value, sizeof value, "=%02X", (v >> r.shift) & 0xFF);
        out += (out.empty() ? "" : " ") + name + value;
    }
    return out;
}

void OsCallLog::paused(const Machine &m) {
    if (m_open && m.reg(Reg::PC) >= 0x8000) {
        m_calls.back().outputs = namedRegisters(m_outputNames, m);
        m_open = false;
    }
}

void OsCallLog::before(const Machine &m) {
    if (m_open) {
        m_calls.back().outputs = namedRegisters(m_outputNames, m);
        m_open = false;
    }
    const std::uint16_t pc = m.reg(Reg::PC);
    if (pc < 0x8000 || m.read(pc) != 0xEF) // rst 28h: a bcall
        return;
    static const RomNames names;
    const std::uint16_t address = m.readWord(std::uint16_t(pc + 1));
    OsCallRecord r;
    r.name = names.nameOf(address);
    if (r.name.empty()) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04Xh", address);
        r.name = hex;
    }
    r.from = pc;
    const RomCallDoc *doc = romCallDoc(r.name);
    r.inputs = doc ? namedRegisters(doc->inputs, m) : std::string();
    m_outputNames = doc ? doc->outputs : std::string();
    m_calls.push_back(std::move(r));
    if (m_calls.size() > kKept)
        m_calls.pop_front();
    m_open = true;
    ++m_count;
}

} // namespace run
