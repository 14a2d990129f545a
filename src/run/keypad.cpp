#include "run/keypad.h"

#include <algorithm>
#include <cctype>

namespace run {

namespace {

// Held long enough for a program polling the port to see it, then let go.
constexpr std::uint64_t kHoldCycles = 600000, kGapCycles = 300000, kPatience = 12000000;
// The OS's repeat of a held arrow or DEL: a first wait, then the repeat's.
constexpr std::uint64_t kRepeatDelay = 3000000, kRepeatEvery = 375000;

bool repeats(int code) {
    return code == sk::Up || code == sk::Down || code == sk::Left || code == sk::Right ||
           code == sk::Del;
}

struct Named {
    const char *name;
    int code;
};
const Named kKeys[] = {
    {"DOWN", sk::Down},   {"LEFT", sk::Left}, {"RIGHT", sk::Right},   {"UP", sk::Up},
    {"ENTER", sk::Enter}, {"+", sk::Add},     {"-", sk::Sub},         {"*", sk::Mul},
    {"/", sk::Div},       {"^", sk::Power},   {"CLEAR", sk::Clear},   {"(-)", sk::Chs},
    {"NEG", sk::Chs},     {"3", sk::Three},   {"6", sk::Six},         {"9", sk::Nine},
    {")", sk::RParen},    {"TAN", sk::Tan},   {"VARS", sk::Vars},     {".", sk::DecPnt},
    {"2", sk::Two},       {"5", sk::Five},    {"8", sk::Eight},       {"(", sk::LParen},
    {"COS", sk::Cos},     {"PRGM", sk::Prgm}, {"STAT", sk::Stat},     {"0", sk::Zero},
    {"1", sk::One},       {"4", sk::Four},    {"7", sk::Seven},       {",", sk::Comma},
    {"COMMA", sk::Comma}, {"SIN", sk::Sin},   {"APPS", sk::Apps},     {"XTN", sk::XTThetaN},
    {"STO", sk::Store},   {"LN", sk::Ln},     {"LOG", sk::Log},       {"X2", sk::Square},
    {"X-1", sk::Recip},   {"MATH", sk::Math}, {"ALPHA", sk::Alpha},   {"GRAPH", sk::Graph},
    {"TRACE", sk::Trace}, {"ZOOM", sk::Zoom}, {"WINDOW", sk::Window}, {"Y=", sk::YEqu},
    {"2ND", sk::Second},  {"MODE", sk::Mode}, {"DEL", sk::Del},       {"ON", sk::On},
};

// The keys ALPHA turns into A..Z, in order.
const int kLetters[26] = {sk::Math, sk::Apps,  sk::Prgm,   sk::Recip, sk::Sin,    sk::Cos,
                          sk::Tan,  sk::Power, sk::Square, sk::Comma, sk::LParen, sk::RParen,
                          sk::Div,  sk::Log,   sk::Seven,  sk::Eight, sk::Nine,   sk::Mul,
                          sk::Ln,   sk::Four,  sk::Five,   sk::Six,   sk::Sub,    sk::Store,
                          sk::One,  sk::Two};

} // namespace

int letterKey(char letter) {
    const int i = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    return i >= 0 && i < 26 ? kLetters[i] : 0;
}

std::optional<std::vector<int>> keysFromName(const std::string &name) {
    std::string upper = name;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const Named &k : kKeys)
        if (upper == k.name)
            return std::vector<int>{k.code};
    if (upper.size() == 1 && letterKey(upper[0]))
        return std::vector<int>{sk::Alpha, letterKey(upper[0])};
    return std::nullopt;
}

std::string keyName(int code) {
    for (const Named &k : kKeys)
        if (k.code == code)
            return k.name;
    return "?";
}

bool Keypad::held(int code) const {
    const int i = code - 1;
    return !(m_groups[(i >> 3) & 7] & (1 << (i & 7)));
}

void Keypad::press(int code) {
    if (code == sk::On) {
        if (!m_on)
            m_presses.push_back(code);
        m_on = true;
        return;
    }
    const int i = code - 1;
    if (!held(code))
        m_presses.push_back(code);
    m_groups[(i >> 3) & 7] &= std::uint8_t(~(1 << (i & 7)));
}

void Keypad::release(int code) {
    if (code == sk::On) {
        m_on = false;
        return;
    }
    const int i = code - 1;
    m_groups[(i >> 3) & 7] |= std::uint8_t(1 << (i & 7));
}

void Keypad::withdraw(int code) {
    release(code);
    for (auto it = m_presses.begin(); it != m_presses.end();)
        it = *it == code ? m_presses.erase(it) : it + 1;
}

void Keypad::setScript(std::vector<int> keys) {
    m_scripted = true;
    m_script.assign(keys.begin(), keys.end());
}

void Keypad::startScriptKey(std::uint64_t now) {
    m_holding = m_script.front();
    m_script.pop_front();
    press(m_holding);
    m_presses.clear();
    m_holdUntil = now + kHoldCycles;
}

void Keypad::endScriptKey(std::uint64_t now) {
    release(m_holding);
    m_holding = 0;
    m_gapUntil = now + kGapCycles;
    if (m_script.empty() && !m_ranOut)
        m_ranOut = true, m_ranOutAt = now;
}

std::uint8_t Keypad::read(std::uint64_t now) {
    if (m_scripted) {
        if (m_holding && now >= m_holdUntil)
            endScriptKey(now);
        if (!m_holding && now >= m_gapUntil && !m_script.empty())
            startScriptKey(now);
        if (!m_holding && m_script.empty() && !m_ranOut)
            m_ranOut = true, m_ranOutAt = now;
    }
    std::uint8_t v = 0xFF;
    for (int g = 0; g < 7; ++g)
        if (!(m_mask & (1 << g)))
            v &= m_groups[g];
    return v;
}

std::optional<int> Keypad::takePress(std::uint64_t now) {
    if (!m_scripted) {
        if (m_presses.empty()) {
            if (!m_repeatKey || !held(m_repeatKey) || now < m_repeatAt)
                return 0;
            m_repeatAt = now + kRepeatEvery;
            return m_repeatKey;
        }
        const int code = m_presses.front();
        m_presses.pop_front();
        m_repeatKey = repeats(code) ? code : 0;
        m_repeatAt = now + kRepeatDelay;
        return code;
    }
    // A key is reported once; the next waits until it has been let go.
    if (m_holding && now < m_holdUntil)
        return 0;
    if (m_holding)
        endScriptKey(now);
    if (m_script.empty()) {
        if (!m_ranOut)
            m_ranOut = true, m_ranOutAt = now;
        return std::nullopt;
    }
    if (now < m_gapUntil)
        return 0;
    startScriptKey(now);
    const int code = m_holding;
    if (code == sk::On)
        endScriptKey(now);
    return code;
}

bool Keypad::scriptExhausted(std::uint64_t now) const {
    return m_scripted && m_ranOut && !m_holding && now - m_ranOutAt >= kPatience;
}

} // namespace run
