#pragma once
// Where the preprocessor hands each statement, in source order: the
// assembler. Declared beside the preprocessor so that it knows no assembler.

#include "diagnostics.h"
#include "lexer.h"
#include "model.h"
#include "variableform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace z80 {

struct Expr;

class StatementSink {
public:
    virtual ~StatementSink() = default;

    enum class Result { Done, EndOfFile, Stop };
    // One statement (no '\' in it). `columnOne`: it starts a source line at
    // its first column, where a name is a label. EndOfFile: a .end, after
    // which the rest of its file is not read. Stop: the build cannot go on
    // (the program is past the calculator's limit), nothing more is read.
    virtual Result statement(const std::vector<Token> &tokens, bool columnOne,
                             const Origin &at) = 0;

    // An equate's value when it is known so far, for #if.
    virtual std::optional<std::int64_t> constant(const std::string &name) const = 0;

    // What a name, '$' or a reusable label ("-_", "+_") stands for while the
    // source is still being read, as spasm-ng's eval() and #if see it: the
    // equates and labels met so far, the address reached, the "_" labels
    // behind. Nothing, and *why, when it is not known yet.
    virtual std::optional<std::int64_t> valueSoFar(const Expr &node, std::string *why) const = 0;

    // An include that could not be found or read: the names it would have
    // defined are unknown, and their uses are its echo.
    virtual void includeFailed(const Origin &) {}

    // A name defined in the lines a .end (at `end`) kept from being read.
    virtual void definedAfterEnd(const std::string &, const Origin &) {}

    // The name of the label or equate met last, when its value is the
    // address reached: spasm-ng names an included bitmap's sizes after it.
    virtual std::optional<std::string> labelHere() const { return std::nullopt; }

    // A form only Brass reads was met: from here on, values are computed in
    // Brass's operator order.
    virtual void brassForm() {}
    // Whether the program is read as Brass's: since such a form, or from
    // its first line when the program is read again knowing it.
    virtual bool brass() const { return false; }
    // A line was read as the other dialects read it where Brass reads it
    // otherwise (an expression whose operators Brass groups differently, a
    // #define that Brass keeps beside one of other arguments): should the
    // program turn out Brass's, it is read again, Brass's from its start.
    virtual void readAsClassic() {}
    // The source's "; variable:" line: what the build writes.
    virtual void variableForm(const VariableForm &) {}

    // A #define (without arguments) as it stands when the source ends: a
    // name used before its #define takes this text, as in spasm-ng.
    virtual void definedAtEnd(const std::string &, const std::vector<Token> &) {}

    // The program's model as it is read: a #define or #macro, a name used
    // where it is written (file, line and column), and the comment of the
    // source line being read (for the labels and equates on it).
    virtual void defined(const Definition &) {}
    virtual void used(const Use &) {}
    virtual void lineComment(const std::string &) {}
};

} // namespace z80
