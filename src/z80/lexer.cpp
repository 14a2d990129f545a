#include "lexer.h"

#include "z80/vocabulary.h"

namespace z80 {
namespace {

using z80::isNameChar;
using z80::isNameStart;
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}
int digitValue(char c) {
    if (isDigit(c))
        return c - '0';
    if (isLetter(c))
        return lowerChar(c) - 'a' + 10;
    return 99;
}

// The value of digits in a base; false when a digit does not belong.
bool digitsValue(std::string_view digits, int base, std::int64_t *value) {
    if (digits.empty())
        return false;
    std::uint64_t v = 0;
    for (char d : digits) {
        if (d == '_')
            continue;
        const int x = digitValue(d);
        if (x >= base)
            return false;
        v = (v * std::uint64_t(base) + std::uint64_t(x)) & 0xFFFFFFFFu;
    }
    *value = std::int64_t(v);
    return true;
}

// A number written with its base in a suffix or a 0x prefix, or decimal.
bool numberValue(std::string_view word, std::int64_t *value) {
    const char last = lowerChar(word.back());
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        return digitsValue(word.substr(2), 16, value);
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'b' || word[1] == 'B') &&
        digitsValue(word.substr(2), 2, value))
        return true;
    const std::string_view body = word.substr(0, word.size() - 1);
    if (last == 'h')
        return digitsValue(body, 16, value);
    if (last == 'b' && digitsValue(body, 2, value))
        return true;
    if (last == 'o' || last == 'q')
        return digitsValue(body, 8, value);
    if (last == 'd' && digitsValue(body, 10, value))
        return true;
    return digitsValue(word, 10, value);
}

// Whether the last token ends a value, so that a '%' after it is the
// remainder operator rather than a binary number's sign. An instruction's
// name ("and %0101") or a directive written without its dot ("x equ %0101",
// "db %0101") ends no value.
bool endsOperand(const std::vector<Token> &tokens) {
    if (tokens.empty())
        return false;
    const Token &t = tokens.back();
    if (t.kind == Kind::Name) {
        static const char *const undotted[] = {"equ", "db",  "dw",   "byte",  "word",
                                               "org", "set", "fill", "block", "ds"};
        for (const char *word : undotted)
            if (z80::lower(t.text) == word)
                return false;
        return !z80::isInstruction(t.text);
    }
    return t.kind == Kind::Number || t.kind == Kind::Char || t.kind == Kind::String ||
           t.isOp(")") || t.isOp("]") || t.isOp("$");
}

// "0000 0101b": groups of binary digits apart by blanks, the last with its
// suffix, read as one number. Returns the length taken, or 0.
size_t spacedBinary(std::string_view s, size_t i) {
    size_t k = i;
    bool sawBlank = false;
    for (;;) {
        const size_t group = k;
        while (k < s.size() && (s[k] == '0' || s[k] == '1'))
            ++k;
        if (k == group)
            return 0;
        if (k < s.size() && (s[k] == 'b' || s[k] == 'B') &&
            (k + 1 == s.size() || !isNameChar(s[k + 1])))
            return sawBlank ? k + 1 - i : 0;
        size_t blank = k;
        while (blank < s.size() && isBlank(s[blank]))
            ++blank;
        if (blank == k || blank == s.size() || (s[blank] != '0' && s[blank] != '1'))
            return 0;
        sawBlank = true;
        k = blank;
    }
}

// Where a quoted literal that opens at `i` closes (the index of its closing
// quote), or npos.
size_t closingQuote(std::string_view s, size_t i) {
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] == '\\' && k + 1 < s.size())
            ++k;
        else if (s[k] == s[i])
            return k;
    }
    return std::string_view::npos;
}

// The length of "{...}" at `i` (braces matched), or of a lone '@'
// (Brass's bookmark label); 0 when the braces are not closed.
size_t bracedName(std::string_view s, size_t i) {
    if (s[i] == '@')
        return i + 1 == s.size() || !isNameChar(s[i + 1]) ? 1 : 0;
    int depth = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] == '{')
            ++depth;
        else if (s[k] == '}' && --depth == 0)
            return k + 1 - i;
        else if (s[k] == ';' || s[k] == '"' || s[k] == '\'')
            return 0;
    }
    return 0;
}

// "fp8", "ufp16": a name that a ".8" may follow as part of it.
bool fixedPointHead(std::string_view w) {
    size_t k = !w.empty() && (w[0] == 'u' || w[0] == 'U') ? 1 : 0;
    if (w.size() < k + 3 || (w[k] != 'f' && w[k] != 'F') || (w[k + 1] != 'p' && w[k + 1] != 'P'))
        return false;
    for (k += 2; k < w.size(); ++k)
        if (!isDigit(w[k]))
            return false;
    return true;
}

} // namespace

std::string unescape(std::string_view body, bool brass) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        if (brass && (c == 'b' || c == 'f')) { // syntax/constants.htm, lower case only
            out += c == 'b' ? '\b' : '\f';
            continue;
        }
        switch (lowerChar(c)) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        default:
            out += c;
        }
    }
    return out;
}

LexedLine lex(std::string_view s, bool *inBlockComment) {
    LexedLine out;
    std::vector<Token> &t = out.tokens;
    t.reserve(8);
    bool spaced = true;
    size_t i = 0;
    auto push = [&](Kind kind, std::string text, size_t start, std::int64_t value = 0) {
        Token tok;
        tok.kind = kind;
        tok.text = std::move(text);
        tok.value = value;
        tok.start = start;
        tok.length = i - start;
        tok.spaced = spaced;
        t.push_back(std::move(tok));
        spaced = false;
    };
    auto fail = [&](const std::string &text) {
        if (out.error.empty())
            out.error = text;
    };
    // A /* comment from `from`: to its */ or, open, to the line's end.
    auto blockComment = [&](size_t from, size_t body) {
        const size_t close = s.find("*/", body);
        const size_t end = close == std::string_view::npos ? s.size() : close + 2;
        out.comments.push_back({from, end - from});
        if (inBlockComment)
            *inBlockComment = close == std::string_view::npos;
        spaced = true;
        return end;
    };
    if (inBlockComment && *inBlockComment)
        i = blockComment(0, 0);
    out.startsInColumnOne = i == 0 && !s.empty() && !isBlank(s[0]);
    while (i < s.size()) {
        const char c = s[i];
        const size_t start = i;
        if (isBlank(c)) {
            spaced = true;
            ++i;
            continue;
        }
        if (c == ';') {
            out.comments.push_back({i, s.size() - i});
            break;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            i = blockComment(i, i + 2);
            continue;
        }
        if (isNameStart(c)) {
            // Brass's names may hold '$' and '?' after their first character.
            while (i < s.size() && (isNameChar(s[i]) || s[i] == '$' || s[i] == '?')) {
                ++i;
                if (i < s.size() && s[i] == '{') // Brass: a value in braces inside a name
                    i += bracedName(s, i);
            }
            // Brass's fixed-point types are one word: fp8.8, ufp4.12.
            if (i + 1 < s.size() && s[i] == '.' && isDigit(s[i + 1]) &&
                fixedPointHead(s.substr(start, i - start))) {
                ++i;
                while (i < s.size() && isDigit(s[i]))
                    ++i;
            }
            // af' is one word; any other quote after a name opens nothing here.
            if (i < s.size() && s[i] == '\'' && sameWord(s.substr(start, i - start), "af"))
                ++i;
            push(Kind::Name, std::string(s.substr(start, i - start)), start);
            continue;
        }
        if (isDigit(c)) {
            std::int64_t value = 0;
            if (const size_t n = spacedBinary(s, i)) {
                std::string digits;
                for (char d : s.substr(i, n - 1))
                    if (!isBlank(d))
                        digits += d;
                digitsValue(digits, 2, &value);
                i += n;
                push(Kind::Number, std::string(s.substr(start, n)), start, value);
                continue;
            }
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            const std::string word(s.substr(start, i - start));
            // Not a number in any base: a name that starts with a digit
            // ("8klisp_def", spasm-ng's "83p"), which Brass and spasm-ng allow.
            const bool bad = !numberValue(word, &value);
            // Brass's decimal value with a fraction ("2.5"): its whole part,
            // the fraction kept in its spelling.
            if (!bad && i + 1 < s.size() && s[i] == '.' && isDigit(s[i + 1]) &&
                word.find_first_not_of("0123456789") == std::string::npos) {
                ++i;
                while (i < s.size() && isDigit(s[i]))
                    ++i;
                push(Kind::Number, std::string(s.substr(start, i - start)), start, value);
                t.back().raw = t.back().text;
                continue;
            }
            push(bad ? Kind::Name : Kind::Number, word, start, value);
            t.back().bad = bad;
            continue;
        }
        // $1A, %1010 and Brass's octal @023 (syntax/constants.htm).
        if ((c == '$' || c == '%' || c == '@') && i + 1 < s.size()) {
            const int base = c == '$' ? 16 : c == '%' ? 2 : 8;
            size_t k = i + 1;
            while (k < s.size() && isNameChar(s[k]))
                ++k;
            std::int64_t value = 0;
            const std::string_view digits = s.substr(i + 1, k - i - 1);
            const bool number = !digits.empty() && digitValue(digits[0]) < base;
            // After an operand, '%' is the remainder operator.
            if (number && !(c == '%' && endsOperand(t))) {
                const bool bad = !digitsValue(digits, base, &value);
                i = k;
                push(Kind::Number, std::string(s.substr(start, k - start)), start, value);
                t.back().bad = bad;
                continue;
            }
            // Brass: "$KEY" is a name (a word after '$' that is no hexadecimal number).
            if (c == '$' && !number && !digits.empty() && isNameStart(digits[0])) {
                i = k;
                while (i < s.size() && (isNameChar(s[i]) || s[i] == '$' || s[i] == '?'))
                    ++i;
                push(Kind::Name, std::string(s.substr(start, i - start)), start);
                continue;
            }
        }
        if (c == '"' || c == '\'') {
            const size_t close = closingQuote(s, i);
            if (close == std::string_view::npos) {
                fail(c == '"' ? "a string is not closed" : "a character is not closed");
                i = s.size();
                push(Kind::String, unescape(s.substr(start + 1)), start);
                t.back().raw = std::string(s.substr(start));
                t.back().bad = true;
                break;
            }
            const std::string body = unescape(s.substr(i + 1, close - i - 1));
            i = close + 1;
            if (c == '\'' && body.size() == 1)
                push(Kind::Char, body, start, static_cast<unsigned char>(body[0]));
            else
                push(Kind::String, body, start);
            t.back().raw = std::string(s.substr(start, i - start));
            continue;
        }
        if ((c == '.' || c == '#') && i + 1 < s.size() && isNameStart(s[i + 1])) {
            ++i;
            while (i < s.size() && isNameChar(s[i]))
                ++i;
            push(c == '.' ? Kind::Dot : Kind::Hash, std::string(s.substr(start, i - start)), start);
            continue;
        }
        if (c == '\\') {
            ++i;
            push(Kind::Separator, "\\", start);
            continue;
        }
        // Brass's reusable labels in braces ({+}, {--}, {@}, {-2@}) and a
        // value in braces inside a name (_loop_{i}): one name token.
        if (c == '{' || (c == '@' && (t.empty() || spaced))) {
            if (const size_t n = bracedName(s, i)) {
                i += n;
                while (i < s.size() && (isNameChar(s[i]) || s[i] == '{')) {
                    const size_t more = s[i] == '{' ? bracedName(s, i) : 1;
                    if (more == 0)
                        break;
                    i += more;
                }
                push(Kind::Name, std::string(s.substr(start, i - start)), start);
                continue;
            }
        }
        static const char *const pairs[] = {"==", "!=", "<=", ">=", "<<", ">>", "&&", "||"};
        bool two = false;
        for (const char *p : pairs)
            if (s.compare(i, 2, p) == 0) {
                i += 2;
                push(Kind::Op, p, start);
                two = true;
                break;
            }
        if (two)
            continue;
        ++i;
        if (std::string_view("(),+-*/%&|^~!<>=:$[]?").find(c) != std::string_view::npos) {
            push(Kind::Op, std::string(1, c), start);
            continue;
        }
        fail(std::string("unexpected character '") + c + "'");
    }
    return out;
}

bool endsCommentBlock(std::string_view line) {
    const LexedLine l = lex(line);
    return !l.tokens.empty() && l.tokens[0].kind == Kind::Hash &&
           z80::lower(l.tokens[0].text) == "#endcomment";
}

bool opensCommentBlock(const LexedLine &line) {
    return !line.tokens.empty() && line.tokens[0].kind == Kind::Hash &&
           z80::lower(line.tokens[0].text) == "#comment";
}

std::string spell(const std::vector<Token> &tokens, size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < tokens.size() && i < end; ++i) {
        const Token &t = tokens[i];
        if (i > begin && t.spaced)
            out += ' ';
        if (!t.raw.empty())
            out += t.raw;
        else if (t.kind == Kind::String)
            out += '"' + t.text + '"';
        else if (t.kind == Kind::Char)
            out += '\'' + t.text + '\'';
        else
            out += t.text;
    }
    return out;
}

Token numberToken(std::int64_t value) {
    Token t;
    t.kind = Kind::Number;
    t.value = value;
    t.text = std::to_string(value);
    t.spaced = true;
    return t;
}

} // namespace z80
