#include "vocabulary.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace z80 {

// ASCII only, whatever the locale: the editor (whose Qt sets the user's
// locale) and the kit must fold the same letters.
std::string lower(std::string_view w) {
    std::string s(w);
    for (char &c : s)
        c = lowerChar(c);
    return s;
}

namespace {

// A set of lower-case words, searched without regard to case.
class WordSet {
public:
    WordSet(std::initializer_list<const char *> words) : m_words(words.begin(), words.end()) {
        std::sort(m_words.begin(), m_words.end());
    }
    explicit WordSet(std::vector<std::string> words) : m_words(std::move(words)) {
        std::sort(m_words.begin(), m_words.end());
    }
    const std::vector<std::string> &words() const { return m_words; }
    bool has(std::string_view word) const {
        char folded[32]; // longer than any word of the sets
        if (word.empty() || word.size() > sizeof folded)
            return false;
        for (size_t i = 0; i < word.size(); ++i)
            folded[i] = lowerChar(word[i]);
        const std::string_view key(folded, word.size());
        const auto it =
            std::lower_bound(m_words.begin(), m_words.end(), key,
                             [](const std::string &a, std::string_view b) { return a < b; });
        return it != m_words.end() && *it == key;
    }

private:
    std::vector<std::string> m_words;
};

const WordSet &instructions() {
    static const WordSet set = {
        "adc",  "add",  "and", "bit",  "call", "ccf",  "cp",   "cpd",  "cpdr", "cpi",
        "cpir", "cpl",  "daa", "dec",  "di",   "djnz", "ei",   "ex",   "exx",  "halt",
        "im",   "in",   "inc", "ind",  "indr", "ini",  "inir", "jp",   "jr",   "ld",
        "ldd",  "lddr", "ldi", "ldir", "neg",  "nop",  "or",   "otdr", "otir", "out",
        "outd", "outi", "pop", "push", "res",  "ret",  "reti", "retn", "rl",   "rla",
        "rlc",  "rlca", "rld", "rr",   "rra",  "rrc",  "rrca", "rrd",  "rst",  "sbc",
        "scf",  "set",  "sl1", "sla",  "sll",  "sra",  "srl",  "sub",  "xor"};
    return set;
}

const WordSet &registers() {
    static const WordSet set = {"a",  "af",  "af'", "b",  "bc", "c",  "d",   "de",
                                "e",  "f",   "h",   "hl", "i",  "ix", "ixh", "ixl",
                                "iy", "iyh", "iyl", "l",  "r",  "sp"};
    return set;
}

const WordSet &conditions() {
    static const WordSet set = {"c", "m", "nc", "nz", "p", "pe", "po", "z"};
    return set;
}

const WordSet &directives() {
    static const WordSet set = {
        "#comment",    "#defcont",    "#define",       "#elif",      "#else",
        "#endcomment", "#endif",      "#endmacro",     "#endregion", "#error",
        "#if",         "#ifdef",      "#ifndef",       "#include",   "#macro",
        "#region",     "#undef",      "#undefine",     ".addinstr",  ".block",
        ".byte",       ".db",         ".dw",           ".echo",      ".eject",
        ".end",        ".equ",        ".fill",         ".include",   ".list",
        ".nolist",     ".org",        ".text",         ".title",     ".word",
        ".ds",         ".binarymode", ".variablename", ".module",    ".chk",
        ".codes",      ".nocodes",    ".export",       ".lsfirst",   ".msfirst",
        ".set",        ".define",     ".incbin",       "db",         "dw",
        "ds",          "defb",        "defw",          "defs",       "defm",
        "equ",         "org",         "end",           "include"};
    return set;
}

} // namespace

bool isInstruction(std::string_view word) {
    return instructions().has(word);
}
bool isRegister(std::string_view word) {
    return registers().has(word);
}
bool isCondition(std::string_view word) {
    return conditions().has(word);
}
bool isDirective(std::string_view word) {
    return directives().has(word);
}

bool isLanguageWord(std::string_view word) {
    static const WordSet all = [] {
        std::vector<std::string> words;
        for (const WordSet *set : {&instructions(), &registers(), &conditions(), &directives()})
            for (const std::string &w : set->words()) {
                words.push_back(w);
                if (w[0] == '.')
                    words.push_back(w.substr(1));
            }
        return WordSet(std::move(words));
    }();
    return all.has(word);
}

std::vector<std::string> languageWords() {
    std::vector<std::string> out;
    for (const WordSet *set : {&instructions(), &registers(), &directives()})
        out.insert(out.end(), set->words().begin(), set->words().end());
    return out;
}

} // namespace z80
