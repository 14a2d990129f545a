#include "base/lines.h"

namespace base {

namespace {

size_t markLength(std::string_view text) {
    return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

size_t markLength(std::u16string_view text) {
    return !text.empty() && text[0] == u'\uFEFF' ? 1 : 0;
}

template <class Char>
std::vector<std::basic_string_view<Char>> all(std::basic_string_view<Char> text) {
    std::vector<std::basic_string_view<Char>> lines;
    BasicLineSplitter<Char> split(text);
    for (std::basic_string_view<Char> line; split.next(&line);)
        lines.push_back(line);
    return lines;
}

} // namespace

template <class Char>
BasicLineSplitter<Char>::BasicLineSplitter(View text)
    : m_text(text), m_start(markLength(text)), m_at(m_start) {}

template <class Char> bool BasicLineSplitter<Char>::next(View *line) {
    View end;
    return next(line, &end);
}

template <class Char> bool BasicLineSplitter<Char>::next(View *line, View *end) {
    if (m_at >= m_text.size())
        return false;
    size_t stop = m_at;
    while (stop < m_text.size() && m_text[stop] != Char('\n') && m_text[stop] != Char('\r'))
        ++stop;
    const size_t after =
        stop == m_text.size() ? stop
        : m_text[stop] == Char('\r') && stop + 1 < m_text.size() && m_text[stop + 1] == Char('\n')
            ? stop + 2
            : stop + 1;
    *line = m_text.substr(m_at, stop - m_at);
    *end = m_text.substr(stop, after - stop);
    m_at = after;
    return true;
}

template class BasicLineSplitter<char>;
template class BasicLineSplitter<char16_t>;

std::vector<std::string_view> splitLines(std::string_view text) {
    return all(text);
}

std::vector<std::u16string_view> splitLines(std::u16string_view text) {
    return all(text);
}

} // namespace base
