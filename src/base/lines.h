#pragma once
// The one line splitter: CR LF, LF and a lone CR each end a line, as the
// editor shows them; a UTF-8 byte-order mark at the start is skipped. Every
// text read line by line (sources, listings, fonts, settings, lists of
// files) goes through it, so that a file written on any system reads the same.

#include <string>
#include <string_view>
#include <vector>

namespace base {

// The lines one at a time, so that a file of millions of short lines costs
// no more memory than its text.
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text);
    bool next(std::string_view *line);

private:
    std::string_view m_text;
    size_t m_at = 0;
};

// All the lines, as views into `text`.
std::vector<std::string_view> splitLines(std::string_view text);

} // namespace base
