#include "highlight.h"

#include "vocabulary.h"

#include <cctype>

namespace z80 {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
// Whether the lower-case `word` stands at `i`, in any letter case.
bool startsWithWord(std::string_view s, size_t i, std::string_view word) {
    return s.size() >= i + word.size() && lower(s.substr(i, word.size())) == word &&
           (s.size() == i + word.size() || !isNameChar(s[i + word.size()]));
}

Style wordStyle(std::string_view word) {
    if (isInstruction(word))
        return Style::Instruction;
    if (isRegister(word) || isCondition(word))
        return Style::Register;
    if (isDirective(word))
        return Style::Directive;
    return Style::Default;
}

} // namespace

bool highlightLine(std::string_view s, bool inComment, std::vector<Span> &spans) {
    spans.clear();
    size_t first = 0;
    while (first < s.size() && isBlank(s[first]))
        ++first;
    if (inComment) {
        spans.push_back({0, s.size(), Style::Comment});
        return !startsWithWord(s, first, "#endcomment");
    }
    bool afterValue = false; // the last token ends a value: '%' is an operator then
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        const size_t start = i;
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (c == ';') {
            spans.push_back({i, s.size() - i, Style::Comment});
            break;
        }
        if (c == '#' && i == first) {
            ++i;
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            spans.push_back({start, i - start, Style::Directive});
            if (startsWithWord(s, start, "#comment")) {
                spans.push_back({i, s.size() - i, Style::Comment});
                return true;
            }
            afterValue = false;
            continue;
        }
        if (c == '.' && i + 1 < s.size() && isNameStart(s[i + 1])) {
            ++i;
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            spans.push_back({start, i - start, Style::Directive});
            afterValue = false;
            continue;
        }
        if (isNameStart(c)) {
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            if (i < s.size() && s[i] == '\'' && lower(s.substr(start, i - start)) == "af")
                ++i; // af'
            const std::string_view word = s.substr(start, i - start);
            if (start == 0) { // a label stands in the first column
                if (i < s.size() && s[i] == ':')
                    ++i;
                spans.push_back({start, i - start, Style::Label});
                afterValue = false;
                continue;
            }
            const Style style = wordStyle(word);
            if (style != Style::Default)
                spans.push_back({start, i - start, style});
            afterValue = style != Style::Instruction && style != Style::Directive;
            continue;
        }
        const bool hex =
            c == '$' && i + 1 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1]));
        const bool binary =
            c == '%' && !afterValue && i + 1 < s.size() && (s[i + 1] == '0' || s[i + 1] == '1');
        if (std::isdigit(static_cast<unsigned char>(c)) || hex || binary) {
            ++i;
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            spans.push_back({start, i - start, Style::Number});
            afterValue = true;
            continue;
        }
        if (c == '"' || c == '\'') {
            ++i;
            while (i < s.size() && s[i] != c)
                i += s[i] == '\\' && i + 1 < s.size() ? 2 : 1;
            i = i < s.size() ? i + 1 : s.size();
            spans.push_back({start, i - start, Style::String});
            afterValue = true;
            continue;
        }
        afterValue = c == ')' || c == '$';
        ++i;
    }
    return false;
}

} // namespace z80
