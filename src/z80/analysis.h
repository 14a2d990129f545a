#pragma once
// What the editor knows of a program without building it: the assembler's
// own model of it (assembler.h), with every file named by its whole path.
// The problems a build would report, where every label, equate, #define and
// macro is defined (with the comment on its line, which is how the standard
// include describes its ROM calls) and every place a name is used. Computed
// from the source as it stands in the editor and the includes it reads;
// writes nothing.

#include "diagnostics.h"
#include "model.h"
#include "source.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace z80 {

struct Analysis {
    // The build's errors and warnings; each has a column and a length (the
    // line's text when the fault names nothing written on it).
    std::vector<Diagnostic> problems;
    std::vector<Definition> definitions; // in the order they are read
    std::vector<Use> uses;
    std::vector<std::string> filesRead; // the source first, then each include once

    // The definition of `name` (in any letter case), or null.
    const Definition *find(const std::string &name) const;
    void index(); // builds what find() looks in; analyse() calls it

private:
    std::unordered_map<std::string, size_t> m_byName; // lower-case name -> first definition
};

struct AnalysisOptions {
    std::vector<std::string> includeFolders; // searched after the source's own places
    // A file checked alone (an include whose program is unknown) leaves out
    // the names it uses from elsewhere.
    bool reportUndefined = true;
    const std::atomic<bool> *cancel = nullptr; // set to stop early, leaving a partial result
};

Analysis analyse(const std::string &mainPath, FileReader &reader, const AnalysisOptions &options);

// One file's text from memory (the editor's unsaved text), the rest from
// another reader; every file is read once however often it is asked for.
class OverlayReader : public FileReader {
public:
    OverlayReader(FileReader &below, std::string path, std::string text);
    ReadResult read(const std::string &path) override;
    bool exists(const std::string &path) override;
    std::vector<std::string> list(const std::string &folder) override;
    bool ownFolder(const std::string &folder) override { return m_below.ownFolder(folder); }

private:
    FileReader &m_below;
    std::string m_path, m_text;
    std::unordered_map<std::string, ReadResult> m_read;
};

} // namespace z80
