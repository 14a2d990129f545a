#include "run/debugger.h"

#include "run/hex.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace run {

namespace {

constexpr std::uint16_t kIyFlags = 0x89F0;

std::string hex2(std::uint8_t v) {
    char b[4];
    std::snprintf(b, sizeof b, "%02Xh", v);
    return b;
}

// SP `a` lies deeper in the stack than SP `b` by this many bytes (wrapping).
int deeper(std::uint16_t a, std::uint16_t b) {
    return std::int16_t(std::uint16_t(b - a));
}

std::uint16_t peekWord(const Machine &m, std::uint16_t a) {
    return std::uint16_t(m.peek(a) | m.peek(std::uint16_t(a + 1)) << 8);
}

// Condition cc (bits 3-5 of the opcode) on flags f: NZ Z NC C PO PE P M.
bool holds(int cc, std::uint8_t f) {
    static const std::uint8_t bit[4] = {0x40, 0x01, 0x04, 0x80};
    const bool set = f & bit[cc >> 1];
    return (cc & 1) ? set : !set;
}

bool isRet(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.peek(pc);
    if (op == 0xC9)
        return true;
    if ((op & 0xC7) == 0xC0)
        return holds(op >> 3 & 7, std::uint8_t(m.reg(Reg::AF)));
    return op == 0xED && (m.peek(std::uint16_t(pc + 1)) & 0xC7) == 0x45;
}

// Where a call or rst at `pc` goes, when it is one and its condition holds.
std::optional<std::uint16_t> callTarget(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.peek(pc);
    if ((op & 0xC7) == 0xC7)
        return std::uint16_t(op & 0x38);
    if (op == 0xCD || ((op & 0xC7) == 0xC4 && holds(op >> 3 & 7, std::uint8_t(m.reg(Reg::AF)))))
        return peekWord(m, std::uint16_t(pc + 1));
    return std::nullopt;
}

// Opcodes that may call or return (call, rst, ret, and ED's retn/reti): the
// checks look closer at these.
const std::bitset<256> kCallsOrReturns = [] {
    std::bitset<256> b;
    for (int op = 0; op < 256; ++op)
        b[std::size_t(op)] = op == 0xCD || op == 0xC9 || op == 0xED || (op & 0xC7) == 0xC4 ||
                             (op & 0xC7) == 0xC7 || (op & 0xC7) == 0xC0;
    return b;
}();

// The instructions a run stops before, to look at them as they run: calls,
// rsts and returns, and those that set SP or move it without writing the
// stack (ld sp, inc sp, dec sp); with calls not yet returned, pops too, which
// may take a return address off. The checks, the call stack and the steps
// out see every one of these; the rest run on by themselves.
struct FrameOps {
    std::bitset<256> first, afterEd, afterIndex;
};
FrameOps frameOps(bool pops) {
    FrameOps o;
    for (int op = 0; op < 256; ++op)
        o.first[std::size_t(op)] = op == 0xCD || op == 0xC9 || (op & 0xC7) == 0xC4 ||
                                   (op & 0xC7) == 0xC7 || (op & 0xC7) == 0xC0 || op == 0x31 ||
                                   op == 0x33 || op == 0x3B || op == 0xF9 || op == 0xED ||
                                   op == 0xDD || op == 0xFD || (pops && (op & 0xCF) == 0xC1);
    for (int op = 0x45; op < 0x80; op += 8)
        o.afterEd[std::size_t(op)] = true; // retn, reti
    o.afterEd[0x7B] = true;                // ld sp,(nn)
    o.afterIndex[0xF9] = true;             // ld sp,ix
    o.afterIndex[0xE1] = pops;             // pop ix
    return o;
}
const FrameOps kFrameOps = frameOps(false), kFrameOpsAndPops = frameOps(true);

bool isFrameOp(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.peek(pc);
    if (!kFrameOpsAndPops.first[op])
        return false;
    if (op == 0xED)
        return kFrameOpsAndPops.afterEd[m.peek(std::uint16_t(pc + 1))];
    if (op == 0xDD || op == 0xFD)
        return kFrameOpsAndPops.afterIndex[m.peek(std::uint16_t(pc + 1))];
    return true;
}

std::array<std::uint16_t, 8> registers(const Machine &m) {
    std::array<std::uint16_t, 8> r{};
    for (int i = 0; i < 8; ++i)
        r[std::size_t(i)] = m.reg(Reg(i));
    return r;
}

// The length of an instruction a step over runs to its end: a call, an rst,
// djnz and the repeating block instructions; 0 for the rest.
int overLength(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.peek(pc);
    if (op == 0xCD || (op & 0xC7) == 0xC4)
        return 3;
    if ((op & 0xC7) == 0xC7)
        return op == 0xEF ? 3 : 1; // rst 28h is a bcall: the call's address follows
    if (op == 0x10)
        return 2;
    if (op == 0xED && (m.peek(std::uint16_t(pc + 1)) & 0xF4) == 0xB0)
        return 2; // ldir lddr cpir cpdr inir indr otir otdr
    return 0;
}

} // namespace

const char *checkName(Check c) {
    switch (c) {
    case Check::Frame:
    case Check::StackInCode:
        return "SP";
    case Check::Iy:
        return "IY";
    case Check::Interrupts:
        return "DI";
    case Check::Return:
        return "RET";
    }
    return "";
}

Debugger::Debugger(Session &session, std::size_t programSize, HistoryLimits limits)
    : m_session(session), m_codeStart(Machine::kUserMem),
      m_codeEnd(std::uint16_t(Machine::kUserMem + std::min<std::size_t>(programSize, 0x6000))),
      m_startSp(session.machine().reg(Reg::SP)), m_limits(limits), m_refused(session.refused()) {
    Machine &m = machine();
    m.watchWrites(nullptr); // a debugger before this one may have watched
    m.watchReads(nullptr);
    // A push that takes SP into the program's bytes stops a run for the check.
    m.guardStack(std::uint16_t(m_codeStart - 1), std::uint16_t(m_codeEnd + 1));
    if (!ended() && m.restorable())
        remember();
}

bool Debugger::ended() const {
    return m_refused || m_session.machine().stopped().has_value();
}

void Debugger::watchWrites(std::uint16_t address, bool on, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        const std::uint16_t a = std::uint16_t(address + i);
        if (m_watched[a] != on) {
            m_watched[a] = on;
            m_watchCount += on ? 1 : std::size_t(-1);
        }
    }
    machine().watchWrites(m_watchCount ? &m_watched : nullptr);
}

void Debugger::watchReads(std::uint16_t address, bool on, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        const std::uint16_t a = std::uint16_t(address + i);
        if (m_readWatched[a] != on) {
            m_readWatched[a] = on;
            m_readWatchCount += on ? 1 : std::size_t(-1);
        }
    }
    machine().watchReads(m_readWatchCount ? &m_readWatched : nullptr);
}

std::string logText(const std::string &message, const Machine &m) {
    static const struct {
        const char *name;
        Reg reg;
        int shift; // 8: the high byte, 0: the low byte, -1: the pair
    } kNames[] = {
        {"a", Reg::AF, 8},   {"f", Reg::AF, 0},   {"b", Reg::BC, 8},   {"c", Reg::BC, 0},
        {"d", Reg::DE, 8},   {"e", Reg::DE, 0},   {"h", Reg::HL, 8},   {"l", Reg::HL, 0},
        {"af", Reg::AF, -1}, {"bc", Reg::BC, -1}, {"de", Reg::DE, -1}, {"hl", Reg::HL, -1},
        {"ix", Reg::IX, -1}, {"iy", Reg::IY, -1}, {"sp", Reg::SP, -1}, {"pc", Reg::PC, -1}};
    auto value = [&m](std::string name) -> std::optional<std::string> {
        for (char &c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const bool byteAt = name.size() > 2 && name.front() == '(' && name.back() == ')';
        if (byteAt)
            name = name.substr(1, name.size() - 2);
        for (const auto &n : kNames)
            if (name == n.name) {
                const std::uint16_t v = m.reg(n.reg);
                if (byteAt)
                    return n.shift < 0 ? std::optional<std::string>(hex2(m.peek(v))) : std::nullopt;
                return n.shift < 0 ? hex4(v) : hex2(std::uint8_t(v >> n.shift));
            }
        return std::nullopt;
    };
    std::string out;
    for (std::size_t i = 0; i < message.size();) {
        const std::size_t close = message[i] == '{' ? message.find('}', i) : std::string::npos;
        if (close != std::string::npos && close - i <= 8)
            if (const auto v = value(message.substr(i + 1, close - i - 1))) {
                out += *v;
                i = close + 1;
                continue;
            }
        out += message[i++];
    }
    return out;
}

void Debugger::setBreakpoint(std::uint16_t address, Breakpoint b) {
    m_breaks.set(address);
    m_stopAt.set(address);
    m_breakpoints[address] = std::move(b);
}

void Debugger::clearBreakpoint(std::uint16_t address) {
    m_breaks.reset(address);
    m_stopAt.reset(address);
    m_breakpoints.erase(address);
}

const Breakpoint *Debugger::breakpoint(std::uint16_t address) const {
    const auto it = m_breakpoints.find(address);
    return it == m_breakpoints.end() ? nullptr : &it->second;
}

void Debugger::key(int code, bool down) {
    Machine &m = machine();
    // A new key makes a new future: what was recorded after now is gone.
    while (!m_keys.empty() && m_keys.back().cycles > m.cycles())
        m_keys.pop_back();
    while (!m_history.empty() && m_history.back().machine.cycles > m.cycles())
        dropNewest();
    m_nextSnapshot = m_history.empty() ? 0 : m_history.back().machine.cycles + m_limits.every;
    m_keys.push_back({m.cycles(), code, down});
    m_keyNext = m_keys.size();
    if (down)
        m.keypad().press(code);
    else
        m.keypad().release(code);
}

void Debugger::changedByHand() {
    if (m_limits.bytes == 0)
        return;
    if (machine().restorable()) {
        remember();
        return;
    }
    m_history.clear(); // no replay could reach the machine as changed
    m_historyBytes = 0;
}

void Debugger::remember() {
    if (m_limits.bytes == 0) {
        m_nextSnapshot = UINT64_MAX; // no history wanted
        return;
    }
    Snapshot s{machine().instructions(), {}, m_session.os().state(), m_frames, {}};
    machine().save(s.machine);
    s.ram = SharedRam(s.machine.ram, m_history.empty() ? nullptr : &m_history.back().ram);
    std::vector<std::uint8_t>().swap(s.machine.ram);
    m_historyBytes += s.machine.bytes() + s.ram.fresh();
    m_history.push_back(std::move(s));
    const std::uint64_t now = machine().cycles();
    m_nextSnapshot = now + m_limits.every;
    // Keep the span: the oldest kept snapshot is the last one before it.
    while (m_history.size() > 1 && m_history[1].machine.cycles + m_limits.span <= now)
        dropOldest();
    while (m_history.size() > 1 && m_historyBytes > m_limits.bytes)
        dropOldest();
    const std::uint64_t oldest = m_history.front().machine.cycles;
    std::size_t stale = 0;
    while (stale < m_keys.size() && stale < m_keyNext && m_keys[stale].cycles < oldest)
        ++stale;
    m_keys.erase(m_keys.begin(), m_keys.begin() + std::ptrdiff_t(stale));
    m_keyNext -= stale;
}

// What a snapshot gives back is what it holds alone: pieces of RAM it
// shares with its neighbour stay with that one.
void Debugger::dropOldest() {
    m_historyBytes -= m_history.front().machine.bytes() + m_history.front().ram.own();
    m_history.pop_front();
}

void Debugger::dropNewest() {
    m_historyBytes -= m_history.back().machine.bytes() + m_history.back().ram.own();
    m_history.pop_back();
}

void Debugger::restore(const Snapshot &s) {
    Machine &m = machine();
    MachineState state = s.machine;
    state.ram = s.ram.bytes();
    m.restore(state);
    m_session.os().setState(s.os);
    m_frames = s.frames;
    m_midCall.reset();
    m_midFrames = m_midOsCall = m_lastWasRet = false;
    m_keyNext = 0;
    while (m_keyNext < m_keys.size() && m_keys[m_keyNext].cycles < s.machine.cycles)
        ++m_keyNext;
    m_nextSnapshot = s.machine.cycles + m_limits.every;
}

void Debugger::dropHistoryAfter(std::uint64_t position) {
    while (!m_history.empty() && m_history.back().position > position)
        dropNewest();
    while (!m_osCalls.empty() && m_osCalls.back().position >= position)
        m_osCalls.pop_back();
}

Debugger::Ran Debugger::runOn(std::uint64_t limit, Machine::Stops stops) {
    Machine &m = machine();
    const bool snapshots = !m_replaying && !stops.every;
    for (;;) {
        while (m_keyNext < m_keys.size() && m_keys[m_keyNext].cycles <= m.cycles()) {
            const KeyEvent &k = m_keys[m_keyNext++];
            if (k.down)
                m.keypad().press(k.code);
            else
                m.keypad().release(k.code);
        }
        std::uint64_t until = limit;
        if (m_keyNext < m_keys.size())
            until = std::min(until, m_keys[m_keyNext].cycles);
        if (snapshots)
            until = std::min(until, m_nextSnapshot);
        if (m.runUntil(until, stops))
            return Ran::Stopped;
        if (ended())
            return Ran::Ended;
        if (m.cycles() >= limit)
            return Ran::Limit;
        if (snapshots && m.cycles() >= m_nextSnapshot)
            return Ran::Stopped; // perhaps inside an instruction: instruction() ends it
    }
}

Machine::Stops Debugger::stopsForRun(bool breakpoints) const {
    const FrameOps &ops = m_frames.empty() ? kFrameOps : kFrameOpsAndPops;
    Machine::Stops s;
    s.opcodes = &ops.first;
    s.afterEd = &ops.afterEd;
    s.afterIndex = &ops.afterIndex;
    if (breakpoints)
        s.at = &m_stopAt;
    return s;
}

bool Debugger::needsLook(std::uint16_t pc) const {
    const Machine &m = m_session.machine();
    if (!m_replaying && (m_trace || m.cycles() >= m_nextSnapshot))
        return true;
    const FrameOps &ops = m_frames.empty() ? kFrameOps : kFrameOpsAndPops;
    const std::uint8_t op = m.peek(pc);
    if (!ops.first[op])
        return false;
    if (op == 0xED)
        return ops.afterEd[m.peek(std::uint16_t(pc + 1))];
    if (op == 0xDD || op == 0xFD)
        return ops.afterIndex[m.peek(std::uint16_t(pc + 1))];
    return true;
}

void Debugger::trimFrames(std::uint16_t sp) {
    while (!m_frames.empty() && deeper(m_frames.back().slot, sp) > 0)
        m_frames.pop_back();
}

bool Debugger::instruction(std::uint64_t limit) {
    Machine &m = machine();
    if (!m.midInstruction()) {
        const std::uint16_t pc = m_midPc = m.reg(Reg::PC);
        m_midSp = m.reg(Reg::SP);
        const bool special = kCallsOrReturns[m.peek(pc)];
        m_lastWasRet = special && isRet(m, pc);
        m_midCall = special ? callTarget(m, pc) : std::nullopt;
        m_midFrames = isFrameOp(m, pc);
        m_midOsCall = !m_replaying && m_midCall && m.answered(*m_midCall);
        if (m_trace && !m_replaying)
            m_trace(m);
        if (m_midOsCall) {
            OsCall c;
            c.position = m.instructions();
            c.from = pc;
            c.address = *m_midCall == 0x28   ? peekWord(m, std::uint16_t(pc + 1))
                        : *m_midCall == 0x50 ? peekWord(m, std::uint16_t(pc + 3))
                                             : *m_midCall;
            c.in = registers(m);
            m_osCalls.push_back(c);
            if (m_osCalls.size() > kOsCallsKept)
                m_osCalls.pop_front();
        }
    }
    Machine::Stops next;
    next.every = true;
    const Ran ran = runOn(limit, next);
    if (m_midOsCall && ran != Ran::Limit) {
        OsCall &c = m_osCalls.back();
        c.out = registers(m);
        c.done = ran == Ran::Stopped;
        if (m_session.os().callFrom() == c.from)
            c.name = m_session.os().callName();
    }
    if (ran != Ran::Stopped)
        return false;
    if (m_midFrames) {
        const std::uint16_t sp = m.reg(Reg::SP);
        trimFrames(sp);
        if (m_midCall && !m.answered(*m_midCall) && sp == std::uint16_t(m_midSp - 2) &&
            m.reg(Reg::PC) == *m_midCall && m_frames.size() < 0x8000)
            m_frames.push_back({sp, m_midPc, *m_midCall});
    }
    m_midCall.reset();
    m_midFrames = m_midOsCall = false;
    if (!m_replaying && m.cycles() >= m_nextSnapshot && m.restorable())
        remember();
    return true;
}

std::optional<Pause> Debugger::checkBefore(std::uint16_t pc, std::uint16_t sp) {
    const Machine &m = machine();
    auto fault = [&](Check c, const std::string &text) -> std::optional<Pause> {
        if (!m_checks[std::size_t(c)])
            return std::nullopt;
        return Pause{Pause::Why::Check, pc, std::string(checkName(c)) + ": " + text};
    };
    if (sp > m_codeStart - 2 && sp < m_codeEnd)
        if (auto p = fault(Check::StackInCode,
                           "the stack has grown into the program's own bytes (SP is " + hex4(sp) +
                               " after the instruction at " + hex4(m.lastInstructionAt()) + ")"))
            return p;
    if (!kCallsOrReturns[m.peek(pc)])
        return std::nullopt;
    const auto call = callTarget(m, pc);
    if (call && *call < 0x8000 && m.reg(Reg::IY) != kIyFlags)
        if (auto p = fault(Check::Iy, "an OS call at " + hex4(pc) + " with IY at " +
                                          hex4(m.reg(Reg::IY)) +
                                          "; the OS finds its flags through IY = 89F0h"))
            return p;
    // A ret deeper than the last call's return address pops something a
    // push left (an interrupt of the program's own, in IM 2, pushes too).
    // A pushed address of the program's own code is a jump, not a fault:
    // `ld hl,routine \ push hl \ ret` is how programs dispatch through tables.
    const std::uint16_t top = peekWord(m, sp);
    const bool jumpIntoProgram = top >= m_codeStart && top < m_codeEnd;
    // The end of a routine an application called on another of its pages:
    // the OS pushed its way back (the caller's page under it), not a push
    // of the program's, and the OS takes it back off.
    if (isRet(m, pc) && top == Os::kPageBack)
        return std::nullopt;
    if (!m_frames.empty() && deeper(sp, m_frames.back().slot) > 0 && m.interruptMode() != 2 &&
        isRet(m, pc) && m.peek(pc) != 0xED && !jumpIntoProgram)
        if (auto p = fault(Check::Return, "a ret at " + hex4(pc) + " to " + hex4(top) +
                                              ", which no call pushed: the stack holds " +
                                              std::to_string(deeper(sp, m_frames.back().slot)) +
                                              " bytes more than when the routine was called"))
            return p;
    if (isRet(m, pc) && (m_frames.empty() || deeper(sp, m_startSp) < 0)) {
        const int depth = deeper(sp, m_startSp);
        if (depth < 0 || (depth > 0 && m.interruptMode() != 2 && !jumpIntoProgram)) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "the program returns at %s with SP at %s, %d bytes %s where it "
                          "started (%s)",
                          hex4(pc).c_str(), hex4(sp).c_str(), depth < 0 ? -depth : depth,
                          depth < 0 ? "above" : "below", hex4(m_startSp).c_str());
            if (auto p = fault(Check::Frame, text))
                return p;
        } else if (depth == 0 && !m.interruptsEnabled()) {
            if (auto p = fault(Check::Interrupts,
                               "the program returns at " + hex4(pc) + " with interrupts disabled"))
                return p;
        }
    }
    return std::nullopt;
}

bool Debugger::breakHere(std::uint16_t pc) {
    if (!m_breaks[pc])
        return false;
    Breakpoint &b = m_breakpoints[pc];
    if (b.condition && !b.condition(machine()))
        return false;
    ++b.hits;
    if (!b.log.empty()) {
        if (m_log && b.hits >= std::max<std::uint32_t>(1, b.hitCount))
            m_log(logText(b.log, machine()));
        return false;
    }
    return b.hits >= std::max<std::uint32_t>(1, b.hitCount);
}

bool Debugger::wouldBreak(std::uint16_t pc) const {
    if (!m_breaks[pc])
        return false;
    const Breakpoint *b = breakpoint(pc);
    return b && b->log.empty() && (!b->condition || b->condition(m_session.machine()));
}

std::optional<Pause> Debugger::watchHit() {
    Machine &m = machine();
    const auto written = m.takeWritten();
    const auto read = m.takeRead();
    if (written)
        return Pause{Pause::Why::Written, m.reg(Reg::PC), {}, *written};
    if (read)
        return Pause{Pause::Why::Read, m.reg(Reg::PC), {}, *read};
    return std::nullopt;
}

Pause Debugger::go(Mode mode, std::uint64_t limit, std::uint16_t target) {
    return go(mode, limit, target, machine().reg(Reg::SP));
}

Pause Debugger::resumeStep(std::uint64_t limit) {
    if (!m_pending)
        return run(limit);
    const Pending p = *m_pending;
    return go(p.mode, limit, p.target, p.sp0);
}

Pause Debugger::go(Mode mode, std::uint64_t limit, std::uint16_t target, std::uint16_t sp0) {
    const bool targeted = mode == Mode::To || mode == Mode::Over;
    if (targeted)
        m_stopAt.set(target);
    Pause p = [&]() -> Pause {
        m_pending.reset();
        Machine &m = machine();
        m.takeWritten(); // a write before this run was seen where it happened
        m.takeRead();    // and a read too, or it was a look while paused
        // A breakpoint where the run paused is passed; one before the first
        // run is not yet looked at.
        bool first = !std::exchange(m_unchecked, false);
        for (;;) {
            if (ended())
                return {Pause::Why::Ended, m.reg(Reg::PC), {}};
            if (!m.midInstruction()) {
                const std::uint16_t pc = m.reg(Reg::PC), sp = m.reg(Reg::SP);
                if (!first) {
                    if (auto fault = checkBefore(pc, sp))
                        return *fault;
                    if (mode == Mode::To && pc == target && (!m_toWhere || m_toWhere(m)))
                        return {Pause::Why::Reached, pc, {}};
                    if (m_breaks[pc] && breakHere(pc))
                        return {Pause::Why::Breakpoint, pc, {}};
                }
                first = false;
                if (m.cycles() >= limit)
                    return {Pause::Why::Limit, pc, {}};
                m.takeRead(); // what the checks and conditions read
                if (!needsLook(pc)) {
                    m_midCall.reset();
                    m_midFrames = m_midOsCall = m_lastWasRet = false;
                    const Ran ran = runOn(limit, stopsForRun(true));
                    if (ran == Ran::Ended)
                        continue;
                    if (ran == Ran::Limit)
                        return {Pause::Why::Limit, m.reg(Reg::PC), {}};
                    if (m.midInstruction())
                        continue; // the snapshot's time came inside an instruction
                    if (m.cycles() >= m_nextSnapshot && m.restorable())
                        remember();
                } else if (!instruction(limit)) {
                    continue;
                }
            } else if (!instruction(limit)) {
                if (ended())
                    continue;
                return {Pause::Why::Limit, m.reg(Reg::PC), {}};
            }
            if (auto hit = watchHit())
                return *hit;
            const std::uint16_t pc = m.reg(Reg::PC), sp = m.reg(Reg::SP);
            if ((mode == Mode::Over && pc == target && deeper(sp, sp0) <= 0) ||
                (mode == Mode::Out && m_lastWasRet && deeper(sp, sp0) < 0))
                return {Pause::Why::Step, pc, {}};
        }
    }();
    if (targeted)
        m_stopAt[target] = m_breaks[target];
    if (p.why == Pause::Why::Limit && mode != Mode::Run)
        m_pending = Pending{mode, target, sp0};
    return p;
}

Pause Debugger::run(std::uint64_t limit) {
    return go(Mode::Run, limit);
}

Pause Debugger::stepInto(std::uint64_t limit) {
    m_unchecked = false;
    m_pending.reset();
    if (ended())
        return {Pause::Why::Ended, machine().reg(Reg::PC), {}};
    if (!instruction(limit))
        return {ended() ? Pause::Why::Ended : Pause::Why::Limit, machine().reg(Reg::PC), {}};
    return {Pause::Why::Step, machine().reg(Reg::PC), {}};
}

Pause Debugger::stepOver(std::uint64_t limit) {
    const std::uint16_t pc = machine().reg(Reg::PC);
    const int length = machine().midInstruction() ? 0 : overLength(machine(), pc);
    if (length == 0 || (machine().peek(pc) == 0xEF))
        return stepInto(limit); // a bcall is one instruction already
    return go(Mode::Over, limit, std::uint16_t(pc + length));
}

Pause Debugger::stepOut(std::uint64_t limit) {
    return go(Mode::Out, limit);
}

Pause Debugger::runTo(std::uint16_t address, std::uint64_t limit,
                      std::function<bool(const Machine &)> where) {
    m_toWhere = std::move(where);
    return go(Mode::To, limit, address);
}

void Debugger::replay(std::uint64_t position, std::uint64_t limit, std::optional<Hit> *hits,
                      std::uint64_t hitsBefore) {
    Machine &m = machine();
    m_replaying = true;
    // At the end of each instruction: where a run would have paused.
    auto look = [&] {
        const auto written = m.takeWritten();
        const auto read = m.takeRead();
        const std::uint64_t at = m.instructions();
        if (!hits || at >= hitsBefore)
            return;
        const std::uint16_t pc = m.reg(Reg::PC);
        if (written)
            *hits = Hit{at, Pause::Why::Written, *written};
        else if (read)
            *hits = Hit{at, Pause::Why::Read, *read};
        else if (wouldBreak(pc))
            *hits = Hit{at, Pause::Why::Breakpoint, pc};
        m.takeRead(); // what a condition read
    };
    look();
    while (!ended() && (m.midInstruction() || m.instructions() < position)) {
        if (!m.midInstruction() && !needsLook(m.reg(Reg::PC))) {
            m_midCall.reset();
            m_midFrames = m_midOsCall = m_lastWasRet = false;
            Machine::Stops stops = stopsForRun(hits != nullptr);
            stops.count = position;
            if (runOn(limit, stops) != Ran::Stopped)
                break;
        } else if (!instruction(limit)) {
            break;
        }
        if (!m.midInstruction())
            look();
    }
    m_replaying = false;
}

Pause Debugger::stepBack() {
    m_unchecked = false;
    m_pending.reset();
    Machine &m = machine();
    const bool mid = m.midInstruction();
    const std::uint64_t position = m.instructions();
    if (!mid && position == 0)
        return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
    const std::uint64_t target = mid ? position : position - 1;
    if (m_history.empty() || m_history.front().position > target)
        return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
    const std::uint64_t now = m.cycles();
    dropHistoryAfter(target);
    restore(m_history.back());
    replay(target, now);
    return {Pause::Why::Step, m.reg(Reg::PC), {}};
}

// The snapshots are searched from the latest back: each runs again to the
// next one, noting the last place a run would have paused; the first that
// has one holds the place.
Pause Debugger::stepBackToBreakpoint() {
    m_unchecked = false;
    m_pending.reset();
    Machine &m = machine();
    const std::uint64_t position = m.instructions();
    const std::uint64_t before = m.midInstruction() ? position + 1 : position;
    if (m_history.empty() || m_history.front().position >= before)
        return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
    const std::uint64_t now = m.cycles();
    std::size_t last = 0;
    while (last + 1 < m_history.size() && m_history[last + 1].position < before)
        ++last;
    for (std::size_t i = last + 1; i-- > 0;) {
        const bool latest = i == last;
        const std::uint64_t to = latest ? position : m_history[i + 1].position;
        std::optional<Hit> hit;
        restore(m_history[i]);
        replay(to, now, &hit, latest ? before : to + 1);
        if (hit) {
            restore(m_history[i]);
            replay(hit->position, now);
            dropHistoryAfter(hit->position);
            return {hit->why, m.reg(Reg::PC), {}, hit->address};
        }
    }
    restore(m_history.front());
    dropHistoryAfter(m_history.front().position);
    return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
}

std::vector<Frame> Debugger::callStack() const {
    const Machine &m = m_session.machine();
    const std::uint16_t sp = m.reg(Reg::SP);
    std::vector<Frame> frames;
    for (auto f = m_frames.rbegin(); f != m_frames.rend(); ++f)
        if (deeper(f->slot, sp) <= 0)
            frames.push_back({f->call, f->routine, f->slot, peekWord(m, f->slot)});
    return frames;
}

} // namespace run
