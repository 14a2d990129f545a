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

// Condition cc (bits 3-5 of the opcode) on flags f: NZ Z NC C PO PE P M.
bool holds(int cc, std::uint8_t f) {
    static const std::uint8_t bit[4] = {0x40, 0x01, 0x04, 0x80};
    const bool set = f & bit[cc >> 1];
    return (cc & 1) ? set : !set;
}

bool isRet(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.read(pc);
    if (op == 0xC9)
        return true;
    if ((op & 0xC7) == 0xC0)
        return holds(op >> 3 & 7, std::uint8_t(m.reg(Reg::AF)));
    return op == 0xED && (m.read(std::uint16_t(pc + 1)) & 0xC7) == 0x45;
}

// Where a call or rst at `pc` goes, when it is one and its condition holds.
std::optional<std::uint16_t> callTarget(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.read(pc);
    if ((op & 0xC7) == 0xC7)
        return std::uint16_t(op & 0x38);
    if (op == 0xCD || ((op & 0xC7) == 0xC4 && holds(op >> 3 & 7, std::uint8_t(m.reg(Reg::AF)))))
        return m.readWord(std::uint16_t(pc + 1));
    return std::nullopt;
}

// Opcodes that may call or return (call, rst, ret, and ED's retn/reti): the
// rest need no closer look on the way.
const std::bitset<256> kCallsOrReturns = [] {
    std::bitset<256> b;
    for (int op = 0; op < 256; ++op)
        b[std::size_t(op)] = op == 0xCD || op == 0xC9 || op == 0xED || (op & 0xC7) == 0xC4 ||
                             (op & 0xC7) == 0xC7 || (op & 0xC7) == 0xC0;
    return b;
}();

// The length of an instruction a step over runs to its end: a call, an rst,
// djnz and the repeating block instructions; 0 for the rest.
int overLength(const Machine &m, std::uint16_t pc) {
    const std::uint8_t op = m.read(pc);
    if (op == 0xCD || (op & 0xC7) == 0xC4)
        return 3;
    if ((op & 0xC7) == 0xC7)
        return op == 0xEF ? 3 : 1; // rst 28h is a bcall: the call's address follows
    if (op == 0x10)
        return 2;
    if (op == 0xED && (m.read(std::uint16_t(pc + 1)) & 0xF4) == 0xB0)
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
    if (!ended() && machine().restorable())
        remember();
}

bool Debugger::ended() const {
    return m_refused || m_session.machine().stopped().has_value();
}

void Debugger::watchWrites(std::uint16_t address, bool on) {
    if (m_watched[address] != on) {
        m_watched[address] = on;
        m_watchCount += on ? 1 : std::size_t(-1);
    }
    machine().watchWrites(m_watchCount ? &m_watched : nullptr);
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
                    return n.shift < 0 ? std::optional<std::string>(hex2(m.read(v))) : std::nullopt;
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
    m_breakpoints[address] = std::move(b);
}

void Debugger::clearBreakpoint(std::uint16_t address) {
    m_breaks.reset(address);
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
    while (!m_history.empty() && m_history.back().machine.cycles > m.cycles()) {
        m_historyBytes -= m_history.back().machine.bytes();
        m_history.pop_back();
    }
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
    if (!m_mid && machine().restorable()) {
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
    Snapshot s{m_position, {}, m_session.os().state(), m_frames};
    machine().save(s.machine);
    m_historyBytes += s.machine.bytes();
    m_history.push_back(std::move(s));
    const std::uint64_t now = machine().cycles();
    m_nextSnapshot = now + m_limits.every;
    auto drop = [this] {
        m_historyBytes -= m_history.front().machine.bytes();
        m_history.pop_front();
    };
    // Keep the span: the oldest kept snapshot is the last one before it.
    while (m_history.size() > 1 && m_history[1].machine.cycles + m_limits.span <= now)
        drop();
    while (m_history.size() > 1 && m_historyBytes > m_limits.bytes)
        drop();
    const std::uint64_t oldest = m_history.front().machine.cycles;
    std::size_t stale = 0;
    while (stale < m_keys.size() && stale < m_keyNext && m_keys[stale].cycles < oldest)
        ++stale;
    m_keys.erase(m_keys.begin(), m_keys.begin() + std::ptrdiff_t(stale));
    m_keyNext -= stale;
}

bool Debugger::instruction(std::uint64_t limit) {
    Machine &m = machine();
    if (m_mid) // the instruction begun before
        return instruction(limit, m_midPc, m_midSp);
    return instruction(limit, m.reg(Reg::PC), m.reg(Reg::SP));
}

bool Debugger::instruction(std::uint64_t limit, std::uint16_t pc, std::uint16_t sp) {
    Machine &m = machine();
    const bool special = !m_mid && kCallsOrReturns[m.read(pc)];
    if (!m_mid) {
        m_lastWasRet = special && isRet(m, pc);
        if (m_trace && !m_replaying)
            m_trace(m);
    }
    const std::optional<std::uint16_t> call = special ? callTarget(m, pc) : std::nullopt;
    bool intoOs = m_mid && m_midIntoOs;
    for (;;) {
        while (m_keyNext < m_keys.size() && m_keys[m_keyNext].cycles <= m.cycles()) {
            const KeyEvent &k = m_keys[m_keyNext++];
            if (k.down)
                m.keypad().press(k.code);
            else
                m.keypad().release(k.code);
        }
        const std::uint64_t interrupts = m.interruptsTaken();
        m.runUntil(m.cycles() + 1);
        if (ended())
            return false;
        intoOs = intoOs || m.interruptsTaken() != interrupts;
        if (m.betweenInstructions() && !m.answered(m_pc = m.reg(Reg::PC))) {
            // An interrupt the OS took before the instruction returns to it:
            // the instruction is still to run, and is this one.
            if (!(intoOs && m_pc == pc && m.reg(Reg::SP) == sp))
                break;
            intoOs = false;
        }
        if (m.cycles() >= limit) {
            m_mid = true;
            m_midPc = pc;
            m_midSp = sp;
            m_midIntoOs = intoOs;
            return false;
        }
    }
    const std::uint16_t nowSp = m_sp = m.reg(Reg::SP);
    if (call && !m.answered(*call) && nowSp == std::uint16_t(sp - 2) && m_pc == *call &&
        m_frames.size() < 0x8000)
        m_frames.push_back(nowSp);
    while (!m_frames.empty() && deeper(m_frames.back(), nowSp) > 0)
        m_frames.pop_back();
    m_mid = false;
    m_lastPc = pc;
    ++m_position;
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
                               " after the instruction at " + hex4(m_lastPc) + ")"))
            return p;
    if (!kCallsOrReturns[m.read(pc)])
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
    const bool jumpIntoProgram = m.readWord(sp) >= m_codeStart && m.readWord(sp) < m_codeEnd;
    // The end of a routine an application called on another of its pages:
    // the OS pushed its way back (the caller's page under it), not a push
    // of the program's, and the OS takes it back off.
    if (isRet(m, pc) && m.readWord(sp) == Os::kPageBack)
        return std::nullopt;
    if (!m_frames.empty() && deeper(sp, m_frames.back()) > 0 && m.interruptMode() != 2 &&
        isRet(m, pc) && m.read(pc) != 0xED && !jumpIntoProgram)
        if (auto p = fault(Check::Return, "a ret at " + hex4(pc) + " to " + hex4(m.readWord(sp)) +
                                              ", which no call pushed: the stack holds " +
                                              std::to_string(deeper(sp, m_frames.back())) +
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
    Pause p = [&]() -> Pause {
        m_pending.reset();
        Machine &m = machine();
        m.takeWritten(); // a write before this run was seen where it happened
        // PC and SP as the last instruction left them, read once.
        std::uint16_t pc = m.reg(Reg::PC), sp = m.reg(Reg::SP);
        // A breakpoint where the run paused is passed; one where a limit cut
        // the run short is not yet looked at.
        bool first = !std::exchange(m_unchecked, false);
        for (;;) {
            if (ended())
                return {Pause::Why::Ended, m.reg(Reg::PC), {}};
            if (!first && !m_mid) {
                if (auto fault = checkBefore(pc, sp))
                    return *fault;
                if (mode == Mode::To && pc == target)
                    return {Pause::Why::Reached, pc, {}};
                if (m_breaks[pc] && breakHere(pc))
                    return {Pause::Why::Breakpoint, pc, {}};
            }
            first = false;
            if (!(m_mid ? instruction(limit) : instruction(limit, pc, sp)))
                return {ended() ? Pause::Why::Ended : Pause::Why::Limit, m.reg(Reg::PC), {}};
            pc = m_pc;
            sp = m_sp;
            if (m_watchCount)
                if (const auto written = m.takeWritten())
                    return {Pause::Why::Written, pc, {}, *written};
            if ((mode == Mode::Over && pc == target && deeper(sp, sp0) <= 0) ||
                (mode == Mode::Out && m_lastWasRet && deeper(sp, sp0) < 0))
                return {Pause::Why::Step, pc, {}};
            if (m.cycles() >= limit) {
                m_unchecked = true;
                return {Pause::Why::Limit, pc, {}};
            }
        }
    }();
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
    const int length = m_mid ? 0 : overLength(machine(), pc);
    if (length == 0 || (machine().read(pc) == 0xEF))
        return stepInto(limit); // a bcall is one instruction already
    return go(Mode::Over, limit, std::uint16_t(pc + length));
}

Pause Debugger::stepOut(std::uint64_t limit) {
    return go(Mode::Out, limit);
}

Pause Debugger::runTo(std::uint16_t address, std::uint64_t limit) {
    return go(Mode::To, limit, address);
}

Pause Debugger::stepBack() {
    m_unchecked = false;
    m_pending.reset();
    Machine &m = machine();
    if (!m_mid && m_position == 0)
        return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
    const std::uint64_t target = m_mid ? m_position : m_position - 1;
    while (!m_history.empty() && m_history.back().position > target) {
        m_historyBytes -= m_history.back().machine.bytes();
        m_history.pop_back();
    }
    if (m_history.empty())
        return {Pause::Why::NoHistory, m.reg(Reg::PC), {}};
    const Snapshot &s = m_history.back();
    m.restore(s.machine);
    m_session.os().setState(s.os);
    m_frames = s.frames;
    m_position = s.position;
    m_mid = false;
    m_keyNext = 0;
    while (m_keyNext < m_keys.size() && m_keys[m_keyNext].cycles < s.machine.cycles)
        ++m_keyNext;
    m_replaying = true;
    while (m_position < target && instruction(UINT64_MAX)) {
    }
    m_replaying = false;
    m.takeWritten(); // what the replay wrote was seen before
    m_nextSnapshot = s.machine.cycles + m_limits.every;
    return {Pause::Why::Step, m.reg(Reg::PC), {}};
}

} // namespace run
