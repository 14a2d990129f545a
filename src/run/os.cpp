#include "run/os.h"

#include "run/costs.h"
#include "run/hex.h"

namespace run {

namespace {

// The calls the rst shortcuts stand for.
const char *rstCall(std::uint16_t pc) {
    switch (pc) {
    case 0x08:
        return "_OP1ToOP2";
    case 0x10:
        return "_FindSym";
    case 0x18:
        return "_PushRealO1";
    case 0x20:
        return "_Mov9ToOP1";
    case 0x30:
        return "_FPAdd";
    default:
        return nullptr;
    }
}

std::uint16_t addressOf(const char *name) {
    for (const RomCall &c : romCalls())
        if (std::string(c.name) == name)
            return c.address;
    return 0;
}

} // namespace

Os::Os(RomNames names) : m_names(std::move(names)) {
    addDisplayCalls();
    addKeyCalls();
    addMathCalls();
    addMemoryCalls();
    addVariableCalls();
    addSystemCalls();
}

void Os::on(const char *name, Call call) {
    const std::uint16_t a = addressOf(name);
    if (a) {
        m_calls[a] = std::move(call);
        m_costs[a] = cost::kCall + cost::ofFloatCall(name);
    }
}

void Os::addCalls(const NamedCall *first, std::size_t count) {
    for (const NamedCall *c = first; c != first + count; ++c)
        on(c->name, [this, answer = c->answer](Machine &m) { return answer(*this, m); });
}

std::vector<std::string> Os::answeredCalls() const {
    std::vector<std::string> names;
    for (const RomCall &c : romCalls())
        if (m_calls.count(c.address))
            names.emplace_back(c.name);
    return names;
}

void Os::prepare(Machine &m) {
    m.setFlag(flags::appFlags, flags::appTextSave, true);
    m.setFlag(flags::appFlags, flags::appAutoScroll, true);
    m.setFlag(flags::indicFlags, flags::indicRun, true);
    m.setFlag(flags::apdFlags, flags::apdAble, true);
    for (int i = 0; i < 128; ++i)
        m.write(std::uint16_t(ram::textShadow + i), ' ');
    m.writeWord(ram::fpBase, 0xF000);
    m.writeWord(ram::fps, 0xF000);
    // The home screen's text window is the whole screen: from row 0 to the row
    // past the last, 8, from the left edge.
    m.write(ram::winTop, 0);
    m.write(ram::winBtm, 8);
    m.write(ram::winLeftEdge, 0);
    m.write(ram::winLeft, 0);
    setContrast(m, 24);
    resetSeeds(m);
}

void Os::enter(Machine &m, std::uint16_t pc) {
    if (pc == kPageBack) {
        pageBack(m);
        return;
    }
    if (pc == kExit) {
        if (m_shell.empty() && m_appFirst < 0) // a shell shows its own menu again instead
            showDone(m);
        m.finish();
        return;
    }
    if (pc == 0x38) { // the timer or the ON key
        if (m.keypad().onHeld())
            m.setFlag(flags::onFlags, flags::onInterrupt, true);
        m.acknowledgeInterrupts();
        m.setReg(Reg::PC, m.pop());
        m.enableInterrupts();
        return;
    }
    const std::uint16_t sp = m.reg(Reg::SP);
    if (const char *name = rstCall(pc)) {
        const std::uint16_t back = m.readWord(sp);
        finishCall(m, call(m, addressOf(name), std::uint16_t(back - 1)), true);
        return;
    }
    if (pc == 0x28 || pc == 0x50) { // bcall; bjump (call 50h) goes on at the caller's caller
        const std::uint16_t inline_ = m.readWord(sp);
        const std::uint16_t from = std::uint16_t(inline_ - (pc == 0x28 ? 1 : 3));
        if (m_appFirst >= 0 && (m.readWord(inline_) & 0xC000) == 0) {
            m_callFrom = from;
            offPage(m, m.readWord(inline_), pc == 0x50);
            return;
        }
        const Result r = call(m, m.readWord(inline_), from);
        if (r == Result::Done && pc == 0x50)
            m.pop();
        if (r == Result::Done && pc == 0x28)
            m.writeWord(sp, std::uint16_t(inline_ + 2));
        finishCall(m, r, true);
        return;
    }
    if (const auto shell = m_shellCalls.find(pc); shell != m_shellCalls.end()) {
        m_callName = m_shell + "'s " + m_shellNames[pc] + " (" + hex4(pc) + ")";
        m_callFrom = std::uint16_t(m.readWord(m.reg(Reg::SP)) - 3);
        finishCall(m, shell->second(m), false);
        return;
    }
    if (pc == 0x000B) { // LCD_BUSY_QUICK, reached by `call`: the wait the display needs
        m.idle(cost::kLcdByte);
        m.setReg(Reg::PC, m.pop());
        return;
    }
    if (pc == 0x59 || pc == 0x5C) { // push and pop an error handler: no error ever jumps to it
        m.setReg(Reg::PC, m.pop());
        return;
    }
    if ((m_shell == "MirageOS" && pc >= 0x4083 && pc < 0x41D6) ||
        (m_shell == "Doors CS" && pc >= 0x4083 && pc < 0x4230))
        m.stop(unansweredShellRoutine(m, pc));
    else if (pc == 0)
        m.stop("the program jumped to 0000h, which restarts the calculator");
    else
        m.stop("the program jumped to " + hex4(pc) +
               " inside the OS, where this runner has no code; only OS calls made with bcall "
               "or rst are answered");
}

// Back on the home screen the OS says "Done" at the right of the line after
// the program's text (the line itself when the cursor is at its start),
// scrolling when that line is below the screen. The program's time is over:
// this takes none of it, and the cursor stays where the program left it.
void Os::showDone(Machine &m) {
    m_uncharged = true;
    int row = m.read(ram::curRow) + (m.read(ram::curCol) != 0 ? 1 : 0);
    if (row > 7) {
        scrollUp(m);
        row = 7;
    }
    for (int i = 0; i < 4; ++i)
        drawCell(m, row, 12 + i, std::uint8_t("Done"[i]));
}

void Os::finishCall(Machine &m, Result r, bool) {
    if (r == Result::Done)
        m.setReg(Reg::PC, m.pop());
    else if (r == Result::Ended)
        m.finish();
    else if (m.cycles() < m.nextInterrupt()) // wait as the OS does, till the next interrupt
        m.idle(m.nextInterrupt() - m.cycles());
}

std::string Os::callPlace() const {
    return hex4(m_callFrom) + ", " + m_callName;
}

Os::Result Os::calculatorError(Machine &m, const std::string &error, const std::string &why) {
    m.stop("the calculator stops the program with " + error + " in " + m_callName + ", called at " +
           hex4(m_callFrom) + (why.empty() ? "" : ": " + why));
    return Result::Wait;
}

Os::Result Os::call(Machine &m, std::uint16_t address, std::uint16_t from) {
    m_callName = m_names.nameOf(address);
    m_callFrom = from;
    const auto it = m_calls.find(address);
    if (it != m_calls.end()) {
        m.idle(m_costs[address]); // the OS's own instructions take time too
        return it->second(m);
    }
    m.stop("the program called " +
           (m_callName.empty() ? std::string("the OS at ") + hex4(address)
                               : m_callName + " (" + hex4(address) + ")") +
           " at " + hex4(from) + ", an OS call this runner does not answer");
    return Result::Wait;
}

} // namespace run
