#include "lexer.h"

#include "z80/vocabulary.h"

#include <cctype>

namespace z80 {
namespace {

using z80::isNameChar;
using z80::isNameStart;
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}
int digitValue(char c) {
    if (std::isdigit(static_cast<unsigned char>(c)))
        return c - '0';
    if (std::isalpha(static_cast<unsigned char>(c)))
        return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
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
    const char last = char(std::tolower(static_cast<unsigned char>(word.back())));
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
// name ("and %0101") ends no value.
bool endsOperand(const std::vector<Token> &tokens) {
    if (tokens.empty())
        return false;
    const Token &t = tokens.back();
    if (t.kind == Kind::Name)
        return !z80::isInstruction(t.text);
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

} // namespace

std::string unescape(std::string_view body) {
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        switch (std::tolower(static_cast<unsigned char>(c))) {
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

LexedLine lex(std::string_view s) {
    LexedLine out;
    std::vector<Token> &t = out.tokens;
    bool spaced = true;
    auto push = [&](Kind kind, std::string text, std::int64_t value = 0) {
        Token tok;
        tok.kind = kind;
        tok.text = std::move(text);
        tok.value = value;
        tok.spaced = spaced;
        t.push_back(std::move(tok));
        spaced = false;
    };
    auto fail = [&](const std::string &text) {
        if (out.error.empty())
            out.error = text;
    };
    out.startsInColumnOne = !s.empty() && !isBlank(s[0]);
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (isBlank(c)) {
            spaced = true;
            ++i;
            continue;
        }
        if (c == ';')
            break;
        if (isNameStart(c)) {
            size_t k = i;
            while (k < s.size() && isNameChar(s[k]))
                ++k;
            std::string name(s.substr(i, k - i));
            // af' is one word; any other quote after a name opens nothing here.
            if (k < s.size() && s[k] == '\'' && z80::lower(name) == "af") {
                name += '\'';
                ++k;
            }
            push(Kind::Name, name);
            i = k;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            std::int64_t value = 0;
            if (const size_t n = spacedBinary(s, i)) {
                std::string digits;
                for (char d : s.substr(i, n - 1))
                    if (!isBlank(d))
                        digits += d;
                digitsValue(digits, 2, &value);
                push(Kind::Number, std::string(s.substr(i, n)), value);
                i += n;
                continue;
            }
            size_t k = i;
            while (k < s.size() && isNameChar(s[k]))
                ++k;
            const std::string word(s.substr(i, k - i));
            const bool bad = !numberValue(word, &value);
            push(Kind::Number, word, value);
            t.back().bad = bad;
            i = k;
            continue;
        }
        if ((c == '$' || c == '%') && i + 1 < s.size()) {
            const int base = c == '$' ? 16 : 2;
            size_t k = i + 1;
            while (k < s.size() && isNameChar(s[k]))
                ++k;
            std::int64_t value = 0;
            const std::string_view digits = s.substr(i + 1, k - i - 1);
            const bool number = !digits.empty() && digitValue(digits[0]) < base;
            // After an operand, '%' is the remainder operator.
            if (number && !(c == '%' && endsOperand(t))) {
                const bool bad = !digitsValue(digits, base, &value);
                push(Kind::Number, std::string(s.substr(i, k - i)), value);
                t.back().bad = bad;
                i = k;
                continue;
            }
        }
        if (c == '"' || c == '\'') {
            const size_t close = closingQuote(s, i);
            if (close == std::string_view::npos) {
                fail(c == '"' ? "a string is not closed" : "a character is not closed");
                break;
            }
            const std::string body = unescape(s.substr(i + 1, close - i - 1));
            if (c == '\'' && body.size() == 1)
                push(Kind::Char, body, static_cast<unsigned char>(body[0]));
            else
                push(Kind::String, body);
            i = close + 1;
            continue;
        }
        if ((c == '.' || c == '#') && i + 1 < s.size() && isNameStart(s[i + 1])) {
            size_t k = i + 1;
            while (k < s.size() && isNameChar(s[k]))
                ++k;
            push(c == '.' ? Kind::Dot : Kind::Hash, std::string(s.substr(i, k - i)));
            i = k;
            continue;
        }
        if (c == '\\') {
            push(Kind::Separator, "\\");
            ++i;
            continue;
        }
        static const char *const pairs[] = {"==", "!=", "<=", ">=", "<<", ">>", "&&", "||"};
        bool two = false;
        for (const char *p : pairs)
            if (s.compare(i, 2, p) == 0) {
                push(Kind::Op, p);
                i += 2;
                two = true;
                break;
            }
        if (two)
            continue;
        if (std::string_view("(),+-*/%&|^~!<>=:$[]").find(c) != std::string_view::npos) {
            push(Kind::Op, std::string(1, c));
            ++i;
            continue;
        }
        fail(std::string("unexpected character '") + c + "'");
        ++i;
    }
    return out;
}

std::string spell(const std::vector<Token> &tokens, size_t begin, size_t end) {
    std::string out;
    for (size_t i = begin; i < tokens.size() && i < end; ++i) {
        const Token &t = tokens[i];
        if (i > begin && t.spaced)
            out += ' ';
        if (t.kind == Kind::String)
            out += '"' + t.text + '"';
        else if (t.kind == Kind::Char)
            out += '\'' + t.text + '\'';
        else
            out += t.text;
    }
    return out;
}

} // namespace z80
