#include "analysis.h"

#include "assembler.h"
#include "vocabulary.h"

#include <memory>

namespace z80 {
namespace {

// The text of a file's lines, each file read once.
class Lines {
public:
    explicit Lines(FileReader &reader) : m_reader(reader) {}
    const std::string *line(const std::string &path, int n) {
        auto it = m_files.find(path);
        if (it == m_files.end())
            it = m_files.emplace(path, splitLines(m_reader.read(path).text)).first;
        if (n < 1 || size_t(n) > it->second.size())
            return nullptr;
        return &it->second[size_t(n) - 1];
    }

private:
    FileReader &m_reader;
    std::unordered_map<std::string, std::vector<std::string>> m_files;
};

// A diagnostic with whole paths, and the line's text as its span when it
// names nothing on the line.
Diagnostic placed(Diagnostic d, const std::string &mainPath, Lines &lines) {
    d.file = wholePath(mainPath, d.file);
    if (d.column < 0) {
        const std::string *text = lines.line(d.file, d.line);
        const auto first = text ? text->find_first_not_of(" \t") : std::string::npos;
        d.column = first == std::string::npos ? 0 : int(first);
        d.length = first == std::string::npos ? 0 : int(text->size()) - d.column;
    }
    if (d.cause)
        d.cause = std::make_shared<const Diagnostic>(placed(*d.cause, mainPath, lines));
    return d;
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
    Assembly assembly = assemble(mainPath, reader, preprocess);
    Lines lines(reader);
    for (const auto *list : {&assembly.errors, &assembly.warnings})
        for (const Diagnostic &d : *list)
            if (options.reportUndefined || d.code != Diagnostic::Code::Undefined)
                out.problems.push_back(placed(d, mainPath, lines));
    out.definitions = std::move(assembly.definitions);
    for (Definition &d : out.definitions)
        d.file = wholePath(mainPath, d.file);
    out.uses = std::move(assembly.uses);
    for (Use &u : out.uses)
        u.file = wholePath(mainPath, u.file);
    out.filesRead = std::move(assembly.filesRead);
    out.index();
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
