#pragma once
// The one UTF-8 reader: strict UTF-8 (no overlong form, no surrogate,
// nothing past U+10FFFF), one character at a time. The editor's encoding
// guess, the code page's converter, the assembler's character constants
// and the runner's font files all judge UTF-8 through it.

#include <cstddef>
#include <string_view>

namespace base {

// The length (1 to 4) of the valid UTF-8 character at the start of
// `text`, with its code point in `*c`; 0 when it does not start with one.
std::size_t decodeUtf8(std::string_view text, char32_t *c);

// The code point when `text` is exactly one character of two to four
// bytes; -1 when it is not.
long decodeOneUtf8(std::string_view text);

// Whether the whole text is valid UTF-8.
bool isUtf8(std::string_view text);

} // namespace base
