#pragma once
// The machine's registers and flags by the names tests and checks use, and
// expressions computed with them and the program's labels.

#include "check/program.h"
#include "run/machine.h"

#include <cstdint>
#include <optional>
#include <string>

namespace check {

// The register or flag's value; nothing for another name.
std::optional<std::uint16_t> readRegister(const run::Machine &m, const std::string &lowerName);
void writeRegister(run::Machine &m, const std::string &lowerName, std::uint16_t value);
// 8, 16, or 1 for a flag.
int widthOf(const std::string &lowerName);
// "AF=A555h BC=... SP=FFF8h PC=9D9Ah"
std::string registersText(const run::Machine &m);
// "0Fh (15)" or "000Fh (15)"
std::string shown(std::int64_t value, int width);

// The value with the program's labels, and the registers when `machine` is given.
std::optional<std::int64_t> valueOf(const Expression &e, const Program &program,
                                    const run::Machine *machine, std::string *error);
// The registers and labels an expression names, with their values: "hl=0120h, max=100".
std::string namesIn(const Expression &e, const Program &program, const run::Machine &machine);

} // namespace check
