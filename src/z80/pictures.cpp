// An included bitmap with spasm-ng's options: ".option BM_MSK, BM_SHD=4" (or
// "#define __BM_MSK") sets them; the picture's bytes go to the sink as .db
// statements, and a label just before the #include names its sizes
// (NAME_WIDTH, NAME_HEIGHT) and, for a map, each image (NAME1, NAME2 ...)
// and their count (NAME_COUNT).

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "bitmap.h"
#include "expr.h"

namespace z80 {
namespace {

Token word(Kind kind, const std::string &text, bool spaced) {
    Token t;
    t.kind = kind;
    t.text = text;
    t.spaced = spaced;
    return t;
}

// The parts of an option's text apart by ',', ';', 'x' or blanks, as
// spasm-ng splits "2x5" and "w,h".
std::vector<std::string> parts(const std::string &text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == ',' || c == ';' || c == 'x' || c == ' ' || c == '\t') {
            if (!out.back().empty())
                out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    if (out.back().empty())
        out.pop_back();
    return out;
}

} // namespace

// ".option NAME[=value], ...": each is the #define __NAME (1 without a value).
void Preprocessor::option(const std::vector<Token> &s, const Origin &at) {
    std::vector<std::vector<Token>> items(1);
    int depth = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        depth += s[i].isOp("(") ? 1 : s[i].isOp(")") ? -1 : 0;
        if (depth == 0 && s[i].isOp(","))
            items.emplace_back();
        else
            items.back().push_back(s[i]);
    }
    for (const auto &item : items) {
        if (item.empty() || item[0].kind != Kind::Name || (item.size() > 1 && !item[1].isOp("="))) {
            m_diag.error(at, ".option takes NAME or NAME=value, apart by commas");
            return;
        }
        Macro m;
        std::string name = item[0].text;
        for (char &c : name)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        m.name = "__" + name;
        m.body = item.size() > 2 ? std::vector<Token>(item.begin() + 2, item.end())
                                 : std::vector<Token>{numberToken(1)};
        m_macros.define(std::move(m));
    }
}

// The text of the option __NAME: a string's bytes, or the #define's text.
std::optional<std::string> Preprocessor::optionText(const std::string &name) const {
    const Macro *m = m_macros.find(name, false);
    if (!m || m->function || m->multiLine)
        return std::nullopt;
    if (m->body.size() == 1 && m->body[0].kind == Kind::String)
        return m->body[0].text;
    return m->body.empty() ? "1" : spell(m->body);
}

// The value of the option __NAME, with spasm-ng's RGB(r, g, b); -1 when it
// is not defined, nothing (and an error) when it has no value.
std::optional<std::int64_t> Preprocessor::optionValue(const std::string &name, const Origin &at) {
    const Macro *m = m_macros.find(name, false);
    if (!m || m->function || m->multiLine)
        return -1;
    std::vector<Token> e = m->body.empty() ? std::vector<Token>{numberToken(1)} : m->body;
    for (size_t i = 0; i + 1 < e.size(); ++i) {
        if (e[i].kind != Kind::Name || lower(e[i].text) != "rgb" || !e[i + 1].isOp("("))
            continue;
        std::vector<std::vector<Token>> args;
        const size_t after = collectArguments(e, i + 1, &args);
        if (after == SIZE_MAX || args.size() != 3) {
            m_diag.error(at, name + ": RGB takes red, green and blue");
            return std::nullopt;
        }
        std::int64_t rgb = 0;
        for (const auto &arg : args) {
            const auto v = valueNow(arg, at, name + " RGB()");
            if (!v)
                return std::nullopt;
            if (*v < 0 || *v > 255) {
                m_diag.error(at, name + ": RGB's red, green and blue are 0 to 255, not " +
                                     std::to_string(*v));
                return std::nullopt;
            }
            rgb = rgb << 8 | *v;
        }
        e.erase(e.begin() + std::ptrdiff_t(i), e.begin() + std::ptrdiff_t(after));
        e.insert(e.begin() + std::ptrdiff_t(i), numberToken(rgb));
    }
    return valueNow(e, at, name);
}

void Preprocessor::picture(const std::string &bytes, const std::string &name, const Origin &at) {
    BitmapOptions o;
    const auto shades = optionValue("__BM_SHD", at), mask = optionValue("__BM_MSK", at),
               first = optionValue("__BM_MSK_1ST", at), invert = optionValue("__BM_MSK_INV", at),
               colour = optionValue("__BM_MSK_RGB", at), dark = optionValue("__BM_INV_RGB", at),
               minWidth = optionValue("__BM_MIN_W", at), header = optionValue("__BM_HDR", at),
               padding = optionValue("__BM_PAD", at);
    if (!shades || !mask || !first || !invert || !colour || !dark || !minWidth || !header ||
        !padding)
        return;
    o.shades = *shades == -1 ? 2 : int(std::clamp<std::int64_t>(*shades, -1, 1000));
    o.mask = *mask == 1;
    o.maskFirst = *first == 1;
    o.maskInverted = *invert == 1;
    o.maskColour = *colour == -1 ? 0x00FF00 : std::uint32_t(*colour);
    o.darkColour = *dark;
    o.minWidth = std::min<std::int64_t>(*minWidth, std::int64_t(kMaxPictureBytes) * 8);
    o.padding = *padding;
    if (*header == 1)
        o.header = parts(optionText("__BM_HDR_FMT").value_or(""));
    const std::optional<std::string> map = optionText("__BM_MAP");
    std::string quiet;
    const bool mapped = map && evaluateNow(lex(*map).tokens, &quiet) != 0;
    if (mapped) {
        for (const std::string &part : parts(*map)) {
            const auto v = valueNow(lex(part).tokens, at, "__BM_MAP");
            if (!v)
                return;
            o.map.push_back(*v);
        }
        if (o.map.empty())
            o.map.push_back(0);
    }

    Picture p;
    std::string error;
    if (!bitmapPicture(bytes, o, &p, &error)) {
        m_diag.error(at, name + " " + error);
        return;
    }
    for (const std::string &w : p.warnings)
        m_diag.warning(at, name + ": " + w);
    size_t total = 0;
    for (const auto &image : p.images)
        total += image.size();
    if (!spend(Budget::What::Tokens, 2 * total, at))
        return;

    const std::optional<std::string> base = m_sink.labelHere();
    const auto equate = [&](const std::string &label, std::int64_t value) {
        m_sink.statement(
            {word(Kind::Name, label, true), word(Kind::Op, "=", true), numberToken(value)}, true,
            at);
    };
    if (base) {
        equate(*base + "_WIDTH", p.width);
        equate(*base + "_HEIGHT", p.height);
    }
    constexpr size_t kPerStatement = 16;
    for (size_t k = 0; k < p.images.size(); ++k) {
        if (mapped && base)
            m_sink.statement(
                {word(Kind::Name, *base + std::to_string(k + 1), true), word(Kind::Op, ":", false)},
                true, at);
        const std::vector<std::uint8_t> &data = p.images[k];
        for (size_t start = 0; start < data.size(); start += kPerStatement) {
            std::vector<Token> s{word(Kind::Dot, ".db", true)};
            for (size_t i = start; i < data.size() && i < start + kPerStatement; ++i) {
                if (i > start)
                    s.push_back(word(Kind::Op, ",", false));
                s.push_back(numberToken(data[i]));
            }
            m_sink.statement(s, false, at);
        }
    }
    if (mapped) {
        if (base)
            equate(*base + "_COUNT", std::int64_t(p.images.size()));
        Macro reset; // a map is for one bitmap
        reset.name = m_macros.find("__BM_MAP", false)->name;
        reset.body = {numberToken(0)};
        m_macros.define(std::move(reset));
    }
}

} // namespace z80
