#pragma once
// What a build leaves beside the program, made from the build's values: a
// listing in spasm-ng's layout, a label file in the form spasm-ng writes
// (emulators and debuggers load it), the line that sums the program up, and
// messages capped at 50. The source map is sourcemap.h's.

#include "assembler.h"
#include "source.h"

#include <string>
#include <vector>

namespace z80 {

// Each source line as "LINE PP:ADDR BYTES TEXT", four bytes to a row (PP the
// page of an application's byte counted from its first, 00 for a program), with a
// "Listing for file" line where the file changes. `mainPath` is the source's
// whole path; the lines are read again through `reader`.
std::string listing(const Assembly &a, FileReader &reader, const std::string &mainPath);

// "name = $1234" lines, sorted by name in any letter case. An application's
// label on one of its pages has the page above its address, as spasm-ng
// writes them: "$14123" is 4123h on page 1 (counted from the first), "$4123"
// 4123h on page 0.
std::string labelFile(const Assembly &a);

// "1,747 bytes, code ends at A468h (7,064 bytes below C000h)."; for an
// application "2 pages, 16,490 bytes (page 1 has 16,278 bytes left).", for
// another variable "1,200 bytes." (the packer's sentence follows: whether
// it signed the application, what variable it wrote).
std::string summary(const Assembly &a);

// A diagnostic as the log shows it: "file:line: error: text".
std::string message(const Diagnostic &d);
std::vector<std::string> messages(const std::vector<Diagnostic> &list);
// A build's errors as the log lists them: the causes first, then a line
// that counts the errors after them, which may only follow from them.
std::vector<std::string> errorLines(const Assembly &a);

// At most 50 messages, then a line saying how many more there were.
std::vector<std::string> capped(const std::vector<std::string> &messages, const char *what);

} // namespace z80
