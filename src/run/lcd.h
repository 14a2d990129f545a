#pragma once
// The calculator's display controller: 64 rows of 120 pixel columns of which
// 96 are shown, written and read through a command port and a data port in
// words of 8 or 6 pixels, with a cursor that moves after every word.

#include <array>
#include <cstdint>

namespace run {

class Lcd {
public:
    static constexpr int kWidth = 96, kHeight = 64;

    void command(std::uint8_t value);
    std::uint8_t status() const;
    void writeData(std::uint8_t value);
    std::uint8_t readData();

    // The picture as shown: the Z-address applied, blank while switched off.
    bool pixel(int x, int y) const;
    // The controller's memory, row by row, for the OS calls that draw directly.
    bool memoryPixel(int x, int y) const { return m_ram[y & 63][x] != 0; }
    using Memory = std::array<std::array<std::uint8_t, 120>, 64>;
    // All of it, one byte a pixel (1 on), the hidden columns too.
    const Memory &memory() const { return m_ram; }
    // A pixel the OS's calls draw counts as a change like a word written to
    // the data port, so a window shows what they draw while the program runs.
    void setMemoryPixel(int x, int y, bool on) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight && m_ram[y][x] != on) {
            m_ram[y][x] = on;
            ++m_changes;
        }
    }
    void clearMemory();

    bool isOn() const { return m_on; }
    bool wordIs8Bits() const { return m_8bit; }
    int row() const { return m_row; }
    int column() const { return m_column; }
    int zAddress() const { return m_z; }
    int contrast() const { return m_contrast; }
    // Counts changes, so a window repaints only when something was drawn.
    std::uint64_t changes() const { return m_changes; }

private:
    enum class Step { RowDown, RowUp, ColumnLeft, ColumnRight };
    int wordWidth() const { return m_8bit ? 8 : 6; }
    void advance();

    Memory m_ram{};
    bool m_8bit = true, m_on = true;
    Step m_step = Step::RowDown;
    int m_row = 0, m_column = 0, m_z = 0, m_contrast = 32;
    std::uint8_t m_latch = 0;
    std::uint64_t m_changes = 0;
};

} // namespace run
