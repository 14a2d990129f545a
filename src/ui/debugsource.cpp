#include "ui/debugsource.h"

#include "base/lines.h"
#include "base/wholefile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

const char *const DebugSource::kChanged =
    "The program has changed since its map was written; build it again.";

namespace {

constexpr int kLongestLine = 4096;

// A map, labels or source file, through the one file reader and its limit,
// as the assembler reads sources and --run reads a listing: nothing when it
// is not a regular file (a FIFO is not waited on) or is past the limit.
std::optional<std::string> readText(const fs::path &path) {
    std::string text;
    if (!base::readWholeFile(path.c_str(), &text).ok())
        return std::nullopt;
    return text;
}

// NAME.ext beside the program, in the program's letter case or lower case.
fs::path besideFile(const fs::path &program, const std::string &ext) {
    std::string stem = program.stem().string();
    std::error_code error;
    for (int pass = 0; pass < 2; ++pass) {
        const fs::path p = program.parent_path() / (stem + ext);
        if (fs::is_regular_file(p, error))
            return p;
        std::transform(stem.begin(), stem.end(), stem.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
    }
    return {};
}

// The map agrees with the program when it was written for bytes of the same
// count and hash; a map without them (written before they were) at least
// places all its statements inside the program.
// An application's file holds its signature after the bytes the map names.
bool agrees(const z80::SourceMap &map, const std::vector<std::uint8_t> &data) {
    if (map.size && (map.pages ? *map.size > data.size() : *map.size != data.size()))
        return false;
    if (map.size && *map.hash != z80::mapHash(data.data(), std::size_t(*map.size)))
        return false;
    return std::all_of(map.entries.begin(), map.entries.end(),
                       [&](const auto &e) { return e.offset + e.size <= data.size(); });
}

std::string hex4(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", unsigned(v));
    return text;
}

} // namespace

std::optional<DebugSource> DebugSource::beside(const std::string &programPath,
                                               const std::vector<std::uint8_t> &programData,
                                               const std::string &sourceFolder,
                                               std::string *error) {
    const fs::path program(programPath);
    const fs::path map = besideFile(program, ".map");
    std::optional<DebugSource> out;
    if (!map.empty())
        if (const auto text = readText(map)) {
            std::string why;
            out = fromMap(*text, programData, sourceFolder, &why);
            if (!out && why == kChanged) {
                *error = why;
                return std::nullopt;
            }
        }
    if (!out) {
        // A listing in spasm-ng's layout, and the labels, read as --run reads them.
        out = DebugSource();
        out->m_info = run::SourceInfo::beside(programPath);
        out->m_kind = out->m_info.hasListing() ? Kind::Listing : Kind::Labels;
        std::string ext = program.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        out->m_application = ext == ".8xk";
    } else if (const fs::path labels = besideFile(program, ".lab"); !labels.empty()) {
        if (const auto text = readText(labels))
            out->m_info.readLabels(*text);
    }
    return out;
}

std::optional<DebugSource> DebugSource::fromMap(const std::string &mapText,
                                                const std::vector<std::uint8_t> &programData,
                                                const std::string &sourceFolder,
                                                std::string *error) {
    std::string why;
    auto map = z80::readMap(mapText, &why);
    if (!map) {
        *error = why;
        return std::nullopt;
    }
    if (!agrees(*map, programData)) {
        *error = kChanged;
        return std::nullopt;
    }
    DebugSource s;
    s.m_kind = Kind::Map;
    s.m_application = map->pages > 0;
    // Names without a folder are the main source's neighbours.
    fs::path base = sourceFolder;
    if (!map->files.empty() && fs::path(map->files[0]).is_absolute())
        base = fs::path(map->files[0]).parent_path();
    std::error_code ec;
    for (const std::string &name : map->files) {
        std::string found = name;
        for (const fs::path &folder : {base, fs::path(sourceFolder)}) {
            fs::path p(name);
            if (p.is_relative())
                p = folder / p;
            p = p.lexically_normal();
            if (fs::exists(p, ec)) {
                found = p.string();
                break;
            }
        }
        s.m_paths.push_back(found);
    }
    // The map's symbols name addresses where the labels file is missing.
    std::string labels;
    for (const auto &sym : map->symbols)
        if (sym.page >= 0)
            labels += sym.name + " = $" +
                      hex4(std::uint32_t(sym.page) << 16 | std::uint32_t(sym.value & 0xFFFF)) +
                      "\n";
        else if (sym.value >= 0 && sym.value <= 0xFFFF)
            labels += sym.name + " = $" + hex4(std::uint16_t(sym.value)) + "\n";
    s.m_info.readLabels(labels);
    s.m_map = std::move(map);
    return s;
}

std::optional<DebugSource::Place> DebugSource::placeOf(std::uint16_t address, int page) const {
    if (m_map) {
        if (const auto *e = m_map->at(address, page))
            return Place{m_paths[e->at.file], e->at.line};
        return std::nullopt;
    }
    const auto &lines = m_info.lines();
    const std::uint32_t key = run::SourceInfo::key(address, page);
    auto it = lines.upper_bound(key);
    if (it == lines.begin())
        return std::nullopt;
    --it;
    // A listing gives where statements start; one holds at most 4 bytes of code here.
    if (key - it->first > 3)
        return std::nullopt;
    return Place{it->second.file, it->second.line};
}

bool DebugSource::startsStatement(std::uint16_t address, int page) const {
    if (m_map) {
        const auto *e = m_map->at(address, page);
        return e && e->address == address;
    }
    return m_info.lineAt(address, page) != nullptr;
}

std::string DebugSource::lineText(const Place &place) const {
    auto it = m_texts.find(place.file);
    if (it == m_texts.end()) {
        std::vector<std::string> lines;
        if (!m_map) {
            for (const auto &[address, l] : m_info.lines())
                if (l.file == place.file) {
                    if (lines.size() < size_t(l.line))
                        lines.resize(size_t(l.line));
                    lines[size_t(l.line - 1)] = l.text;
                }
        } else if (const auto text = readText(place.file)) {
            base::LineSplitter split(*text);
            std::string_view line;
            while (split.next(&line)) {
                line = line.substr(0, size_t(kLongestLine));
                const size_t start = line.find_first_not_of(" \t");
                lines.emplace_back(start == std::string_view::npos ? std::string_view()
                                                                   : line.substr(start));
            }
        }
        it = m_texts.emplace(place.file, std::move(lines)).first;
    }
    return place.line >= 1 && size_t(place.line) <= it->second.size()
               ? it->second[size_t(place.line - 1)]
               : std::string();
}

std::optional<DebugSource::Bound> DebugSource::bind(const std::string &file, int line) const {
    // The same file when named alike or when both are the same file on disk.
    // A name without a folder, or with part of one, names the file that ends so.
    const bool partial = fs::path(file).is_relative();
    auto same = [&file, partial](const std::string &other) {
        if (other == file)
            return true;
        if (partial && other.size() > file.size() &&
            other.compare(other.size() - file.size(), file.size(), file) == 0 &&
            other[other.size() - file.size() - 1] == '/')
            return true;
        std::error_code error;
        return fs::equivalent(other, file, error);
    };
    std::optional<Bound> best;
    std::uint32_t bestKey = 0;
    // `key`: the address with its page above it (page 0: the address alone).
    auto consider = [&](std::uint32_t key, int at) {
        if (at >= line && (!best || at < best->line || (at == best->line && key < bestKey))) {
            const std::uint16_t address = std::uint16_t(key);
            const bool paged = m_application && address >= 0x4000 && address < 0x8000;
            best = Bound{address, at, paged ? int(key >> 16) : -1};
            bestKey = key;
        }
    };
    if (m_map) {
        std::vector<bool> matches(m_paths.size());
        for (size_t i = 0; i < m_paths.size(); ++i)
            matches[i] = same(m_paths[i]) || same(m_map->files[i]);
        for (const auto &e : m_map->entries)
            if (e.code && matches[e.at.file])
                consider(z80::pagedKey(e.address, e.page), e.at.line);
        return best;
    }
    std::map<std::string, bool> matches;
    for (const auto &[address, l] : m_info.lines()) {
        auto [it, added] = matches.emplace(l.file, false);
        if (added)
            it->second = same(l.file);
        if (it->second)
            consider(address, l.line);
    }
    return best;
}

std::optional<std::uint16_t> DebugSource::label(const std::string &name) const {
    return m_info.label(name);
}

std::optional<DebugSource::Located> DebugSource::located(const std::string &name) const {
    const auto v = m_info.labelValue(name);
    if (!v)
        return std::nullopt;
    const std::uint16_t address = std::uint16_t(*v);
    const bool paged = m_application && address >= 0x4000 && address < 0x8000;
    return Located{address, paged ? int(*v >> 16 & 0xFF) : -1};
}

std::string DebugSource::labelAt(std::uint16_t address, int page) const {
    return m_info.labelAt(address, page);
}

std::vector<std::string> DebugSource::files() const {
    if (m_map)
        return m_paths;
    std::vector<std::string> out;
    for (const auto &[address, l] : m_info.lines())
        if (std::find(out.begin(), out.end(), l.file) == out.end())
            out.push_back(l.file);
    return out;
}

std::function<bool(const run::Machine &)> DebugSource::onPages(const std::set<int> &pages) {
    if (pages.empty() || pages.count(-1))
        return {};
    return [pages](const run::Machine &m) { return pages.count(m.applicationPageAt4000()) > 0; };
}
