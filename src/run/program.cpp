#include "run/program.h"

#include <cstdio>
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

// The description a shell lists the program by: for Ion after `ret / jr`,
// for MirageOS after `ret / .db 1` and the 15x15 icon (30 bytes), for Doors CS
// where the word after `xor d / ret / jr` points (0 for none).
std::string descriptionOf(const std::vector<std::uint8_t> &c, const std::string &shell) {
    std::size_t at = shell == "Ion" ? 3 : shell == "MirageOS" ? 2 + 30 : 0;
    if (shell == "Doors CS" && c.size() >= 6) {
        const std::size_t pointer = std::size_t(c[4] | c[5] << 8);
        at = pointer > 0x9D95 && pointer - 0x9D95 < c.size() ? pointer - 0x9D95 : 0;
    }
    std::string text;
    for (std::size_t i = at; at && i < c.size() && c[i] && text.size() < 64; ++i)
        text += c[i] >= 0x20 && c[i] < 0x7F ? char(c[i]) : '?';
    return text;
}

// Rows of two bytes each, high byte first, as both shells store them.
std::vector<std::uint16_t> iconOf(const std::vector<std::uint8_t> &c, const std::string &shell,
                                  int *width) {
    std::size_t at = 0, rows = 0;
    if (shell == "MirageOS")
        at = 2, rows = 15, *width = 15;
    if (shell == "Doors CS" && c.size() >= 10) {
        const std::size_t pointer = std::size_t(c[8] | c[9] << 8);
        if (pointer > 0x9D95 && pointer - 0x9D95 < c.size())
            at = pointer - 0x9D95, rows = 16, *width = 16;
    }
    std::vector<std::uint16_t> icon;
    if (!rows || at + rows * 2 > c.size()) {
        *width = 0;
        return icon;
    }
    for (std::size_t r = 0; r < rows; ++r)
        icon.push_back(std::uint16_t(c[at + 2 * r] << 8 | c[at + 2 * r + 1]));
    return icon;
}

std::size_t le16(const std::vector<std::uint8_t> &f, std::size_t at) {
    return std::size_t(f[at] | f[at + 1] << 8);
}

// The file's layout (TI's link guide, the .8xp format): a 55-byte header,
// then the variable entry: its header's length (a word), the entry header
// (data length, type, 8-byte name, and on later files version and flag
// bytes), the data's length again, the data; then a checksum, the low 16
// bits of the sum of every byte from the entry on.
constexpr std::size_t kEntry = 55, kEntryHeader = 11;

} // namespace

Program readProgram(const std::vector<std::uint8_t> &f) {
    return readProgram(f, ReadOptions{});
}

Program readProgram(const std::vector<std::uint8_t> &f, const ReadOptions &options) {
    Program p;
    if (f.size() >= 8 && std::memcmp(f.data(), "**TIFL**", 8) == 0)
        return readApplication(f);
    static const char sig[] = "**TI83F*\x1A\x0A";
    if (f.size() < 10 || std::memcmp(f.data(), sig, 10) != 0) {
        p.error = "not a TI-83 Plus program file";
        return p;
    }
    if (f.size() > kMaxProgramFileBytes) {
        p.error = "the file has " + std::to_string(f.size()) +
                  " bytes, more than a program file can have (" +
                  std::to_string(kMaxProgramFileBytes) + ")";
        return p;
    }
    // Everything up to the data's length word must be there before it is read.
    if (f.size() < kEntry + 2 + kEntryHeader + 2 + 2) {
        p.error = "the program file is cut short: " + std::to_string(f.size()) +
                  " bytes, too few for its header";
        return p;
    }
    const std::size_t headerLength = le16(f, kEntry);
    const std::size_t dataLength = le16(f, kEntry + 2);
    const std::uint8_t type = f[kEntry + 4];
    const std::size_t data = kEntry + 2 + headerLength + 2;
    if (headerLength < kEntryHeader || data + dataLength + 2 > f.size() || dataLength < 2) {
        p.error = "the program file is cut short";
        return p;
    }
    for (std::size_t i = 0; i < 8 && f[kEntry + 5 + i]; ++i)
        p.name += char(f[kEntry + 5 + i]);
    if (type != 0x05 && type != 0x06) {
        p.error = "the file holds no program";
        return p;
    }
    const std::size_t sumAt = data + dataLength;
    std::uint32_t sum = 0;
    for (std::size_t i = kEntry; i < sumAt; ++i)
        sum += f[i];
    if ((sum & 0xFFFF) != le16(f, sumAt)) {
        p.checksumWrong = true;
        if (!options.ignoreChecksum) {
            char b[160];
            std::snprintf(b, sizeof b,
                          "the file's checksum is %04Xh where its bytes add up to %04Xh: the "
                          "file is damaged (it can be run anyway when asked to ignore the "
                          "checksum)",
                          unsigned(le16(f, sumAt)), unsigned(sum & 0xFFFF));
            p.error = b;
            return p;
        }
    }
    const std::size_t size = le16(f, data);
    const std::size_t start = data + 2;
    if (start + size > sumAt) {
        p.error = "the program file is cut short";
        return p;
    }
    if (size > kMaxProgramBytes) {
        p.error = "the program has " + std::to_string(size) +
                  " bytes, more than the calculator can run (" + std::to_string(kMaxProgramBytes) +
                  " bytes: Asm( needs it in memory twice)";
        return p;
    }
    if (size < 2 || f[start] != 0xBB || f[start + 1] != 0x6D) {
        // A few stray bytes before the header (a doubled or mistaken .db) still
        // leave a program the calculator takes for TI-BASIC; say what it is.
        std::size_t at = 0;
        for (std::size_t i = 1; i + 1 < size && i <= 8 && !at; ++i)
            if (f[start + i] == 0xBB && f[start + i + 1] == 0x6D)
                at = i;
        if (size >= 2 && f[start] == 0xBB && f[start + 1] == 0x6C)
            p.error = "the program is machine code written as hexadecimal text (AsmPrgm), "
                      "which only the calculator reads";
        else if (at) {
            const std::vector<std::uint8_t> rest(f.begin() + long(start + at + 2),
                                                 f.begin() + long(start + size));
            const std::string shell = shellOf(rest);
            p.error = "the assembly program's BB 6D comes after " + std::to_string(at) +
                      " stray byte" + (at > 1 ? "s" : "") +
                      ", so the calculator takes the program for TI-BASIC" +
                      (shell.empty() ? std::string() : " (it is written for " + shell + ")") +
                      "; the source has bytes before its header";
        } else
            p.error = "the program is a TI-BASIC program, not an assembly program";
        return p;
    }
    p.code.assign(f.begin() + long(start + 2), f.begin() + long(start + size));
    p.shell = shellOf(p.code);
    p.description = descriptionOf(p.code, p.shell);
    p.icon = iconOf(p.code, p.shell, &p.iconWidth);
    return p;
}

} // namespace run
