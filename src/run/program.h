#pragma once
// A calculator program file (.8xp) read for running: the machine code after
// the BB 6D that marks an assembly program, and the shell it was written for
// when its first bytes carry one of the shells' headers. Files that cannot be
// a program, or were damaged, are refused with the reason before anything
// past their end is read.

#include <cstdint>
#include <string>
#include <vector>

namespace run {

// The largest program the calculator can run: user memory from userMem
// (9D95h) to the variable table (FE66h) holds the program twice, as a
// variable (its bytes, a size word, a table entry of up to 15 bytes) and as
// the copy Asm( runs (its bytes after the 2-byte token). The assembler's
// size limit follows the same rule.
constexpr std::size_t kMaxProgramBytes = ((0xFE66 - 0x9D95) - 15) / 2;
// The largest file a program can be: the 55-byte file header, a variable
// entry of 17 bytes and its data (a size word and the largest size a
// variable has), and the checksum.
constexpr std::size_t kMaxProgramFileBytes = 55 + 17 + 2 + 0xFFFF + 2;

// An application (.8xk) as the runner takes it: at most the Flash of the
// TI-84 Plus (64 pages of 16 KB), and a file no larger than its pages in TI's
// Intel HEX form at 16 bytes a record (45 characters for 16 bytes) can be,
// with room for the header and the page records.
constexpr std::size_t kMaxApplicationPages = 64;
constexpr std::size_t kMaxApplicationFileBytes =
    78 + kMaxApplicationPages * (0x4000 / 16 * 46 + 64);

struct Program {
    std::string name;
    std::vector<std::uint8_t> code; // what goes to 9D95h
    std::string shell;              // "Ion", "MirageOS", "Doors CS", or empty
    std::string description;        // the shell header's description, if any
    // The shell header's icon, a row of pixels a word with bit 15 leftmost:
    // MirageOS's 15x15 after `ret / .db 1`, Doors CS's 16x16 where its
    // header points; empty for none.
    std::vector<std::uint16_t> icon;
    int iconWidth = 0;
    std::string error;          // why the file cannot run; empty when it can
    bool checksumWrong = false; // the file's checksum does not match its bytes
    // An application: its pages end to end (empty for a program), how many,
    // and where it starts (4000h and the header's length).
    std::vector<std::uint8_t> application;
    int applicationPages = 0;
    std::uint16_t entry = 0;
};

struct ReadOptions {
    bool ignoreChecksum = false; // run a file whose checksum is wrong
};

Program readProgram(const std::vector<std::uint8_t> &file);
Program readProgram(const std::vector<std::uint8_t> &file, const ReadOptions &options);
// A Flash application file (.8xk, "**TIFL**"); readProgram passes such files here.
Program readApplication(const std::vector<std::uint8_t> &file);

} // namespace run
