// Ion's library, for programs written for the Ion shell: the eight routines
// its header ion.inc names, reached by `call` through a table of jumps at
// lVectors (cmdshad + 80 = 96BEh, three bytes apart), answered here from
// their documentation (Ion's libs.txt: inputs, outputs and what each draws).
// Ion starts a program after its first byte (the `ret` that stops it when
// run from the home screen) with carry clear, so `jr nc,start` runs it.
// MirageOS and Doors CS answer the same routines at 4083h (os_mirage.cpp).

#include "run/costs.h"
#include "run/os.h"

#include <iterator>

namespace run {

namespace {

constexpr std::uint16_t kIonVectors = 0x966E + 80;

// XORs `width` bytes of sprite rows at `sprite` into the graph buffer at
// pixel (x, y), as Ion does: no clipping, a row shifted across two bytes.
void xorSprite(Machine &m, std::uint16_t sprite, int x, int y, int height, int width) {
    const int shift = x & 7;
    for (int row = 0; row < height; ++row) {
        std::uint16_t at = std::uint16_t(ram::plotSScreen + (y + row) * 12 + x / 8);
        for (int col = 0; col < width; ++col, ++at) {
            const std::uint8_t bits = m.read(std::uint16_t(sprite + row * width + col));
            m.write(at, std::uint8_t(m.read(at) ^ (bits >> shift)));
            if (shift) {
                const std::uint16_t next = std::uint16_t(at + 1);
                m.write(next, std::uint8_t(m.read(next) ^ (bits << (8 - shift))));
            }
        }
    }
    m.idle(std::uint64_t(height * width) * 90 + 200);
}

} // namespace

struct IonLibrary {
    using Result = Os::Result;

    // Ion 1.6: version in HL (256 = 1.0), compatibility numbers.
    static Result version(Os &, Machine &m) {
        m.setReg(Reg::HL, 0x0106);
        m.setA(1);
        m.setReg(Reg::DE, 0x0108);
        return Result::Done;
    }
    // A random number 0 <= A < B; B ends 0.
    static Result random(Os &os, Machine &m) {
        const int bound = m.reg(Reg::BC) >> 8;
        os.m_shellRandom = os.m_shellRandom * 1103515245u + 12345u;
        m.setA(std::uint8_t(bound ? (os.m_shellRandom >> 16) % unsigned(bound) : 0));
        m.setReg(Reg::BC, std::uint16_t(m.reg(Reg::BC) & 0x00FF));
        m.idle(250);
        return Result::Done;
    }
    // B rows of 8 pixels at IX, at x = A, y = L; IX after it.
    static Result putSprite(Os &, Machine &m) {
        const int height = m.reg(Reg::BC) >> 8;
        const std::uint16_t ix = m.reg(Reg::IX);
        xorSprite(m, ix, m.a(), m.reg(Reg::HL) & 0xFF, height, 1);
        m.setReg(Reg::IX, std::uint16_t(ix + height));
        return Result::Done;
    }
    // B rows of C bytes.
    static Result largeSprite(Os &, Machine &m) {
        const int height = m.reg(Reg::BC) >> 8, width = m.reg(Reg::BC) & 0xFF;
        const std::uint16_t ix = m.reg(Reg::IX);
        xorSprite(m, ix, m.a(), m.reg(Reg::HL) & 0xFF, height, width);
        m.setReg(Reg::IX, std::uint16_t(ix + height * width));
        return Result::Done;
    }
    // The mask of pixel (A, E) in A, its byte of the buffer in HL.
    static Result getPixel(Os &, Machine &m) {
        const int x = m.a(), y = m.reg(Reg::DE) & 0xFF;
        m.setReg(Reg::HL, Os::bufferByte(x, y));
        m.setA(Os::pixelMask(x));
        m.idle(150);
        return Result::Done;
    }
    // The graph buffer to the display, at the display's pace.
    static Result fastCopy(Os &, Machine &m) {
        m.idle(768 * 70);
        Os::showPicture(m, ram::plotSScreen);
        return Result::Done;
    }
    // The programs whose data begins with the string at IX. This calculator
    // holds no programs but the one running: none is found (NZ).
    static Result detect(Os &, Machine &m) {
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::HL) + 1));
        m.setFlags(0x00);
        m.idle(500);
        return Result::Done;
    }
    // B bytes to DE from the bits at HL, C the mask of each value (1, 3 or
    // 15: 8, 4 or 2 values a byte, first in the high bits); HL ends after the
    // compressed data.
    static Result decompress(Os &, Machine &m) {
        const int count = m.reg(Reg::BC) >> 8, mask = m.reg(Reg::BC) & 0xFF;
        const int bits = mask == 1 ? 1 : mask == 3 ? 2 : 4;
        std::uint16_t from = m.reg(Reg::HL), to = m.reg(Reg::DE);
        int used = 8;
        std::uint8_t byte = 0;
        for (int i = 0; i < (count ? count : 256); ++i) {
            if (used == 8)
                byte = m.read(from++), used = 0;
            used += bits;
            m.write(to++, std::uint8_t((byte >> (8 - used)) & mask));
        }
        m.setReg(Reg::HL, from);
        m.setReg(Reg::DE, to);
        m.idle(std::uint64_t(count ? count : 256) * 60);
        return Result::Done;
    }

    // By their place in the table of jumps, three bytes apart.
    static constexpr Os::ShellRoutine kRoutines[] = {
        {0, "ionVersion", version},     {3, "ionRandom", random},
        {6, "ionPutSprite", putSprite}, {9, "ionLargeSprite", largeSprite},
        {12, "ionGetPixel", getPixel},  {15, "ionFastCopy", fastCopy},
        {18, "ionDetect", detect},      {21, "ionDecompress", decompress},
    };
};

void Os::addShellRoutines(const ShellRoutine *first, std::size_t count, std::uint16_t base) {
    for (const ShellRoutine *r = first; r != first + count; ++r) {
        const std::uint16_t at = std::uint16_t(base + r->address);
        m_shellNames[at] = r->name;
        if (r->answer)
            m_shellCalls[at] = [this, answer = r->answer](Machine &m) { return answer(*this, m); };
    }
}

void Os::addIonCalls(std::uint16_t table) {
    addShellRoutines(std::begin(IonLibrary::kRoutines), std::size(IonLibrary::kRoutines), table);
}

void Os::startShell(Machine &m, const std::string &shell) {
    if (shell == "Ion") {
        addIonCalls(kIonVectors);
        // Each vector holds a jump, so a program reading the table finds one.
        for (int n = 0; n < 8; ++n) {
            const std::uint16_t at = std::uint16_t(kIonVectors + 3 * n);
            m.write(at, 0xC3);
            m.writeWord(std::uint16_t(at + 1), at);
        }
        m.setTraps(kIonVectors, std::uint16_t(kIonVectors + 3 * 8));
        m.setReg(Reg::PC, std::uint16_t(Machine::kUserMem + 1));
        m.setFlags(std::uint8_t(m.reg(Reg::AF) & 0xFE));
    } else if (shell == "Doors CS") {
        addDoorsCalls();
        m.setReg(Reg::PC, std::uint16_t(Machine::kUserMem + 2)); // at the jr, after xor d / ret
    } else if (shell == "MirageOS") {
        addMirageCalls();
        // ret, .db 1, a 15x15 icon of 30 bytes, the description, then the code.
        std::uint16_t start = std::uint16_t(Machine::kUserMem + 2 + 30);
        for (int n = 0; n < 256 && m.read(start); ++n)
            ++start;
        m.setReg(Reg::PC, std::uint16_t(start + 1));
    } else {
        return;
    }
    m_shell = shell;
}

} // namespace run
