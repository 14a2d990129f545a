#pragma once
// The kit's assembler: the preprocessor's statements become the program's
// bytes. Pass 1 runs along the preprocessor (so #if sees the equates met so
// far) and records each statement; later passes go over the record with
// every symbol known, until no address or equate changes; the last one
// writes the bytes and judges every value. Values are 32-bit, computed left
// to right (in Brass's order in a Brass program, from its first line: the
// source is read once more when pass 1 learns the dialect only after lines
// it read otherwise); symbols match in any letter case; Brass's modules
// scope names that start with '_' (or all, after .local).

#include "diagnostics.h"
#include "model.h"
#include "preprocessor.h"
#include "sink.h"
#include "source.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace z80 {

struct Expr;

// The result of a build, as a value: the program's model. Its text forms
// (messages, listing, labels, map) are made from it (outputs.h, sourcemap.h).
struct Assembly {
    std::vector<std::uint8_t> bytes; // the program, in the order it was written
    struct Piece {                   // what one statement placed
        Origin at;                   // the source line; at.macro: the calls that made it
        int column;                  // where the statement (or the macro's use) starts; -1: unknown
        std::uint32_t address;
        size_t offset, size; // into bytes
        bool code;           // an instruction
        size_t place;        // in source order
        // An application's page (counted from its first, as its bytes lie
        // in pages of 16 KB) when the address is in 4000h-7FFFh, where that
        // page is seen; -1 for a program, or code placed to run elsewhere.
        int page = -1;
    };
    std::vector<Piece> pieces; // one a statement, '\'-joined ones apart
    struct Label {
        std::string name;
        std::int64_t value;
        Origin defined;
        int column = -1;
        bool equate = false;
        int page = -1; // a label's, as a piece's page (never an equate's)
    };
    std::vector<Label> labels;                // every symbol, labels and equates
    std::vector<Diagnostic> errors, warnings; // each in source order
    // Errors after the first that explains others (an #if left open...),
    // which may only follow from it: counted here, not listed.
    size_t followingErrors = 0;
    std::vector<std::string> echoes;
    std::vector<Definition> definitions; // every label, equate, #define and macro, as read
    std::vector<Use> uses;               // every name used where it is written
    std::vector<std::string> filesRead;  // the source first, then every other file read
    std::vector<std::string> defines;    // in force at the start: NAME or NAME=VALUE
    std::vector<ReadLine> lines; // every line read, in order; a piece's place is its index + 1
    std::vector<std::string> lineFiles; // ReadLine::file's names
    std::uint32_t end = 0;              // the address after the highest byte
    // A Flash application: its bytes start at 4000h with the header's
    // first field, 80 0Fh (its length), and fill pages of 16 KB.
    bool application = false;
    // The source's "; variable:" line: the build is such a variable.
    std::optional<VariableForm> variable;
    bool ok() const { return errors.empty(); }
};

// Where tokens [begin, end) stand on their line; the whole line when they
// are not written there.
Span spanOf(const std::vector<Token> &t, size_t begin, size_t end);

// Assembles the source at `mainPath` (a whole path) and its includes.
Assembly assemble(const std::string &mainPath, FileReader &reader, const Options &options);

// The largest program the calculator can run, and where it stops running
// code. Variables live in user memory, from userMem (9D95h) up to the
// variable table below symTable (FE66h): 24,785 bytes on an empty
// calculator. Asm( runs a copy of the program made at userMem, so that
// memory holds the program twice: the variable (its bytes, a size word and
// a table entry of at most 15 bytes) and the copy (its bytes after the
// 2-byte token). A larger program cannot run, whatever else is deleted.
constexpr std::uint32_t kUserMemory = 0xFE66 - 0x9D95;
constexpr std::uint32_t kMaxProgramBytes = (kUserMemory - 2 - 15 + 2) / 2;
constexpr std::uint32_t kNoExecution = 0xC000;
// The most passes a build makes, the first included, before the addresses
// are said not to settle.
constexpr int kMaxPasses = 12;
// An application runs from Flash pages of 16 KB, each seen at 4000h to
// 7FFFh; its header's page count is one byte. 96 pages (1.5 MiB) are more
// than the archive of any calculator of the family holds.
constexpr std::uint32_t kPageSize = 0x4000;
constexpr std::uint32_t kPageStart = 0x4000;
constexpr std::uint32_t kMaxApplicationBytes = 96 * kPageSize;
// Another variable's data (with its length word) fits a file's 16-bit sizes.
constexpr std::uint32_t kMaxVariableBytes = 0xFFFF - 19;
// The uses of names a build notes at most; the rest are not listed.
constexpr size_t kMaxUses = 500000;

// What one pass works out as it goes over the statements. Each pass after
// the first starts from a fresh one, so nothing of the pass before leaks
// into it; what passes compare (addresses, values) lives in the Assembler.
struct PassState {
    struct Area { // a Brass .varloc area
        std::int64_t address, size;
    };
    struct Late { // a late #define computed in this pass
        std::optional<std::int64_t> value;
        std::string why; // what its text lacks, said where it is used
    };

    int m_pass = 1;
    bool m_changed = false; // a definition differs from the pass before
    Diagnostics m_passDiag; // the messages of the pass under way after the first
    std::vector<std::uint8_t> m_out;
    std::vector<Assembly::Piece> m_pieces;
    std::vector<std::string> m_echoes;
    std::int64_t m_pc = 0;
    size_t m_placed = 0; // pass 1: the bytes of the statements before
    bool m_over = false; // the program is past the limit: said, and the pass stops
    std::unordered_map<std::string, Late> m_late;
    std::string m_module; // Brass's module, "" outside one
    bool m_local = false, m_global = false;
    char m_localChar = '_';    // Brass's .locallabelchar: what starts a module's own name
    bool m_nest = false;       // Brass's .nestmodules: a .module inside another nests
    size_t m_reusableSeen = 0; // "_" labels met so far
    std::map<std::string, size_t> m_familySeen;      // Brass's reusable labels met, by family
    std::vector<Area> m_areas;                       // .varloc areas
    std::map<std::int64_t, std::int64_t> m_asciiMap; // .asciimap: character -> byte
    std::uint64_t m_asciiMapped = 0;                 // characters mapped
    std::int64_t m_page = -1; // Brass's .page being written, -1 before the first
    size_t m_pageStart = 0;   // the bytes placed before it
    // The .page statements that fill, besides the rest of the page before,
    // whole pages defined and skipped: their bytes are no page's overflow.
    std::set<size_t> m_pagesSkipped;
    std::string m_declaring;         // the Brass .struct being read
    std::int64_t m_relocation = 0;   // .relocate: labels' offset
    std::int64_t m_emptyFill = 0xFF; // .binaryfill: the bytes .block and .align skip
    bool m_unsquish = false;         // Brass's .unsquish: bytes written as hex digits
    bool m_unsquished = false;       // an .unsquish was met

    // The statement under way.
    size_t m_index = 0;
    Origin m_at;
    size_t m_place = 0;
    std::int64_t m_start = 0;
    bool m_unknown = false;    // pass 1: a value used is not known yet
    bool m_sizeGuess = false;  // pass 1: the statement's size uses a value not known yet
    bool m_code = false;       // the statement is an instruction
    bool m_ended = false;      // the statement is a .end
    bool m_positional = false; // the value computed depends on the statement ('$', '_')
    // Pass 1: the statement uses a value computed in the other dialects'
    // order where Brass's groups its operators otherwise (2+3*4), or one
    // made of such a value. Its values only give bytes or a name (data, an
    // equate): its size and what pass 1 keeps of it do not depend on them.
    bool m_regrouped = false;
    bool m_valuesOnly = false;
    bool m_pcRegrouped = false; // pass 1: the address was moved by such a value
    Span m_nameSpan;           // the statement's label or equate name
    Span m_valueSpan;          // the value computed last
    Span m_whySpan;            // the name a value's failure is about
    Diagnostic::Code m_whyCode = Diagnostic::Code::Other;
};

class Assembler : public StatementSink, private PassState {
public:
    // `cancel`, set from another thread, stops the passes after the first
    // at their next statement, leaving a partial result. `brass`: the
    // program is known to be Brass's from its first line.
    explicit Assembler(Diagnostics &diagnostics, const std::atomic<bool> *cancel = nullptr,
                       bool brass = false)
        : m_brass(brass), m_diag(diagnostics), m_cancel(cancel) {}

    Result statement(const std::vector<Token> &tokens, bool columnOne, const Origin &at) override;
    std::optional<std::int64_t> constant(const std::string &name) const override;
    std::optional<std::int64_t> valueSoFar(const Expr &node, std::string *why) const override;
    void includeFailed(const Origin &) override { m_includeFailed = true; }
    void definedAfterEnd(const std::string &name, const Origin &end) override;
    void definedAtEnd(const std::string &name, const std::vector<Token> &text) override;
    std::optional<std::string> labelHere() const override;
    void defined(const Definition &d) override { m_definitions.push_back(d); }
    void used(const Use &u) override {
        if (m_uses.size() < kMaxUses)
            m_uses.push_back(u);
    }
    void lineComment(const std::string &text) override {
        m_comment = text;
        m_commented = false;
    }

    void brassForm() override {
        noteBrass();
        m_brass = true;
    }
    bool brass() const override { return m_brass; }
    void readAsClassic() override { m_readAsClassic = m_readAsClassic || !m_brass; }
    // A value computed in the other dialects' order is used where it stays
    // as pass 1 gave it (an #if, a directive's size): its program, if
    // Brass's, is to be read again.
    void regroupedUsed(bool regrouped) const { m_readAsClassic = m_readAsClassic || regrouped; }
    // The first pass learnt only on the way that the program is Brass's,
    // after lines it read otherwise than Brass reads them (an error said,
    // a value computed in the other order): it is to be read again, the
    // dialect known from its first line.
    bool readAgainAsBrass() const { return m_brass && m_readAsClassic; }
    void variableForm(const VariableForm &form) override { m_variable = form; }

    // The passes after the first, then the result.
    void finish(Assembly *out);

private:
    struct Record {
        std::vector<Token> tokens;
        bool columnOne;
        Origin at;
        int column; // of its first token, -1 when it is not written on the line
        size_t place;
        std::optional<std::int64_t> defined; // what it gave its name in the last pass
    };
    struct Symbol {
        std::string spelling;
        std::int64_t value = 0;
        Origin at;
        size_t statement = 0; // the one that defines it
        bool set = false;     // .set may define it again
        bool exact = true;    // computed from known values only
        int column = -1;
        bool equate = false;
        size_t definition = SIZE_MAX; // in m_definitions
        std::int64_t placed = -1;     // a label: the program's bytes before it
        std::int64_t brassPage = 0;   // Brass's .page in force where it is defined
        bool regrouped = false;       // pass 1 computed it in the other dialects' order
    };
    struct Added {                        // an instruction added by .addinstr
        bool operand = false;             // takes one value
        std::vector<std::uint8_t> opcode; // then the value in operandBytes bytes
        int operandBytes = 0;
    };

    void run(const Record &r);
    void error(const std::string &text, bool structural = false, Span span = {},
               Diagnostic::Code code = Diagnostic::Code::Other,
               std::shared_ptr<const Diagnostic> cause = nullptr);
    void warning(const std::string &text, Span span = {});
    std::string key(const std::string &name) const;
    void define(const std::string &name, std::int64_t value, bool set, bool equate = false);
    void defineLabel(const std::string &label);
    std::optional<std::int64_t> resolve(const Expr &e, std::string *why);
    std::optional<std::int64_t> value(const std::vector<Token> &t, size_t begin, size_t end);
    void emitByte(std::uint8_t byte) {
        if (m_unsquish) { // Brass's .unsquish: two hex digits, one address
            static constexpr char kHex[] = "0123456789ABCDEF";
            m_out.push_back(std::uint8_t(kHex[byte >> 4]));
            m_out.push_back(std::uint8_t(kHex[byte & 0xF]));
        } else {
            m_out.push_back(byte);
        }
        ++m_pc;
    }
    // The bytes placed so far in this pass.
    size_t placed() const { return m_placed + m_out.size(); }
    // The program is past the calculator's limit at this statement: said
    // here, and the build goes no further.
    void tooLarge();
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }
    // The value of a #define met only after its use (its text at the source's end).
    std::optional<std::int64_t> late(const std::string &lowerName,
                                     const std::vector<Token> &text, std::string *why);
    void emitValue(std::int64_t v, int bytes, bool checked);
    bool directive(const std::string &label, const std::vector<Token> &t, size_t i);
    void equate(const std::string &label, const std::vector<Token> &t, size_t begin, bool set);
    void data(const std::vector<Token> &t, size_t begin, int width);
    void space(const std::vector<Token> &t, size_t begin, std::int64_t emptyFill = 0);
    void echo(const std::vector<Token> &t, size_t begin);
    void addInstruction(const std::vector<Token> &t, size_t begin);
    bool added(const std::vector<Token> &t, size_t begin);
    void instruction(const std::vector<Token> &t, size_t begin);

    // Brass's dialect (brass.cpp).
    size_t brassLabel(const std::vector<Token> &t, bool columnOne);
    std::optional<std::int64_t> brassReusable(const Expr &e, std::string *why);
    std::string expandBraces(const std::string &name);
    bool brassDirective(const std::string &key, const std::vector<Token> &t, size_t i);
    void variable(const std::vector<Token> &t, size_t begin);
    void placeVariables();
    void asciiMap(const std::vector<Token> &t, size_t begin);
    bool sizeofs(std::vector<Token> &t);
    // Brass's structures, enumerations, .using and typed data (brass_types.cpp).
    bool brassTypes(const std::string &key, const std::vector<Token> &t, size_t i);
    void structMember(const std::string &type, std::int64_t count, const std::string &name,
                      std::int64_t size);
    void structLabels(const std::string &type, const std::string &name, std::int64_t at);
    void enumeration(const std::vector<Token> &t, size_t begin);
    void typedData(const std::vector<Token> &t, size_t begin);
    void checksum(const std::vector<Token> &t, size_t begin);
    void trigTable(const std::string &key, const std::vector<Token> &t, size_t begin);
    std::optional<std::int64_t> typeOrStructSize(const std::string &word) const;
    // Brass reads a name no label has, such as "ffh", as a number when it is one.
    std::optional<std::int64_t> brassHex(const std::string &lowerName) const;
    // Brass writes a memory image: an .org forward between bytes leaves a
    // gap of its empty fill. The last statement that wrote bytes, in the
    // pass before and in this one.
    void brassGap(std::int64_t to);
    void brassEscapes();
    void localLabelChar(const std::vector<Token> &t, size_t begin);
    // "Parent.Config.Size": a path from the module above this one.
    std::string parentPath(const std::string &lowerName) const;
    // A name as Brass finds it from the module a line is in: the path from
    // that module, from the top, from each module it uses.
    std::unordered_map<std::string, struct Symbol>::const_iterator
    brassFind(const std::string &name) const;
    // syntax/source.htm: an indented first item that cannot be assembled is a label.
    bool brassIndentedLabel(const std::vector<Token> &t) const;
    size_t m_lastWriting = 0, m_lastWritingNow = 0;
    // A symbol under its whole key ("me.x"), beside the statement's own.
    void defineKeyed(const std::string &k, const std::string &name, std::int64_t value);
    struct Struct {
        std::vector<std::pair<std::string, std::int64_t>> members; // "p.x" -> its offset
        std::int64_t size = 0;
        bool full = false; // more members than the labels a structure may make
    };
    std::map<std::string, Struct> m_structs;                 // by lower-case name, from pass 1
    size_t m_structLabels = 0; // pass 1: the labels structures' variables made
    std::map<std::string, std::vector<std::string>> m_using; // module -> the modules it uses
    std::unordered_map<std::string, double> m_reals;         // symbols whose value has a fraction
    std::string m_foundKey;                                  // the key resolve() found last
    std::optional<double> m_fraction; // the value computed last, if it has one
    // Brass's applications (brassapp.cpp).
    bool brassApplication(const std::string &key, const std::vector<Token> &t, size_t i);
    void brassHeader(); // into m_out's first 128 bytes
    struct Page {
        std::int64_t size, origin;
    };
    bool m_brassApp = false; // .binarymode ti8xapp
    std::string m_appName;   // .variablename
    Origin m_appNameAt;
    size_t m_appNamePlace = 0;
    std::map<std::int64_t, Page> m_pages; // .defpage
    struct Variable {
        std::string name;
        std::int64_t size;
        size_t statement;
        std::string type; // a structure's lower-case name, or ""
    };
    struct Family { // Brass's reusable labels of one kind ("-", "++", "@")
        std::vector<size_t> statements;
        std::vector<std::int64_t> at;
    };
    std::map<std::string, Family> m_families;
    std::vector<Variable> m_variables;       // every .var, from pass 1
    std::map<size_t, std::int64_t> m_varPlaced; // .var statement -> its address
    bool m_brass = false;                    // Brass's operator order
    // Pass 1 read a line otherwise than Brass reads it (constant() and
    // valueSoFar() note the values they give of such lines).
    mutable bool m_readAsClassic = false;
    // The program turns out Brass's here: the errors pass 1 said before may
    // be the other dialects' reading of its lines.
    void noteBrass() { m_readAsClassic = m_readAsClassic || (!m_brass && !m_diag.errors.empty()); }

    Diagnostics &m_diag;
    const std::atomic<bool> *m_cancel;
    std::vector<Record> m_records;
    std::unordered_map<std::string, Symbol> m_symbols; // by key
    std::vector<size_t> m_reusable;                    // the statement of each "_"
    std::vector<std::int64_t> m_reusableAt;            // its address in this pass
    std::map<std::string, std::vector<Added>> m_added;
    std::unordered_map<std::string, Origin> m_afterEnd; // names a .end kept from being read
    // #defines at the source's end, by lower-case name; how deep one such
    // text is being computed inside another.
    std::unordered_map<std::string, std::vector<Token>> m_atEnd;
    int m_atEndDepth = 0;
    std::string m_lastLabel; // pass 1: the label or equate defined last
    std::vector<Definition> m_definitions;
    std::vector<Use> m_uses;
    std::string m_comment;    // pass 1: the comment of the source line being read
    bool m_commented = false; // given to a definition already
    // The line's comment for the first definition the line itself writes:
    // no comment is copied more often than it is read.
    std::string comment() {
        if (m_at.macro || std::exchange(m_commented, true))
            return {};
        return m_comment;
    }
    bool m_includeFailed = false;
    Record *m_record = nullptr; // the statement under way

    bool m_app = false;                     // pass 1 met an application header as the first bytes
    std::optional<VariableForm> m_variable; // the source says it is such a variable
    bool program() const { return !m_variable || m_variable->type == 5 || m_variable->type == 6; }
    size_t limit() const {
        return m_app ? kMaxApplicationBytes : program() ? kMaxProgramBytes : kMaxVariableBytes;
    }
    void pageOverflow();
    // The page of an application's address placed after `offset` bytes, as
    // Assembly::Piece::page gives it.
    int pageOf(std::int64_t address, std::int64_t offset) const;
};

} // namespace z80
