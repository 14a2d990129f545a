#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "bitmap.h"
#include "expr.h"
#include "preprocessing.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

namespace z80 {

namespace preprocessing {

std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace preprocessing

using preprocessing::trim;

namespace {

// The label or equate a line defines, if any: a name at its start, or a
// name and ':'.
std::string definedName(const std::string &raw) {
    const LexedLine l = lex(raw);
    const std::vector<Token> &t = l.tokens;
    if (t.empty() || t[0].kind != Kind::Name || t[0].text == "_")
        return {};
    if (l.startsInColumnOne || (t.size() > 1 && t[1].isOp(":")))
        return t[0].text;
    return {};
}

// The text of the line's first comment, without its marks and blanks.
std::string commentOf(const LexedLine &lexed, std::string_view raw) {
    if (lexed.comments.empty())
        return {};
    const std::string_view c = raw.substr(lexed.comments[0].start, lexed.comments[0].length);
    const auto b = c.find_first_not_of(" \t;");
    if (b == std::string_view::npos)
        return {};
    return std::string(c.substr(b, c.find_last_not_of(" \t\r\n") - b + 1));
}

} // namespace

Preprocessor::Preprocessor(FileReader &reader, const Options &options, Diagnostics &diagnostics,
                           StatementSink &sink)
    : m_reader(reader), m_options(options), m_diag(diagnostics), m_sink(sink),
      m_budget(options.limits) {}

bool Preprocessor::spend(Budget::What what, size_t n, const Origin &at) {
    if (!m_budget.exhausted() && m_budget.spend(what, n))
        return true;
    if (!m_budgetSaid)
        m_diag.error(at, m_budget.message());
    m_budgetSaid = true;
    m_stop = true;
    return false;
}

bool Preprocessor::enter(const Origin &at, const std::string &hint) {
    if (m_depth >= kMaxNesting) {
        m_diag.error(at, "includes, #macros and run() nest deeper than " +
                             std::to_string(kMaxNesting) + " levels (" + hint + ")");
        return false;
    }
    ++m_depth;
    return true;
}

void Preprocessor::run(const std::string &mainPath) {
    m_mainFolder = folderOf(mainPath);
    m_defines = m_options.defines;
    for (const auto &[name, text] : m_options.defines) {
        Macro m;
        m.name = name;
        m.body = lex(text).tokens;
        m_macros.define(std::move(m));
    }
    file(mainPath, 0, {display(mainPath), 0});
    for (const Condition &c : m_conditions)
        m_diag.cause(c.where, "#" + c.word + " has no #endif", c.place);
    if (m_recording)
        m_diag.cause(m_recordingAt, "#macro " + m_recording->name + " has no #endmacro",
                     m_recordingPlace);
    if (m_loop)
        m_diag.cause(m_loop->at, "the loop has no .loop after it", m_loop->place);
    if (m_comment)
        m_diag.cause(*m_comment, "#comment has no #endcomment", m_commentPlace);
    m_macros.each([this](const Macro &m) {
        if (!m.function && !m.multiLine && !m.body.empty())
            m_sink.definedAtEnd(m.name, m.body);
    });
}

std::string Preprocessor::display(const std::string &path) const {
    const std::string prefix = m_mainFolder == "." ? "" : m_mainFolder + "/";
    if (!prefix.empty() && path.compare(0, prefix.size(), prefix) == 0)
        return path.substr(prefix.size());
    return path;
}

void Preprocessor::file(const std::string &path, int depth, const Origin &includedAt) {
    if (!spend(Budget::What::Files, 1, includedAt))
        return;
    const ReadResult read = m_reader.read(path);
    if (!read.error.empty()) {
        m_diag.cause(includedAt, "cannot read " + display(path) + ": " + read.error);
        if (depth > 0)
            m_sink.includeFailed(includedAt);
        return;
    }
    if (!spend(Budget::What::Bytes, read.text.size(), includedAt))
        return;
    if (isBitmap(read.text)) {
        picture(read.text, display(path), includedAt);
        return;
    }
    if (isBinary(read.text)) {
        m_diag.error(includedAt, display(path) + " is not a source file");
        return;
    }
    if (depth == 0) { // the source's "; variable:" line says what the build writes
        std::string why;
        if (const auto form = variableComment(read.text, &why))
            m_sink.variableForm(*form);
        else if (!why.empty())
            m_diag.error(Origin(display(path), 1), why);
    }
    if (depth == 0) // the program's "; defines:" line adds to the build's
        for (const auto &[name, text] : definesComment(read.text)) {
            Macro m;
            m.name = name;
            m.body = lex(text).tokens;
            m_macros.define(std::move(m));
            m_defines.emplace_back(name, text);
        }
    const Place place{folderOf(path), depth};
    const std::string name = display(path);
    const auto fileIndex = std::uint32_t(m_lineFiles.size());
    m_lineFiles.push_back(name);
    const size_t conditionsBefore = m_conditions.size();
    bool inBlockComment = false;
    std::optional<Origin> blockOpened;
    size_t blockPlace = 0;
    LineSplitter split(read.text);
    std::string_view view;
    for (int n = 1; split.next(&view); ++n) {
        if (stopped())
            break;
        ++m_diag.now;
        const Origin at{name, n};
        // Listed as read: skipped when an #if leaves it out, unlisted when
        // a .nolist before it or on it holds.
        m_lines.push_back({fileIndex, n, active() ? ReadLine::Listed : ReadLine::Skipped});
        const size_t listed = m_lines.size() - 1;
        const bool listingBefore = m_listing;
        if (!spend(Budget::What::Lines, 1, at))
            break;
        if (view.size() > kMaxLineLength) {
            m_diag.error(at, "the line is longer than " + std::to_string(kMaxLineLength / 1024) +
                                 " KiB");
            continue;
        }
        std::string text(view);
        if (text.find("[%") != std::string::npos)
            text = environmentValues(text);
        if (m_comment) {
            if (endsCommentBlock(text))
                m_comment.reset();
            continue;
        }
        if (m_endasm) {
            m_endasm = lower(trim(text)).compare(0, 4, ".asm") != 0;
            continue;
        }
        const bool blockBefore = inBlockComment;
        LexedLine lexed = lex(text, &inBlockComment);
        if (inBlockComment && !blockBefore) {
            blockOpened = at;
            blockPlace = m_diag.now;
        }
        m_lineComment = commentOf(lexed, text);
        m_sink.lineComment(m_lineComment);
        m_asWritten = true;
        const bool goOn = line(lexed, text, at, place);
        if ((!listingBefore || !m_listing) && m_lines[listed].state == ReadLine::Listed)
            m_lines[listed].state = ReadLine::Unlisted;
        if (!goOn) {
            if (stopped())
                break;
            // .end: the rest of this file is not read; what it would define is said.
            for (std::string_view rest; split.next(&rest);)
                if (const std::string label = definedName(std::string(rest)); !label.empty())
                    m_sink.definedAfterEnd(label, at);
            break;
        }
    }
    if (inBlockComment && blockOpened)
        m_diag.cause(*blockOpened, "the /* comment has no */", blockPlace);
    // An #if opened in a file and not closed there is closed with it, each
    // reported in the order of its lines.
    for (size_t i = conditionsBefore; i < m_conditions.size(); ++i)
        m_diag.cause(m_conditions[i].where, "#" + m_conditions[i].word + " has no #endif",
                     m_conditions[i].place);
    m_conditions.resize(conditionsBefore);
}

bool Preprocessor::line(const LexedLine &lexed, const std::string &raw, const Origin &at,
                        const Place &place) {
    const std::vector<Token> &t = lexed.tokens;
    const bool asWritten = std::exchange(m_asWritten, false); // a line of a file, not a macro's
    m_lineWritten = asWritten;
    if (m_recording) {
        if (!t.empty() && (t[0].kind == Kind::Hash || t[0].kind == Kind::Dot) &&
            (lower(t[0].text.substr(1)) == "endmacro" || lower(t[0].text) == "#endm" ||
             lower(t[0].text.substr(1)) == "enddeflong")) {
            m_macros.define(std::move(*m_recording));
            m_recording.reset();
        } else {
            m_recording->lines.push_back(raw);
            m_recording->lineAt.push_back({at.file, at.line, at.macro});
            if (asWritten)
                noteUses(t, false, at, &m_recording->params);
        }
        return true;
    }
    if (!t.empty() && (m_loop || t[0].kind == Kind::Dot) && loopOnOneLine(lexed, at, place))
        return true;
    if (m_loop)
        return recordLoop(lexed, raw, at, place);
    if (!t.empty() && (t[0].kind == Kind::Dot || t[0].kind == Kind::Hash) &&
        brassLine(lexed, raw, at, place))
        return true;
    if (!t.empty() && t[0].kind == Kind::Hash) {
        directive(lexed, raw, at, place, asWritten);
        return true;
    }
    if (!active() || t.empty())
        return true;
    if (t[0].kind == Kind::Dot && (sameWord(t[0].text, ".nolist") || sameWord(t[0].text, ".list")))
        m_listing = sameWord(t[0].text, ".list");
    if (!lexed.error.empty()) {
        m_diag.error(at, lexed.error);
        return true;
    }
    if (asWritten)
        noteUses(t, lexed.startsInColumnOne, at, nullptr);
    return statements(t, lexed.startsInColumnOne, at, place);
}

} // namespace z80
