// Brass's forms of the preprocessor's directives (its manual, "Directives"):
// every #directive may be written with a dot (.define, .ifdef, .include
// with or without quotes), .elseif is #elif, .deflong ... .enddeflong is a
// #macro, .repeat/.rept N or .for LABEL, FROM, TO [, STEP] ... .loop
// assemble their lines again and again, .endasm ... .asm is a comment.

#include "preprocessor.h"

#include "operands.h"
#include "vocabulary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

namespace z80 {
namespace {

// The directives the preprocessor reads, by their word without '#' or '.'.
const std::set<std::string> kPreprocessorWords = {
    "include", "define", "undef", "undefine", "defcont", "if",    "ifdef",
    "ifndef",  "else",   "elif",  "endif",    "deflong", "macro", "comment"};

// Those that are Brass's alone when written with a dot (spasm-ng reads
// only "#define"; the classic assembler and spasm-ng both ".include").
bool onlyBrass(const std::string &word) {
    return word != "include" && word != "comment";
}

std::string wordOf(const Token &t) {
    std::string w = lower(t.text.substr(1));
    if (w == "elseif")
        w = "elif";
    if (w == "rept")
        w = "repeat";
    return w;
}

bool opensLoop(const std::vector<Token> &t) {
    return !t.empty() && (t[0].kind == Kind::Dot || t[0].kind == Kind::Hash) &&
           (wordOf(t[0]) == "repeat" || wordOf(t[0]) == "for");
}

bool closesLoop(const std::vector<Token> &t) {
    return !t.empty() && (t[0].kind == Kind::Dot || t[0].kind == Kind::Hash) &&
           wordOf(t[0]) == "loop";
}

// The most times one loop runs; more is surely a mistake in its count.
constexpr std::int64_t kMaxLoopCount = 65536;

} // namespace

void Preprocessor::brassForm(const Origin &) {
    m_sink.brassForm();
}

// syntax/environment.htm: "[%NAME%]" is the environment variable's value,
// "[%$NAME$%]" the same made fit for a string ('"' and '\' escaped); a
// name not set gives nothing.
std::string Preprocessor::environmentValues(const std::string &line) {
    std::string out;
    size_t at = 0;
    for (size_t open; (open = line.find("[%", at)) != std::string::npos;) {
        const size_t close = line.find("%]", open + 2);
        if (close == std::string::npos)
            break;
        std::string name = line.substr(open + 2, close - open - 2);
        const bool quoted = name.size() >= 2 && name.front() == '$' && name.back() == '$';
        if (quoted)
            name = name.substr(1, name.size() - 2);
        const char *value = std::getenv(name.c_str());
        out += line.substr(at, open - at);
        if (value && out.size() + std::strlen(value) > kMaxLineLength)
            value = nullptr; // a line stays within its limit
        for (const char *c = value ? value : ""; *c; ++c) {
            if (quoted && (*c == '"' || *c == '\\'))
                out += '\\';
            out += *c;
        }
        at = close + 2;
    }
    brassForm({});
    return out + line.substr(at);
}

std::optional<ReadResult> Preprocessor::quotedFile(const Token &quoted, const Origin &at,
                                                  const Place &place, const std::string &what,
                                                  std::string *path) {
    std::string name =
        quoted.raw.size() >= 2 ? quoted.raw.substr(1, quoted.raw.size() - 2) : quoted.text;
    std::replace(name.begin(), name.end(), '\\', '/');
    *path = findInclude(name, place.folder);
    if (path->empty()) {
        m_diag.cause(at, "cannot find the " + what + " " + name);
        return std::nullopt;
    }
    if (!spend(Budget::What::Files, 1, at))
        return std::nullopt;
    ReadResult read = m_reader.read(*path);
    if (!read.error.empty()) {
        m_diag.cause(at, "cannot read " + display(*path) + ": " + read.error);
        return std::nullopt;
    }
    if (!spend(Budget::What::Bytes, read.text.size(), at))
        return std::nullopt;
    return read;
}

// directives/incbin.htm: ".incbin "file" [, NAME = size] [, start = N]
// [, end = N] [, rule = EXPR] [, rle]": the file's bytes (from start to end,
// both included), each through the rule; NAME takes the whole file's size.
void Preprocessor::binaryFile(const std::vector<Token> &t, const Origin &at, const Place &place) {
    const auto parts = items(t, 1, t.size());
    if (parts.empty() || parts[0].second != parts[0].first + 1 ||
        t[parts[0].first].kind != Kind::String) {
        m_diag.error(at, ".incbin needs a file name in quotes");
        return;
    }
    std::string path;
    const auto file = quotedFile(t[parts[0].first], at, place, "file", &path);
    if (!file || !spend(Budget::What::Tokens, 2 * file->text.size(), at))
        return;
    const ReadResult &read = *file;
    const auto token = [](Kind kind, const std::string &text, std::int64_t value = 0) {
        Token k;
        k.kind = kind;
        k.text = text;
        k.value = value;
        k.spaced = true;
        return k;
    };
    std::int64_t first = 0, last = std::int64_t(read.text.size()) - 1;
    bool rle = false;
    std::vector<Token> rule; // rule = EXPR, {*} standing for each byte
    // The size's label first, so that start and end may use it.
    for (int round = 0; round < 2; ++round)
        for (size_t k = 1; k < parts.size(); ++k) {
            const auto [b, e] = parts[k];
            const bool named = e > b + 2 && t[b].kind == Kind::Name && t[b + 1].isOp("=");
            const std::string option = named ? lower(t[b].text) : "";
            const bool sizeLabel = named && e == b + 3 && t[b + 2].kind == Kind::Name &&
                                   sameWord(t[b + 2].text, "size");
            if (round == 0 && sizeLabel) {
                const auto size = std::int64_t(read.text.size());
                if (!made({token(Kind::Name, t[b].text), token(Kind::Op, "="),
                           token(Kind::Number, std::to_string(size), size)},
                          at))
                    return;
            } else if (round == 1 && !sizeLabel && (option == "start" || option == "end")) {
                const auto v = valueNow(std::vector<Token>(t.begin() + std::ptrdiff_t(b + 2),
                                                           t.begin() + std::ptrdiff_t(e)),
                                        at, ".incbin " + option);
                (option == "start" ? first : last) = v.value_or(option == "start" ? first : last);
            } else if (round == 1 && option == "rule") {
                rule.assign(t.begin() + std::ptrdiff_t(b + 2), t.begin() + std::ptrdiff_t(e));
            } else if (round == 1 && e == b + 1 && t[b].kind == Kind::Name &&
                       sameWord(t[b].text, "rle")) {
                rle = true; // directives/rlemode.htm
            } else if (round == 1 && !sizeLabel) {
                m_diag.error(at, ".incbin '" + spell(t, b, e) +
                                     "' is not read (only NAME = size, start =, end =, rule = "
                                     "and rle)");
            }
        }
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, std::int64_t(read.text.size()) - 1);
    // Brass's Assembler.cs: the rule gives a table of the 256 bytes, each
    // value cut to its low byte, read when the line is.
    std::vector<unsigned char> table(256);
    for (int j = 0; j < 256; ++j) {
        table[size_t(j)] = static_cast<unsigned char>(j);
        if (rule.empty())
            continue;
        std::vector<Token> e;
        for (const Token &k : rule) {
            if (!k.is(Kind::Name, "{*}")) {
                e.push_back(k);
                continue;
            }
            e.push_back(token(Kind::Op, "("));
            e.push_back(token(Kind::Number, std::to_string(j), j));
            e.push_back(token(Kind::Op, ")"));
        }
        const auto v = valueNow(std::move(e), at, ".incbin's rule");
        if (!v)
            return;
        table[size_t(j)] = static_cast<unsigned char>(*v & 0xFF);
    }
    const auto byteAt = [&](std::int64_t i) {
        return table[static_cast<unsigned char>(read.text[size_t(i)])];
    };
    if (rle) {
        std::vector<std::uint8_t> part;
        for (std::int64_t i = first; i <= last; ++i)
            part.push_back(byteAt(i));
        madeBytes(runLengths(part), at);
        return;
    }
    constexpr std::int64_t kPerStatement = 16;
    for (std::int64_t from = first; from <= last; from += kPerStatement) {
        std::vector<Token> s{token(Kind::Dot, ".db")};
        for (std::int64_t i = from; i <= last && i < from + kPerStatement; ++i) {
            if (i > from)
                s.push_back(token(Kind::Op, ","));
            const unsigned char byte = byteAt(i);
            s.push_back(token(Kind::Number, std::to_string(byte), byte));
        }
        if (!made(s, at))
            return;
    }
}

// directives/inclabels.htm: a file of labels Brass wrote, each a name's
// length in a byte, the name, its value and its page in two bytes each.
void Preprocessor::labelFile(const std::vector<Token> &t, const Origin &at, const Place &place) {
    if (t.size() != 2 || t[1].kind != Kind::String) {
        m_diag.error(at, ".inclabels needs a file name in quotes");
        return;
    }
    std::string path;
    const auto file = quotedFile(t[1], at, place, "labels file", &path);
    if (!file)
        return;
    const ReadResult &read = *file;
    const std::string &b = read.text;
    for (size_t k = 0; k < b.size();) {
        const size_t length = static_cast<unsigned char>(b[k]);
        if (k + 1 + length + 4 > b.size()) {
            m_diag.error(at, display(path) + " is not a labels file Brass wrote (it ends inside "
                                             "a label)");
            return;
        }
        Token label, equ, number;
        label.kind = Kind::Name;
        label.text = b.substr(k + 1, length);
        equ.kind = Kind::Dot;
        equ.text = ".equ";
        equ.spaced = true;
        number.kind = Kind::Number;
        number.value = static_cast<unsigned char>(b[k + 1 + length]) |
                       static_cast<unsigned char>(b[k + 2 + length]) << 8;
        number.text = std::to_string(number.value);
        number.spaced = true;
        k += 1 + length + 4;
        if (!spend(Budget::What::Lines, 1, at) || !made({label, equ, number}, at))
            return;
    }
}

bool Preprocessor::brassLine(const LexedLine &lexed, const std::string &raw, const Origin &at,
                             const Place &place) {
    const std::vector<Token> &t = lexed.tokens;
    const std::string word = wordOf(t[0]);
    const bool dotted = t[0].kind == Kind::Dot;
    if (kPreprocessorWords.count(word)) {
        if (!dotted && word != "elif" && word != "deflong")
            return false; // the #directive itself
        if (!dotted || onlyBrass(word))
            brassForm(at);
        // The same line with '#' for its '.': "#elif", "#include name".
        LexedLine hashed = lexed;
        hashed.tokens[0].kind = Kind::Hash;
        hashed.tokens[0].text = "#" + word;
        std::string text = raw;
        if (t[0].start < text.size())
            text.replace(t[0].start, t[0].text.size(), "#" + word);
        directive(hashed, text, at, place, m_lineWritten);
        return true;
    }
    if (word == "elseifdef" || word == "elseifndef") {
        // directives/elseifdef.htm: ".elseifdef NAME" is "#elif defined(NAME)".
        brassForm(at);
        if (t.size() != 2 || t[1].kind != Kind::Name) {
            m_diag.error(at, t[0].text + " needs one name");
            return true;
        }
        std::vector<Token> e(5);
        e[0].kind = Kind::Hash;
        e[0].text = "#elif";
        e[1].kind = Kind::Name;
        e[1].text = "defined";
        e[2].text = "(";
        e[3] = t[1];
        e[4].text = ")";
        if (word == "elseifndef") {
            Token no;
            no.text = "!";
            e.insert(e.begin() + 1, no);
        }
        conditional("elif", e, at);
        return true;
    }
    if (word == "incbin") {
        if (dotted)
            brassForm(at);
        if (active())
            binaryFile(t, at, place);
        return true;
    }
    if (!dotted)
        return false;
    if (word == "endasm" || word == "asm") {
        brassForm(at);
        if (active())
            m_endasm = word == "endasm";
        return true;
    }
    if (word.size() > 1 && word[0] == 'f' &&
        (word == "fopen" || word == "fclose" || word == "fread" || word == "freadw" ||
         word == "fpeek" || word == "fpeekw" || word == "fseek" || word == "fsize" ||
         word == "fpos")) {
        brassForm(at);
        if (active())
            brassFile(word, t, at, place);
        return true;
    }
    if (word == "incbmp" || word == "rlemode") {
        brassForm(at);
        if (active() && word == "incbmp")
            brassBitmap(t, at, place);
        else if (active())
            rleMode(t, at);
        return true;
    }
    if (word == "inclabels") {
        brassForm(at);
        if (active())
            labelFile(t, at, place);
        return true;
    }
    if (word == "loop") {
        if (active())
            m_diag.error(at, ".loop without a .repeat or .for before it");
        return true;
    }
    if (word != "repeat" && word != "for")
        return false;
    brassForm(at);
    if (!active())
        return true;
    Loop loop;
    loop.at = at;
    loop.place = m_diag.now;
    const auto parts = items(t, 1, t.size());
    auto number = [&](size_t k) -> std::optional<std::int64_t> {
        return valueNow(std::vector<Token>(t.begin() + std::ptrdiff_t(parts[k].first),
                                           t.begin() + std::ptrdiff_t(parts[k].second)),
                        at, t[0].text);
    };
    if (word == "repeat") {
        loop.from = 1;
        if (parts.size() != 1)
            m_diag.error(at, t[0].text + " takes a count: " + t[0].text + " 8");
        else
            loop.to = number(0).value_or(0);
    } else {
        // A loop that cannot run is still read up to its .loop, and never run.
        if ((parts.size() != 3 && parts.size() != 4) || parts[0].second != parts[0].first + 1 ||
            t[parts[0].first].kind != Kind::Name) {
            m_diag.error(at, ".for takes a label, a start, an end and perhaps a step: "
                             ".for i, 0, 7");
            loop.to = loop.from - 1;
        } else {
            loop.variable = t[parts[0].first].text;
            loop.from = number(1).value_or(0);
            loop.to = number(2).value_or(loop.from - 1);
            loop.step = parts.size() == 4 ? number(3).value_or(1) : 1;
            if (loop.step == 0) {
                m_diag.error(at, ".for with a step of 0 never ends");
                loop.step = 1;
                loop.to = loop.from - 1;
            }
        }
    }
    const std::int64_t runs = loop.step > 0 ? (loop.to - loop.from) / loop.step + 1
                                            : (loop.from - loop.to) / -loop.step + 1;
    if (runs > kMaxLoopCount) {
        m_diag.error(at, t[0].text + " would run " + std::to_string(runs) + " times; at most " +
                             std::to_string(kMaxLoopCount) + " are allowed");
        loop.to = loop.from - loop.step; // read up to its .loop, run never
    }
    m_loop = std::move(loop);
    return true;
}

// ".for i, 1, 9 \\ .db sk{i} \\ .loop": a loop's statements on one line are
// read as lines of their own, so that the loop sees its end.
// So is a conditional or an include joined with others: ".if Config.Mouse
// \ .include "Mouse.asm" \ .endif". A definition keeps its '\'s.
bool Preprocessor::loopOnOneLine(const LexedLine &lexed, const Origin &at, const Place &place) {
    const std::vector<Token> &t = lexed.tokens;
    static const std::set<std::string> split = {"for",    "repeat", "loop", "if",    "ifdef",
                                                "ifndef", "else",   "elif", "endif", "include"};
    if (t.empty() || ((t[0].kind == Kind::Dot || t[0].kind == Kind::Hash) &&
                      (wordOf(t[0]) == "define" || wordOf(t[0]) == "deflong" ||
                       wordOf(t[0]) == "defcont" || wordOf(t[0]) == "macro")))
        return false;
    bool separated = false, looping = false;
    for (size_t k = 0; k < t.size(); ++k) {
        if (t[k].kind == Kind::Separator)
            separated = true;
        if ((k == 0 || t[k - 1].kind == Kind::Separator) && (t[k].kind == Kind::Dot) &&
            split.count(wordOf(t[k])))
            looping = true;
    }
    if (!separated || !looping)
        return false;
    size_t begin = 0;
    for (size_t k = 0; k <= t.size(); ++k) {
        if (k < t.size() && t[k].kind != Kind::Separator)
            continue;
        const std::string text =
            (begin == 0 && lexed.startsInColumnOne ? "" : " ") + spell(t, begin, k);
        if (!line(lex(text), text, at, place))
            return false;
        begin = k + 1;
    }
    return true;
}

bool Preprocessor::recordLoop(const LexedLine &lexed, const std::string &raw, const Origin &at,
                              const Place &place) {
    if (closesLoop(lexed.tokens) && m_loop->nested == 0) {
        replayLoop(place);
        return true;
    }
    if (opensLoop(lexed.tokens))
        ++m_loop->nested;
    else if (closesLoop(lexed.tokens))
        --m_loop->nested;
    // A macro's line comes spelled without its indent: keep it off the first column.
    m_loop->lines.emplace_back(at, lexed.startsInColumnOne ? raw : " " + raw);
    return true;
}

void Preprocessor::replayLoop(const Place &place) {
    const Loop loop = std::move(*m_loop);
    m_loop.reset();
    if (!enter(loop.at, "does a loop hold itself?"))
        return;
    for (std::int64_t v = loop.from; loop.step > 0 ? v <= loop.to : v >= loop.to; v += loop.step) {
        if (!loop.variable.empty()) {
            // The label takes each value in turn: "i .set 3".
            Token name, set, number;
            name.kind = Kind::Name;
            name.text = loop.variable;
            set.kind = Kind::Dot;
            set.text = ".set";
            set.spaced = true;
            number.kind = Kind::Number;
            number.text = std::to_string(v);
            number.value = v;
            number.spaced = true;
            if (!made({name, set, number}, loop.at))
                break;
        }
        bool inBlockComment = false;
        bool goOn = true;
        for (const auto &[at, text] : loop.lines) {
            const LexedLine lexed = lex(text, &inBlockComment);
            if (!spend(Budget::What::Lines, 1, at) || !line(lexed, text, at, place)) {
                goOn = false;
                break;
            }
        }
        if (!goOn || stopped())
            break;
    }
    leave();
}

// A statement this file makes (a loop's label, a file's bytes or labels);
// false when the build stops.
bool Preprocessor::made(const std::vector<Token> &statement, const Origin &at) {
    if (m_sink.statement(statement, true, at) == StatementSink::Result::Stop)
        m_stop = true;
    return !m_stop;
}

} // namespace z80
