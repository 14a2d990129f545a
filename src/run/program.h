#pragma once
// A calculator program file (.8xp) read for running: the machine code after
// the BB 6D that marks an assembly program, and the shell it was written for
// when its first bytes carry one of the shells' headers.

#include <cstdint>
#include <string>
#include <vector>

namespace run {

struct Program {
    std::string name;
    std::vector<std::uint8_t> code; // what goes to 9D95h
    std::string shell;              // "Ion", "MirageOS", "Doors CS", or empty
    std::string error;              // why the file cannot run; empty when it can
};

Program readProgram(const std::vector<std::uint8_t> &file);

} // namespace run
