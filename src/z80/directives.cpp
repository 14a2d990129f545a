// The assembler's directives: .org, data and space, equates, .addinstr,
// .echo, .end, Brass's modules, and the listing directives it ignores.

#include "assembler.h"

#include "encoder.h"
#include "expr.h"
#include "operands.h"
#include "vocabulary.h"

#include <cctype>
#include <cstdlib>

namespace z80 {
namespace {

const std::set<std::string> kIgnored = {
    "list",    "nolist",  "eject",   "title",  "page",   "binarymode", "variablename", "codes",
    "nocodes", "msfirst", "lsfirst", "export", "option", "show",       "nestmodules"};

bool isDirectiveWord(const Token &t) {
    if (t.kind == Kind::Dot)
        return true;
    static const std::set<std::string> dotless = {"equ",  "org",  "db",   "dw",  "ds",   "defb",
                                                  "defw", "defs", "defm", "end", "byte", "word"};
    return t.kind == Kind::Name && dotless.count(lower(t.text));
}

} // namespace

// Handles the statement when its head at `i` is a directive; false when it
// is not one.
bool Assembler::directive(const std::string &label, const std::vector<Token> &t, size_t i) {
    if (!isDirectiveWord(t[i]))
        return false;
    std::string key = lower(t[i].text);
    if (key[0] == '.')
        key.erase(0, 1);
    if (key == "equ" || key == "set" || key == "defl") {
        equate(label, t, i + 1, key != "equ");
        return true;
    }
    if (key == "module") {
        const std::string name = i + 1 < t.size() ? lower(t[i + 1].text) : "";
        m_module = name == "noname"              ? ""
                   : m_nest && !m_module.empty() ? m_module + "." + name
                                                 : name;
    } else if (key == "endmodule") {
        const size_t dot = m_module.rfind('.');
        m_module = m_nest && dot != std::string::npos ? m_module.substr(0, dot) : "";
    } else if (key == "nestmodules") {
        m_nest = true;
    } else if (key == "local" || key == "endlocal") {
        m_local = key == "local";
    } else if (key == "global" || key == "endglobal") {
        m_global = key == "global";
    }
    defineLabel(label);
    if (key == "org") {
        const auto v = value(t, i + 1, t.size());
        // spasm-ng's app.inc places page N at $4000+N*$10000: an
        // application's page is seen at its low 16 bits, and '$' and the
        // labels keep the page in the bits above them (label>>16 is it), as
        // spasm-ng keeps it. Brass's labels are 16-bit; its .page says the page.
        const std::int64_t top = m_app ? 0xFFFFFF : 0xFFFF;
        if (v && (*v < 0 || *v > top))
            error("the address " + std::to_string(*v) + " is outside 0.." + std::to_string(top));
        const std::int64_t to = v.value_or(0) & (m_app && !m_brass ? top : 0xFFFF);
        if (m_brass)
            brassGap(to);
        m_pc = to;
    } else if (key == "db" || key == "byte" || key == "text" || key == "defb" || key == "defm") {
        data(t, i + 1, 1);
    } else if (key == "dw" || key == "word" || key == "defw") {
        data(t, i + 1, 2);
    } else if (key == "block" && m_brass) { // Brass: the bytes skipped hold its empty fill
        space(t, i + 1, m_emptyFill);
    } else if (key == "block" || key == "ds" || key == "defs" || (key == "fill" && !m_brass)) {
        space(t, i + 1);
    } else if (key == "end") {
        m_ended = true;
    } else if (key == "addinstr") {
        if (m_pass == 1) {
            addInstruction(t, i + 1);
            if (i + 1 < t.size() && t[i + 1].kind == Kind::Name)
                m_definitions.push_back({t[i + 1].text, Definition::Kind::Macro, std::nullopt,
                                         m_at.file, m_at.line,
                                         std::max(0, spanOf(t, i + 1, i + 2).column),
                                         comment()});
        }
    } else if (key == "echo") {
        echo(t, i + 1);
    } else if (key == "error") {
        error(spell(t, i + 1), true);
    } else if (brassDirective(key, t, i)) {
    } else if (!kIgnored.count(key) && key != "module" && key != "endmodule" && key != "local" &&
               key != "endlocal" && key != "global" && key != "endglobal") {
        if (m_pass == 1)
            m_diag.cause(m_at, "unknown directive '" + t[i].text + "'", m_place, spanOf(t, i, i + 1));
    }
    return true;
}

void Assembler::equate(const std::string &label, const std::vector<Token> &t, size_t begin,
                       bool set) {
    m_valuesOnly = true;
    if (label.empty() || label == "_") {
        error("an equate needs a name before it", true);
        return;
    }
    if (begin >= t.size()) {
        error("an equate needs a value", true);
        return;
    }
    const std::int64_t v = value(t, begin, t.size()).value_or(0);
    const std::optional<double> fraction = m_fraction;
    define(label, v, set, true);
    // Brass: a label may hold a value with a fraction.
    if (fraction)
        m_reals[key(label)] = *fraction;
    else if (!m_reals.empty())
        m_reals.erase(key(label));
}

void Assembler::emitValue(std::int64_t v, int bytes, bool checked) {
    if (checked && m_pass > 1) {
        bool cut = false;
        if (const std::string why = widthMisfit(v, bytes, &cut, m_brass, m_app); cut)
            warning(why, m_valueSpan);
        else if (!why.empty())
            error(why, false, m_valueSpan);
    }
    for (int k = 0; k < bytes; ++k)
        emitByte(std::uint8_t((std::uint64_t(v) >> (8 * k)) & 0xFF));
}

void Assembler::data(const std::vector<Token> &t, size_t begin, int width) {
    m_valuesOnly = true;
    const auto parts = items(t, begin, t.size());
    if (parts.empty()) {
        error("'" + t[begin - 1].text + "' needs a value", true);
        return;
    }
    for (const auto &[b, e] : parts) {
        if (b == e) {
            error("a value is missing in the list", true);
            return;
        }
        if (width == 1 && e == b + 1 && t[b].kind == Kind::String) {
            for (char c : t[b].text)
                emitByte(std::uint8_t(c));
            continue;
        }
        emitValue(value(t, b, e).value_or(0), width, true);
    }
}

void Assembler::space(const std::vector<Token> &t, size_t begin, std::int64_t emptyFill) {
    const auto parts = items(t, begin, t.size());
    if (parts.empty() || parts.size() > 2) {
        error("'" + t[begin - 1].text + "' takes a size and perhaps a fill value", true);
        return;
    }
    const std::int64_t size = value(t, parts[0].first, parts[0].second).value_or(0);
    const bool sizeKnown = !m_unknown;
    const std::int64_t fill =
        parts.size() == 2 ? value(t, parts[1].first, parts[1].second).value_or(0) : emptyFill;
    if (size < 0 || size > 0x10000) {
        error("the size " + std::to_string(size) + " is outside 0..65536");
        return;
    }
    if (m_pass == 1) { // only the address matters yet
        m_pc += size;
        if (!sizeKnown)
            m_sizeGuess = true;
        else
            m_placed += size_t(size);
        return;
    }
    if (placed() + size_t(size) > limit()) {
        m_pc += size;
        tooLarge();
        return;
    }
    for (std::int64_t k = 0; k < size; ++k)
        emitValue(fill, 1, k == 0);
}

// .echo: its strings and values (in decimal) as one line of the log.
void Assembler::echo(const std::vector<Token> &t, size_t begin) {
    std::string line;
    for (const auto &[b, e] : items(t, begin, t.size())) {
        if (e == b + 1 && t[b].kind == Kind::String)
            line += t[b].text;
        else if (const auto v = value(t, b, e))
            line += m_fraction ? realText(*m_fraction) : std::to_string(*v);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (m_pass > 1)
        m_echoes.push_back(line);
}

// ".addinstr NAME ARGS OPCODE SIZE ...": fields apart by blanks. ARGS "*"
// takes one value; an instruction with no operand has none.
void Assembler::addInstruction(const std::vector<Token> &t, size_t begin) {
    std::vector<std::string> fields;
    for (size_t i = begin; i < t.size(); ++i) {
        if (i == begin || t[i].spaced)
            fields.emplace_back();
        fields.back() += t[i].kind == Kind::String ? '"' + t[i].text + '"' : t[i].text;
    }
    if (fields.size() < 4) {
        error(".addinstr needs a name, operands, an opcode and a size", true);
        return;
    }
    Added a;
    if (fields[1] != "*" && fields[1] != "\"\"") {
        error(".addinstr with operands '" + fields[1] + "' is not supported", true);
        return;
    }
    a.operand = fields[1] == "*";
    const std::string &hex = fields[2];
    for (size_t k = 0; k < hex.size(); k += 2) {
        const std::string byte = hex.substr(k, 2);
        if (byte.size() != 2 || !isHexDigit(byte[0]) ||
            !isHexDigit(byte[1])) {
            error("'" + hex + "' is not an opcode in hexadecimal", true);
            return;
        }
        a.opcode.push_back(std::uint8_t(std::stoi(byte, nullptr, 16)));
    }
    const int size = std::atoi(fields[3].c_str());
    a.operandBytes = size - int(a.opcode.size());
    if (a.operandBytes < 0 || a.operandBytes > 2 || (!a.operand && a.operandBytes != 0)) {
        error(".addinstr size " + fields[3] + " does not fit its opcode and operands", true);
        return;
    }
    m_added[lower(fields[0])].push_back(std::move(a));
}

bool Assembler::added(const std::vector<Token> &t, size_t begin) {
    const auto it = m_added.find(lower(t[begin].text));
    if (it == m_added.end())
        return false;
    const bool hasOperand = begin + 1 < t.size();
    for (const Added &a : it->second) {
        if (a.operand != hasOperand)
            continue;
        for (std::uint8_t b : a.opcode)
            emitByte(b);
        if (hasOperand) {
            const std::int64_t v = value(t, begin + 1, t.size()).value_or(0);
            emitValue(v, a.operandBytes, true);
        }
        return true;
    }
    error("'" + t[begin].text + "' does not take " + (hasOperand ? "an operand" : "no operand"),
          true);
    return true;
}

} // namespace z80
