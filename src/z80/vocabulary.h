#pragma once
// The words of Z80 assembly as TI-83 Plus sources write it: instructions
// (undocumented ones too), registers, conditions and directives of the classic
// table-driven assembler's dialect and spasm-ng's. The editor's colours and
// the kit's assembler both ask here, so they never disagree about a word.
// Plain C++: the kit's programs use it without Qt. Every lookup ignores case.

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

// Characters are classed and folded as ASCII whatever the locale, so the
// editor (whose Qt sets the user's locale) and the kit read alike.
inline bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline char lowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// White space as C's "C" locale has it: blank, tab, line ends, vertical tab, form feed.
inline bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
// `s` without the white space at its two ends.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// The characters of names: a letter or '_' first, then letters, digits, '_'.
inline bool isNameStart(char c) {
    return isLetter(c) || c == '_';
}
inline bool isNameChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_';
}

// Whether `word` is `lowerWord` in any letter case.
inline bool sameWord(std::string_view word, std::string_view lowerWord) {
    if (word.size() != lowerWord.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lowerChar(word[i]) != lowerWord[i])
            return false;
    return true;
}

// A word in lower case, for comparing words without regard to case.
std::string lower(std::string_view word);

bool isInstruction(std::string_view word);
bool isRegister(std::string_view word);  // a, bc, ix, ixh, af' ...
bool isCondition(std::string_view word); // nz, z, nc, c, po, pe, p, m
// A directive with its dot or hash: ".org", "#define"; also the dotless
// forms some sources use ("db", "equ", "org").
bool isDirective(std::string_view word);
// An instruction, register, condition or directive, a directive's word
// without its '.' included: a name the language owns.
bool isLanguageWord(std::string_view word);

// Every instruction, register and directive, in lower case, for completion.
std::vector<std::string> languageWords();

} // namespace z80
