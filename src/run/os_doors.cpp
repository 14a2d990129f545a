// Doors CS, and more of MirageOS's library. Doors CS (its developer's SDK and
// dcs7.inc) starts a program after `xor d / ret` (the bytes that stop it when
// run from the home screen), at its `jr`, and answers MirageOS's and Ion's
// routines at MirageOS's addresses (4083h on), with its own after them. Its
// windows and mouse (the GUI stack) and CALCnet are not drawn or answered
// here: a program calling them stops with the routine's name. MirageOS's
// text and rectangle routines are answered as its developer's guide
// describes their inputs: setvputs (HL the text, D the row, E the column),
// centertext (HL the text, A the row), fastcopys (the graph buffer to the
// screen, every register kept), filledrectangle and fastrectangle (corners
// H,L and D,E as x,y; A 0 white, 1 black, 2 inverted, to the graph buffer).

#include "run/costs.h"
#include "run/font.h"
#include "run/os.h"

#include <algorithm>
#include <string>

namespace run {

namespace {

// MirageOS's and Doors CS's routines this runner does not answer, by address,
// so that a stop names the one the program wanted.
struct ShellRoutine {
    std::uint16_t address;
    const char *name;
};
constexpr ShellRoutine kUnanswered[] = {
    {0x409E, "sendbytetios"},  {0x40A1, "getbytetios"},   {0x40A4, "version"},
    {0x40AA, "setpixel"},      {0x40B0, "delayb"},        {0x40BC, "fastline"},
    {0x40BF, "pixelonhl"},     {0x40C2, "pixeloff"},      {0x40C5, "pixelxor"},
    {0x40C8, "pixeltest"},     {0x40D4, "fastlineb"},     {0x40D7, "fastlinew"},
    {0x40DA, "fastlinex"},     {0x40EC, "putsprite8"},    {0x40EF, "fastcopyb"},
    {0x40F2, "vputsc"},        {0x40F5, "scrolld7"},      {0x40F8, "vnewline"},
    {0x40FE, "disprle"},       {0x4104, "screentopic"},   {0x4107, "fastlined"},
    {0x410A, "disprlel"},      {0x4119, "compstrs"},      {0x411C, "nextstr"},
    {0x411F, "getinfo"},       {0x4125, "gettext"},       {0x4128, "gettextv"},
    {0x412E, "vputa"},         {0x4131, "runprog"},       {0x4197, "largespritehl"},
    {0x41D6, "Small_Window"},  {0x41D9, "ClrDialogFull"}, {0x41DC, "LargeWindow"},
    {0x41DF, "ClrWinFull"},    {0x41EE, "OpenGUIStack"},  {0x41F1, "CloseGUIStack"},
    {0x41F4, "PushGUIStack"},  {0x41F7, "PopGUIStack"},   {0x41FA, "RenderGUI"},
    {0x41FD, "PopGUIStacks"},  {0x4200, "GUIMouse"},      {0x4203, "GUIFindFirst"},
    {0x4206, "GUIFindNext"},   {0x4209, "Cn2_Setup"},     {0x4212, "Cn2_Setdown"},
    {0x4215, "FileOpen"},      {0x4218, "FileSave"},      {0x421B, "FileSaveAs"},
    {0x421E, "DispLongInt"},   {0x4221, "Cn2_GetK"},      {0x4224, "DPutMap"},
    {0x422A, "PushGUIStacks"}, {0x422D, "GUIFindThis"},
};

void setBufferPixel(Machine &m, int x, int y, int mode) {
    if (x < 0 || x > 95 || y < 0 || y > 63)
        return;
    const std::uint16_t a = std::uint16_t(ram::plotSScreen + y * 12 + x / 8);
    const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
    m.write(a, std::uint8_t(mode == 2   ? m.read(a) ^ bit
                            : mode == 1 ? m.read(a) | bit
                                        : m.read(a) & ~bit));
}

// The rectangle from (H, L) to (D, E), corners in either order.
void rectangle(Machine &m, bool filled) {
    const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
    const int x0 = std::min(hl >> 8, de >> 8), x1 = std::max(hl >> 8, de >> 8);
    const int y0 = std::min(hl & 0xFF, de & 0xFF), y1 = std::max(hl & 0xFF, de & 0xFF);
    const int mode = m.a() > 2 ? 1 : m.a();
    for (int y = y0; y <= y1 && y < 64; ++y)
        for (int x = x0; x <= x1 && x < 96; ++x)
            if (filled || y == y0 || y == y1 || x == x0 || x == x1)
                setBufferPixel(m, x, y, mode);
    m.idle(std::uint64_t(std::min(y1 - y0 + 1, 64)) *
               std::uint64_t(std::min(x1 - x0 + 8, 104) / 8) * 4 * cost::kByte +
           200);
}

} // namespace

std::string Os::shellRoutineName(std::uint16_t pc) {
    for (const ShellRoutine &r : kUnanswered)
        if (r.address == pc)
            return r.name;
    return {};
}

void Os::addMoreMirageCalls() {
    const auto mirage = [this](std::uint16_t at, Call call) { m_shellCalls[at] = std::move(call); };
    mirage(0x40A7, [this](Machine &m) { // setvputs
        m.writeWord(ram::penCol, m.reg(Reg::DE));
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = 0; n < 256 && m.read(hl); ++n)
            vPutMap(m, m.read(hl++));
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        return Result::Done;
    });
    mirage(0x40E6, [this](Machine &m) { // centertext
        std::uint16_t hl = m.reg(Reg::HL);
        int width = 0, n = 0;
        for (; n < 256 && m.read(std::uint16_t(hl + n)); ++n)
            width += smallGlyph(m.read(std::uint16_t(hl + n))).width;
        m.write(ram::penRow, m.a());
        m.write(ram::penCol, std::uint8_t(std::max(0, (96 - width) / 2)));
        for (int i = 0; i < n; ++i)
            vPutMap(m, m.read(hl++));
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        return Result::Done;
    });
    mirage(0x40AD, [](Machine &m) { // fastcopys
        m.idle(768 * 70);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                m.lcd().setMemoryPixel(x, y,
                                       m.read(std::uint16_t(ram::plotSScreen + y * 12 + x / 8)) &
                                           (0x80 >> (x & 7)));
        return Result::Done;
    });
    mirage(0x413D, [](Machine &m) { // filledrectangle
        rectangle(m, true);
        return Result::Done;
    });
    mirage(0x4122, [](Machine &m) { // fastrectangle
        rectangle(m, false);
        return Result::Done;
    });
}

// Doors CS's own routines whose effect is plain from their documented inputs:
// ResetAppPage (4000h) gives back the page its GUI used, here none; VDispHL
// writes HL in decimal in the small font at the pen; hDetect finds no
// program, as ionDetect; PlaySound plays nothing (no speaker); Pause waits
// for a key press, as the OS's key wait does.
void Os::addDoorsCalls() {
    addMirageCalls();
    const auto doors = [this](std::uint16_t at, Call call) { m_shellCalls[at] = std::move(call); };
    doors(0x4000, [](Machine &) { return Result::Done; });
    doors(0x41E5, [this](Machine &m) {
        for (char c : std::to_string(m.reg(Reg::HL)))
            vPutMap(m, std::uint8_t(c));
        return Result::Done;
    });
    doors(0x41EB, [](Machine &m) {
        m.setFlags(0x00);
        m.idle(500);
        return Result::Done;
    });
    doors(0x41E2, [](Machine &m) {
        m.idle(cost::kCall);
        return Result::Done;
    });
    doors(0x41E8, [this](Machine &m) {
        m.enableInterrupts();
        const std::optional<int> key = m.keypad().takePress(m.time6());
        if (!key)
            return waitForKey(m);
        return *key == 0 ? Result::Wait : Result::Done;
    });
}

} // namespace run
