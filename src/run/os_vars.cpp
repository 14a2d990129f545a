// Variables, for a calculator whose memory starts empty: programs create
// them (reals, programs, AppVars, strings), find them again by the name in
// OP1, grow and shrink them, and store to and recall from real variables. Their
// data lives in RAM page 0 above C000h, where programs may read and write.

#include "run/costs.h"
#include "run/hex.h"
#include "run/os.h"

#include <algorithm>

namespace run {

namespace {

constexpr std::uint16_t kHeapStart = 0xC000, kHeapEnd = 0xF000;
constexpr std::uint8_t kC = 0x01;

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
        const int size = v.type == 0 ? 9 : m.readWord(at) + 2;
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

void Os::addVariableCalls() {
    const auto find = [this](Machine &m) {
        const auto it = m_vars.find(nameInOp1(m));
        if (it == m_vars.end()) {
            m.setFlags(kC);
            return Result::Done;
        }
        m.setReg(Reg::DE, it->second);
        m.setReg(Reg::HL, it->second);
        m.setReg(Reg::BC, std::uint16_t(m.reg(Reg::BC) & 0x00FF)); // B = 0: in RAM
        m.setA(std::uint8_t(it->first[0]));
        m.setFlags(0);
        return Result::Done;
    };
    on("_FindSym", find);
    on("_ChkFindSym", find);
    on("_CreateReal", [this](Machine &m) { return create(m, 0x00, 9, false); });
    on("_CreateProg", [this](Machine &m) { return create(m, 0x05, m.reg(Reg::HL), true); });
    on("_CreateProtProg", [this](Machine &m) { return create(m, 0x06, m.reg(Reg::HL), true); });
    on("_CreateAppVar", [this](Machine &m) { return create(m, 0x15, m.reg(Reg::HL), true); });
    on("_CreateStrng", [this](Machine &m) { return create(m, 0x04, m.reg(Reg::HL), true); });
    // The variable's memory is given back: a real is its 9 bytes, the others
    // their size word and data.
    const auto deleteVar = [this](Machine &m) {
        const std::uint16_t at = m.reg(Reg::DE);
        for (const auto &[name, address] : m_vars)
            if (address == at) {
                const int size = name[0] == 0 ? 9 : m.readWord(at) + 2;
                removeMemory(m, at, std::uint16_t(std::min(size, m_heap - at)));
                break;
            }
        return Result::Done;
    };
    on("_DelVar", deleteVar);
    // _DelVarArc deletes a variable wherever it is (TI-83 Plus SDK); here
    // every variable is in RAM.
    on("_DelVarArc", deleteVar);
    // _Arc_Unarc moves the variable named in OP1 between RAM and the
    // archive. This calculator has no Flash to archive to: the variable
    // stays in RAM, where _ChkFindSym finds it (B = 0), as after unarchiving;
    // one that does not exist stops the program with ERR:UNDEFINED.
    on("_Arc_Unarc", [this](Machine &m) {
        if (m_vars.find(nameInOp1(m)) == m_vars.end())
            return calculatorError(m, "ERR:UNDEFINED", "no variable of that name exists");
        m.idle(cost::kCall);
        return Result::Done;
    });
    on("_EnoughMem", [this](Machine &m) {
        m.setReg(Reg::DE, m.reg(Reg::HL));
        m.setFlags(m_heap + m.reg(Reg::HL) > kHeapEnd ? kC : 0);
        return Result::Done;
    });
    on("_MemChk", [this](Machine &m) {
        m.setReg(Reg::HL, std::uint16_t(kHeapEnd - m_heap));
        return Result::Done;
    });
    // Room made inside the variables' memory (HL bytes at DE) or taken out of
    // it (DE bytes at HL): what lies above moves, and so do the variables.
    on("_InsertMem", [this](Machine &m) {
        const std::uint16_t at = m.reg(Reg::DE), size = m.reg(Reg::HL);
        if (at < kHeapStart || at > m_heap)
            return outsideVariables(m, at);
        if (m_heap + size > kHeapEnd) {
            m.stop("the calculator runs out of memory (ERR:MEMORY) in " + m_callName);
            return Result::Wait;
        }
        m.idle(std::uint64_t(m_heap - at + size) * cost::kByte);
        for (int a = m_heap - 1; a >= at; --a)
            m.write(std::uint16_t(a + size), m.read(std::uint16_t(a)));
        for (int i = 0; i < size; ++i)
            m.write(std::uint16_t(at + i), 0);
        m_heap = std::uint16_t(m_heap + size);
        for (auto &[name, address] : m_vars)
            if (address >= at)
                address = std::uint16_t(address + size);
        return Result::Done;
    });
    on("_DelMem", [this](Machine &m) {
        const std::uint16_t at = m.reg(Reg::HL), size = m.reg(Reg::DE);
        if (at < kHeapStart || at + size > m_heap)
            return outsideVariables(m, at);
        removeMemory(m, at, size);
        return Result::Done;
    });
    on("_LdHLind", [](Machine &m) {
        const std::uint16_t v = m.readWord(m.reg(Reg::HL));
        m.setReg(Reg::HL, v);
        m.setA(std::uint8_t(v));
        return Result::Done;
    });
    // The real variables X, Y, T and R by their tokens.
    for (const auto &[letter, token] :
         {std::pair<char, std::uint8_t>{'X', 0x58}, {'Y', 0x59}, {'T', 0x54}, {'R', 0x52}}) {
        const std::uint8_t t = token;
        const auto setName = [t](Machine &m) {
            for (int i = 0; i < 9; ++i)
                m.write(std::uint16_t(ram::op1 + i), i == 1 ? t : 0);
        };
        on((std::string("_") + letter + "Name").c_str(), [setName](Machine &m) {
            setName(m);
            return Result::Done;
        });
        on((std::string("_Sto") + letter).c_str(), [this, t](Machine &m) {
            const TiFloat value = opFloat(m, 1);
            const std::string key{char(0), char(t)};
            if (!m_vars.count(key)) {
                m.write(std::uint16_t(ram::op1 + 1), t);
                m.write(std::uint16_t(ram::op1 + 2), 0);
                if (create(m, 0x00, 9, false) != Result::Done)
                    return Result::Wait;
            }
            for (std::size_t i = 0; i < value.size(); ++i)
                m.write(std::uint16_t(m_vars[key] + i), value[i]);
            setOp(m, 1, value);
            return Result::Done;
        });
        on((std::string("_Rcl") + letter).c_str(), [this, t](Machine &m) {
            const auto it = m_vars.find(std::string{char(0), char(t)});
            TiFloat value = fromInt(0);
            if (it != m_vars.end())
                for (std::size_t i = 0; i < value.size(); ++i)
                    value[i] = m.read(std::uint16_t(it->second + i));
            setOp(m, 1, value);
            return Result::Done;
        });
    }
    // The real on top of the floating-point stack goes to the variable named
    // in OP1, which is made when it does not exist yet; OP1 gets the value.
    on("_StoOther", [this](Machine &m) {
        const std::uint16_t top = std::uint16_t(m.readWord(ram::fps) - 9);
        if (top < m.readWord(ram::fpBase) || top > m.readWord(ram::fps)) {
            m.stop("the program stored from the empty floating-point stack (_StoOther at " +
                   hex4(m_callFrom) + ")");
            return Result::Wait;
        }
        if ((m.read(ram::op1) & 0x1F) != 0)
            return calculatorError(m, "ERR:DATA TYPE", "the name in OP1 is not a real variable's");
        TiFloat value;
        for (std::size_t i = 0; i < value.size(); ++i)
            value[i] = m.read(std::uint16_t(top + i));
        m.writeWord(ram::fps, top);
        if (!m_vars.count(nameInOp1(m)) && create(m, 0x00, 9, false) != Result::Done)
            return Result::Wait;
        const std::uint16_t at = m_vars[nameInOp1(m)];
        for (std::size_t i = 0; i < value.size(); ++i)
            m.write(std::uint16_t(at + i), value[i]);
        setOp(m, 1, value);
        return Result::Done;
    });
    on("_RclVarSym", [this](Machine &m) {
        const auto it = m_vars.find(nameInOp1(m));
        if (it == m_vars.end())
            return calculatorError(m, "ERR:UNDEFINED");
        for (int i = 0; i < 9; ++i)
            m.write(std::uint16_t(ram::op1 + i), m.read(std::uint16_t(it->second + i)));
        return Result::Done;
    });
}

} // namespace run
