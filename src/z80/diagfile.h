#pragma once
// A build's errors and warnings as a file of values (NAME.diag beside the
// program), so that the editor marks lines and walks the problems from the
// values the assembler had, not from its log's text. A text of lines:
//
//   qvdiag 1                                  the format and its version, first
//   SEVERITY LINE COLUMN LENGTH FILE TEXT     one message, fields apart by a tab:
//                                             "error" or "warning"; the line from
//                                             1; the column in bytes from the
//                                             line's start, from 0 (-1: the whole
//                                             line); the length in bytes; the file
//                                             as the log names it; the text as the
//                                             log says it. In FILE and TEXT a tab,
//                                             a line end and a backslash are
//                                             written \t, \n and \\.
//
// The messages are those the log lists, in its order: the errors, then the
// warnings.

#include "diagnostics.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

std::string writeDiagnostics(const std::vector<Diagnostic> &messages);

// The messages read back; nothing, and *error ("line 3: ..."), when the text
// is not such a file. At most kMaxDiagnostics are read.
std::optional<std::vector<Diagnostic>> readDiagnostics(std::string_view text, std::string *error);
constexpr size_t kMaxDiagnostics = 10000;

} // namespace z80
