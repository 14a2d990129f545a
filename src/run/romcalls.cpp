#include "run/romcalls.h"

#include "run/romtable.h"

#include "base/lines.h"

#include <regex>

namespace run {

RomNames::RomNames() {
    for (const RomCall &c : romCalls())
        m_names.emplace(c.address, c.name);
}

void RomNames::addFromInclude(const std::string &text) {
    static const std::regex line(
        R"(^\s*(_[A-Za-z0-9_]+)\s*:?\s*(?:\.?equ|=)\s*(?:\$([0-9A-Fa-f]{4})|0?([0-9A-Fa-f]{4})h)\b)",
        std::regex::icase);
    base::LineSplitter split(text);
    std::string_view view;
    while (split.next(&view)) {
        const std::string l(view);
        std::smatch m;
        if (!std::regex_search(l, m, line))
            continue;
        const std::string hex = m[2].matched ? m[2].str() : m[3].str();
        m_names[std::uint16_t(std::stoul(hex, nullptr, 16))] = m[1].str();
    }
}

std::string RomNames::nameOf(std::uint16_t address) const {
    const auto it = m_names.find(address);
    return it == m_names.end() ? std::string() : it->second;
}

} // namespace run
