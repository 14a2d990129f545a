#include "run/program.h"

#include <cstring>

namespace run {

namespace {

std::string shellOf(const std::vector<std::uint8_t> &c) {
    if (c.size() >= 3 && c[0] == 0xAA && c[1] == 0xC9)
        return "Doors CS";
    if (c.size() >= 2 && c[0] == 0xC9 && c[1] == 0x01)
        return "MirageOS";
    if (c.size() >= 2 && c[0] == 0xC9 && (c[1] == 0x30 || c[1] == 0x18))
        return "Ion";
    return {};
}

} // namespace

Program readProgram(const std::vector<std::uint8_t> &f) {
    Program p;
    static const char sig[] = "**TI83F*\x1A\x0A";
    if (f.size() < 57 || std::memcmp(f.data(), sig, 10) != 0) {
        p.error = "not a TI-83 Plus program file";
        return p;
    }
    // The first variable entry: its header length, then the data's length.
    const std::size_t entry = 55;
    const std::size_t headerLength = f[entry] | f[entry + 1] << 8;
    const std::size_t dataLength = f[entry + 2] | f[entry + 3] << 8;
    const std::uint8_t type = f[entry + 4];
    const std::size_t data = entry + 2 + headerLength + 2;
    if (headerLength < 11 || data + dataLength > f.size() || dataLength < 2) {
        p.error = "the program file is cut short";
        return p;
    }
    for (int i = 0; i < 8 && f[entry + 5 + i]; ++i)
        p.name += char(f[entry + 5 + i]);
    if (type != 0x05 && type != 0x06) {
        p.error = "the file holds no program";
        return p;
    }
    const std::size_t size = f[data] | f[data + 1] << 8;
    const std::size_t start = data + 2;
    if (start + size > f.size()) {
        p.error = "the program file is cut short";
        return p;
    }
    if (size < 2 || f[start] != 0xBB || f[start + 1] != 0x6D) {
        p.error = size >= 2 && f[start] == 0xBB && f[start + 1] == 0x6C
                      ? "the program is machine code written as hexadecimal text (AsmPrgm), "
                        "which only the calculator reads"
                      : "the program is a TI-BASIC program, not an assembly program";
        return p;
    }
    p.code.assign(f.begin() + long(start + 2), f.begin() + long(start + size));
    p.shell = shellOf(p.code);
    return p;
}

} // namespace run
