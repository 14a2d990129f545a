// Brass's data forms (its manual: directives/struct.htm, enum.htm,
// using.htm, dvar.htm, var.htm, chk.htm, dbsin.htm, dbrnd.htm,
// relocate.htm): structures of variables reached as Me.X, enumerations
// reached as Name.Item, the modules a module uses, data written as a type
// (fixed point, TI's floating point), checksums, trigonometric and random
// tables, and code assembled for another address.

#include "assembler.h"

#include "encoder.h"
#include "expr.h"
#include "operands.h"
#include "vocabulary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace z80 {
namespace {

constexpr size_t kMaxMembers = 4096;       // the labels one structure makes
constexpr size_t kMaxStructLabels = 65536; // the labels all their variables make
constexpr std::int64_t kMaxTable = 65536;  // the entries of a .dbsin or .dbrnd table
constexpr double kPi = 3.14159265358979323846;

// directives/dvar.htm: a TI floating-point number, the sign byte, the
// exponent 80h+E (the value is 0.M x 10^(E+1)... written as d.ddd x 10^E), and
// fourteen digits in packed decimal.
std::vector<std::uint8_t> tiFloat(double v) {
    std::vector<std::uint8_t> out(9, 0);
    out[0] = v < 0 ? 0x80 : 0x00;
    const double a = std::fabs(v);
    if (a == 0) {
        out[1] = 0x80;
        return out;
    }
    char digits[40];
    std::snprintf(digits, sizeof digits, "%.13e", a); // d.ddddddddddddde+XX
    const int exponent = std::atoi(digits + 16);
    out[1] = std::uint8_t(0x80 + exponent);
    std::string mantissa;
    for (const char *c = digits; *c && *c != 'e'; ++c)
        if (isDigit(*c))
            mantissa += *c;
    mantissa.resize(14, '0');
    for (int k = 0; k < 7; ++k)
        out[size_t(2 + k)] = std::uint8_t((mantissa[size_t(2 * k)] - '0') << 4 |
                                          (mantissa[size_t(2 * k + 1)] - '0'));
    return out;
}

} // namespace

std::string realText(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

std::optional<std::int64_t> Assembler::typeOrStructSize(const std::string &word) const {
    if (const int size = brassTypeSize(word))
        return size;
    const auto s = m_structs.find(lower(word));
    if (s != m_structs.end())
        return s->second.size;
    return std::nullopt;
}

// syntax/constants.htm: hexadecimal with an h after it ("ffh", "C6h"):
// Brass reads a word as a number when no label has its name.
std::optional<std::int64_t> Assembler::brassHex(const std::string &l) const {
    if (!m_brass || l.size() < 2 || l.size() > 9 || l.back() != 'h' ||
        l.find_first_not_of("0123456789abcdef") != l.size() - 1)
        return std::nullopt;
    return std::int64_t(std::stoul(l.substr(0, l.size() - 1), nullptr, 16));
}

// directives/org.htm: "The output binary is made up of all the bytes from
// the lowest address ever written to to the highest", so the addresses an
// .org skips between bytes hold the empty fill (directives/binaryfill.htm).
void Assembler::brassGap(std::int64_t to) {
    if (m_pass == 1 || placed() == 0 || to <= m_pc || m_index >= m_lastWriting)
        return;
    for (std::int64_t k = m_pc; k < to; ++k)
        emitByte(std::uint8_t(m_emptyFill));
}

// directives/locallabelchar.htm: ".locallabelchar C" (quotes optional),
// one character, from here on starts a module's own names instead of '_'.
// The kit's names start with a letter or '_', so only those can be chosen.
void Assembler::localLabelChar(const std::vector<Token> &t, size_t begin) {
    m_brass = true;
    const std::string c = t.size() == begin + 1 ? t[begin].text : spell(t, begin);
    if (c.size() != 1) {
        warning("'" + c + "' is not one character: the local label character stays '" +
                std::string(1, m_localChar) + "'");
    } else if (!isNameStart(c[0])) {
        warning("'" + c + "' cannot start a name here (a letter or '_' can): the local label " +
                "character stays '" + std::string(1, m_localChar) + "'");
    } else {
        m_localChar = lowerChar(c[0]); // names are kept in lower case
    }
}

// syntax/constants.htm: in a Brass program "\b" and "\f" are backspace and
// form feed. The first pass read them as letters, one byte each as these
// are, so only the bytes change from the second pass on.
void Assembler::brassEscapes() {
    for (Record &r : m_records)
        for (Token &k : r.tokens) {
            if ((k.kind != Kind::String && k.kind != Kind::Char) || k.bad || k.raw.size() < 2 ||
                k.raw.find('\\') == std::string::npos || k.raw.back() != k.raw[0])
                continue;
            k.text = unescape(std::string_view(k.raw).substr(1, k.raw.size() - 2), true);
            if (k.kind == Kind::Char && k.text.size() == 1)
                k.value = static_cast<unsigned char>(k.text[0]);
        }
}

// Brass's nested modules: each "Parent." at a path's start is the module
// above the one before (the statement's own module first).
std::string Assembler::parentPath(const std::string &l) const {
    std::string module = m_module, rest = l + ".";
    if (rest.compare(0, 7, "parent.") != 0)
        return l;
    while (rest.compare(0, 7, "parent.") == 0) {
        const size_t dot = module.rfind('.');
        module = dot == std::string::npos ? "" : module.substr(0, dot);
        rest.erase(0, 7);
    }
    if (!rest.empty())
        rest.pop_back(); // the '.' added
    return module.empty() ? rest : rest.empty() ? module : module + "." + rest;
}

std::unordered_map<std::string, Assembler::Symbol>::const_iterator
Assembler::brassFind(const std::string &name) const {
    const std::string l = parentPath(lower(name));
    std::vector<std::string> keys;
    if (!m_module.empty())
        keys.push_back(m_module + "." + l);
    keys.push_back(l);
    if (const auto used = m_using.find(m_module); used != m_using.end())
        for (const std::string &u : used->second)
            keys.push_back(u + "." + l);
    for (const std::string &k : keys)
        if (const auto it = m_symbols.find(k); it != m_symbols.end())
            return it;
    return m_symbols.end();
}

bool Assembler::brassIndentedLabel(const std::vector<Token> &t) const {
    if (!m_brass || t.empty() || isMnemonic(t[0].text) || m_added.count(lower(t[0].text)))
        return false;
    return t.size() == 1 || (t[1].kind == Kind::Name && isMnemonic(t[1].text)) ||
           t[1].kind == Kind::Dot;
}

void Assembler::defineKeyed(const std::string &k, const std::string &name, std::int64_t value) {
    auto it = m_symbols.find(k);
    if (m_pass == 1) {
        if (it != m_symbols.end()) {
            error("'" + name + "' is already defined at " + it->second.at.file + ":" +
                      std::to_string(it->second.at.line),
                  true);
            return;
        }
        m_symbols.emplace(
            k, Symbol{name, value, m_at, m_index, false, !m_unknown, -1, true, SIZE_MAX});
        return;
    }
    if (it == m_symbols.end() || it->second.statement != m_index)
        return;
    if (it->second.value != value)
        m_changed = true;
    it->second.value = value;
}

bool Assembler::brassTypes(const std::string &key, const std::vector<Token> &t, size_t i) {
    if (key == "struct") {
        m_brass = true;
        if (!m_declaring.empty()) {
            error("a .struct cannot stand inside another (.endstruct ends '" + m_declaring + "')",
                  true);
            return true;
        }
        if (t.size() != i + 2 || t[i + 1].kind != Kind::Name) {
            error(".struct takes a name: .struct Point2D", true);
            return true;
        }
        m_declaring = lower(t[i + 1].text);
        if (m_pass == 1 && !m_structs.emplace(m_declaring, Struct{}).second)
            error("the structure '" + t[i + 1].text + "' is already defined", true);
    } else if (key == "endstruct") {
        if (m_declaring.empty())
            error(".endstruct without a .struct before it", true);
        m_declaring.clear();
    } else if (key == "enum") {
        m_brass = true;
        enumeration(t, i + 1);
    } else if (key == "using") {
        m_brass = true;
        if (t.size() != i + 2 || t[i + 1].kind != Kind::Name) {
            error(".using takes a module's name: .using Main", true);
            return true;
        }
        if (m_module.empty()) {
            error(".using stands inside a module (.module NAME before it)", true);
            return true;
        }
        std::vector<std::string> &used = m_using[m_module];
        const std::string name = parentPath(lower(t[i + 1].text));
        if (std::find(used.begin(), used.end(), name) == used.end())
            used.push_back(name);
    } else if (key == "dvar") {
        m_brass = true;
        typedData(t, i + 1);
    } else if (key == "chk") {
        checksum(t, i + 1);
    } else if (key == "dbsin" || key == "dbcos" || key == "dbtan" || key == "dwsin" ||
               key == "dwcos" || key == "dwtan" || key == "dbrnd" || key == "dwrnd") {
        m_brass = true;
        trigTable(key, t, i + 1);
    } else if (key == "relocate") {
        m_brass = true;
        const auto to = value(t, i + 1, t.size());
        m_relocation = to ? *to - m_pc : 0;
    } else if (key == "endrelocate") {
        m_relocation = 0;
    } else if (key == "binaryfill" || key == "emptyfill") {
        // directives/binaryfill.htm: the value of the bytes no statement writes.
        m_brass = true;
        m_emptyFill = value(t, i + 1, t.size()).value_or(0xFF) & 0xFF;
    } else if (key == "binaryrange") {
        // directives/binaryrange.htm promises a fixed span, but Brass's own
        // Assembler.cs only warns that the directive is deprecated: the
        // binaries Brass wrote span the bytes written, and so do the kit's.
        m_brass = true;
        warning(".binaryrange is deprecated in Brass and changes nothing: the binary spans "
                "the bytes written");
    } else if (key == "unsquish" || key == "squish") {
        // directives/unsquish.htm: each byte after .unsquish is written as
        // the two characters of its hex value ($3F as '3', 'F', Brass's
        // Binaries.cs: upper case) while addresses still count one byte;
        // .squish writes bytes again.
        m_brass = true;
        m_unsquish = key == "unsquish";
        m_unsquished = m_unsquished || m_unsquish;
    } else if (key == "locallabelchar") {
        localLabelChar(t, i + 1);
    } else if (key == "breakpoint" || key == "endexport" || key == "signkey") {
        // Debugging and export information, which the kit does not write.
        m_brass = true;
    } else {
        return false;
    }
    return true;
}

// A member of the structure being declared: its own labels at its offset,
// and a member structure's labels below its name.
void Assembler::structMember(const std::string &type, std::int64_t count, const std::string &name,
                             std::int64_t size) {
    if (m_pass != 1)
        return;
    Struct &s = m_structs[m_declaring];
    const std::string member = lower(name);
    if (type == m_declaring) {
        error("the structure '" + name + "' cannot hold itself: its size would have no end", true);
        return;
    }
    const auto inner = type.empty() ? m_structs.end() : m_structs.find(type);
    const size_t adds = 1 + (inner == m_structs.end() ? 0 : inner->second.members.size());
    const std::int64_t offset = s.size;
    s.size += size * count;
    if (s.members.size() + adds > kMaxMembers) { // said once, and no more copied
        if (!std::exchange(s.full, true))
            error("the structure '" + m_declaring + "' has more than " +
                      std::to_string(kMaxMembers) + " labels",
                  true);
        s.members.resize(kMaxMembers);
        return;
    }
    s.members.emplace_back(member, offset);
    if (inner != m_structs.end())
        for (const auto &[path, at] : inner->second.members)
            s.members.emplace_back(member + "." + path, offset + at);
}

// A variable of a structure's type: Me, then Me.X, Me.P.Y ...
void Assembler::structLabels(const std::string &type, const std::string &name, std::int64_t at) {
    const auto s = m_structs.find(type);
    if (s == m_structs.end())
        return;
    // The labels all structures' variables make in a build are bounded.
    if (m_pass == 1) {
        m_structLabels += s->second.members.size();
        if (m_structLabels > kMaxStructLabels) {
            if (m_structLabels - s->second.members.size() <= kMaxStructLabels)
                error("the structures' variables make more than " +
                          std::to_string(kMaxStructLabels) + " labels",
                      true);
            return;
        }
    }
    const std::string base = key(name);
    for (const auto &[path, offset] : s->second.members)
        defineKeyed(base + "." + path, name + "." + path, at + offset);
}

// directives/enum.htm: ".enum Name, A, B = 2, C": Name.A ... each a value of
// its own; a name without one takes the lowest number no other name has.
void Assembler::enumeration(const std::vector<Token> &t, size_t begin) {
    const auto parts = items(t, begin, t.size());
    if (parts.size() < 2 || parts[0].second != parts[0].first + 1 ||
        t[parts[0].first].kind != Kind::Name) {
        error(".enum takes a name and its items: .enum Colour, Red, Green, Blue = 4", true);
        return;
    }
    const std::string base = key(t[parts[0].first].text);
    std::vector<std::pair<std::string, std::optional<std::int64_t>>> named;
    std::set<std::int64_t> used;
    for (size_t k = 1; k < parts.size(); ++k) {
        const auto [b, e] = parts[k];
        if (b >= e || t[b].kind != Kind::Name ||
            (e > b + 1 && (!t[b + 1].isOp("=") || e == b + 2))) {
            error("'" + spell(t, b, e) +
                      "' is not an item of an enumeration (NAME or NAME = value)",
                  true);
            return;
        }
        std::optional<std::int64_t> v;
        if (e > b + 1) {
            v = value(t, b + 2, e).value_or(0);
            used.insert(*v);
        }
        named.emplace_back(t[b].text, v);
    }
    std::int64_t next = 0;
    for (auto &[name, v] : named) {
        if (!v) {
            while (used.count(next))
                ++next;
            v = next;
            used.insert(next);
        }
        defineKeyed(base + "." + lower(name), t[parts[0].first].text + "." + name, *v);
    }
}

// directives/dvar.htm: ".dvar TYPE, VALUE, ..." each value in the type's bytes.
void Assembler::typedData(const std::vector<Token> &t, size_t begin) {
    const auto parts = items(t, begin, t.size());
    if (parts.size() < 2 || parts[0].second != parts[0].first + 1 ||
        t[parts[0].first].kind != Kind::Name || brassTypeSize(t[parts[0].first].text) == 0) {
        error(".dvar takes a type (byte, word, int, fp8.8, tifloat ...) and values", true);
        return;
    }
    const std::string type = lower(t[parts[0].first].text);
    const int size = brassTypeSize(type);
    for (size_t k = 1; k < parts.size(); ++k) {
        const std::int64_t whole = value(t, parts[k].first, parts[k].second).value_or(0);
        const double v = m_fraction.value_or(double(whole));
        if (type == "tifloat") {
            for (std::uint8_t b : tiFloat(v))
                emitByte(b);
            continue;
        }
        const double cast = brassCast(type, v).value_or(0);
        const auto bits = std::uint64_t(std::int64_t(cast));
        for (int b = 0; b < size; ++b)
            emitByte(std::uint8_t(bits >> (8 * b)));
    }
}

// directives/chk.htm: the low byte of the sum of the bytes from the label
// to here.
void Assembler::checksum(const std::vector<Token> &t, size_t begin) {
    const std::int64_t from = value(t, begin, t.size()).value_or(0);
    std::uint8_t sum = 0;
    if (m_pass > 1) {
        if (from > m_start)
            error(".chk " + spell(t, begin) + ": the label is after the .chk");
        if (m_unsquished) // what is written there is hex digits, not the bytes
            error(".chk after .unsquish: the kit sums only bytes written as bytes");
        for (const Assembly::Piece &p : m_pieces)
            for (size_t k = 0; k < p.size; ++k)
                if (p.address + k >= std::uint64_t(from) && p.address + k < std::uint64_t(m_start))
                    sum = std::uint8_t(sum + m_out[p.offset + k]);
    }
    emitByte(sum);
}

// directives/dbsin.htm: ".dbsin CIRCLE, AMPLITUDE, FROM, TO, STEP, OFFSET",
// each angle (a whole number) as OFFSET + AMPLITUDE * sin(angle/CIRCLE*2pi),
// rounded half to even; directives/dbrnd.htm: ".dbrnd COUNT, MIN, MAX",
// numbers from MIN up to (not including) MAX, the same in every build.
void Assembler::trigTable(const std::string &key, const std::vector<Token> &t, size_t begin) {
    const auto parts = items(t, begin, t.size());
    const bool random = key.compare(2, 3, "rnd") == 0;
    const int width = key[1] == 'w' ? 2 : 1;
    if (parts.size() != (random ? 3u : 6u)) {
        error("." + key +
                  (random ? " takes a count, a least and a greatest value"
                          : " takes a circle, an amplitude, a first and last angle, a "
                            "step and an offset"),
              true);
        return;
    }
    std::vector<double> a;
    for (const auto &[b, e] : parts) {
        const std::int64_t whole = value(t, b, e).value_or(0);
        a.push_back(m_fraction.value_or(double(whole)));
    }
    std::vector<std::int64_t> out;
    if (random) {
        const auto count = std::int64_t(a[0]), low = std::int64_t(a[1]), high = std::int64_t(a[2]);
        if (count < 0 || count > kMaxTable || low > high) {
            error("." + key + ": the count is 0 to " + std::to_string(kMaxTable) +
                      " and the least value not above the greatest",
                  true);
            return;
        }
        std::uint32_t seed = 0x2545F491u ^ std::uint32_t(m_index);
        for (std::int64_t k = 0; k < count; ++k) {
            seed = seed * 1664525u + 1013904223u;
            out.push_back(
                high == low ? low : low + std::int64_t((seed >> 8) % std::uint32_t(high - low)));
        }
    } else {
        const double circle = a[0], amplitude = a[1], from = a[2], to = a[3], step = a[4],
                     offset = a[5];
        if (step == 0 || circle == 0 || (step < 0 && to > from) || (step > 0 && to < from) ||
            std::fabs((to - from) / step) >= double(kMaxTable)) {
            error("." + key +
                      ": the circle and step are not 0, the step goes from the first "
                      "angle to the last, in at most " +
                      std::to_string(kMaxTable) + " steps",
                  true);
            return;
        }
        for (double angle = from; step > 0 ? angle <= to : angle >= to; angle += step) {
            const double radians = double(std::int64_t(angle)) / circle * kPi * 2;
            const double f = key[2] == 's'   ? std::sin(radians)
                             : key[2] == 'c' ? std::cos(radians)
                                             : std::tan(radians);
            const double v = std::nearbyint(offset + f * amplitude);
            out.push_back(std::isfinite(v) && std::fabs(v) < 2e9 ? std::int64_t(v) : 0);
        }
    }
    for (std::int64_t v : out)
        for (int b = 0; b < width; ++b)
            emitByte(std::uint8_t(std::uint64_t(v) >> (8 * b)));
}

} // namespace z80
