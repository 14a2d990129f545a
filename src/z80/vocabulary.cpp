#include "vocabulary.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <vector>

namespace z80 {

std::string lower(std::string_view w) {
    std::string s(w);
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

namespace {

// A set of lower-case words, searched without regard to case.
class WordSet {
public:
    WordSet(std::initializer_list<const char *> words) : m_words(words.begin(), words.end()) {
        std::sort(m_words.begin(), m_words.end());
    }
    const std::vector<std::string> &words() const { return m_words; }
    bool has(std::string_view word) const {
        return !word.empty() && std::binary_search(m_words.begin(), m_words.end(), lower(word));
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

std::vector<std::string> languageWords() {
    std::vector<std::string> out;
    for (const WordSet *set : {&instructions(), &registers(), &directives()})
        out.insert(out.end(), set->words().begin(), set->words().end());
    return out;
}

} // namespace z80
