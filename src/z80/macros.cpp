#include "macros.h"

#include "z80/vocabulary.h"

#include <algorithm>
#include <cctype>
#include <deque>

namespace z80 {
namespace {

constexpr size_t kMaxLineChars = 65536;

// The arguments of the call whose '(' stands at `open` in `t`, up to `end`.
template <class Tokens>
size_t arguments(const Tokens &t, size_t open, size_t end,
                 std::vector<std::vector<Token>> *arguments) {
    arguments->assign(1, {});
    int depth = 0;
    for (size_t i = open; i < end; ++i) {
        if (t[i].isOp("(") && depth++ == 0)
            continue;
        if (t[i].isOp(")") && --depth == 0)
            return i + 1;
        if (t[i].isOp(",") && depth == 1)
            arguments->emplace_back();
        else
            arguments->back().push_back(t[i]);
    }
    return SIZE_MAX;
}

bool hidden(const Token &t, std::uint32_t id) {
    return std::find(t.hide.begin(), t.hide.end(), id) != t.hide.end();
}

class Expander {
public:
    Expander(const MacroTable &macros, Budget *budget) : m_macros(macros), m_budget(budget) {}

    bool run(std::vector<Token> &line, int depth, std::string *error) {
        if (depth > kMaxNesting)
            return deepArguments(error);
        if (!expands(line))
            return true;
        std::deque<Token> work(line.begin(), line.end());
        std::vector<Token> out;
        size_t chars = 0;
        while (!work.empty()) {
            Token t = std::move(work.front());
            work.pop_front();
            const bool call = !work.empty() && work.front().isOp("(");
            const Macro *m = t.kind == Kind::Name ? m_macros.find(t.text, call) : nullptr;
            if (m && m->function && call && !m->alternatives.empty()) {
                // Brass: the definition whose signature the arguments fit.
                std::vector<std::vector<Token>> raw;
                if (arguments(work, 0, callEnd(work, nullptr), &raw) != SIZE_MAX)
                    m = &chooseOverload(*m, raw);
            }
            if (!m || m->multiLine || hidden(t, m->id) || (m->function && !call)) {
                chars += t.text.size() + 1;
                if (chars > kMaxLineChars)
                    return tooLong(error);
                out.push_back(std::move(t));
                continue;
            }
            std::vector<Token> replacement;
            if (m->function) {
                // Only the call's own tokens are copied, and only when the
                // calls in them nest within the limit: each level copies them.
                int parens = 0;
                const size_t end = callEnd(work, &parens);
                // Each call nested in it has a parenthesis of its own.
                if (depth + parens > kMaxNesting &&
                    depth + 1 + callsNested(work, end) > kMaxNesting)
                    return deepArguments(error);
                std::vector<std::vector<Token>> args;
                const size_t after = arguments(work, 0, end, &args);
                if (after == SIZE_MAX)
                    return fail(error, t.text + "( has no ')'");
                if (args.size() == 1 && args[0].empty() && m->params.empty())
                    args.clear();
                if (args.size() < m->params.size()) // as in spasm-ng: left out is empty
                    args.resize(m->params.size());
                if (args.size() != m->params.size())
                    return fail(error, t.text + " takes " + std::to_string(m->params.size()) +
                                           " argument" + (m->params.size() == 1 ? "" : "s") +
                                           ", not " + std::to_string(args.size()));
                for (auto &arg : args)
                    if (!run(arg, depth + 1, error))
                        return false;
                // Spent before it is made: arguments used twice can double
                // a line at every level.
                const size_t size = substitutedSize(*m, m->body, args);
                if (work.size() + size > kMaxLineChars)
                    return tooLong(error);
                if (m_budget && !m_budget->spend(Budget::What::Tokens, size))
                    return fail(error, m_budget->message());
                // The macro's own text stands where its use is written.
                const Token &close = work[after - 1];
                const size_t stop = std::max(close.start + close.length, t.start + t.length);
                replacement = substitute(*m, m->body, args, TextSpan{t.start, stop - t.start});
                work.erase(work.begin(), work.begin() + std::ptrdiff_t(after));
            } else {
                replacement = m->body;
                for (Token &r : replacement)
                    r.start = t.start, r.length = t.length;
            }
            for (Token &r : replacement) {
                r.hide.insert(r.hide.end(), t.hide.begin(), t.hide.end());
                r.hide.push_back(m->id);
            }
            if (!replacement.empty())
                replacement.front().spaced = t.spaced;
            if (++m_expansions > kMaxExpansions)
                return fail(error, "the line's #defines expand too many times");
            if (!m->function && work.size() + replacement.size() > kMaxLineChars)
                return tooLong(error);
            if (m_budget && !m->function &&
                !m_budget->spend(Budget::What::Tokens, replacement.size()))
                return fail(error, m_budget->message());
            work.insert(work.begin(), replacement.begin(), replacement.end());
        }
        line = std::move(out);
        return true;
    }

private:
    static constexpr size_t kMaxExpansions = 100000;
    // Whether anything in the line would change: most lines name no macro.
    bool expands(const std::vector<Token> &line) const {
        size_t chars = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            chars += line[i].text.size() + 1;
            if (line[i].kind == Kind::Name &&
                m_macros.find(line[i].text, i + 1 < line.size() && line[i + 1].isOp("(")))
                return true;
        }
        return chars > kMaxLineChars;
    }
    // The index after the ')' that closes the '(' at the front, or the
    // size; *deepest, how deep its parentheses nest.
    static size_t callEnd(const std::deque<Token> &work, int *deepest) {
        int depth = 0;
        for (size_t i = 0; i < work.size(); ++i) {
            if (work[i].isOp("(")) {
                ++depth;
                if (deepest)
                    *deepest = std::max(*deepest, depth);
            } else if (work[i].isOp(")") && --depth == 0) {
                return i + 1;
            }
        }
        return work.size();
    }
    // How deep the calls of #defines with arguments nest in work[0, end).
    int callsNested(const std::deque<Token> &work, size_t end) const {
        int parens = 0;
        size_t deepest = 0;
        std::vector<int> open; // the parentheses around each call under way
        for (size_t i = 0; i < end && deepest <= size_t(kMaxNesting); ++i) {
            if (work[i].kind == Kind::Name && i + 1 < end && work[i + 1].isOp("(")) {
                const Macro *m = m_macros.find(work[i].text, true);
                if (m && m->function && !m->multiLine) {
                    open.push_back(parens);
                    deepest = std::max(deepest, open.size());
                }
            } else if (work[i].isOp("(")) {
                ++parens;
            } else if (work[i].isOp(")") && --parens >= 0 && !open.empty() &&
                       open.back() == parens) {
                open.pop_back();
            }
        }
        return int(deepest);
    }
    static bool deepArguments(std::string *error) {
        return fail(error, "macro arguments nest deeper than " + std::to_string(kMaxNesting) +
                               " levels");
    }
    static bool tooLong(std::string *error) {
        return fail(error, "the line grows longer than " + std::to_string(kMaxLineChars / 1024) +
                               " KiB as its #defines are expanded");
    }
    static bool fail(std::string *error, const std::string &text) {
        *error = text;
        return false;
    }
    const MacroTable &m_macros;
    Budget *m_budget;
    size_t m_expansions = 0;
};

} // namespace

bool sameSignature(const Macro &a, const Macro &b) {
    if (a.function != b.function || a.params.size() != b.params.size())
        return false;
    for (size_t k = 0; k < a.params.size(); ++k) {
        const bool braced = !a.params[k].empty() && a.params[k][0] == '{';
        if (braced != (!b.params[k].empty() && b.params[k][0] == '{') ||
            (braced && lower(a.params[k]) != lower(b.params[k])))
            return false;
    }
    return true;
}

const Macro &chooseOverload(const Macro &head, const std::vector<std::vector<Token>> &arguments) {
    const Macro *best = nullptr;
    int bestScore = -1;
    auto consider = [&](const Macro &c) {
        const size_t count = arguments.size() == 1 && arguments[0].empty() && c.params.empty()
                                 ? 0
                                 : arguments.size();
        if (count != c.params.size())
            return;
        int score = 0;
        for (size_t k = 0; k < count; ++k) {
            const std::string &p = c.params[k];
            if (p.size() < 2 || p.front() != '{' || p.back() != '}')
                continue;
            if (lower(spell(arguments[k])) != lower(p.substr(1, p.size() - 2)))
                return;
            ++score;
        }
        if (score > bestScore) {
            best = &c;
            bestScore = score;
        }
    };
    consider(head);
    for (const auto &alternative : head.alternatives)
        consider(*alternative);
    return best ? *best : head;
}

bool MacroTable::define(Macro m, bool overload) {
    m.id = m_nextId++;
    const std::string name = m.name;
    const auto existing = m_byName.find(name);
    if (overload && m.function && !m.multiLine && existing != m_byName.end() &&
        existing->second->function && !existing->second->multiLine) {
        // A copy: an expansion under way keeps the definitions it began with.
        auto head = std::make_shared<Macro>(*existing->second);
        bool replaced = false;
        if (sameSignature(*head, m)) {
            m.alternatives = std::move(head->alternatives);
            *head = std::move(m);
            replaced = true;
        } else {
            auto same = std::find_if(head->alternatives.begin(), head->alternatives.end(),
                                     [&](const auto &a) { return sameSignature(*a, m); });
            replaced = same != head->alternatives.end();
            auto added = std::make_shared<const Macro>(std::move(m));
            if (replaced)
                *same = std::move(added);
            else
                head->alternatives.push_back(std::move(added));
        }
        existing->second = std::move(head);
        m_last = name;
        return replaced;
    }
    const bool replaced = undefine(name);
    if (m.function || m.multiLine)
        m_calls[lower(name)] = name;
    m_byName[name] = std::make_shared<Macro>(std::move(m));
    m_last = name;
    return replaced;
}

bool MacroTable::undefine(const std::string &name) {
    const auto it = m_byName.find(name);
    if (it == m_byName.end())
        return false;
    const auto call = m_calls.find(lower(name));
    if (call != m_calls.end() && call->second == name)
        m_calls.erase(call);
    m_byName.erase(it);
    return true;
}

bool MacroTable::defined(const std::string &name) const {
    return m_byName.count(name) > 0;
}

const Macro *MacroTable::find(const std::string &name, bool call) const {
    const auto it = m_byName.find(name);
    if (it != m_byName.end())
        return it->second.get();
    if (!call)
        return nullptr;
    const auto folded = m_calls.find(lower(name));
    return folded == m_calls.end() ? nullptr : m_byName.at(folded->second).get();
}

std::shared_ptr<const Macro> MacroTable::keep(const Macro *found) const {
    const auto it = m_byName.find(found->name);
    return it == m_byName.end() ? nullptr : it->second;
}

Macro *MacroTable::last() {
    const auto it = m_byName.find(m_last);
    return it == m_byName.end() ? nullptr : it->second.get();
}

size_t collectArguments(const std::vector<Token> &t, size_t open,
                        std::vector<std::vector<Token>> *args) {
    return arguments(t, open, t.size(), args);
}

namespace {

// The parameter `t` names, or macro.params.size().
size_t parameter(const Macro &macro, const Token &t) {
    if (t.kind == Kind::Name)
        for (size_t k = 0; k < macro.params.size(); ++k)
            if (lower(macro.params[k]) == lower(t.text))
                return k;
    return macro.params.size();
}

} // namespace

size_t substitutedSize(const Macro &macro, const std::vector<Token> &text,
                       const std::vector<std::vector<Token>> &arguments) {
    size_t n = 0;
    for (const Token &t : text) {
        const size_t p = parameter(macro, t);
        n += p < arguments.size() ? arguments[p].size() : 1;
    }
    return n;
}

std::vector<Token> substitute(const Macro &macro, const std::vector<Token> &text,
                              const std::vector<std::vector<Token>> &arguments,
                              std::optional<TextSpan> use) {
    std::vector<Token> out;
    for (const Token &t : text) {
        const size_t p = parameter(macro, t);
        if (p == macro.params.size() || p >= arguments.size()) {
            out.push_back(t);
            if (use)
                out.back().start = use->start, out.back().length = use->length;
            continue;
        }
        const size_t first = out.size();
        out.insert(out.end(), arguments[p].begin(), arguments[p].end());
        if (out.size() > first)
            out[first].spaced = t.spaced;
    }
    return out;
}

bool expandLine(std::vector<Token> &line, const MacroTable &macros, std::string *error,
                Budget *budget, int depth) {
    return Expander(macros, budget).run(line, depth, error);
}

} // namespace z80
