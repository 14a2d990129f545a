#pragma once
// Small pieces of a line's text that the preprocessor's files share.

#include <string>

namespace z80::preprocessing {

// `s` without the blanks and tabs at its two ends.
std::string trim(const std::string &s);
// The file name of an include: in double quotes, in <>, or the next word.
std::string includeName(std::string rest);
// A name the language itself owns, never a symbol of the program.
bool isWord(const std::string &name);

} // namespace z80::preprocessing
