#include "assembler.h"

#include "causes.h"

#include "encoder.h"
#include "expr.h"
#include "operands.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {
namespace {

// "Module.name" is one name: a name and a word after a dot, with no blank;
// at the statement's start too, where it is a label ("Module._name: nop"),
// unless the word is a directive ("size.equ 3").
std::vector<Token> joinQualified(const std::vector<Token> &t) {
    std::vector<Token> out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (i > 0 && t[i].kind == Kind::Dot && !t[i].spaced && out.back().kind == Kind::Name &&
            (i > 1 || !isDirective(t[i].text))) {
            out.back().text += t[i].text;
            if (t[i].start > out.back().start)
                out.back().length = t[i].start + t[i].length - out.back().start;
        } else
            out.push_back(t[i]);
    }
    return out;
}

// Reads files through another reader and remembers those it read.
class RecordingReader : public FileReader {
public:
    explicit RecordingReader(FileReader &inner) : m_inner(inner) {}
    ReadResult read(const std::string &path) override {
        ReadResult r = m_inner.read(path);
        if (r.error.empty() && m_seen.insert(path).second)
            read_.push_back(path);
        return r;
    }
    bool exists(const std::string &path) override { return m_inner.exists(path); }
    std::vector<std::string> list(const std::string &folder) override {
        return m_inner.list(folder);
    }
    bool ownFolder(const std::string &folder) override { return m_inner.ownFolder(folder); }
    std::vector<std::string> read_;

private:
    FileReader &m_inner;
    std::set<std::string> m_seen;
};

} // namespace

// Where tokens [begin, end) stand on the line, when they are written there.
Span spanOf(const std::vector<Token> &t, size_t begin, size_t end) {
    if (begin >= end || end > t.size() || t[begin].elsewhere || t[end - 1].elsewhere)
        return {};
    const size_t stop = std::max(t[end - 1].start + t[end - 1].length, t[begin].start + 1);
    return {int(t[begin].start), int(stop - t[begin].start)};
}

namespace {

// Reads the source once, in the dialect the first pass learns as it goes
// or (`brass`) as Brass's from its first line. False when the first pass
// learnt that the program is Brass's only after lines it read otherwise,
// and the source is to be read again.
bool assembleOnce(const std::string &mainPath, FileReader &reader, const Options &options,
                  bool brass, Assembly *result);

} // namespace

// A program is read in one dialect from its first line: the first pass
// reads the source once more, at most, when it met a form only Brass reads
// after lines that Brass reads otherwise. The budget limits each reading.
Assembly assemble(const std::string &mainPath, FileReader &reader, const Options &options) {
    Assembly out;
    if (!assembleOnce(mainPath, reader, options, false, &out))
        assembleOnce(mainPath, reader, options, true, &out);
    return out;
}

namespace {

bool assembleOnce(const std::string &mainPath, FileReader &reader, const Options &options,
                  bool brass, Assembly *result) {
    Diagnostics diagnostics;
    Assembler assembler(diagnostics, options.cancel, brass);
    RecordingReader recorder(reader);
    Preprocessor preprocessor(recorder, options, diagnostics, assembler);
    preprocessor.run(mainPath);
    const bool cancelled = options.cancel && options.cancel->load(std::memory_order_relaxed);
    if (!brass && assembler.readAgainAsBrass() && !cancelled && !preprocessor.exhausted())
        return false;
    Assembly &out = *result;
    out.lines = std::move(preprocessor.lines());
    out.lineFiles = std::move(preprocessor.lineFiles());
    for (const auto &define : preprocessor.defines()) { // a later one of a name replaces
        // Named, not bound: clang's C++17 lets no lambda capture a structured binding.
        const std::string &name = define.first, &text = define.second;
        const std::string d = text.empty() ? name : name + "=" + text;
        const auto same = std::find_if(out.defines.begin(), out.defines.end(), [&](const auto &x) {
            return x.compare(0, name.size() + 1, name + "=") == 0 || x == name;
        });
        if (same != out.defines.end())
            *same = d;
        else
            out.defines.push_back(d);
    }
    assembler.finish(&out);
    out.errors = causesFirst(std::move(diagnostics.errors), &out.followingErrors);
    out.warnings = Diagnostics::inOrder(std::move(diagnostics.warnings));
    out.filesRead = recorder.read_;
    return true;
}

} // namespace

void Assembler::error(const std::string &text, bool structural, Span span, Diagnostic::Code code,
                      std::shared_ptr<const Diagnostic> cause) {
    if (m_pass == 1) {
        if (structural)
            m_diag.error(m_at, text, m_place, span, code, std::move(cause));
    } else {
        m_passDiag.error(m_at, text, m_place, span, code, std::move(cause));
    }
}

void Assembler::warning(const std::string &text, Span span) {
    if (m_pass > 1)
        m_passDiag.warning(m_at, text, m_place, span);
}

std::optional<std::int64_t> Assembler::value(const std::vector<Token> &t, size_t begin,
                                             size_t end) {
    for (size_t k = begin; k < end && k < t.size(); ++k) // Brass's sizeof(NAME)
        if (t[k].kind == Kind::Name && t[k].text.size() == 6 && sameWord(t[k].text, "sizeof")) {
            std::vector<Token> copy(t.begin() + std::ptrdiff_t(begin),
                                    t.begin() + std::ptrdiff_t(std::min(end, t.size())));
            if (sizeofs(copy))
                return value(copy, 0, copy.size());
            break;
        }
    std::string why;
    m_valueSpan = spanOf(t, begin, end);
    bool regroups = false;
    const ExprPtr e = parseExpression(t, begin, end, &why, m_brass, &regroups);
    m_regrouped = m_regrouped || (regroups && m_pass == 1);
    if (!e) {
        error(why.empty() ? "a value is missing" : why, true, m_valueSpan);
        return std::nullopt;
    }
    m_whySpan = m_valueSpan;
    m_whyCode = Diagnostic::Code::Other;
    const Span whole = m_valueSpan;
    // Brass: the symbols that hold a value with a fraction, when any does.
    const RealOf realOf = [this](const Expr &) -> std::optional<double> {
        const auto it = m_reals.find(m_foundKey);
        return it == m_reals.end() ? std::nullopt : std::optional<double>(it->second);
    };
    const auto v = evaluate(
        *e, [this](const Expr &x, std::string *w) { return resolve(x, w); },
        m_reals.empty() ? nullptr : &realOf, &why, &m_fraction);
    if (!v && !why.empty())
        error(why, false, m_whySpan.column < 0 ? whole : m_whySpan, m_whyCode);
    m_valueSpan = whole;
    return v;
}

Assembler::Result Assembler::statement(const std::vector<Token> &tokens, bool columnOne,
                                       const Origin &at) {
    m_records.push_back({joinQualified(tokens), columnOne, at,
                         tokens.empty() || tokens[0].elsewhere ? -1 : int(tokens[0].start),
                         m_diag.now, std::nullopt});
    m_index = m_records.size() - 1;
    m_record = &m_records.back();
    m_place = m_diag.now;
    m_at = at;
    m_start = m_pc;
    m_unknown = false;
    m_sizeGuess = false;
    const size_t before = m_out.size();
    const size_t placedBefore = m_placed;
    m_code = false;
    m_regrouped = m_valuesOnly = false;
    if (m_brass) {
        run(*m_record);
        // A directive's pass-1 result may stand (a .var's size).
        regroupedUsed(m_regrouped && !m_code && !m_valuesOnly);
    } else { // a form only Brass reads may be on this line
        const bool errorsBefore = !m_diag.errors.empty();
        run(*m_record);
        m_readAsClassic = m_readAsClassic || (m_brass && errorsBefore);
    }
    m_pcRegrouped = m_pcRegrouped || (m_regrouped && !m_code && !m_valuesOnly && m_pc != m_start);
    if (m_out.size() > before)
        m_lastWriting = m_index;
    // An application begins at 4000h with its header's length field (TI's
    // developer guide: every application's first field is 80 0Fh).
    if (!m_app && placedBefore == 0 && m_start == kPageStart && m_out.size() >= before + 2 &&
        m_out[before] == 0x80 && m_out[before + 1] == 0x0F)
        m_app = true;
    // Pass 1 keeps sizes only, and counts those it knows.
    if (!m_sizeGuess)
        m_placed += m_out.size() - before;
    m_out.resize(before);
    if (!m_over && m_placed > limit())
        tooLarge();
    if (m_over)
        return Result::Stop;
    return m_ended ? (m_ended = false, Result::EndOfFile) : Result::Done;
}

void Assembler::tooLarge() {
    // A cause: the build stops here, so what is defined after this line
    // (a label used before it) is undefined only because of it.
    const auto stop = [this](const std::string &text) {
        (m_pass == 1 ? m_diag : m_passDiag).cause(m_at, text, m_place);
    };
    if (!program() && !m_app) {
        stop("the " + m_variable->description + " grows past " + std::to_string(kMaxVariableBytes) +
             " bytes here, more than a variable holds");
        m_over = true;
        return;
    }
    if (m_app) {
        stop("the application grows past " + std::to_string(kMaxApplicationBytes / kPageSize) +
             " pages of 16 KB here, more than any calculator's archive holds");
        m_over = true;
        return;
    }
    stop("the program grows past " + std::to_string(kMaxProgramBytes) +
         " bytes here: the calculator's RAM cannot hold it and the copy Asm( runs");
    m_over = true;
}

void Assembler::run(const Record &r) {
    const std::vector<Token> &t = r.tokens;
    size_t i = brassLabel(t, r.columnOne);
    std::string label;
    m_nameSpan = {};
    // Brass: an indented "name = 3" or "name .equ 3" is an equate too.
    const bool equates =
        t.size() > 2 &&
        (t[1].isOp("=") ||
         (t[1].kind == Kind::Dot && (sameWord(t[1].text, ".equ") || sameWord(t[1].text, ".set"))));
    if (i == 0 && !t.empty() && t[0].kind == Kind::Name &&
        (r.columnOne || (t.size() > 1 && t[1].isOp(":")) || equates || brassIndentedLabel(t))) {
        label = t[0].text;
        m_nameSpan = spanOf(t, 0, 1);
        i = t.size() > 1 && t[1].isOp(":") ? 2 : 1;
    }
    if (i < t.size() && t[i].isOp("=")) {
        equate(label, t, i + 1, false);
        return;
    }
    if (i < t.size() && directive(label, t, i))
        return;
    defineLabel(label);
    if (i < t.size()) {
        if (t[i].kind == Kind::Name)
            instruction(t, i);
        else
            error("unexpected '" + spell(t, i) + "'", true, spanOf(t, i, t.size()));
    }
}

// A label at the statement's address; "_" is a reusable one.
void Assembler::defineLabel(const std::string &label) {
    if (label == "_") {
        // A later pass may meet more or other "_" labels than the first (a
        // dialect known only after the first lines reads them otherwise):
        // each pass keeps its own and settles again when they differ.
        if (m_reusableSeen == m_reusable.size()) {
            m_reusable.push_back(m_index);
            m_reusableAt.push_back(m_start);
            m_changed = m_changed || m_pass > 1;
        } else if (m_reusable[m_reusableSeen] != m_index ||
                   m_reusableAt[m_reusableSeen] != m_start) {
            m_reusable[m_reusableSeen] = m_index;
            m_reusableAt[m_reusableSeen] = m_start;
            m_changed = true;
        }
        ++m_reusableSeen;
    } else if (!label.empty()) {
        define(label, m_start + m_relocation, false);
    }
}

void Assembler::instruction(const std::vector<Token> &t, size_t begin) {
    m_code = true;
    if (added(t, begin))
        return;
    const std::string mnemonic = lower(t[begin].text);
    if (!isMnemonic(mnemonic)) {
        // After an include that could not be read, it may be one of its macros.
        if (m_includeFailed) {
        } else if (begin + 1 < t.size() && t[begin + 1].isOp("(") && !t[begin + 1].spaced) {
            // "name(...)": a macro no #define or #macro made.
            if (m_pass == 1)
                m_diag.cause(m_at,
                             "'" + t[begin].text + "(...)' is no macro here: no #define or #macro " +
                                 t[begin].text + " is in force at this line",
                             m_place, spanOf(t, begin, begin + 1));
        } else {
            error("unknown instruction '" + t[begin].text + "'", true, spanOf(t, begin, begin + 1));
        }
        return;
    }
    auto parts = items(t, begin + 1, t.size());
    auto isWord = [&](size_t k, const char *word) {
        return k < parts.size() && parts[k].second == parts[k].first + 1 &&
               t[parts[k].first].kind == Kind::Name && lower(t[parts[k].first].text) == word;
    };
    // spasm-ng's "cp a,x" forms.
    if ((mnemonic == "sub" || mnemonic == "and" || mnemonic == "or" || mnemonic == "xor" ||
         mnemonic == "cp") &&
        parts.size() == 2 && isWord(0, "a"))
        parts.erase(parts.begin());
    std::vector<Operand> operands;
    const Value compute = [this](const std::vector<Token> &x, size_t b, size_t e) {
        return value(x, b, e);
    };
    for (const auto &[b, e] : parts) {
        std::string why;
        const auto op = parseOperand(t, b, e, compute, &why);
        if (!op) {
            error(why, true, spanOf(t, b, e));
            return;
        }
        // "f" is a register only in "in f,(c)"; elsewhere it is a name.
        if (op->kind == Operand::Kind::Register && op->name == "f" && mnemonic != "in")
            operands.push_back({Operand::Kind::Immediate, "", value(t, b, e).value_or(0)});
        else
            operands.push_back(*op);
    }
    if (mnemonic == "ex" && isWord(0, "af") && isWord(1, "af"))
        operands[1].name = "af'";
    const Encoding enc =
        encode(mnemonic, operands, std::uint32_t(m_start + m_relocation), m_pass > 1, m_app);
    if (!enc.error.empty())
        error(enc.error, true, spanOf(t, begin, t.size()));
    if (!enc.warning.empty())
        warning(enc.warning, spanOf(t, begin, t.size()));
    for (std::uint8_t b : enc.bytes)
        emitByte(b);
}

void Assembler::finish(Assembly *out) {
    bool settled = false;
    if (m_brass)
        brassEscapes();
    placeVariables();
    for (int pass = 2; pass <= kMaxPasses && !settled && !cancelled(); ++pass) {
        static_cast<PassState &>(*this) = PassState();
        m_pass = pass;
        for (m_index = 0; m_index < m_records.size() && !m_over; ++m_index) {
            if (m_index % 4096 == 0 && cancelled())
                break;
            m_record = &m_records[m_index];
            m_at = m_record->at;
            m_place = m_record->place;
            m_start = m_pc;
            m_code = false;
            const size_t before = m_out.size();
            run(*m_record);
            if (m_out.size() > before)
                m_lastWritingNow = m_index;
            m_pieces.push_back({m_at, m_record->column, std::uint32_t(m_start & 0xFFFF), before,
                                m_out.size() - before, m_code, m_place});
            if (!m_over && placed() > limit())
                tooLarge();
        }
        placeVariables();
        if (m_reusableSeen < m_reusable.size()) { // fewer "_" labels than the pass before
            m_reusable.resize(m_reusableSeen);
            m_reusableAt.resize(m_reusableSeen);
            m_changed = true;
        }
        m_lastWriting = m_lastWritingNow;
        // Past the limit, the addresses after it do not matter.
        settled = !m_changed || m_over;
    }
    if (!settled && !cancelled())
        error("the addresses do not settle: an address or equate depends on itself");
    // The whole program's limits, said at the line that meets them.
    if (m_app)
        pageOverflow();
    if (m_brassApp && !m_over)
        brassHeader();
    for (const Assembly::Piece &p : m_pieces) {
        if (m_app || !program())
            break;
        if (p.code && p.size > 0 && p.address + p.size > kNoExecution) {
            m_at = p.at;
            m_place = p.place;
            warning("code at C000h or above: the calculator refuses to run it");
            break;
        }
    }
    m_diag.errors.insert(m_diag.errors.end(), m_passDiag.errors.begin(), m_passDiag.errors.end());
    m_diag.warnings.insert(m_diag.warnings.end(), m_passDiag.warnings.begin(),
                           m_passDiag.warnings.end());
    out->application = m_app;
    out->variable = m_variable;
    out->bytes = m_out;
    out->pieces = m_pieces;
    out->echoes = m_echoes;
    for (const Assembly::Piece &p : m_pieces)
        if (p.size > 0)
            out->end = std::max<std::uint32_t>(out->end, p.address + std::uint32_t(p.size));
    for (Assembly::Piece &p : out->pieces)
        p.page = pageOf(p.address, std::int64_t(p.offset));
    for (const auto &[k, s] : m_symbols) {
        const auto dot = k.find('.');
        out->labels.push_back(
            {dot == std::string::npos ? s.spelling : k.substr(0, dot) + "." + s.spelling, s.value,
             s.at, s.column, s.equate, s.equate ? -1 : pageOf(s.value, s.placed)});
        if (s.definition < m_definitions.size())
            m_definitions[s.definition].value = s.value;
    }
    out->definitions = std::move(m_definitions);
    out->uses = std::move(m_uses);
}

int Assembler::pageOf(std::int64_t address, std::int64_t offset) const {
    const std::int64_t low = address & 0xFFFF;
    if (!m_app || offset < 0 || low < kPageStart || low >= kPageStart + kPageSize)
        return -1;
    return int(std::min<std::int64_t>(offset / kPageSize, 0xFF));
}

// An application's page is seen at 4000h to 7FFFh: the first statement
// that places bytes past 7FFFh overflows its page, by as much as the page's
// statements after it (up to the next page's .org) reach past it.
void Assembler::pageOverflow() {
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        const Assembly::Piece &p = m_pieces[i];
        if (p.size == 0 || p.address + p.size <= kPageStart + kPageSize || m_pagesSkipped.count(i))
            continue;
        std::uint32_t reach = p.address + std::uint32_t(p.size);
        for (size_t k = i + 1; k < m_pieces.size() && m_pieces[k].address >= p.address; ++k)
            reach = std::max(reach, m_pieces[k].address + std::uint32_t(m_pieces[k].size));
        m_at = p.at;
        m_place = p.place;
        const size_t page = p.offset / kPageSize;
        const std::uint32_t over = reach - (kPageStart + kPageSize);
        error("page " + std::to_string(page) + " of the application overflows by " +
              std::to_string(over) + " byte" + (over == 1 ? "" : "s") +
              " from here: a page holds 16,384 bytes, 4000h to 7FFFh");
        return;
    }
}

} // namespace z80
