#pragma once
// The debugger under the run window and `--run`: breakpoints by address (a
// bit per byte of the 64 KB, a condition and a hit count for each), steps
// into, over and out, running to an address, the checks that stop a program
// at the instruction at fault, and a history for steps back: snapshots of
// the whole machine every few thousand instructions, and the keys pressed;
// a step back restores the snapshot before it and runs forward again.
//
// An "instruction" here is one the program runs at 8000h or above: a bcall,
// the OS's answer to it and any interrupt the OS takes meanwhile are one.

#include "run/os.h"
#include "run/session.h"
#include "run/snapshot.h"

#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace run {

// The checks that stop a run where a program breaks the calculator's rules.
enum class Check {
    Frame,       // "SP": a return from the program's top level with SP other than at its start
    Iy,          // "IY": an OS call or the OS's interrupt with IY other than 89F0h
    StackInCode, // "SP": the stack grew down into the program's own bytes
    Interrupts,  // "DI": the program returned to the OS with interrupts disabled
    Return,      // "RET": a ret pops a word no call pushed (a push, or the stack out of step)
};
const char *checkName(Check c);

struct Pause {
    enum class Why {
        Step,       // the step asked for is done
        Breakpoint, // at an enabled breakpoint whose condition holds
        Reached,    // at the address of a run-to
        Check,      // a check found a fault at `pc`
        Ended,      // the program returned, or the runner stopped it (see stopped())
        Limit,      // the clock reached the limit given
        NoHistory,  // a step back further than the history reaches
        Written,    // a watched address was written (`address`); `pc` is the next instruction
    };
    Why why = Why::Step;
    std::uint16_t pc = 0;
    std::string message; // for Check: what is wrong, starting with the check's name
    std::uint16_t address = 0; // for Written
};

struct Breakpoint {
    std::function<bool(const Machine &)> condition; // none: always
    std::uint32_t hitCount = 0; // stop from the hitCount-th time it is reached, 0 = first
    std::uint32_t hits = 0;     // times reached with its condition true
    // Not empty: written to the log at each hit instead of stopping, with
    // {A} {HL} ... (any register, in hex) and {(HL)} (the byte a pair points at) filled in.
    std::string log;
};

// A log message with the machine's values filled in.
std::string logText(const std::string &message, const Machine &m);

struct HistoryLimits {
    std::uint64_t every = 50000;                                // T-states between snapshots
    std::uint64_t span = 10 * std::uint64_t(Machine::kClockHz); // keep this much calculator time
    std::size_t bytes = std::size_t(64) << 20;                  // and at most this much memory
};

class Debugger {
public:
    // `programSize` bytes at 9D95h are the program's own (for the stack check).
    Debugger(Session &session, std::size_t programSize, HistoryLimits limits = {});

    void setBreakpoint(std::uint16_t address, Breakpoint b = {});
    void clearBreakpoint(std::uint16_t address);
    bool hasBreakpoint(std::uint16_t address) const { return m_breaks[address]; }
    const Breakpoint *breakpoint(std::uint16_t address) const;
    void setCheck(Check c, bool on) { m_checks[std::size_t(c)] = on; }
    // Stop after an instruction (the program's or an OS call's) writes `address`.
    void watchWrites(std::uint16_t address, bool on);
    // Where log breakpoints write.
    void setLog(std::function<void(const std::string &)> log) { m_log = std::move(log); }
    // Called before each instruction the program runs (not on replays).
    void setTrace(std::function<void(const Machine &)> trace) { m_trace = std::move(trace); }

    // Each runs at least one instruction, then stops at a breakpoint, a
    // check, the end of the program, or when the clock passes `limit` T-states.
    Pause run(std::uint64_t limit);
    Pause stepInto(std::uint64_t limit);
    Pause stepOver(std::uint64_t limit);
    Pause stepOut(std::uint64_t limit);
    Pause runTo(std::uint16_t address, std::uint64_t limit);
    // A step over or out (or a run-to) that stopped at its limit goes on as it
    // began: to the same place at the same stack depth. Without one, run().
    Pause resumeStep(std::uint64_t limit);
    // One instruction back: the machine as it was before the last one ran.
    Pause stepBack();

    // The machine was changed by hand while paused (a register or a byte
    // edited): steps back to here or later start from it as changed; steps
    // back to before it are kept where the machine can be saved now.
    void changedByHand();

    // A key from a person: pressed now, and again at this moment on replays.
    void press(int scanCode) { key(scanCode, true); }
    void release(int scanCode) { key(scanCode, false); }

    // Instructions run since the start.
    std::uint64_t position() const { return m_position; }
    std::size_t historyBytes() const { return m_historyBytes; }
    std::size_t snapshots() const { return m_history.size(); }
    // Where each call still open put its return address on the stack, the
    // outermost first.
    const std::vector<std::uint16_t> &callFrames() const { return m_frames; }
    Machine &machine() { return m_session.machine(); }

private:
    struct Snapshot {
        std::uint64_t position;
        MachineState machine;
        OsState os;
        std::vector<std::uint16_t> frames;
    };
    struct KeyEvent {
        std::uint64_t cycles;
        int code;
        bool down;
    };
    enum class Mode { Run, Over, Out, To };

    Pause go(Mode mode, std::uint64_t limit, std::uint16_t target = 0);
    Pause go(Mode mode, std::uint64_t limit, std::uint16_t target, std::uint16_t sp0);
    // Runs one instruction with the bookkeeping; false when the machine stopped.
    bool instruction(std::uint64_t limit);
    bool instruction(std::uint64_t limit, std::uint16_t pc, std::uint16_t sp);
    std::optional<Pause> checkBefore(std::uint16_t pc, std::uint16_t sp);
    bool breakHere(std::uint16_t pc);
    void remember();
    void key(int code, bool down);
    bool ended() const;

    Session &m_session;
    std::uint16_t m_codeStart, m_codeEnd, m_startSp;
    HistoryLimits m_limits;
    std::bitset<65536> m_breaks;
    std::unordered_map<std::uint16_t, Breakpoint> m_breakpoints;
    std::array<bool, 5> m_checks{{true, true, true, true, true}};
    std::bitset<65536> m_watched;
    std::size_t m_watchCount = 0;
    std::function<void(const std::string &)> m_log;
    std::function<void(const Machine &)> m_trace;
    std::vector<std::uint16_t> m_frames; // where each call the program made put its return
    bool m_mid = false; // paused inside an instruction (an OS call waiting for a key)
    std::uint16_t m_midPc = 0, m_midSp = 0; // where that instruction began
    bool m_midIntoOs = false;               // and whether the OS has run since
    bool m_lastWasRet = false;
    std::size_t m_keyNext = 0;
    std::uint16_t m_pc = 0, m_sp = 0; // as the last instruction left them
    bool m_refused;
    std::uint64_t m_nextSnapshot = 0; // the clock at which the next snapshot is due
    std::uint64_t m_position = 0;
    std::uint16_t m_lastPc = 0;
    std::deque<Snapshot> m_history;
    std::size_t m_historyBytes = 0;
    std::vector<KeyEvent> m_keys;
    bool m_replaying = false;
    struct Pending {
        Mode mode;
        std::uint16_t target, sp0;
    };
    std::optional<Pending> m_pending; // a step the limit cut short
    bool m_unchecked = false; // a limit stopped the run before PC's breakpoint was looked at
};

} // namespace run
