#pragma once
// The keypad: seven groups of up to eight keys, read on port 1 by writing a
// mask of groups (a 0 bit selects one) and reading the keys held in them
// (a 0 bit for a key held). Keys come from a person at a window or from a
// list given on the command line, pressed one after another as the program
// asks for them.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace run {

// Scan codes: group * 8 + bit + 1, as the OS's key scan returns them.
namespace sk {
constexpr int Down = 0x01, Left = 0x02, Right = 0x03, Up = 0x04, Enter = 0x09, Add = 0x0A,
              Sub = 0x0B, Mul = 0x0C, Div = 0x0D, Power = 0x0E, Clear = 0x0F, Chs = 0x11,
              Three = 0x12, Six = 0x13, Nine = 0x14, RParen = 0x15, Tan = 0x16, Vars = 0x17,
              DecPnt = 0x19, Two = 0x1A, Five = 0x1B, Eight = 0x1C, LParen = 0x1D, Cos = 0x1E,
              Prgm = 0x1F, Stat = 0x20, Zero = 0x21, One = 0x22, Four = 0x23, Seven = 0x24,
              Comma = 0x25, Sin = 0x26, Apps = 0x27, XTThetaN = 0x28, Store = 0x2A, Ln = 0x2B,
              Log = 0x2C, Square = 0x2D, Recip = 0x2E, Math = 0x2F, Alpha = 0x30, Graph = 0x31,
              Trace = 0x32, Zoom = 0x33, Window = 0x34, YEqu = 0x35, Second = 0x36, Mode = 0x37,
              Del = 0x38;
constexpr int On = 0x100; // not in the matrix: port 4 and the ON interrupt
} // namespace sk

// A key as named on the command line: ENTER, CLEAR, 2ND, ALPHA, UP, 7, "+",
// SIN...; a letter A-Z stands for ALPHA and the key that types it.
std::optional<std::vector<int>> keysFromName(const std::string &name);
std::string keyName(int scanCode);
// The key under which ALPHA types a letter (A is MATH, ...); 0 for none.
int letterKey(char letter);

class Keypad {
public:
    // What a read of port 1 gives for the group mask last written.
    std::uint8_t read(std::uint64_t now);
    void selectGroups(std::uint8_t mask) { m_mask = mask; }
    void press(int scanCode);
    void release(int scanCode);
    // Lets the key go and forgets its press if no key call took it yet: a
    // PC key typed with Shift (a symbol, a capital) is not meant with 2ND.
    void withdraw(int scanCode);
    bool onHeld() const { return m_on; }
    // Whether the key is held down now.
    bool held(int code) const;

    // A list to replay: each key is held from the moment the program first
    // looks for it until it has been seen for a while, then let go.
    void setScript(std::vector<int> keys);
    bool scripted() const { return m_scripted; }
    // The next new key press for the OS's key calls: a scan code, 0 when none
    // is waiting, or nullopt when a list has run out. An arrow or DEL held
    // down comes again after half a second, then some 16 times a second.
    std::optional<int> takePress(std::uint64_t now);
    // True once a list has run out and the program has kept looking for keys
    // for two seconds of calculator time.
    bool scriptExhausted(std::uint64_t now) const;

private:
    void startScriptKey(std::uint64_t now);
    void endScriptKey(std::uint64_t now);

    std::uint8_t m_groups[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::uint8_t m_mask = 0xFF;
    bool m_on = false;
    std::deque<int> m_presses;
    bool m_scripted = false;
    std::deque<int> m_script;
    int m_holding = 0;
    std::uint64_t m_holdUntil = 0, m_gapUntil = 0, m_ranOutAt = 0;
    // A held arrow or DEL key comes again, as the OS's key scan repeats it.
    int m_repeatKey = 0;
    std::uint64_t m_repeatAt = 0;
    bool m_ranOut = false;
};

} // namespace run
