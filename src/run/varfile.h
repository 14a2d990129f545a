#pragma once
// Variable files as the link software writes them (.8xp, .8xv, .8xl, .8xs,
// .8xn, .8xm... : TI's link guide, the TI-83 Plus file format): the 55-byte
// header, then one entry after another (its header's length, the data's
// length, the type, an 8-byte name, on later files a version and a flag
// byte, the data's length again, the data), then a checksum. The data is the
// variable's bytes as the calculator keeps them, ready to go into memory.

#include <cstdint>
#include <string>
#include <vector>

namespace run {

struct Variable {
    std::uint8_t type = 0;
    std::string name; // up to 8 bytes, as the calculator spells it
    std::vector<std::uint8_t> data;
};

struct VariableFile {
    std::vector<Variable> variables;
    std::string error; // why the file cannot be sent; empty when it can
};

// Reads every entry; a damaged or cut-short file is refused whole, before
// anything past its end is read.
VariableFile readVariables(const std::vector<std::uint8_t> &file);

} // namespace run
