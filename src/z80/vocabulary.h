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

// The characters of names: a letter or '_' first, then letters, digits, '_'.
inline bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
inline bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// A word in lower case, for comparing words without regard to case.
std::string lower(std::string_view word);

bool isInstruction(std::string_view word);
bool isRegister(std::string_view word);  // a, bc, ix, ixh, af' ...
bool isCondition(std::string_view word); // nz, z, nc, c, po, pe, p, m
// A directive with its dot or hash: ".org", "#define"; also the dotless
// forms some sources use ("db", "equ", "org").
bool isDirective(std::string_view word);
// Every instruction, register and directive, in lower case, for completion.
std::vector<std::string> languageWords();

} // namespace z80
