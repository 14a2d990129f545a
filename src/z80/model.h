#pragma once
// The names of a program as the assembler reads them: where each label,
// equate, #define and macro is defined and where each name is used. The
// preprocessor and the assembler note them as they go, for every file the
// build reads however it is included; the editor's go to definition, hover,
// completion and references read them.

#include <cstdint>
#include <optional>
#include <string>

namespace z80 {

struct Definition {
    enum class Kind { Label, Equate, Define, Macro };
    std::string name; // as written where it is defined
    Kind kind = Kind::Label;
    std::optional<std::int64_t> value;
    std::string file;    // as the build names it (the analysis makes it a whole path)
    int line = 0;        // from 1
    int column = 0;      // from 0, in bytes of the line
    std::string comment; // on its line, which is how the standard include describes ROM calls
};

struct Use {
    std::string name;
    std::string file; // as a Definition's
    int line = 0;
    int column = 0;
};

} // namespace z80
