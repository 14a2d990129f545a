#pragma once
// The one line splitter: CR LF, LF and a lone CR each end a line, as the
// editor shows them; a byte-order mark at the start is skipped. Every text
// read line by line (sources, listings, fonts, settings, lists of files,
// logs, the editor's own text) goes through it, so that a file written on
// any system reads the same. It splits bytes (UTF-8 or a code page) and
// UTF-16 (Qt's strings) with the same code.

#include <string>
#include <string_view>
#include <vector>

namespace base {

// The lines one at a time, so that a file of millions of short lines costs
// no more memory than its text.
template <class Char> class BasicLineSplitter {
public:
    using View = std::basic_string_view<Char>;
    explicit BasicLineSplitter(View text);
    // The next line without its end; false after the last. A text that ends
    // with a line end has no empty line after it.
    bool next(View *line);
    // The same, with the line's end in `*end`: CR LF, LF, CR, or nothing for
    // a last line without one. The mark and every line with its end put
    // together give the text back.
    bool next(View *line, View *end);
    // The byte-order mark skipped before the first line; empty when there is none.
    View mark() const { return m_text.substr(0, m_start); }

private:
    View m_text;
    size_t m_start;
    size_t m_at;
};
using LineSplitter = BasicLineSplitter<char>;
using Utf16LineSplitter = BasicLineSplitter<char16_t>;

extern template class BasicLineSplitter<char>;
extern template class BasicLineSplitter<char16_t>;

// All the lines, as views into `text`.
std::vector<std::string_view> splitLines(std::string_view text);
std::vector<std::u16string_view> splitLines(std::u16string_view text);

} // namespace base
