// The key calls: _GetCSC reports a new key press as a scan code at once;
// _GetKey waits for one (2ND and ALPHA shift the next key) and returns the
// OS's key code.

#include "run/os.h"

#include <cstdio>
#include <iterator>

namespace run {

namespace {

struct KeyCode {
    int scan, plain, second, alpha;
};
// k* codes of the TI-83 Plus's keypad (TI's include, "Keypress Equates"):
// plain, after 2ND (the key's yellow label), after ALPHA (its green one);
// 0: as plain. 2ND with the up and down arrows sets the contrast instead.
const KeyCode kCodes[] = {
    {sk::Right, 0x01, 0x0F, 0},     {sk::Left, 0x02, 0x0E, 0},     {sk::Up, 0x03, 0, 0x07},
    {sk::Down, 0x04, 0, 0x08},      {sk::Enter, 0x05, 0x0D, 0x06}, {sk::Clear, 0x09, 0, 0},
    {sk::Del, 0x0A, 0x0B, 0},       {sk::Mode, 0x45, 0x40, 0},     {sk::Graph, 0x44, 0x4A, 0},
    {sk::Trace, 0x5A, 0x3B, 0},     {sk::Zoom, 0x2E, 0x57, 0},     {sk::Window, 0x48, 0x4B, 0},
    {sk::YEqu, 0x49, 0x30, 0},      {sk::Math, 0x32, 0x33, 0x9A},  {sk::Apps, 0x2C, 0x39, 0x9B},
    {sk::Prgm, 0x2D, 0x2F, 0x9C},   {sk::Vars, 0x35, 0x38, 0},     {sk::Stat, 0x31, 0x3A, 0},
    {sk::XTThetaN, 0xB4, 0x41, 0},  {sk::Recip, 0xB6, 0x37, 0x9D}, {sk::Sin, 0xB7, 0xB8, 0x9E},
    {sk::Cos, 0xB9, 0xBA, 0x9F},    {sk::Tan, 0xBB, 0xBC, 0xA0},   {sk::Power, 0x84, 0xB5, 0xA1},
    {sk::Square, 0xBD, 0xBE, 0xA2}, {sk::Comma, 0x8B, 0x98, 0xA3}, {sk::LParen, 0x85, 0xEC, 0xA4},
    {sk::RParen, 0x86, 0xED, 0xA5}, {sk::Div, 0x83, 0xEF, 0xA6},   {sk::Log, 0xC1, 0xC2, 0xA7},
    {sk::Seven, 0x95, 0xF9, 0xA8},  {sk::Eight, 0x96, 0xFA, 0xA9}, {sk::Nine, 0x97, 0xFB, 0xAA},
    {sk::Mul, 0x82, 0x87, 0xAB},    {sk::Ln, 0xBF, 0xC0, 0xAC},    {sk::Four, 0x92, 0xF6, 0xAD},
    {sk::Five, 0x93, 0xF7, 0xAE},   {sk::Six, 0x94, 0xF8, 0xAF},   {sk::Sub, 0x81, 0x88, 0xB0},
    {sk::Store, 0x8A, 0x0C, 0xB1},  {sk::One, 0x8F, 0xF3, 0xB2},   {sk::Two, 0x90, 0xF4, 0xB3},
    {sk::Three, 0x91, 0xF5, 0xCC},  {sk::Zero, 0x8E, 0x3E, 0x99},  {sk::DecPnt, 0x8D, 0xEE, 0xC6},
    {sk::Chs, 0x8C, 0xC5, 0xCA},    {sk::Add, 0x80, 0x36, 0xCB},
};

} // namespace

int Os::getKeyCode(int scan, bool second, bool alpha) const {
    for (const KeyCode &k : kCodes)
        if (k.scan == scan) {
            if (second && k.second)
                return k.second;
            if (alpha && k.alpha)
                return k.alpha;
            return k.plain;
        }
    return 0;
}

// A key list that has run out while the program waits for a key ends the run.
Os::Result Os::waitForKey(Machine &m) {
    char b[200];
    std::snprintf(b, sizeof b,
                  "the program waits for a key (%s at %04Xh) and the list of keys has run out",
                  m_callName.c_str(), m_callFrom);
    m.stop(b);
    return Result::Wait;
}

struct KeyCalls {
    using Result = Os::Result;

    static Result getCSC(Os &os, Machine &m) {
        const std::optional<int> key = m.keypad().takePress(m.time6());
        if (!key && m.keypad().scriptExhausted(m.time6()))
            return os.waitForKey(m);
        const int code = key && *key != sk::On ? *key : 0;
        m.setA(std::uint8_t(code));
        m.write(ram::kbdScanCode, 0);
        m.setReg(Reg::HL, 0);
        return Result::Done;
    }
    // 2ND then ALPHA locks ALPHA on until ALPHA again; ON gives 0 with
    // onInterrupt set (TI-83 Plus SDK, GetKey: "[ON] key ... returns 0").
    static Result getKey(Os &os, Machine &m) {
        m.enableInterrupts();
        const std::optional<int> key = m.keypad().takePress(m.time6());
        if (!key)
            return os.waitForKey(m);
        if (*key == 0)
            return Result::Wait;
        const bool second = m.flag(flags::shiftFlags, flags::shift2nd);
        const bool alpha = m.flag(flags::shiftFlags, flags::shiftAlpha);
        const bool locked = m.flag(flags::shiftFlags, flags::shiftALock);
        const auto shift = [&m](bool toSecond, bool toAlpha, bool toLocked) {
            m.setFlag(flags::shiftFlags, flags::shift2nd, toSecond);
            m.setFlag(flags::shiftFlags, flags::shiftAlpha, toAlpha);
            m.setFlag(flags::shiftFlags, flags::shiftALock, toLocked);
        };
        if (*key == sk::On) {
            m.setFlag(flags::onFlags, flags::onInterrupt, true);
            shift(false, locked, locked);
            m.setA(0);
            m.write(ram::kbdKey, 0);
            m.setReg(Reg::HL, 0);
            return Result::Done;
        }
        if (*key == sk::Second) {
            shift(!second, alpha, locked);
            return Result::Wait;
        }
        if (*key == sk::Alpha) {
            if (second)
                shift(false, true, true);
            else if (alpha)
                shift(false, false, false);
            else
                shift(false, true, false);
            return Result::Wait;
        }
        if (second && (*key == sk::Up || *key == sk::Down)) {
            os.setContrast(m, m.read(ram::contrast) + (*key == sk::Up ? 1 : -1));
            shift(false, alpha, locked);
            return Result::Wait;
        }
        shift(false, locked, locked);
        const int code = os.getKeyCode(*key, second, alpha);
        m.setA(std::uint8_t(code));
        m.write(ram::kbdKey, std::uint8_t(code));
        m.setReg(Reg::HL, 0);
        return Result::Done;
    }

    static constexpr Os::NamedCall kCalls[] = {
        {"_GetCSC", getCSC},
        {"_GetKey", getKey},
    };
};

void Os::addKeyCalls() {
    addCalls(std::begin(KeyCalls::kCalls), std::size(KeyCalls::kCalls));
}

// The OS keeps the contrast 0-39 in RAM and sends it to the display as
// commands D8h-FFh (WikiTI, 83Plus:Ports:10: C0h-FFh set the contrast).
void Os::setContrast(Machine &m, int contrast) {
    contrast = contrast < 0 ? 0 : contrast > 39 ? 39 : contrast;
    m.write(ram::contrast, std::uint8_t(contrast));
    m.lcd().command(std::uint8_t(0xD8 + contrast));
}

} // namespace run
