#include "translator.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>

namespace {

bool isIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
std::string lower(std::string s) {
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
std::string baseName(const std::string &path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string folderOf(const std::string &path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Where a quoted literal that starts at `i` ends (the index past its closing
// quote), or npos when it is not closed on the line. A quote right after a
// name character (as in af') opens nothing.
size_t literalEnd(const std::string &s, size_t i) {
    const char q = s[i];
    for (size_t k = i + 1; k < s.size(); ++k) {
        if (s[k] == '\\' && k + 1 < s.size())
            ++k;
        else if (s[k] == q)
            return k + 1;
    }
    return std::string::npos;
}
bool opensLiteral(const std::string &s, size_t i) {
    return (s[i] == '"' || s[i] == '\'') && !(s[i] == '\'' && i > 0 && isIdentChar(s[i - 1]));
}

// The line up to its comment (a ';' outside literals).
std::string withoutComment(const std::string &s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (opensLiteral(s, i)) {
            const size_t e = literalEnd(s, i);
            if (e == std::string::npos)
                return s;
            i = e - 1;
        } else if (s[i] == ';') {
            return s.substr(0, i);
        }
    }
    return s;
}

// Splits at `sep` outside literals and parentheses.
std::vector<std::string> splitTopLevel(const std::string &s, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (opensLiteral(s, i)) {
            const size_t e = literalEnd(s, i);
            const size_t end = e == std::string::npos ? s.size() : e;
            cur += s.substr(i, end - i);
            i = end - 1;
            continue;
        }
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
        if (c == sep && (depth == 0 || sep == '\\')) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

// ---- expressions, evaluated strictly left to right ----

class ExpressionReader {
public:
    explicit ExpressionReader(const std::string &text) : m_s(text) {}
    std::string read(std::string *error) {
        std::string out = chain();
        skipBlanks();
        if (m_error.empty() && m_i < m_s.size())
            fail("unexpected '" + m_s.substr(m_i) + "'");
        if (!m_error.empty()) {
            *error = m_error;
            return {};
        }
        // The outermost application needs no parentheses of its own.
        if (m_outerWrapped && out.size() >= 2)
            out = out.substr(1, out.size() - 2);
        return out;
    }

private:
    void fail(const std::string &text) {
        if (m_error.empty())
            m_error = text;
    }
    void skipBlanks() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t'))
            ++m_i;
    }
    bool take(const char *token) {
        skipBlanks();
        const size_t n = std::char_traits<char>::length(token);
        if (m_s.compare(m_i, n, token) == 0) {
            m_i += n;
            return true;
        }
        return false;
    }
    // A binary operator in pasmo's spelling, or empty at the end of the chain.
    std::string binaryOperator() {
        // Spaced words where pasmo would read a sign as part of a number
        // (&1F is a hexadecimal number there).
        static const std::pair<const char *, const char *> ops[] = {
            {"<<", " SHL "}, {">>", " SHR "}, {"<=", " LE "}, {">=", " GE "}, {"==", " EQ "},
            {"!=", " NE "},  {"+", " + "},    {"-", " - "},   {"*", " * "},   {"/", " / "},
            {"%", " MOD "},  {"&", " AND "},  {"|", " OR "},  {"^", " XOR "}, {"<", " LT "},
            {">", " GT "},   {"=", " EQ "}};
        for (const auto &[tasm, pasmo] : ops)
            if (take(tasm))
                return pasmo;
        return {};
    }
    std::string chain() {
        std::string acc = unary();
        m_outerWrapped = false;
        for (;;) {
            skipBlanks();
            if (m_i >= m_s.size() || m_s[m_i] == ')' || m_s[m_i] == ']')
                return acc;
            const std::string op = binaryOperator();
            if (op.empty())
                return acc;
            const std::string rhs = unary();
            // pasmo's true is -1; the classic assembler's is 1.
            const bool comparison = op == " EQ " || op == " NE " || op == " LT " || op == " GT " ||
                                    op == " LE " || op == " GE ";
            acc = comparison ? "(0 - (" + acc + op + rhs + "))" : "(" + acc + op + rhs + ")";
            m_outerWrapped = true;
        }
    }
    std::string unary() {
        for (const char *op : {"-", "+", "~", "!"})
            if (take(op)) {
                const std::string operand = unary();
                return std::string("(") + (op[0] == '+' ? "" : op) + operand + ")";
            }
        return primary();
    }
    std::string primary() {
        skipBlanks();
        if (m_i >= m_s.size()) {
            fail("an expression ends too early");
            return "0";
        }
        const char c = m_s[m_i];
        if (c == '(' || c == '[') {
            ++m_i;
            const bool saved = m_outerWrapped;
            const std::string inner = chain();
            m_outerWrapped = saved;
            if (!take(c == '(' ? ")" : "]"))
                fail("a bracket is not closed");
            return "(" + inner + ")";
        }
        if (c == '\'')
            return character();
        if (c == '$' &&
            !(m_i + 1 < m_s.size() && std::isxdigit(static_cast<unsigned char>(m_s[m_i + 1])))) {
            ++m_i;
            return "$";
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '%')
            return number();
        if (isIdentStart(c)) {
            const size_t b = m_i;
            while (m_i < m_s.size() && isIdentChar(m_s[m_i]))
                ++m_i;
            return m_s.substr(b, m_i - b);
        }
        fail(std::string("unexpected '") + c + "'");
        ++m_i;
        return "0";
    }
    std::string character() {
        const size_t e = literalEnd(m_s, m_i);
        if (e == std::string::npos) {
            fail("a character literal is not closed");
            m_i = m_s.size();
            return "0";
        }
        const std::string body = m_s.substr(m_i + 1, e - m_i - 2);
        m_i = e;
        int value = -1;
        if (body.size() == 1) {
            value = static_cast<unsigned char>(body[0]);
        } else if (body.size() == 2 && body[0] == '\\') {
            const std::string escapes = "n\nr\rt\t0\0\\\\''\"\"";
            for (size_t k = 0; k + 1 < escapes.size(); k += 2)
                if (escapes[k] == body[1])
                    value = static_cast<unsigned char>(escapes[k + 1]);
        }
        if (value < 0)
            fail("a character literal holds one character: '" + body + "'");
        return std::to_string(std::max(value, 0));
    }
    std::string number() {
        const size_t b = m_i;
        int base = 10;
        std::string digits;
        if (m_s[m_i] == '$' || m_s[m_i] == '%') {
            base = m_s[m_i] == '$' ? 16 : 2;
            ++m_i;
        }
        while (m_i < m_s.size() && std::isalnum(static_cast<unsigned char>(m_s[m_i])))
            digits += m_s[m_i++];
        const std::string token = m_s.substr(b, m_i - b);
        if (base == 10) {
            const std::string l = lower(digits);
            if (l.size() > 2 && l[0] == '0' && l[1] == 'x') {
                base = 16;
                digits = digits.substr(2);
            } else if (l.back() == 'h') {
                base = 16;
                digits.pop_back();
            } else if (l.back() == 'b' && l.find_first_not_of("01", 0) == l.size() - 1) {
                base = 2;
                digits.pop_back();
            } else if (l.back() == 'o' || l.back() == 'q') {
                base = 8;
                digits.pop_back();
            }
        }
        unsigned long value = 0;
        for (char d : digits) {
            const int v = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                          : std::isalpha(static_cast<unsigned char>(d))
                              ? std::tolower(static_cast<unsigned char>(d)) - 'a' + 10
                              : 99;
            if (v >= base) {
                fail("'" + token + "' is not a number");
                return "0";
            }
            value = (value * unsigned(base) + unsigned(v)) & 0xFFFFFFFFul;
        }
        if (digits.empty())
            fail("'" + token + "' is not a number");
        return std::to_string(value);
    }

    const std::string &m_s;
    size_t m_i = 0;
    std::string m_error;
    bool m_outerWrapped = false;
};

// Evaluates what ExpressionReader wrote (numbers in decimal, every operation
// but the outermost in parentheses), with pasmo's values: true is -1.
class Evaluator {
public:
    explicit Evaluator(const std::string &text) : m_s(text) {}
    bool run(long *value, std::string *error) {
        long v = applyChain();
        skipBlanks();
        if (m_error.empty() && m_i < m_s.size())
            m_error = "unexpected '" + m_s.substr(m_i) + "'";
        if (!m_error.empty()) {
            *error = m_error;
            return false;
        }
        *value = v;
        return true;
    }

private:
    void skipBlanks() {
        while (m_i < m_s.size() && m_s[m_i] == ' ')
            ++m_i;
    }
    long applyChain() {
        long acc = operand();
        for (;;) {
            skipBlanks();
            if (m_i >= m_s.size() || m_s[m_i] == ')')
                return acc;
            size_t e = m_i;
            while (e < m_s.size() && m_s[e] != ' ' && m_s[e] != '(' &&
                   !std::isdigit(static_cast<unsigned char>(m_s[e])))
                ++e;
            const std::string op = m_s.substr(m_i, e - m_i);
            m_i = e;
            acc = apply(acc, op, operand());
        }
    }
    long apply(long a, const std::string &op, long b) {
        if ((op == "/" || op == "MOD") && b == 0) {
            m_error = "division by zero";
            return 0;
        }
        // Arithmetic wraps, as the assembler's own does; comparisons are signed.
        const unsigned long ua = static_cast<unsigned long>(a), ub = static_cast<unsigned long>(b);
        const long t = -1;
        if (op == "+")
            return long(ua + ub);
        if (op == "-")
            return long(ua - ub);
        if (op == "*")
            return long(ua * ub);
        if (op == "/")
            return long(ua / ub);
        if (op == "MOD")
            return long(ua % ub);
        if (op == "AND")
            return a & b;
        if (op == "OR")
            return a | b;
        if (op == "XOR")
            return a ^ b;
        if (op == "SHL")
            return long(ua << (ub & 31));
        if (op == "SHR")
            return long(ua >> (ub & 31));
        if (op == "EQ")
            return a == b ? t : 0;
        if (op == "NE")
            return a != b ? t : 0;
        if (op == "LT")
            return a < b ? t : 0;
        if (op == "GT")
            return a > b ? t : 0;
        if (op == "LE")
            return a <= b ? t : 0;
        if (op == "GE")
            return a >= b ? t : 0;
        m_error = "unknown operator '" + op + "'";
        return 0;
    }
    long operand() {
        skipBlanks();
        if (m_i >= m_s.size()) {
            m_error = "an expression ends too early";
            return 0;
        }
        const char c = m_s[m_i];
        if (c == '(') {
            ++m_i;
            skipBlanks();
            long v = 0;
            if (m_i < m_s.size() && (m_s[m_i] == '-' || m_s[m_i] == '~' || m_s[m_i] == '!')) {
                const char u = m_s[m_i++];
                const long x = operand();
                v = u == '-'   ? long(0ul - static_cast<unsigned long>(x))
                    : u == '~' ? ~x
                               : (x == 0 ? -1 : 0);
            } else {
                v = applyChain();
            }
            skipBlanks();
            if (m_i < m_s.size() && m_s[m_i] == ')')
                ++m_i;
            else if (m_error.empty())
                m_error = "a bracket is not closed";
            return v;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            unsigned long v = 0;
            while (m_i < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i])))
                v = v * 10 + unsigned(m_s[m_i++] - '0');
            return long(v);
        }
        size_t e = m_i;
        while (e < m_s.size() && (isIdentChar(m_s[e]) || m_s[e] == '$'))
            ++e;
        if (m_error.empty())
            m_error = "'" + m_s.substr(m_i, std::max<size_t>(e - m_i, 1)) +
                      "' has no value before assembly";
        m_i = std::max(e, m_i + 1);
        return 0;
    }

    const std::string &m_s;
    size_t m_i = 0;
    std::string m_error;
};

// ---- statements ----

constexpr size_t kMaxExpandedLine = 64 * 1024;

struct Macro {
    bool function = false;
    std::vector<std::string> params;
    std::string body;
};

class Translator {
public:
    Translator(std::vector<std::string> includeFolders, std::string mainFolder)
        : m_includeFolders(std::move(includeFolders)), m_mainFolder(std::move(mainFolder)) {}

    void translate(const std::string &text, const std::string &name, const std::string &folder) {
        translateText(text, name, folder, 0);
        if (!m_conditions.empty())
            error(m_conditions.back().where,
                  "#" + m_conditions.back().directive + " has no #endif");
    }
    Translation result;

private:
    struct Condition {
        bool active;       // whether lines under it are assembled
        bool parentActive; // whether the lines around it are
        bool seenElse;
        SourceLine where;
        std::string directive;
    };

    void error(const SourceLine &at, const std::string &text) {
        result.errors.push_back(at.file + ":" + std::to_string(at.line) + ": error: " + text);
    }
    bool active() const { return m_conditions.empty() || m_conditions.back().active; }
    void emit(const std::string &line, const SourceLine &at) {
        result.lines.push_back(line);
        result.origins.push_back(at);
    }

    void translateText(const std::string &text, const std::string &name, const std::string &folder,
                       int depth) {
        std::vector<std::string> lines;
        std::string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                lines.push_back(cur);
                cur.clear();
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;
            } else {
                cur += text[i];
            }
        }
        if (!cur.empty())
            lines.push_back(cur);
        for (size_t n = 0; n < lines.size() && !m_ended; ++n)
            translateLine(lines[n], {name, int(n + 1)}, folder, depth);
    }

    void translateLine(const std::string &raw, const SourceLine &at, const std::string &folder,
                       int depth) {
        const std::string t = trim(raw);
        if (!t.empty() && t[0] == '#') {
            preprocessorLine(t, at, folder, depth);
            return;
        }
        if (!active())
            return;
        std::string expanded = raw;
        if (!expand(&expanded, at, 0))
            return;
        const std::string code = withoutComment(expanded);
        const std::string lowered = lower(trim(code));
        if (lowered.rfind("include ", 0) == 0 || lowered.rfind(".include ", 0) == 0) {
            include(trim(trim(code).substr(lowered.find(' '))), at, folder, depth);
            return;
        }
        const std::vector<std::string> statements = splitTopLevel(code, '\\');
        for (size_t k = 0; k < statements.size() && !m_ended; ++k)
            statement(statements[k], k == 0, at);
    }

    void preprocessorLine(const std::string &t, const SourceLine &at, const std::string &folder,
                          int depth) {
        size_t i = 1;
        while (i < t.size() && std::isalpha(static_cast<unsigned char>(t[i])))
            ++i;
        const std::string directive = lower(t.substr(1, i - 1));
        const std::string rest = trim(withoutComment(t.substr(i)));
        if (directive == "ifdef" || directive == "ifndef") {
            const bool defined = m_macros.count(rest) > 0;
            m_conditions.push_back(
                {active() && (defined == (directive == "ifdef")), active(), false, at, directive});
            return;
        }
        if (directive == "if") {
            bool value = false;
            if (active()) {
                std::string expression = rest, err;
                long v = 0;
                if (!expand(&expression, at, 0))
                    return;
                const std::string translated = translateExpression(trim(expression), &err);
                if (err.empty())
                    Evaluator(translated).run(&v, &err);
                if (!err.empty())
                    return error(at, "#if " + rest + ": " + err);
                value = v != 0;
            }
            m_conditions.push_back({active() && value, active(), false, at, directive});
            return;
        }
        if (directive == "else") {
            if (m_conditions.empty() || m_conditions.back().seenElse)
                return error(at, "#else without #if");
            Condition &c = m_conditions.back();
            c.seenElse = true;
            c.active = c.parentActive && !c.active;
            return;
        }
        if (directive == "endif") {
            if (m_conditions.empty())
                return error(at, "#endif without #if");
            m_conditions.pop_back();
            return;
        }
        if (!active())
            return;
        if (directive == "define")
            return define(t.substr(i), at);
        if (directive == "undefine" || directive == "undef") {
            m_macros.erase(rest);
            return;
        }
        if (directive == "include")
            return include(rest, at, folder, depth);
        error(at, "unknown directive '#" + directive + "'");
    }

    void define(const std::string &text, const SourceLine &at) {
        size_t i = text.find_first_not_of(" \t");
        if (i == std::string::npos || !isIdentStart(text[i]))
            return error(at, "#define needs a name");
        const size_t b = i;
        while (i < text.size() && isIdentChar(text[i]))
            ++i;
        const std::string name = text.substr(b, i - b);
        Macro m;
        if (i < text.size() && text[i] == '(') {
            const size_t close = text.find(')', i);
            if (close == std::string::npos)
                return error(at, "#define " + name + "( has no ')'");
            m.function = true;
            for (const std::string &p : splitTopLevel(text.substr(i + 1, close - i - 1), ',')) {
                const std::string param = trim(p);
                if (param.empty() || !isIdentStart(param[0]))
                    return error(at, "#define " + name + " has a bad parameter '" + param + "'");
                m.params.push_back(param);
            }
            i = close + 1;
        }
        m.body = trim(withoutComment(text.substr(i)));
        m_macros[name] = m;
    }

    void include(std::string name, const SourceLine &at, const std::string &folder, int depth) {
        if (name.size() >= 2 && ((name.front() == '"' && name.back() == '"') ||
                                 (name.front() == '<' && name.back() == '>')))
            name = name.substr(1, name.size() - 2);
        if (name.empty())
            return error(at, "#include needs a file name");
        if (depth >= 16)
            return error(at, "includes nest too deeply (does " + name + " include itself?)");
        std::vector<std::string> folders = {folder, m_mainFolder};
        folders.insert(folders.end(), m_includeFolders.begin(), m_includeFolders.end());
        for (const std::string &dir : folders) {
            const std::string path = findIn(dir, name);
            if (path.empty())
                continue;
            std::ifstream in(path, std::ios::binary);
            std::stringstream buffer;
            buffer << in.rdbuf();
            translateText(buffer.str(), baseName(path), folderOf(path), depth + 1);
            return;
        }
        error(at, "include file '" + name + "' not found in " + folder + ", " + m_mainFolder +
                      (m_includeFolders.empty() ? "" : " or " + m_includeFolders.front()));
    }

    // The file `name` in `dir`, matched without regard to letter case when no
    // exact match exists, as the classic assembler's system did.
    static std::string findIn(const std::string &dir, const std::string &name) {
        const std::string exact = name[0] == '/' ? name : dir + "/" + name;
        if (std::ifstream(exact).good())
            return exact;
        if (name.find('/') != std::string::npos)
            return {};
        std::string found;
        if (DIR *d = opendir(dir.c_str())) {
            while (const dirent *e = readdir(d))
                if (lower(e->d_name) == lower(name)) {
                    found = dir + "/" + e->d_name;
                    break;
                }
            closedir(d);
        }
        return found;
    }

    // Replaces defined names outside literals and comments; false after an error.
    bool expand(std::string *line, const SourceLine &at, int depth) {
        if (depth > 32) {
            error(at, "a #define expands into itself");
            return false;
        }
        std::string &s = *line;
        bool changed = false;
        std::string out;
        for (size_t i = 0; i < s.size();) {
            if (opensLiteral(s, i)) {
                const size_t e = literalEnd(s, i);
                const size_t end = e == std::string::npos ? s.size() : e;
                out += s.substr(i, end - i);
                i = end;
                continue;
            }
            if (s[i] == ';') {
                out += s.substr(i);
                break;
            }
            if (!isIdentStart(s[i]) || (i > 0 && (isIdentChar(s[i - 1]) || s[i - 1] == '$'))) {
                out += s[i++];
                continue;
            }
            size_t e = i;
            while (e < s.size() && isIdentChar(s[e]))
                ++e;
            const std::string name = s.substr(i, e - i);
            const auto found = m_macros.find(name);
            if (found == m_macros.end()) {
                out += name;
                i = e;
                continue;
            }
            const Macro &m = found->second;
            if (!m.function) {
                out += m.body;
                i = e;
                changed = true;
                continue;
            }
            size_t open = s.find_first_not_of(" \t", e);
            if (open == std::string::npos || s[open] != '(') {
                error(at, name + " needs its arguments in parentheses");
                return false;
            }
            int level = 0;
            size_t close = open;
            for (; close < s.size(); ++close) {
                if (opensLiteral(s, close)) {
                    const size_t le = literalEnd(s, close);
                    if (le == std::string::npos)
                        break;
                    close = le - 1;
                    continue;
                }
                if (s[close] == '(')
                    ++level;
                else if (s[close] == ')' && --level == 0)
                    break;
            }
            if (close >= s.size()) {
                error(at, name + "( has no ')'");
                return false;
            }
            std::vector<std::string> args =
                splitTopLevel(s.substr(open + 1, close - open - 1), ',');
            if (args.size() == 1 && trim(args[0]).empty() && m.params.empty())
                args.clear();
            if (args.size() != m.params.size()) {
                error(at, name + " takes " + std::to_string(m.params.size()) +
                              " argument(s), not " + std::to_string(args.size()));
                return false;
            }
            out += substitute(m, args);
            i = close + 1;
            changed = true;
        }
        // A define that names itself grows the line with every round.
        if (out.size() > kMaxExpandedLine) {
            error(at, "a #define expands into itself");
            return false;
        }
        s = out;
        return !changed || expand(line, at, depth + 1);
    }

    static std::string substitute(const Macro &m, const std::vector<std::string> &args) {
        std::string out;
        const std::string &b = m.body;
        for (size_t i = 0; i < b.size();) {
            if (opensLiteral(b, i)) {
                const size_t e = literalEnd(b, i);
                const size_t end = e == std::string::npos ? b.size() : e;
                out += b.substr(i, end - i);
                i = end;
                continue;
            }
            if (isIdentStart(b[i]) && (i == 0 || !isIdentChar(b[i - 1]))) {
                size_t e = i;
                while (e < b.size() && isIdentChar(b[e]))
                    ++e;
                const std::string word = b.substr(i, e - i);
                const auto p = std::find(m.params.begin(), m.params.end(), word);
                out += p == m.params.end() ? word : trim(args[size_t(p - m.params.begin())]);
                i = e;
                continue;
            }
            out += b[i++];
        }
        return out;
    }

    void statement(const std::string &text, bool mayHaveLabel, const SourceLine &at) {
        std::string label;
        std::string rest = text;
        if (mayHaveLabel && !text.empty() && text[0] != ' ' && text[0] != '\t' && text[0] != '.') {
            size_t i = 0;
            while (i < text.size() && isIdentChar(text[i]))
                ++i;
            if (i == 0 || !isIdentStart(text[0]))
                return error(at, "a label must start with a letter: '" + trim(text) + "'");
            label = text.substr(0, i);
            rest = text.substr(i);
            if (!rest.empty() && rest[0] == ':')
                rest = rest.substr(1);
        }
        rest = trim(rest);
        if (rest.empty()) {
            if (!label.empty())
                emit(label + ":", at);
            return;
        }
        if (rest[0] == '=')
            return equate(label, rest.substr(1), at);
        size_t w = 0;
        while (w < rest.size() && rest[w] != ' ' && rest[w] != '\t')
            ++w;
        const std::string word = lower(rest.substr(0, w));
        const std::string operands = trim(rest.substr(w));
        const std::string prefix = label.empty() ? "        " : label + ": ";
        std::string err;
        if (word == ".equ" || word == "equ")
            return equate(label, operands, at);
        if (word == ".org" || word == "org")
            return emitChecked(prefix + "org " + operandList(operands, false, &err), err, at);
        if (word == ".db" || word == ".byte" || word == ".text" || word == "db" || word == "defb" ||
            word == "defm")
            return emitChecked(prefix + "db " + operandList(operands, true, &err), err, at);
        if (word == ".dw" || word == ".word" || word == "dw" || word == "defw")
            return emitChecked(prefix + "dw " + operandList(operands, true, &err), err, at);
        if (word == ".block" || word == ".fill" || word == ".ds" || word == "ds" || word == "defs")
            return emitChecked(prefix + "ds " + operandList(operands, false, &err), err, at);
        if (word == ".end" || word == "end") {
            emit(prefix + "end", at);
            m_ended = true;
            return;
        }
        if (word == ".list" || word == ".nolist" || word == ".echo" || word == ".eject" ||
            word == ".title") {
            if (!label.empty())
                emit(label + ":", at);
            return;
        }
        if (word[0] == '.')
            return error(at, "unknown directive '" + rest.substr(0, w) + "'");
        // An instruction: its operands, each as the Z80's forms need.
        std::string line = prefix + rest.substr(0, w);
        if (!operands.empty())
            line += " " + instructionOperands(operands, &err);
        emitChecked(line, err, at);
    }

    void equate(const std::string &label, const std::string &value, const SourceLine &at) {
        if (label.empty())
            return error(at, "an equate needs a label");
        std::string err;
        const std::string v = translateExpression(trim(value), &err);
        emitChecked(label + " equ " + v, err, at);
    }

    void emitChecked(const std::string &line, const std::string &err, const SourceLine &at) {
        if (!err.empty())
            return error(at, err);
        emit(line, at);
    }

    static std::string operandList(const std::string &operands, bool strings, std::string *err) {
        std::string out;
        for (const std::string &part : splitTopLevel(operands, ',')) {
            const std::string item = trim(part);
            if (!out.empty())
                out += ", ";
            if (strings && item.size() >= 2 && item[0] == '"' &&
                literalEnd(item, 0) == item.size()) {
                out += item;
                continue;
            }
            std::string e;
            out += translateExpression(item, &e);
            if (!e.empty() && err->empty())
                *err = e;
        }
        return out;
    }

    static std::string instructionOperands(const std::string &operands, std::string *err) {
        std::string out;
        for (const std::string &part : splitTopLevel(operands, ',')) {
            const std::string item = trim(part);
            if (!out.empty())
                out += ",";
            std::string e;
            out += instructionOperand(item, &e);
            if (!e.empty() && err->empty())
                *err = e;
        }
        return out;
    }

    // One operand. A whole parenthesised operand is a memory reference and
    // stays one; an immediate value never starts with '(' in pasmo's input,
    // where that would make it one.
    static std::string instructionOperand(const std::string &item, std::string *err) {
        if (lower(item) == "af'")
            return item;
        if (!item.empty() && item[0] == '(' && item.back() == ')' &&
            matchingClose(item, 0) == item.size() - 1) {
            const std::string inner = trim(item.substr(1, item.size() - 2));
            const std::string reg = lower(inner.substr(0, 2));
            if ((reg == "ix" || reg == "iy") && inner.size() > 2) {
                const std::string after = trim(inner.substr(2));
                if (!after.empty() && (after[0] == '+' || after[0] == '-'))
                    return "(" + inner.substr(0, 2) + after[0] + "(" +
                           translateExpression(trim(after.substr(1)), err) + "))";
            }
            return "(" + translateExpression(inner, err) + ")";
        }
        const std::string e = translateExpression(item, err);
        return !e.empty() && e[0] == '(' ? "0+" + e : e;
    }

    static size_t matchingClose(const std::string &s, size_t open) {
        int level = 0;
        for (size_t i = open; i < s.size(); ++i) {
            if (opensLiteral(s, i)) {
                const size_t e = literalEnd(s, i);
                if (e == std::string::npos)
                    return std::string::npos;
                i = e - 1;
            } else if (s[i] == '(') {
                ++level;
            } else if (s[i] == ')' && --level == 0) {
                return i;
            }
        }
        return std::string::npos;
    }

    std::vector<std::string> m_includeFolders;
    std::string m_mainFolder;
    std::map<std::string, Macro> m_macros;
    std::vector<Condition> m_conditions;
    bool m_ended = false;
};

} // namespace

std::string translateExpression(const std::string &expression, std::string *error) {
    std::string e;
    const std::string out = ExpressionReader(expression).read(&e);
    if (!e.empty()) {
        *error = "cannot read the expression '" + expression + "': " + e;
        return {};
    }
    return out;
}

Translation translateText(const std::string &text, const std::string &name,
                          const std::string &folder,
                          const std::vector<std::string> &includeFolders) {
    Translator t(includeFolders, folder);
    t.translate(text, name, folder);
    return std::move(t.result);
}

Translation translateFile(const std::string &path, const std::vector<std::string> &includeFolders) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Translation r;
        r.errors.push_back(baseName(path) + ":0: error: cannot read the source");
        return r;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    return translateText(buffer.str(), baseName(path), folderOf(path), includeFolders);
}
