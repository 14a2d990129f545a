#include "run/lcd.h"

namespace run {

void Lcd::command(std::uint8_t v) {
    if (v <= 1)
        m_8bit = v == 1;
    else if (v <= 3)
        m_on = v == 3, ++m_changes;
    else if (v <= 7)
        m_step = v == 4   ? Step::RowUp
                 : v == 5 ? Step::RowDown
                 : v == 6 ? Step::ColumnLeft
                          : Step::ColumnRight;
    else if (v >= 0x20 && v < 0x40)
        m_column = v & 0x1F;
    else if (v >= 0x40 && v < 0x80)
        m_z = v & 0x3F, ++m_changes;
    else if (v >= 0x80 && v < 0xC0)
        m_row = v & 0x3F;
    else if (v >= 0xC0)
        m_contrast = v & 0x3F;
    // 08h-1Fh (power, op-amp and test settings) change nothing a program sees.
}

// WikiTI, 83Plus:Ports:10: bit 7 busy, 6 words of 8 bits, 5 display on,
// 1 the cursor moves along a row (Y, column mode) rather than down a column
// (X, row mode), 0 it counts up rather than down.
std::uint8_t Lcd::status() const {
    std::uint8_t s = 0; // bit 7 clear: never busy
    if (m_8bit)
        s |= 0x40;
    if (m_on)
        s |= 0x20;
    if (m_step == Step::ColumnLeft || m_step == Step::ColumnRight)
        s |= 0x02;
    if (m_step == Step::RowDown || m_step == Step::ColumnRight)
        s |= 0x01;
    return s;
}

void Lcd::advance() {
    const int columns = m_8bit ? 15 : 20;
    switch (m_step) {
    case Step::RowDown:
        m_row = (m_row + 1) & 63;
        break;
    case Step::RowUp:
        m_row = (m_row + 63) & 63;
        break;
    case Step::ColumnRight:
        m_column = m_column + 1 >= columns ? 0 : m_column + 1;
        break;
    case Step::ColumnLeft:
        m_column = m_column == 0 ? columns - 1 : m_column - 1;
        break;
    }
}

void Lcd::writeData(std::uint8_t v) {
    const int w = wordWidth();
    const int x0 = m_column * w;
    for (int i = 0; i < w; ++i)
        if (x0 + i < 120)
            m_ram[m_row][x0 + i] = (v >> (w - 1 - i)) & 1;
    ++m_changes;
    advance();
}

// A read gives the word the previous read (or the dummy read after setting an
// address) fetched, then fetches the word under the cursor and moves on.
std::uint8_t Lcd::readData() {
    const std::uint8_t out = m_latch;
    const int w = wordWidth();
    const int x0 = m_column * w;
    std::uint8_t word = 0;
    for (int i = 0; i < w; ++i)
        word = std::uint8_t(word << 1 | (x0 + i < 120 ? m_ram[m_row][x0 + i] : 0));
    m_latch = word;
    advance();
    return out;
}

bool Lcd::pixel(int x, int y) const {
    return m_on && m_ram[(y + m_z) & 63][x] != 0;
}

void Lcd::clearMemory() {
    for (auto &r : m_ram)
        r.fill(0);
    ++m_changes;
}

} // namespace run
