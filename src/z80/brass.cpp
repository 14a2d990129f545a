// Brass's dialect in the assembler (its manual: "Reusable labels",
// "Variables in label names", .var/.varloc, .echoln, .fill, .align, .fail,
// .warn, .binarymode): the labels "-:", "--:", "+:", "@" reached as {-},
// {--}, {+}, {@}, {2@}; a value in braces inside a name (_loop_{i}); named
// variables placed into areas of free memory; and, once any form only Brass
// reads is met, values computed in Brass's operator order (1+2*3 is 7).

#include "assembler.h"

#include "encoder.h"
#include "expr.h"
#include "operands.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {
namespace {

constexpr std::int64_t kNoArea = -2, kNoRoom = -1; // where a variable could not go
constexpr std::uint64_t kMaxAsciiMapped = 65536;   // characters .asciimap maps in a pass

} // namespace

// "-:", "--", "+:", "@": a reusable label of Brass's at the statement's
// start (a "+" in the first column may have the statement after it); defines it and returns how
// many tokens it took (0: none).
size_t Assembler::brassLabel(const std::vector<Token> &t, bool columnOne) {
    if (t.empty())
        return 0;
    std::string family;
    size_t k = 0;
    if (t[0].isOp("+") || t[0].isOp("-")) {
        while (k < t.size() && t[k].isOp(t[0].text) && (k == 0 || !t[k].spaced))
            ++k;
        family.assign(k, t[0].text[0]);
    } else if (t[0].is(Kind::Name, "@")) {
        family = "@";
        k = 1;
    }
    // Alone, before ':', or before the statement (in the first column, or
    // indented before an instruction: "\t+\tld hl,table").
    if (family.empty() ||
        (k < t.size() && !t[k].isOp(":") &&
         !(t[k].spaced && t[k].kind == Kind::Name && (columnOne || isMnemonic(t[k].text)))))
        return 0;
    m_brass = true;
    Family &f = m_families[family];
    if (m_pass == 1) {
        f.statements.push_back(m_index);
        f.at.push_back(m_start);
    } else if (f.seen < f.at.size()) {
        if (f.at[f.seen] != m_start)
            m_changed = true;
        f.at[f.seen] = m_start;
    }
    ++f.seen;
    return k < t.size() && t[k].isOp(":") ? k + 1 : k;
}

// {-} is the nearest "-" label behind (on this statement too), {+} the
// nearest "+" ahead; {2@} the second bookmark ahead, {-1@} the last behind.
std::optional<std::int64_t> Assembler::brassReusable(const Expr &e, std::string *why) {
    const auto it = m_families.find(e.name);
    if (it != m_families.end()) {
        const Family &f = it->second;
        std::int64_t seen = 0;
        if (e.value < 0) {
            for (size_t k = f.statements.size(); k-- > 0;)
                if (f.statements[k] <= m_index && --seen == e.value)
                    return f.at[k];
        } else {
            for (size_t k = 0; k < f.statements.size(); ++k)
                if (f.statements[k] > m_index && ++seen == e.value)
                    return f.at[k];
        }
    }
    if (m_pass == 1) {
        m_unknown = true;
        return 0;
    }
    const std::string label = e.name == "@" ? "@" : e.name + ":";
    *why = "there is no reusable label '" + label + "' " + (e.value < 0 ? "behind" : "ahead") +
           (e.name == "@" && (e.value > 1 || e.value < -1) ? " that far" : "");
    return std::nullopt;
}

// "_loop_{i}": each value in braces written in decimal.
std::string Assembler::expandBraces(const std::string &name) {
    std::string out;
    for (size_t k = 0; k < name.size(); ++k) {
        if (name[k] != '{') {
            out += name[k];
            continue;
        }
        const size_t close = name.find('}', k);
        if (close == std::string::npos)
            return name;
        const std::vector<Token> inner = lex(name.substr(k + 1, close - k - 1)).tokens;
        out += std::to_string(value(inner, 0, inner.size()).value_or(0));
        k = close;
    }
    return out;
}

// functions/sizeof.htm: "sizeof(TYPE|VARIABLE)" is the size of a type or
// of a .var, replaced by its number before the value is read.
bool Assembler::sizeofs(std::vector<Token> &t) {
    bool any = false;
    for (size_t k = 0; k + 3 < t.size(); ++k) {
        if (t[k].kind != Kind::Name || !sameWord(t[k].text, "sizeof") || !t[k + 1].isOp("(") ||
            t[k + 2].kind != Kind::Name || !t[k + 3].isOp(")"))
            continue;
        std::optional<std::int64_t> size = typeOrStructSize(t[k + 2].text);
        for (const Variable &v : m_variables)
            if (!size && lower(v.name) == lower(t[k + 2].text))
                size = v.size;
        if (!size)
            continue;
        t[k].kind = Kind::Number;
        t[k].value = *size;
        t[k].text = std::to_string(*size);
        t.erase(t.begin() + std::ptrdiff_t(k + 1), t.begin() + std::ptrdiff_t(k + 4));
        any = true;
    }
    return any;
}

bool Assembler::brassDirective(const std::string &key, const std::vector<Token> &t, size_t i) {
    // The kit writes the .8xp itself and exports no label files; .pvar only
    // gives an existing label a type.
    static const std::set<std::string> ignored = {"binarymode",     "nestmodules", "variablename",
                                                  "tivariabletype", "tiarchived",  "pvar",
                                                  "exportmode"};
    if (brassApplication(key, t, i))
        return true;
    if (ignored.count(key)) {
        m_brass = true;
        return true;
    }
    if (key == "echoln") {
        m_brass = true;
        echo(t, i + 1);
    } else if (key == "fail" || key == "warn") {
        std::string text;
        for (const auto &[b, e] : items(t, i + 1, t.size())) {
            if (e == b + 1 && t[b].kind == Kind::String)
                text += t[b].text;
            else if (const auto v = value(t, b, e))
                text += std::to_string(*v);
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (key == "fail")
            error(text.empty() ? ".fail" : text);
        else
            warning(text.empty() ? ".warn" : text);
    } else if (key == "fill" || key == "fillw") {
        // Brass fills with FFh unless told (.ds fills with 0).
        const auto parts = items(t, i + 1, t.size());
        if (parts.empty() || parts.size() > 2) {
            error("." + key + " takes a count and perhaps a value", true);
            return true;
        }
        const std::int64_t count = value(t, parts[0].first, parts[0].second).value_or(0);
        const std::int64_t fill = parts.size() == 2
                                      ? value(t, parts[1].first, parts[1].second).value_or(0)
                                      : (key == "fill" ? 0xFF : 0xFFFF);
        if (count < 0 || count > 0x10000) {
            error("the size " + std::to_string(count) + " is outside 0..65536");
            return true;
        }
        for (std::int64_t k = 0; k < count; ++k)
            emitValue(fill, key == "fill" ? 1 : 2, false);
    } else if (key == "align") {
        const std::int64_t boundary = value(t, i + 1, t.size()).value_or(1);
        if (boundary < 1 || boundary > 0x10000) {
            error(".align " + std::to_string(boundary) + ": the boundary is 1 to 65536");
            return true;
        }
        // Brass moves the address; the bytes skipped hold its empty fill.
        while (m_pc % boundary != 0)
            emitByte(std::uint8_t(m_emptyFill));
    } else if (key == "asciimap") {
        asciiMap(t, i + 1);
    } else if (key == "asc") {
        m_brass = true;
        for (const auto &[b, e] : items(t, i + 1, t.size())) {
            if (e == b + 1 && t[b].kind == Kind::String) {
                const std::string &text = t[b].text;
                for (size_t k = 0; k < text.size();) { // each character, through the map
                    size_t n = 1;
                    while (k + n < text.size() && n < 4 &&
                           (static_cast<unsigned char>(text[k + n]) & 0xC0) == 0x80)
                        ++n;
                    std::int64_t c = oneCodePoint(text.substr(k, n));
                    if (c < 0) {
                        c = static_cast<unsigned char>(text[k]);
                        n = 1;
                    }
                    const auto mapped = m_asciiMap.find(c);
                    emitByte(std::uint8_t(mapped != m_asciiMap.end() ? mapped->second : c));
                    k += n;
                }
            } else {
                emitValue(value(t, b, e).value_or(0), 1, true);
            }
        }
    } else if (key == "varloc") {
        m_brass = true;
        const auto parts = items(t, i + 1, t.size());
        if (parts.size() != 2) {
            error(".varloc takes an address and a size: .varloc saveSScreen, 768", true);
            return true;
        }
        m_areas.push_back({value(t, parts[0].first, parts[0].second).value_or(0),
                           value(t, parts[1].first, parts[1].second).value_or(0)});
    } else if (key == "var" || key == "tvar" || key == "tempvar") {
        m_brass = true;
        variable(t, i + 1);
    } else if (!brassTypes(key, t, i)) {
        return false;
    }
    return true;
}

// ".var SIZE|TYPE[COUNT], NAME": a label for a variable that the
// assembler places into the .varloc areas.
void Assembler::variable(const std::vector<Token> &t, size_t begin) {
    const auto parts = items(t, begin, t.size());
    if (parts.size() != 2 || parts[1].second != parts[1].first + 1 ||
        t[parts[1].first].kind != Kind::Name) {
        error(".var takes a size or type and a name: .var byte, score", true);
        return;
    }
    size_t typeEnd = parts[0].second;
    std::int64_t count = 1;
    if (typeEnd > parts[0].first + 1 && t[typeEnd - 1].isOp("]")) {
        size_t open = typeEnd - 1;
        while (open > parts[0].first && !t[open].isOp("["))
            --open;
        count = value(t, open + 1, typeEnd - 1).value_or(1);
        typeEnd = open;
    }
    std::optional<std::int64_t> size;
    std::string type; // a structure's name
    if (typeEnd == parts[0].first + 1 && t[parts[0].first].kind == Kind::Name) {
        size = typeOrStructSize(t[parts[0].first].text);
        if (m_structs.count(lower(t[parts[0].first].text)))
            type = lower(t[parts[0].first].text);
    }
    if (!size)
        size = value(t, parts[0].first, typeEnd);
    const std::string &name = t[parts[1].first].text;
    if (count < 0 || size.value_or(0) < 0 || size.value_or(0) * count > 0x10000) {
        error(".var '" + name + "' would be " + std::to_string(size.value_or(0) * count) +
                  " bytes; a variable is 0 to 65536",
              true);
        return;
    }
    if (!m_declaring.empty()) { // directives/struct.htm: a member of the structure
        structMember(type, count, name, size.value_or(0));
        return;
    }
    if (m_pass == 1) {
        m_variables.push_back({name, size.value_or(0) * count, m_index, type});
        m_unknown = true;
        define(name, 0, false);
        structLabels(type, name, 0);
        return;
    }
    const auto placed = m_varPlaced.find(m_index);
    if (placed == m_varPlaced.end())
        return;
    if (placed->second < 0) {
        error(placed->second == kNoArea
                  ? "'" + name + "' needs a place: no .varloc gives the variables an area"
                  : "the .varloc areas have no room left for '" + name + "' (" +
                        std::to_string(size.value_or(0) * count) + " bytes)");
        return;
    }
    define(name, placed->second, false);
    structLabels(type, name, placed->second);
}

// directives/asciimap.htm: ".asciimap FROM, [TO,] RULE", RULE a value in
// which {*} is each character of the range, maps the characters .asc writes.
void Assembler::asciiMap(const std::vector<Token> &t, size_t begin) {
    m_brass = true;
    const auto parts = items(t, begin, t.size());
    if (parts.size() != 2 && parts.size() != 3) {
        error(".asciimap takes a character, perhaps a last one, and a rule", true);
        return;
    }
    const std::int64_t from = value(t, parts[0].first, parts[0].second).value_or(0);
    const std::int64_t to =
        parts.size() == 3 ? value(t, parts[1].first, parts[1].second).value_or(from) : from;
    // A range is at most 256 characters (Brass's examples map bytes); each is
    // a value computed, in every pass.
    if (to < from || to - from > 0xFF) {
        error(".asciimap maps at most 256 characters at once, from the first to the last", true);
        return;
    }
    // The characters a pass maps, all .asciimap lines together, are bounded.
    m_asciiMapped += std::uint64_t(to - from + 1);
    if (m_asciiMapped > kMaxAsciiMapped) {
        if (m_asciiMapped - std::uint64_t(to - from + 1) <= kMaxAsciiMapped)
            error(".asciimap maps more than " + std::to_string(kMaxAsciiMapped) +
                      " characters in all (is it in a long loop?)",
                  true);
        return;
    }
    std::vector<Token> rule(t.begin() + std::ptrdiff_t(parts.back().first),
                            t.begin() + std::ptrdiff_t(parts.back().second));
    for (std::int64_t c = from; c <= to; ++c) {
        std::vector<Token> x = rule;
        for (Token &k : x)
            if (k.is(Kind::Name, "{*}")) {
                k.kind = Kind::Number;
                k.value = c;
                k.text = std::to_string(c);
            }
        m_asciiMap[c] = value(x, 0, x.size()).value_or(c) & 0xFF;
    }
}

void Assembler::startBrassPass() {
    m_page = -1;
    m_pageStart = 0;
    m_asciiMap.clear();
    m_asciiMapped = 0;
    for (auto &[name, family] : m_families)
        family.seen = 0;
    m_areas.clear();
    m_declaring.clear();
    m_relocation = 0;
    m_emptyFill = 0xFF;
}

// Brass's placing: the largest variable first (declaration order among
// equals), each into the area with the most room left.
void Assembler::placeVariables() {
    std::vector<const Variable *> order;
    for (const Variable &v : m_variables)
        order.push_back(&v);
    std::stable_sort(order.begin(), order.end(),
                     [](const Variable *a, const Variable *b) { return a->size > b->size; });
    std::vector<Area> room = m_areas;
    std::map<size_t, std::int64_t> placed;
    for (const Variable *v : order) {
        std::stable_sort(room.begin(), room.end(),
                         [](const Area &a, const Area &b) { return a.size > b.size; });
        if (room.empty() || room.front().size < v->size) {
            placed[v->statement] = room.empty() ? kNoArea : kNoRoom;
            continue;
        }
        placed[v->statement] = room.front().address;
        room.front().address += v->size;
        room.front().size -= v->size;
    }
    if (m_pass > 1 && placed != m_varPlaced)
        m_changed = true;
    m_varPlaced = std::move(placed);
}

} // namespace z80
