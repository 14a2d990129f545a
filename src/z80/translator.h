#pragma once
// Translates a source in the classic table-driven assembler's dialect (and
// spasm-ng's) into pasmo's. Every output line is mapped back to the file and
// line it came from; every error names its file and line.

#include "diagnostics.h"
#include "emitter.h"
#include "preprocessor.h"
#include "source.h"

#include <string>
#include <vector>

namespace z80 {

struct Translation {
    std::vector<std::string> lines; // pasmo input
    std::vector<Origin> origins;    // one per output line
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    bool ok() const { return errors.empty(); }
};

Translation translate(const std::string &mainPath, FileReader &reader, const Options &options);

} // namespace z80
