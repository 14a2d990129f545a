#pragma once
// #define and #macro: the table of macros and their expansion. A macro is
// never expanded again inside its own expansion (the C preprocessor's rule),
// so "#define equ .equ" and "#define db .db" mean what they say.

#include "budget.h"
#include "diagnostics.h"
#include "lexer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace z80 {

struct Macro {
    std::uint32_t id = 0;
    std::string name;
    bool function = false;  // takes its arguments in parentheses
    bool multiLine = false; // #macro ... #endmacro
    std::vector<std::string> params;
    std::vector<Token> body;        // a #define's one line
    std::vector<std::string> lines; // a #macro's lines as written, lexed at each use
    std::vector<Origin> lineAt;     // where each of them is written
    // Brass's other definitions of the name, each with its own signature:
    // a parameter in braces ("{0}", "{a}") takes only that argument.
    std::vector<std::shared_ptr<const Macro>> alternatives;
};

// Whether two macros take the same arguments (the same count, the same
// parameters in braces).
bool sameSignature(const Macro &a, const Macro &b);
// Of a macro and its alternatives, the one a call with `arguments` chooses:
// the same count, every braced parameter matched, the most of them; `head`
// itself when none fits.
const Macro &chooseOverload(const Macro &head, const std::vector<std::vector<Token>> &arguments);

class MacroTable {
public:
    // Adds a macro, replacing one of the same name; true when one was
    // replaced. With `overload` (Brass), a macro with arguments replaces only
    // the one of its name with the same signature and is added beside the others.
    bool define(Macro m, bool overload = false);
    bool undefine(const std::string &name);
    bool defined(const std::string &name) const;
    // The macro `name` stands for. Names match exactly; a call with arguments
    // also finds a macro with arguments whose name differs in letter case.
    const Macro *find(const std::string &name, bool call) const;
    // The macro found, kept alive for as long as it runs: its own lines
    // may #undef or redefine it.
    std::shared_ptr<const Macro> keep(const Macro *found) const;
    // The macro defined last, which #defcont continues.
    Macro *last();
    // Every macro defined, in no particular order.
    template <class F> void each(F f) const {
        for (const auto &named : m_byName)
            f(*named.second);
    }

private:
    std::unordered_map<std::string, std::shared_ptr<Macro>> m_byName;
    std::unordered_map<std::string, std::string> m_calls; // lower-case name -> name
    std::string m_last;
    std::uint32_t m_nextId = 1;
};

// The arguments of a call whose '(' stands at `open`: each a token list.
// Returns the index after the closing ')', or SIZE_MAX when there is none.
size_t collectArguments(const std::vector<Token> &tokens, size_t open,
                        std::vector<std::vector<Token>> *arguments);

// How many tokens substitute() would give, to spend them before they are made.
size_t substitutedSize(const Macro &macro, const std::vector<Token> &text,
                       const std::vector<std::vector<Token>> &arguments);

// A macro's text with its parameters replaced by the arguments. The
// arguments keep their places; the macro's own tokens take the place of
// its `use` on the line, when given.
std::vector<Token> substitute(const Macro &macro, const std::vector<Token> &text,
                              const std::vector<std::vector<Token>> &arguments,
                              std::optional<TextSpan> use = std::nullopt);

// Expands the #defines of one line; multi-line macros stay as they stand.
// False, and *error, when the line cannot be expanded. The tokens the
// #defines produce are spent from `budget`; `depth` is how deep the line is
// read already (includes, #macros), which the arguments' nesting adds to.
bool expandLine(std::vector<Token> &line, const MacroTable &macros, std::string *error,
                Budget *budget = nullptr, int depth = 0);

} // namespace z80
