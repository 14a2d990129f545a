// Variables, for a calculator whose memory starts empty: programs create
// them (reals, programs, AppVars, strings), find them again by the name in
// OP1, grow and shrink them, and store to and recall from real variables. Their
// data lives in RAM page 0 above C000h, where programs may read and write.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"

#include <algorithm>
#include <iterator>

namespace run {

namespace {

constexpr std::uint16_t kHeapStart = 0xC000, kHeapEnd = 0xF000;
constexpr std::uint8_t kCarry = 0x01;

// The bytes a variable of `type` takes at `at`: a real 9, a complex number
// 18; a list its element count (a word) and 9 or 18 bytes an element; a
// matrix its column and row counts (a byte each) and 9 bytes an element; the
// others their size word and that many bytes (TI's developer guide, the
// variables' data structures).
int variableSize(const Machine &m, std::uint8_t type, std::uint16_t at) {
    switch (type & 0x1F) {
    case 0x00:
        return 9;
    case 0x0C:
        return 18;
    case 0x01:
        return 2 + 9 * m.readWord(at);
    case 0x0D:
        return 2 + 18 * m.readWord(at);
    case 0x02:
        return 2 + 9 * m.read(at) * m.read(std::uint16_t(at + 1));
    default:
        return 2 + m.readWord(at);
    }
}

} // namespace

std::string Os::nameInOp1(const Machine &m) const {
    std::string key(1, char(m.read(ram::op1) & 0x1F));
    for (int i = 1; i <= 8 && m.read(std::uint16_t(ram::op1 + i)); ++i)
        key += char(m.read(std::uint16_t(ram::op1 + i)));
    return key;
}

// A new variable of `size` bytes of data; DE points to its data (for all but
// reals, after the two-byte size), HL to it as well, standing for its entry.
Os::Result Os::create(Machine &m, std::uint8_t type, std::uint16_t size, bool sized) {
    const std::uint32_t need = std::uint32_t(size) + (sized ? 2 : 0); // 65,537 at most
    if (m_heap + need > kHeapEnd) {
        m.stop("the calculator runs out of memory (ERR:MEMORY) in " + m_callName);
        return Result::Wait;
    }
    m.write(ram::op1, type);
    const std::uint16_t at = m_heap;
    m_heap = std::uint16_t(m_heap + need);
    if (sized)
        m.writeWord(at, size);
    m_vars[nameInOp1(m)] = at;
    m.setReg(Reg::DE, at);
    m.setReg(Reg::HL, at);
    return Result::Done;
}

// Memory moved below or above the variables would break the calculator.
Os::Result Os::outsideVariables(Machine &m, std::uint16_t at) {
    m.stop("the program called " + m_callName + " at " + hex4(m_callFrom) + " for " + hex4(at) +
           ", outside the memory of the variables (" + hex4(kHeapStart) + " to " + hex4(m_heap) +
           " now)");
    return Result::Wait;
}

void Os::removeMemory(Machine &m, std::uint16_t at, std::uint16_t size) {
    if (m_heap > at + size)
        m.idle(std::uint64_t(m_heap - at - size) * cost::kByte);
    for (int a = at + size; a < m_heap; ++a)
        m.write(std::uint16_t(a - size), m.read(std::uint16_t(a)));
    m_heap = std::uint16_t(m_heap - size);
    for (auto it = m_vars.begin(); it != m_vars.end();) {
        if (it->second >= at + size)
            it->second = std::uint16_t(it->second - size);
        else if (it->second >= at && size > 0) {
            it = m_vars.erase(it);
            continue;
        }
        ++it;
    }
}

std::string Os::addVariable(Machine &m, const Variable &v) {
    const std::string key = char(v.type) + v.name;
    if (const auto old = m_vars.find(key); old != m_vars.end()) {
        const std::uint16_t at = old->second;
        const int size = variableSize(m, v.type, at);
        removeMemory(m, at, std::uint16_t(std::min(size, m_heap - at)));
    }
    if (m_heap + v.data.size() > kHeapEnd)
        return "the variable " + v.name + " (" + std::to_string(v.data.size()) +
               " bytes) does not fit in the calculator's memory (" +
               std::to_string(kHeapEnd - m_heap) + " bytes free)";
    const std::uint16_t at = m_heap;
    for (std::size_t i = 0; i < v.data.size(); ++i)
        m.write(std::uint16_t(at + i), v.data[i]);
    m_heap = std::uint16_t(m_heap + v.data.size());
    m_vars[key] = at;
    return {};
}

struct VariableCalls {
    using Result = Os::Result;

    static Result find(Os &os, Machine &m) {
        const auto it = os.m_vars.find(os.nameInOp1(m));
        if (it == os.m_vars.end()) {
            m.setFlags(kCarry);
            return Result::Done;
        }
        m.setReg(Reg::DE, it->second);
        m.setReg(Reg::HL, it->second);
        m.setReg(Reg::BC, std::uint16_t(m.reg(Reg::BC) & 0x00FF)); // B = 0: in RAM
        m.setA(std::uint8_t(it->first[0]));
        m.setFlags(0);
        return Result::Done;
    }
    static Result createReal(Os &os, Machine &m) { return os.create(m, 0x00, 9, false); }
    // A variable of type T, HL bytes long.
    template <std::uint8_t T> static Result createSized(Os &os, Machine &m) {
        return os.create(m, T, m.reg(Reg::HL), true);
    }
    // A list of HL elements (TI's System Routines: HL = the count, OP1 = the
    // list's name), real (type 01h, 9 bytes an element) or complex (0Dh, 18);
    // DE points to its count word, the elements after it.
    template <std::uint8_t Type, std::uint32_t Bytes> static Result createList(Os &os, Machine &m) {
        const std::uint32_t count = m.reg(Reg::HL), bytes = Bytes * count;
        if (bytes > 0xFFFD) {
            m.stop("the calculator runs out of memory (ERR:MEMORY) in " + os.m_callName +
                   " for a list of " + std::to_string(count) + " elements");
            return Result::Wait;
        }
        if (os.create(m, Type, std::uint16_t(bytes), true) != Result::Done)
            return Result::Wait;
        m.writeWord(m.reg(Reg::DE), std::uint16_t(count));
        return Result::Done;
    }
    // Element HL (from 1) of the list whose count word DE points to (TI's
    // System Routines, _GetLToOP1 and _PutToL): its address and its size, 9
    // for a real list, 18 for a complex one; 0 after stopping the run when DE
    // is no list's or HL past its end.
    static std::pair<std::uint16_t, int> listElement(Os &os, Machine &m) {
        const std::uint16_t at = m.reg(Reg::DE), index = m.reg(Reg::HL);
        for (const auto &[name, address] : os.m_vars) {
            const std::uint8_t type = std::uint8_t(name[0]);
            if (address != at || (type != 0x01 && type != 0x0D))
                continue;
            const int size = type == 0x01 ? 9 : 18, count = m.readWord(at);
            if (index == 0 || index > count) {
                m.stop("the program called " + os.m_callName + " at " + hex4(os.m_callFrom) +
                       " for element " + std::to_string(index) + " of a list of " +
                       std::to_string(count));
                return {0, 0};
            }
            return {std::uint16_t(at + 2 + size * (index - 1)), size};
        }
        m.stop("the program called " + os.m_callName + " at " + hex4(os.m_callFrom) + " with DE " +
               hex4(at) + ", where no list's data starts");
        return {0, 0};
    }
    // OP1 = the element (a complex one's real part in OP1, its imaginary in OP2).
    static Result getLToOP1(Os &os, Machine &m) {
        const auto [from, size] = listElement(os, m);
        if (!size)
            return Result::Wait;
        for (int i = 0; i < size; ++i)
            m.write(std::uint16_t(ram::op1 + (i < 9 ? i : i + 2)), m.read(std::uint16_t(from + i)));
        return Result::Done;
    }
    static Result putToL(Os &os, Machine &m) {
        const auto [to, size] = listElement(os, m);
        if (!size)
            return Result::Wait;
        for (int i = 0; i < size; ++i)
            m.write(std::uint16_t(to + i), m.read(std::uint16_t(ram::op1 + (i < 9 ? i : i + 2))));
        return Result::Done;
    }
    // The variable's memory is given back: a real is its 9 bytes, the others
    // their size word and data. _DelVarArc deletes a variable wherever it is
    // (TI-83 Plus SDK); here every variable is in RAM.
    static Result deleteVar(Os &os, Machine &m) {
        const std::uint16_t at = m.reg(Reg::DE);
        for (const auto &[name, address] : os.m_vars)
            if (address == at) {
                const int size = variableSize(m, std::uint8_t(name[0]), at);
                os.removeMemory(m, at, std::uint16_t(std::min(size, os.m_heap - at)));
                break;
            }
        return Result::Done;
    }
    // _Arc_Unarc moves the variable named in OP1 between RAM and the
    // archive. This calculator has no Flash to archive to: the variable
    // stays in RAM, where _ChkFindSym finds it (B = 0), as after unarchiving;
    // one that does not exist stops the program with ERR:UNDEFINED.
    static Result arcUnarc(Os &os, Machine &m) {
        if (os.m_vars.find(os.nameInOp1(m)) == os.m_vars.end())
            return os.calculatorError(m, "ERR:UNDEFINED", "no variable of that name exists");
        m.idle(cost::kCall);
        return Result::Done;
    }
    static Result enoughMem(Os &os, Machine &m) {
        m.setReg(Reg::DE, m.reg(Reg::HL));
        m.setFlags(os.m_heap + m.reg(Reg::HL) > kHeapEnd ? kCarry : 0);
        return Result::Done;
    }
    static Result memChk(Os &os, Machine &m) {
        m.setReg(Reg::HL, std::uint16_t(kHeapEnd - os.m_heap));
        return Result::Done;
    }
    // Room made inside the variables' memory (HL bytes at DE) or taken out of
    // it (DE bytes at HL): what lies above moves, and so do the variables.
    static Result insertMem(Os &os, Machine &m) {
        const std::uint16_t at = m.reg(Reg::DE), size = m.reg(Reg::HL);
        if (at < kHeapStart || at > os.m_heap)
            return os.outsideVariables(m, at);
        if (os.m_heap + size > kHeapEnd) {
            m.stop("the calculator runs out of memory (ERR:MEMORY) in " + os.m_callName);
            return Result::Wait;
        }
        m.idle(std::uint64_t(os.m_heap - at + size) * cost::kByte);
        for (int a = os.m_heap - 1; a >= at; --a)
            m.write(std::uint16_t(a + size), m.read(std::uint16_t(a)));
        for (int i = 0; i < size; ++i)
            m.write(std::uint16_t(at + i), 0);
        os.m_heap = std::uint16_t(os.m_heap + size);
        for (auto &[name, address] : os.m_vars)
            if (address >= at)
                address = std::uint16_t(address + size);
        return Result::Done;
    }
    static Result delMem(Os &os, Machine &m) {
        const std::uint16_t at = m.reg(Reg::HL), size = m.reg(Reg::DE);
        if (at < kHeapStart || at + size > os.m_heap)
            return os.outsideVariables(m, at);
        os.removeMemory(m, at, size);
        return Result::Done;
    }
    static Result ldHLind(Os &, Machine &m) {
        const std::uint16_t v = m.readWord(m.reg(Reg::HL));
        m.setReg(Reg::HL, v);
        m.setA(std::uint8_t(v));
        return Result::Done;
    }
    // The real variables X, Y, T and R by their tokens: the name to OP1, and
    // storing and recalling OP1.
    template <std::uint8_t T> static Result letterName(Os &, Machine &m) {
        for (int i = 0; i < 9; ++i)
            m.write(std::uint16_t(ram::op1 + i), i == 1 ? T : 0);
        return Result::Done;
    }
    template <std::uint8_t T> static Result storeLetter(Os &os, Machine &m) {
        const TiFloat value = os.opFloat(m, 1);
        const std::string key{char(0), char(T)};
        if (!os.m_vars.count(key)) {
            m.write(std::uint16_t(ram::op1 + 1), T);
            m.write(std::uint16_t(ram::op1 + 2), 0);
            if (os.create(m, 0x00, 9, false) != Result::Done)
                return Result::Wait;
        }
        for (std::size_t i = 0; i < value.size(); ++i)
            m.write(std::uint16_t(os.m_vars[key] + i), value[i]);
        os.setOp(m, 1, value);
        return Result::Done;
    }
    template <std::uint8_t T> static Result recallLetter(Os &os, Machine &m) {
        const auto it = os.m_vars.find(std::string{char(0), char(T)});
        TiFloat value = fromInt(0);
        if (it != os.m_vars.end())
            for (std::size_t i = 0; i < value.size(); ++i)
                value[i] = m.read(std::uint16_t(it->second + i));
        os.setOp(m, 1, value);
        return Result::Done;
    }
    // The real on top of the floating-point stack goes to the variable named
    // in OP1, which is made when it does not exist yet; OP1 gets the value.
    static Result stoOther(Os &os, Machine &m) {
        const std::uint16_t top = std::uint16_t(m.readWord(ram::fps) - 9);
        if (top < m.readWord(ram::fpBase) || top > m.readWord(ram::fps)) {
            m.stop("the program stored from the empty floating-point stack (_StoOther at " +
                   hex4(os.m_callFrom) + ")");
            return Result::Wait;
        }
        if ((m.read(ram::op1) & 0x1F) != 0)
            return os.calculatorError(m, "ERR:DATA TYPE",
                                      "the name in OP1 is not a real variable's");
        TiFloat value;
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = m.read(std::uint16_t(top + i));
        m.writeWord(ram::fps, top);
        if (!os.m_vars.count(os.nameInOp1(m)) && os.create(m, 0x00, 9, false) != Result::Done)
            return Result::Wait;
        const std::uint16_t at = os.m_vars[os.nameInOp1(m)];
        for (std::size_t i = 0; i < value.size(); ++i)
            m.write(std::uint16_t(at + i), value[i]);
        os.setOp(m, 1, value);
        return Result::Done;
    }
    static Result rclVarSym(Os &os, Machine &m) {
        const auto it = os.m_vars.find(os.nameInOp1(m));
        if (it == os.m_vars.end())
            return os.calculatorError(m, "ERR:UNDEFINED");
        for (int i = 0; i < 9; ++i)
            m.write(std::uint16_t(ram::op1 + i), m.read(std::uint16_t(it->second + i)));
        return Result::Done;
    }

    static constexpr Os::NamedCall kCalls[] = {
        {"_FindSym", find},
        {"_ChkFindSym", find},
        {"_CreateReal", createReal},
        {"_CreateProg", createSized<0x05>},
        {"_CreateProtProg", createSized<0x06>},
        {"_CreateAppVar", createSized<0x15>},
        {"_CreateStrng", createSized<0x04>},
        {"_CreateRList", createList<0x01, 9>},
        {"_CreateCList", createList<0x0D, 18>},
        {"_GetLToOP1", getLToOP1},
        {"_PutToL", putToL},
        {"_DelVar", deleteVar},
        {"_DelVarArc", deleteVar},
        {"_Arc_Unarc", arcUnarc},
        {"_EnoughMem", enoughMem},
        {"_MemChk", memChk},
        {"_InsertMem", insertMem},
        {"_DelMem", delMem},
        {"_LdHLind", ldHLind},
        {"_XName", letterName<0x58>},
        {"_YName", letterName<0x59>},
        {"_TName", letterName<0x54>},
        {"_RName", letterName<0x52>},
        {"_StoX", storeLetter<0x58>},
        {"_StoY", storeLetter<0x59>},
        {"_StoT", storeLetter<0x54>},
        {"_StoR", storeLetter<0x52>},
        {"_RclX", recallLetter<0x58>},
        {"_RclY", recallLetter<0x59>},
        {"_RclT", recallLetter<0x54>},
        {"_RclR", recallLetter<0x52>},
        {"_StoOther", stoOther},
        {"_RclVarSym", rclVarSym},
    };
};

void Os::addVariableCalls() {
    addCalls(std::begin(VariableCalls::kCalls), std::size(VariableCalls::kCalls));
}

} // namespace run
