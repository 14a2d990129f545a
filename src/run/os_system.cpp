// The rest of the OS calls public programs make: Ans, strings of keys, the
// boot code's version, number checks, Flash and applications (this
// calculator has none beyond the OS), the link port with no cable, the key
// hooks, and the entry points a program reaches with `call`.

#include "run/costs.h"
#include "run/os.h"

#include <string>

namespace run {

namespace {

constexpr std::uint16_t kKeyForStr = 0x9D76, kRawKeyHookPtr = 0x9B84, kGetKeyHookPtr = 0x9B88;
constexpr int kHookFlags2 = 0x34, kGetCscHookActive = 0, kRawKeyHookActive = 5;

// The text a key types, as the calculator's characters: digits, letters and
// signs; θ is 5Bh, the store arrow 1Ch, the raised minus 1Ah, the small E 1Bh.
std::string keyText(std::uint8_t key) {
    if (key >= 0x8E && key <= 0x97)
        return std::string(1, char('0' + key - 0x8E));
    if (key >= 0x9A && key <= 0xB3)
        return std::string(1, char('A' + key - 0x9A));
    switch (key) {
    case 0x80:
        return "+";
    case 0x81:
        return "-";
    case 0x82:
        return "*";
    case 0x83:
        return "/";
    case 0x84:
        return "^";
    case 0x85:
        return "(";
    case 0x86:
        return ")";
    case 0x87:
        return "[";
    case 0x88:
        return "]";
    case 0x8A:
        return "\x1C";
    case 0x8B:
        return ",";
    case 0x8C:
        return "\x1A";
    case 0x8D:
        return ".";
    case 0x98:
        return "\x1B";
    case 0x99:
        return " ";
    case 0xB7:
        return "sin(";
    case 0xB9:
        return "cos(";
    case 0xBB:
        return "tan(";
    case 0xBF:
        return "ln(";
    case 0xC1:
        return "log(";
    case 0xC6:
        return ":";
    case 0xCA:
        return "?";
    case 0xCB:
        return "\"";
    case 0xCC:
        return "\x5B";
    case 0xEC:
        return "{";
    case 0xED:
        return "}";
    case 0xEE:
        return "i";
    default:
        return {};
    }
}

} // namespace

void Os::addSystemCalls() {
    // Ans is 0 after a reset; _StoAns keeps OP1 there, _RclAns gives it back.
    on("_StoAns", [this](Machine &m) {
        m_ans = opFloat(m, 1);
        return Result::Done;
    });
    on("_RclAns", [this](Machine &m) {
        setOp(m, 1, m_ans);
        return Result::Done;
    });
    // OP1 = the name of Ans: a real variable named by the token tAns (72h).
    on("_AnsName", [this](Machine &m) {
        setOp(m, 1, TiFloat{0x00, 0x72, 0, 0, 0, 0, 0, 0, 0});
        return Result::Done;
    });
    // A length-prefixed string of what key A types, at keyForStr; HL points to it.
    on("_KeyToString", [](Machine &m) {
        const std::string text = keyText(m.a());
        m.write(kKeyForStr, std::uint8_t(text.size()));
        for (std::size_t i = 0; i < text.size(); ++i)
            m.write(std::uint16_t(kKeyForStr + 1 + i), std::uint8_t(text[i]));
        m.setReg(Reg::HL, kKeyForStr);
        return Result::Done;
    });
    // The TI-83 Plus's boot code 1.00: A the major version, B the minor.
    // The OS's version, major in A and minor in B: 1.00 here, and on the
    // TI-84 Plus its last OS, 2.55, so that a program looking for a 2.xx OS
    // (the TI-84 Plus's) finds one.
    on("_GetBaseVer", [](Machine &m) {
        const bool is84 = m.model() == Model::Ti84Plus;
        m.setA(is84 ? 2 : 1);
        m.setReg(Reg::BC, std::uint16_t((is84 ? 55 : 0) << 8 | (m.reg(Reg::BC) & 0x00FF)));
        return Result::Done;
    });
    // A result beyond 1E99 is the calculator's overflow; below 1E-99 it is 0.
    on("_CkValidNum", [this](Machine &m) {
        const std::uint8_t exponent = m.read(std::uint16_t(ram::op1 + 1));
        if (m.read(std::uint16_t(ram::op1 + 2)) == 0)
            return Result::Done; // zero, whatever its exponent
        if (exponent > 0x80 + 99)
            return floatError(m, FloatError::Overflow);
        if (exponent < 0x80 - 99)
            setOp(m, 1, fromInt(0));
        return Result::Done;
    });
    on("_StrCopy", [](Machine &m) {
        std::uint16_t from = m.reg(Reg::HL), to = m.reg(Reg::DE);
        for (int n = 0; n < 0xFFFF; ++n) {
            const std::uint8_t c = m.read(from++);
            m.write(to++, c);
            if (!c)
                break;
        }
        m.idle(std::uint64_t(from - m.reg(Reg::HL)) * cost::kByte);
        return Result::Done;
    });
    // The 768-byte picture at HL to the display, as _GrBufCpy does plotSScreen.
    on("_BufCpy", [](Machine &m) {
        m.idle(cost::kScreen);
        showPicture(m, m.reg(Reg::HL));
        return Result::Done;
    });
    // BC bytes of Flash page A from HL to DE. No Flash is modelled: the bytes
    // read as erased Flash does, FFh.
    on("_FlashToRam", [](Machine &m) {
        const std::uint16_t n = m.reg(Reg::BC), de = m.reg(Reg::DE);
        m.idle(std::uint64_t(n) * cost::kByte);
        for (std::uint16_t i = 0; i < n; ++i)
            m.write(std::uint16_t(de + i), 0xFF);
        m.setReg(Reg::HL, std::uint16_t(m.reg(Reg::HL) + n));
        m.setReg(Reg::DE, std::uint16_t(de + n));
        m.setReg(Reg::BC, 0);
        return Result::Done;
    });
    // No cable: the calculator gives up with its link error.
    const auto noCable = [this](Machine &m) {
        m.idle(Machine::kClockHz); // the OS's timeout
        return calculatorError(m, "ERR:LINK", "no cable is connected to this calculator");
    };
    on("_SendAByte", noCable);
    on("_RecAByteIO", noCable);
    // Hooks are kept where the OS keeps them (address, then page) with their
    // flag; this OS answers keys itself and calls none of them.
    const auto hook = [this](const char *name, std::uint16_t ptr, int bit, bool enable) {
        on(name, [=](Machine &m) {
            if (enable) {
                m.writeWord(ptr, m.reg(Reg::HL));
                m.write(std::uint16_t(ptr + 2), m.a());
            }
            m.setFlag(kHookFlags2, bit, enable);
            return Result::Done;
        });
    };
    hook("_EnableRawKeyHook", kRawKeyHookPtr, kRawKeyHookActive, true);
    hook("_DisableRawKeyHook", kRawKeyHookPtr, kRawKeyHookActive, false);
    hook("_EnableGetKeyHook", kGetKeyHookPtr, kGetCscHookActive, true);
    hook("_DisableGetKeyHook", kGetKeyHookPtr, kGetCscHookActive, false);
}

} // namespace run
