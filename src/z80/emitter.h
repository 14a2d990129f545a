#pragma once
// Turns statements of the dialect into pasmo's lines: labels (reusable ones
// too), equates, directives and instructions with their operands in the
// forms pasmo reads. Symbols match in any letter case; each is written as it
// was first defined, and one named like a word pasmo keeps for itself is
// renamed the same way everywhere.

#include "diagnostics.h"
#include "lexer.h"
#include "sink.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace z80 {

struct Expr;

class Emitter : public StatementSink {
public:
    explicit Emitter(Diagnostics &diagnostics) : m_diag(diagnostics) {}

    // One statement (no '\' in it). `columnOne`: it starts a source line at
    // its first column, where a name is a label.
    Result statement(const std::vector<Token> &tokens, bool columnOne, const Origin &at) override;

    // An equate's value when it is known before assembly, for #if.
    std::optional<std::int64_t> constant(const std::string &name) const override;

    // Pasmo's text, one line per entry, and where each line came from.
    void finish(std::vector<std::string> *lines, std::vector<Origin> *origins);

private:
    struct Reference {
        enum class Kind { Symbol, ReusableDefinition, ReusableUse } kind;
        std::string name;        // Symbol: as written
        size_t statement = 0;    // ReusableUse: where it stands
        std::int64_t offset = 0; // ReusableUse: -1 back, 1 ahead...; definition: its number
    };
    struct Added {                        // an instruction added by .addinstr
        std::vector<std::string> pattern; // operand words, "*" for an expression
        std::vector<std::uint8_t> opcode;
        int operandBytes = 0;
    };

    void emit(const std::string &text, const Origin &at);
    std::string symbol(const std::string &name);
    std::string defineLabel(const std::string &name, const Origin &at);
    std::string expression(const std::vector<Token> &t, size_t begin, size_t end, const Origin &at,
                           bool *ok);
    std::string nameOf(const Expr &e);
    void equate(const std::string &label, const std::vector<Token> &t, size_t begin,
                const Origin &at, const char *keyword);
    void data(const std::string &prefix, const std::string &keyword, const std::vector<Token> &t,
              size_t begin, const Origin &at);
    void space(const std::string &prefix, const std::vector<Token> &t, size_t begin, bool fill,
               const Origin &at);
    void addInstruction(const std::vector<Token> &t, size_t begin, const Origin &at);
    bool added(const std::string &prefix, const std::vector<Token> &t, size_t begin,
               const Origin &at);
    void instruction(const std::string &prefix, const std::vector<Token> &t, size_t begin,
                     const Origin &at);
    std::string operand(const std::vector<Token> &t, size_t begin, size_t end, const Origin &at,
                        bool *ok);
    std::string resolve(const std::string &text) const;

    Diagnostics &m_diag;
    std::vector<std::pair<std::string, Origin>> m_lines;
    std::vector<Reference> m_refs;
    struct Symbol {
        std::string spelling;
        Origin defined;
    };
    std::unordered_map<std::string, Symbol> m_symbols; // by lower-case name
    std::unordered_map<std::string, std::int64_t> m_constants;
    std::vector<size_t> m_reusable; // the statement of each reusable label
    struct ReuseSite {
        size_t ref;
        Origin at;
        size_t place;
    };
    std::vector<ReuseSite> m_reuseOrigins; // resolved once every label is known
    Origin m_current;
    std::map<std::string, std::vector<Added>> m_added;
    size_t m_statement = 0;
};

} // namespace z80
