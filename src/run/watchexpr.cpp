#include "run/watchexpr.h"

#include "z80/expr.h"
#include "z80/lexer.h"

#include "z80/vocabulary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unordered_map>
#include <vector>

namespace run {

struct WatchExpr::Compiled {
    struct Read {
        z80::ExprPtr expr;
        int width; // 1: (x), 2: {x}
    };
    std::vector<Read> reads; // named kReadName + index in the rewritten text
    z80::ExprPtr top;
    std::unordered_map<std::string, std::uint16_t> labels;
};

namespace {

using z80::lower; // ASCII only, whatever the locale the editor set

constexpr size_t kMaxText = 4096;
const std::string kReadName = "__qv_read_";

std::optional<std::int64_t> registerValue(const std::string &name, const Machine &m) {
    struct Part {
        const char *name;
        Reg reg;
        int shift; // 8: the high byte, 0: the low byte, -1: the pair
    };
    static const Part kParts[] = {
        {"a", Reg::AF, 8},   {"f", Reg::AF, 0},   {"b", Reg::BC, 8},   {"c", Reg::BC, 0},
        {"d", Reg::DE, 8},   {"e", Reg::DE, 0},   {"h", Reg::HL, 8},   {"l", Reg::HL, 0},
        {"ixh", Reg::IX, 8}, {"ixl", Reg::IX, 0}, {"iyh", Reg::IY, 8}, {"iyl", Reg::IY, 0},
        {"af", Reg::AF, -1}, {"bc", Reg::BC, -1}, {"de", Reg::DE, -1}, {"hl", Reg::HL, -1},
        {"ix", Reg::IX, -1}, {"iy", Reg::IY, -1}, {"sp", Reg::SP, -1}, {"pc", Reg::PC, -1}};
    for (const Part &p : kParts)
        if (name == p.name) {
            const std::uint16_t v = m.reg(p.reg);
            return p.shift < 0 ? v : (v >> p.shift) & 0xFF;
        }
    return std::nullopt;
}

// The flags by the names jp's conditions give them; `cy` is the carry set.
std::optional<std::int64_t> flagValue(const std::string &name, const Machine &m) {
    static const struct {
        const char *name;
        int bit;
        bool set;
    } kFlags[] = {{"z", 6, true},  {"nz", 6, false}, {"cy", 0, true}, {"nc", 0, false},
                  {"pe", 2, true}, {"po", 2, false}, {"m", 7, true},  {"p", 7, false}};
    for (const auto &f : kFlags)
        if (name == f.name)
            return ((m.reg(Reg::AF) >> f.bit & 1) != 0) == f.set ? 1 : 0;
    return std::nullopt;
}

bool isName(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Reads `text` from `i` up to `close` (0: its end), putting each (x) and {x}
// into `c.reads` and a name for it in its place; `<>` becomes `!=`.
class Rewriter {
public:
    Rewriter(std::string_view text, WatchExpr::Compiled &c) : m_text(text), m_c(c) {}

    std::optional<std::string> rewrite(char close, int depth, std::string *error) {
        if (depth > z80::kMaxExpressionDepth) {
            *error = "the expression nests deeper than " +
                     std::to_string(z80::kMaxExpressionDepth) + " levels";
            return std::nullopt;
        }
        std::string out;
        while (m_i < m_text.size()) {
            const char ch = m_text[m_i];
            if (ch == close) {
                ++m_i;
                return out;
            }
            if (ch == ')' || ch == '}') {
                *error = std::string("a '") + ch + "' closes nothing";
                return std::nullopt;
            }
            if (ch == '(' || ch == '{') {
                ++m_i;
                const auto inner = rewrite(ch == '(' ? ')' : '}', depth + 1, error);
                if (!inner)
                    return std::nullopt;
                auto e = parseText(*inner, error);
                if (!e)
                    return std::nullopt;
                m_c.reads.push_back({std::move(e), ch == '(' ? 1 : 2});
                out += ' ' + kReadName + std::to_string(m_c.reads.size() - 1) + ' ';
                continue;
            }
            if ((ch == '"' || ch == '\'') && !(ch == '\'' && m_i > 0 && isName(m_text[m_i - 1]))) {
                const size_t start = m_i++;
                while (m_i < m_text.size() && m_text[m_i] != ch)
                    m_i += m_text[m_i] == '\\' ? 2 : 1;
                m_i = std::min(m_i + 1, m_text.size());
                out += m_text.substr(start, m_i - start);
                continue;
            }
            if (ch == '<' && m_i + 1 < m_text.size() && m_text[m_i + 1] == '>') {
                out += "!=";
                m_i += 2;
                continue;
            }
            out += ch;
            ++m_i;
        }
        if (close) {
            *error = std::string("a '") + (close == ')' ? '(' : '{') + "' is not closed";
            return std::nullopt;
        }
        return out;
    }

    static z80::ExprPtr parseText(const std::string &text, std::string *error) {
        const z80::LexedLine line = z80::lex(text);
        if (!line.error.empty()) {
            *error = line.error;
            return nullptr;
        }
        if (line.tokens.empty()) {
            *error = "an expression is empty";
            return nullptr;
        }
        return z80::parseExpression(line.tokens, 0, line.tokens.size(), error, true);
    }

private:
    std::string_view m_text;
    size_t m_i = 0;
    WatchExpr::Compiled &m_c;
};

bool isRead(const std::string &name) {
    return name.compare(0, kReadName.size(), kReadName) == 0;
}

// Every name of the tree is a register, a flag, a read or a label (kept).
bool resolveNames(const z80::Expr &e, const LabelLookup &labels, WatchExpr::Compiled &c,
                  std::string *error) {
    if (e.kind == z80::Expr::Kind::Reusable) {
        *error = "a reusable label has no value here";
        return false;
    }
    if (e.kind == z80::Expr::Kind::Page) {
        *error = "a page (Brass's ':name') has no value here";
        return false;
    }
    if (e.kind == z80::Expr::Kind::Symbol && !isRead(e.name)) {
        const std::string low = lower(e.name);
        static const char *const kReserved[] = {
            "a",  "f",  "b",  "c",  "d",  "e",  "h", "l",  "ixh", "ixl", "iyh", "iyl", "af", "bc",
            "de", "hl", "ix", "iy", "sp", "pc", "z", "nz", "cy",  "nc",  "pe",  "po",  "m",  "p"};
        const bool reserved =
            std::find_if(std::begin(kReserved), std::end(kReserved),
                         [&](const char *r) { return low == r; }) != std::end(kReserved);
        if (!reserved) {
            const auto v = labels ? labels(e.name) : std::nullopt;
            if (!v) {
                *error = "'" + e.name + "' is not a register, a flag or a label of the program";
                return false;
            }
            c.labels[e.name] = *v;
        }
    }
    for (const z80::ExprPtr *child : {&e.left, &e.right, &e.third})
        if (*child && !resolveNames(**child, labels, c, error))
            return false;
    return true;
}

} // namespace

std::optional<WatchExpr> WatchExpr::parse(const std::string &text, const LabelLookup &labels,
                                          std::string *error) {
    if (text.size() > kMaxText) {
        *error = "the expression is longer than " + std::to_string(kMaxText) + " characters";
        return std::nullopt;
    }
    auto c = std::make_shared<Compiled>();
    Rewriter r(text, *c);
    const auto top = r.rewrite(0, 0, error);
    if (!top)
        return std::nullopt;
    c->top = Rewriter::parseText(*top, error);
    if (!c->top || !resolveNames(*c->top, labels, *c, error))
        return std::nullopt;
    for (const Compiled::Read &read : c->reads)
        if (!resolveNames(*read.expr, labels, *c, error))
            return std::nullopt;
    WatchExpr w;
    w.m_compiled = std::move(c);
    return w;
}

std::optional<std::int64_t> WatchExpr::value(const Machine &m, std::string *error) const {
    const Compiled &c = *m_compiled;
    z80::Resolve resolve;
    resolve = [&](const z80::Expr &node, std::string *err) -> std::optional<std::int64_t> {
        if (node.kind == z80::Expr::Kind::Pc)
            return m.reg(Reg::PC);
        if (node.kind != z80::Expr::Kind::Symbol) {
            *err = "a reusable label has no value here";
            return std::nullopt;
        }
        if (isRead(node.name)) {
            const Compiled::Read &read = c.reads[std::stoul(node.name.substr(kReadName.size()))];
            const auto at = z80::evaluate(*read.expr, resolve, err);
            if (!at)
                return std::nullopt;
            const std::uint16_t a = std::uint16_t(*at);
            return read.width == 1 ? m.read(a) : m.readWord(a);
        }
        const std::string low = lower(node.name);
        if (const auto v = registerValue(low, m))
            return v;
        if (const auto v = flagValue(low, m))
            return v;
        const auto label = c.labels.find(node.name);
        if (label != c.labels.end())
            return label->second;
        *err = "'" + node.name + "' has no value";
        return std::nullopt;
    };
    return z80::evaluate(*c.top, resolve, error);
}

std::string fillInExpressions(const std::string &message, const Machine &m,
                              const LabelLookup &labels) {
    if (message.size() > kMaxText) // each brace may be read to the end: kept short
        return message;
    std::string out;
    for (std::size_t i = 0; i < message.size();) {
        std::size_t close = std::string::npos;
        if (message[i] == '{') {
            int depth = 0;
            for (std::size_t k = i; k < message.size() && k - i <= kMaxText; ++k) {
                depth += message[k] == '{' ? 1 : message[k] == '}' ? -1 : 0;
                if (depth == 0) {
                    close = k;
                    break;
                }
            }
        }
        if (close != std::string::npos) {
            std::string error;
            const auto e = WatchExpr::parse(message.substr(i + 1, close - i - 1), labels, &error);
            const auto v = e ? e->value(m, &error) : std::nullopt;
            if (v) {
                char text[16];
                const std::uint64_t u = std::uint64_t(*v) & 0xFFFFFFFFu;
                std::snprintf(text, sizeof text,
                              u > 0xFFFF ? "%08llXh"
                              : u > 0xFF ? "%04llXh"
                                         : "%02llXh",
                              static_cast<unsigned long long>(u));
                out += text;
                i = close + 1;
                continue;
            }
        }
        out += message[i++];
    }
    return out;
}

bool WatchExpr::holds(const Machine &m) const {
    std::string error;
    const auto v = value(m, &error);
    return !v || *v != 0;
}

} // namespace run
