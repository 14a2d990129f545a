#include "check/machinestate.h"

#include "z80/vocabulary.h"

#include <cctype>
#include <cstdio>
#include <set>

namespace check {

using z80::lower; // names fold as the assembler folds them: ASCII, whatever the locale

namespace {

using run::Reg;

struct Name {
    const char *name;
    Reg reg;
    int shift; // 8: the high byte, 0: the low, -1: the pair, 16+n: bit n of F
};

const Name kNames[] = {
    {"af", Reg::AF, -1}, {"bc", Reg::BC, -1}, {"de", Reg::DE, -1}, {"hl", Reg::HL, -1},
    {"ix", Reg::IX, -1}, {"iy", Reg::IY, -1}, {"sp", Reg::SP, -1}, {"pc", Reg::PC, -1},
    {"a", Reg::AF, 8},   {"f", Reg::AF, 0},   {"b", Reg::BC, 8},   {"c", Reg::BC, 0},
    {"d", Reg::DE, 8},   {"e", Reg::DE, 0},   {"h", Reg::HL, 8},   {"l", Reg::HL, 0},
    {"ixh", Reg::IX, 8}, {"ixl", Reg::IX, 0}, {"iyh", Reg::IY, 8}, {"iyl", Reg::IY, 0},
    {"cf", Reg::AF, 16}, {"nf", Reg::AF, 17}, {"pf", Reg::AF, 18}, {"vf", Reg::AF, 18},
    {"hf", Reg::AF, 20}, {"zf", Reg::AF, 22}, {"sf", Reg::AF, 23}};

const Name *find(const std::string &n) {
    for (const Name &x : kNames)
        if (n == x.name)
            return &x;
    return nullptr;
}

void collect(const z80::Expr &e, std::vector<std::string> *names) {
    if (e.kind == z80::Expr::Kind::Symbol)
        names->push_back(e.name);
    if (e.left)
        collect(*e.left, names);
    if (e.right)
        collect(*e.right, names);
}

} // namespace

std::optional<std::uint16_t> readRegister(const run::Machine &m, const std::string &n) {
    const Name *x = find(n);
    if (!x)
        return std::nullopt;
    const std::uint16_t v = m.reg(x->reg);
    if (x->shift < 0)
        return v;
    if (x->shift >= 16)
        return std::uint16_t(v >> (x->shift - 16) & 1);
    return std::uint16_t(v >> x->shift & 0xFF);
}

void writeRegister(run::Machine &m, const std::string &n, std::uint16_t value) {
    const Name *x = find(n);
    if (!x)
        return;
    const std::uint16_t old = m.reg(x->reg);
    if (x->shift < 0)
        m.setReg(x->reg, value);
    else if (x->shift >= 16)
        m.setReg(x->reg, std::uint16_t((old & ~(1u << (x->shift - 16))) |
                                       ((value & 1u) << (x->shift - 16))));
    else
        m.setReg(x->reg,
                 std::uint16_t((old & ~(0xFFu << x->shift)) | ((value & 0xFFu) << x->shift)));
}

int widthOf(const std::string &n) {
    const Name *x = find(n);
    return !x ? 0 : x->shift < 0 ? 16 : x->shift >= 16 ? 1 : 8;
}

std::string shown(std::int64_t value, int width) {
    char b[48];
    if (width == 1)
        std::snprintf(b, sizeof b, "%d", int(value & 1));
    else if (width == 8)
        std::snprintf(b, sizeof b, "%02Xh (%d)", unsigned(value & 0xFF), int(value & 0xFF));
    else
        std::snprintf(b, sizeof b, "%04Xh (%d)", unsigned(value & 0xFFFF), int(value & 0xFFFF));
    return b;
}

std::string registersText(const run::Machine &m) {
    std::string out;
    for (const char *n : {"af", "bc", "de", "hl", "ix", "iy", "sp", "pc"}) {
        char b[16];
        std::snprintf(b, sizeof b, "%s%c%c=%04Xh", out.empty() ? "" : " ",
                      char(std::toupper(static_cast<unsigned char>(n[0]))),
                      char(std::toupper(static_cast<unsigned char>(n[1]))),
                      unsigned(*readRegister(m, n)));
        out += b;
    }
    return out;
}

std::optional<std::int64_t> valueOf(const Expression &e, const Program &program,
                                    const run::Machine *machine, std::string *error) {
    const z80::Lookup lookup = [&](const std::string &name) -> std::optional<std::int64_t> {
        const std::string n = lower(name);
        if (machine)
            if (const auto r = readRegister(*machine, n))
                return *r;
        return program.label(n);
    };
    return z80::evaluate(*e, lookup, error);
}

std::string namesIn(const Expression &e, const Program &program, const run::Machine &machine) {
    std::vector<std::string> names;
    collect(*e, &names);
    std::set<std::string> seen;
    std::string out;
    for (const std::string &name : names) {
        const std::string n = lower(name);
        if (!seen.insert(n).second)
            continue;
        std::string value;
        if (const auto r = readRegister(machine, n))
            value = shown(*r, widthOf(n));
        else if (const auto l = program.label(n))
            value = shown(*l, 16);
        else
            continue;
        out += (out.empty() ? "" : ", ") + name + "=" + value;
    }
    return out;
}

} // namespace check
