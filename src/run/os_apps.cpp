// Calls between an application's pages, as TI's developer guide describes
// them ("Multi-Page Applications": the branch table, off-page calls and
// jumps): `bcall(_name)` with a word whose bits 15-14 are clear names the
// entry at that byte offset from the start of the application's first page;
// an entry is the routine's address (.dw) and its page counted from the
// application's first (.db; 0 the first page). The OS maps that page at
// 4000h, calls the routine, and maps the caller's page back on its return;
// `bjump` goes there for good.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"

namespace run {

void Os::offPage(Machine &m, std::uint16_t word, bool jump) {
    m_callName = "the application's branch table entry " + hex4(word);
    const std::uint16_t sp = m.reg(Reg::SP);
    const std::uint16_t inline_ = m.readWord(sp);
    const std::uint8_t callerPort = m.port6();
    // The table is on the application's first page, mapped while it is read.
    m.setPort6(std::uint8_t(m_appFirst));
    const std::uint16_t entry = std::uint16_t(0x4000 + word);
    const std::uint16_t target = entry <= 0x7FFD ? m.readWord(entry) : 0;
    const int relative = entry <= 0x7FFD ? m.read(std::uint16_t(entry + 2)) : 0;
    m.setPort6(callerPort);
    if (entry > 0x7FFD || relative >= m_appPages) {
        m.stop("the application " + std::string(jump ? "jumped" : "called") + " through " +
               "its branch table at " + hex4(m_callFrom) + ": the entry at " + hex4(entry) +
               (entry > 0x7FFD ? " is past its first page"
                               : " names its page " + std::to_string(relative) + ", and it has " +
                                     std::to_string(m_appPages)));
        return;
    }
    m.idle(cost::kCall);
    if (jump) {
        m.pop(); // bjump's own return: the routine goes on from where bjump was called
    } else {
        m.writeWord(sp, std::uint16_t(inline_ + 2));
        m.push(callerPort);
        m.push(kPageBack);
    }
    m.setPort6(std::uint8_t(m_appFirst - relative));
    m.setReg(Reg::PC, target);
}

void Os::pageBack(Machine &m) {
    // The OS's way back takes its time too; and the caller's next
    // instruction is one of its own, which a debugger sees begin.
    m.idle(cost::kCall);
    m.setPort6(std::uint8_t(m.pop()));
    m.setReg(Reg::PC, m.pop());
}

} // namespace run
