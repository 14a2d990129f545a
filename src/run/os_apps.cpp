// Calls between an application's pages, as TI's developer guide describes
// them ("Multi-Page Applications": the branch table, off-page calls and
// jumps): `bcall(_name)` with a word whose bits 15-14 are clear names the
// entry at that byte offset from the start of the application's first page;
// an entry is the routine's address (.dw) and its page counted from the
// application's first (.db; 0 the first page). The OS maps that page at
// 4000h, calls the routine, and maps the caller's page back on its return;
// `bjump` goes there for good.
//
// How an application finds itself and others (TI's System Routines,
// "FindApp", "FindAppUp", "FindAppDn"; the page routine as ti83plus.inc
// and WikITI give it): the runner holds one application, the one running,
// so the archive's list of applications is that one alone.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"

#include "z80/flashfile.h"

namespace run {

namespace {

constexpr std::uint8_t kAppObj = 0x14;

// The name in OP1 (after its type byte): up to 8 characters, ended by a zero.
std::string op1Name(const Machine &m) {
    std::string name;
    for (int i = 1; i <= 8 && m.read(std::uint16_t(ram::op1 + i)); ++i)
        name += char(m.read(std::uint16_t(ram::op1 + i)));
    return name;
}

} // namespace

std::string Os::applicationName(Machine &m) const {
    if (m_appFirst < 0)
        return {};
    // The header is on the first page, mapped while it is read.
    const std::uint8_t port = m.port6();
    m.setPort6(std::uint8_t(m_appFirst));
    std::vector<std::uint8_t> header(128);
    for (std::size_t i = 0; i < header.size(); ++i)
        header[i] = m.read(std::uint16_t(0x4000 + i));
    m.setPort6(port);
    // The first field (80 0Fh) holds the whole application: its fields
    // start after its four length bytes.
    std::size_t at = header[0] == 0x80 && header[1] == 0x0F ? 6 : header.size();
    for (int n = 0; n < 32; ++n) {
        const auto f = z80::readField(header, at, header.size());
        if (!f || f->type == 0x8070)
            break;
        if (f->type == 0x8040) {
            std::string name(header.begin() + std::ptrdiff_t(f->start),
                             header.begin() + std::ptrdiff_t(f->start + f->size));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
                name.pop_back();
            return name;
        }
        at = f->next;
    }
    return {};
}

void Os::addApplicationCalls() {
    // OP1 names an application: found (carry clear) with A its first page.
    on("_FindApp", [this](Machine &m) {
        const std::string name = applicationName(m);
        const bool found = !name.empty() && op1Name(m) == name;
        if (found)
            m.setReg(Reg::AF, std::uint16_t(m_appFirst << 8));
        m.setFlags(found ? 0x00 : 0x01);
        return Result::Done;
    });
    // The application after (Up) or before (Dn) OP1's name in the order of
    // names: its name into OP1, carry clear; carry set when there is none.
    const auto next = [this](bool up) {
        return [this, up](Machine &m) {
            const std::string name = applicationName(m), from = op1Name(m);
            const bool found = !name.empty() && (up ? name > from : name < from);
            if (found) {
                m.write(ram::op1, kAppObj);
                for (std::size_t i = 0; i < 8; ++i)
                    m.write(std::uint16_t(ram::op1 + 1 + i),
                            i < name.size() ? std::uint8_t(name[i]) : 0);
            }
            m.setFlags(found ? 0x00 : 0x01);
            return Result::Done;
        };
    };
    on("_FindAppUp", next(true));
    on("_FindAppDn", next(false));
    // A = one of the application's pages: A = its first page, carry clear;
    // another page: carry set, A as it was.
    on("_GetAppBasePage", [this](Machine &m) {
        const int page = m.a();
        const bool ours = m_appFirst >= 0 && page <= m_appFirst && page > m_appFirst - m_appPages;
        if (ours)
            m.setReg(Reg::AF, std::uint16_t(m_appFirst << 8));
        m.setFlags(ours ? 0x00 : 0x01);
        return Result::Done;
    });
}

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
