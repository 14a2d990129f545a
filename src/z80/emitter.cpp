#include "emitter.h"

#include "expr.h"
#include "z80/vocabulary.h"

#include <cctype>
#include <set>

namespace z80 {
namespace {


// The ranges of comma-separated items in [begin, end), outside parentheses.
std::vector<std::pair<size_t, size_t>> items(const std::vector<Token> &t, size_t begin,
                                             size_t end) {
    std::vector<std::pair<size_t, size_t>> out;
    int depth = 0;
    size_t start = begin;
    for (size_t i = begin; i < end; ++i) {
        if (t[i].isOp("(") || t[i].isOp("["))
            ++depth;
        else if ((t[i].isOp(")") || t[i].isOp("]")) && depth > 0)
            --depth;
        else if (t[i].isOp(",") && depth == 0) {
            out.emplace_back(start, i);
            start = i + 1;
        }
    }
    if (end > begin)
        out.emplace_back(start, end);
    return out;
}

// Where the parenthesis that opens at `open` closes, or SIZE_MAX.
size_t closing(const std::vector<Token> &t, size_t open, size_t end) {
    int depth = 0;
    for (size_t i = open; i < end; ++i) {
        if (t[i].isOp("("))
            ++depth;
        else if (t[i].isOp(")") && --depth == 0)
            return i;
    }
    return SIZE_MAX;
}

// A string in pasmo's double quotes: printable ASCII as it is, every other
// byte as a \x escape.
std::string pasmoString(const std::string &bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += char(c);
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + "\"";
}

const std::set<std::string> kIgnored = {
    "list",       "nolist",       "eject",  "title", "echo",    "page",
    "binarymode", "variablename", "module", "codes", "nocodes", "chk",
    "msfirst",    "lsfirst",      "export", "local", "option",  "show"};

bool isDirectiveWord(const Token &t) {
    if (t.kind == Kind::Dot)
        return true;
    static const std::set<std::string> dotless = {"equ",  "org",  "db",   "dw",  "ds",   "defb",
                                                  "defw", "defs", "defm", "end", "byte", "word"};
    return t.kind == Kind::Name && dotless.count(lower(t.text));
}

std::string placeholder(size_t index) {
    return "\x01" + std::to_string(index) + "\x02";
}

} // namespace

void Emitter::emit(const std::string &text, const Origin &at) {
    m_lines.emplace_back(text, at);
}

std::string Emitter::symbol(const std::string &name) {
    m_refs.push_back({Reference::Kind::Symbol, name, 0, 0});
    return placeholder(m_refs.size() - 1);
}

std::string Emitter::defineLabel(const std::string &name, const Origin &at) {
    if (name == "_") {
        m_reusable.push_back(m_statement);
        m_refs.push_back({Reference::Kind::ReusableDefinition, name, m_statement,
                          std::int64_t(m_reusable.size())});
        return placeholder(m_refs.size() - 1);
    }
    const auto [it, fresh] = m_symbols.emplace(lower(name), Symbol{name, at});
    if (!fresh)
        m_diag.error(at, "'" + name + "' is already defined at " + it->second.defined.file + ":" +
                             std::to_string(it->second.defined.line));
    return symbol(name);
}

std::string Emitter::nameOf(const Expr &e) {
    if (e.kind == Expr::Kind::Symbol)
        return symbol(e.name);
    m_refs.push_back({Reference::Kind::ReusableUse, "_", m_statement, e.value});
    m_reuseOrigins.push_back({m_refs.size() - 1, m_current, m_diag.now});
    return placeholder(m_refs.size() - 1);
}

std::string Emitter::expression(const std::vector<Token> &t, size_t begin, size_t end,
                                const Origin &at, bool *ok) {
    std::string error;
    const ExprPtr e = parseExpression(t, begin, end, &error);
    if (!e) {
        m_diag.error(at, error.empty() ? "a value is missing" : error);
        *ok = false;
        return {};
    }
    return print(*e, [this](const Expr &x) { return nameOf(x); });
}

std::optional<std::int64_t> Emitter::constant(const std::string &name) const {
    const auto it = m_constants.find(lower(name));
    if (it == m_constants.end())
        return std::nullopt;
    return it->second;
}

Emitter::Result Emitter::statement(const std::vector<Token> &t, bool columnOne, const Origin &at) {
    ++m_statement;
    m_current = at;
    size_t i = 0;
    std::string label;
    if (!t.empty() && t[0].kind == Kind::Name && (columnOne || (t.size() > 1 && t[1].isOp(":")))) {
        label = t[0].text;
        i = t.size() > 1 && t[1].isOp(":") ? 2 : 1;
    }
    if (i == t.size()) {
        if (!label.empty())
            emit(defineLabel(label, at) + ":", at);
        return Result::Done;
    }
    const Token &head = t[i];
    if (head.isOp("=")) {
        equate(label, t, i + 1, at, "equ");
        return Result::Done;
    }
    if (isDirectiveWord(head)) {
        std::string key = lower(head.text);
        if (key[0] == '.')
            key.erase(0, 1);
        if (key == "equ" || key == "set" || key == "defl") {
            equate(label, t, i + 1, at, key == "equ" ? "equ" : "defl");
            return Result::Done;
        }
        const std::string prefix = label.empty() ? "\t" : defineLabel(label, at) + ":\t";
        bool ok = true;
        if (key == "org") {
            const std::string value = expression(t, i + 1, t.size(), at, &ok);
            if (ok)
                emit(prefix + "org " + value, at);
        } else if (key == "db" || key == "byte" || key == "text" || key == "defb" ||
                   key == "defm") {
            data(prefix, "db", t, i + 1, at);
        } else if (key == "dw" || key == "word" || key == "defw") {
            data(prefix, "dw", t, i + 1, at);
        } else if (key == "block" || key == "ds" || key == "defs" || key == "fill") {
            space(prefix, t, i + 1, key == "fill", at);
        } else if (key == "end") {
            if (!label.empty())
                emit(prefix, at);
            return Result::EndOfFile;
        } else if (key == "addinstr") {
            addInstruction(t, i + 1, at);
        } else if (key == "error") {
            m_diag.error(at, spell(t, i + 1));
        } else if (kIgnored.count(key)) {
            if (!label.empty())
                emit(prefix, at);
        } else {
            m_diag.error(at, "unknown directive '" + head.text + "'");
        }
        return Result::Done;
    }
    const std::string prefix = label.empty() ? "\t" : defineLabel(label, at) + ":\t";
    if (head.kind == Kind::Name && z80::isInstruction(head.text))
        instruction(prefix, t, i, at);
    else if (head.kind != Kind::Name || !added(prefix, t, i, at))
        m_diag.error(at, head.kind == Kind::Name ? "unknown instruction '" + head.text + "'"
                                                 : "unexpected '" + spell(t, i) + "'");
    return Result::Done;
}

void Emitter::equate(const std::string &label, const std::vector<Token> &t, size_t begin,
                     const Origin &at, const char *keyword) {
    if (label.empty() || label == "_") {
        m_diag.error(at, "an equate needs a name before it");
        return;
    }
    std::string error;
    const ExprPtr e = parseExpression(t, begin, t.size(), &error);
    if (!e) {
        m_diag.error(at, error.empty() ? "an equate needs a value" : error);
        return;
    }
    const std::string name = defineLabel(label, at);
    emit(name + " " + keyword + " " + print(*e, [this](const Expr &x) { return nameOf(x); }), at);
    const auto value = evaluate(
        *e, [this](const std::string &n) { return constant(n); }, &error);
    if (value)
        m_constants[lower(label)] = *value;
}

void Emitter::data(const std::string &prefix, const std::string &keyword,
                   const std::vector<Token> &t, size_t begin, const Origin &at) {
    std::string list;
    bool ok = true;
    for (const auto &[b, e] : items(t, begin, t.size())) {
        std::string item;
        if (b == e) {
            m_diag.error(at, "a value is missing in the list");
            return;
        }
        if (e == b + 1 && t[b].kind == Kind::String && keyword == "db") {
            if (t[b].text.empty())
                continue; // "" holds no byte
            item = pasmoString(t[b].text);
        } else {
            item = expression(t, b, e, at, &ok);
            if (!ok)
                return;
        }
        list += (list.empty() ? "" : ", ") + item;
    }
    if (list.empty() && begin >= t.size())
        m_diag.error(at, "'" + t[begin - 1].text + "' needs a value");
    else if (!list.empty())
        emit(prefix + keyword + " " + list, at);
    else if (prefix != "\t")
        emit(prefix, at);
}

void Emitter::space(const std::string &prefix, const std::vector<Token> &t, size_t begin, bool fill,
                    const Origin &at) {
    const auto parts = items(t, begin, t.size());
    if (parts.empty() || parts.size() > 2) {
        m_diag.error(at, "'" + t[begin - 1].text + "' takes a size and perhaps a fill value");
        return;
    }
    bool ok = true;
    std::string text = prefix + "ds " + expression(t, parts[0].first, parts[0].second, at, &ok);
    if (parts.size() == 2)
        text += ", " + expression(t, parts[1].first, parts[1].second, at, &ok);
    (void)fill; // a .fill without a value fills with 0, as .block does
    if (ok)
        emit(text, at);
}

// ".addinstr NAME ARGS OPCODE SIZE ...": fields apart by blanks. ARGS "*"
// takes one value; an instruction with no operand has none.
void Emitter::addInstruction(const std::vector<Token> &t, size_t begin, const Origin &at) {
    std::vector<std::string> fields;
    for (size_t i = begin; i < t.size(); ++i) {
        if (i == begin || t[i].spaced)
            fields.emplace_back();
        fields.back() += t[i].kind == Kind::String ? '"' + t[i].text + '"' : t[i].text;
    }
    if (fields.size() < 4) {
        m_diag.error(at, ".addinstr needs a name, operands, an opcode and a size");
        return;
    }
    Added a;
    if (fields[1] != "*" && fields[1] != "\"\"") {
        m_diag.error(at, ".addinstr with operands '" + fields[1] + "' is not supported");
        return;
    }
    if (fields[1] == "*")
        a.pattern = {"*"};
    const std::string &hex = fields[2];
    for (size_t k = 0; k < hex.size(); k += 2) {
        const std::string byte = hex.substr(k, 2);
        if (byte.size() != 2 || !std::isxdigit(static_cast<unsigned char>(byte[0])) ||
            !std::isxdigit(static_cast<unsigned char>(byte[1]))) {
            m_diag.error(at, "'" + hex + "' is not an opcode in hexadecimal");
            return;
        }
        a.opcode.push_back(std::uint8_t(std::stoi(byte, nullptr, 16)));
    }
    const int size = std::atoi(fields[3].c_str());
    a.operandBytes = size - int(a.opcode.size());
    if (a.operandBytes < 0 || a.operandBytes > 2 || (a.pattern.empty() && a.operandBytes != 0)) {
        m_diag.error(at, ".addinstr size " + fields[3] + " does not fit its opcode and operands");
        return;
    }
    m_added[lower(fields[0])].push_back(std::move(a));
}

bool Emitter::added(const std::string &prefix, const std::vector<Token> &t, size_t begin,
                    const Origin &at) {
    const auto it = m_added.find(lower(t[begin].text));
    if (it == m_added.end())
        return false;
    const bool hasOperand = begin + 1 < t.size();
    for (const Added &a : it->second) {
        if (a.pattern.empty() != !hasOperand)
            continue;
        std::string bytes;
        for (std::uint8_t b : a.opcode)
            bytes += (bytes.empty() ? "" : ", ") + std::to_string(b);
        if (!hasOperand) {
            emit(prefix + "db " + bytes, at);
            return true;
        }
        bool ok = true;
        const std::string value = expression(t, begin + 1, t.size(), at, &ok);
        if (!ok)
            return true;
        if (a.operandBytes == 1) {
            emit(prefix + "db " + bytes + ", " + value, at);
        } else {
            emit(prefix + "db " + bytes, at);
            if (a.operandBytes == 2)
                emit("\tdw " + value, at);
        }
        return true;
    }
    m_diag.error(at, "'" + t[begin].text + "' does not take " +
                         (hasOperand ? "an operand" : "no operand"));
    return true;
}

std::string Emitter::operand(const std::vector<Token> &t, size_t b, size_t e, const Origin &at,
                             bool *ok) {
    if (b == e) {
        m_diag.error(at, "an operand is missing");
        *ok = false;
        return {};
    }
    if (e == b + 1 && t[b].kind == Kind::Name &&
        (z80::isRegister(t[b].text) || z80::isCondition(t[b].text)))
        return lower(t[b].text);
    if (t[b].isOp("(") && closing(t, b, e) == e - 1) {
        const size_t in = b + 1, out = e - 1;
        if (out == in + 1 && t[in].kind == Kind::Name && z80::isRegister(t[in].text))
            return "(" + lower(t[in].text) + ")";
        const std::string reg = in < out && t[in].kind == Kind::Name ? lower(t[in].text) : "";
        // pasmo takes a displacement after '+' as a byte: a negative one, from
        // an equate say, is sent as its low byte.
        if ((reg == "ix" || reg == "iy") && in + 1 < out &&
            (t[in + 1].isOp("+") || t[in + 1].isOp("-")))
            return "(" + reg + "+(" +
                   expression(t, t[in + 1].isOp("+") ? in + 2 : in + 1, out, at, ok) + " AND 255))";
        return "(" + expression(t, in, out, at, ok) + ")";
    }
    const std::string value = expression(t, b, e, at, ok);
    // An immediate value never starts with '(' in pasmo's input, where that
    // would make it a memory reference.
    return !value.empty() && value[0] == '(' ? "0+" + value : value;
}

void Emitter::instruction(const std::string &prefix, const std::vector<Token> &t, size_t begin,
                          const Origin &at) {
    std::string mnemonic = lower(t[begin].text);
    auto parts = items(t, begin + 1, t.size());
    auto isWord = [&](size_t k, const char *word) {
        return k < parts.size() && parts[k].second == parts[k].first + 1 &&
               t[parts[k].first].kind == Kind::Name && lower(t[parts[k].first].text) == word;
    };
    auto spelled = [&](size_t k) { return lower(spell(t, parts[k].first, parts[k].second)); };
    // spasm-ng's forms and the undocumented instructions pasmo lacks.
    static const std::set<std::string> accumulator = {"sub", "and", "or", "xor", "cp"};
    if (accumulator.count(mnemonic) && parts.size() == 2 && isWord(0, "a"))
        parts.erase(parts.begin());
    if (mnemonic == "sl1")
        mnemonic = "sll";
    if (mnemonic == "in" && ((parts.size() == 2 && isWord(0, "f") && spelled(1) == "(c)") ||
                             (parts.size() == 1 && spelled(0) == "(c)"))) {
        emit(prefix + "db 237, 112", at);
        return;
    }
    if (mnemonic == "out" && parts.size() == 2 && spelled(0) == "(c)" && spelled(1) == "0") {
        emit(prefix + "db 237, 113", at);
        return;
    }
    std::string text = prefix + mnemonic;
    bool ok = true;
    for (size_t k = 0; k < parts.size(); ++k)
        text += (k ? "," : " ") + operand(t, parts[k].first, parts[k].second, at, &ok);
    if (mnemonic == "ex" && parts.size() == 2 && isWord(0, "af") && isWord(1, "af"))
        text += "'";
    if (ok)
        emit(text, at);
}

std::string Emitter::resolve(const std::string &text) const {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\x01') {
            out += text[i];
            continue;
        }
        const size_t close = text.find('\x02', i);
        const Reference &r = m_refs[std::stoul(text.substr(i + 1, close - i - 1))];
        i = close;
        if (r.kind != Reference::Kind::Symbol) {
            out += "_@" + std::to_string(r.offset);
            continue;
        }
        const auto it = m_symbols.find(lower(r.name));
        const std::string &name = it == m_symbols.end() ? r.name : it->second.spelling;
        out += name + (z80::isPasmoReserved(name) ? "@" : "");
    }
    return out;
}

void Emitter::finish(std::vector<std::string> *lines, std::vector<Origin> *origins) {
    // A use of a reusable label: the one so many back (counting one on the
    // same statement) or ahead.
    for (const ReuseSite &site : m_reuseOrigins) {
        Reference &r = m_refs[site.ref];
        const std::int64_t wanted = r.offset;
        std::int64_t found = 0;
        if (wanted < 0) {
            std::int64_t seen = 0;
            for (size_t k = m_reusable.size(); k-- > 0;)
                if (m_reusable[k] <= r.statement && --seen == wanted) {
                    found = std::int64_t(k + 1);
                    break;
                }
        } else {
            std::int64_t seen = 0;
            for (size_t k = 0; k < m_reusable.size(); ++k)
                if (m_reusable[k] > r.statement && ++seen == wanted) {
                    found = std::int64_t(k + 1);
                    break;
                }
        }
        if (!found)
            m_diag.error(site.at,
                         std::string("there is no reusable label '_' ") +
                             (wanted < 0 ? "that far back" : "that far ahead"),
                         site.place);
        r.kind = Reference::Kind::ReusableDefinition;
        r.offset = found;
    }
    for (const auto &[text, at] : m_lines) {
        lines->push_back(resolve(text));
        origins->push_back(at);
    }
}

} // namespace z80
