// A program's own defines: "; defines: DEBUG LEVEL=2" among its first
// lines, beside "; main:", as its Makefile's -D options would give them.

#include "preprocessor.h"

#include "vocabulary.h"

namespace z80 {

std::vector<std::string_view> leadingComments(std::string_view text, std::string_view word) {
    std::vector<std::string_view> out;
    LineSplitter split(text);
    std::string_view line;
    for (int n = 0; n < kDefinesCommentLines && split.next(&line); ++n) {
        const size_t semicolon = line.find_first_not_of(" \t");
        if (semicolon == std::string_view::npos || line[semicolon] != ';')
            continue;
        const size_t at = line.find_first_not_of(" \t;", semicolon);
        if (at != std::string_view::npos && lower(line.substr(at, word.size())) == word)
            out.push_back(line.substr(at + word.size()));
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> definesComment(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (std::string_view rest : leadingComments(text, "defines:")) {
        while (!rest.empty()) {
            const size_t b = rest.find_first_not_of(" \t,");
            if (b == std::string_view::npos)
                break;
            rest.remove_prefix(b);
            const size_t e = std::min(rest.find_first_of(" \t,"), rest.size());
            const std::string_view item = rest.substr(0, e);
            rest.remove_prefix(e);
            const size_t eq = item.find('=');
            const std::string name(item.substr(0, eq));
            if (name.empty())
                continue;
            out.emplace_back(name, eq == std::string_view::npos ? "" : item.substr(eq + 1));
        }
    }
    return out;
}

} // namespace z80
