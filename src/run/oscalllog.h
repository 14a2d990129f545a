#pragma once
// The OS calls a debugged program made, each by name with the registers its
// description names as inputs (before the call) and as outputs (after it),
// and the address of the bcall that made it. Fed before each instruction the
// program runs; keeps the latest calls only.

#include "run/machine.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace run {

struct OsCallRecord {
    std::string name;    // "_PutS", or the address when the call has no name
    std::uint16_t from;  // the bcall's address
    std::string inputs;  // "HL=9DA0"
    std::string outputs; // "HL=9DA5"; empty until the call is done
};

class OsCallLog {
public:
    static constexpr std::size_t kKept = 500;
    // Before each instruction the program runs: ends the call the last one
    // made, and starts one when this one is a bcall.
    void before(const Machine &m);
    // The calls made, the oldest first; the last may still be under way.
    const std::deque<OsCallRecord> &calls() const { return m_calls; }
    // At a pause: the last call's outputs, when it is done (the program runs again).
    void paused(const Machine &m);
    // Calls made in all, also those no longer kept.
    std::uint64_t count() const { return m_count; }

private:
    std::deque<OsCallRecord> m_calls;
    bool m_open = false; // the last call's outputs are still to be read
    std::string m_outputNames;
    std::uint64_t m_count = 0;
};

// The registers a description's text names ("HL = string; A = ..."), as
// "HL=9DA0 A=00" with their values now.
std::string namedRegisters(const std::string &text, const Machine &m);

} // namespace run
