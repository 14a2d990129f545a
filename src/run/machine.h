#pragma once
// The TI-83 Plus as a program sees it: a Z80 at 6 MHz, 16 KB banks of memory
// (page 0 of the OS at 0000h, 32 KB of RAM at 8000h), the display, the keypad
// and the two hardware timers; or the TI-84 Plus, with 128 KB of RAM, 15 MHz
// and the ports of `Ti84Ports`. Of the Flash, only the pages of an application
// are here. The OS itself is not: whenever the program jumps below 8000h (below
// 4000h while port 6 maps an application's page at 4000h), the `Rom` it was
// given answers instead.

#include "run/keypad.h"
#include "run/lcd.h"
#include "run/model.h"
#include "run/ti84.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct _z80_cpu_context;

namespace run {

class Machine;
struct MachineState;

// Answers for the code the calculator's OS would run: called with PC below
// 8000h; it must move PC on, stop the machine, or wait.
class Rom {
public:
    virtual ~Rom() = default;
    virtual void enter(Machine &machine, std::uint16_t pc) = 0;
};

enum class Reg { AF, BC, DE, HL, IX, IY, SP, PC };

struct Stop {
    bool returned = false; // the program ended as a program ends
    std::string reason;    // why it stopped, for the user
};

class Machine {
public:
    static constexpr long kClockHz = 6000000;
    static constexpr long kTimerHz = 118;
    static constexpr std::uint16_t kUserMem = 0x9D95;

    explicit Machine(Rom &rom, Model model = Model::Ti83Plus);
    ~Machine();
    Machine(const Machine &) = delete;
    Machine &operator=(const Machine &) = delete;

    // Copies the program to 9D95h and sets it up to run with `returnTo` as the
    // address its final `ret` goes to.
    void load(const std::vector<std::uint8_t> &code, std::uint16_t returnTo);
    // Puts an application's pages in the Flash, its first 16 KB at page
    // `firstPage` and each next one a page lower, maps the first at 4000h and
    // sets it up to start at `entry` with `returnTo` as where a `ret` goes.
    void loadApplication(const std::vector<std::uint8_t> &bytes, int firstPage, std::uint16_t entry,
                         std::uint16_t returnTo);
    // The Flash's pages: 32 on the TI-83 Plus, 64 on the TI-84 Plus (WikiTI,
    // 83Plus:Ports:06).
    int flashPages() const { return m_model == Model::Ti84Plus ? 64 : 32; }
    // The Flash page port 6 maps at 4000h, or -1 when it maps RAM.
    int flashPageAt4000() const { return m_page[1] < -1 ? -2 - m_page[1] : -1; }
    // The application's page mapped at 4000h, counted from its first (as its
    // branch table and its build's map count them), or -1 when none is.
    int applicationPageAt4000() const {
        const int flash = flashPageAt4000();
        return flash >= 0 && m_appFirst >= 0 && flash <= m_appFirst &&
                       std::size_t(m_appFirst - flash) * 0x4000 < m_app.size()
                   ? m_appFirst - flash
                   : -1;
    }
    // Port 6 as the program last wrote it, and writing it (the OS maps pages too).
    std::uint8_t port6() const { return m_port6; }
    void setPort6(std::uint8_t v) {
        m_port6 = v;
        mapBank(1, v);
    }
    // Runs until the clock reaches `until` T-states in all, or the machine stops.
    void runUntil(std::uint64_t until);

    // For the debugger: where a run stops before one of the program's
    // instructions. One "instruction" is one the program runs at its own
    // addresses, with the OS's answer to it (a bcall is one) and any
    // interrupt the OS took before it.
    struct Stops {
        bool every = false;                        // before each instruction
        std::uint64_t count = UINT64_MAX;          // before the one after instructions() reaches it
        const std::bitset<65536> *at = nullptr;    // before the one at these addresses
        const std::bitset<256> *opcodes = nullptr; // before one whose first byte is set here;
        const std::bitset<256> *afterEd = nullptr; // for ED, DD and FD the next byte is
        const std::bitset<256> *afterIndex = nullptr; // looked up here (DD and FD)
    };
    // Runs like runUntil(), and also stops before an instruction `stops`
    // names, after one that wrote or read a watched byte, and after one that
    // left SP inside the guarded stack range: true when it stopped there.
    bool runUntil(std::uint64_t until, const Stops &stops);
    // The program's instructions run to their end so far.
    std::uint64_t instructions() const { return m_instructions; }
    // True inside an instruction: its OS answer, a prefix or a halt still running.
    bool midInstruction() const { return m_midInstruction; }
    // Where the last instruction run to its end began.
    std::uint16_t lastInstructionAt() const { return m_began[(m_instructions - 1) & 1]; }
    std::uint64_t cycles() const { return m_cycles; }
    Model model() const { return m_model; }
    // The CPU's clock now: 6 MHz, or 15 MHz on a TI-84 Plus that asked for it.
    long clockHz() const { return m_model == Model::Ti84Plus ? m_ti84.clockHz() : kClockHz; }
    // The calculator's time so far in cycles of 6 MHz, whatever the speed was.
    std::uint64_t time6() const { return m_time6At + in6(m_cycles - m_cyclesAt, clockHz()); }
    // `cycles` at `hz` as cycles of 6 MHz, without overflowing for any run.
    static std::uint64_t in6(std::uint64_t cycles, long hz) {
        const std::uint64_t h = std::uint64_t(hz);
        return cycles / h * std::uint64_t(kClockHz) + cycles % h * std::uint64_t(kClockHz) / h;
    }
    // On a TI-83 Plus, why the program may be one for the TI-84 Plus (it read
    // a port only that model has); on a TI-84 Plus, the USB port it used.
    // Empty when neither.
    const std::string &hardwareNote() const { return m_note; }
    // Lets time pass without running code (the OS waiting, a halt).
    void idle(std::uint64_t tstates) { m_cycles += tstates; }
    // When the next timer interrupt the program has enabled comes.
    std::uint64_t nextInterrupt() const;

    // Code at [from, to) in RAM is answered by the Rom too (a shell's library).
    void setTraps(std::uint16_t from, std::uint16_t to) { m_trapFrom = from, m_trapTo = to; }
    // True where the `Rom` answers instead of code running: below 4000h, at
    // 4000h-7FFFh unless an application's page is mapped there, and the traps.
    bool answered(std::uint16_t pc) const {
        return pc < 0x4000 || (pc < 0x8000 && !m_appInBank1) || (pc >= m_trapFrom && pc < m_trapTo);
    }
    const std::optional<Stop> &stopped() const { return m_stop; }
    void stop(std::string reason) { m_stop = Stop{false, std::move(reason)}; }
    void finish() { m_stop = Stop{true, {}}; }

    std::uint8_t read(std::uint16_t a) const {
        if (m_readWatched && (*m_readWatched)[a])
            m_readAt = a, m_attention = true;
        return peek(a);
    }
    // The byte without noting a read (for the debugger's own looks).
    std::uint8_t peek(std::uint16_t a) const { return m_bank[a >> 14][a & 0x3FFF]; }
    // The 16 KB that bank `bank` (0: 0000h ... 3: C000h) maps now, whole, for
    // looks at all of memory at once.
    const std::uint8_t *bankBytes(int bank) const { return m_bank[std::size_t(bank & 3)]; }
    void write(std::uint16_t a, std::uint8_t v) {
        if (m_writable[a >> 14])
            m_bank[a >> 14][a & 0x3FFF] = v;
        if (m_watched && (*m_watched)[a])
            m_written = a, m_attention = true;
        if (std::uint16_t(a - m_guardFrom) < m_guardSpan)
            m_stackTouched = m_attention = true;
    }
    std::uint16_t readWord(std::uint16_t a) const {
        return std::uint16_t(read(a) | read(std::uint16_t(a + 1)) << 8);
    }
    void writeWord(std::uint16_t a, std::uint16_t v) {
        write(a, std::uint8_t(v));
        write(std::uint16_t(a + 1), std::uint8_t(v >> 8));
    }
    std::uint16_t reg(Reg r) const;
    void setReg(Reg r, std::uint16_t v);
    std::uint8_t a() const { return std::uint8_t(reg(Reg::AF) >> 8); }
    void setA(std::uint8_t v) { setReg(Reg::AF, std::uint16_t(v << 8 | (reg(Reg::AF) & 0xFF))); }
    void setFlags(std::uint8_t f) { setReg(Reg::AF, std::uint16_t((reg(Reg::AF) & 0xFF00) | f)); }
    std::uint16_t pop();
    void push(std::uint16_t v);
    void enableInterrupts();
    bool interruptsEnabled() const;
    // Bit `bit` of the OS's flag byte at IY + `offset`.
    bool flag(int offset, int bit) const { return read(std::uint16_t(0x89F0 + offset)) >> bit & 1; }
    void setFlag(int offset, int bit, bool on);

    Lcd &lcd() { return m_lcd; }
    const Lcd &lcd() const { return m_lcd; }
    Keypad &keypad() { return m_keypad; }
    // The OS's interrupt work is done: clear what the timer and ON key raised.
    void acknowledgeInterrupts() {
        m_intStatus = 0;
        m_ti84.acknowledge();
    }

    // For the debugger (snapshot.cpp): the whole state, taken only where
    // `restorable()` (between the program's instructions, not halted, no EI pending).
    bool restorable() const;
    bool betweenInstructions() const; // no prefix byte waiting for its opcode
    // Writes to the addresses set in `watched` (the program's or the OS's)
    // are noted: the last one is taken by takeWritten(). None: not watched.
    void watchWrites(const std::bitset<65536> *watched) { m_watched = watched; }
    std::optional<std::uint16_t> takeWritten() { return std::exchange(m_written, std::nullopt); }
    // Reads of the addresses set in `watched` are noted alike: the program's
    // (not its opcode fetches) and those read() makes, the OS's. None: not watched.
    void watchReads(const std::bitset<65536> *watched);
    std::optional<std::uint16_t> takeRead() { return std::exchange(m_readAt, std::nullopt); }
    // A run with stops stops after an instruction that left SP in [from, to)
    // having written there (a push, a call, an interrupt); from == to: none.
    void guardStack(std::uint16_t from, std::uint16_t to) {
        m_guardFrom = from, m_guardSpan = std::uint16_t(to - from);
    }
    // Interrupts taken since the machine was made (the debugger tells one apart from an
    // instruction).
    std::uint64_t interruptsTaken() const { return m_interruptsTaken; }
    int interruptMode() const;
    void save(MachineState &to) const;
    void restore(const MachineState &from);

private:
    static std::uint8_t readMem(_z80_cpu_context *, std::uint16_t, int, void *);
    static std::uint8_t readMemWatched(_z80_cpu_context *, std::uint16_t, int, void *);
    template <bool kStops> bool run(std::uint64_t until, const Stops *stops);
    bool stopsBefore(const Stops &stops, std::uint16_t pc);
    static void writeMem(_z80_cpu_context *, std::uint16_t, std::uint8_t, void *);
    static std::uint8_t readPort(_z80_cpu_context *, std::uint16_t, void *);
    static void writePort(_z80_cpu_context *, std::uint16_t, std::uint8_t, void *);
    static std::uint8_t intVector(_z80_cpu_context *, void *);
    std::uint8_t in(std::uint8_t port);
    void out(std::uint8_t port, std::uint8_t value);
    static std::uint8_t portOf(std::uint8_t port);
    void mapBank(int bank, std::uint8_t value);
    // Where bank memory comes from: RAM page `page` (0 and up), a Flash page
    // (-2 - its number) or nothing (-1).
    std::uint8_t *pageMemory(int page);
    void timer();
    std::uint8_t in83(std::uint8_t port);
    void out83(std::uint8_t port, std::uint8_t value);
    std::uint8_t in84(std::uint8_t port);
    void out84(std::uint8_t port, std::uint8_t value);
    void noteLaterModelPort(std::uint8_t port);
    void speedChanged(long fromHz);

    Rom &m_rom;
    Model m_model;
    _z80_cpu_context *m_cpu;
    std::vector<std::uint8_t> m_ram, m_osPage, m_none;
    std::array<std::uint8_t *, 4> m_bank{};
    std::array<bool, 4> m_writable{};
    std::array<int, 4> m_page{};     // each bank's page, as pageMemory() takes it
    std::vector<std::uint8_t> m_app; // the application's pages end to end
    int m_appFirst = -1;             // the Flash page of its first 16 KB
    bool m_appInBank1 = false;       // one of its pages is mapped at 4000h
    std::uint8_t m_port5 = 0, m_port6 = 0x1F, m_port7 = 0x41;
    Ti84Ports m_ti84;
    std::uint64_t m_time6At = 0, m_cyclesAt = 0; // at the last change of speed
    std::string m_note;
    Lcd m_lcd;
    Keypad m_keypad;
    std::uint64_t m_cycles = 0, m_nextTimer = 0, m_nextTimer2 = 0;
    std::uint64_t m_interruptsTaken = 0;
    const std::bitset<65536> *m_watched = nullptr, *m_readWatched = nullptr;
    std::optional<std::uint16_t> m_written;
    mutable std::optional<std::uint16_t> m_readAt;
    std::uint16_t m_guardFrom = 0, m_guardSpan = 0;
    bool m_stackTouched = false;
    mutable bool m_attention = false; // a watched byte or the guarded stack was touched
    std::uint64_t m_instructions = 0;
    bool m_midInstruction = false; // a step ran since the last instruction's end
    bool m_halted = false;         // as z80ex is after a halt, till an interrupt
    bool m_unfinished = false;     // the last step was a prefix or a halt
    // Where the instructions ended last and the one before began, by the
    // number's last bit.
    std::array<std::uint16_t, 2> m_began{};
    std::uint16_t m_trapFrom = 0, m_trapTo = 0;
    std::uint8_t m_intMask = 0x0B, m_intStatus = 0, m_port4 = 0x06, m_link = 0;
    bool m_onWasHeld = false;
    std::optional<Stop> m_stop;
};

} // namespace run
