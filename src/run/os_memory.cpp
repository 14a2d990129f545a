// The calls that move bytes: OP register copies and exchanges, block moves,
// the floating-point stack, and the variable lookups of a calculator whose
// memory holds no variables.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"

#include <iterator>
#include <string>

namespace run {

namespace {

void copy(Machine &m, std::uint16_t from, std::uint16_t to, int n) {
    m.idle(std::uint64_t(n) * cost::kByte);
    for (int i = 0; i < n; ++i)
        m.write(std::uint16_t(to + i), m.read(std::uint16_t(from + i)));
}

} // namespace

struct MemoryCalls {
    using Result = Os::Result;

    // OP registers: copies and exchanges of their 11 bytes, and zeroing them.
    template <int From, int To> static Result opToOp(Os &, Machine &m) {
        copy(m, ram::op(From), ram::op(To), 11);
        return Result::Done;
    }
    template <int A, int B> static Result opExOp(Os &, Machine &m) {
        for (int i = 0; i < 11; ++i) {
            const std::uint16_t x = std::uint16_t(ram::op(A) + i),
                                y = std::uint16_t(ram::op(B) + i);
            const std::uint8_t t = m.read(x);
            m.write(x, m.read(y));
            m.write(y, t);
        }
        return Result::Done;
    }
    template <int Op> static Result zeroOp(Os &, Machine &m) {
        for (int i = 0; i < 11; ++i)
            m.write(std::uint16_t(ram::op(Op) + i), 0);
        return Result::Done;
    }
    // N bytes from HL to DE (to OP1 or OP2 for the _Mov9ToOPx forms), both
    // moved past them.
    static Result move(Machine &m, std::uint16_t to, int n) {
        copy(m, m.reg(Reg::HL), to, n);
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) + n));
        m.setReg(Reg::DE, std::uint16_t(to + n));
        return Result::Done;
    }
    template <int Op> static Result mov9ToOp(Os &, Machine &m) { return move(m, ram::op(Op), 9); }
    static Result mov9B(Os &, Machine &m) { return move(m, m.reg(Reg::DE), 9); }
    static Result mov11B(Os &, Machine &m) { return move(m, m.reg(Reg::DE), 11); }
    static Result movFrOP1(Os &, Machine &m) {
        copy(m, ram::op1, m.reg(Reg::DE), 9);
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::DE) + 9));
        return Result::Done;
    }
    static Result fill(Machine &m, std::uint8_t value) {
        m.idle(std::uint64_t(m.reg(Reg::BC)) * cost::kByte);
        for (int i = 0; i < m.reg(Reg::BC); ++i)
            m.write(std::uint16_t(m.reg(Reg::HL) + i), value);
        return Result::Done;
    }
    static Result memSet(Os &, Machine &m) { return fill(m, m.a()); }
    static Result memClear(Os &, Machine &m) { return fill(m, 0); }
    static Result strLength(Os &, Machine &m) {
        int n = 0;
        while (n < 0xFFFF && m.read(std::uint16_t(m.reg(Reg::HL) + n)))
            ++n;
        m.idle(std::uint64_t(n + 1) * 26); // LD A,(HL) / OR A / INC HL / INC BC / JR NZ
        m.setReg(Reg::BC, std::uint16_t(n));
        return Result::Done;
    }
    // The floating-point stack grows up from fpBase; FPS points past its top.
    template <int Op> static Result push(Os &, Machine &m) {
        const std::uint16_t top = m.readWord(ram::fps);
        copy(m, ram::op(Op), top, 9);
        m.writeWord(ram::fps, std::uint16_t(top + 9));
        return Result::Done;
    }
    template <int Op> static Result pop(Os &os, Machine &m) {
        const std::uint16_t top = std::uint16_t(m.readWord(ram::fps) - 9);
        if (top < m.readWord(ram::fpBase)) {
            m.stop("the program took a number from the empty floating-point stack (" +
                   os.m_callName + ")");
            return Result::Wait;
        }
        copy(m, top, ram::op(Op), 9);
        m.writeWord(ram::fps, top);
        return Result::Done;
    }
    // Entry N of the floating-point stack counting down from its top (0 is
    // FPST, 1 FPS1...): 9 bytes at FPS - 9 (N + 1); 0 after stopping the run
    // when the stack holds fewer entries.
    static std::uint16_t stackEntry(Os &os, Machine &m, int n) {
        const int at = m.readWord(ram::fps) - 9 * (n + 1);
        if (at < m.readWord(ram::fpBase)) {
            const int held = (m.readWord(ram::fps) - m.readWord(ram::fpBase)) / 9;
            m.stop("the program called " + os.m_callName + " at " + hex4(os.m_callFrom) +
                   " for entry " + std::to_string(n) +
                   " below the top of the floating-point "
                   "stack, which holds " +
                   std::to_string(held) + (held == 1 ? " entry" : " entries"));
            return 0;
        }
        return std::uint16_t(at);
    }
    // OPn = entry N, left on the stack (_CpyTo1FPST, _CpyTo2FPS1...).
    template <int Op, int N> static Result copyFromStack(Os &os, Machine &m) {
        const std::uint16_t at = stackEntry(os, m, N);
        if (!at)
            return Result::Wait;
        copy(m, at, ram::op(Op), 9);
        return Result::Done;
    }
    // Entry N = OP1 (_CpyO1ToFPST, _CpyO1ToFPS1).
    template <int N> static Result copyToStack(Os &os, Machine &m) {
        const std::uint16_t at = stackEntry(os, m, N);
        if (!at)
            return Result::Wait;
        copy(m, ram::op1, at, 9);
        return Result::Done;
    }
    // HL entries taken off the floating-point stack, their bytes left.
    static Result deallocFPS(Os &os, Machine &m) {
        const int n = m.reg(Reg::HL);
        if (n == 0)
            return Result::Done;
        const std::uint16_t at = stackEntry(os, m, n - 1);
        if (!at)
            return Result::Wait;
        m.writeWord(ram::fps, at);
        return Result::Done;
    }
    // HL entries of 9 bytes are added to the floating-point stack, their
    // bytes left as they were. _AllocFPS checks the room first (ERR:MEMORY);
    // _AllocFPS1 does not, and on the calculator an overlong one runs into
    // the hardware stack's 400 bytes below 10000h: here that stops the run.
    template <bool Checked> static Result allocFPS(Os &os, Machine &m) {
        constexpr std::uint32_t kStackBottom = 0x10000 - 400;
        const std::uint32_t top = m.readWord(ram::fps) + 9u * m.reg(Reg::HL);
        if (top > kStackBottom) {
            if (Checked)
                return os.calculatorError(m, "ERR:MEMORY");
            m.stop("the program called " + os.m_callName + " for " +
                   std::to_string(m.reg(Reg::HL)) +
                   " entries: the floating-point stack would run into the hardware stack");
            return Result::Wait;
        }
        m.writeWord(ram::fps, std::uint16_t(top));
        return Result::Done;
    }
    static Result backHome(Os &, Machine &) { return Result::Ended; }

    static constexpr Os::NamedCall kCalls[] = {
        {"_OP1ToOP2", opToOp<1, 2>},
        {"_OP1ToOP3", opToOp<1, 3>},
        {"_OP1ToOP4", opToOp<1, 4>},
        {"_OP1ToOP5", opToOp<1, 5>},
        {"_OP1ToOP6", opToOp<1, 6>},
        {"_OP2ToOP1", opToOp<2, 1>},
        {"_OP2ToOP3", opToOp<2, 3>},
        {"_OP2ToOP4", opToOp<2, 4>},
        {"_OP3ToOP1", opToOp<3, 1>},
        {"_OP3ToOP2", opToOp<3, 2>},
        {"_OP4ToOP1", opToOp<4, 1>},
        {"_OP4ToOP2", opToOp<4, 2>},
        {"_OP5ToOP1", opToOp<5, 1>},
        {"_OP5ToOP2", opToOp<5, 2>},
        {"_OP6ToOP1", opToOp<6, 1>},
        {"_OP6ToOP2", opToOp<6, 2>},
        {"_OP1ExOP2", opExOp<1, 2>},
        {"_OP1ExOP3", opExOp<1, 3>},
        {"_OP1ExOP4", opExOp<1, 4>},
        {"_OP1ExOP5", opExOp<1, 5>},
        {"_OP1ExOP6", opExOp<1, 6>},
        {"_ZeroOP1", zeroOp<1>},
        {"_ZeroOP2", zeroOp<2>},
        {"_ZeroOP3", zeroOp<3>},
        {"_Mov9ToOP1", mov9ToOp<1>},
        {"_Mov9ToOP2", mov9ToOp<2>},
        {"_Mov9B", mov9B},
        {"_Mov11B", mov11B},
        {"_MovFrOP1", movFrOP1},
        {"_MemSet", memSet},
        {"_MemClear", memClear},
        {"_StrLength", strLength},
        {"_PushRealO1", push<1>},
        {"_PushRealO2", push<2>},
        {"_PushRealO3", push<3>},
        {"_PushRealO4", push<4>},
        {"_PushOP1", push<1>},
        {"_PushOP3", push<3>},
        {"_PopRealO1", pop<1>},
        {"_PopRealO2", pop<2>},
        {"_PopRealO3", pop<3>},
        {"_PopRealO4", pop<4>},
        {"_PopOP1", pop<1>},
        {"_PopOP3", pop<3>},
        {"_JForceCmdNoChar", backHome},
        {"_JForceCmd", backHome},
        {"_AllocFPS", allocFPS<true>},
        {"_AllocFPS1", allocFPS<false>},
        {"_PushOP5", push<5>},
        {"_PushRealO5", push<5>},
        {"_PopOP5", pop<5>},
        {"_PopRealO5", pop<5>},
        {"_PushRealO6", push<6>},
        {"_PopRealO6", pop<6>},
        {"_OP6ToOP5", opToOp<6, 5>},
        {"_OP2ToOP6", opToOp<2, 6>},
        {"_CpyTo1FPST", copyFromStack<1, 0>},
        {"_CpyTo1FPS1", copyFromStack<1, 1>},
        {"_CpyTo1FPS2", copyFromStack<1, 2>},
        {"_CpyTo1FPS3", copyFromStack<1, 3>},
        {"_CpyTo1FPS4", copyFromStack<1, 4>},
        {"_CpyTo1FPS5", copyFromStack<1, 5>},
        {"_CpyTo1FPS6", copyFromStack<1, 6>},
        {"_CpyTo1FPS7", copyFromStack<1, 7>},
        {"_CpyTo1FPS8", copyFromStack<1, 8>},
        {"_CpyTo1FPS9", copyFromStack<1, 9>},
        {"_CpyTo2FPST", copyFromStack<2, 0>},
        {"_CpyTo2FPS1", copyFromStack<2, 1>},
        {"_CpyTo2FPS2", copyFromStack<2, 2>},
        {"_CpyTo2FPS3", copyFromStack<2, 3>},
        {"_CpyTo2FPS4", copyFromStack<2, 4>},
        {"_CpyTo2FPS5", copyFromStack<2, 5>},
        {"_CpyTo2FPS6", copyFromStack<2, 6>},
        {"_CpyTo2FPS7", copyFromStack<2, 7>},
        {"_CpyTo2FPS8", copyFromStack<2, 8>},
        {"_CpyO1ToFPST", copyToStack<0>},
        {"_CpyO1ToFPS1", copyToStack<1>},
        {"_DeallocFPS", deallocFPS},
        {"_DeallocFPS1", deallocFPS},
    };
};

void Os::addMemoryCalls() {
    addCalls(std::begin(MemoryCalls::kCalls), std::size(MemoryCalls::kCalls));
}

} // namespace run
