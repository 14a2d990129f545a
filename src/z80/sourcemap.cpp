#include "sourcemap.h"

#include "vocabulary.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

namespace z80 {
namespace {

constexpr std::string_view kHeader = "qvmap 1";

class Files {
public:
    size_t operator()(const std::string &name) {
        const auto [it, added] = m_index.emplace(name, m_names.size());
        if (added)
            m_names.push_back(name);
        return it->second;
    }
    const std::vector<std::string> &names() const { return m_names; }

private:
    std::unordered_map<std::string, size_t> m_index;
    std::vector<std::string> m_names;
};

std::string place(Files &files, const std::string &file, int line, int column) {
    return std::to_string(files(file)) + ":" + std::to_string(line) + ":" +
           std::to_string(column < 0 ? 0 : column + 1);
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    for (size_t at = 0; at <= line.size();) {
        const size_t blank = std::min(line.find(' ', at), line.size());
        out.push_back(line.substr(at, blank - at));
        at = blank + 1;
    }
    return out;
}

template <class T> bool number(std::string_view text, T *out, int base = 10) {
    const char *end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, *out, base);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

// "F:LINE:COL", or "F:LINE" when `withColumn` is false.
bool parsePlace(std::string_view text, size_t files, SourceMap::Place *out, bool withColumn) {
    const size_t a = text.find(':');
    const size_t b = a == std::string_view::npos ? a : text.find(':', a + 1);
    if (a == std::string_view::npos || (withColumn != (b != std::string_view::npos)))
        return false;
    const std::string_view line = text.substr(a + 1, withColumn ? b - a - 1 : std::string::npos);
    return number(text.substr(0, a), &out->file) && out->file < files && number(line, &out->line) &&
           out->line >= 1 &&
           (!withColumn || (number(text.substr(b + 1), &out->column) && out->column >= 0));
}

// "PP:ADDR": the page is taken off the address's text into *page, where
// the map is an application's (`pages` of them) and the address one of a page.
bool pagedAddress(std::string_view *text, int pages, int *page) {
    const size_t colon = text->find(':');
    if (colon == std::string_view::npos)
        return true;
    std::uint32_t address = 0;
    if (colon != 2 || !number(text->substr(0, 2), page, 16) || *page >= pages ||
        !number(text->substr(3), &address, 16) || address < 0x4000 || address >= 0x8000)
        return false;
    text->remove_prefix(3);
    return true;
}

} // namespace

std::uint64_t mapHash(const std::uint8_t *bytes, size_t size) {
    std::uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

std::string writeMap(const Assembly &a) {
    return writeMap(a, a.bytes);
}

std::string writeMap(const Assembly &a, const std::vector<std::uint8_t> &image) {
    Files files;
    std::string body;
    char address[16];
    for (const Assembly::Piece &p : a.pieces) {
        if (p.size == 0)
            continue;
        if (p.page >= 0)
            std::snprintf(address, sizeof address, "%02X:%04X", unsigned(p.page),
                          unsigned(p.address & 0xFFFF));
        else
            std::snprintf(address, sizeof address, "%04X", unsigned(p.address & 0xFFFF));
        body += std::string(p.code ? "code " : "data ") + address + " " + std::to_string(p.size) +
                " " + std::to_string(p.offset) + " " + place(files, p.at.file, p.at.line, p.column);
        for (const MacroStep *s : macroChain(p.at.macro))
            body += " " + s->macro + " " + std::to_string(files(s->file)) + ":" +
                    std::to_string(s->line);
        body += "\n";
    }
    std::vector<Assembly::Label> labels = a.labels;
    std::stable_sort(labels.begin(), labels.end(),
                     [](const auto &x, const auto &y) { return lower(x.name) < lower(y.name); });
    char page[8];
    for (const Assembly::Label &l : labels) {
        std::snprintf(page, sizeof page, " %02X", unsigned(l.page));
        body += std::string(l.equate ? "equate " : "label ") + l.name + " " +
                std::to_string(l.value) + " " +
                place(files, l.defined.file, l.defined.line, l.column) + (l.page >= 0 ? page : "") +
                "\n";
    }
    std::string out = std::string(kHeader) + "\n";
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016llX",
                  (unsigned long long)mapHash(image.data(), image.size()));
    out += "bytes " + std::to_string(image.size()) + " " + hash + "\n";
    if (a.application)
        out += "pages " + std::to_string((image.size() + kPageSize - 1) / kPageSize) + "\n";
    for (size_t i = 0; i < files.names().size(); ++i)
        out += "file " + std::to_string(i) + " " + files.names()[i] + "\n";
    return out + body;
}

std::optional<SourceMap> readMap(std::string_view text, std::string *error) {
    SourceMap map;
    LineSplitter split(text);
    std::string_view line;
    int n = 0;
    auto fail = [&](const std::string &why) {
        *error = "line " + std::to_string(n) + ": " + why;
        return std::nullopt;
    };
    if (!split.next(&line) || line != kHeader) {
        n = 1;
        return fail("this is not a source map (it does not start with \"qvmap 1\")");
    }
    for (n = 2; split.next(&line); ++n) {
        if (line.empty())
            continue;
        std::vector<std::string_view> f = fields(line);
        if (f[0] == "bytes") {
            std::uint64_t size = 0, hash = 0;
            if (f.size() != 3 || map.size || !number(f[1], &size) || size > kMaxFileSize ||
                f[2].size() != 16 || !number(f[2], &hash, 16))
                return fail("the program's bytes need their count and a 16-digit hash, once");
            map.size = size;
            map.hash = hash;
        } else if (f[0] == "pages") {
            if (f.size() != 2 || map.pages || !map.entries.empty() || !map.symbols.empty() ||
                !number(f[1], &map.pages) || map.pages < 1 || map.pages > 255)
                return fail("an application's pages are counted once, 1 to 255, before its "
                            "statements");
        } else if (f[0] == "file") {
            size_t index = 0;
            if (f.size() < 3 || !number(f[1], &index) || index != map.files.size())
                return fail("a file must be numbered next");
            map.files.emplace_back(line.substr(f[0].size() + f[1].size() + 2));
        } else if (f[0] == "code" || f[0] == "data") {
            SourceMap::Entry e;
            e.code = f[0] == "code";
            if (f.size() > 1 && !pagedAddress(&f[1], map.pages, &e.page))
                return fail("a page (PP:ADDR) is an application's, below its page count, "
                            "at 4000h-7FFFh");
            if (f.size() < 5 || f.size() % 2 == 0 || !number(f[1], &e.address, 16) ||
                e.address > 0xFFFF || !number(f[2], &e.size) || e.size == 0 || e.size > 0x10000 ||
                !number(f[3], &e.offset) || e.offset > kMaxFileSize ||
                !parsePlace(f[4], map.files.size(), &e.at, true))
                return fail("a statement needs an address, a size, an offset and a place");
            for (size_t k = 5; k + 1 < f.size(); k += 2) {
                SourceMap::Place p;
                if (f[k].empty() || !parsePlace(f[k + 1], map.files.size(), &p, false))
                    return fail("a macro call needs a name and a place");
                e.macros.push_back({std::string(f[k]), p.file, p.line});
            }
            map.entries.push_back(std::move(e));
        } else if (f[0] == "label" || f[0] == "equate") {
            SourceMap::Symbol s;
            s.equate = f[0] == "equate";
            if (f.size() < 4 || f.size() > 5 || f[1].empty() || !number(f[2], &s.value) ||
                !parsePlace(f[3], map.files.size(), &s.at, true))
                return fail("a symbol needs a name, a value and a place");
            if (f.size() == 5 &&
                (s.equate || f[4].size() != 2 || !number(f[4], &s.page, 16) || s.page >= map.pages))
                return fail("a label's page is an application's, below its page count");
            s.name = std::string(f[1]);
            map.symbols.push_back(std::move(s));
        } else {
            return fail("unknown entry '" + std::string(f[0].substr(0, 20)) + "'");
        }
    }
    map.index();
    return map;
}

void SourceMap::index() {
    m_byAddress.resize(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        m_byAddress[i] = i;
    std::stable_sort(m_byAddress.begin(), m_byAddress.end(), [this](size_t x, size_t y) {
        return pagedKey(entries[x].address, entries[x].page) <
               pagedKey(entries[y].address, entries[y].page);
    });
}

const SourceMap::Entry *SourceMap::at(std::uint32_t address, int page) const {
    const std::uint32_t key = pagedKey(address, page);
    auto it = std::upper_bound(m_byAddress.begin(), m_byAddress.end(), key,
                               [this](std::uint32_t k, size_t i) {
                                   return k < pagedKey(entries[i].address, entries[i].page);
                               });
    // The nearest statements that start at or below it: one of them holds it.
    for (int tries = 0; it != m_byAddress.begin() && tries < 16; ++tries) {
        const Entry &e = entries[*--it];
        if (key < pagedKey(e.address, e.page) + e.size)
            return &e;
    }
    return nullptr;
}

std::vector<const SourceMap::Entry *> SourceMap::of(const std::string &file, int line) const {
    std::vector<const Entry *> out;
    const auto named = std::find(files.begin(), files.end(), file);
    if (named == files.end())
        return out;
    const size_t index = size_t(named - files.begin());
    for (const Entry &e : entries)
        if (e.at.file == index && e.at.line == line)
            out.push_back(&e);
    return out;
}

} // namespace z80
