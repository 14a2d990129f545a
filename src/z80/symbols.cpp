// The assembler's symbols: the key a name is kept under (Brass's modules),
// labels and equates defined, and a name's value as far as it is known, in
// the first pass and in the later ones (a #define met only later among them).

#include "assembler.h"

#include "expr.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {
namespace {

std::string where(const Origin &at) {
    return at.file + ":" + std::to_string(at.line);
}

// spasm-ng's own #defines that are values, for a name nothing else defines:
// TRUE, FALSE and a bare getc (without a file it is 0).
std::optional<std::int64_t> spasmOwn(const std::string &lowerName) {
    if (lowerName == "getc" || lowerName == "false" || lowerName == "true")
        return lowerName == "true" ? 1 : 0;
    return std::nullopt;
}

} // namespace

// The key a name is kept under: in a module, a name that starts with '_'
// (Brass's .locallabelchar may choose another character)
// (every name, after .local) belongs to the module; .global overrides.
std::string Assembler::key(const std::string &name) const {
    const std::string l = lower(name);
    if (const size_t dot = l.rfind('.'); dot != std::string::npos) {
        // "Module.name" defined from anywhere: a local name goes into that
        // module, a shared one is shared whatever module it names (Brass).
        if (m_global || !(m_local || l[dot + 1] == m_localChar))
            return l.substr(dot + 1);
        return l.compare(0, 7, "noname.") == 0 ? l.substr(7) : l;
    }
    if (m_module.empty() && m_local && !m_global) // Brass: .local outside any module
        return "noname." + l;
    if (m_module.empty() || m_global || !(m_local || (!l.empty() && l[0] == m_localChar)))
        return l;
    return m_module + "." + l;
}

void Assembler::define(const std::string &name, std::int64_t value, bool set, bool equate) {
    if (name.find('{') != std::string::npos) // Brass: _loop_{i}
        return define(expandBraces(name), value, set, equate);
    const std::string k = key(name);
    auto it = m_symbols.find(k);
    if (m_pass == 1) {
        if (it != m_symbols.end() && !(set && it->second.set)) {
            const Symbol &first = it->second;
            error("'" + name + "' is already defined at " + where(first.at), true, m_nameSpan,
                  Diagnostic::Code::Other,
                  std::make_shared<const Diagnostic>(Diagnostic{
                      first.at.file, first.at.line, first.column, int(first.spelling.size()),
                      Diagnostic::Severity::Error, Diagnostic::Code::Other,
                      "'" + first.spelling + "' is first defined here", nullptr}));
            return;
        }
        if (it == m_symbols.end()) {
            it = m_symbols
                     .emplace(k, Symbol{name, value, m_at, m_index, set, !m_unknown,
                                        m_nameSpan.column, equate, m_definitions.size()})
                     .first;
            m_definitions.push_back(
                {name, equate ? Definition::Kind::Equate : Definition::Kind::Label, std::nullopt,
                 m_at.file, m_at.line, std::max(0, m_nameSpan.column),
                 comment()});
        }
        m_lastLabel = name;
        it->second.value = value;
        it->second.exact = !m_unknown;
        it->second.regrouped = m_regrouped || (!equate && m_pcRegrouped);
    } else {
        if (it == m_symbols.end() || (it->second.statement != m_index && !it->second.set))
            return; // defined twice: said in pass 1
        it->second.value = value;
        it->second.placed = equate ? -1 : std::int64_t(placed());
    }
    it->second.brassPage = std::max<std::int64_t>(m_page, 0);
    if (m_pass > 1 && m_record->defined != value)
        m_changed = true;
    m_record->defined = value;
}

void Assembler::definedAfterEnd(const std::string &name, const Origin &end) {
    m_afterEnd.emplace(lower(name), end);
}

void Assembler::definedAtEnd(const std::string &name, const std::vector<Token> &text) {
    std::vector<Token> &kept = m_atEnd[lower(name)] = text;
    for (Token &t : kept) // read where the name is used, not where it is defined
        t.elsewhere = true;
}

std::optional<std::string> Assembler::labelHere() const {
    if (m_lastLabel.empty() || constant(m_lastLabel) != m_pc)
        return std::nullopt;
    return m_lastLabel;
}

std::optional<std::int64_t> Assembler::constant(const std::string &name) const {
    auto it = m_symbols.find(key(name));
    if (it == m_symbols.end() && m_nest) // Brass's nested modules and .using
        it = brassFind(name);
    const auto global = it == m_symbols.end() ? m_symbols.find(lower(name)) : it;
    if (global == m_symbols.end() || !global->second.exact)
        return std::nullopt;
    regroupedUsed(global->second.regrouped);
    return global->second.value;
}

// Pass 1, between statements: '$' is where the next one goes, "-_" the last
// "_" met, "--_" the one before it; a "_" ahead has no address yet.
std::optional<std::int64_t> Assembler::valueSoFar(const Expr &e, std::string *why) const {
    if (e.kind == Expr::Kind::Pc || e.kind == Expr::Kind::Reusable)
        regroupedUsed(m_pcRegrouped);
    if (e.kind == Expr::Kind::Pc)
        return m_pc;
    if (e.kind == Expr::Kind::Page && e.name.empty())
        return std::max<std::int64_t>(m_page, 0);
    if (e.kind == Expr::Kind::Page) {
        *why = "the page of '" + e.name + "' is not known before assembly";
        return std::nullopt;
    }
    if (e.kind == Expr::Kind::Reusable && !e.name.empty()) {
        *why = "Brass's reusable label {" + e.name + "} has no value before assembly";
        return std::nullopt;
    }
    if (e.kind == Expr::Kind::Reusable) {
        if (e.value < 0 && size_t(-e.value) <= m_reusableAt.size())
            return m_reusableAt[m_reusableAt.size() - size_t(-e.value)];
        *why = e.value < 0 ? "there is no reusable label '_' that far back"
                           : "a reusable label '_' ahead has no value before assembly";
        return std::nullopt;
    }
    if (const auto v = constant(e.name))
        return v;
    if (const auto own = spasmOwn(lower(e.name)))
        return own;
    *why = "'" + e.name + "' has no value before assembly";
    return std::nullopt;
}

std::optional<std::int64_t> Assembler::resolve(const Expr &e, std::string *why) {
    m_foundKey.clear();
    if (e.kind == Expr::Kind::Page) {
        // Brass: ":$" is the page being written, ":name" the page of the
        // .page the name is defined under (0 before any).
        m_positional = true;
        if (e.name.empty())
            return std::max<std::int64_t>(m_page, 0);
        Expr symbol;
        symbol.kind = Expr::Kind::Symbol;
        symbol.name = e.name;
        symbol.column = e.column;
        symbol.length = e.length;
        const auto address = resolve(symbol, why);
        const auto found = m_symbols.find(m_foundKey);
        if (!address || found == m_symbols.end())
            return address ? std::optional<std::int64_t>(0) : std::nullopt;
        return found->second.brassPage;
    }
    if (e.kind == Expr::Kind::Pc) {
        m_positional = true;
        m_regrouped = m_regrouped || (m_pass == 1 && m_pcRegrouped);
        return m_start + m_relocation;
    }
    if (e.kind == Expr::Kind::Reusable && !e.name.empty()) {
        m_positional = true;
        return brassReusable(e, why);
    }
    if (e.kind == Expr::Kind::Reusable) {
        m_positional = true;
        // The one so many back (counting one on this statement) or ahead:
        // the statements of the "_" labels are in source order.
        const size_t behind = size_t(
            std::upper_bound(m_reusable.begin(), m_reusable.end(), m_index) - m_reusable.begin());
        const std::uint64_t n = e.value < 0 ? std::uint64_t(0) - std::uint64_t(e.value)
                                            : std::uint64_t(e.value);
        if (e.value < 0 && n <= behind)
            return m_reusableAt[behind - size_t(n)];
        if (e.value > 0 && n <= m_reusable.size() - behind)
            return m_reusableAt[behind + size_t(n) - 1];
        if (m_pass == 1) {
            m_unknown = true;
            return 0;
        }
        *why = std::string("there is no reusable label '_' ") +
               (e.value < 0 ? "that far back" : "that far ahead");
        return std::nullopt;
    }
    std::string l = lower(e.name.find('{') == std::string::npos ? e.name : expandBraces(e.name));
    if (m_nest && l.compare(0, 7, "parent.") == 0) // Brass: the module above this one
        l = parentPath(l);
    std::vector<std::string> keys;
    if (l.compare(0, 7, "noname.") == 0)
        keys = {l, l.substr(7)};
    else if (const size_t dot = l.rfind('.'); dot != std::string::npos && l[dot + 1] != m_localChar)
        keys = {l, l.substr(dot + 1)}; // a shared name is found by any path
    else if (dot != std::string::npos || m_module.empty())
        keys = {l};
    else
        keys = {m_module + "." + l, l};
    // Brass: a path from the module the statement is in first (nested
    // modules), a name .local put outside any module.
    if (!m_module.empty() && l.find('.') != std::string::npos)
        keys.insert(keys.begin(), m_module + "." + l);
    if (m_module.empty() && m_local && l.find('.') == std::string::npos)
        keys.insert(keys.begin(), "noname." + l);
    // Brass's .using: the modules a module uses, after its own, in order.
    if (!m_using.empty() && !m_module.empty())
        if (const auto used = m_using.find(m_module); used != m_using.end())
            for (size_t u = 0; u < used->second.size(); ++u)
                keys.insert(keys.begin() + std::ptrdiff_t(std::min<size_t>(1 + u, keys.size())),
                            used->second[u] + "." + l);
    for (const std::string &k : keys) {
        const auto it = m_symbols.find(k);
        if (it == m_symbols.end())
            continue;
        if (m_pass == 1 && !it->second.exact)
            m_unknown = true;
        m_regrouped = m_regrouped || (m_pass == 1 && it->second.regrouped);
        m_foundKey = k;
        return it->second.value;
    }
    if (m_pass == 1) {
        m_unknown = true;
        return 0;
    }
    // A #define met only later: its text as the source's end leaves it.
    const Span here{e.column, e.length};
    m_whySpan = here;
    if (const auto text = m_atEnd.find(l); text != m_atEnd.end() && m_atEndDepth < kMaxNesting) {
        const auto v = late(l, text->second, why);
        m_whySpan = here; // a fault in its text is marked where the name is used
        return v;
    }
    if (const auto own = spasmOwn(l))
        return own;
    if (const auto hex = brassHex(l))
        return hex;
    // After an include that could not be read, an unknown name is its echo.
    if (!m_includeFailed) {
        m_whyCode = Diagnostic::Code::Undefined;
        *why = "'" + e.name + (isDigit(e.name[0]) ? "' is not a number" : "' is undefined");
        if (const auto end = m_afterEnd.find(l); end != m_afterEnd.end())
            *why += " (its file ends at the .end on line " + std::to_string(end->second.line) + ")";
    }
    return std::nullopt;
}

// Computed once a pass, unless it uses '$' or a "_" label: a chain of such
// #defines, each using the one before twice, costs its length, not 2^length.
std::optional<std::int64_t> Assembler::late(const std::string &lowerName,
                                            const std::vector<Token> &text, std::string *why) {
    if (const auto known = m_late.find(lowerName); known != m_late.end()) {
        if (!known->second.value)
            *why = known->second.why;
        return known->second.value;
    }
    const bool positionalBefore = m_positional;
    m_positional = false;
    ++m_atEndDepth;
    Late computed;
    bool regroups = false;
    const ExprPtr e = parseExpression(text, 0, text.size(), &computed.why, m_brass, &regroups);
    m_regrouped = m_regrouped || (regroups && m_pass == 1);
    if (e)
        computed.value = evaluate(
            *e, [this](const Expr &x, std::string *w) { return resolve(x, w); }, &computed.why);
    --m_atEndDepth;
    if (!m_positional)
        m_late.emplace(lowerName, computed);
    m_positional = m_positional || positionalBefore;
    if (!computed.value)
        *why = computed.why;
    return computed.value;
}

} // namespace z80
