#include "base/lines.h"

namespace base {

LineSplitter::LineSplitter(std::string_view text)
    : m_text(text), m_at(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0) {}

bool LineSplitter::next(std::string_view *line) {
    if (m_at >= m_text.size())
        return false;
    size_t end = m_at;
    while (end < m_text.size() && m_text[end] != '\n' && m_text[end] != '\r')
        ++end;
    if (end == m_text.size()) {
        *line = m_text.substr(m_at);
        m_at = m_text.size();
        return true;
    }
    *line = m_text.substr(m_at, end - m_at);
    m_at =
        end + (m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n' ? 2 : 1);
    return true;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    LineSplitter split(text);
    for (std::string_view line; split.next(&line);)
        lines.push_back(line);
    return lines;
}

} // namespace base
