// The shells' libraries. Ion's, for programs written for the Ion shell: the eight routines
// its header ion.inc names, reached by `call` through a table of jumps at
// lVectors (cmdshad + 80 = 96BEh, three bytes apart), answered here from
// their documentation (Ion's libs.txt: inputs, outputs and what each draws).
// Ion starts a program after its first byte (the `ret` that stops it when
// run from the home screen) with carry clear, so `jr nc,start` runs it.

#include "run/costs.h"
#include "run/os.h"

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

void Os::addIonCalls(std::uint16_t table) {
    const auto vector = [table](int n) { return std::uint16_t(table + 3 * n); };
    const auto ion = [this](std::uint16_t at, Call call) { m_shellCalls[at] = std::move(call); };
    // Ion 1.6: version in HL (256 = 1.0), compatibility numbers, 8 routines.
    ion(vector(0), [](Machine &m) {
        m.setReg(Reg::HL, 0x0106);
        m.setA(1);
        m.setReg(Reg::DE, 0x0108);
        return Result::Done;
    });
    // A random number 0 <= A < B; B ends 0.
    ion(vector(1), [this](Machine &m) {
        const int bound = m.reg(Reg::BC) >> 8;
        m_shellRandom = m_shellRandom * 1103515245u + 12345u;
        m.setA(std::uint8_t(bound ? (m_shellRandom >> 16) % unsigned(bound) : 0));
        m.setReg(Reg::BC, std::uint16_t(m.reg(Reg::BC) & 0x00FF));
        m.idle(250);
        return Result::Done;
    });
    // ionPutSprite: B rows of 8 pixels at IX, at x = A, y = L; IX after it.
    ion(vector(2), [](Machine &m) {
        const int height = m.reg(Reg::BC) >> 8;
        const std::uint16_t ix = m.reg(Reg::IX);
        xorSprite(m, ix, m.a(), m.reg(Reg::HL) & 0xFF, height, 1);
        m.setReg(Reg::IX, std::uint16_t(ix + height));
        return Result::Done;
    });
    // ionLargeSprite: B rows of C bytes.
    ion(vector(3), [](Machine &m) {
        const int height = m.reg(Reg::BC) >> 8, width = m.reg(Reg::BC) & 0xFF;
        const std::uint16_t ix = m.reg(Reg::IX);
        xorSprite(m, ix, m.a(), m.reg(Reg::HL) & 0xFF, height, width);
        m.setReg(Reg::IX, std::uint16_t(ix + height * width));
        return Result::Done;
    });
    // ionGetPixel: the mask of pixel (A, E) in A, its byte of the buffer in HL.
    ion(vector(4), [](Machine &m) {
        const int x = m.a(), y = m.reg(Reg::DE) & 0xFF;
        m.setReg(Reg::HL, std::uint16_t(ram::plotSScreen + y * 12 + x / 8));
        m.setA(std::uint8_t(0x80 >> (x & 7)));
        m.idle(150);
        return Result::Done;
    });
    // ionFastCopy: the graph buffer to the display, at the display's pace.
    ion(vector(5), [](Machine &m) {
        m.idle(768 * 70);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                m.lcd().setMemoryPixel(x, y,
                                       m.read(std::uint16_t(ram::plotSScreen + y * 12 + x / 8)) &
                                           (0x80 >> (x & 7)));
        return Result::Done;
    });
    // ionDetect: the programs whose data begins with the string at IX. This
    // calculator holds no programs but the one running: none is found (NZ).
    ion(vector(6), [](Machine &m) {
        m.setReg(Reg::DE, std::uint16_t(m.reg(Reg::HL) + 1));
        m.setFlags(0x00);
        m.idle(500);
        return Result::Done;
    });
    // ionDecompress: B bytes to DE from the bits at HL, C the mask of each
    // value (1, 3 or 15: 8, 4 or 2 values a byte, first in the high bits);
    // HL ends after the compressed data.
    ion(vector(7), [](Machine &m) {
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
    });
}

// MirageOS's own routines (mirage.inc, MirageOS's developer include), in
// its page at 4000h, after the Ion routines it answers at 4083h; those whose
// documented effect is plain from their inputs and outputs.
void Os::addMirageCalls() {
    addIonCalls(0x4083);
    const auto mirage = [this](std::uint16_t at, Call call) { m_shellCalls[at] = std::move(call); };
    // directin: the keys held in the groups A selects, as port 1 reads them.
    mirage(0x409B, [](Machine &m) {
        m.keypad().selectGroups(m.a());
        m.setA(m.keypad().read(m.time6()));
        m.idle(80);
        return Result::Done;
    });
    // multhe: HL = H * E; multhl: HL = H * L.
    mirage(0x40B3, [](Machine &m) {
        m.setReg(Reg::HL, std::uint16_t((m.reg(Reg::HL) >> 8) * (m.reg(Reg::DE) & 0xFF)));
        m.idle(300);
        return Result::Done;
    });
    mirage(0x40B6, [](Machine &m) {
        m.setReg(Reg::HL, std::uint16_t((m.reg(Reg::HL) >> 8) * (m.reg(Reg::HL) & 0xFF)));
        m.idle(300);
        return Result::Done;
    });
    // quittoshell: the program is over, back to MirageOS's menu.
    mirage(0x40B9, [](Machine &) { return Result::Ended; });
    // cphlbc and cphlde: HL compared with BC or DE, the flags as CP sets them.
    const auto compare = [](Reg other) {
        return [other](Machine &m) {
            const int hl = m.reg(Reg::HL), v = m.reg(other);
            m.setFlags(std::uint8_t((hl == v ? 0x40 : 0) | (hl < v ? 0x01 : 0)));
            return Result::Done;
        };
    };
    mirage(0x40E9, compare(Reg::BC));
    mirage(0x4101, compare(Reg::DE));
    // rand127: a random number 0 to 127 in A.
    mirage(0x40FB, [this](Machine &m) {
        m_shellRandom = m_shellRandom * 1103515245u + 12345u;
        m.setA(std::uint8_t((m_shellRandom >> 16) & 0x7F));
        m.idle(250);
        return Result::Done;
    });
    addMoreMirageCalls();
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
