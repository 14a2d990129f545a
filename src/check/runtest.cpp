#include "check/runtest.h"

#include "check/machinestate.h"
#include "z80/vocabulary.h"
#include "run/harness.h"
#include "run/hex.h"
#include "run/os.h"
#include "run/romtable.h"
#include "run/session.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>

namespace check {

using z80::lower; // names fold as the assembler folds them: ASCII, whatever the locale

namespace {

constexpr std::size_t kLastStatements = 6;
constexpr std::size_t kMaxLogLines = 200;

std::string upper(std::string s) {
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string utf8(const std::u32string &s) {
    std::string out;
    for (char32_t c : s) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | c >> 6);
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | c >> 12);
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | c >> 18);
            out += char(0x80 | (c >> 12 & 0x3F));
            out += char(0x80 | (c >> 6 & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// "abc" with what the calculator cannot print shown as \xNN.
std::string quotedBytes(const std::vector<std::uint8_t> &bytes) {
    std::string out = "\"";
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            out += char(b);
        } else {
            char x[8];
            std::snprintf(x, sizeof x, "\\x%02X", b);
            out += x;
        }
    }
    return out + "\"";
}

std::string replaceSuffix(const std::string &path, const std::string &with) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + with;
    return path.substr(0, dot) + with;
}

class TestRun {
public:
    TestRun(const Test &t, const Program &p, const std::string &testsPath, const RunOptions &o)
        : m_test(t), m_program(p), m_testsPath(testsPath), m_options(o),
          m_harness(p.code, p.names) {
        m_result.name = t.name;
        m_result.line = t.line;
    }
    TestResult run();

private:
    run::Machine &machine() { return m_harness.machine(); }
    std::string line(int n) const { return m_testsPath + ":" + std::to_string(n); }
    void fail(const std::string &at, const std::string &message) {
        m_result.failures.push_back({at, message});
    }
    std::optional<std::int64_t> value(const Expression &e, int at, const run::Machine *m) {
        std::string why;
        const auto v = valueOf(e, m_program, m, &why);
        if (!v)
            fail(line(at), why);
        return v;
    }
    bool setMemory(const Item &item);
    bool prepare();
    void execute();
    bool probe(std::uint16_t pc);
    void compare(const Expectation &e);
    void compareItem(const Item &item);
    void comparePicture(const Expectation &e, const Picture &actual, const char *what);
    std::string lastStatements() const;
    bool samePlace(std::int32_t a, std::int32_t b) const {
        const Place &x = m_program.places[std::size_t(a)], &y = m_program.places[std::size_t(b)];
        return x.line == y.line && x.file == y.file;
    }
    std::string where() const; // the last statement run, or the test's call

    const Test &m_test;
    const Program &m_program;
    const std::string &m_testsPath;
    const RunOptions &m_options;
    run::Harness m_harness;
    TestResult m_result;
    std::deque<std::int32_t> m_last;
    std::uint64_t m_start = 0;
    bool m_assertFailed = false, m_bounded = false, m_cancelled = false;
    std::vector<std::pair<std::string, std::uint16_t>> m_before; // for keeps
};

bool TestRun::setMemory(const Item &item) {
    const auto address = value(item.address, item.line, nullptr);
    if (!address)
        return false;
    const std::uint16_t a = std::uint16_t(*address);
    if (item.kind == Item::Kind::Text) {
        for (std::size_t i = 0; i < item.text.size(); ++i)
            machine().write(std::uint16_t(a + i), std::uint8_t(item.text[i]));
        return true;
    }
    const auto v = value(item.value, item.line, nullptr);
    if (!v)
        return false;
    const bool byte = item.kind == Item::Kind::Byte;
    if (*v < (byte ? -128 : -32768) || *v > (byte ? 255 : 65535)) {
        fail(line(item.line),
             std::to_string(*v) + " does not fit in a " + (byte ? "byte" : "word"));
        return false;
    }
    if (byte)
        machine().write(a, std::uint8_t(*v));
    else
        machine().writeWord(a, std::uint16_t(*v));
    return true;
}

bool TestRun::prepare() {
    run::Machine &m = machine();
    for (const Item &item : m_test.sets)
        if (!setMemory(item))
            return false;
    if (m_test.action == Test::Action::Run) {
        m.keypad().setScript(m_test.keys);
        return true;
    }
    m.setReg(run::Reg::AF, Pattern::af);
    m.setReg(run::Reg::BC, Pattern::bc);
    m.setReg(run::Reg::DE, Pattern::de);
    m.setReg(run::Reg::HL, Pattern::hl);
    m.setReg(run::Reg::IX, Pattern::ix);
    for (const Item &item : m_test.with) {
        const auto v = value(item.value, item.line, nullptr);
        if (!v)
            return false;
        const int width = widthOf(item.name);
        if (*v < -(1 << (width - 1)) || *v >= (1 << width)) {
            fail(line(item.line), std::to_string(*v) + " does not fit in " + upper(item.name));
            return false;
        }
        writeRegister(m, item.name, std::uint16_t(*v));
    }
    const auto target = value(m_test.target, m_test.actionLine, nullptr);
    if (!target)
        return false;
    if (*target < 0x8000 || *target >= 0xC000) {
        fail(line(m_test.actionLine),
             m_test.targetText + " is " + run::hex4(unsigned(*target)) +
                 ", where the calculator runs no program code (8000h-BFFFh)");
        return false;
    }
    m_harness.call(std::uint16_t(*target));
    return true;
}

bool TestRun::probe(std::uint16_t pc) {
    const auto it = m_program.probes.find(pc);
    if (it == m_program.probes.end())
        return true;
    for (const Probe &p : it->second) {
        std::string why;
        if (p.kind == Probe::Kind::Assert) {
            const auto v = valueOf(p.expression, m_program, &machine(), &why);
            if (!v) {
                fail(p.at.text(), "@assert " + p.text + ": " + why);
                return false;
            }
            if (*v == 0) {
                const std::string names = namesIn(p.expression, m_program, machine());
                fail(p.at.text(),
                     "assertion failed: " + p.text + (names.empty() ? "" : " (" + names + ")"));
                return false;
            }
            continue;
        }
        std::string text = p.at.text() + ": ";
        for (std::size_t i = 0; i < p.log.size(); ++i) {
            text += p.log[i];
            if (i < p.values.size()) {
                const auto v = valueOf(p.values[i], m_program, &machine(), &why);
                text += v ? std::to_string(*v) : "?(" + why + ")";
            }
        }
        if (m_result.notes.size() < kMaxLogLines)
            m_result.notes.push_back("log " + text);
    }
    return true;
}

void TestRun::execute() {
    run::Machine &m = machine();
    m_start = m.cycles();
    for (const char *r : {"a", "f", "b", "c", "d", "e", "h", "l", "af", "bc", "de", "hl", "ix",
                          "iy", "sp", "ixh", "ixl", "iyh", "iyl"})
        m_before.emplace_back(r, *readRegister(m, r));
    // The stack as the caller sees it once the routine has returned.
    if (m_harness.calling())
        for (auto &[name, v] : m_before)
            if (name == "sp")
                v = std::uint16_t(m_harness.stackAtCall() + 2);
    const std::vector<std::int32_t> &at = m_program.statementAt;
    for (std::uint32_t steps = 0; !m.stopped(); ++steps) {
        if ((steps & 0xFFFF) == 0 && m_options.cancel && m_options.cancel->load()) {
            m_cancelled = true;
            break;
        }
        if (m.cycles() - m_start >= m_test.bound) {
            m_bounded = true;
            break;
        }
        const std::uint16_t pc = m.reg(run::Reg::PC);
        if (pc >= 0x8000) {
            // Statements apart by a backslash on one line count as one.
            if (at[pc] >= 0 && (m_last.empty() || !samePlace(m_last.back(), at[pc]))) {
                m_last.push_back(at[pc]);
                if (m_last.size() > kLastStatements)
                    m_last.pop_front();
            }
            if (!probe(pc)) {
                m_assertFailed = true;
                break;
            }
        }
        m_harness.step();
    }
    m_result.cycles = m.cycles() - m_start;
}

std::string TestRun::lastStatements() const {
    std::string out;
    for (std::int32_t i : m_last)
        out += (out.empty() ? "" : ", ") + m_program.places[std::size_t(i)].text();
    return out;
}

std::string TestRun::where() const {
    return m_last.empty() ? line(m_test.actionLine)
                          : m_program.places[std::size_t(m_last.back())].text();
}

void TestRun::compareItem(const Item &item) {
    run::Machine &m = machine();
    if (item.kind == Item::Kind::Register || item.kind == Item::Kind::Flag) {
        const auto want = value(item.value, item.line, &m);
        if (!want)
            return;
        const int width = widthOf(item.name);
        const std::uint16_t got = *readRegister(m, item.name);
        const std::uint16_t mask = std::uint16_t(width == 16 ? 0xFFFF : (1 << width) - 1);
        if ((std::uint16_t(*want) & mask) != got)
            fail(line(item.line), "expected " + upper(item.name) + "=" + shown(*want, width) +
                                      ", got " + shown(got, width));
        return;
    }
    const auto address = value(item.address, item.line, &m);
    if (!address)
        return;
    const std::uint16_t a = std::uint16_t(*address);
    const std::string place = " at " + run::hex4(a);
    if (item.kind == Item::Kind::Text) {
        std::vector<std::uint8_t> got, want(item.text.begin(), item.text.end());
        for (std::size_t i = 0; i < want.size(); ++i)
            got.push_back(m.read(std::uint16_t(a + i)));
        if (got != want) {
            const std::size_t first = std::size_t(
                std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin());
            fail(line(item.line), "expected (" + item.name + ")=" + quotedBytes(want) + place +
                                      ", got " + quotedBytes(got) + " (differs at byte " +
                                      std::to_string(first) + ")");
        }
        return;
    }
    const auto want = value(item.value, item.line, &m);
    if (!want)
        return;
    const bool byte = item.kind == Item::Kind::Byte;
    const std::uint16_t got = byte ? m.read(a) : m.readWord(a);
    const std::uint16_t mask = byte ? 0xFF : 0xFFFF;
    if ((std::uint16_t(*want) & mask) != got)
        fail(line(item.line), "expected " + std::string(byte ? "(" : "{") + item.name +
                                  (byte ? ")" : "}") + "=" + shown(*want, byte ? 8 : 16) + place +
                                  ", got " + shown(got, byte ? 8 : 16));
}

void TestRun::comparePicture(const Expectation &e, const Picture &actual, const char *what) {
    const std::string path = z80::joinPath(m_options.folder, e.name);
    const std::string file = z80::joinPath(m_options.wholeFolder, e.name);
    PictureFiles *files = m_options.pictures;
    if (!files) {
        fail(line(e.line), "pictures cannot be compared here");
        return;
    }
    Picture expected;
    std::string why;
    const bool exists = files->exists(file);
    const bool read = exists && files->read(file, &expected, &why);
    if (read && expected == actual)
        return;
    if (m_options.update) {
        if (files->write(file, actual, &why))
            m_result.updated.push_back(path);
        else
            fail(line(e.line), "cannot write " + path + ": " + why);
        return;
    }
    if (!exists) {
        fail(line(e.line),
             path + " does not exist; quorvin --test --update writes it from " + what);
        return;
    }
    if (!read) {
        fail(line(e.line), "cannot read " + path + ": " + why);
        return;
    }
    int differ = 0, fx = -1, fy = -1;
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < kPictureWidth; ++x)
            if (expected.at(x, y) != actual.at(x, y) && differ++ == 0) {
                fx = x;
                fy = y;
            }
    const std::string actualPath = replaceSuffix(path, ".actual.png");
    const bool wrote = files->write(replaceSuffix(file, ".actual.png"), actual, &why);
    fail(line(e.line),
         std::string(what) + " differs from " + path + " in " + std::to_string(differ) +
             " pixels, the first at x=" + std::to_string(fx) + " y=" + std::to_string(fy) +
             (wrote ? "; it is in " + actualPath : "; cannot write " + actualPath + ": " + why));
}

void TestRun::compare(const Expectation &e) {
    run::Machine &m = machine();
    using K = Expectation::Kind;
    switch (e.kind) {
    case K::Item:
        compareItem(e.item);
        break;
    case K::Keeps: {
        if (m_test.action == Test::Action::Run) {
            fail(line(e.line), "`keeps` compares the registers around a call; this test runs "
                               "the whole program");
            break;
        }
        std::string changed;
        for (const std::string &r : e.regs) {
            const auto before = std::find_if(m_before.begin(), m_before.end(),
                                             [&](const auto &b) { return b.first == r; });
            const std::uint16_t after = *readRegister(m, r);
            if (before != m_before.end() && before->second != after)
                changed += (changed.empty() ? "" : "; ") + upper(r) + " was " +
                           shown(before->second, widthOf(r)) + ", is " + shown(after, widthOf(r));
        }
        if (!changed.empty())
            fail(line(e.line), "the routine changed what `keeps` names: " + changed +
                                   " (save it with push and pop, or drop it from keeps)");
        break;
    }
    case K::Cycles:
        if (m_result.cycles > e.count)
            fail(line(e.line), "took " + std::to_string(m_result.cycles) +
                                   " T-states, more than the " + std::to_string(e.count) +
                                   " allowed");
        break;
    case K::Calls: {
        std::optional<std::int64_t> address = m_program.label(e.name);
        if (!address)
            for (const run::RomCall &c : run::romCalls())
                if (lower(c.name) == lower(e.name))
                    address = c.address;
        if (!address) {
            fail(line(e.line), "no OS call is called " + e.name);
            break;
        }
        const auto &calls = m_harness.osCalls();
        if (std::find(calls.begin(), calls.end(), std::uint16_t(*address)) != calls.end())
            break;
        std::string made;
        for (std::uint16_t c : calls) {
            std::string n = m_program.names.nameOf(c);
            n = n.empty() ? run::hex4(c) : n;
            if (made.find(n) == std::string::npos && made.size() < 300)
                made += (made.empty() ? "" : ", ") + n;
        }
        fail(line(e.line),
             "never called " + e.name +
                 (made.empty() ? " (it made no OS call)" : " (it called " + made + ")"));
        break;
    }
    case K::Row: {
        const std::u32string screen = run::homeText(m.lcd());
        const std::string row = rtrim(utf8(screen.substr(std::size_t(e.count) * 17, 16)));
        if (row != rtrim(e.text))
            fail(line(e.line), "row " + std::to_string(e.count) + " shows \"" + row +
                                   "\", expected \"" + rtrim(e.text) + "\"");
        break;
    }
    case K::Screen: {
        Picture actual;
        for (int y = 0; y < kPictureHeight; ++y)
            for (int x = 0; x < kPictureWidth; ++x)
                actual.dark[std::size_t(y * kPictureWidth + x)] = m.lcd().pixel(x, y);
        comparePicture(e, actual, "the screen");
        break;
    }
    case K::Buffer: {
        const auto address = value(e.address, e.line, &m);
        if (!address)
            break;
        Picture actual;
        for (int y = 0; y < kPictureHeight; ++y)
            for (int x = 0; x < kPictureWidth; ++x)
                actual.dark[std::size_t(y * kPictureWidth + x)] =
                    m.read(std::uint16_t(*address + y * 12 + x / 8)) & (0x80 >> (x & 7));
        comparePicture(e, actual, ("the buffer at " + e.addressText).c_str());
        break;
    }
    case K::Returned:
    case K::Stops:
        break; // judged with how the run ended
    }
}

TestResult TestRun::run() {
    if (!prepare())
        return m_result;
    execute();
    run::Machine &m = machine();
    const auto &stop = m.stopped();
    const bool returned = stop && stop->returned;
    const std::string reason =
        m_bounded           ? "still running after " + std::to_string(m_test.bound) + " T-states"
        : stop && !returned ? stop->reason
                            : std::string();
    const Expectation *stops = nullptr, *returns = nullptr;
    for (const Expectation &e : m_test.expectations) {
        if (e.kind == Expectation::Kind::Stops)
            stops = &e;
        if (e.kind == Expectation::Kind::Returned)
            returns = &e;
    }
    const std::string what = m_test.action == Test::Action::Call ? "the routine" : "the program";
    bool ended = true; // as the test wants; the other expectations are compared
    if (m_cancelled) {
        fail(line(m_test.actionLine), "the run was stopped before it ended");
        ended = false;
    } else if (m_assertFailed) {
        ended = false;
    } else if (stops) {
        if (reason.empty() || lower(reason).find(lower(stops->name)) == std::string::npos) {
            fail(line(stops->line), "expected " + what + " to stop with \"" + stops->name +
                                        "\", but " +
                                        (returned ? "it returned" : "it stopped: " + reason));
            ended = false;
        }
    } else if (m_bounded) {
        fail(line(m_test.actionLine),
             what + " was still running after " + std::to_string(m_test.bound) +
                 " T-states (an endless loop? `bound N` gives it longer); it was at " + where());
        ended = false;
    } else if (!returned) {
        fail(where(), (m_test.action == Test::Action::Call ? "the routine " + m_test.targetText
                                                           : std::string("the program")) +
                          " stopped: " + reason);
        ended = false;
    }
    (void)returns;
    if (ended)
        for (const Expectation &e : m_test.expectations)
            compare(e);
    if (!m_result.passed()) {
        m_result.notes.insert(m_result.notes.begin(), "registers " + registersText(m));
        if (!m_last.empty())
            m_result.notes.insert(m_result.notes.begin() + 1,
                                  "last statements run " + lastStatements());
    }
    return m_result;
}

} // namespace

TestResult runTest(const Test &test, const Program &program, const std::string &testsPath,
                   const RunOptions &options) {
    return TestRun(test, program, testsPath, options).run();
}

} // namespace check
