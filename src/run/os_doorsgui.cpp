// Doors CS's GUI stack, from its SDK's GUI API pages: OpenGUIStack starts an
// empty stack, PushGUIStack adds an entry (A its type, DE bytes of data at
// HL), PopGUIStack(s) take the top entries off, CloseGUIStack ends it,
// RenderGUI draws every entry into the graph buffer and shows it, and
// GUIMouse draws it, moves a mouse with the arrow keys and, at 2ND or ENTER
// on a button or hotspot of the top group (CLEAR: its window's [X]), jumps
// to the item's onclick address with the stack as if the program had jumped
// to GUIMouse. A group starts at a null, large window or small window entry.
//
// The drawing is this runner's own, not Doors CS's pixel for pixel: a large
// window fills the screen, a small one is 80x48 at its (x, y), both with a
// border and a title bar (8 rows, the icon and the title in white on black);
// an item's coordinates count from the window's inside below its title bar.
// Items this runner does not draw (text input, radio buttons, scroll bars,
// custom routines...) stop the run with their name, as a GUIMouse hook does.

#include "run/os_doorsgui.h"

#include "run/costs.h"
#include "run/font.h"

#include <algorithm>
#include <string>

namespace run {

// A place the mouse can click: the rectangle and where it jumps. Named
// outside the file's own names: the painter, a friend of Os, holds them.
struct Clickable {
    int x0, y0, x1, y1;
    std::uint16_t onclick;
    bool close; // a window's [X], which CLEAR clicks too
};

namespace {

enum Item {
    Null = 0,
    LargeWin,
    SmallWin,
    FullScreenImg,
    Text,
    WinButtons,
    WrappedText,
    ButtonText,
    ButtonImg,
    TextLineIn,
    Radio,
    Checkbox,
    ByteInt,
    WordInt,
    Hotspot,
    TextMultiline,
    Sprite,
    LargeSprite,
    PassIn,
    ScrollVert,
    ScrollHoriz,
    Border,
    Rect,
    Custom,
    MouseCursor
};
const char *const kItemNames[] = {
    "GUIRnull",        "GUIRLargeWin",    "GUIRSmallWin",    "GUIRFullScreenImg",
    "GUIRText",        "GUIRWinButtons",  "GUIRWrappedText", "GUIRButtonText",
    "GUIRButtonImg",   "GUIRTextLineIn",  "GUIRRadio",       "GUIRCheckbox",
    "GUIRByteInt",     "GUIRWordInt",     "GUIRHotspot",     "GUIRTextMultiline",
    "GUIRSprite",      "GUIRLargeSprite", "GUIRPassIn",      "GUIRScrollVert",
    "GUIRScrollHoriz", "GUIRBorder",      "GUIRRect",        "GUIRCustom",
    "GUIRMouseCursor"};
constexpr std::size_t kMaxEntries = 256, kMaxBytes = 16384;

using Entry = std::vector<std::uint8_t>;

void pixel(Machine &m, int x, int y, int ink) {
    if (x < 0 || x > 95 || y < 0 || y > 63)
        return;
    const std::uint16_t at = Os::bufferByte(x, y);
    const std::uint8_t mask = Os::pixelMask(x);
    m.write(at, std::uint8_t(ink == 2 ? m.read(at) ^ mask
                             : ink    ? m.read(at) | mask
                                      : m.read(at) & ~mask));
}

void box(Machine &m, int x0, int y0, int x1, int y1, int ink, bool filled) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (filled || y == y0 || y == y1 || x == x0 || x == x1)
                pixel(m, x, y, ink);
}

std::string textAt(const Entry &e, std::size_t from) {
    std::string s;
    for (std::size_t i = from; i < e.size() && e[i]; ++i)
        s += char(e[i]);
    return s;
}

int byteAt(const Entry &e, std::size_t i) {
    return i < e.size() ? e[i] : 0;
}

std::uint16_t wordAt(const Entry &e, std::size_t i) {
    return std::uint16_t(byteAt(e, i) | byteAt(e, i + 1) << 8);
}

} // namespace

// Draws the stack's entries and gathers the top group's clickable places; an
// item it cannot draw gives its name instead.
struct GuiPainter {
    Os &os;
    Machine &m;
    std::vector<Clickable> clicks;
    int ox = 0, oy = 0;            // where the current group's items count from
    int winRight = 95, winTop = 0; // the current window, for its buttons

    int textWidth(const std::string &s) const {
        int w = 0;
        for (char c : s)
            w += smallGlyph(std::uint8_t(c)).width;
        return w;
    }
    // Small-font text into the buffer at (x, y), in white on black if asked.
    void text(int x, int y, const std::string &s, bool inverse) {
        const bool write = m.flag(flags::sGrFlags, flags::textWrite);
        const bool inv = m.flag(flags::textFlags, flags::textInverse);
        const std::uint16_t pen = m.readWord(ram::penCol);
        m.setFlag(flags::sGrFlags, flags::textWrite, true);
        m.setFlag(flags::textFlags, flags::textInverse, inverse);
        m.write(ram::penCol, std::uint8_t(std::clamp(x, 0, 95)));
        m.write(ram::penRow, std::uint8_t(std::clamp(y, 0, 63)));
        for (char c : s)
            if (!os.vPutMap(m, std::uint8_t(c)))
                break;
        m.writeWord(ram::penCol, pen);
        m.setFlag(flags::sGrFlags, flags::textWrite, write);
        m.setFlag(flags::textFlags, flags::textInverse, inv);
    }
    void window(const Entry &e, int x0, int y0, int x1, int y1, std::size_t icon) {
        box(m, x0, y0, x1, y1, 0, true);
        box(m, x0, y0, x1, y1, 1, false);
        box(m, x0, y0, x1, y0 + 7, 1, true);
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 5; ++c)
                if (byteAt(e, icon + r) & (0x80 >> c))
                    pixel(m, x0 + 2 + c, y0 + 1 + r, 0);
        text(x0 + 9, y0 + 1, textAt(e, icon + 5), true);
        ox = x0 + 1, oy = y0 + 8, winRight = x1, winTop = y0;
    }
    // [-], [] and [X] at the title bar's right, the set ones of bits 7-5.
    void winButtons(const Entry &e, bool top) {
        const int which = byteAt(e, 1);
        int x = winRight - 8, slot = 0;
        for (int bit = 5; bit <= 7; ++bit) {
            if (!(which & (1 << bit)))
                continue;
            const int n = 7 - bit; // 0 [-], 1 [], 2 [X]
            const std::size_t at =
                e.size() >= 8 ? std::size_t(2 + 2 * n) : std::size_t(2 + 2 * slot);
            ++slot;
            box(m, x, winTop + 1, x + 6, winTop + 6, 0, true);
            if (n == 2)
                for (int i = 1; i < 5; ++i)
                    pixel(m, x + 1 + i, winTop + 1 + i, 1), pixel(m, x + 5 - i, winTop + 1 + i, 1);
            else if (n == 0)
                box(m, x + 2, winTop + 4, x + 4, winTop + 4, 1, true);
            else
                box(m, x + 1, winTop + 2, x + 5, winTop + 5, 1, false);
            if (top)
                clicks.push_back({x, winTop + 1, x + 6, winTop + 6, wordAt(e, at), n == 2});
            x -= 8;
        }
    }
    void sprite(const Entry &e, int x, int y, int widthBytes, int rows, std::size_t from) {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < widthBytes * 8; ++c)
                if (byteAt(e, from + std::size_t(r * widthBytes + c / 8)) & (0x80 >> (c & 7)))
                    pixel(m, x + c, y + r, 2);
    }
    // Returns the name of an item it cannot draw, else empty.
    std::string draw(const Entry &e, bool top) {
        const int x = ox + byteAt(e, 1), y = oy + byteAt(e, 2);
        switch (e[0]) {
        case Null:
            if (byteAt(e, 1) == 255)
                box(m, 0, 0, 95, 63, 0, true);
            ox = oy = winTop = 0, winRight = 95;
            return {};
        case LargeWin:
            window(e, 0, 0, 95, 63, 1);
            return {};
        case SmallWin:
            window(e, byteAt(e, 1) & 15, byteAt(e, 2) & 15, (byteAt(e, 1) & 15) + 79,
                   (byteAt(e, 2) & 15) + 47, 3);
            return {};
        case FullScreenImg:
            for (int i = 0; i < 768; ++i)
                m.write(std::uint16_t(ram::plotSScreen + i), std::uint8_t(byteAt(e, 1 + i)));
            return {};
        case Text:
        case WrappedText:
            text(x, y, textAt(e, e[0] == Text ? 4 : 5), false);
            return {};
        case WinButtons:
            winButtons(e, top);
            return {};
        case ButtonText: {
            const std::string label = textAt(e, 5);
            const int x1 = x + textWidth(label) + 3, y1 = y + 7;
            box(m, x, y, x1, y1, 0, true);
            box(m, x, y, x1, y1, 1, false);
            text(x + 2, y + 1, label, false);
            if (top)
                clicks.push_back({x, y, x1, y1, wordAt(e, 3), false});
            return {};
        }
        case Hotspot:
            if (top)
                clicks.push_back(
                    {x, y, x + byteAt(e, 3) - 1, y + byteAt(e, 4) - 1, wordAt(e, 5), false});
            return {};
        case Sprite:
            sprite(e, x, y, 1, byteAt(e, 3), 4);
            return {};
        case LargeSprite:
            sprite(e, x, y, byteAt(e, 3), byteAt(e, 4), 5);
            return {};
        case Border:
            box(m, x, y, x + byteAt(e, 3) - 1, y + byteAt(e, 4) - 1, byteAt(e, 5) ? 1 : 0, false);
            return {};
        case Rect:
            box(m, x, y, x + byteAt(e, 3) - 1, y + byteAt(e, 4) - 1, std::min(byteAt(e, 5), 2),
                true);
            return {};
        default:
            return e[0] < std::size(kItemNames) ? kItemNames[e[0]] : "type " + std::to_string(e[0]);
        }
    }
    // Every entry, bottom first; the top group's places gathered.
    std::string all() {
        std::size_t topGroup = 0;
        for (std::size_t i = 0; i < os.m_gui.size(); ++i)
            if (os.m_gui[i][0] <= SmallWin)
                topGroup = i;
        for (std::size_t i = 0; i < os.m_gui.size(); ++i)
            if (std::string bad = draw(os.m_gui[i], i >= topGroup); !bad.empty())
                return bad;
        m.idle(768 * 70 + os.m_gui.size() * 2000);
        return {};
    }
};

// The mouse's arrow is drawn on the screen only, not into the buffer.
void DoorsGui::show(Os &os, Machine &m, bool mouse) {
    Os::showPicture(m, ram::plotSScreen);
    if (!mouse)
        return;
    static const std::uint8_t arrow[] = {0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xE0, 0xA0, 0x10};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const int x = os.mouseX() + c, y = os.mouseY() + r;
            if ((arrow[r] & (0x80 >> c)) && x < 96 && y < 64)
                m.lcd().setMemoryPixel(x, y, !m.lcd().memoryPixel(x, y));
        }
}

Os::Result DoorsGui::notDrawn(Os &os, Machine &m, const std::string &what) {
    m.stop("the program's Doors CS GUI holds " + what +
           ", which this runner does not draw or "
           "answer (called at " +
           os.callPlace() + ")");
    return Os::Result::Wait;
}

Os::Result DoorsGui::openGUIStack(Os &os, Machine &m) {
    const bool wasOpen = os.m_guiOpen;
    if (!wasOpen)
        os.m_gui.clear();
    os.m_guiOpen = true;
    m.setReg(Reg::BC, std::uint16_t((m.reg(Reg::BC) & 0xFF00) | (wasOpen ? 1 : 0)));
    m.idle(2000);
    return Result::Done;
}

Os::Result DoorsGui::closeGUIStack(Os &os, Machine &m) {
    os.m_gui.clear();
    os.m_guiOpen = false;
    m.idle(1000);
    return Result::Done;
}

Os::Result DoorsGui::pushGUIStack(Os &os, Machine &m) {
    const std::uint16_t hl = m.reg(Reg::HL), de = m.reg(Reg::DE);
    std::size_t used = 0;
    for (const Entry &e : os.m_gui)
        used += e.size() + 2;
    if (!os.m_guiOpen) {
        m.stop("the program pushed onto Doors CS's GUI stack before OpenGUIStack (called at " +
               os.callPlace() + ")");
        return Result::Wait;
    }
    if (os.m_gui.size() >= kMaxEntries || used + de + 3 > kMaxBytes) {
        m.stop("Doors CS's GUI stack would outgrow the memory it has (" +
               std::to_string(used + de + 3) + " bytes in " + std::to_string(os.m_gui.size() + 1) +
               " entries; called at " + os.callPlace() + ")");
        return Result::Wait;
    }
    Entry e{m.a()};
    for (std::uint16_t i = 0; i < de; ++i)
        e.push_back(m.read(std::uint16_t(hl + i)));
    os.m_gui.push_back(std::move(e));
    m.idle(std::uint64_t(de) * cost::kByte + 1000);
    return Result::Done;
}

Os::Result DoorsGui::popGUIStack(Os &os, Machine &m) {
    if (!os.m_gui.empty())
        os.m_gui.pop_back();
    m.idle(1000);
    return Result::Done;
}

Os::Result DoorsGui::popGUIStacks(Os &os, Machine &m) {
    for (int n = (m.reg(Reg::BC) >> 8); n > 0 && !os.m_gui.empty(); --n)
        os.m_gui.pop_back();
    m.idle(1000);
    return Result::Done;
}

Os::Result DoorsGui::renderGUI(Os &os, Machine &m) {
    GuiPainter paint{os, m, {}};
    if (const std::string bad = paint.all(); !bad.empty())
        return notDrawn(os, m, bad);
    show(os, m, false);
    return Result::Done;
}

// Entered again at each interrupt while it waits: a key moves the mouse two
// pixels or clicks; the first entry of a wait draws the stack.
Os::Result DoorsGui::guiMouse(Os &os, Machine &m) {
    if (m.reg(Reg::HL) != 0)
        return notDrawn(os, m, "a GUIMouse hook (HL = " + std::to_string(m.reg(Reg::HL)) + ")");
    GuiPainter paint{os, m, {}};
    if (const std::string bad = paint.all(); !bad.empty())
        return notDrawn(os, m, bad);
    m.enableInterrupts();
    const std::optional<int> key = m.keypad().takePress(m.time6());
    if (!key) {
        show(os, m, true);
        return m.keypad().scriptExhausted(m.time6()) ? os.waitForKey(m) : Result::Wait;
    }
    const int step = 2;
    if (*key == sk::Left || *key == sk::Right)
        os.m_mouseX = std::clamp(os.m_mouseX + (*key == sk::Left ? -step : step), 0, 95);
    if (*key == sk::Up || *key == sk::Down)
        os.m_mouseY = std::clamp(os.m_mouseY + (*key == sk::Up ? -step : step), 0, 63);
    show(os, m, true);
    const bool click = *key == sk::Enter || *key == sk::Second;
    if (!click && *key != sk::Clear)
        return Result::Wait;
    for (auto c = paint.clicks.rbegin(); c != paint.clicks.rend(); ++c) {
        const bool hit = click ? os.m_mouseX >= c->x0 && os.m_mouseX <= c->x1 &&
                                     os.m_mouseY >= c->y0 && os.m_mouseY <= c->y1
                               : c->close;
        if (hit) {
            // As if the program had jumped to GUIMouse: its return address
            // gives way to the item's.
            m.writeWord(m.reg(Reg::SP), c->onclick);
            return Result::Done;
        }
    }
    return Result::Wait;
}

} // namespace run
