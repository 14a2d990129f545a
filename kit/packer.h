#pragma once
// Wraps a binary into a TI-83 Plus protected program file (.8xp).
//
// Layout, little-endian, N = binary size: "**TI83F*", 1A 0A 00, a 42-byte
// comment padded with NUL, the data section's length (N + 19); the data
// section: 0D 00, N + 2, type 06, the name (8 bytes, NUL-padded), version 00,
// flags 00, N + 2 again, N, the N bytes; then the low 16 bits of the sum of the
// data section's bytes. The file is 76 + N bytes.

#include <cstdint>
#include <string>
#include <vector>

struct PackResult {
    std::vector<std::uint8_t> file; // empty when packing failed
    std::string error;
    std::vector<std::string> warnings;
};

// The largest program a variable can hold: its size fields are 16 bits wide.
constexpr std::size_t kMaxProgramSize = 0xFFFF - 19;

// The name the calculator shows for a file name: its letters and digits,
// upper-cased, a 'P' before a first digit, at most 8; "PROGRAM" when none is left.
std::string calculatorName(const std::string &name);

// Packs under calculatorName(name), with a warning when that differs from
// the name upper-cased.
PackResult pack8xp(const std::vector<std::uint8_t> &binary, const std::string &name,
                   const std::string &comment = "Made with Quorvin");
