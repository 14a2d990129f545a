#pragma once
// The OS calls a debugged program made, as the pane lists them: each by name
// with the registers its description names as inputs (before the call) and
// as outputs (after it), and the address of the instruction that made it.
// Made from the debugger's own record of the calls, so watching them costs
// the run nothing.

#include "run/debugger.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace run {

struct OsCallRecord {
    std::string name;    // "_PutS", or the address when the call has no name
    std::uint16_t from;  // the calling instruction's address
    std::string inputs;  // "HL=9DA0"
    std::string outputs; // "HL=9DA5"; empty while the call is under way
};

// The last `count` calls of `calls`, the oldest first.
std::vector<OsCallRecord> describeOsCalls(const std::deque<OsCall> &calls, std::size_t count);

// The registers a description's text names ("HL = string; A = ..."), as
// "HL=9DA0 A=00" with their values in `regs` (AF BC DE HL IX IY SP PC).
std::string namedRegisters(const std::string &text, const std::array<std::uint16_t, 8> &regs);

} // namespace run
