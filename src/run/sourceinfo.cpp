#include "run/sourceinfo.h"

#include "base/lines.h"
#include "base/wholefile.h"

#include "z80/vocabulary.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace run {

namespace {

using z80::lower; // ASCII only, whatever the locale the editor set

std::string readFile(const std::filesystem::path &path) {
    std::string text;
    base::readWholeFile(path.c_str(), &text); // what is not read is not there
    return text;
}

// The file beside `program` named NAME.`ext`, in the program's letter case or another.
std::filesystem::path besideFile(const std::filesystem::path &program, const std::string &ext) {
    const std::string stem = program.stem().string();
    std::error_code error;
    for (const std::string &name : {stem, lower(stem)}) {
        const std::filesystem::path p = program.parent_path() / (name + ext);
        if (std::filesystem::is_regular_file(p, error))
            return p;
    }
    std::string upper = stem;
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return program.parent_path() / (upper + ext);
}

// `digits` hexadecimal digits at `at`, or from 1 to 6 of them up to the
// line's end or a blank when `digits` is 0.
bool hex(const std::string &s, std::size_t at, std::size_t digits, std::uint32_t &value) {
    std::size_t end = at + digits;
    if (digits == 0) {
        end = std::min(s.find_first_of(" \t", at), s.size());
        if (end == at || end - at > 6)
            return false;
    }
    if (end > s.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < end; ++i) {
        const char c = s[i];
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        value = value << 4 | std::uint32_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return true;
}

// A labels file's value as a key: the page above an address of 4000h-7FFFh.
std::uint32_t labelKey(std::uint32_t value) {
    const std::uint16_t address = std::uint16_t(value);
    return value > 0xFFFF && address >= 0x4000 && address < 0x8000 ? value & 0xFFFFFF : address;
}

} // namespace

SourceInfo SourceInfo::beside(const std::string &programPath) {
    SourceInfo info;
    const std::filesystem::path program(programPath);
    info.readLabels(readFile(besideFile(program, ".lab")));
    const std::filesystem::path listing = besideFile(program, ".lst");
    // The listing names included files; the first file is the source, found
    // by the kit's names for it beside the listing or in ../Source.
    std::string main = listing.stem().string();
    std::error_code error;
    for (const char *ext : {".z80", ".asm"})
        for (const std::filesystem::path &folder :
             {listing.parent_path(), listing.parent_path() / ".." / "Source"})
            if (main.find('.') == std::string::npos &&
                std::filesystem::is_regular_file(folder / (main + ext), error))
                main += ext;
    info.readListing(readFile(listing), main);
    return info;
}

void SourceInfo::readLabels(const std::string &text) {
    base::LineSplitter lines(text);
    for (std::string_view view; lines.next(&view);) {
        const std::string line(view);
        const std::size_t eq = line.find(" = $");
        std::uint32_t value = 0;
        if (eq == std::string::npos || eq == 0 || !hex(line, eq + 4, 0, value))
            continue;
        const std::string name = line.substr(0, eq);
        m_labels.emplace(lower(name), value);
        m_names.emplace(labelKey(value), name);
    }
}

void SourceInfo::readListing(const std::string &text, const std::string &mainFile) {
    std::string file = mainFile;
    const std::string other = "Listing for file \"";
    base::LineSplitter lines(text);
    for (std::string_view view; lines.next(&view);) {
        const std::string line(view);
        if (line.compare(0, other.size(), other) == 0) {
            file = line.substr(other.size(), line.rfind('"') - other.size());
            continue;
        }
        // "%5d PP:%04X " then four byte slots of three characters, then the
        // text; PP is 00 but for an application's later pages.
        const std::size_t colon = line.find(':');
        std::uint32_t page = 0, address = 0;
        if (colon == std::string::npos || colon < 3 || line[colon - 3] != ' ' ||
            !hex(line, colon - 2, 2, page) || !hex(line, colon + 1, 4, address))
            continue;
        const std::uint32_t at = key(std::uint16_t(address), int(page));
        const std::size_t page0 = colon - 3; // where the number ends
        const std::string number = line.substr(0, page0);
        if (number.find_first_not_of(' ') == std::string::npos ||
            number.find_first_not_of(" 0123456789") != std::string::npos)
            continue;
        const std::size_t slots = colon + 6;
        if (line.size() < slots + 12 || line.compare(slots, 1, "-") == 0)
            continue; // no bytes on this line
        std::string source = line.substr(slots + 12);
        const std::size_t start = source.find_first_not_of(" \t");
        source = start == std::string::npos ? std::string() : source.substr(start);
        m_lines.emplace(at, SourceLine{file, std::stoi(number), source});
    }
}

std::optional<std::uint32_t> SourceInfo::labelValue(const std::string &name) const {
    const auto it = m_labels.find(lower(name));
    if (it == m_labels.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::uint16_t> SourceInfo::label(const std::string &name) const {
    if (const auto v = labelValue(name))
        return std::uint16_t(*v);
    return std::nullopt;
}

std::string SourceInfo::labelAt(std::uint16_t address, int page) const {
    const std::uint32_t at = key(address, page);
    auto it = m_names.upper_bound(at);
    if (it == m_names.begin())
        return {};
    --it;
    const std::int64_t offset = std::int64_t(at) - std::int64_t(it->first);
    if (offset > 255)
        return {};
    // The first name defined at that value, in the labels file's order.
    const auto first = m_names.lower_bound(it->first);
    return first->second + (offset ? "+" + std::to_string(offset) : "");
}

const SourceLine *SourceInfo::lineAt(std::uint16_t address, int page) const {
    const auto it = m_lines.find(key(address, page));
    return it == m_lines.end() ? nullptr : &it->second;
}

} // namespace run
