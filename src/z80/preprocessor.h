#pragma once
// Reads the source and its includes line by line: conditionals, #define and
// #macro, #comment blocks, statements apart by '\'. Each statement goes on
// to the sink in source order; an #if can use the equates met so far.

#include "budget.h"
#include "diagnostics.h"
#include "macros.h"
#include "sink.h"
#include "source.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace z80 {

struct Options {
    std::vector<std::string> includeFolders; // searched after the source's own places
    std::vector<std::pair<std::string, std::string>> defines; // NAME, text
    Limits limits;                                            // the work one build may do
    // Set from another thread to stop reading: the editor's analysis of
    // text that has changed since, or of a window that closes.
    const std::atomic<bool> *cancel = nullptr;
};

constexpr int kMaxIncludeDepth = kMaxNesting;
constexpr size_t kMaxMacroCalls = 100000;
constexpr size_t kMaxLineLength = 65536;

// A line as it was read, for the listing.
struct ReadLine {
    enum State : std::uint8_t {
        Listed,
        Skipped,
        Unlisted
    };                  // Skipped: by an #if; Unlisted: .nolist
    std::uint32_t file; // into the names of the files read
    std::int32_t line;
    State state;
};

// How many of a program's first lines may hold its "; defines:" comment.
constexpr int kDefinesCommentLines = 10;
// The defines a "; defines: NAME NAME=VALUE" comment among the first lines
// of `text` gives (programdefines.cpp).
std::vector<std::pair<std::string, std::string>> definesComment(std::string_view text);
// What follows `word` ("defines:", "variable:", any letter case) on each of
// a source's first kDefinesCommentLines lines that is a comment starting with it.
std::vector<std::string_view> leadingComments(std::string_view text, std::string_view word);

class Preprocessor {
public:
    Preprocessor(FileReader &reader, const Options &options, Diagnostics &diagnostics,
                 StatementSink &sink);
    void run(const std::string &mainPath);
    // A limit of the build's budget was met: the reading stopped there.
    bool exhausted() const { return m_budget.exhausted(); }
    // Every line read, in order, and the names of the files they are in.
    std::vector<ReadLine> &lines() { return m_lines; }
    std::vector<std::string> &lineFiles() { return m_lineFiles; }
    // The defines in force at the start: the build's, then the program's own.
    const std::vector<std::pair<std::string, std::string>> &defines() const { return m_defines; }

private:
    struct Condition {
        bool active;       // lines under it count
        bool parentActive; // lines around it count
        bool taken;        // a branch of it was taken
        bool seenElse;
        Origin where;
        std::string word;
        size_t place = 0; // its line, in the order lines were read
    };
    struct Place {
        std::string folder;
        int depth;
    };

    bool active() const { return m_conditions.empty() || m_conditions.back().active; }
    void file(const std::string &path, int depth, const Origin &includedAt);
    bool line(const LexedLine &lexed, const std::string &raw, const Origin &at, const Place &place);
    // A line's statements, macros and .include (statements.cpp).
    bool statements(std::vector<Token> tokens, bool columnOne, const Origin &at,
                    const Place &place);
    // The '#' directives (hashdirectives.cpp).
    void directive(const LexedLine &lexed, const std::string &raw, const Origin &at,
                   const Place &place, bool asWritten);
    // The program's model: the names a line uses (uses.cpp), a #define's
    // place and uses (conditions.cpp).
    void noteUses(const std::vector<Token> &t, bool columnOne, const Origin &at,
                  const std::vector<std::string> *params);
    void noteDefine(const std::vector<Token> &t, const Origin &at);
    void conditional(const std::string &word, const std::vector<Token> &t, const Origin &at);
    bool condition(const std::vector<Token> &t, const Origin &at);
    bool define(const std::vector<Token> &t, const Origin &at);
    // An include read in its place (includes.cpp).
    void include(const std::string &name, const Origin &at, const Place &place);
    // spasm-ng's built-in macros (builtins.cpp).
    enum class Builtin { None, Done, Stop };
    Builtin builtinStatement(std::vector<Token> &s, const Origin &at, const Place &place);
    bool builtinDefine(Macro &m, const Origin &at);
    void getc(std::vector<Token> &s, size_t at, const Origin &where, const Place &place);
    std::optional<std::int64_t> valueNow(std::vector<Token> e, const Origin &at,
                                         const std::string &what);
    std::optional<std::int64_t> evaluateNow(const std::vector<Token> &e, std::string *error) const;
    std::string textOf(const std::vector<Token> &arg, const Origin &at, const std::string &what);
    // spasm-ng's bitmap options and an included bitmap (pictures.cpp).
    void option(const std::vector<Token> &s, const Origin &at);
    std::optional<std::string> optionText(const std::string &name) const;
    std::optional<std::int64_t> optionValue(const std::string &name, const Origin &at);
    void picture(const std::string &bytes, const std::string &name, const Origin &at);
    std::string findInclude(const std::string &name, const std::string &folder);
    std::string missingIncludeHint(const std::string &name);
    // Brass's forms of the directives above (brass.cpp): .define, .ifdef,
    // .elseif ..., .deflong, .repeat/.for ... .loop, .endasm ... .asm.
    bool brassLine(const LexedLine &lexed, const std::string &raw, const Origin &at,
                   const Place &place);
    bool recordLoop(const LexedLine &lexed, const std::string &raw, const Origin &at,
                    const Place &place);
    void replayLoop(const Place &place);
    bool made(const std::vector<Token> &statement, const Origin &at);
    bool loopOnOneLine(const LexedLine &lexed, const Origin &at, const Place &place);
    void brassForm(const Origin &at);
    std::string environmentValues(const std::string &line);
    // A file a Brass directive names in quotes (a '\\' in its name ends a
    // folder, never escapes), found as an include is, counted against the
    // budget with its bytes and read whole; nullopt when any of that failed,
    // said at `at` ("cannot find the `what` NAME").
    std::optional<ReadResult> quotedFile(const Token &quoted, const Origin &at,
                                         const Place &place, const std::string &what,
                                         std::string *path);
    void labelFile(const std::vector<Token> &t, const Origin &at, const Place &place);
    void binaryFile(const std::vector<Token> &t, const Origin &at, const Place &place);
    // Brass's .incbmp, .rlemode and run-length encoding (brass_bitmap.cpp).
    void brassBitmap(const std::vector<Token> &t, const Origin &at, const Place &place);
    void rleMode(const std::vector<Token> &t, const Origin &at);
    std::vector<std::uint8_t> runLengths(const std::vector<std::uint8_t> &data) const;
    bool madeBytes(const std::vector<std::uint8_t> &bytes, const Origin &at);
    std::uint8_t m_rleFlag = 0x91;
    bool m_rleValueFirst = true;
    // Brass's .fopen ... .fclose: files read a byte or word at a time into
    // labels (brass_files.cpp).
    bool brassFile(const std::string &word, const std::vector<Token> &t, const Origin &at,
                   const Place &place);
    struct OpenFile {
        std::string bytes;
        size_t at = 0;
    };
    std::map<std::string, OpenFile> m_files; // by lower-case handle
    bool callMacro(const Macro &m, const std::vector<Token> &s, size_t head, const Origin &at,
                   const Place &place);
    std::string display(const std::string &path) const;
    // One level deeper into includes, #macros or run(); past the shared
    // limit, false and the error at `at`, with `hint` saying what may loop.
    bool enter(const Origin &at, const std::string &hint);
    void leave() { --m_depth; }
    // The build stops: cancelled, a budget met, or the sink said so.
    bool stopped() const {
        return m_stop || (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed));
    }
    // Spends from the build's budget; the first time a limit is met, says
    // so at `at`. False from then on: the build stops.
    bool spend(Budget::What what, size_t n, const Origin &at);

    FileReader &m_reader;
    const Options &m_options;
    Diagnostics &m_diag;
    StatementSink &m_sink;
    MacroTable m_macros;
    Budget m_budget;
    bool m_budgetSaid = false;
    std::map<std::int64_t, std::string> m_buffers; // wr() writes, run() reads
    std::int64_t m_buffer = 0;                     // the one buf() chose
    std::vector<Condition> m_conditions;
    std::optional<Macro> m_recording;
    Origin m_recordingAt;
    size_t m_recordingPlace = 0;
    size_t m_commentPlace = 0;
    std::optional<Origin> m_comment; // where the open #comment block began
    std::string m_mainFolder;
    int m_depth = 0;     // includes, #macros and run() entered
    bool m_stop = false; // the sink or a budget ended the build
    struct Loop { // a .repeat or .for being read up to its .loop
        Origin at;
        size_t place = 0;
        std::string variable; // .for's label, "" for .repeat
        std::int64_t from = 0, to = 0, step = 1;
        std::vector<std::pair<Origin, std::string>> lines; // each where it was written
        int nested = 0;                                    // loops opened inside it, not yet closed
    };
    std::optional<Loop> m_loop;
    bool m_endasm = false; // between .endasm and .asm
    std::vector<std::pair<std::string, std::string>> m_defines;
    std::vector<ReadLine> m_lines;
    std::vector<std::string> m_lineFiles;
    bool m_listing = true;     // between .nolist and .list: false
    bool m_asWritten = false;  // the line under way is read from a file, not made by a macro
    bool m_lineWritten = false; // line() is on such a line (for Brass's dotted directives)
    std::string m_lineComment; // the comment of the file's line being read
    size_t m_macroCalls = 0;
};

} // namespace z80
