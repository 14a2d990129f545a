#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "bitmap.h"
#include "expr.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

namespace z80 {
namespace {

std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The file name of an include: in double quotes, in <>, or the next word.
std::string includeName(std::string rest) {
    rest = trim(rest);
    std::string name;
    if (!rest.empty() && (rest[0] == '"' || rest[0] == '<' || rest[0] == '\'')) {
        const char close = rest[0] == '<' ? '>' : rest[0];
        const auto end = rest.find(close, 1);
        name = rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
        name = rest.substr(0, rest.find_first_of(" \t;"));
    }
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// Where the directive word ends in the raw line, to take its rest as written.
std::string afterWord(const std::string &raw, const std::string &word) {
    const auto at = lower(raw).find(lower(word));
    return at == std::string::npos ? std::string() : raw.substr(at + word.size());
}

// The label or equate a line defines, if any: a name at its start, or a
// name and ':'.
std::string definedName(const std::string &raw) {
    const LexedLine l = lex(raw);
    const std::vector<Token> &t = l.tokens;
    if (t.empty() || t[0].kind != Kind::Name || t[0].text == "_")
        return {};
    if (l.startsInColumnOne || (t.size() > 1 && t[1].isOp(":")))
        return t[0].text;
    return {};
}

// A name the language itself owns, never a symbol of the program.
bool isWord(const std::string &name) {
    return isLanguageWord(name) || name.find_first_not_of('_') == std::string::npos;
}

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

// The text of the line's first comment, without its marks and blanks.
std::string commentOf(const LexedLine &lexed, std::string_view raw) {
    if (lexed.comments.empty())
        return {};
    const std::string_view c = raw.substr(lexed.comments[0].start, lexed.comments[0].length);
    const auto b = c.find_first_not_of(" \t;");
    if (b == std::string_view::npos)
        return {};
    return std::string(c.substr(b, c.find_last_not_of(" \t\r\n") - b + 1));
}

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

Preprocessor::Preprocessor(FileReader &reader, const Options &options, Diagnostics &diagnostics,
                           StatementSink &sink)
    : m_reader(reader), m_options(options), m_diag(diagnostics), m_sink(sink),
      m_budget(options.limits) {}

bool Preprocessor::spend(Budget::What what, size_t n, const Origin &at) {
    if (!m_budget.exhausted() && m_budget.spend(what, n))
        return true;
    if (!m_budgetSaid)
        m_diag.error(at, m_budget.message());
    m_budgetSaid = true;
    m_stop = true;
    return false;
}

bool Preprocessor::enter(const Origin &at, const std::string &hint) {
    if (m_depth >= kMaxNesting) {
        m_diag.error(at, "includes, #macros and run() nest deeper than " +
                             std::to_string(kMaxNesting) + " levels (" + hint + ")");
        return false;
    }
    ++m_depth;
    return true;
}

void Preprocessor::run(const std::string &mainPath) {
    m_mainFolder = folderOf(mainPath);
    m_defines = m_options.defines;
    for (const auto &[name, text] : m_options.defines) {
        Macro m;
        m.name = name;
        m.body = lex(text).tokens;
        m_macros.define(std::move(m));
    }
    file(mainPath, 0, {display(mainPath), 0});
    for (const Condition &c : m_conditions)
        m_diag.cause(c.where, "#" + c.word + " has no #endif", c.place);
    if (m_recording)
        m_diag.cause(m_recordingAt, "#macro " + m_recording->name + " has no #endmacro",
                     m_recordingPlace);
    if (m_loop)
        m_diag.cause(m_loop->at, "the loop has no .loop after it", m_loop->place);
    if (m_comment)
        m_diag.cause(*m_comment, "#comment has no #endcomment", m_commentPlace);
    m_macros.each([this](const Macro &m) {
        if (!m.function && !m.multiLine && !m.body.empty())
            m_sink.definedAtEnd(m.name, m.body);
    });
}

std::string Preprocessor::display(const std::string &path) const {
    const std::string prefix = m_mainFolder == "." ? "" : m_mainFolder + "/";
    if (!prefix.empty() && path.compare(0, prefix.size(), prefix) == 0)
        return path.substr(prefix.size());
    return path;
}

void Preprocessor::file(const std::string &path, int depth, const Origin &includedAt) {
    if (!spend(Budget::What::Files, 1, includedAt))
        return;
    const ReadResult read = m_reader.read(path);
    if (!read.error.empty()) {
        m_diag.cause(includedAt, "cannot read " + display(path) + ": " + read.error);
        if (depth > 0)
            m_sink.includeFailed(includedAt);
        return;
    }
    if (!spend(Budget::What::Bytes, read.text.size(), includedAt))
        return;
    if (isBitmap(read.text)) {
        picture(read.text, display(path), includedAt);
        return;
    }
    if (isBinary(read.text)) {
        m_diag.error(includedAt, display(path) + " is not a source file");
        return;
    }
    if (depth == 0) { // the source's "; variable:" line says what the build writes
        std::string why;
        if (const auto form = variableComment(read.text, &why))
            m_sink.variableForm(*form);
        else if (!why.empty())
            m_diag.error(Origin(display(path), 1), why);
    }
    if (depth == 0) // the program's "; defines:" line adds to the build's
        for (const auto &[name, text] : definesComment(read.text)) {
            Macro m;
            m.name = name;
            m.body = lex(text).tokens;
            m_macros.define(std::move(m));
            m_defines.emplace_back(name, text);
        }
    const Place place{folderOf(path), depth};
    const std::string name = display(path);
    const auto fileIndex = std::uint32_t(m_lineFiles.size());
    m_lineFiles.push_back(name);
    const size_t conditionsBefore = m_conditions.size();
    bool inBlockComment = false;
    std::optional<Origin> blockOpened;
    size_t blockPlace = 0;
    LineSplitter split(read.text);
    std::string_view view;
    for (int n = 1; split.next(&view); ++n) {
        if (stopped())
            break;
        ++m_diag.now;
        const Origin at{name, n};
        // Listed as read: skipped when an #if leaves it out, unlisted when
        // a .nolist before it or on it holds.
        m_lines.push_back({fileIndex, n, active() ? ReadLine::Listed : ReadLine::Skipped});
        const size_t listed = m_lines.size() - 1;
        const bool listingBefore = m_listing;
        if (!spend(Budget::What::Lines, 1, at))
            break;
        if (view.size() > kMaxLineLength) {
            m_diag.error(at, "the line is longer than " + std::to_string(kMaxLineLength / 1024) +
                                 " KiB");
            continue;
        }
        std::string text(view);
        if (text.find("[%") != std::string::npos)
            text = environmentValues(text);
        if (m_comment) {
            if (endsCommentBlock(text))
                m_comment.reset();
            continue;
        }
        if (m_endasm) {
            m_endasm = lower(trim(text)).compare(0, 4, ".asm") != 0;
            continue;
        }
        const bool blockBefore = inBlockComment;
        LexedLine lexed = lex(text, &inBlockComment);
        if (inBlockComment && !blockBefore) {
            blockOpened = at;
            blockPlace = m_diag.now;
        }
        m_lineComment = commentOf(lexed, text);
        m_sink.lineComment(m_lineComment);
        m_asWritten = true;
        const bool goOn = line(lexed, text, at, place);
        if ((!listingBefore || !m_listing) && m_lines[listed].state == ReadLine::Listed)
            m_lines[listed].state = ReadLine::Unlisted;
        if (!goOn) {
            if (stopped())
                break;
            // .end: the rest of this file is not read; what it would define is said.
            for (std::string_view rest; split.next(&rest);)
                if (const std::string label = definedName(std::string(rest)); !label.empty())
                    m_sink.definedAfterEnd(label, at);
            break;
        }
    }
    if (inBlockComment && blockOpened)
        m_diag.cause(*blockOpened, "the /* comment has no */", blockPlace);
    // An #if opened in a file and not closed there is closed with it, each
    // reported in the order of its lines.
    for (size_t i = conditionsBefore; i < m_conditions.size(); ++i)
        m_diag.cause(m_conditions[i].where, "#" + m_conditions[i].word + " has no #endif",
                     m_conditions[i].place);
    m_conditions.resize(conditionsBefore);
}

bool Preprocessor::line(const LexedLine &lexed, const std::string &raw, const Origin &at,
                        const Place &place) {
    const std::vector<Token> &t = lexed.tokens;
    const bool asWritten = std::exchange(m_asWritten, false); // a line of a file, not a macro's
    m_lineWritten = asWritten;
    if (m_recording) {
        if (!t.empty() && (t[0].kind == Kind::Hash || t[0].kind == Kind::Dot) &&
            (lower(t[0].text.substr(1)) == "endmacro" || lower(t[0].text) == "#endm" ||
             lower(t[0].text.substr(1)) == "enddeflong")) {
            m_macros.define(std::move(*m_recording));
            m_recording.reset();
        } else {
            m_recording->lines.push_back(raw);
            m_recording->lineAt.push_back({at.file, at.line, at.macro});
            if (asWritten)
                noteUses(t, false, at, &m_recording->params);
        }
        return true;
    }
    if (!t.empty() && (m_loop || t[0].kind == Kind::Dot) && loopOnOneLine(lexed, at, place))
        return true;
    if (m_loop)
        return recordLoop(lexed, raw, at, place);
    if (!t.empty() && (t[0].kind == Kind::Dot || t[0].kind == Kind::Hash) &&
        brassLine(lexed, raw, at, place))
        return true;
    if (!t.empty() && t[0].kind == Kind::Hash) {
        directive(lexed, raw, at, place, asWritten);
        return true;
    }
    if (!active() || t.empty())
        return true;
    if (t[0].kind == Kind::Dot && (sameWord(t[0].text, ".nolist") || sameWord(t[0].text, ".list")))
        m_listing = sameWord(t[0].text, ".list");
    if (!lexed.error.empty()) {
        m_diag.error(at, lexed.error);
        return true;
    }
    if (asWritten)
        noteUses(t, lexed.startsInColumnOne, at, nullptr);
    return statements(t, lexed.startsInColumnOne, at, place);
}

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
    const bool overload = m_brass && m.function;
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

void Preprocessor::include(const std::string &name, const Origin &at, const Place &place) {
    if (name.empty()) {
        m_diag.error(at, "#include needs a file name");
        return;
    }
    std::string othersFolder;
    const std::string path = z80::findInclude(m_reader, name, place.folder, m_mainFolder,
                                              m_options.includeFolders, &othersFolder);
    if (!othersFolder.empty())
        m_diag.warning(at, "the include file " + name + " was taken from " + othersFolder +
                               ", a folder other users may put files into; make sure it is the "
                               "file you mean, or put a copy where only you can write");
    if (path.empty()) {
        m_diag.cause(at, "cannot find the include file " + name + missingIncludeHint(name));
        m_sink.includeFailed(at);
        return;
    }
    if (!enter(at, "does " + name + " include itself?"))
        return;
    file(path, place.depth + 1, at);
    leave();
}

// What to do about an include not found, only what is true: a file of its
// name in an include folder is named (the path written misses it); the
// calculator's definitions file, nowhere, is to be copied in.
std::string Preprocessor::missingIncludeHint(const std::string &name) {
    const std::string base = name.substr(name.find_last_of('/') + 1);
    for (const std::string &folder : m_options.includeFolders)
        if (const std::string there = resolveFolded(m_reader, joinPath(folder, base));
            !there.empty())
            return ": " + there +
                   " is there, but the path written does not lead to it; write "
                   "#include \"" +
                   base + "\"";
    if (lower(base) == "ti83plus.inc")
        return ": this is the calculator's definitions file; put a copy into ~/Asm/TASM (TI "
               "publishes it with its TI-83 Plus SDK, and spasm-ng carries one in its inc folder)";
    return "";
}

std::string Preprocessor::findInclude(const std::string &name, const std::string &folder) {
    return z80::findInclude(m_reader, name, folder, m_mainFolder, m_options.includeFolders);
}

} // namespace z80
