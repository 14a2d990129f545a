// Includes: the file an include names, found in the including file's
// folder, the program's and the include folders, read in the include's place.

#include "preprocessor.h"

#include "z80/vocabulary.h"

#include "preprocessing.h"

#include <algorithm>

namespace z80 {

namespace preprocessing {

std::string includeName(std::string rest) {
    rest = trim(rest);
    std::string name;
    if (!rest.empty() && (rest[0] == '"' || rest[0] == '<' || rest[0] == '\'')) {
        const char close = rest[0] == '<' ? '>' : rest[0];
        const auto end = rest.find(close, 1);
        name = rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
        name = rest.substr(0, rest.find_first_of(" \t;"));
    }
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

} // namespace preprocessing

void Preprocessor::include(const std::string &name, const Origin &at, const Place &place) {
    if (name.empty()) {
        m_diag.error(at, "#include needs a file name");
        return;
    }
    std::string othersFolder;
    const std::string path = z80::findInclude(m_reader, name, place.folder, m_mainFolder,
                                              m_options.includeFolders, &othersFolder);
    if (!othersFolder.empty())
        m_diag.warning(at, "the include file " + name + " was taken from " + othersFolder +
                               ", a folder other users may put files into; make sure it is the "
                               "file you mean, or put a copy where only you can write");
    if (path.empty()) {
        m_diag.cause(at, "cannot find the include file " + name + missingIncludeHint(name));
        m_sink.includeFailed(at);
        return;
    }
    if (!enter(at, "does " + name + " include itself?"))
        return;
    file(path, place.depth + 1, at);
    leave();
}

// What to do about an include not found, only what is true: a file of its
// name in an include folder is named (the path written misses it); the
// calculator's definitions file, nowhere, is to be copied in.
std::string Preprocessor::missingIncludeHint(const std::string &name) {
    const std::string base = name.substr(name.find_last_of('/') + 1);
    for (const std::string &folder : m_options.includeFolders)
        if (const std::string there = resolveFolded(m_reader, joinPath(folder, base));
            !there.empty())
            return ": " + there +
                   " is there, but the path written does not lead to it; write "
                   "#include \"" +
                   base + "\"";
    if (lower(base) == "ti83plus.inc")
        return ": this is the calculator's definitions file; put a copy into ~/Asm/TASM (TI "
               "publishes it with its TI-83 Plus SDK, and spasm-ng carries one in its inc folder)";
    return "";
}

std::string Preprocessor::findInclude(const std::string &name, const std::string &folder) {
    return z80::findInclude(m_reader, name, folder, m_mainFolder, m_options.includeFolders);
}

} // namespace z80
