#pragma once
// The calculator's OS as far as programs use it, answered in C++: the calls a
// program makes with `bcall` (rst 28h and the address after it), the rst
// shortcuts, the timer interrupt and the return to the home screen. Each call
// reads and writes the RAM variables and flag bits the real one does.

#include "run/machine.h"
#include "run/romcalls.h"
#include "run/romtable.h"
#include "run/tifloat.h"
#include "run/varfile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace run {

// The OS's RAM variables and flag bytes (offsets from IY = 89F0h).
namespace ram {
constexpr std::uint16_t kbdScanCode = 0x843F, kbdKey = 0x8444, curRow = 0x844B, curCol = 0x844C,
                        op1 = 0x8478, textShadow = 0x8508, penCol = 0x86D7, penRow = 0x86D8,
                        plotSScreen = 0x9340, fpBase = 0x9822, fps = 0x9824, contrast = 0x8447,
                        seed1 = 0x9640, seed2 = 0x9649, winTop = 0x97A5, winBtm = 0x97A6,
                        winLeftEdge = 0x97A7, winLeft = 0x97A8;
constexpr std::uint16_t op(int n) {
    return std::uint16_t(op1 + 11 * (n - 1));
}
} // namespace ram
namespace flags {
constexpr int trigFlags = 0, trigDeg = 2;
constexpr int textFlags = 5, textInverse = 3, apdFlags = 8, apdAble = 2, onFlags = 9,
              onInterrupt = 4, curFlags = 12, curOn = 3, appFlags = 13, appTextSave = 1,
              appAutoScroll = 2, indicFlags = 18, indicRun = 0, shiftFlags = 18, shift2nd = 3,
              shiftAlpha = 4, shiftALock = 6, sGrFlags = 20, textWrite = 7, fontFlags = 50,
              fracDrawLFont = 2, plotFlag3 = 60, bufferOnly = 0;
}

// What the OS keeps outside the calculator's RAM, for the debugger's snapshots.
struct OsState {
    std::map<std::string, std::uint16_t> vars;
    std::uint16_t heap = 0;
    std::string callName;
    std::uint16_t callFrom = 0;
    TiFloat ans{};
    std::uint32_t shellRandom = 0;
    std::string shell;
    bool uncharged = false;
    int appFirst = -1, appPages = 0;
    std::vector<std::vector<std::uint8_t>> gui; // Doors CS's GUI stack: type, then data
    bool guiOpen = false;
    int mouseX = 48, mouseY = 32;
};

class Os : public Rom {
public:
    // Where the program's final `ret` goes: back to the home screen.
    static constexpr std::uint16_t kExit = 0x0100;
    // Where a call through an application's branch table returns, to map
    // the caller's page back (the caller's page is on the stack).
    static constexpr std::uint16_t kPageBack = 0x0103;

    explicit Os(RomNames names = {});
    // The OS's state on the home screen, just before a program starts.
    void prepare(Machine &m);
    // Starts the loaded program as `shell` ("Ion", "MirageOS", "Doors CS") starts it,
    // with the shell's library answered; nothing for other shells.
    void startShell(Machine &m, const std::string &shell);
    // Starts the application loaded at Flash page `firstPage` (`pages` pages,
    // each next one a page lower), as the OS starts one from the APPS menu.
    void startApplication(int firstPage, int pages) { m_appFirst = firstPage, m_appPages = pages; }
    void enter(Machine &m, std::uint16_t pc) override;
    // A variable received before the program starts (a link from a
    // computer): it replaces one of the same type and name; the error, or empty.
    std::string addVariable(Machine &m, const Variable &v);
    // The names of the calls this OS answers (the shells' libraries apart).
    std::vector<std::string> answeredCalls() const;
    // The OS call answered last (bcall, bjump, an rst shortcut, a shell's
    // routine) and the address of the instruction that made it.
    const std::string &callName() const { return m_callName; }
    std::uint16_t callFrom() const { return m_callFrom; }
    OsState state() const {
        return {m_vars,        m_heap,    m_callName,  m_callFrom, m_ans,
                m_shellRandom, m_shell,   m_uncharged, m_appFirst, m_appPages,
                m_gui,         m_guiOpen, m_mouseX,    m_mouseY};
    }
    void setState(const OsState &s) {
        m_vars = s.vars, m_heap = s.heap, m_callName = s.callName, m_callFrom = s.callFrom;
        m_ans = s.ans, m_shellRandom = s.shellRandom, m_shell = s.shell, m_uncharged = s.uncharged;
        m_appFirst = s.appFirst, m_appPages = s.appPages;
        m_gui = s.gui, m_guiOpen = s.guiOpen, m_mouseX = s.mouseX, m_mouseY = s.mouseY;
    }

    // The 768-byte picture at `at` (a row of 96 pixels every 12 bytes) to the
    // display, as _GrBufCpy shows the graph buffer.
    static void showPicture(Machine &m, std::uint16_t at);
    // The byte of the graph buffer that holds pixel (x, y), as Ion's getpixel
    // finds it (no bounds: x and y are bytes), and the pixel's mask in it.
    static std::uint16_t bufferByte(int x, int y) {
        return std::uint16_t(ram::plotSScreen + y * 12 + x / 8);
    }
    static std::uint8_t pixelMask(int x) { return std::uint8_t(0x80 >> (x & 7)); }

private:
    enum class Result { Done, Wait, Ended };
    using Call = std::function<Result(Machine &)>;

    void on(const char *name, Call call);
    Result call(Machine &m, std::uint16_t address, std::uint16_t from);
    void finishCall(Machine &m, Result r, bool viaRst);
    void addDisplayCalls();
    void addKeyCalls();
    void addMathCalls();
    void addMemoryCalls();
    void addVariableCalls();
    void addSystemCalls();
    // A shell library's routine: where a program calls it, its name in the
    // shell's header, and its answer (null for one this runner does not answer,
    // named when a program stops there). Each shell's list is a table of named
    // functions in its own file: os_ion.cpp, os_mirage.cpp, os_doors.cpp.
    struct ShellRoutine {
        std::uint16_t address;
        const char *name;
        Result (*answer)(Os &, Machine &);
    };
    // An OS call's answer under the name programs call it by (romtable.h
    // gives its address); a family's calls are a table of such named
    // functions in its own file (os_display.cpp, os_keys.cpp, os_math.cpp,
    // os_memory.cpp, os_vars.cpp).
    struct NamedCall {
        const char *name;
        Result (*answer)(Os &, Machine &);
    };
    friend struct KeyCalls;
    friend struct MemoryCalls;
    friend struct VariableCalls;
    friend struct MathCalls;
    friend struct DisplayCalls;
    void addCalls(const NamedCall *first, std::size_t count);
    friend struct IonLibrary;
    friend struct MirageLibrary;
    friend struct DoorsLibrary;
    friend struct DoorsGui;
    friend struct GuiPainter;
    void addShellRoutines(const ShellRoutine *first, std::size_t count, std::uint16_t base = 0);
    int mouseX() const { return m_mouseX; }
    int mouseY() const { return m_mouseY; }
    // The call being answered and where it was called from, for a stop's reason.
    std::string callPlace() const;
    void addApplicationCalls(); // os_apps.cpp
    // The running application's name as its header gives it, or empty.
    std::string applicationName(Machine &m) const;
    void addIonCalls(std::uint16_t table);
    void addMirageCalls();
    void addDoorsCalls();
    // Why a call into a shell's library at `pc` stops the run.
    std::string unansweredShellRoutine(Machine &m, std::uint16_t pc) const;
    void showDone(Machine &m);
    // A bcall or bjump whose word has bits 15-14 clear, from an application:
    // through its branch table (os_apps.cpp).
    void offPage(Machine &m, std::uint16_t word, bool jump);
    void pageBack(Machine &m);

    // Display helpers (os_display.cpp).
    void drawCell(Machine &m, int row, int col, std::uint8_t code);
    void putC(Machine &m, std::uint8_t code);
    void newLine(Machine &m);
    void scrollUp(Machine &m);
    bool vPutMap(Machine &m, std::uint8_t code);
    void point(Machine &m, int x, int y, int mode);
    void line(Machine &m, int x0, int y0, int x1, int y1, int mode);
    // Numbers (os_math.cpp).
    TiFloat opFloat(const Machine &m, int n) const;
    void setOp(Machine &m, int n, const TiFloat &v);
    Result floatError(Machine &m, FloatError e);
    // The calculator shows `error` (ERR:...) and the program is over; `why`
    // tells more when given.
    Result calculatorError(Machine &m, const std::string &error, const std::string &why = {});
    Result store(Machine &m, const FloatResult &r);
    // Variables (os_vars.cpp).
    std::string nameInOp1(const Machine &m) const;
    Result create(Machine &m, std::uint8_t type, std::uint16_t size, bool sized);
    Result outsideVariables(Machine &m, std::uint16_t at);
    // Takes `size` bytes at `at` out of the variables' memory: what lies above
    // moves down, and a variable that started inside is gone.
    void removeMemory(Machine &m, std::uint16_t at, std::uint16_t size);
    // Keys (os_keys.cpp).
    Result waitForKey(Machine &m);
    int getKeyCode(int scan, bool second, bool alpha) const;
    void setContrast(Machine &m, int contrast);
    // Numbers (os_math.cpp): the seeds of a calculator after a reset.
    void resetSeeds(Machine &m);

    RomNames m_names;
    std::unordered_map<std::uint16_t, Call> m_calls;
    std::unordered_map<std::uint16_t, std::uint64_t> m_costs; // T-states a call takes at least
    std::string m_callName; // the call being answered, for error messages
    std::uint16_t m_callFrom = 0;
    std::map<std::string, std::uint16_t> m_vars; // by type and name: where the data is
    std::uint16_t m_heap = 0xC000;
    TiFloat m_ans = fromInt(0);
    std::unordered_map<std::uint16_t, Call> m_shellCalls; // by the RAM address called
    std::unordered_map<std::uint16_t, const char *> m_shellNames; // answered or not
    std::uint32_t m_shellRandom = 1;
    std::string m_shell;      // the shell the program runs under, empty for the home screen
    bool m_uncharged = false; // drawing after the program's end takes none of its time
    int m_appFirst = -1;      // the running application's first Flash page, -1 for a program
    int m_appPages = 0;
    std::vector<std::vector<std::uint8_t>> m_gui; // Doors CS's GUI stack, bottom first
    bool m_guiOpen = false;
    int m_mouseX = 48, m_mouseY = 32; // Doors CS's mouse
};

} // namespace run
