// The program's model: the names a line uses, where they are written.

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "preprocessing.h"

#include <algorithm>

namespace z80 {

namespace preprocessing {

bool isWord(const std::string &name) {
    return isLanguageWord(name) || name.find_first_not_of('_') == std::string::npos;
}

} // namespace preprocessing

using preprocessing::isWord;

namespace {

// Whether the token after a name makes the name an equate's.
bool definesBefore(const Token &t) {
    return t.isOp("=") || sameWord(t.text, ".equ") || sameWord(t.text, "equ") ||
           sameWord(t.text, ".set") || sameWord(t.text, ".defl");
}

// Whether the statement at `i` is an .addinstr, after a label or not.
bool addsInstruction(const std::vector<Token> &t, size_t i) {
    if (i + 1 < t.size() && t[i].kind == Kind::Name && t[i + 1].isOp(":"))
        i += 2;
    else if (i + 1 < t.size() && t[i].kind == Kind::Name)
        ++i;
    return i < t.size() && t[i].kind == Kind::Dot && sameWord(t[i].text, ".addinstr");
}

} // namespace

// The names a line uses, where they are written: not the label or equate
// it defines, not the language's own words, not a macro's parameters.
void Preprocessor::noteUses(const std::vector<Token> &t, bool columnOne, const Origin &at,
                            const std::vector<std::string> *params) {
    size_t first = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Separator) {
            first = i + 1;
            columnOne = false;
            continue;
        }
        if (i == first && addsInstruction(t, i)) { // its fields are an opcode's, not names
            while (i + 1 < t.size() && t[i + 1].kind != Kind::Separator)
                ++i;
            continue;
        }
        if (t[i].kind != Kind::Name || t[i].elsewhere || isWord(t[i].text) ||
            (i > 0 && t[i - 1].isOp(".")))
            continue;
        const bool call = i + 1 < t.size() && t[i + 1].isOp("(");
        if (i == first && i + 1 < t.size() && (t[i + 1].isOp(":") || definesBefore(t[i + 1])))
            continue;
        if (i == 0 && columnOne) {
            const Macro *m = m_macros.find(t[i].text, call);
            if (!m || !m->multiLine)
                continue; // a label
        }
        if (params && std::any_of(params->begin(), params->end(), [&](const std::string &p) {
                return sameWord(p, lower(t[i].text));
            }))
            continue;
        m_sink.used({t[i].text, at.file, at.line, int(t[i].start)});
    }
}

} // namespace z80
