#pragma once
// The program under test, assembled in memory: its bytes as a run loads
// them, its labels, the source line of every statement's address, and the
// checks written in its comments: `;@assert EXPR` and `;@log "a={a}"`,
// which cost no bytes (the assembler reads them as comments) and are
// checked when the statement on their line runs, or, on a line of their
// own, when execution reaches the next statement.

#include "check/testfile.h"
#include "run/romcalls.h"
#include "z80/preprocessor.h"
#include "z80/source.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace check {

struct Place {
    std::string file; // as the user reaches it from the working folder
    int line = 0;
    std::string text() const { return file + ":" + std::to_string(line); }
};

struct Probe {
    enum class Kind { Assert, Log } kind = Kind::Assert;
    Place at;
    std::string text;             // as written after @assert / @log
    Expression expression;        // Assert
    std::vector<std::string> log; // Log: text, {expression}, text, ... alternately
    std::vector<Expression> values;
};

struct Program {
    std::string source;                                   // shown
    std::vector<std::uint8_t> code;                       // what a run puts at 9D95h
    std::unordered_map<std::string, std::int64_t> labels; // by lower-case name
    std::vector<std::string> errors;                      // the assembler's, and the probes'
    std::vector<Place> places;                            // of the statements
    std::vector<std::int32_t> statementAt;                // by address: into places, or -1
    std::map<std::uint16_t, std::vector<Probe>> probes;   // by the address they wait for
    run::RomNames names;
    bool ok() const { return errors.empty(); }
    std::optional<std::int64_t> label(const std::string &name) const;
};

// Assembles `sourcePath` (a whole path); `shownFolder` is put before the
// assembler's names of files in what the user reads.
Program loadProgram(const std::string &sourcePath, const std::string &shownFolder,
                    z80::FileReader &reader, const z80::Options &options);

} // namespace check
