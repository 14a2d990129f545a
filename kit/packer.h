#pragma once
// Wraps a binary into a TI-83 Plus protected program file (.8xp).
//
// Layout (TI's link guide), little-endian, N = binary size: "**TI83F*",
// 1A 0A 00, a 42-byte comment padded with NUL, the data section's length
// (N + 19); the data section: 0D 00, N + 2, type 06, the name (8 bytes,
// NUL-padded), version 00, flags 00 (80h: archived), N + 2 again, N, the N
// bytes; then the low 16 bits of the sum of the data section's bytes. The
// file is 76 + N bytes.

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

// Any variable in the same file form: `type` (06h a protected program), its
// name's 8 bytes, the flag 80h when it goes into the archive; `sized` puts
// the data's length before it (programs, strings, pictures, application
// variables), else `data` is the variable's whole data.
PackResult packVariable(const std::vector<std::uint8_t> &data, const std::uint8_t (&name)[8],
                        std::uint8_t type, bool archived, bool sized,
                        const std::string &comment = "Made with Quorvin");

// Packs under calculatorName(name), with a warning when that differs from
// the name upper-cased.
PackResult pack8xp(const std::vector<std::uint8_t> &binary, const std::string &name,
                   const std::string &comment = "Made with Quorvin");
