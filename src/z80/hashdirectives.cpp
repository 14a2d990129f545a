// The preprocessor's '#' directives: the conditions go to conditions.cpp,
// #include to includes.cpp; #define, #undef, #macro, #comment, #error and
// the rest are taken here.

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "preprocessing.h"

#include <utility>

namespace z80 {

using preprocessing::includeName;
using preprocessing::isWord;
using preprocessing::trim;

namespace {

// Where the directive word ends in the raw line, to take its rest as written.
std::string afterWord(const std::string &raw, const std::string &word) {
    const auto at = lower(raw).find(lower(word));
    return at == std::string::npos ? std::string() : raw.substr(at + word.size());
}

} // namespace

void Preprocessor::directive(const LexedLine &lexed, const std::string &raw, const Origin &at,
                             const Place &place, bool asWritten) {
    const std::vector<Token> &t = lexed.tokens;
    const std::string word = lower(t[0].text.substr(1));
    if (asWritten && active() &&
        (word == "if" || word == "elif" || word == "ifdef" || word == "ifndef" || word == "undef" ||
         word == "undefine"))
        for (size_t i = 1; i < t.size(); ++i)
            if (t[i].kind == Kind::Name && !sameWord(t[i].text, "defined") && !isWord(t[i].text))
                m_sink.used({t[i].text, at.file, at.line, int(t[i].start)});
    if (word == "if" || word == "ifdef" || word == "ifndef" || word == "elif" || word == "else" ||
        word == "endif") {
        conditional(word, t, at);
        return;
    }
    if (!active())
        return;
    if (word == "include") {
        include(includeName(afterWord(raw, t[0].text)), at, place);
    } else if (word == "define") {
        if (define(t, at) && asWritten)
            noteDefine(t, at);
    } else if (word == "defcont") {
        if (Macro *m = m_macros.last())
            m->body.insert(m->body.end(), t.begin() + 1, t.end());
        else
            m_diag.error(at, "#defcont without a #define before it");
    } else if (word == "undef" || word == "undefine") {
        if (t.size() != 2 || t[1].kind != Kind::Name)
            m_diag.error(at, "#" + word + " needs one name");
        else
            m_macros.undefine(t[1].text);
    } else if (word == "macro" || word == "deflong") {
        Macro m;
        m.multiLine = true;
        if (t.size() < 2 || t[1].kind != Kind::Name) {
            m_diag.error(at, "#macro needs a name");
            return;
        }
        m.name = t[1].text;
        for (size_t i = 3; i < t.size() && t.size() > 2 && t[2].isOp("("); ++i)
            if (t[i].kind == Kind::Name)
                m.params.push_back(t[i].text);
        m.function = !m.params.empty();
        if (asWritten)
            m_sink.defined({m.name, Definition::Kind::Macro, std::nullopt, at.file, at.line,
                            int(t[1].start), m_lineComment});
        m_recording = std::move(m);
        m_recordingAt = at;
        m_recordingPlace = m_diag.now;
    } else if (word == "endmacro" || word == "endm") {
        m_diag.error(at, "#" + word + " without #macro");
    } else if (word == "comment") {
        m_comment = at;
        m_commentPlace = m_diag.now;
    } else if (word == "endcomment") {
        m_diag.error(at, "#endcomment without #comment");
    } else if (word == "region" || word == "endregion") {
        // folding marks for editors
    } else if (word == "error") {
        m_diag.error(at, trim(afterWord(raw, t[0].text)));
    } else {
        m_diag.cause(at, "unknown directive '" + t[0].text + "'");
    }
}

} // namespace z80
