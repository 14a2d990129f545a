// The arithmetic calls: whole numbers in HL, and the OS's 9-byte decimal
// floating point in the registers OP1-OP6 (11 bytes apart from 8478h) and on
// the floating-point stack.

#include "run/hex.h"
#include "run/os.h"


namespace run {

namespace {

const char *errorName(FloatError e) {
    switch (e) {
    case FloatError::Overflow:
        return "ERR:OVERFLOW";
    case FloatError::DivideByZero:
        return "ERR:DIVIDE BY 0";
    case FloatError::Domain:
        return "ERR:DOMAIN";
    case FloatError::None:
        break;
    }
    return "ERR:DATA TYPE";
}

constexpr std::uint8_t kZ = 0x40, kC = 0x01;

} // namespace

TiFloat Os::opFloat(const Machine &m, int n) const {
    TiFloat v;
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = m.read(std::uint16_t(ram::op(n) + i));
    return v;
}

void Os::setOp(Machine &m, int n, const TiFloat &v) {
    for (std::size_t i = 0; i < v.size(); ++i)
        m.write(std::uint16_t(ram::op(n) + i), v[i]);
}

// The calculator shows its error screen and the program is over.
Os::Result Os::floatError(Machine &m, FloatError e) {
    return calculatorError(m, errorName(e));
}

Os::Result Os::store(Machine &m, const FloatResult &r) {
    if (r.error != FloatError::None)
        return floatError(m, r.error);
    setOp(m, 1, r.value);
    return Result::Done;
}

void Os::addMathCalls() {
    on("_DivHLBy10", [](Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        m.setReg(Reg::HL, hl / 10);
        m.setA(std::uint8_t(hl % 10));
        return Result::Done;
    });
    on("_DivHLByA", [](Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        const std::uint8_t a = m.a();
        if (a == 0)
            return Result::Done;
        m.setReg(Reg::HL, std::uint16_t(hl / a));
        m.setA(std::uint8_t(hl % a));
        return Result::Done;
    });
    // Four bytes of OP1, big-endian, divided by DE: the quotient back in OP1,
    // the remainder in OP2, both big-endian.
    on("_Div32By16", [this](Machine &m) {
        const std::uint32_t divisor = m.reg(Reg::DE);
        if (divisor == 0) {
            m.stop("the program divided by zero with _Div32By16 at " + hex4(m_callFrom));
            return Result::Wait;
        }
        std::uint32_t dividend = 0;
        for (int i = 0; i < 4; ++i)
            dividend = dividend << 8 | m.read(std::uint16_t(ram::op1 + i));
        const std::uint32_t quotient = dividend / divisor, remainder = dividend % divisor;
        for (int i = 0; i < 4; ++i) {
            m.write(std::uint16_t(ram::op1 + i), std::uint8_t(quotient >> (24 - 8 * i)));
            m.write(std::uint16_t(ram::op(2) + i), std::uint8_t(remainder >> (24 - 8 * i)));
        }
        return Result::Done;
    });
    on("_CpHLDE", [](Machine &m) {
        const int hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
        m.setFlags(std::uint8_t((hl == de ? kZ : 0) | (hl < de ? kC : 0)));
        return Result::Done;
    });
    on("_HLTimes9", [](Machine &m) {
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) * 9));
        return Result::Done;
    });
    const auto binary = [this](const char *name,
                               FloatResult (*f)(const TiFloat &, const TiFloat &)) {
        on(name, [this, f](Machine &m) { return store(m, f(opFloat(m, 1), opFloat(m, 2))); });
    };
    binary("_FPAdd", add);
    binary("_FPSub", sub);
    binary("_FPMult", mult);
    binary("_FPDiv", div);
    const auto unary = [this](const char *name, TiFloat (*f)(const TiFloat &)) {
        on(name, [this, f](Machine &m) { return store(m, {f(opFloat(m, 1)), FloatError::None}); });
    };
    unary("_Intgr", intgr);
    unary("_Int", intgr); // int(: the greatest whole number not above, as _Intgr
    unary("_Trunc", trunc);
    unary("_Frac", frac);
    unary("_InvOP1S", negate);
    on("_InvOP2S", [this](Machine &m) {
        setOp(m, 2, negate(opFloat(m, 2)));
        return Result::Done;
    });
    on("_FPSquare", [this](Machine &m) { return store(m, mult(opFloat(m, 1), opFloat(m, 1))); });
    on("_FPRecip", [this](Machine &m) { return store(m, div(fromInt(1), opFloat(m, 1))); });
    on("_SqRoot", [this](Machine &m) { return store(m, sqroot(opFloat(m, 1))); });
    on("_Plus1", [this](Machine &m) { return store(m, add(opFloat(m, 1), fromInt(1))); });
    on("_Minus1", [this](Machine &m) { return store(m, sub(opFloat(m, 1), fromInt(1))); });
    on("_Times2", [this](Machine &m) { return store(m, mult(opFloat(m, 1), fromInt(2))); });
    on("_TimesPt5", [this](Machine &m) { return store(m, div(opFloat(m, 1), fromInt(2))); });
    on("_CpOP1OP2", [this](Machine &m) {
        const int c = compare(opFloat(m, 1), opFloat(m, 2));
        m.setFlags(std::uint8_t((c == 0 ? kZ : 0) | (c < 0 ? kC : 0)));
        return Result::Done;
    });
    on("_CkOP1FP0", [this](Machine &m) {
        m.setFlags(isZero(opFloat(m, 1)) ? kZ : 0);
        return Result::Done;
    });
    on("_CkOP1Pos", [this](Machine &m) {
        m.setFlags(isNegative(opFloat(m, 1)) ? 0 : kZ);
        return Result::Done;
    });
    on("_CkOP2FP0", [this](Machine &m) {
        m.setFlags(isZero(opFloat(m, 2)) ? kZ : 0);
        return Result::Done;
    });
    on("_CkOP1Real", [](Machine &m) {
        const std::uint8_t type = m.read(ram::op1) & 0x1F;
        m.setA(type);
        m.setFlags(type == 0 ? kZ : 0);
        return Result::Done;
    });
    on("_CkInt", [this](Machine &m) {
        m.setFlags(isZero(frac(opFloat(m, 1))) ? kZ : 0);
        return Result::Done;
    });
    on("_CkPosInt", [this](Machine &m) {
        const TiFloat v = opFloat(m, 1);
        m.setFlags(isZero(frac(v)) && !isNegative(v) && !isZero(v) ? kZ : 0);
        return Result::Done;
    });
    const auto setSmall = [this](const char *name, int op, int value) {
        on(name, [this, op, value](Machine &m) {
            setOp(m, op, fromInt(value));
            return Result::Done;
        });
    };
    setSmall("_OP1Set0", 1, 0), setSmall("_OP1Set1", 1, 1), setSmall("_OP1Set2", 1, 2);
    setSmall("_OP1Set3", 1, 3), setSmall("_OP1Set4", 1, 4), setSmall("_OP2Set0", 2, 0);
    setSmall("_OP2Set1", 2, 1), setSmall("_OP2Set2", 2, 2), setSmall("_OP2Set3", 2, 3);
    setSmall("_OP2Set4", 2, 4), setSmall("_OP2Set5", 2, 5), setSmall("_OP2Set8", 2, 8);
    setSmall("_OP2Set60", 2, 60), setSmall("_OP2SetA", 2, 10), setSmall("_OP3Set0", 3, 0);
    setSmall("_OP3Set1", 3, 1), setSmall("_OP3Set2", 3, 2), setSmall("_OP4Set0", 4, 0);
    setSmall("_OP4Set1", 4, 1), setSmall("_OP5Set0", 5, 0);
    on("_SetXXOP1", [this](Machine &m) {
        setOp(m, 1, fromInt(m.a()));
        return Result::Done;
    });
    on("_SetXXOP2", [this](Machine &m) {
        setOp(m, 2, fromInt(m.a()));
        return Result::Done;
    });
    on("_SetXXXXOP2", [this](Machine &m) {
        setOp(m, 2, fromInt(m.reg(Reg::HL)));
        return Result::Done;
    });
    on("_ConvOP1", [this](Machine &m) {
        const IntResult r = toInt(trunc(opFloat(m, 1)));
        if (r.error != FloatError::None || r.value < 0 || r.value > 0xFFFF)
            return floatError(m, FloatError::Domain);
        m.setReg(Reg::DE, std::uint16_t(r.value));
        m.setA(std::uint8_t(r.value));
        return Result::Done;
    });
    const auto formReal = [this](Machine &m) {
        const int width = m.a() ? m.a() : 14;
        const std::string text = formatReal(opFloat(m, 1), width);
        for (std::size_t i = 0; i <= text.size(); ++i)
            m.write(std::uint16_t(ram::op(3) + i), i < text.size() ? std::uint8_t(text[i]) : 0);
        m.setReg(Reg::BC, std::uint16_t(text.size()));
        return text;
    };
    on("_FormReal", [formReal](Machine &m) {
        formReal(m);
        return Result::Done;
    });
    on("_DispOP1A", [this, formReal](Machine &m) {
        for (char c : formReal(m))
            putC(m, std::uint8_t(c));
        return Result::Done;
    });
    // L'Ecuyer's combined generator (CACM 31(6), 1988, the TI-83 Plus's rand):
    // two multiplicative generators whose states the OS keeps as reals at
    // seed1 and seed2, combined as frac((s1 - s2) / (m1 - 1) + 1).
    on("_Random", [this](Machine &m) {
        constexpr std::int64_t m1 = 2147483563, m2 = 2147483399;
        const auto seed = [&m](std::uint16_t at, std::int64_t modulus) {
            TiFloat v;
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = m.read(std::uint16_t(at + i));
            const IntResult r = toInt(trunc(abs(v)));
            return r.error == FloatError::None ? r.value % modulus : 1;
        };
        const std::int64_t s1 = 40014 * seed(ram::seed1, m1) % m1;
        const std::int64_t s2 = 40692 * seed(ram::seed2, m2) % m2;
        const auto put = [&m](std::uint16_t at, std::int64_t n) {
            const TiFloat v = fromInt(n);
            for (std::size_t i = 0; i < v.size(); ++i)
                m.write(std::uint16_t(at + i), v[i]);
        };
        put(ram::seed1, s1);
        put(ram::seed2, s2);
        const std::int64_t z = ((s1 - s2) % (m1 - 1) + (m1 - 1)) % (m1 - 1);
        setOp(m, 1, fromDouble(double(z) / double(m1 - 1)));
        return Result::Done;
    });
    on("_RandInit", [this](Machine &m) {
        resetSeeds(m);
        return Result::Done;
    });
}

// After a reset the generator's states are L'Ecuyer's seeds 12345 and 67890,
// and the first rand is .9435974025. _RandInit puts them back.
void Os::resetSeeds(Machine &m) {
    for (const auto &[at, n] : {std::pair<std::uint16_t, std::int64_t>{ram::seed1, 12345},
                                std::pair<std::uint16_t, std::int64_t>{ram::seed2, 67890}}) {
        const TiFloat v = fromInt(n);
        for (std::size_t i = 0; i < v.size(); ++i)
            m.write(std::uint16_t(at + i), v[i]);
    }
}

} // namespace run
