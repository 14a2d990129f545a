// The display calls: the home screen's 16x8 cells in the large font, the
// small font at a pen position, the graph buffer and its points and lines.

#include "run/costs.h"
#include "run/font.h"
#include "run/os.h"

#include <algorithm>
#include <cstdlib>

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
            m.lcd().setMemoryPixel(x, y,
                                   m.read(std::uint16_t(at + y * 12 + x / 8)) & pixelMask(x));
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

void Os::addDisplayCalls() {
    const auto clearLcd = [](Machine &m) {
        m.idle(cost::kScreen);
        m.lcd().clearMemory();
        return Result::Done;
    };
    const auto clearScreen = [](Machine &m) {
        m.idle(cost::kScreen + 128 * cost::kByte);
        m.lcd().clearMemory();
        for (int i = 0; i < 128; ++i)
            m.write(std::uint16_t(ram::textShadow + i), ' ');
        return Result::Done;
    };
    on("_ClrLCDFull", clearLcd);
    on("_ClrLCD", clearLcd);
    on("_ClrScrnFull", clearScreen);
    on("_ClrScrn", clearScreen);
    on("_ClrTxtShd", [](Machine &m) {
        for (int i = 0; i < 128; ++i)
            m.write(std::uint16_t(ram::textShadow + i), ' ');
        return Result::Done;
    });
    on("_HomeUp", [](Machine &m) {
        m.write(ram::curRow, 0);
        m.write(ram::curCol, 0);
        return Result::Done;
    });
    on("_PutMap", [this](Machine &m) {
        drawCell(m, m.read(ram::curRow), m.read(ram::curCol), m.a());
        return Result::Done;
    });
    on("_PutC", [this](Machine &m) {
        putC(m, m.a());
        return Result::Done;
    });
    on("_PutS", [this](Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = 0; n < 4096 && m.read(hl); ++n)
            putC(m, m.read(hl++));
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        m.setFlags(0);
        return Result::Done;
    });
    on("_PutPS", [this](Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = m.read(hl++); n > 0; --n)
            putC(m, m.read(hl++));
        m.setReg(Reg::HL, hl);
        return Result::Done;
    });
    on("_NewLine", [this](Machine &m) {
        newLine(m);
        return Result::Done;
    });
    on("_EraseEOL", [this](Machine &m) {
        for (int c = m.read(ram::curCol); c < 16; ++c)
            drawCell(m, m.read(ram::curRow), c, ' ');
        return Result::Done;
    });
    on("_DispHL", [this](Machine &m) {
        m.idle(5 * cost::kDigit);
        const std::string digits = std::to_string(m.reg(Reg::HL));
        for (char c : std::string(5 - digits.size(), ' ') + digits)
            putC(m, std::uint8_t(c));
        return Result::Done;
    });
    on("_DispDone", [this](Machine &m) {
        m.write(ram::curCol, 12);
        for (char c : std::string("Done"))
            putC(m, std::uint8_t(c));
        if (m.read(ram::curCol) != 0)
            newLine(m);
        return Result::Done;
    });
    on("_VPutMap", [this](Machine &m) {
        m.setFlags(vPutMap(m, m.a()) ? 0x00 : 0x01);
        return Result::Done;
    });
    on("_VPutS", [this](Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        bool fits = true;
        for (int n = 0; n < 4096 && m.read(hl); ++n)
            fits = vPutMap(m, m.read(hl++)) && fits;
        m.setReg(Reg::HL, std::uint16_t(hl + 1));
        m.setFlags(fits ? 0x00 : 0x01);
        return Result::Done;
    });
    // The width in pixels of a string in the small font, its length in its
    // first byte (TI-83 Plus SDK, SStringLength): in A and B, HL kept.
    on("_SStringLength", [](Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        int width = 0;
        for (int i = 1; i <= m.read(hl); ++i)
            width += smallGlyph(m.read(std::uint16_t(hl + i))).width;
        m.setA(std::uint8_t(width));
        m.setReg(Reg::BC, std::uint16_t((width & 0xFF) << 8 | (m.reg(Reg::BC) & 0xFF)));
        m.idle(std::uint64_t(m.read(hl)) * 60);
        return Result::Done;
    });
    on("_VPutSN", [this](Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = m.reg(Reg::BC) >> 8; n > 0; --n)
            vPutMap(m, m.read(hl++));
        m.setReg(Reg::HL, hl);
        return Result::Done;
    });
    on("_GrBufClr", [](Machine &m) {
        m.idle(kBufferBytes * cost::kByte);
        for (std::uint16_t i = 0; i < kBufferBytes; ++i)
            m.write(std::uint16_t(ram::plotSScreen + i), 0);
        return Result::Done;
    });
    on("_GrBufCpy", [](Machine &m) {
        m.idle(cost::kScreen);
        showPicture(m, ram::plotSScreen);
        return Result::Done;
    });
    on("_SaveDisp", [](Machine &m) {
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
    });
    on("_RestoreDisp", [](Machine &m) {
        m.idle(cost::kScreen);
        showPicture(m, m.reg(Reg::HL));
        return Result::Done;
    });
    on("_IPoint", [this](Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC);
        point(m, bc >> 8, bc & 0xFF, m.reg(Reg::DE) >> 8);
        return Result::Done;
    });
    on("_ILine", [this](Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC), de = m.reg(Reg::DE);
        line(m, bc >> 8, bc & 0xFF, de >> 8, de & 0xFF, m.reg(Reg::HL) >> 8);
        return Result::Done;
    });
    on("_DarkLine", [this](Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC), de = m.reg(Reg::DE);
        line(m, bc >> 8, bc & 0xFF, de >> 8, de & 0xFF, 1);
        return Result::Done;
    });
    // Rectangles of the screen, corners given as rows H and D, columns L and E.
    const auto rect = [this](const char *name, int mode) {
        on(name, [mode](Machine &m) {
            const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
            // A display byte read and written for every 8 pixels of a row.
            const int rows = std::max(0, std::min(63, de >> 8) - (hl >> 8) + 1);
            const int bytes = std::max(0, std::min(95, de & 0xFF) - (hl & 0xFF) + 8) / 8;
            m.idle(std::uint64_t(rows * bytes) * 2 * cost::kLcdByte);
            const int top = hl >> 8, left = hl & 0xFF, bottom = de >> 8, right = de & 0xFF;
            for (int y = top; y <= bottom && y < 64; ++y)
                for (int x = left; x <= right && x < 96; ++x)
                    if (mode != 3 || y == top || y == bottom || x == left || x == right)
                        m.lcd().setMemoryPixel(x, y,
                                               mode == 2 ? !m.lcd().memoryPixel(x, y) : mode != 0);
            return Result::Done;
        });
    };
    rect("_ClearRect", 0);
    rect("_FillRect", 1);
    rect("_InvertRect", 2);
    rect("_DrawRectBorder", 3); // the border only, on
    const auto setFlag = [this](const char *name, int offset, int bit, bool value) {
        on(name, [=](Machine &m) {
            m.setFlag(offset, bit, value);
            return Result::Done;
        });
    };
    setFlag("_DelRes", 9, 6, false); // statsValid of statFlags: no statistics are kept
    // No split screen: grfSplit and vertSplit of sGrFlags stay clear.
    on("_ForceFullScreen", [](Machine &m) {
        m.setFlag(flags::sGrFlags, 0, false);
        m.setFlag(flags::sGrFlags, 1, false);
        return Result::Done;
    });
    setFlag("_RunIndicOff", flags::indicFlags, flags::indicRun, false);
    setFlag("_RunIndicOn", flags::indicFlags, flags::indicRun, true);
    setFlag("_CursorOff", flags::curFlags, flags::curOn, false);
    setFlag("_CursorOn", flags::curFlags, flags::curOn, true);
    setFlag("_DisableApd", flags::apdFlags, flags::apdAble, false);
    setFlag("_EnableApd", flags::apdFlags, flags::apdAble, true);
    on("_LCD_BUSY", [](Machine &) { return Result::Done; });
}

} // namespace run
