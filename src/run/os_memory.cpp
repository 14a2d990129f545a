// The calls that move bytes: OP register copies and exchanges, block moves,
// the floating-point stack, and the variable lookups of a calculator whose
// memory holds no variables.

#include "run/costs.h"
#include "run/os.h"

#include <string>

namespace run {

namespace {

void copy(Machine &m, std::uint16_t from, std::uint16_t to, int n) {
    m.idle(std::uint64_t(n) * cost::kByte);
    for (int i = 0; i < n; ++i)
        m.write(std::uint16_t(to + i), m.read(std::uint16_t(from + i)));
}

} // namespace

void Os::addMemoryCalls() {
    // _OPxToOPy for every pair the OS has; 11 bytes each.
    for (const RomCall &c : romCalls()) {
        const std::string n = c.name;
        if (n.size() == 9 && n.compare(0, 3, "_OP") == 0 && n.compare(4, 4, "ToOP") == 0) {
            const int from = n[3] - '0', to = n[8] - '0';
            on(c.name, [from, to](Machine &m) {
                copy(m, ram::op(from), ram::op(to), 11);
                return Result::Done;
            });
        }
        if (n.size() == 9 && n.compare(0, 3, "_OP") == 0 && n.compare(4, 4, "ExOP") == 0) {
            const int a = n[3] - '0', b = n[8] - '0';
            on(c.name, [a, b](Machine &m) {
                for (int i = 0; i < 11; ++i) {
                    const std::uint16_t x = std::uint16_t(ram::op(a) + i),
                                        y = std::uint16_t(ram::op(b) + i);
                    const std::uint8_t t = m.read(x);
                    m.write(x, m.read(y));
                    m.write(y, t);
                }
                return Result::Done;
            });
        }
        if (n.size() == 8 && n.compare(0, 5, "_Zero") == 0 && n.compare(5, 2, "OP") == 0) {
            const int op = n[7] - '0';
            on(c.name, [op](Machine &m) {
                for (int i = 0; i < 11; ++i)
                    m.write(std::uint16_t(ram::op(op) + i), 0);
                return Result::Done;
            });
        }
    }
    const auto fromHl = [this](const char *name, int op) {
        on(name, [op](Machine &m) {
            copy(m, m.reg(Reg::HL), ram::op(op), 9);
            m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) + 9));
            m.setReg(Reg::DE, std::uint16_t(ram::op(op) + 9));
            return Result::Done;
        });
    };
    fromHl("_Mov9ToOP1", 1);
    fromHl("_Mov9ToOP2", 2);
    on("_Mov9B", [](Machine &m) {
        copy(m, m.reg(Reg::HL), m.reg(Reg::DE), 9);
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) + 9));
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::DE) + 9));
        return Result::Done;
    });
    on("_Mov11B", [](Machine &m) {
        copy(m, m.reg(Reg::HL), m.reg(Reg::DE), 11);
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) + 11));
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::DE) + 11));
        return Result::Done;
    });
    on("_MovFrOP1", [](Machine &m) {
        copy(m, ram::op1, m.reg(Reg::DE), 9);
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::DE) + 9));
        return Result::Done;
    });
    on("_MemSet", [](Machine &m) {
        m.idle(std::uint64_t(m.reg(Reg::BC)) * cost::kByte);
        for (int i = 0; i < m.reg(Reg::BC); ++i)
            m.write(std::uint16_t(m.reg(Reg::HL) + i), m.a());
        return Result::Done;
    });
    on("_MemClear", [](Machine &m) {
        m.idle(std::uint64_t(m.reg(Reg::BC)) * cost::kByte);
        for (int i = 0; i < m.reg(Reg::BC); ++i)
            m.write(std::uint16_t(m.reg(Reg::HL) + i), 0);
        return Result::Done;
    });
    on("_StrLength", [](Machine &m) {
        int n = 0;
        while (n < 0xFFFF && m.read(std::uint16_t(m.reg(Reg::HL) + n)))
            ++n;
        m.idle(std::uint64_t(n + 1) * 26); // LD A,(HL) / OR A / INC HL / INC BC / JR NZ
        m.setReg(Reg::BC, std::uint16_t(n));
        return Result::Done;
    });
    // The floating-point stack grows up from fpBase; FPS points past its top.
    const auto push = [](const char *name, int op) { return std::make_pair(name, op); };
    for (const auto &[name, op] :
         {push("_PushRealO1", 1), push("_PushRealO2", 2), push("_PushRealO3", 3),
          push("_PushRealO4", 4), push("_PushOP1", 1), push("_PushOP3", 3)}) {
        const int n = op;
        on(name, [n](Machine &m) {
            const std::uint16_t top = m.readWord(ram::fps);
            copy(m, ram::op(n), top, 9);
            m.writeWord(ram::fps, std::uint16_t(top + 9));
            return Result::Done;
        });
    }
    for (const auto &[name, op] :
         {push("_PopRealO1", 1), push("_PopRealO2", 2), push("_PopRealO3", 3),
          push("_PopRealO4", 4), push("_PopOP1", 1), push("_PopOP3", 3)}) {
        const int n = op;
        on(name, [this, n](Machine &m) {
            const std::uint16_t top = std::uint16_t(m.readWord(ram::fps) - 9);
            if (top < m.readWord(ram::fpBase)) {
                m.stop("the program took a number from the empty floating-point stack (" +
                       m_callName + ")");
                return Result::Wait;
            }
            copy(m, top, ram::op(n), 9);
            m.writeWord(ram::fps, top);
            return Result::Done;
        });
    }
    on("_JForceCmdNoChar", [](Machine &) { return Result::Ended; });
    on("_JForceCmd", [](Machine &) { return Result::Ended; });
}

} // namespace run
