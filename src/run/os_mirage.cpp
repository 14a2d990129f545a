// MirageOS's library (mirage.inc, MirageOS's developer include: the Ion
// routines at 4083h, its own from 409Bh, three bytes apart), answered from
// the developer guide's inputs and outputs for the routines a program uses
// to draw, write, wait and compare. Its menu's own routines (folders, the
// programs' list, sorting, sending a program) are named in the table but
// not answered: a program calling one stops with its name.
//
// The pixel routines take the pixel as Ion's getpixel does, x in A and y in
// E (the "hl" forms x in H and y in L) and keep HL; the `pointXc` forms leave
// a pixel off the screen alone, the others do not check. Lines go from (H, L)
// to (D, E), A choosing white (0), black (1), inverted (2) or, for any other
// value, the pattern at FE70h, rotated left a pixel at a time (a set bit
// black, a clear one white): fastlined draws with AAh, a dotted line.

#include "run/costs.h"
#include "run/font.h"
#include "run/os.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace run {

namespace {

constexpr std::uint16_t kLinePattern = 0xFE70;

enum Ink { White, Black, Invert };

void setPixel(Machine &m, int x, int y, Ink ink) {
    const std::uint16_t at = Os::bufferByte(x & 0xFF, y & 0xFF);
    const std::uint8_t mask = Os::pixelMask(x), was = m.read(at);
    const std::uint8_t now = std::uint8_t(ink == Invert  ? was ^ mask
                                          : ink == Black ? was | mask
                                                         : was & ~mask);
    m.write(at, now);
    m.setA(now);
}

// One pixel of a line in mode `mode` (fastline's A).
void linePixel(Machine &m, int x, int y, int mode) {
    if (mode <= Invert) {
        setPixel(m, x, y, Ink(mode));
        return;
    }
    const std::uint8_t pattern = m.read(kLinePattern);
    m.write(kLinePattern, std::uint8_t(pattern << 1 | pattern >> 7));
    setPixel(m, x, y, pattern & 0x80 ? Black : White);
}

// From (H, L) to (D, E), one pixel a step along the longer side, the shorter
// one stepping each time the steps' sum of its length reaches the longer's.
void line(Machine &m, int mode) {
    const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
    int x = hl >> 8, y = hl & 0xFF;
    const int dx = (de >> 8) - x, dy = (de & 0xFF) - y;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const int ax = std::abs(dx), ay = std::abs(dy), major = std::max(ax, ay),
              minor = std::min(ax, ay);
    int sum = 0;
    for (int i = 0; i <= major; ++i) {
        linePixel(m, x, y, mode);
        sum += minor;
        const bool step = sum >= major;
        if (step)
            sum -= major;
        if (ax >= ay)
            x += sx, y += step ? sy : 0;
        else
            y += sy, x += step ? sx : 0;
    }
    m.idle(std::uint64_t(major + 1) * 250 + 200);
}

// The rectangle from (H, L) to (D, E), corners in either order, in mode A:
// its border or all of it.
void rectangle(Machine &m, bool filled) {
    const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
    const int x0 = std::min(hl >> 8, de >> 8), x1 = std::max(hl >> 8, de >> 8);
    const int y0 = std::min(hl & 0xFF, de & 0xFF), y1 = std::max(hl & 0xFF, de & 0xFF);
    const int mode = m.a() > 2 ? 1 : m.a();
    const std::uint8_t a = m.a();
    for (int y = y0; y <= y1 && y < 64; ++y)
        for (int x = x0; x <= x1 && x < 96; ++x)
            if (filled || y == y0 || y == y1 || x == x0 || x == x1)
                setPixel(m, x, y, Ink(mode));
    m.setA(a);
    m.idle(std::uint64_t(std::min(y1 - y0 + 1, 64)) *
               std::uint64_t(std::min(x1 - x0 + 8, 104) / 8) * 4 * cost::kByte +
           200);
}

// The string at HL to the pen as _VPutS writes it, HL after its zero.
void vPutS(Os &os, Machine &m, bool (Os::*put)(Machine &, std::uint8_t)) {
    std::uint16_t hl = m.reg(Reg::HL);
    for (int n = 0; n < 256 && m.read(hl); ++n)
        (os.*put)(m, m.read(hl++));
    m.setReg(Reg::HL, std::uint16_t(hl + 1));
}

} // namespace

struct MirageLibrary {
    using Result = Os::Result;

    // The keys held in the groups A selects, as port 1 reads them; Z for none.
    static Result directin(Os &, Machine &m) {
        m.keypad().selectGroups(m.a());
        m.setA(m.keypad().read(m.time6()));
        m.setFlags(m.a() == 0xFF ? 0x40 : 0x01); // as `cp 0FFh` leaves them
        m.idle(80);
        return Result::Done;
    }
    // A byte over the link: no cable, so the OS's timeout and NZ.
    static Result linkByte(Os &, Machine &m) {
        m.idle(Machine::kClockHz);
        m.setFlags(0x00);
        return Result::Done;
    }
    // MirageOS 1.3: A = 1, the version in HL.
    static Result version(Os &, Machine &m) {
        m.setA(1);
        m.setReg(Reg::HL, 0x0103);
        return Result::Done;
    }
    static Result setvputs(Os &os, Machine &m) {
        m.writeWord(ram::penCol, m.reg(Reg::DE));
        vPutS(os, m, &Os::vPutMap);
        return Result::Done;
    }
    // Ion's fastcopy, every register kept.
    static Result fastcopys(Os &os, Machine &m) { return os.m_shellCalls.at(0x4092)(m); }
    // Waits B interrupts (256 for 0) with interrupts on, as B halts do; B
    // ends 0.
    static Result delayb(Os &, Machine &m) {
        m.enableInterrupts();
        const std::uint8_t b = std::uint8_t((m.reg(Reg::BC) >> 8) - 1);
        m.setReg(Reg::BC, std::uint16_t(b << 8 | (m.reg(Reg::BC) & 0xFF)));
        if (b)
            return Result::Wait;
        if (m.cycles() < m.nextInterrupt())
            m.idle(m.nextInterrupt() - m.cycles());
        return Result::Done;
    }
    static Result multhe(Os &, Machine &m) {
        m.setReg(Reg::HL, std::uint16_t((m.reg(Reg::HL) >> 8) * (m.reg(Reg::DE) & 0xFF)));
        m.idle(300);
        return Result::Done;
    }
    static Result multhl(Os &, Machine &m) {
        m.setReg(Reg::HL, std::uint16_t((m.reg(Reg::HL) >> 8) * (m.reg(Reg::HL) & 0xFF)));
        m.idle(300);
        return Result::Done;
    }
    // The program is over, back to MirageOS's menu.
    static Result quittoshell(Os &, Machine &) { return Result::Ended; }

    static Result pixel(Machine &m, int x, int y, Ink ink) {
        const std::uint16_t hl = m.reg(Reg::HL);
        setPixel(m, x, y, ink);
        m.setReg(Reg::HL, hl);
        m.idle(200);
        return Result::Done;
    }
    static int ae(Machine &m, int &y) { return y = m.reg(Reg::DE) & 0xFF, m.a(); }
    static Result setpixel(Os &, Machine &m) {
        int y = 0;
        const int x = ae(m, y);
        return pixel(m, x, y, Black);
    }
    static Result pixeloff(Os &, Machine &m) {
        int y = 0;
        const int x = ae(m, y);
        return pixel(m, x, y, White);
    }
    static Result pixelxor(Os &, Machine &m) {
        int y = 0;
        const int x = ae(m, y);
        return pixel(m, x, y, Invert);
    }
    static Result pixelonhl(Os &, Machine &m) {
        return pixel(m, m.reg(Reg::HL) >> 8, m.reg(Reg::HL) & 0xFF, Black);
    }
    static Result pixeloffhl(Os &, Machine &m) {
        return pixel(m, m.reg(Reg::HL) >> 8, m.reg(Reg::HL) & 0xFF, White);
    }
    static Result pixelxorhl(Os &, Machine &m) {
        return pixel(m, m.reg(Reg::HL) >> 8, m.reg(Reg::HL) & 0xFF, Invert);
    }
    // A = the pixel's bit of its byte: NZ when it is on.
    static Result test(Machine &m, int x, int y) {
        const std::uint8_t bit = m.read(Os::bufferByte(x, y)) & Os::pixelMask(x);
        m.setA(bit);
        m.setFlags(bit ? 0x00 : 0x40);
        m.idle(200);
        return Result::Done;
    }
    static Result pixeltest(Os &, Machine &m) {
        int y = 0;
        const int x = ae(m, y);
        return test(m, x, y);
    }
    static Result pixeltesthl(Os &, Machine &m) {
        return test(m, m.reg(Reg::HL) >> 8, m.reg(Reg::HL) & 0xFF);
    }
    // Only on the screen: x below 96, y below 64.
    static Result clipped(Machine &m, Ink ink) {
        if (m.a() >= 96 || (m.reg(Reg::DE) & 0x40))
            return Result::Done;
        return pixel(m, m.a(), m.reg(Reg::DE) & 0xFF, ink);
    }
    static Result pointonc(Os &, Machine &m) { return clipped(m, Black); }
    static Result pointoffc(Os &, Machine &m) { return clipped(m, White); }
    static Result pointxorc(Os &, Machine &m) { return clipped(m, Invert); }

    static Result fastline(Os &, Machine &m) {
        line(m, m.a());
        return Result::Done;
    }
    template <Ink ink> static Result lineIn(Os &, Machine &m) {
        line(m, ink);
        return Result::Done;
    }
    static Result fastlined(Os &, Machine &m) {
        m.write(kLinePattern, 0xAA);
        line(m, 0xAA);
        return Result::Done;
    }
    // HL's text centred on row A.
    static Result centertext(Os &os, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        int width = 0;
        for (int n = 0; n < 256 && m.read(std::uint16_t(hl + n)); ++n)
            width += smallGlyph(m.read(std::uint16_t(hl + n))).width;
        m.write(ram::penRow, m.a());
        m.write(ram::penCol, std::uint8_t(std::max(0, (96 - width) / 2)));
        vPutS(os, m, &Os::vPutMap);
        return Result::Done;
    }
    // HL compared with BC or DE, the flags as CP sets them; HL kept.
    static Result compare(Machine &m, Reg other) {
        const int hl = m.reg(Reg::HL), v = m.reg(other);
        m.setFlags(std::uint8_t((hl == v ? 0x40 : 0) | (hl < v ? 0x01 : 0)));
        return Result::Done;
    }
    static Result cphlbc(Os &, Machine &m) { return compare(m, Reg::BC); }
    static Result cphlde(Os &, Machine &m) { return compare(m, Reg::DE); }
    // Ion's putsprite with B = 8.
    static Result putsprite8(Os &os, Machine &m) {
        m.setReg(Reg::BC, std::uint16_t(0x0800 | (m.reg(Reg::BC) & 0xFF)));
        return os.m_shellCalls.at(0x4089)(m);
    }
    // HL's text at the pen on the screen and in the graph buffer, the pen
    // moved once: written with textWrite as it is, then as it is not.
    static Result both(Os &os, Machine &m, bool text) {
        const std::uint16_t pen = m.readWord(ram::penCol), hl = m.reg(Reg::HL);
        const bool toBuffer = m.flag(flags::sGrFlags, flags::textWrite);
        for (bool second : {false, true}) {
            m.setFlag(flags::sGrFlags, flags::textWrite, toBuffer != second);
            if (second)
                m.writeWord(ram::penCol, pen), m.setReg(Reg::HL, hl);
            if (text)
                vPutS(os, m, &Os::vPutMap);
            else
                os.vPutMap(m, m.a());
        }
        m.setFlag(flags::sGrFlags, flags::textWrite, toBuffer);
        return Result::Done;
    }
    static Result vputsc(Os &os, Machine &m) { return both(os, m, true); }
    static Result vputa(Os &os, Machine &m) {
        const std::uint16_t hl = m.reg(Reg::HL);
        both(os, m, false);
        m.setReg(Reg::HL, hl);
        return Result::Done;
    }
    // The graph buffer up by 7 rows (a line of the small font), the bottom
    // 7 rows cleared, then shown.
    static Result scrolld7(Os &, Machine &m) {
        for (int i = 0; i < 768 - 84; ++i)
            m.write(std::uint16_t(ram::plotSScreen + i),
                    m.read(std::uint16_t(ram::plotSScreen + 84 + i)));
        for (int i = 768 - 84; i < 768; ++i)
            m.write(std::uint16_t(ram::plotSScreen + i), 0);
        m.idle(768 * cost::kByte + 768 * 70);
        Os::showPicture(m, ram::plotSScreen);
        return Result::Done;
    }
    // The pen to the start of the next line of the small font; from the
    // last (row 56) the buffer scrolls instead.
    static Result vnewline(Os &os, Machine &m) {
        m.write(ram::penCol, 0);
        const int row = m.read(ram::penRow) + 7;
        if (row == 63)
            return scrolld7(os, m);
        m.write(ram::penRow, std::uint8_t(row));
        return Result::Done;
    }
    // A random number 0 to 127 in A, BC kept.
    static Result rand127(Os &os, Machine &m) {
        const std::uint16_t bc = m.reg(Reg::BC);
        m.setReg(Reg::BC, 0x8000);
        os.m_shellCalls.at(0x4086)(m);
        m.setReg(Reg::BC, bc);
        return Result::Done;
    }
    // Run-length data at HL to DE until BC bytes are written: 91h, a value
    // and a count stand for the count (0 for 256) of that value, any other
    // byte for itself. HL and DE end after what was read and written.
    static Result disprlel(Os &, Machine &m) {
        std::uint16_t from = m.reg(Reg::HL), to = m.reg(Reg::DE), left = m.reg(Reg::BC);
        std::uint64_t written = 0;
        do {
            int count = 1;
            std::uint8_t value = m.read(from++);
            if (value == 0x91) {
                value = m.read(from++);
                count = m.read(from++);
                count = count ? count : 256;
            }
            for (int i = 0; i < count; ++i, ++written)
                m.write(to++, value), --left;
        } while (left && written < 0x10000);
        m.setReg(Reg::HL, from), m.setReg(Reg::DE, to), m.setReg(Reg::BC, left);
        m.idle(written * cost::kByte + 200);
        return Result::Done;
    }
    static Result disprle(Os &os, Machine &m) {
        m.setReg(Reg::BC, 768);
        return disprlel(os, m);
    }
    // The display's 768 bytes to DE, as the display holds them.
    static Result screentopic(Os &, Machine &m) {
        const std::uint16_t de = m.reg(Reg::DE);
        for (int y = 0; y < 64; ++y)
            for (int b = 0; b < 12; ++b) {
                std::uint8_t byte = 0;
                for (int x = 0; x < 8; ++x)
                    byte = std::uint8_t(byte << 1 | (m.lcd().memoryPixel(b * 8 + x, y) ? 1 : 0));
                m.write(std::uint16_t(de + y * 12 + b), byte);
            }
        m.setReg(Reg::DE, std::uint16_t(de + 768));
        m.idle(cost::kScreen);
        return Result::Done;
    }
    // HL past the zero that ends its string; NZ.
    static Result nextstr(Os &, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        for (int n = 0; n < 0x10000 && m.read(hl++); ++n) {
        }
        m.setReg(Reg::HL, hl);
        m.idle(cost::kByte * 8);
        return Result::Done;
    }
    // The strings at HL and DE: Z when equal; else NZ and HL past HL's string.
    static Result compstrs(Os &os, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
        for (int n = 0; n < 0x10000; ++n, ++hl, ++de) {
            if (m.read(hl) != m.read(de)) {
                m.setReg(Reg::HL, hl), m.setReg(Reg::DE, de);
                nextstr(os, m);
                m.setFlags(0x00);
                return Result::Done;
            }
            if (!m.read(hl))
                break;
        }
        m.setReg(Reg::HL, std::uint16_t(hl + 1)), m.setReg(Reg::DE, std::uint16_t(de + 1));
        m.setA(0);
        m.setFlags(0x40);
        return Result::Done;
    }
    // B bytes at HL and DE compared: Z when all are alike.
    static Result compstrsn(Os &, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
        int b = m.reg(Reg::BC) >> 8;
        b = b ? b : 256;
        bool same = true;
        for (; b && same; --b, ++hl, ++de)
            same = m.read(hl) == m.read(de);
        m.setReg(Reg::HL, hl), m.setReg(Reg::DE, de);
        m.setReg(Reg::BC, std::uint16_t(b << 8 | (m.reg(Reg::BC) & 0xFF)));
        m.setFlags(same ? 0x40 : 0x00);
        return Result::Done;
    }
    template <bool filled> static Result rectangleOf(Os &, Machine &m) {
        rectangle(m, filled);
        return Result::Done;
    }
    // B rows of the graph buffer from HL inverted (12 bytes a row).
    static Result invert_lines(Os &, Machine &m) {
        std::uint16_t hl = m.reg(Reg::HL);
        const int rows = (m.reg(Reg::BC) >> 8) ? (m.reg(Reg::BC) >> 8) : 256;
        for (int i = 0; i < rows * 12; ++i, ++hl)
            m.write(hl, std::uint8_t(~m.read(hl)));
        m.setReg(Reg::HL, hl);
        m.setReg(Reg::BC, std::uint16_t(m.reg(Reg::BC) & 0x00FF));
        m.idle(std::uint64_t(rows) * 12 * cost::kByte);
        return Result::Done;
    }
    static Result invert_1_line(Os &os, Machine &m) {
        m.setReg(Reg::BC, std::uint16_t(0x0100 | (m.reg(Reg::BC) & 0xFF)));
        return invert_lines(os, m);
    }
    // Ion's largesprite with x in H instead of A.
    static Result largespritehl(Os &os, Machine &m) {
        m.setA(std::uint8_t(m.reg(Reg::HL) >> 8));
        return os.m_shellCalls.at(0x408C)(m);
    }
    // HL = the sum of the BC bytes at HL (65536 for 0).
    static Result getchecksum(Os &, Machine &m) {
        std::uint16_t from = m.reg(Reg::HL), sum = 0;
        const unsigned count = m.reg(Reg::BC) ? m.reg(Reg::BC) : 0x10000;
        for (unsigned i = 0; i < count; ++i)
            sum = std::uint16_t(sum + m.read(from++));
        m.setReg(Reg::HL, sum), m.setReg(Reg::DE, from), m.setReg(Reg::BC, 0);
        m.idle(std::uint64_t(count) * 50);
        return Result::Done;
    }

    static constexpr Os::ShellRoutine kRoutines[] = {
        {0x409B, "directin", directin},
        {0x409E, "sendbytetios", linkByte},
        {0x40A1, "getbytetios", linkByte},
        {0x40A4, "version", version},
        {0x40A7, "setvputs", setvputs},
        {0x40AA, "setpixel", setpixel},
        {0x40AD, "fastcopys", fastcopys},
        {0x40B0, "delayb", delayb},
        {0x40B3, "multhe", multhe},
        {0x40B6, "multhl", multhl},
        {0x40B9, "quittoshell", quittoshell},
        {0x40BC, "fastline", fastline},
        {0x40BF, "pixelonhl", pixelonhl},
        {0x40C2, "pixeloff", pixeloff},
        {0x40C5, "pixelxor", pixelxor},
        {0x40C8, "pixeltest", pixeltest},
        {0x40CB, "pixeloffhl", pixeloffhl},
        {0x40CE, "pixelxorhl", pixelxorhl},
        {0x40D1, "pixeltesthl", pixeltesthl},
        {0x40D4, "fastlineb", lineIn<Black>},
        {0x40D7, "fastlinew", lineIn<White>},
        {0x40DA, "fastlinex", lineIn<Invert>},
        {0x40DD, "pointonc", pointonc},
        // mirage.inc gives pixelxorhl as 40DEh, inside pointonc's jump; a
        // program built with it calls there.
        {0x40DE, "pixelxorhl", pixelxorhl},
        {0x40E0, "pointoffc", pointoffc},
        {0x40E3, "pointxorc", pointxorc},
        {0x40E6, "centertext", centertext},
        {0x40E9, "cphlbc", cphlbc},
        {0x40EC, "putsprite8", putsprite8},
        {0x40EF, "fastcopyb", fastcopys},
        {0x40F2, "vputsc", vputsc},
        {0x40F5, "scrolld7", scrolld7},
        {0x40F8, "vnewline", vnewline},
        {0x40FB, "rand127", rand127},
        {0x40FE, "disprle", disprle},
        {0x4101, "cphlde", cphlde},
        {0x4104, "screentopic", screentopic},
        {0x4107, "fastlined", fastlined},
        {0x410A, "disprlel", disprlel},
        {0x410D, "getnextgoodprog", nullptr},
        {0x4110, "getprevgoodprog", nullptr},
        {0x4113, "getnext", nullptr},
        {0x4116, "getprev", nullptr},
        {0x4119, "compstrs", compstrs},
        {0x411C, "nextstr", nextstr},
        {0x411F, "getinfo", nullptr},
        {0x4122, "fastrectangle", rectangleOf<false>},
        {0x4125, "gettext", nullptr},
        {0x4128, "gettextv", nullptr},
        {0x412B, "FastRectangle_Save", rectangleOf<false>},
        {0x412E, "vputa", vputa},
        {0x4131, "runprog", nullptr},
        {0x4134, "isgoodprog", nullptr},
        {0x4137, "existfold", nullptr},
        {0x413A, "delprog", nullptr},
        {0x413D, "filledrectangle", rectangleOf<true>},
        {0x4140, "nextfolder", nullptr},
        {0x4143, "delfolder", nullptr},
        {0x4146, "moveall", nullptr},
        {0x4149, "curfoldname", nullptr},
        {0x414C, "curfoldnamea", nullptr},
        {0x414F, "createfolder", nullptr},
        {0x4152, "compstrsn", compstrsn},
        {0x4155, "folder_menu_start", nullptr},
        {0x4158, "options_screen", nullptr},
        {0x415B, "put_folder_name_top", nullptr},
        {0x415E, "general_key_routine", nullptr},
        {0x4161, "find_num_good_progs", nullptr},
        {0x4164, "put_scrollbar", nullptr},
        {0x4167, "invert_lines", invert_lines},
        {0x416A, "invert_1_line", invert_1_line},
        {0x416D, "right_align_value", nullptr},
        {0x4170, "put_mirageos_header", nullptr},
        {0x4173, "put_size_graphic", nullptr},
        {0x4176, "sendprog", nullptr},
        {0x4179, "hideprog", nullptr},
        {0x417C, "arcprog", nullptr},
        {0x417F, "filledrectangle_save", rectangleOf<true>},
        {0x4182, "getbytetiosw", linkByte},
        {0x4185, "vatswap", nullptr},
        {0x4188, "renameprog", nullptr},
        {0x418B, "renamefolder", nullptr},
        {0x418E, "sysmain", nullptr},
        {0x4191, "setupint", nullptr},
        {0x4194, "move_gui_prog", nullptr},
        {0x4197, "largespritehl", largespritehl},
        {0x419A, "Update_Scrollbar", nullptr},
        {0x419D, "Initial_Scrollbar", nullptr},
        {0x41A0, "sortallfolds", nullptr},
        {0x41A3, "dofoldsort", nullptr},
        {0x41A6, "getfoldsort", nullptr},
        {0x41A9, "setfoldsort", nullptr},
        {0x41AC, "Increase_Cur_Element", nullptr},
        {0x41AF, "Decrease_Cur_Element", nullptr},
        {0x41B2, "Increase_Max_Elements", nullptr},
        {0x41B5, "Decrease_Max_Elements", nullptr},
        {0x41B8, "Add_A_To_Cur_Element", nullptr},
        {0x41BB, "Sub_A_From_Cur_Element", nullptr},
        {0x41BE, "Add_A_To_Max_Elements", nullptr},
        {0x41C1, "Sub_A_From_Max_Elements", nullptr},
        {0x41C4, "Skip_Forward_B_From_Top", nullptr},
        {0x41C7, "Get_Curgoodprog_Ptr", nullptr},
        {0x41CA, "getchecksum", getchecksum},
        {0x41CD, "freearc", nullptr},
        {0x41D0, "swapram", nullptr},
        {0x41D3, "hideall", nullptr},
    };
};

void Os::addMirageCalls() {
    addIonCalls(0x4083);
    addShellRoutines(std::begin(MirageLibrary::kRoutines), std::size(MirageLibrary::kRoutines));
}

} // namespace run
