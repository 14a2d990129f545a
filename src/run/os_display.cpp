// The display calls: the home screen's 16x8 cells in the large font, the
// small font at a pen position, the graph buffer and its points and lines.

#include "run/costs.h"
#include "run/font.h"
#include "run/os.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace run {

namespace {

constexpr std::uint16_t kBufferBytes = 768;

bool bufferPixel(const Machine &m, int x, int y) {
    return m.read(std::uint16_t(ram::plotSScreen + y * 12 + x / 8)) & (0x80 >> (x & 7));
}

void setBufferPixel(Machine &m, int x, int y, bool on) {
    const std::uint16_t a = std::uint16_t(ram::plotSScreen + y * 12 + x / 8);
    const std::uint8_t bit = std::uint8_t(0x80 >> (x & 7));
    m.write(a, std::uint8_t(on ? m.read(a) | bit : m.read(a) & ~bit));
}

} // namespace

void Os::drawCell(Machine &m, int row, int col, std::uint8_t code) {
    if (row < 0 || row > 7 || col < 0 || col > 15)
        return;
    if (!m_uncharged)
        m.idle(cost::kCell);
    const Glyph g = largeGlyph(code);
    const bool inverse = m.flag(flags::textFlags, flags::textInverse);
    const int dx = g.width < 6 ? 6 - g.width : 0, dy = g.height < 8 ? 8 - g.height : 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 6; ++x) {
            const int gx = x - dx, gy = y - dy;
            const bool ink = gx >= 0 && gy >= 0 && gx < g.width && gy < g.height &&
                             (g.rows[std::size_t(gy)] & (0x80 >> gx));
            m.lcd().setMemoryPixel(col * 6 + x, row * 8 + y, ink != inverse);
        }
    if (m.flag(flags::appFlags, flags::appTextSave))
        m.write(std::uint16_t(ram::textShadow + row * 16 + col), code);
}

void Os::scrollUp(Machine &m) {
    if (!m_uncharged)
        m.idle(2 * cost::kScreen);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            m.lcd().setMemoryPixel(x, y, y < 56 && m.lcd().memoryPixel(x, y + 8));
    for (int i = 0; i < 128; ++i)
        m.write(std::uint16_t(ram::textShadow + i),
                i < 112 ? m.read(std::uint16_t(ram::textShadow + i + 16)) : ' ');
}

void Os::newLine(Machine &m) {
    int row = m.read(ram::curRow) + 1;
    if (row > 7) {
        if (m.flag(flags::appFlags, flags::appAutoScroll)) {
            scrollUp(m);
            row = 7;
        } else {
            row = 0;
        }
    }
    m.write(ram::curRow, std::uint8_t(row));
    m.write(ram::curCol, 0);
}

void Os::putC(Machine &m, std::uint8_t code) {
    if (code == 0xD6) { // the OS's "new line" character
        newLine(m);
        return;
    }
    drawCell(m, m.read(ram::curRow), m.read(ram::curCol), code);
    const int col = m.read(ram::curCol) + 1;
    if (col > 15)
        newLine(m);
    else
        m.write(ram::curCol, std::uint8_t(col));
}

void Os::showPicture(Machine &m, std::uint16_t at) {
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            m.lcd().setMemoryPixel(x, y, m.read(std::uint16_t(at + y * 12 + x / 8)) & pixelMask(x));
}

// One character at (penCol, penRow), to the screen or, with textWrite, to
// the graph buffer. False, and nothing drawn, when it does not fit.
bool Os::vPutMap(Machine &m, std::uint8_t code) {
    const bool large = m.flag(flags::fontFlags, flags::fracDrawLFont);
    const Glyph g = large ? largeGlyph(code) : smallGlyph(code);
    const int x0 = m.read(ram::penCol), y0 = m.read(ram::penRow);
    const int width = large ? 6 : g.width;
    if (x0 + width > 96 || y0 >= 64)
        return false;
    m.idle(cost::kSmallChar);
    const bool inverse = m.flag(flags::textFlags, flags::textInverse);
    const bool toBuffer = m.flag(flags::sGrFlags, flags::textWrite);
    const int height = large ? 8 : g.height;
    const int dx = large && g.width < 6 ? 6 - g.width : 0;
    const int dy = large && g.height < 8 ? 8 - g.height : 0;
    for (int y = 0; y < height && y0 + y < 64; ++y)
        for (int x = 0; x < width; ++x) {
            const int gx = x - dx, gy = y - dy;
            const bool ink = gx >= 0 && gy >= 0 && gx < g.width && gy < g.height &&
                             (g.rows[std::size_t(gy)] & (0x80 >> gx));
            if (toBuffer)
                setBufferPixel(m, x0 + x, y0 + y, ink != inverse);
            else
                m.lcd().setMemoryPixel(x0 + x, y0 + y, ink != inverse);
        }
    m.write(ram::penCol, std::uint8_t(x0 + width));
    return true;
}

// A point of the graph: x from the left, y from the bottom; mode 0 clears,
// 1 sets, 2 inverts, 3 tests, 4 copies the buffer's pixel to the screen.
void Os::point(Machine &m, int x, int y, int mode) {
    if (x < 0 || x > 95 || y < 0 || y > 63)
        return;
    m.idle(cost::kPoint);
    const int row = 63 - y;
    if (mode == 3) {
        m.setFlags(bufferPixel(m, x, row) ? 0x00 : 0x40);
        return;
    }
    bool on = mode == 1 || (mode == 2 && !bufferPixel(m, x, row));
    if (mode == 4)
        on = bufferPixel(m, x, row);
    else
        setBufferPixel(m, x, row, on);
    if (!m.flag(flags::plotFlag3, flags::bufferOnly) || mode == 4)
        m.lcd().setMemoryPixel(x, row, on);
}

void Os::line(Machine &m, int x0, int y0, int x1, int y1, int mode) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        point(m, x0, y0, mode);
        if (x0 == x1 && y0 == y1)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy)
            err += dy, x0 += sx;
        if (e2 <= dx)
            err += dx, y0 += sy;
    }
}

struct DisplayCalls {
    using Result = Os::Result;

    // The home screen: cleared (with its text shadow for the "Scrn" forms),
    // characters at the cursor, strings, lines and numbers.
    static Result clrLCD(Os &, Machine &m) {
        m.idle(cost::kScreen);
        m.lcd().clearMemory();
        return Result::Done;
    }
    static Result clrScrn(Os &os, Machine &m) {
        m.idle(128 * cost::kByte);
        clrTxtShd(os, m);
        return clrLCD(os, m);
    }
    static Result clrTxtShd(Os &, Machine &m) {
        for (int i = 0; i < 128; ++i)
            m.write(std::uint16_t(ram::textShadow + i), ' ');
        return Result::Done;
    }
    static Result homeUp(Os &, Machine &m) {
        m.write(ram::curRow, 0);
        m.write(ram::curCol, 0);
        return Result::Done;
    }
    static Result putMap(Os &os, Machine &m) {
        os.drawCell(m, m.read(ram::curRow), m.read(ram::curCol), m.a());
        return Result::Done;
    }
    static Result putC(Os &os, Machine &m) {
        os.putC(m, m.a());
        return Result::Done;
    }
    static Result putS(Os &os, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = 0; n < 4096 && m.read(hl); ++n)
            os.putC(m, m.read(hl++));
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        m.setFlags(0);
        return Result::Done;
    }
    static Result putPS(Os &os, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = m.read(hl++); n > 0; --n)
            os.putC(m, m.read(hl++));
        m.setReg(Reg::HL, hl);
        return Result::Done;
    }
    static Result newLine(Os &os, Machine &m) {
        os.newLine(m);
        return Result::Done;
    }
    static Result eraseEOL(Os &os, Machine &m) {
        for (int c = m.read(ram::curCol); c < 16; ++c)
            os.drawCell(m, m.read(ram::curRow), c, ' ');
        return Result::Done;
    }
    static Result dispHL(Os &os, Machine &m) {
        m.idle(5 * cost::kDigit);
        const std::string digits = std::to_string(m.reg(Reg::HL));
        for (char c : std::string(5 - digits.size(), ' ') + digits)
            os.putC(m, std::uint8_t(c));
        return Result::Done;
    }
    static Result dispDone(Os &os, Machine &m) {
        m.write(ram::curCol, 12);
        for (char c : std::string("Done"))
            os.putC(m, std::uint8_t(c));
        if (m.read(ram::curCol) != 0)
            os.newLine(m);
        return Result::Done;
    }
    // The small font at the pen; carry when a character did not fit.
    static Result vPutMap(Os &os, Machine &m) {
        m.setFlags(os.vPutMap(m, m.a()) ? 0x00 : 0x01);
        return Result::Done;
    }
    static Result vPutS(Os &os, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        bool fits = true;
        for (int n = 0; n < 4096 && m.read(hl); ++n)
            fits = os.vPutMap(m, m.read(hl++)) && fits;
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        m.setFlags(fits ? 0x00 : 0x01);
        return Result::Done;
    }
    // The width in pixels of a string in the small font, its length in its
    // first byte (TI-83 Plus SDK, SStringLength): in A and B, HL kept.
    static Result sStringLength(Os &, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        int width = 0;
        for (int i = 1; i <= m.read(hl); ++i)
            width += smallGlyph(m.read(std::uint16_t(hl + i))).width;
        m.setA(std::uint8_t(width));
        m.setReg(Reg::BC, std::uint16_t((width & 0xFF) << 8 | (m.reg(Reg::BC) & 0xFF)));
        m.idle(std::uint64_t(m.read(hl)) * 60);
        return Result::Done;
    }
    static Result vPutSN(Os &os, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = m.reg(Reg::BC) >> 8; n > 0; --n)
            os.vPutMap(m, m.read(hl++));
        m.setReg(Reg::HL, hl);
        return Result::Done;
    }
    // The graph buffer and saved pictures of the screen.
    static Result grBufClr(Os &, Machine &m) {
        m.idle(kBufferBytes * cost::kByte);
        for (std::uint16_t i = 0; i < kBufferBytes; ++i)
            m.write(std::uint16_t(ram::plotSScreen + i), 0);
        return Result::Done;
    }
    static Result grBufCpy(Os &, Machine &m) {
        m.idle(cost::kScreen);
        Os::showPicture(m, ram::plotSScreen);
        return Result::Done;
    }
    static Result saveDisp(Os &, Machine &m) {
        m.idle(cost::kScreen);
        const std::uint16_t hl = m.reg(Reg::HL);
        for (int i = 0; i < kBufferBytes * 8; ++i)
            if (i % 8 == 0)
                m.write(std::uint16_t(hl + i / 8), 0);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                if (m.lcd().memoryPixel(x, y)) {
                    const std::uint16_t a = std::uint16_t(hl + y * 12 + x / 8);
                    m.write(a, std::uint8_t(m.read(a) | 0x80 >> (x & 7)));
                }
        return Result::Done;
    }
    static Result restoreDisp(Os &, Machine &m) {
        m.idle(cost::kScreen);
        Os::showPicture(m, m.reg(Reg::HL));
        return Result::Done;
    }
    // Points and lines of the graph, rows from the bottom.
    static Result iPoint(Os &os, Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC);
        os.point(m, bc >> 8, bc & 0xFF, m.reg(Reg::DE) >> 8);
        return Result::Done;
    }
    static Result iLine(Os &os, Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC), de = m.reg(Reg::DE);
        os.line(m, bc >> 8, bc & 0xFF, de >> 8, de & 0xFF, m.reg(Reg::HL) >> 8);
        return Result::Done;
    }
    static Result darkLine(Os &os, Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC), de = m.reg(Reg::DE);
        os.line(m, bc >> 8, bc & 0xFF, de >> 8, de & 0xFF, 1);
        return Result::Done;
    }
    // Rectangles of the screen, corners given as rows H and D, columns L and
    // E: Mode 0 off, 1 on, 2 inverted, 3 the border only, on.
    template <int Mode> static Result rect(Os &, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
        // A display byte read and written for every 8 pixels of a row.
        const int rows = std::max(0, std::min(63, de >> 8) - (hl >> 8) + 1);
        const int bytes = std::max(0, std::min(95, de & 0xFF) - (hl & 0xFF) + 8) / 8;
        m.idle(std::uint64_t(rows * bytes) * 2 * cost::kLcdByte);
        const int top = hl >> 8, left = hl & 0xFF, bottom = de >> 8, right = de & 0xFF;
        for (int y = top; y <= bottom && y < 64; ++y)
            for (int x = left; x <= right && x < 96; ++x)
                if (Mode != 3 || y == top || y == bottom || x == left || x == right)
                    m.lcd().setMemoryPixel(x, y,
                                           Mode == 2 ? !m.lcd().memoryPixel(x, y) : Mode != 0);
        return Result::Done;
    }
    // A flag bit set or cleared, and nothing more.
    template <int Offset, int Bit, bool Value> static Result setFlag(Os &, Machine &m) {
        m.setFlag(Offset, Bit, Value);
        return Result::Done;
    }
    // No split screen: grfSplit and vertSplit of sGrFlags stay clear.
    static Result forceFullScreen(Os &, Machine &m) {
        m.setFlag(flags::sGrFlags, 0, false);
        m.setFlag(flags::sGrFlags, 1, false);
        return Result::Done;
    }
    static Result lcdBusy(Os &, Machine &) { return Result::Done; }

    static constexpr Os::NamedCall kCalls[] = {
        {"_ClrLCDFull", clrLCD},
        {"_ClrLCD", clrLCD},
        {"_ClrScrnFull", clrScrn},
        {"_ClrScrn", clrScrn},
        {"_ClrTxtShd", clrTxtShd},
        {"_HomeUp", homeUp},
        {"_PutMap", putMap},
        {"_PutC", putC},
        {"_PutS", putS},
        {"_PutPS", putPS},
        {"_NewLine", newLine},
        {"_EraseEOL", eraseEOL},
        {"_DispHL", dispHL},
        {"_DispDone", dispDone},
        {"_VPutMap", vPutMap},
        {"_VPutS", vPutS},
        {"_SStringLength", sStringLength},
        {"_VPutSN", vPutSN},
        {"_GrBufClr", grBufClr},
        {"_GrBufCpy", grBufCpy},
        {"_SaveDisp", saveDisp},
        {"_RestoreDisp", restoreDisp},
        {"_IPoint", iPoint},
        {"_ILine", iLine},
        {"_DarkLine", darkLine},
        {"_ClearRect", rect<0>},
        {"_FillRect", rect<1>},
        {"_InvertRect", rect<2>},
        {"_DrawRectBorder", rect<3>},
        {"_DelRes", setFlag<9, 6, false>}, // statsValid of statFlags: no statistics are kept
        {"_ForceFullScreen", forceFullScreen},
        {"_RunIndicOff", setFlag<flags::indicFlags, flags::indicRun, false>},
        {"_RunIndicOn", setFlag<flags::indicFlags, flags::indicRun, true>},
        {"_CursorOff", setFlag<flags::curFlags, flags::curOn, false>},
        {"_CursorOn", setFlag<flags::curFlags, flags::curOn, true>},
        {"_DisableApd", setFlag<flags::apdFlags, flags::apdAble, false>},
        {"_EnableApd", setFlag<flags::apdFlags, flags::apdAble, true>},
        {"_LCD_BUSY", lcdBusy},
    };
};

void Os::addDisplayCalls() {
    addCalls(std::begin(DisplayCalls::kCalls), std::size(DisplayCalls::kCalls));
}

} // namespace run
