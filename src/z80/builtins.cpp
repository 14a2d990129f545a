// spasm-ng's built-in macros: "#define NAME eval(expr)" keeps the value the
// expression has at that line; "#define NAME concat(...)" joins strings, the
// text of #defines and values into the text NAME stands for; clr(), wr(...),
// run() and buf(n) write source lines into a buffer and then read them as if
// they stood at the line of run(); eval(x) elsewhere is x; getc("file", n)
// is the file's byte at n.

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "expr.h"

#include <cstdio>

namespace z80 {
namespace {

bool isCall(const std::vector<Token> &s, size_t at, const char *name) {
    return at + 1 < s.size() && s[at].kind == Kind::Name && s[at + 1].isOp("(") &&
           sameWord(s[at].text, name);
}

// spasm-ng writes eval()'s value in hexadecimal: concat() of it gives "$1F".
Token evaluated(std::int64_t value) {
    Token t = numberToken(value);
    char hex[24];
    std::snprintf(hex, sizeof hex, "%s$%llX", value < 0 ? "-" : "",
                  static_cast<unsigned long long>(value < 0 ? -value : value));
    t.text = hex;
    return t;
}

} // namespace

// Tokens with their macros expanded, as a value of what the source read so far gives.
std::optional<std::int64_t> Preprocessor::evaluateNow(const std::vector<Token> &in,
                                                      std::string *error) const {
    // "Config.Mouse.Enabled" is one name, as the assembler reads it.
    std::vector<Token> e;
    for (const Token &t : in) {
        if (t.kind == Kind::Dot && !t.spaced && !e.empty() && e.back().kind == Kind::Name)
            e.back().text += t.text;
        else
            e.push_back(t);
    }
    bool regroups = false;
    const ExprPtr tree = parseExpression(e, 0, e.size(), error, m_sink.brass(), &regroups);
    if (regroups)
        m_sink.readAsClassic();
    if (!tree)
        return std::nullopt;
    return evaluate(
        *tree, [this](const Expr &node, std::string *why) { return m_sink.valueSoFar(node, why); },
        error);
}

std::optional<std::int64_t> Preprocessor::valueNow(std::vector<Token> e, const Origin &at,
                                                   const std::string &what) {
    std::string error;
    if (expandLine(e, m_macros, &error, &m_budget, m_depth)) {
        if (const auto value = evaluateNow(e, &error))
            return value;
    }
    if (m_budget.exhausted())
        spend(Budget::What::Tokens, 0, at);
    else
        m_diag.error(at, what + ": " + (error.empty() ? "no value" : error));
    return std::nullopt;
}

// The text one argument of concat() or wr() gives: a string's bytes, a
// #define's text, or a value in decimal.
std::string Preprocessor::textOf(const std::vector<Token> &arg, const Origin &at,
                                 const std::string &what) {
    if (arg.size() == 1 && arg[0].kind == Kind::String)
        return arg[0].text;
    if (arg.size() == 1 && arg[0].kind == Kind::Name) {
        if (const Macro *m = m_macros.find(arg[0].text, false); m && !m->function)
            return m->body.size() == 1 && m->body[0].kind == Kind::String ? m->body[0].text
                                                                          : spell(m->body);
        // A #macro's argument that is a word is its text, as spasm-ng's
        // arguments are #defines of their text.
        if (!m_sink.constant(arg[0].text))
            return arg[0].text;
    }
    const auto value = valueNow(arg, at, what);
    return value ? std::to_string(*value) : std::string();
}

bool Preprocessor::builtinDefine(Macro &m, const Origin &at) {
    const bool eval = isCall(m.body, 0, "eval"), concat = isCall(m.body, 0, "concat");
    if (m.function || (!eval && !concat))
        return true;
    std::vector<std::vector<Token>> args;
    if (collectArguments(m.body, 1, &args) == SIZE_MAX) {
        m_diag.error(at, "#define " + m.name + ": " + m.body[0].text + "( has no ')'");
        return false;
    }
    const std::string what = "#define " + m.name + " " + m.body[0].text + "()";
    if (eval) {
        // What has no value yet stays the expression, its macros expanded,
        // to be computed where NAME is used.
        std::vector<Token> e = args[0];
        std::string error;
        if (!expandLine(e, m_macros, &error, &m_budget, m_depth) || e.empty()) {
            if (m_budget.exhausted())
                return spend(Budget::What::Tokens, 0, at);
            m_diag.error(at, what + ": " + (error.empty() ? "no value" : error));
            return false;
        }
        const auto value = evaluateNow(e, &error);
        m.body = value ? std::vector<Token>{evaluated(*value)} : e;
        return true;
    }
    std::string text;
    for (const auto &arg : args)
        text += textOf(arg, at, what);
    m.body = lex(text).tokens;
    return true;
}

Preprocessor::Builtin Preprocessor::builtinStatement(std::vector<Token> &s, const Origin &at,
                                                     const Place &place) {
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (isCall(s, i, "eval"))
            s.erase(s.begin() + std::ptrdiff_t(i)); // eval(x) is (x)
        else if (isCall(s, i, "getc"))
            getc(s, i, at, place);
    }
    // ".option", perhaps after a label ("tiles .option BM_MAP=2x5").
    const size_t h = s.size() > 2 && s[0].kind == Kind::Name && s[1].isOp(":") ? 2
                     : s.size() > 1 && s[0].kind == Kind::Name                 ? 1
                                                                               : 0;
    if (s[h].kind == Kind::Dot && sameWord(s[h].text, ".option")) {
        if (h > 0) {
            Token colon;
            colon.text = ":";
            m_sink.statement({s[0], colon}, false, at);
        }
        option(std::vector<Token>(s.begin() + std::ptrdiff_t(h), s.end()), at);
        return Builtin::Done;
    }
    const bool clr = isCall(s, 0, "clr"), wr = isCall(s, 0, "wr"), run = isCall(s, 0, "run"),
               buf = isCall(s, 0, "buf");
    if (!clr && !wr && !run && !buf)
        return Builtin::None;
    std::vector<std::vector<Token>> args;
    if (collectArguments(s, 1, &args) != s.size()) {
        m_diag.error(at, s[0].text + "( has no ')' at the line's end");
        return Builtin::Done;
    }
    std::string &buffer = m_buffers[m_buffer];
    if (clr) {
        buffer.clear();
    } else if (buf) {
        if (const auto n = valueNow(args[0], at, "buf()"))
            m_buffer = *n;
    } else if (wr) {
        for (const auto &arg : args)
            buffer += textOf(arg, at, "wr()");
        buffer += "\n";
        if (!spend(Budget::What::Bytes, buffer.size(), at))
            return Builtin::Stop;
    } else if (buffer.empty()) {
        m_diag.error(at, "run() has nothing to read: no wr() since the last run()");
    } else {
        const std::string text = std::move(buffer);
        m_buffers.erase(m_buffer);
        if (!enter(at, "does the text run() reads call run() again?"))
            return Builtin::Done;
        LineSplitter split(text);
        bool goOn = true;
        for (std::string_view view; goOn && split.next(&view);) {
            const std::string line(view);
            LexedLine lexed = lex(line);
            for (Token &t : lexed.tokens) // written where run() is
                t.start = s[0].start, t.length = s[0].length, t.elsewhere = s[0].elsewhere;
            goOn = spend(Budget::What::Lines, 1, at) && this->line(lexed, line, at, place);
        }
        leave();
        if (!goOn)
            return Builtin::Stop;
    }
    return Builtin::Done;
}

void Preprocessor::getc(std::vector<Token> &s, size_t at, const Origin &where, const Place &place) {
    std::vector<std::vector<Token>> args;
    const size_t after = collectArguments(s, at + 1, &args);
    if (after == SIZE_MAX || args.size() != 2 || args[0].size() != 1 ||
        args[0][0].kind != Kind::String) {
        m_diag.error(where, "getc needs a file name in quotes and a place: getc(\"file\", 0)");
        return;
    }
    const auto index = valueNow(args[1], where, "getc()");
    if (!index)
        return;
    const std::string path = findInclude(args[0][0].text, place.folder);
    const ReadResult read = path.empty() ? ReadResult{{}, "it is not found"} : m_reader.read(path);
    if (!read.error.empty()) {
        m_diag.error(where, "getc cannot read " + args[0][0].text + ": " + read.error);
        return;
    }
    // Past the end, spasm-ng's getc gives -1 (the C library's end of file).
    const std::int64_t byte = *index >= 0 && size_t(*index) < read.text.size()
                                  ? std::uint8_t(read.text[size_t(*index)])
                                  : -1;
    s.erase(s.begin() + std::ptrdiff_t(at), s.begin() + std::ptrdiff_t(after));
    s.insert(s.begin() + std::ptrdiff_t(at), numberToken(byte));
}

} // namespace z80
