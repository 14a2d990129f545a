#include "run/harness.h"

#include "run/hex.h"

#include <cstring>

namespace run {

namespace {

constexpr std::size_t kMaxCallsNoted = 4096;

// The calls the rst shortcuts stand for.
std::uint16_t rstCall(std::uint16_t pc) {
    const char *name = pc == 0x08   ? "_OP1ToOP2"
                       : pc == 0x10 ? "_FindSym"
                       : pc == 0x18 ? "_PushRealO1"
                       : pc == 0x20 ? "_Mov9ToOP1"
                       : pc == 0x30 ? "_FPAdd"
                                    : nullptr;
    if (name)
        for (const RomCall &c : romCalls())
            if (std::strcmp(c.name, name) == 0)
                return c.address;
    return 0;
}

// ret, a conditional ret, reti or retn.
bool isReturn(std::uint8_t op, std::uint8_t next) {
    return op == 0xC9 || (op & 0xC7) == 0xC0 || (op == 0xED && (next & 0xC7) == 0x45);
}

bool osEntry(std::uint16_t pc) {
    return pc == 0x28 || pc == 0x50 || pc == 0x38 || pc == 0x59 || pc == 0x5C || rstCall(pc) ||
           pc == Os::kExit;
}

} // namespace

Harness::Harness(const std::vector<std::uint8_t> &code, RomNames names)
    : m_os(std::move(names)), m_machine(std::make_unique<Machine>(*this)) {
    m_os.prepare(*m_machine);
    m_machine->load(code, Os::kExit);
}

void Harness::call(std::uint16_t address) {
    Machine &m = *m_machine;
    m.push(kBeneath);
    m.push(kBack);
    m_callSp = m.reg(Reg::SP);
    m.setReg(Reg::PC, address);
    m_calling = true;
}

void Harness::enter(Machine &m, std::uint16_t pc) {
    const std::uint16_t sp = m.reg(Reg::SP);
    if (m_calling && pc == kBack) {
        m.finish();
        return;
    }
    if (m_calling && (pc == kBeneath || (pc == Os::kExit && sp > m_callSp))) {
        m.stop("the routine's return went past the test's return address: it took " +
               std::to_string(int(sp) - int(m_callSp) - 2) +
               " bytes more off the stack than it put on (a pop without its push?)");
        return;
    }
    if (m_osCalls.size() < kMaxCallsNoted) {
        if (pc == 0x28 || pc == 0x50)
            m_osCalls.push_back(m.readWord(m.readWord(sp)));
        else if (const std::uint16_t a = rstCall(pc))
            m_osCalls.push_back(a);
    }
    m_os.enter(m, pc);
    // A return to a word the routine pushed lands where no code is: say why.
    if (m_calling && !osEntry(pc) && m.stopped() && !m.stopped()->returned && sp <= m_callSp &&
        m_callSp - sp < 256 && m_lastPc >= 0x8000 &&
        isReturn(m.read(m_lastPc), m.read(std::uint16_t(m_lastPc + 1))))
        m.stop("the routine's return went to " + hex4(pc) + " instead of to the test: it left " +
               std::to_string(m_callSp + 2 - sp) +
               " bytes more on the stack than it found (a push without its pop?)");
}

} // namespace run
