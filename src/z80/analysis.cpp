#include "analysis.h"

#include "assembler.h"
#include "expr.h"
#include "preprocessor.h"
#include "vocabulary.h"

#include <unordered_set>

namespace z80 {
namespace {

std::string trimmed(const std::string &s) {
    const auto b = s.find_first_not_of(" \t;");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A name the language itself owns, never a symbol of the program.
bool isWord(const std::string &name) {
    return isLanguageWord(name) || name.find_first_not_of('_') == std::string::npos;
}

// Reads the source and its includes in order, as the build would, and
// notes where names are defined and used. Conditionals whose outcome is known
// from the #defines met so far are followed; both sides of any other.
class Scanner {
public:
    Scanner(FileReader &reader, const AnalysisOptions &options, Analysis &out)
        : m_reader(reader), m_options(options), m_out(out) {}

    void run(const std::string &mainPath) {
        m_mainFolder = folderOf(mainPath);
        file(mainPath, 0);
        m_out.index();
    }

private:
    enum class State { Active, Inactive, Unknown };

    void file(const std::string &path, int depth) {
        if (!m_seen.insert(path).second)
            return;
        const ReadResult read = m_reader.read(path);
        if (!read.error.empty())
            return;
        m_out.filesRead.push_back(path);
        LineSplitter split(read.text);
        bool inBlock = false, inCommentBlock = false;
        const size_t conditions = m_conditions.size();
        std::string_view text;
        for (int n = 1; split.next(&text); ++n) {
            if (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed))
                break;
            if (inCommentBlock) {
                inCommentBlock = !endsCommentBlock(text);
                continue;
            }
            const LexedLine lexed = lex(text, &inBlock);
            if (opensCommentBlock(lexed)) {
                inCommentBlock = true;
                continue;
            }
            if (!line(lexed, text, path, n, depth))
                break;
        }
        m_conditions.resize(conditions);
    }

    bool active() const {
        for (State s : m_conditions)
            if (s == State::Inactive)
                return false;
        return true;
    }

    void define(const Token &t, Definition::Kind kind, const std::string &path, int line,
                std::string_view raw, const LexedLine &lexed) {
        Definition d{t.text, kind, std::nullopt, path, line, int(t.start), {}};
        if (!lexed.comments.empty())
            d.comment =
                trimmed(std::string(raw.substr(lexed.comments[0].start, lexed.comments[0].length)));
        m_out.definitions.push_back(std::move(d));
    }

    void use(const Token &t, const std::string &path, int line) {
        m_out.uses.push_back({t.text, path, line, int(t.start)});
    }

    bool line(const LexedLine &lexed, std::string_view raw, const std::string &path, int n,
              int depth) {
        const std::vector<Token> &t = lexed.tokens;
        if (t.empty())
            return true;
        if (t[0].kind == Kind::Hash)
            return directive(lexed, raw, path, n, depth);
        if (!active())
            return true;
        if (m_macroParams) { // a #macro's body: uses only
            for (const Token &tok : t)
                if (tok.kind == Kind::Name && !isWord(tok.text) && !m_macroParams->count(tok.text))
                    use(tok, path, n);
            return true;
        }
        size_t i = 0;
        bool first = true;
        while (i < t.size()) {
            size_t end = i;
            while (end < t.size() && t[end].kind != Kind::Separator)
                ++end;
            if (!statement(lexed, raw, i, end, first && lexed.startsInColumnOne, path, n))
                return false;
            first = false;
            i = end + 1;
        }
        return true;
    }

    // One statement, tokens [i, end). False at .end.
    bool statement(const LexedLine &lexed, std::string_view raw, size_t i, size_t end,
                   bool columnOne, const std::string &path, int n) {
        const std::vector<Token> &t = lexed.tokens;
        if (i >= end)
            return true;
        const bool colon = i + 1 < end && t[i + 1].isOp(":");
        auto equateAt = [&](size_t k) {
            return k < end && (t[k].isOp("=") || sameWord(t[k].text, ".equ") ||
                               sameWord(t[k].text, "equ") || sameWord(t[k].text, ".set"));
        };
        if (t[i].kind == Kind::Name && !isWord(t[i].text) &&
            (columnOne || colon || equateAt(i + 1))) {
            const size_t after = i + (colon ? 2 : 1);
            if (equateAt(after)) {
                define(t[i], Definition::Kind::Equate, path, n, raw, lexed);
                std::string error;
                if (ExprPtr e = parseExpression(t, after + 1, end, &error))
                    m_out.definitions.back().value = evaluate(
                        *e,
                        [this](const std::string &name) -> std::optional<std::int64_t> {
                            const auto it = m_values.find(lower(name));
                            if (it == m_values.end())
                                return std::nullopt;
                            return it->second;
                        },
                        &error);
                if (const auto &v = m_out.definitions.back().value)
                    m_values.emplace(lower(t[i].text), *v);
            } else {
                define(t[i], Definition::Kind::Label, path, n, raw, lexed);
            }
            i = after;
        }
        if (i >= end)
            return true;
        const std::string head = lower(t[i].text);
        if (head == ".end")
            return false;
        if (head == ".addinstr") {
            if (i + 1 < end && t[i + 1].kind == Kind::Name)
                define(t[i + 1], Definition::Kind::Macro, path, n, raw, lexed);
            return true;
        }
        for (size_t k = i; k < end; ++k)
            if (t[k].kind == Kind::Name && !isWord(t[k].text) &&
                !(k > 0 && t[k - 1].kind == Kind::Op && t[k - 1].text == "." /* a.b */))
                use(t[k], path, n);
        return true;
    }

    bool directive(const LexedLine &lexed, std::string_view raw, const std::string &path, int n,
                   int depth) {
        const std::vector<Token> &t = lexed.tokens;
        const std::string word = lower(t[0].text);
        if (word == "#endmacro" || word == "#endm") {
            m_macroParams.reset();
            return true;
        }
        if (word == "#ifdef" || word == "#ifndef") {
            State s = State::Unknown;
            if (t.size() > 1 && !m_macroParams)
                s = (m_defines.count(lower(t[1].text)) > 0) == (word == "#ifdef") ? State::Active
                                                                                  : State::Inactive;
            m_conditions.push_back(s);
        } else if (word == "#if") {
            m_conditions.push_back(State::Unknown);
        } else if (word == "#else" && !m_conditions.empty()) {
            State &s = m_conditions.back();
            s = s == State::Active     ? State::Inactive
                : s == State::Inactive ? State::Active
                                       : State::Unknown;
        } else if (word == "#elif" && !m_conditions.empty()) {
            m_conditions.back() =
                m_conditions.back() == State::Active ? State::Inactive : State::Unknown;
        } else if (word == "#endif" && !m_conditions.empty()) {
            m_conditions.pop_back();
        }
        if (!active() || t.size() < 2)
            return true;
        if (word == "#include" && depth < kMaxIncludeDepth) {
            std::string name = t[1].kind == Kind::String ? t[1].text : t[1].text;
            if (t[1].isOp("<")) {
                const auto open = raw.find('<'), close = raw.find('>');
                name = close == std::string::npos
                           ? ""
                           : std::string(raw.substr(open + 1, close - open - 1));
            }
            for (char &c : name)
                if (c == '\\')
                    c = '/';
            if (const std::string found = findInclude(name, folderOf(path)); !found.empty()) {
                auto params = std::move(m_macroParams);
                file(found, depth + 1);
                m_macroParams = std::move(params);
            }
        } else if (word == "#define" && t[1].kind == Kind::Name) {
            define(t[1], Definition::Kind::Define, path, n, raw, lexed);
            m_defines.insert(lower(t[1].text));
            std::unordered_set<std::string> params;
            size_t k = 2;
            if (k < t.size() && t[k].isOp("(") && !t[k].spaced)
                for (; k < t.size() && !t[k].isOp(")"); ++k)
                    if (t[k].kind == Kind::Name)
                        params.insert(t[k].text);
            if (t.size() == 3 && t[2].kind == Kind::Number)
                m_out.definitions.back().value = t[2].value;
            for (; k < t.size(); ++k)
                if (t[k].kind == Kind::Name && !isWord(t[k].text) && !params.count(t[k].text))
                    use(t[k], path, n);
        } else if (word == "#macro" && t[1].kind == Kind::Name) {
            define(t[1], Definition::Kind::Macro, path, n, raw, lexed);
            m_defines.insert(lower(t[1].text));
            m_macroParams.emplace();
            for (size_t k = 2; k < t.size(); ++k)
                if (t[k].kind == Kind::Name)
                    m_macroParams->insert(t[k].text);
        } else if (word == "#undef" || word == "#undefine") {
            m_defines.erase(lower(t[1].text));
        }
        return true;
    }

    // The file an #include names, looked for where the build looks.
    std::string findInclude(const std::string &name, const std::string &folder) {
        return z80::findInclude(m_reader, name, folder, m_mainFolder, m_options.includeFolders);
    }

    FileReader &m_reader;
    const AnalysisOptions &m_options;
    Analysis &m_out;
    std::string m_mainFolder;
    std::unordered_set<std::string> m_seen, m_defines;
    std::unordered_map<std::string, std::int64_t> m_values;
    std::vector<State> m_conditions;
    std::optional<std::unordered_set<std::string>> m_macroParams; // inside a #macro
};

// "file:line: error: text" from the build's front end, as a problem.
using LineCache = std::unordered_map<std::string, std::vector<std::string>>;
std::optional<Problem> problemOf(const std::string &message, const std::string &mainFolder,
                                 FileReader &reader, LineCache &cache, bool error) {
    const std::string kind = error ? ": error: " : ": warning: ";
    const auto k = message.find(kind);
    const auto c = k == std::string::npos ? k : message.rfind(':', k - 1);
    if (c == std::string::npos)
        return std::nullopt;
    Problem p;
    p.file = message.substr(0, c);
    if (p.file.empty() || p.file[0] != '/')
        p.file = normalPath(joinPath(mainFolder, p.file));
    p.line = std::atoi(message.c_str() + c + 1);
    p.error = error;
    p.message = message.substr(k + kind.size());
    auto cached = cache.find(p.file);
    if (cached == cache.end())
        cached = cache.emplace(p.file, splitLines(reader.read(p.file).text)).first;
    const std::vector<std::string> &lines = cached->second;
    if (p.line < 1 || size_t(p.line) > lines.size())
        return p;
    const std::string &text = lines[size_t(p.line) - 1];
    const auto q = p.message.find('\'');
    const auto q2 = q == std::string::npos ? q : p.message.find('\'', q + 1);
    if (q2 != std::string::npos) {
        const std::string word = lower(p.message.substr(q + 1, q2 - q - 1));
        if (const auto at = lower(text).find(word); !word.empty() && at != std::string::npos) {
            p.column = int(at);
            p.length = int(word.size());
            return p;
        }
    }
    const auto first = text.find_first_not_of(" \t");
    p.column = first == std::string::npos ? 0 : int(first);
    p.length = int(text.size()) - p.column;
    return p;
}

} // namespace

const Definition *Analysis::find(const std::string &name) const {
    const auto it = m_byName.find(lower(name));
    return it == m_byName.end() ? nullptr : &definitions[it->second];
}

void Analysis::index() {
    m_byName.clear();
    for (size_t i = 0; i < definitions.size(); ++i)
        m_byName.emplace(lower(definitions[i].name), i);
}

Analysis analyse(const std::string &mainPath, FileReader &reader, const AnalysisOptions &options) {
    Analysis out;
    Options preprocess;
    preprocess.includeFolders = options.includeFolders;
    preprocess.cancel = options.cancel;
    const Assembly assembly = assemble(mainPath, reader, preprocess);
    const std::string folder = folderOf(mainPath);
    LineCache cache;
    for (const std::string &m : assembly.errors)
        if (auto p = problemOf(m, folder, reader, cache, true);
            p &&
            (options.reportUndefined || p->message.find("' is undefined") == std::string::npos))
            out.problems.push_back(std::move(*p));
    for (const std::string &m : assembly.warnings)
        if (auto p = problemOf(m, folder, reader, cache, false))
            out.problems.push_back(std::move(*p));
    Scanner(reader, options, out).run(mainPath);
    // The values the assembler found: label addresses and every equate.
    std::unordered_map<std::string, std::int64_t> values;
    for (const Assembly::Label &l : assembly.labels)
        values.emplace(lower(l.name), l.value);
    for (Definition &d : out.definitions)
        if (const auto it = values.find(lower(d.name));
            it != values.end() &&
            (d.kind == Definition::Kind::Label || d.kind == Definition::Kind::Equate))
            d.value = it->second;
    return out;
}

OverlayReader::OverlayReader(FileReader &below, std::string path, std::string text)
    : m_below(below), m_path(std::move(path)), m_text(std::move(text)) {}

ReadResult OverlayReader::read(const std::string &path) {
    if (path == m_path)
        return {m_text, {}};
    auto it = m_read.find(path);
    if (it == m_read.end())
        it = m_read.emplace(path, m_below.read(path)).first;
    return it->second;
}

bool OverlayReader::exists(const std::string &path) {
    return path == m_path || m_read.count(path) || m_below.exists(path);
}

std::vector<std::string> OverlayReader::list(const std::string &folder) {
    return m_below.list(folder);
}

} // namespace z80
