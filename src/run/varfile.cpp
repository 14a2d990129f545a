#include "run/varfile.h"

#include <cstring>

namespace run {

namespace {

std::size_t word(const std::vector<std::uint8_t> &f, std::size_t at) {
    return std::size_t(f[at] | f[at + 1] << 8);
}

constexpr std::size_t kEntries = 55;

} // namespace

VariableFile readVariables(const std::vector<std::uint8_t> &f) {
    VariableFile out;
    static const char sig[] = "**TI83F*\x1A\x0A";
    if (f.size() < kEntries + 2 || std::memcmp(f.data(), sig, 10) != 0) {
        out.error = "not a TI-83 Plus variable file";
        return out;
    }
    // The data section's length (at 53) says where the checksum is.
    const std::size_t end = kEntries + word(f, 53);
    if (end + 2 > f.size()) {
        out.error = "the variable file is cut short";
        return out;
    }
    std::uint32_t sum = 0;
    for (std::size_t i = kEntries; i < end; ++i)
        sum += f[i];
    if ((sum & 0xFFFF) != word(f, end)) {
        out.error = "the variable file's checksum is wrong: the file is damaged";
        return out;
    }
    for (std::size_t at = kEntries; at < end;) {
        // header length, data length, type, name: 13 bytes at least before the data
        if (at + 2 + 11 + 2 > end) {
            out.error = "the variable file's entry at byte " + std::to_string(at) + " is cut short";
            return out;
        }
        const std::size_t headerLength = word(f, at);
        const std::size_t length = word(f, at + 2);
        const std::size_t data = at + 2 + headerLength + 2;
        if (headerLength < 11 || data > end || data + length > end) {
            out.error = "the variable file's entry at byte " + std::to_string(at) + " is cut short";
            return out;
        }
        Variable v;
        v.type = f[at + 4] & 0x1F;
        for (std::size_t i = 0; i < 8 && f[at + 5 + i]; ++i)
            v.name += char(f[at + 5 + i]);
        v.data.assign(f.begin() + long(data), f.begin() + long(data + length));
        out.variables.push_back(std::move(v));
        at = data + length;
    }
    if (out.variables.empty())
        out.error = "the variable file holds no variable";
    return out;
}

} // namespace run
