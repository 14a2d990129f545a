#pragma once
// The debugger under the run window and `--run`: breakpoints by address (a
// bit per byte of the 64 KB, a condition and a hit count for each), data
// breakpoints on writes and reads, steps into, over and out, running to an
// address, the checks that stop a program at the instruction at fault, the
// program's call stack and the OS calls it made, and a history for steps
// back: snapshots of the whole machine every few thousand instructions, and
// the keys pressed; a step back restores the snapshot before it and runs
// forward again.
//
// An "instruction" here is one the program runs at its own addresses: a
// bcall, the OS's answer to it and any interrupt the OS takes meanwhile are
// one; a halt ends with the interrupt that wakes it.
//
// Running, the machine goes on by itself between the instructions that need
// a look (Machine::Stops): those at a breakpoint, calls, returns and the
// instructions that move SP by other means than a push; writes and reads of
// watched bytes and a push into the program's bytes stop it too.

#include "run/os.h"
#include "run/session.h"
#include "run/sharedram.h"
#include "run/snapshot.h"

#include <array>
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
        Read,       // a watched address was read (`address`); `pc` is the next instruction
    };
    Why why = Why::Step;
    std::uint16_t pc = 0;
    std::string message;       // for Check: what is wrong, starting with the check's name
    std::uint16_t address = 0; // for Written and Read
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

// A call the program made that has not returned: the innermost first in callStack().
struct Frame {
    std::uint16_t call;     // the call (or rst) instruction's address
    std::uint16_t routine;  // where it went
    std::uint16_t slot;     // where its return address lies on the stack
    std::uint16_t returnTo; // the word there now: where a ret would go
};

// An OS call the program made: a bcall, a bjump, an rst the OS answers, a
// shell's routine, or a call into the OS's page.
struct OsCall {
    std::uint64_t position = 0; // instructions run before it (see Debugger::position())
    std::uint16_t from = 0;     // the calling instruction's address
    std::uint16_t address = 0;  // the call's address: a bcall's word, or where it went
    std::string name;           // the OS's name for it ("_PutS"), empty when none
    std::array<std::uint16_t, 8> in{}, out{}; // AF BC DE HL IX IY SP PC, before and after
    bool done = false;                        // false while it runs, and when the run stopped in it
};

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
    // Stop after an instruction (the program's or an OS call's) writes
    // `address` (`bytes` bytes from it: 2 for a word).
    void watchWrites(std::uint16_t address, bool on, int bytes = 1);
    // Stop after an instruction reads `address` (`bytes` bytes from it): the
    // program's reads of data, and those of an OS call (not its opcode fetches).
    void watchReads(std::uint16_t address, bool on, int bytes = 1);
    bool watchesWrites(std::uint16_t address) const { return m_watched[address]; }
    bool watchesReads(std::uint16_t address) const { return m_readWatched[address]; }
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
    // `where`, when given, must hold too (an application's page mapped at
    // 4000h): the address passed while it does not is run on.
    Pause runTo(std::uint16_t address, std::uint64_t limit,
                std::function<bool(const Machine &)> where = {});
    // A step over or out (or a run-to) that stopped at its limit goes on as it
    // began: to the same place at the same stack depth. Without one, run().
    Pause resumeStep(std::uint64_t limit);
    // One instruction back: the machine as it was before the last one ran.
    Pause stepBack();
    // Back to the last place before now where a breakpoint paused the run
    // or would have (its condition held; log breakpoints do not pause), or a
    // watched byte was written or read: Why::Breakpoint, Written or Read.
    // Hit counts are neither looked at nor changed. With none in the
    // history, the earliest moment kept, and Why::NoHistory.
    Pause stepBackToBreakpoint();

    // The machine was changed by hand while paused (a register or a byte
    // edited): steps back to here or later start from it as changed; steps
    // back to before it are kept where the machine can be saved now.
    void changedByHand();

    // A key from a person: pressed now, and again at this moment on replays.
    void press(int scanCode) { key(scanCode, true); }
    void release(int scanCode) { key(scanCode, false); }

    // The program's calls that have not returned, innermost first.
    std::vector<Frame> callStack() const;
    // The OS calls made, the oldest first; the last `kOsCallsKept` only. A
    // step back takes back those made after where it lands.
    static constexpr std::size_t kOsCallsKept = 4096;
    const std::deque<OsCall> &osCalls() const { return m_osCalls; }

    // Instructions run since the start.
    std::uint64_t position() const { return m_session.machine().instructions(); }
    std::size_t historyBytes() const { return m_historyBytes; }
    std::size_t snapshots() const { return m_history.size(); }
    // Where each call still open put its return address on the stack, the
    // outermost first.
    Machine &machine() { return m_session.machine(); }

private:
    struct CallFrame {
        std::uint16_t slot, call, routine;
    };
    struct Snapshot {
        std::uint64_t position;
        MachineState machine; // its RAM is in `ram`
        OsState os;
        std::vector<CallFrame> frames;
        SharedRam ram;
    };
    struct KeyEvent {
        std::uint64_t cycles;
        int code;
        bool down;
    };
    enum class Mode { Run, Over, Out, To };
    enum class Ran { Stopped, Limit, Ended };
    // Where a breakpoint or watch pause was passed while running again.
    struct Hit {
        std::uint64_t position;
        Pause::Why why;
        std::uint16_t address;
    };

    Pause go(Mode mode, std::uint64_t limit, std::uint16_t target = 0);
    Pause go(Mode mode, std::uint64_t limit, std::uint16_t target, std::uint16_t sp0);
    // Runs the instruction at PC (or the one begun) to its end with the
    // bookkeeping; false when the limit or the run's end came first.
    bool instruction(std::uint64_t limit);
    // Runs on to a stop of `stops`, the limit, the run's end, or the next
    // snapshot's time (Stopped then, maybe inside an instruction); keys
    // recorded for this time are pressed again on the way.
    Ran runOn(std::uint64_t limit, Machine::Stops stops);
    // The stops of a run on: the instructions the bookkeeping needs.
    Machine::Stops stopsForRun(bool breakpoints) const;
    bool needsLook(std::uint16_t pc) const; // the instruction must run by instruction()
    std::optional<Pause> checkBefore(std::uint16_t pc, std::uint16_t sp);
    bool breakHere(std::uint16_t pc);
    bool wouldBreak(std::uint16_t pc) const;
    std::optional<Pause> watchHit();
    void trimFrames(std::uint16_t sp);
    void remember();
    void restore(const Snapshot &s);
    // Runs a restored machine to `position` without pausing (nor past the
    // clock's `limit`); with `hits`, notes the last pause a run would have
    // made before `hitsBefore`.
    void replay(std::uint64_t position, std::uint64_t limit, std::optional<Hit> *hits = nullptr,
                std::uint64_t hitsBefore = 0);
    void dropHistoryAfter(std::uint64_t position);
    void dropOldest();
    void dropNewest();
    void key(int code, bool down);
    bool ended() const;

    Session &m_session;
    std::uint16_t m_codeStart, m_codeEnd, m_startSp;
    HistoryLimits m_limits;
    std::bitset<65536> m_breaks;
    std::bitset<65536> m_stopAt; // the breakpoints, and the address a step goes to
    std::unordered_map<std::uint16_t, Breakpoint> m_breakpoints;
    std::array<bool, 5> m_checks{{true, true, true, true, true}};
    std::bitset<65536> m_watched, m_readWatched;
    std::size_t m_watchCount = 0, m_readWatchCount = 0;
    std::function<void(const std::string &)> m_log;
    std::function<void(const Machine &)> m_trace;
    std::vector<CallFrame> m_frames; // each call the program made that has not returned
    std::deque<OsCall> m_osCalls;
    // The instruction begun (by instruction()), till it ends.
    std::uint16_t m_midPc = 0, m_midSp = 0;
    std::optional<std::uint16_t> m_midCall; // where it calls
    bool m_midFrames = false;               // it may move the call stack
    bool m_midOsCall = false;               // an OS call, logged last in m_osCalls
    bool m_lastWasRet = false;
    std::size_t m_keyNext = 0;
    bool m_refused;
    std::uint64_t m_nextSnapshot = 0; // the clock at which the next snapshot is due
    std::deque<Snapshot> m_history;
    std::size_t m_historyBytes = 0;
    std::vector<KeyEvent> m_keys;
    bool m_replaying = false;
    struct Pending {
        Mode mode;
        std::uint16_t target, sp0;
    };
    std::optional<Pending> m_pending; // a step the limit cut short
    bool m_unchecked = true;          // PC's breakpoint is not yet looked at (before the first run)
    // The condition of the run-to under way, besides its address.
    std::function<bool(const Machine &)> m_toWhere;
};

} // namespace run
