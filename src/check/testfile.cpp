#include "check/testfile.h"

#include "run/keypad.h"
#include "z80/lexer.h"
#include "z80/source.h"
#include "z80/vocabulary.h"

#include <algorithm>

namespace check {

using z80::isSpace;
using z80::lower; // names fold as the assembler folds them: ASCII, whatever the locale
using z80::trimmed;

namespace {

// The length of the quoted literal starting at s[i] ("..." or 'c'), or 0
// when a quote there opens none.
std::size_t literalLength(std::string_view s, std::size_t i) {
    const char q = s[i];
    if (q == '\'') { // 'c' or '\c'; otherwise an apostrophe (af')
        if (i + 2 < s.size() && s[i + 1] != '\\' && s[i + 2] == '\'')
            return 3;
        if (i + 3 < s.size() && s[i + 1] == '\\' && s[i + 3] == '\'')
            return 4;
        return 0;
    }
    for (std::size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] == '\\')
            ++j;
        else if (s[j] == '"')
            return j - i + 1;
    }
    return s.size() - i; // not closed: to the end, and the reader says so
}

bool closed(std::string_view literal) {
    return literal.size() >= 2 && literal.back() == '"' &&
           (literal.size() < 3 || literal[literal.size() - 2] != '\\' ||
            (literal.size() >= 4 && literal[literal.size() - 3] == '\\'));
}

// The line without its comment.
std::string_view uncommented(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"' || s[i] == '\'') {
            if (const std::size_t n = literalLength(s, i))
                i += n - 1;
        } else if (s[i] == ';') {
            return s.substr(0, i);
        }
    }
    return s;
}

// Splits at the commas outside brackets and literals.
std::vector<std::string_view> splitItems(std::string_view s) {
    std::vector<std::string_view> items;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            if (const std::size_t n = literalLength(s, i))
                i += n - 1;
        } else if (c == '(' || c == '{' || c == '[') {
            ++depth;
        } else if (c == ')' || c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth == 0) {
            items.push_back(trimmed(s.substr(start, i - start)));
            start = i + 1;
        }
    }
    items.push_back(trimmed(s.substr(start)));
    return items;
}

// Where the bracket opened at s[0] closes, or npos.
std::size_t closingBracket(std::string_view s) {
    int depth = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            if (const std::size_t n = literalLength(s, i))
                i += n - 1;
        } else if (c == '(' || c == '{') {
            ++depth;
        } else if ((c == ')' || c == '}') && --depth == 0) {
            return (c == ')') == (s[0] == '(') ? i : std::string_view::npos;
        }
    }
    return std::string_view::npos;
}

// The first word and the rest of a text.
std::pair<std::string, std::string_view> firstWord(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (z80::isLetter(s[i]) || z80::isDigit(s[i]) || s[i] == '_'))
        ++i;
    return {lower(s.substr(0, i)), trimmed(s.substr(i))};
}

// The expectations written with or without `expect` before them.
bool isExpectationWord(const std::string &word) {
    static const char *forms[] = {"keeps",  "cycles", "calls",    "text",
                                  "screen", "buffer", "returned", "stops"};
    return std::find(std::begin(forms), std::end(forms), word) != std::end(forms);
}

class Reader {
public:
    Reader(TestsFile &out) : m_out(out) {}
    void line(int number, std::string_view text);
    void finish();
    // A limit was met: the rest of the file is not read.
    bool stopped() const { return m_stopped || m_out.errors.size() >= kMaxErrors; }

private:
    void error(const std::string &text) {
        if (m_out.errors.size() < kMaxErrors)
            m_out.errors.push_back(m_out.path + ":" + std::to_string(m_line) + ": error: " + text);
    }
    Test *current(const std::string &word) {
        if (m_out.tests.empty())
            error("`" + word + "` outside a test; a test starts with test \"NAME\"");
        return m_out.tests.empty() ? nullptr : &m_out.tests.back();
    }
    bool quoted(std::string_view s, std::string *text, const char *what);
    bool count(std::string_view s, std::uint64_t max, std::uint64_t *n, const char *what);
    Expression expression(std::string_view s, const char *what);
    bool item(std::string_view s, bool registersOnly, Item *out);
    bool items(std::string_view s, bool registersOnly, std::vector<Item> *out);
    void startTest(std::string_view rest);
    void call(Test &t, std::string_view rest);
    void runLine(Test &t, std::string_view rest);
    void expect(Test &t, const std::string &word, std::string_view rest);

    TestsFile &m_out;
    int m_line = 0;
    bool m_stopped = false;
};

bool Reader::quoted(std::string_view s, std::string *text, const char *what) {
    s = trimmed(s);
    if (s.empty() || s[0] != '"' || literalLength(s, 0) != s.size() || !closed(s)) {
        error(std::string(what) + " is written in double quotes, as \"HELLO\"");
        return false;
    }
    *text = z80::unescape(s.substr(1, s.size() - 2));
    return true;
}

bool Reader::count(std::string_view s, std::uint64_t max, std::uint64_t *n, const char *what) {
    s = trimmed(s);
    std::uint64_t v = 0;
    bool ok = !s.empty() && s.size() <= 19;
    for (char c : s)
        ok = ok && z80::isDigit(c);
    if (ok)
        for (char c : s)
            v = v * 10 + std::uint64_t(c - '0');
    if (!ok || v > max) {
        error(std::string(what) + " wants a whole number from 0 to " + std::to_string(max) +
              ", not \"" + std::string(s.substr(0, 40)) + "\"");
        return false;
    }
    *n = v;
    return true;
}

Expression Reader::expression(std::string_view s, const char *what) {
    std::string why;
    Expression e = parseValue(s, &why);
    if (!e)
        error(std::string(what) + ": " + why);
    return e;
}

bool Reader::item(std::string_view s, bool registersOnly, Item *out) {
    out->line = m_line;
    if (!s.empty() && (s[0] == '(' || s[0] == '{')) {
        const std::size_t close = closingBracket(s);
        std::string_view rest =
            close == std::string_view::npos ? std::string_view() : trimmed(s.substr(close + 1));
        if (registersOnly || close == std::string_view::npos || rest.empty() || rest[0] != '=') {
            error(registersOnly ? "`with` sets registers, as a=5; memory is set with `set`"
                                : "\"" + std::string(s.substr(0, 60)) +
                                      "\": memory is written (ADDRESS)=BYTE, {ADDRESS}=WORD or "
                                      "(ADDRESS)=\"text\"");
            return false;
        }
        rest = trimmed(rest.substr(1));
        out->name = std::string(trimmed(s.substr(1, close - 1)));
        if (!(out->address = expression(out->name, "the address")))
            return false;
        if (!rest.empty() && rest[0] == '"') {
            if (s[0] == '{') {
                error("a text is written at (ADDRESS), one byte after another, not at {ADDRESS}");
                return false;
            }
            out->kind = Item::Kind::Text;
            return quoted(rest, &out->text, "the text");
        }
        out->kind = s[0] == '(' ? Item::Kind::Byte : Item::Kind::Word;
        return bool(out->value = expression(rest, "the value"));
    }
    const std::size_t eq = s.find('=');
    const std::string name = lower(trimmed(s.substr(0, eq == std::string_view::npos ? 0 : eq)));
    if (eq == std::string_view::npos || !(isRegister(name) || isFlag(name))) {
        error("\"" + std::string(s.substr(0, 60)) +
              "\": expected REGISTER=VALUE (a, b, ..., hl, ix, sp; flags cf, zf, sf, pf, hf, nf)");
        return false;
    }
    out->name = name;
    out->kind = isFlag(name) ? Item::Kind::Flag : Item::Kind::Register;
    if (registersOnly && out->kind == Item::Kind::Flag) {
        error("`with` sets registers; a flag is set through f or af");
        return false;
    }
    return bool(out->value = expression(s.substr(eq + 1), "the value"));
}

bool Reader::items(std::string_view s, bool registersOnly, std::vector<Item> *out) {
    const auto parts = splitItems(s);
    if (parts.size() > kMaxItems) {
        error("more than " + std::to_string(kMaxItems) + " items on one line");
        return false;
    }
    for (std::string_view part : parts) {
        Item one;
        if (part.empty()) {
            error("an empty item between commas");
            return false;
        }
        if (!item(part, registersOnly, &one))
            return false;
        out->push_back(std::move(one));
    }
    return true;
}

void Reader::startTest(std::string_view rest) {
    if (m_out.tests.size() >= kMaxTests) {
        error("more than " + std::to_string(kMaxTests) + " tests in one file");
        m_stopped = true;
        return;
    }
    Test t;
    t.line = m_line;
    if (!quoted(rest, &t.name, "a test's name"))
        t.name = "test at line " + std::to_string(m_line);
    else if (t.name.empty() || t.name.size() > 200) {
        error("a test's name says what it tests, in 1 to 200 characters");
        t.name = "test at line " + std::to_string(m_line);
    }
    m_out.tests.push_back(std::move(t));
}

void Reader::call(Test &t, std::string_view rest) {
    // `with` as a word of its own ends the routine's name.
    std::size_t with = std::string_view::npos;
    for (std::size_t i = 0; i + 4 <= rest.size(); ++i)
        if (lower(rest.substr(i, 4)) == "with" && i > 0 && isSpace(rest[i - 1]) &&
            (i + 4 == rest.size() || isSpace(rest[i + 4]))) {
            with = i;
            break;
        }
    t.targetText = std::string(trimmed(rest.substr(0, with)));
    if (t.targetText.empty()) {
        error("`call` names the routine: call LABEL [with REG=VALUE, ...]");
        return;
    }
    t.target = expression(t.targetText, "the routine");
    if (with != std::string_view::npos)
        items(trimmed(rest.substr(with + 4)), true, &t.with);
}

void Reader::runLine(Test &t, std::string_view rest) {
    if (rest.empty())
        return;
    const auto [word, keys] = firstWord(rest);
    if (word != "keys" || keys.empty()) {
        error("`run` runs the program from its start: run, or run keys ENTER,CLEAR,2,...");
        return;
    }
    for (std::string_view name : splitItems(keys)) {
        const auto codes = run::keysFromName(std::string(name));
        if (!codes) {
            error("no calculator key is called \"" + std::string(name.substr(0, 40)) +
                  "\" (ENTER, CLEAR, UP, 2ND, ALPHA, 0-9, A-Z, + - * / ...)");
            return;
        }
        t.keys.insert(t.keys.end(), codes->begin(), codes->end());
        if (t.keys.size() > kMaxKeys) {
            error("more than " + std::to_string(kMaxKeys) + " keys in one run");
            return;
        }
    }
}

void Reader::expect(Test &t, const std::string &word, std::string_view rest) {
    Expectation e;
    e.line = m_line;
    using K = Expectation::Kind;
    if (word == "keeps") {
        e.kind = K::Keeps;
        for (std::string_view r : splitItems(rest)) {
            const std::string name = lower(r);
            if (!isRegister(name)) {
                error("`keeps` names registers, as keeps bc, de, ix; \"" +
                      std::string(r.substr(0, 40)) + "\" is none");
                return;
            }
            e.regs.push_back(name);
        }
    } else if (word == "cycles") {
        e.kind = K::Cycles;
        if (rest.substr(0, 2) != "<=") {
            error("cycles are bounded as cycles <= N");
            return;
        }
        if (!count(rest.substr(2), kMaxBound, &e.count, "cycles <="))
            return;
    } else if (word == "calls") {
        e.kind = K::Calls;
        e.name = std::string(rest);
        if (e.name.empty() || e.name.find_first_of(" \t,") != std::string::npos) {
            error("`calls` names one OS call, as calls _PutS");
            return;
        }
    } else if (word == "text") {
        e.kind = K::Row;
        const auto [row, text] = firstWord(rest);
        if (!count(row, 7, &e.count, "the row of `text`") ||
            !quoted(text, &e.text, "the row's text"))
            return;
    } else if (word == "screen") {
        e.kind = K::Screen;
        e.name = std::string(rest);
        if (e.name.empty()) {
            error("`screen` names a PNG file, as screen title.png");
            return;
        }
    } else if (word == "buffer") {
        e.kind = K::Buffer;
        const std::size_t space = rest.find_last_of(" \t");
        if (space == std::string_view::npos) {
            error("`buffer` names where the buffer is and a PNG file, as buffer plotSScreen "
                  "frame.png");
            return;
        }
        e.addressText = std::string(trimmed(rest.substr(0, space)));
        e.name = std::string(trimmed(rest.substr(space)));
        if (!(e.address = expression(e.addressText, "the buffer's address")))
            return;
    } else if (word == "returned") {
        e.kind = K::Returned;
        if (!rest.empty()) {
            error("`returned` takes nothing after it");
            return;
        }
    } else if (word == "stops") {
        e.kind = K::Stops;
        if (!quoted(rest, &e.name, "the words of `stops`"))
            return;
    } else {
        error("unknown line \"" + word + "\"");
        return;
    }
    t.expectations.push_back(std::move(e));
}

void Reader::line(int number, std::string_view raw) {
    m_line = number;
    if (raw.size() > kMaxTestLineLength) {
        error("the line is longer than " + std::to_string(kMaxTestLineLength) + " characters");
        return;
    }
    const std::string_view text = trimmed(uncommented(raw));
    if (text.empty())
        return;
    const auto [word, rest] = firstWord(text);
    if (word == "test") {
        startTest(rest);
        return;
    }
    Test *t = current(word.empty() ? std::string(text.substr(0, 1)) : word);
    if (!t)
        return;
    if (word == "call" || word == "run") {
        if (t->action != Test::Action::None) {
            error("a test makes one call or one run; this one has its " +
                  std::string(t->action == Test::Action::Call ? "call" : "run") + " at line " +
                  std::to_string(t->actionLine) + " (start another test)");
            return;
        }
        t->action = word == "call" ? Test::Action::Call : Test::Action::Run;
        t->actionLine = number;
        if (word == "call")
            call(*t, rest);
        else
            runLine(*t, rest);
    } else if (word == "set") {
        if (t->action != Test::Action::None)
            error("`set` writes memory before the call or run, so it comes before it");
        else
            items(rest, false, &t->sets);
    } else if (word == "bound") {
        count(rest, kMaxBound, &t->bound, "bound");
    } else if (word == "expect") {
        const auto [second, after] = firstWord(rest);
        if (isExpectationWord(second)) {
            expect(*t, second, after);
            return;
        }
        std::vector<Item> list;
        if (rest.empty())
            error("`expect` wants what to compare, as expect hl=15, (buffer)=0");
        else if (items(rest, false, &list))
            for (Item &i : list) {
                Expectation e;
                e.line = number;
                e.item = std::move(i);
                t->expectations.push_back(std::move(e));
            }
    } else {
        if (isExpectationWord(word))
            expect(*t, word, rest);
        else
            error("\"" + std::string(text.substr(0, 40)) +
                  "\" is not a line of a test (test, set, call, run, expect, keeps, cycles, "
                  "calls, text, screen, buffer, returned, stops, bound)");
    }
}

void Reader::finish() {
    for (const Test &t : m_out.tests)
        if (t.action == Test::Action::None) {
            m_line = t.line;
            error("the test \"" + t.name + "\" neither calls a routine nor runs the program");
        }
}

} // namespace

bool isRegister(const std::string &n) {
    static const char *names[] = {"a",  "f",  "b",  "c",  "d",  "e",  "h",   "l",   "af",  "bc",
                                  "de", "hl", "ix", "iy", "sp", "pc", "ixh", "ixl", "iyh", "iyl"};
    return std::find_if(std::begin(names), std::end(names),
                        [&](const char *x) { return n == x; }) != std::end(names);
}

bool isFlag(const std::string &n) {
    return n == "cf" || n == "zf" || n == "sf" || n == "pf" || n == "vf" || n == "hf" || n == "nf";
}

Expression parseValue(std::string_view text, std::string *error) {
    const z80::LexedLine lexed = z80::lex(text);
    if (!lexed.error.empty()) {
        *error = lexed.error;
        return nullptr;
    }
    if (lexed.tokens.empty()) {
        *error = "a value is missing";
        return nullptr;
    }
    z80::ExprPtr e = z80::parseExpression(lexed.tokens, 0, lexed.tokens.size(), error);
    return Expression(std::move(e));
}

TestsFile parseTests(const std::string &path, std::string_view text) {
    TestsFile out;
    out.path = path;
    Reader reader(out);
    if (text.size() > kMaxTestsFileSize) {
        out.errors.push_back(path + ":1: error: the file is larger than " +
                             std::to_string(kMaxTestsFileSize >> 20) + " MB");
        return out;
    }
    z80::LineSplitter lines(text);
    std::string_view line;
    int number = 0;
    while (!reader.stopped() && lines.next(&line))
        reader.line(++number, line);
    reader.finish();
    return out;
}

} // namespace check
