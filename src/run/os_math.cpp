// The arithmetic calls: whole numbers in HL, and the OS's 9-byte decimal
// floating point in the registers OP1-OP6 (11 bytes apart from 8478h) and on
// the floating-point stack.

#include "run/hex.h"
#include "run/os.h"

#include <iterator>
#include <string>

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
    case FloatError::NonReal:
        return "ERR:NONREAL ANS";
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

struct MathCalls {
    using Result = Os::Result;
    using Binary = FloatResult (*)(const TiFloat &, const TiFloat &);
    using Unary = TiFloat (*)(const TiFloat &);

    // Whole numbers in HL.
    static Result divHLBy10(Os &, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        m.setReg(Reg::HL, hl / 10);
        m.setA(std::uint8_t(hl % 10));
        return Result::Done;
    }
    static Result divHLByA(Os &, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        const std::uint8_t a = m.a();
        if (a == 0)
            return Result::Done;
        m.setReg(Reg::HL, std::uint16_t(hl / a));
        m.setA(std::uint8_t(hl % a));
        return Result::Done;
    }
    // Four bytes of OP1, big-endian, divided by DE: the quotient back in OP1,
    // the remainder in OP2, both big-endian.
    static Result div32By16(Os &os, Machine &m) {
        const std::uint32_t divisor = m.reg(Reg::DE);
        if (divisor == 0) {
            m.stop("the program divided by zero with _Div32By16 at " + hex4(os.m_callFrom));
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
    }
    static Result cpHLDE(Os &, Machine &m) {
        const int hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
        m.setFlags(std::uint8_t((hl == de ? kZ : 0) | (hl < de ? kC : 0)));
        return Result::Done;
    }
    static Result hTimesL(Os &, Machine &m) {
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) >> 8) * (m.reg(Reg::HL) & 0xFF));
        return Result::Done;
    }
    static Result hlTimes9(Os &, Machine &m) {
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) * 9));
        return Result::Done;
    }
    // OP1 = OP1 f OP2, or f(OP1); the calculator's error when f gives one.
    template <Binary F> static Result binary(Os &os, Machine &m) {
        return os.store(m, F(os.opFloat(m, 1), os.opFloat(m, 2)));
    }
    template <Unary F> static Result unary(Os &os, Machine &m) {
        return os.store(m, {F(os.opFloat(m, 1)), FloatError::None});
    }
    // OP1 = the smaller (Min) or larger (Max) of OP1 and OP2.
    template <int Sign> static Result minMax(Os &os, Machine &m) {
        if (compare(os.opFloat(m, 2), os.opFloat(m, 1)) == Sign)
            os.setOp(m, 1, os.opFloat(m, 2));
        return Result::Done;
    }
    // OPn's sign bit cleared: its absolute value.
    template <int Op> static Result clearSign(Os &, Machine &m) {
        m.write(ram::op(Op), m.read(ram::op(Op)) & 0x7F);
        return Result::Done;
    }
    static Result invOP2S(Os &os, Machine &m) {
        os.setOp(m, 2, negate(os.opFloat(m, 2)));
        return Result::Done;
    }
    static Result fpSquare(Os &os, Machine &m) {
        return os.store(m, mult(os.opFloat(m, 1), os.opFloat(m, 1)));
    }
    static Result fpRecip(Os &os, Machine &m) {
        return os.store(m, div(fromInt(1), os.opFloat(m, 1)));
    }
    static Result sqRoot(Os &os, Machine &m) { return os.store(m, sqroot(os.opFloat(m, 1))); }
    // OP1 = f(OP1), or the calculator's error (ERR:DOMAIN for ln 0).
    // The functions of OP1 below compute real numbers only: a complex number
    // (or anything else) there stops the run rather than giving the function
    // of its real part.
    static bool realInOP1(Os &os, Machine &m, int op = 1) {
        const std::uint8_t type = m.read(ram::op(op)) & 0x1F;
        if (type == 0)
            return true;
        m.stop("the program called " + os.m_callName + " at " + hex4(os.m_callFrom) + " with OP" +
               std::to_string(op) + " of type " + hex2(type) +
               (type == 0x0C ? " (a complex number)" : "") +
               "; this runner computes it for real numbers only");
        return false;
    }
    // OP1 = OP1 ^ OP2 (y to the x).
    static Result yToX(Os &os, Machine &m) {
        if (!realInOP1(os, m) || !realInOP1(os, m, 2))
            return Result::Wait;
        return os.store(m, power(os.opFloat(m, 1), os.opFloat(m, 2)));
    }
    template <FloatResult (*F)(const TiFloat &)> static Result fromOP1(Os &os, Machine &m) {
        if (!realInOP1(os, m))
            return Result::Wait;
        return os.store(m, F(os.opFloat(m, 1)));
    }
    // OP1 = OP1 f N.
    template <Binary F, int N> static Result withSmall(Os &os, Machine &m) {
        return os.store(m, F(os.opFloat(m, 1), fromInt(N)));
    }
    // The angle mode is the OS's: trigDeg (bit 2 of trigFlags, IY+0) set for
    // degrees. The calls named ...Rad work in radians whatever the mode.
    static Angle angleMode(const Machine &m) {
        return m.flag(flags::trigFlags, flags::trigDeg) ? Angle::Degrees : Angle::Radians;
    }
    template <FloatResult (*F)(const TiFloat &, Angle)> static Result inMode(Os &os, Machine &m) {
        if (!realInOP1(os, m))
            return Result::Wait;
        return os.store(m, F(os.opFloat(m, 1), angleMode(m)));
    }
    template <FloatResult (*F)(const TiFloat &, Angle)>
    static Result inRadians(Os &os, Machine &m) {
        if (!realInOP1(os, m))
            return Result::Wait;
        return os.store(m, F(os.opFloat(m, 1), Angle::Radians));
    }
    // OP1 = sin, OP2 = cos of OP1 in radians.
    static Result sinCosRad(Os &os, Machine &m) {
        if (!realInOP1(os, m))
            return Result::Wait;
        const TiFloat x = os.opFloat(m, 1);
        os.setOp(m, 2, cosine(x, Angle::Radians).value);
        return os.store(m, sine(x, Angle::Radians));
    }
    // OP1 = OP2 - OP1.
    static Result invSub(Os &os, Machine &m) {
        return os.store(m, sub(os.opFloat(m, 2), os.opFloat(m, 1)));
    }
    static Result absO1PAbsO2(Os &os, Machine &m) {
        return os.store(m, add(abs(os.opFloat(m, 1)), abs(os.opFloat(m, 2))));
    }
    // The flags of comparing |OP1| with |OP2|: Z equal, C below.
    static Result absO1O2Cp(Os &os, Machine &m) {
        const int c = compare(abs(os.opFloat(m, 1)), abs(os.opFloat(m, 2)));
        m.setFlags(std::uint8_t((c == 0 ? kZ : 0) | (c < 0 ? kC : 0)));
        return Result::Done;
    }
    static Result cpOP1OP2(Os &os, Machine &m) {
        const int c = compare(os.opFloat(m, 1), os.opFloat(m, 2));
        m.setFlags(std::uint8_t((c == 0 ? kZ : 0) | (c < 0 ? kC : 0)));
        return Result::Done;
    }
    template <int Op> static Result ckFP0(Os &os, Machine &m) {
        m.setFlags(isZero(os.opFloat(m, Op)) ? kZ : 0);
        return Result::Done;
    }
    static Result ckOP1Pos(Os &os, Machine &m) {
        m.setFlags(isNegative(os.opFloat(m, 1)) ? 0 : kZ);
        return Result::Done;
    }
    static Result ckOP1Real(Os &, Machine &m) {
        const std::uint8_t type = m.read(ram::op1) & 0x1F;
        m.setA(type);
        m.setFlags(type == 0 ? kZ : 0);
        return Result::Done;
    }
    // Z when OP1 holds a complex number (type 0Ch, CplxObj).
    static Result ckOP1Cplx(Os &, Machine &m) {
        m.setFlags((m.read(ram::op1) & 0x1F) == 0x0C ? kZ : 0);
        return Result::Done;
    }
    static Result ckInt(Os &os, Machine &m) {
        m.setFlags(isZero(frac(os.opFloat(m, 1))) ? kZ : 0);
        return Result::Done;
    }
    static Result ckPosInt(Os &os, Machine &m) {
        const TiFloat v = os.opFloat(m, 1);
        m.setFlags(isZero(frac(v)) && !isNegative(v) && !isZero(v) ? kZ : 0);
        return Result::Done;
    }
    // OPn = the real number V.
    template <int Op, int V> static Result set(Os &os, Machine &m) {
        os.setOp(m, Op, fromInt(V));
        return Result::Done;
    }
    template <int Op> static Result setXX(Os &os, Machine &m) {
        os.setOp(m, Op, fromInt(m.a()));
        return Result::Done;
    }
    static Result setXXXXOP2(Os &os, Machine &m) {
        os.setOp(m, 2, fromInt(m.reg(Reg::HL)));
        return Result::Done;
    }
    static Result convOP1(Os &os, Machine &m) {
        const IntResult r = toInt(trunc(os.opFloat(m, 1)));
        if (r.error != FloatError::None || r.value < 0 || r.value > 0xFFFF)
            return os.floatError(m, FloatError::Domain);
        m.setReg(Reg::DE, std::uint16_t(r.value));
        m.setA(std::uint8_t(r.value));
        return Result::Done;
    }
    // OP1 as the calculator writes it, at most A characters (14 for 0), to OP3.
    static std::string formatted(Os &os, Machine &m) {
        const int width = m.a() ? m.a() : 14;
        const std::string text = formatReal(os.opFloat(m, 1), width);
        for (std::size_t i = 0; i <= text.size(); ++i)
            m.write(std::uint16_t(ram::op(3) + i), i < text.size() ? std::uint8_t(text[i]) : 0);
        m.setReg(Reg::BC, std::uint16_t(text.size()));
        return text;
    }
    static Result formReal(Os &os, Machine &m) {
        formatted(os, m);
        return Result::Done;
    }
    static Result dispOP1A(Os &os, Machine &m) {
        for (char c : formatted(os, m))
            os.putC(m, std::uint8_t(c));
        return Result::Done;
    }
    // Disp's way with a number: right-justified on the cursor's row (as the
    // home screen shows it, at most 16 characters), the cursor then at the
    // start of the next row, scrolling at the last.
    static Result formDisp(Os &os, Machine &m) {
        const std::uint8_t type = m.read(ram::op1) & 0x1F;
        if (type != 0) {
            m.stop("the program called _FormDisp with OP1 of type " + hex2(type) + " at " +
                   hex4(os.m_callFrom) + "; this runner shows only real numbers with it");
            return Result::Wait;
        }
        const std::string text = formatReal(os.opFloat(m, 1), 16);
        m.write(ram::curCol, std::uint8_t(16 - text.size()));
        for (char c : text)
            os.putC(m, std::uint8_t(c));
        return Result::Done;
    }
    // L'Ecuyer's combined generator (CACM 31(6), 1988, the TI-83 Plus's rand):
    // two multiplicative generators whose states the OS keeps as reals at
    // seed1 and seed2, combined as frac((s1 - s2) / (m1 - 1) + 1).
    static Result random(Os &os, Machine &m) {
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
        os.setOp(m, 1, fromDouble(double(z) / double(m1 - 1)));
        return Result::Done;
    }
    static Result randInit(Os &os, Machine &m) {
        os.resetSeeds(m);
        return Result::Done;
    }

    static constexpr Os::NamedCall kCalls[] = {
        {"_DivHLBy10", divHLBy10},
        {"_DivHLByA", divHLByA},
        {"_Div32By16", div32By16},
        {"_CpHLDE", cpHLDE},
        {"_HLTimes9", hlTimes9},
        {"_HTimesL", hTimesL},
        {"_FPAdd", binary<add>},
        {"_FPSub", binary<sub>},
        {"_FPMult", binary<mult>},
        {"_FPDiv", binary<div>},
        {"_Intgr", unary<intgr>},
        {"_Int", unary<intgr>}, // int(: the greatest whole number not above, as _Intgr
        {"_Trunc", unary<trunc>},
        {"_Frac", unary<frac>},
        {"_InvOP1S", unary<negate>},
        {"_InvOP2S", invOP2S},
        {"_Min", minMax<-1>},
        {"_Max", minMax<1>},
        {"_ClrOP1S", clearSign<1>},
        {"_ClrOP2S", clearSign<2>},
        {"_FPSquare", fpSquare},
        {"_FPRecip", fpRecip},
        {"_SqRoot", sqRoot},
        {"_LnX", fromOP1<lnx>},
        {"_LogX", fromOP1<logx>},
        {"_EToX", fromOP1<etox>},
        {"_TenX", fromOP1<tenx>},
        {"_YToX", yToX},
        {"_Sin", inMode<sine>},
        {"_Cos", inMode<cosine>},
        {"_Tan", inMode<tangent>},
        {"_ASin", inMode<arcsine>},
        {"_ACos", inMode<arccosine>},
        {"_ATan", inMode<arctangent>},
        {"_SinCosRad", sinCosRad},
        {"_ASinRad", inRadians<arcsine>},
        {"_ACosRad", inRadians<arccosine>},
        {"_ATanRad", inRadians<arctangent>},
        {"_SinH", fromOP1<hypSine>},
        {"_CosH", fromOP1<hypCosine>},
        {"_TanH", fromOP1<hypTangent>},
        {"_ASinH", fromOP1<hypArcsine>},
        {"_ACosH", fromOP1<hypArccosine>},
        {"_ATanH", fromOP1<hypArctangent>},
        {"_DToR", fromOP1<degreesToRadians>},
        {"_RToD", fromOP1<radiansToDegrees>},
        {"_InvSub", invSub},
        {"_AbsO1PAbsO2", absO1PAbsO2},
        {"_AbsO1O2Cp", absO1O2Cp},
        {"_CkOP1Cplx", ckOP1Cplx},
        {"_Plus1", withSmall<add, 1>},
        {"_Minus1", withSmall<sub, 1>},
        {"_Times2", withSmall<mult, 2>},
        {"_TimesPt5", withSmall<div, 2>},
        {"_CpOP1OP2", cpOP1OP2},
        {"_CkOP1FP0", ckFP0<1>},
        {"_CkOP1Pos", ckOP1Pos},
        {"_CkOP2FP0", ckFP0<2>},
        {"_CkOP1Real", ckOP1Real},
        {"_CkInt", ckInt},
        {"_CkPosInt", ckPosInt},
        {"_OP1Set0", set<1, 0>},
        {"_OP1Set1", set<1, 1>},
        {"_OP1Set2", set<1, 2>},
        {"_OP1Set3", set<1, 3>},
        {"_OP1Set4", set<1, 4>},
        {"_OP2Set0", set<2, 0>},
        {"_OP2Set1", set<2, 1>},
        {"_OP2Set2", set<2, 2>},
        {"_OP2Set3", set<2, 3>},
        {"_OP2Set4", set<2, 4>},
        {"_OP2Set5", set<2, 5>},
        {"_OP2Set8", set<2, 8>},
        {"_OP2Set60", set<2, 60>},
        {"_OP2SetA", set<2, 10>},
        {"_OP3Set0", set<3, 0>},
        {"_OP3Set1", set<3, 1>},
        {"_OP3Set2", set<3, 2>},
        {"_OP4Set0", set<4, 0>},
        {"_OP4Set1", set<4, 1>},
        {"_OP5Set0", set<5, 0>},
        {"_SetXXOP1", setXX<1>},
        {"_SetXXOP2", setXX<2>},
        {"_SetXXXXOP2", setXXXXOP2},
        {"_ConvOP1", convOP1},
        {"_FormReal", formReal},
        {"_DispOP1A", dispOP1A},
        {"_FormDisp", formDisp},
        {"_Random", random},
        {"_RandInit", randInit},
    };
};

void Os::addMathCalls() {
    addCalls(std::begin(MathCalls::kCalls), std::size(MathCalls::kCalls));
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
