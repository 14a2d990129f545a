#pragma once
// What a build writes when its source says it is not a program: a line
// "; variable: TYPE [NAME] [archived]" among its first ten, beside
// "; defines:". TYPE names one of the calculator's variable types (TI-83
// Plus SDK, "Variable types"), each with the file extension TI's link
// software gives it: real (00h, .8xn), list (01h, .8xl), matrix (02h, .8xm),
// string (04h, .8xs), program (05h, .8xp), protected (06h, .8xp), picture
// (07h, .8xi), gdb (08h, .8xd), complex (0Ch, .8xc), appvar (15h, .8xv).
// NAME is the name on the calculator (by default the file's name): for a
// program or an application variable letters and digits, a letter first,
// at most 8 (a program's upper-cased); for the others the names the
// calculator gives them: A-Z or theta (real, complex), L1-L6 (list),
// [A]-[J] (matrix), Str0-Str9 (string), Pic0-Pic9 (picture), GDB0-GDB9.
// "archived" puts the variable into the archive when it is sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

struct VariableForm {
    std::uint8_t type = 0x06;
    std::string typeName;    // "appvar"
    std::string description; // "application variable"
    std::string extension;   // "8xv"
    std::string name;        // as written, empty: the file's name
    bool archived = false;
    // The data starts with its length in two bytes, which the packer adds
    // (program, string, picture, gdb, application variable); the others'
    // bytes are the whole data as the source writes them.
    bool sized = true;
};

// The form the source's first ten lines give; nullopt when none does. A
// line that names no known type, or too many words, sets `error`.
std::optional<VariableForm> variableComment(std::string_view text, std::string *error);

// The eight bytes of the variable's name on the calculator, NUL-padded, for
// `form` and the file's name `fileName`; empty and `error` set when the
// name is not one such a variable can have.
std::vector<std::uint8_t> variableName(const VariableForm &form, const std::string &fileName,
                                       std::string *error);

} // namespace z80
