// A line's statements: apart at each backslash, its macros expanded, a
// multi-line macro's call played line by line, an .include followed, and
// every other statement handed to the sink in source order.

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "preprocessing.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace z80 {

using preprocessing::includeName;

namespace {

std::vector<std::vector<Token>> splitStatements(std::vector<Token> t) {
    std::vector<std::vector<Token>> out(1);
    if (std::none_of(t.begin(), t.end(),
                     [](const Token &tok) { return tok.kind == Kind::Separator; })) {
        out[0] = std::move(t);
        return out;
    }
    for (Token &tok : t) {
        if (tok.kind == Kind::Separator)
            out.emplace_back();
        else
            out.back().push_back(std::move(tok));
    }
    return out;
}

} // namespace

bool Preprocessor::statements(std::vector<Token> tokens, bool columnOne, const Origin &at,
                              const Place &place) {
    std::string error;
    if (!expandLine(tokens, m_macros, &error, &m_budget, m_depth)) {
        if (m_budget.exhausted())
            return spend(Budget::What::Tokens, 0, at);
        m_diag.error(at, error);
        return true;
    }
    auto list = splitStatements(std::move(tokens));
    for (size_t k = 0; k < list.size(); ++k) {
        std::vector<Token> &s = list[k];
        if (s.empty())
            continue;
        if (k > 0 && !spend(Budget::What::Lines, 1, at)) // statements joined by a backslash
            return false;
        if (const Builtin b = builtinStatement(s, at, place); b != Builtin::None) {
            if (b == Builtin::Stop)
                return false;
            continue;
        }
        const bool first = k == 0 && columnOne;
        // A label comes first: a name in the first column, or a name and ':'.
        auto multiLine = [&](size_t i) -> const Macro * {
            if (i >= s.size() || s[i].kind != Kind::Name)
                return nullptr;
            const Macro *m = m_macros.find(s[i].text, i + 1 < s.size() && s[i + 1].isOp("("));
            return m && m->multiLine ? m : nullptr;
        };
        size_t h = 0;
        if (s.size() > 1 && s[0].kind == Kind::Name && s[1].isOp(":"))
            h = 2;
        else if (first && s[0].kind == Kind::Name && !multiLine(0))
            h = 1;
        if (const Macro *m = multiLine(h)) {
            const std::shared_ptr<const Macro> kept = m_macros.keep(m);
            if (h > 0)
                m_sink.statement(std::vector<Token>(s.begin(), s.begin() + std::ptrdiff_t(h)),
                                 first, at);
            if (!callMacro(*kept, s, h, at, place))
                return false;
            continue;
        }
        if ((s[0].kind == Kind::Dot || s[0].kind == Kind::Name) &&
            (lower(s[0].text) == ".include" || lower(s[0].text) == "include") && s.size() == 2 &&
            s[1].kind == Kind::String) {
            include(includeName(s[1].raw), at, place);
            continue;
        }
        const StatementSink::Result r = m_sink.statement(s, first, at);
        if (r == StatementSink::Result::Stop)
            m_stop = true;
        if (r != StatementSink::Result::Done)
            return false;
    }
    return true;
}

bool Preprocessor::callMacro(const Macro &m, const std::vector<Token> &s, size_t head,
                             const Origin &at, const Place &place) {
    std::vector<std::vector<Token>> args;
    if (head + 1 < s.size()) {
        const size_t after = s[head + 1].isOp("(") ? collectArguments(s, head + 1, &args) : 0;
        if (after != s.size()) {
            m_diag.error(at, "#macro " + m.name + " takes its arguments in parentheses");
            return true;
        }
    }
    if (args.size() == 1 && args[0].empty() && m.params.empty())
        args.clear();
    if (args.size() < m.params.size()) // as in spasm-ng, the arguments left out are empty
        args.resize(m.params.size());
    if (args.size() != m.params.size()) {
        m_diag.error(at, m.name + " takes " + std::to_string(m.params.size()) + " argument" +
                             (m.params.size() == 1 ? "" : "s") + ", not " +
                             std::to_string(args.size()));
        return true;
    }
    if (++m_macroCalls > kMaxMacroCalls) {
        if (m_macroCalls == kMaxMacroCalls + 1)
            m_diag.error(at, "the #macros are used more than " + std::to_string(kMaxMacroCalls) +
                                 " times");
        return true;
    }
    if (!enter(at, "does #macro " + m.name + " use itself?"))
        return true;
    bool goOn = true;
    bool inBlockComment = false; // a /* comment may span the body's lines
    // The macro's own text stands where the call is written on the line.
    const TextSpan use{s[head].start, s.back().start + s.back().length > s[head].start
                                          ? s.back().start + s.back().length - s[head].start
                                          : s[head].length};
    for (size_t k = 0; k < m.lines.size(); ++k) {
        const std::string &bodyLine = m.lines[k];
        if (!spend(Budget::What::Lines, 1, at)) {
            goOn = false;
            break;
        }
        LexedLine lexed = lex(bodyLine, &inBlockComment);
        if (!spend(Budget::What::Tokens, substitutedSize(m, lexed.tokens, args), at)) {
            goOn = false;
            break;
        }
        for (Token &tok : lexed.tokens)
            tok.elsewhere = s[head].elsewhere;
        lexed.tokens = substitute(m, lexed.tokens, args, use);
        Origin inner = at; // the chain of calls, this one last
        if (k < m.lineAt.size())
            inner.macro = std::make_shared<const MacroStep>(
                MacroStep{m.name, m.lineAt[k].file, m.lineAt[k].line, at.macro});
        if (!line(lexed, spell(lexed.tokens), inner, place)) {
            goOn = false;
            break;
        }
    }
    leave();
    return goOn;
}

} // namespace z80
