#pragma once
// Names of the OS's calls by the address a `bcall` gives, so that a run that
// stops at a call this runner does not answer can say which one it was. The
// names a program's own include file spells are read from it when given.

#include <cstdint>
#include <map>
#include <string>

namespace run {

class RomNames {
public:
    RomNames();
    // Reads `_Name EQU 4540h` lines (any case, `=` or `.equ` too).
    void addFromInclude(const std::string &text);
    // The name, or an empty string when no name is known.
    std::string nameOf(std::uint16_t address) const;

private:
    std::map<std::uint16_t, std::string> m_names;
};

} // namespace run
