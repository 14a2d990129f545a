// The preprocessor's decisions: #if, #ifdef, #ifndef, #else, #elif and
// #endif with the value of a condition, and #define with what the model
// notes of it (its place, its value, the names its text uses).

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "expr.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace z80 {

void Preprocessor::conditional(const std::string &word, const std::vector<Token> &t,
                               const Origin &at) {
    if (word == "if" || word == "ifdef" || word == "ifndef") {
        const bool outer = active();
        bool value = false;
        if (outer) {
            if (word == "if")
                value = condition(t, at);
            else if (at.macro && t.size() == 1)
                // A #macro's parameter is a name spasm-ng defines while its
                // macro runs (app.inc's "#ifndef appname"): one left out is
                // not defined,
                value = word == "ifndef";
            else if (at.macro && t.size() >= 2 && t[1].kind != Kind::Name)
                // and one given is.
                value = word == "ifdef";
            else if (t.size() != 2 || t[1].kind != Kind::Name)
                m_diag.error(at, "#" + word + " needs one name");
            else
                value = m_macros.defined(t[1].text) == (word == "ifdef");
        }
        // A condition that cannot be read still opens its block.
        m_conditions.push_back({outer && value, outer, value, false, at, word, m_diag.now});
        return;
    }
    if (m_conditions.empty()) {
        m_diag.error(at, "#" + word + " without #if");
        return;
    }
    Condition &c = m_conditions.back();
    if (word == "endif") {
        m_conditions.pop_back();
    } else if (c.seenElse) {
        m_diag.error(at, "#" + word + " after #else");
    } else if (word == "else") {
        c.seenElse = true;
        c.active = c.parentActive && !c.taken;
        c.taken = true;
    } else { // elif
        const bool value = c.parentActive && !c.taken && condition(t, at);
        c.active = value;
        c.taken = c.taken || value;
    }
}

// The value of an #if: defined(NAME) first, then the #defines, then the
// expression with the equates known so far.
bool Preprocessor::condition(const std::vector<Token> &t, const Origin &at) {
    std::vector<Token> e;
    for (size_t i = 1; i < t.size(); ++i) {
        if (t[i].kind == Kind::Name && lower(t[i].text) == "defined") {
            const bool paren = i + 1 < t.size() && t[i + 1].isOp("(");
            const size_t n = paren ? i + 2 : i + 1;
            if (n < t.size() && t[n].kind == Kind::Name &&
                (!paren || (n + 1 < t.size() && t[n + 1].isOp(")")))) {
                Token v;
                v.kind = Kind::Number;
                v.value = m_macros.defined(t[n].text) ? 1 : 0;
                v.text = std::to_string(v.value);
                e.push_back(v);
                i = paren ? n + 1 : n;
                continue;
            }
        }
        e.push_back(t[i]);
    }
    std::string error;
    if (!expandLine(e, m_macros, &error, &m_budget, m_depth)) {
        if (m_budget.exhausted())
            return spend(Budget::What::Tokens, 0, at);
        m_diag.error(at, "#if " + spell(t, 1) + ": " + error);
        return false;
    }
    const auto value = evaluateNow(e, &error);
    if (!value) {
        m_diag.error(at, "#if " + spell(t, 1) + ": " + (error.empty() ? "no condition" : error));
        return false;
    }
    return *value != 0;
}

bool Preprocessor::define(const std::vector<Token> &t, const Origin &at) {
    // spasm-ng's app.inc names directives of its own ("#define .defpage
    // defpage("): a dotted name is defined as any other.
    // A #macro that defines its own parameter anew (app.inc's echo_fill:
    // "#define base base,char", a parameter being a define in spasm-ng)
    // meets the parameter's value here: it changes only what that macro
    // echoes, and is passed over.
    if (at.macro && t.size() >= 2 && t[1].kind == Kind::String)
        return false;
    if (t.size() < 2 || (t[1].kind != Kind::Name && t[1].kind != Kind::Dot)) {
        m_diag.error(at, "#define needs a name");
        return false;
    }
    Macro m;
    m.name = t[1].text;
    size_t i = 2;
    if (i < t.size() && t[i].isOp("(") && !t[i].spaced) {
        m.function = true;
        for (++i; i < t.size() && !t[i].isOp(")"); ++i) {
            if (t[i].isOp(","))
                continue;
            if (t[i].kind != Kind::Name) {
                m_diag.error(at, "#define " + m.name + " has a bad parameter '" + t[i].text + "'");
                return false;
            }
            m.params.push_back(t[i].text);
        }
        if (i == t.size()) {
            m_diag.error(at, "#define " + m.name + "( has no ')'");
            return false;
        }
        ++i;
    }
    m.body.assign(t.begin() + std::ptrdiff_t(i), t.end());
    if (!builtinDefine(m, at))
        return false;
    const Macro *before = m_macros.find(m.name, false);
    // Brass keeps a definition for each signature (directives/define.htm).
    const bool overload = m_sink.brass() && m.function;
    if (!overload && m.function && before && before->function && !sameSignature(*before, m))
        m_sink.readAsClassic(); // Brass would keep both
    // A call looks at each signature: their number is bounded.
    constexpr size_t kMaxSignatures = 256;
    if (overload && before && before->function &&
        before->alternatives.size() + 1 >= kMaxSignatures && !sameSignature(*before, m) &&
        std::none_of(before->alternatives.begin(), before->alternatives.end(),
                     [&](const auto &a) { return sameSignature(*a, m); })) {
        m_diag.error(at, "#define " + m.name + " has more than " + std::to_string(kMaxSignatures) +
                             " definitions with different arguments");
        return false;
    }
    if (overload && before && before->function) {
        const Macro *same = before;
        for (const auto &a : before->alternatives)
            if (!sameSignature(*same, m) && sameSignature(*a, m))
                same = a.get();
        before = sameSignature(*same, m) ? same : nullptr;
    }
    // A #macro keeps its state in #defines it makes anew each time it runs
    // (app.inc's page count): only a definition written as such is warned of.
    if (before && !at.macro &&
        (before->function != m.function || before->params != m.params ||
         spell(before->body) != spell(m.body)))
        m_diag.warning(at, "#define " + m.name + " replaces an earlier definition");
    m_macros.define(std::move(m), overload);
    return true;
}

// A #define as read: its name's place, its value when it is one number, and
// the names its text uses (not its parameters).
void Preprocessor::noteDefine(const std::vector<Token> &t, const Origin &at) {
    Definition d{t[1].text, Definition::Kind::Define, std::nullopt, at.file,
                 at.line,   int(t[1].start),          m_lineComment};
    if (t.size() == 3 && t[2].kind == Kind::Number)
        d.value = t[2].value;
    m_sink.defined(d);
    std::vector<std::string> params;
    size_t k = 2;
    if (k < t.size() && t[k].isOp("(") && !t[k].spaced)
        for (; k < t.size() && !t[k].isOp(")"); ++k)
            if (t[k].kind == Kind::Name)
                params.push_back(lower(t[k].text));
    noteUses(std::vector<Token>(t.begin() + std::ptrdiff_t(std::min(k, t.size())), t.end()), false,
             at, &params);
}

} // namespace z80
