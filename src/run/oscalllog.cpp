#include "run/oscalllog.h"

#include "run/romcalls.h"
#include "run/romdocs.h"

#include <cctype>
#include <cstdio>

namespace run {

std::string namedRegisters(const std::string &text, const std::array<std::uint16_t, 8> &regs) {
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
        const std::uint16_t v = regs[std::size_t(r.reg)];
        char value[16];
        if (r.shift < 0)
            std::snprintf(value, sizeof value, "=%04X", v);
        else
            std::snprintf(value, sizeof value, "=%02X", (v >> r.shift) & 0xFF);
        out += (out.empty() ? "" : " ") + name + value;
    }
    return out;
}

std::vector<OsCallRecord> describeOsCalls(const std::deque<OsCall> &calls, std::size_t count) {
    static const RomNames names;
    std::vector<OsCallRecord> out;
    const std::size_t first = calls.size() > count ? calls.size() - count : 0;
    for (std::size_t i = first; i < calls.size(); ++i) {
        const OsCall &c = calls[i];
        OsCallRecord r;
        r.name = c.name.empty() ? names.nameOf(c.address) : c.name;
        if (r.name.empty()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04Xh", c.address);
            r.name = hex;
        }
        r.from = c.from;
        if (const RomCallDoc *doc = romCallDoc(r.name)) {
            r.inputs = namedRegisters(doc->inputs, c.in);
            if (c.done)
                r.outputs = namedRegisters(doc->outputs, c.out);
        }
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace run
