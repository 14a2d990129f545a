#include "expr.h"

#include "base/utf8.h"

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

    ExprPtr parse(std::string *error) {
        ExprPtr e = m_precedence ? climb(0, 1) : chain(0);
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

    ExprPtr chain(int depth) {
        ExprPtr acc = unary(depth);
        while (m_error.empty() && m_i < m_end && isBinary(m_t[m_i])) {
            // Each operator adds a level to the tree, which is walked recursively.
            if (++m_operators > kMaxOperators) {
                fail("the expression has more than " + std::to_string(kMaxOperators) +
                     " operators");
                return acc;
            }
            auto node = std::make_unique<Expr>();
            node->kind = Expr::Kind::Binary;
            node->op = m_t[m_i++].text;
            node->left = std::move(acc);
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
            if (++m_operators > kMaxOperators) {
                fail("the expression has more than " + std::to_string(kMaxOperators) +
                     " operators");
                return acc;
            }
            auto node = std::make_unique<Expr>();
            node->kind = Expr::Kind::Binary;
            node->op = m_t[m_i++].text;
            node->left = std::move(acc);
            node->right = climb(depth + 1, binding(node->op) + 1);
            acc = std::move(node);
        }
        return acc;
    }

    ExprPtr inner(int depth) { return m_precedence ? climb(depth, 1) : chain(depth); }

    ExprPtr unary(int depth) {
        if (depth > kMaxExpressionDepth) {
            fail("the expression nests deeper than " + std::to_string(kMaxExpressionDepth) +
                 " levels");
            return nullptr;
        }
        if (ExprPtr reusable = reusableReference())
            return reusable;
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
    std::string m_error;
};

std::int64_t wrap(std::int64_t v) {
    return std::int64_t(std::int32_t(std::uint32_t(std::uint64_t(v))));
}

class Evaluator {
public:
    Evaluator(const Resolve &resolve) : m_resolve(resolve) {}
    std::optional<std::int64_t> run(const Expr &e) {
        if (!m_error.empty())
            return std::nullopt;
        switch (e.kind) {
        case Expr::Kind::Number:
            return wrap(e.value);
        case Expr::Kind::Symbol:
        case Expr::Kind::Pc:
        case Expr::Kind::Reusable: {
            std::string error;
            if (auto v = m_resolve(e, &error))
                return wrap(*v);
            return fail(error);
        }
        case Expr::Kind::Unary:
            return unary(e);
        case Expr::Kind::Binary:
            return binary(e);
        }
        return std::nullopt;
    }
    std::string m_error;

private:
    std::optional<std::int64_t> fail(const std::string &text) {
        if (m_error.empty())
            m_error = text;
        return std::nullopt;
    }
    std::optional<std::int64_t> unary(const Expr &e) {
        const auto x = run(*e.left);
        if (!x)
            return std::nullopt;
        if (e.op == "-")
            return wrap(-*x);
        if (e.op == "~")
            return wrap(~*x);
        if (e.op == "!")
            return *x == 0 ? 1 : 0;
        return *x;
    }
    std::optional<std::int64_t> binary(const Expr &e) {
        const auto a = run(*e.left);
        const auto b = run(*e.right);
        if (!a || !b)
            return std::nullopt;
        const std::int64_t x = *a, y = *b;
        const std::string &op = e.op;
        if ((op == "/" || op == "%") && y == 0)
            return fail("division by zero");
        if (op == "+")
            return wrap(x + y);
        if (op == "-")
            return wrap(x - y);
        if (op == "*")
            return wrap(x * y);
        if (op == "/")
            return wrap(x / y);
        if (op == "%")
            return wrap(x % y);
        if (op == "&")
            return wrap(x & y);
        if (op == "|")
            return wrap(x | y);
        if (op == "^")
            return wrap(x ^ y);
        if (op == "<<")
            return wrap(std::int64_t(std::uint64_t(x) << (y & 31)));
        if (op == ">>")
            return wrap(x >> (y & 31));
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
        if (op == "&&")
            return x != 0 && y != 0;
        return x != 0 || y != 0;
    }

    const Resolve &m_resolve;
};

} // namespace

ExprPtr parseExpression(const std::vector<Token> &tokens, size_t begin, size_t end,
                        std::string *error, bool precedence) {
    return Parser(tokens, begin, std::min(end, tokens.size()), precedence).parse(error);
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
    Evaluator ev(resolve);
    const auto v = ev.run(e);
    if (!v)
        *error = ev.m_error;
    return v;
}

} // namespace z80
