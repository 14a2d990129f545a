#include "expr.h"

#include "base/utf8.h"
#include "vocabulary.h"

#include <cmath>
#include <cstdlib>
#include <iterator>

namespace z80 {
namespace {

const char *const kBinary[] = {"+",  "-", "*",  "/", "%", "&",  "|",  "^",  "<<", ">>",
                               "==", "=", "!=", "<", ">", "<=", ">=", "&&", "||"};

bool isBinary(const Token &t) {
    if (t.kind != Kind::Op)
        return false;
    for (const char *op : kBinary)
        if (t.text == op)
            return true;
    return false;
}

// How tightly a binary operator binds in Brass, which splits an expression
// at its loosest operator: || && | ^ & (== !=) (>= <=) (>> <<) (> <) (+ -)
// (* / %), loosest first.
int binding(const std::string &op) {
    static const char *const levels[][3] = {
        {"||"},       {"&&"},       {"|"},      {"^"},      {"&"},          {"==", "!=", "="},
        {">=", "<="}, {">>", "<<"}, {">", "<"}, {"+", "-"}, {"*", "/", "%"}};
    for (int level = 0; level < int(std::size(levels)); ++level)
        for (const char *o : levels[level])
            if (o && op == o)
                return level + 1;
    return 0;
}

} // namespace

std::int64_t oneCodePoint(std::string_view text) {
    return base::decodeOneUtf8(text);
}

namespace {

class Parser {
public:
    Parser(const std::vector<Token> &t, size_t begin, size_t end, bool precedence)
        : m_t(t), m_i(begin), m_end(end), m_precedence(precedence) {}

    // Read left to right, the operators would group otherwise in Brass's order.
    bool regroups() const { return m_regroups; }

    ExprPtr parse(std::string *error) {
        ExprPtr e = inner(0);
        if (m_error.empty() && m_i < m_end)
            fail("unexpected '" + spell(m_t, m_i, m_end) + "'");
        if (!m_error.empty()) {
            *error = m_error;
            return nullptr;
        }
        return e;
    }

private:
    void fail(const std::string &text) {
        if (m_error.empty())
            m_error = text;
    }
    bool at(const char *op) const { return m_i < m_end && m_t[m_i].isOp(op); }

    // The operator read next, as a node with `*left` as its left side; null
    // (and `*left` kept) past the operator budget: each operator adds a
    // level to the tree, which is walked recursively.
    ExprPtr operatorNode(ExprPtr *left) {
        if (++m_operators > kMaxOperators) {
            fail("the expression has more than " + std::to_string(kMaxOperators) + " operators");
            return nullptr;
        }
        auto node = std::make_unique<Expr>();
        node->kind = Expr::Kind::Binary;
        node->op = m_t[m_i++].text;
        node->left = std::move(*left);
        return node;
    }

    ExprPtr chain(int depth) {
        ExprPtr acc = unary(depth);
        int before = 0; // how tightly the operator before binds in Brass
        while (m_error.empty() && m_i < m_end && isBinary(m_t[m_i])) {
            // Brass's order differs once an operator binds tighter than the one before it.
            const int now = binding(m_t[m_i].text);
            m_regroups = m_regroups || (before > 0 && now > before);
            before = now;
            auto node = operatorNode(&acc);
            if (!node)
                return acc;
            node->right = unary(depth);
            acc = std::move(node);
        }
        return acc;
    }

    // Brass's order: operators of a tighter level first, left to right within one.
    ExprPtr climb(int depth, int least) {
        ExprPtr acc = unary(depth);
        while (m_error.empty() && m_i < m_end && isBinary(m_t[m_i]) &&
               binding(m_t[m_i].text) >= least) {
            auto node = operatorNode(&acc);
            if (!node)
                return acc;
            node->right = climb(depth + 1, binding(node->op) + 1);
            acc = std::move(node);
        }
        return acc;
    }

    // Brass's "(test)?(then):(else)", the loosest of all.
    ExprPtr inner(int depth) {
        ExprPtr e = m_precedence ? climb(depth, 1) : chain(depth);
        if (!m_error.empty() || !at("?"))
            return e;
        ++m_i;
        auto node = std::make_unique<Expr>();
        node->kind = Expr::Kind::Choice;
        node->left = std::move(e);
        node->right = inner(depth + 1);
        if (!at(":")) {
            fail("'?' needs a ':' after its first value");
            return nullptr;
        }
        ++m_i;
        node->third = inner(depth + 1);
        return node;
    }

    ExprPtr unary(int depth) {
        if (depth > kMaxExpressionDepth) {
            fail("the expression nests deeper than " + std::to_string(kMaxExpressionDepth) +
                 " levels");
            return nullptr;
        }
        if (ExprPtr reusable = reusableReference())
            return reusable;
        if (ExprPtr page = brassPage())
            return page;
        for (const char *op : {"-", "+", "~", "!"}) {
            if (at(op)) {
                ++m_i;
                auto node = std::make_unique<Expr>();
                node->kind = Expr::Kind::Unary;
                node->op = op;
                node->left = unary(depth + 1);
                return node;
            }
        }
        return primary(depth);
    }

    // Brass's label access operator, the tightest of all (Brass 3's help,
    // "Operators" and the .page directive's "Current page = ", :$): ":name"
    // is the page of a label, ":$" the page being written.
    ExprPtr brassPage() {
        if (!m_precedence || !at(":") || m_i + 1 >= m_end || m_t[m_i + 1].spaced)
            return nullptr;
        const Token &t = m_t[m_i + 1];
        if (!t.isOp("$") && t.kind != Kind::Name)
            return nullptr;
        auto node = std::make_unique<Expr>();
        node->kind = Expr::Kind::Page;
        if (t.kind == Kind::Name) {
            node->name = t.text;
            if (!t.elsewhere) {
                node->column = int(t.start);
                node->length = int(t.length);
            }
        }
        m_i += 2;
        return node;
    }

    // "-_", "--_", "+_", "++_": the reusable label so many back or ahead.
    ExprPtr reusableReference() {
        if (!at("-") && !at("+"))
            return nullptr;
        const std::string sign = m_t[m_i].text;
        size_t k = m_i;
        while (k < m_end && m_t[k].isOp(sign) && (k == m_i || !m_t[k].spaced))
            ++k;
        if (k >= m_end || !m_t[k].is(Kind::Name, "_") || m_t[k].spaced)
            return nullptr;
        auto node = std::make_unique<Expr>();
        node->kind = Expr::Kind::Reusable;
        node->value = std::int64_t(k - m_i) * (sign == "-" ? -1 : 1);
        m_i = k + 1;
        return node;
    }

    ExprPtr primary(int depth) {
        if (m_i >= m_end) {
            fail("an expression ends too early");
            return nullptr;
        }
        const Token &t = m_t[m_i];
        auto node = std::make_unique<Expr>();
        if (t.isOp("(") || t.isOp("[")) {
            ++m_i;
            ExprPtr e = inner(depth + 1);
            if (!at(t.text == "(" ? ")" : "]"))
                fail("a bracket is not closed");
            else
                ++m_i;
            return e;
        }
        ++m_i;
        if (t.kind == Kind::Number && t.bad) {
            fail("'" + t.text + "' is not a number");
            return nullptr;
        }
        if (t.kind == Kind::String && t.text.size() == 1) { // "x" stands for its code too
            node->value = static_cast<unsigned char>(t.text[0]);
        } else if (t.kind == Kind::String && t.raw.size() > 2 && t.raw[0] == '\'' &&
                   oneCodePoint(t.text) >= 0) { // '∫': Brass reads its source as UTF-8
            node->value = oneCodePoint(t.text);
        } else if (m_precedence && t.kind == Kind::String && t.text.size() >= 2 &&
                   t.text.size() <= 4) {
            // Brass: "K8" is its characters from the lowest byte up ('K' + '8'*256).
            for (size_t k = t.text.size(); k-- > 0;)
                node->value = node->value << 8 | static_cast<unsigned char>(t.text[k]);
        } else if (t.kind == Kind::Number && t.raw.find('.') != std::string::npos) {
            node->value = t.value; // Brass: 2.5
            node->real = std::strtod(t.raw.c_str(), nullptr);
            node->isReal = true;
        } else if (t.kind == Kind::Number || t.kind == Kind::Char) {
            node->value = t.value;
        } else if (t.isOp("$")) {
            node->kind = Expr::Kind::Pc;
        } else if (t.is(Kind::Name, "_")) { // spasm-ng: '_' alone is the next '_' label
            node->kind = Expr::Kind::Reusable;
            node->value = 1;
        } else if (t.kind == Kind::Name && t.text.size() > 2 && t.text.front() == '{' &&
                   t.text.back() == '}') {
            return braced(t.text.substr(1, t.text.size() - 2));
        } else if (t.kind == Kind::Name && m_i < m_end && m_t[m_i].isOp("(") && !m_t[m_i].spaced &&
                   brassTypeSize(t.text) > 0 && !sameWord(t.text, "tifloat")) {
            ++m_i; // Brass's cast: word(-1634.3)
            node->kind = Expr::Kind::Cast;
            node->op = lower(t.text);
            node->left = inner(depth + 1);
            if (!at(")"))
                fail("a bracket is not closed");
            else
                ++m_i;
        } else if (t.kind == Kind::Name) {
            node->kind = Expr::Kind::Symbol;
            node->name = t.text;
            if (!t.elsewhere) {
                node->column = int(t.start);
                node->length = int(t.length);
            }
        } else {
            fail(t.kind == Kind::String ? "a string \"" + t.text + "\" is not a number"
                                        : "unexpected '" + t.text + "'");
            return nullptr;
        }
        return node;
    }

    // Brass's "{+}", "{--}": the nearest label of that family ahead or
    // behind; "{@}", "{2@}", "{-1@}": the bookmark so many ahead or behind.
    ExprPtr braced(const std::string &in) {
        auto node = std::make_unique<Expr>();
        node->kind = Expr::Kind::Reusable;
        if (!in.empty() && in.find_first_not_of(in[0]) == std::string::npos &&
            (in[0] == '+' || in[0] == '-')) {
            node->name = in;
            node->value = in[0] == '+' ? 1 : -1;
            return node;
        }
        if (!in.empty() && in.back() == '@') {
            char *end = nullptr;
            const std::string count = in.substr(0, in.size() - 1);
            const long n = count.empty() ? 1 : std::strtol(count.c_str(), &end, 10);
            if (n != 0 && (count.empty() || *end == '\0')) {
                node->name = "@";
                node->value = n;
                return node;
            }
        }
        fail("'{" + in + "}' is not a reusable label ({+}, {-}, {@} ...)");
        return nullptr;
    }

    static constexpr int kMaxOperators = 500;
    const std::vector<Token> &m_t;
    size_t m_i, m_end;
    bool m_precedence;
    int m_operators = 0;
    bool m_regroups = false;
    std::string m_error;
};

std::int64_t wrap(std::int64_t v) {
    return std::int64_t(std::int32_t(std::uint32_t(std::uint64_t(v))));
}

// A value as Brass keeps it: whole, or with a fraction.
struct Num {
    std::int64_t i = 0;
    double d = 0;
    bool real = false;
    double asReal() const { return real ? d : double(i); }
    std::int64_t whole() const {
        if (!real)
            return i;
        // Cut toward zero, then to 32 bits as every value is.
        if (!std::isfinite(d))
            return 0;
        const double t = std::trunc(d);
        return wrap(std::int64_t(std::uint64_t(std::int64_t(std::fmod(t, 4294967296.0)))));
    }
};

Num whole(std::int64_t v) {
    return {v, 0, false};
}

class Evaluator {
public:
    Evaluator(const Resolve &resolve, const RealOf *realOf)
        : m_resolve(resolve), m_realOf(realOf) {}
    std::optional<Num> run(const Expr &e) {
        if (!m_error.empty())
            return std::nullopt;
        switch (e.kind) {
        case Expr::Kind::Number:
            if (e.isReal)
                return Num{0, e.real, true};
            return whole(wrap(e.value));
        case Expr::Kind::Symbol:
        case Expr::Kind::Pc:
        case Expr::Kind::Reusable:
        case Expr::Kind::Page: {
            std::string error;
            if (auto v = m_resolve(e, &error)) {
                if (m_realOf && e.kind == Expr::Kind::Symbol)
                    if (const auto r = (*m_realOf)(e))
                        return Num{0, *r, true};
                return whole(wrap(*v));
            }
            return fail(error);
        }
        case Expr::Kind::Unary:
            return unary(e);
        case Expr::Kind::Binary:
            return binary(e);
        case Expr::Kind::Cast: {
            const auto x = run(*e.left);
            if (!x)
                return std::nullopt;
            const auto c = brassCast(e.op, x->asReal());
            if (!c)
                return fail("'" + e.op + "' is not a type to cast to");
            return whole(std::int64_t(*c));
        }
        case Expr::Kind::Choice: {
            const auto test = run(*e.left);
            if (!test)
                return std::nullopt;
            return run(test->asReal() != 0 ? *e.right : *e.third);
        }
        }
        return std::nullopt;
    }
    std::string m_error;

private:
    std::optional<Num> fail(const std::string &text) {
        if (m_error.empty())
            m_error = text;
        return std::nullopt;
    }
    std::optional<Num> unary(const Expr &e) {
        const auto x = run(*e.left);
        if (!x)
            return std::nullopt;
        if (x->real && (e.op == "-" || e.op == "+"))
            return Num{0, e.op == "-" ? -x->d : x->d, true};
        if (e.op == "-")
            return whole(wrap(-x->whole()));
        if (e.op == "~")
            return whole(wrap(~x->whole()));
        if (e.op == "!")
            return whole(x->asReal() == 0 ? 1 : 0);
        return x;
    }
    // The comparisons, of reals and of whole numbers alike; nullopt when
    // `op` is none of them.
    template <class T> static std::optional<bool> compared(const std::string &op, T x, T y) {
        if (op == "==" || op == "=")
            return x == y;
        if (op == "!=")
            return x != y;
        if (op == "<")
            return x < y;
        if (op == ">")
            return x > y;
        if (op == "<=")
            return x <= y;
        if (op == ">=")
            return x >= y;
        return std::nullopt;
    }
    std::optional<Num> binary(const Expr &e) {
        const auto a = run(*e.left);
        const auto b = run(*e.right);
        if (!a || !b)
            return std::nullopt;
        const std::string &op = e.op;
        if (a->real || b->real) {
            // Brass's arithmetic and comparisons in double precision; the
            // bitwise operators on whole numbers.
            const double x = a->asReal(), y = b->asReal();
            if (op == "/" && y == 0)
                return fail("division by zero");
            if (op == "+")
                return Num{0, x + y, true};
            if (op == "-")
                return Num{0, x - y, true};
            if (op == "*")
                return Num{0, x * y, true};
            if (op == "/")
                return Num{0, x / y, true};
            if (const auto c = compared(op, x, y))
                return whole(*c);
        }
        const std::int64_t x = a->whole(), y = b->whole();
        if ((op == "/" || op == "%") && y == 0)
            return fail("division by zero");
        if (op == "+")
            return whole(wrap(x + y));
        if (op == "-")
            return whole(wrap(x - y));
        if (op == "*")
            return whole(wrap(x * y));
        if (op == "/")
            return whole(wrap(x / y));
        if (op == "%")
            return whole(wrap(x % y));
        if (op == "&")
            return whole(wrap(x & y));
        if (op == "|")
            return whole(wrap(x | y));
        if (op == "^")
            return whole(wrap(x ^ y));
        if (op == "<<")
            return whole(wrap(std::int64_t(std::uint64_t(x) << (y & 31))));
        if (op == ">>")
            return whole(wrap(x >> (y & 31)));
        if (const auto c = compared(op, x, y))
            return whole(*c);
        if (op == "&&")
            return whole(x != 0 && y != 0);
        return whole(x != 0 || y != 0);
    }

    const Resolve &m_resolve;
    const RealOf *m_realOf;
};

} // namespace

ExprPtr parseExpression(const std::vector<Token> &tokens, size_t begin, size_t end,
                        std::string *error, bool precedence, bool *regroups) {
    Parser parser(tokens, begin, std::min(end, tokens.size()), precedence);
    ExprPtr e = parser.parse(error);
    if (regroups)
        *regroups = parser.regroups();
    return e;
}

std::optional<std::int64_t> evaluate(const Expr &e, const Lookup &lookup, std::string *error) {
    const Resolve resolve = [&lookup](const Expr &node, std::string *why) {
        std::optional<std::int64_t> v;
        if (node.kind == Expr::Kind::Symbol)
            v = lookup(node.name);
        if (!v)
            *why = node.kind == Expr::Kind::Symbol
                       ? "'" + node.name + "' has no value before assembly"
                       : "an address has no value before assembly";
        return v;
    };
    return evaluate(e, resolve, error);
}

std::optional<std::int64_t> evaluate(const Expr &e, const Resolve &resolve, std::string *error) {
    Evaluator ev(resolve, nullptr);
    const auto v = ev.run(e);
    if (!v) {
        *error = ev.m_error;
        return std::nullopt;
    }
    return v->whole();
}

std::optional<double> evaluateReal(const Expr &e, const Resolve &resolve, const RealOf &realOf,
                                   std::string *error) {
    Evaluator ev(resolve, &realOf);
    const auto v = ev.run(e);
    if (!v) {
        *error = ev.m_error;
        return std::nullopt;
    }
    return v->asReal();
}

std::optional<std::int64_t> evaluate(const Expr &e, const Resolve &resolve, const RealOf *realOf,
                                     std::string *error, std::optional<double> *fraction) {
    Evaluator ev(resolve, realOf);
    const auto v = ev.run(e);
    fraction->reset();
    if (!v) {
        *error = ev.m_error;
        return std::nullopt;
    }
    if (v->real && std::isfinite(v->d) && v->d != std::trunc(v->d))
        *fraction = v->d;
    if (v->real && !std::isfinite(v->d)) {
        *error = "the value is not a finite number";
        return std::nullopt;
    }
    return v->whole();
}

namespace {

// "fp8.8" -> {8, 8}; "ufp4.4" -> {4, 4}, unsigned.
bool fixedPoint(const std::string &type, int *whole, int *fraction, bool *isUnsigned) {
    std::string t = lower(type);
    *isUnsigned = t.compare(0, 1, "u") == 0;
    if (*isUnsigned)
        t.erase(0, 1);
    if (t.compare(0, 2, "fp") != 0)
        return false;
    const size_t dot = t.find('.');
    if (dot == std::string::npos || dot == 2 || dot + 1 >= t.size() ||
        t.find_first_not_of("0123456789", 2) != dot ||
        t.find_first_not_of("0123456789", dot + 1) != std::string::npos || t.size() > 12)
        return false;
    *whole = std::atoi(t.substr(2, dot - 2).c_str());
    *fraction = std::atoi(t.substr(dot + 1).c_str());
    return *whole + *fraction >= 1 && *whole + *fraction <= 32;
}

} // namespace

int brassTypeSize(const std::string &type) {
    const std::string t = lower(type);
    if (t == "byte" || t == "ubyte" || t == "asc" || t == "db")
        return 1;
    if (t == "word" || t == "uword" || t == "dw")
        return 2;
    if (t == "int" || t == "uint")
        return 4;
    if (t == "tifloat")
        return 9;
    int w = 0, f = 0;
    bool u = false;
    if (fixedPoint(t, &w, &f, &u))
        return (w + f - 1) / 8 + 1;
    return 0;
}

std::optional<double> brassCast(const std::string &type, double v) {
    const std::string t = lower(type);
    int bytes = brassTypeSize(t);
    if (bytes == 0 || t == "tifloat" || !std::isfinite(v))
        return std::nullopt;
    if (t == "asc")
        return std::fmod(std::round(v), 256.0);
    int w = 0, f = 0;
    bool isUnsigned = t[0] == 'u';
    if (fixedPoint(t, &w, &f, &isUnsigned))
        v *= std::ldexp(1.0, f);
    const double span = std::ldexp(1.0, 8 * bytes);
    double r = std::fmod(std::trunc(v), span);
    if (r < 0)
        r += span;
    if (!isUnsigned && r >= span / 2)
        r -= span;
    return r;
}

} // namespace z80
