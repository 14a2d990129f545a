#pragma once
// Translates a source in the classic table-driven assembler's dialect into
// pasmo's: includes, defines (with arguments) and conditionals are expanded,
// statements joined with '\' are split, dot directives become pasmo's, and
// expressions are parenthesised so that pasmo computes the strictly
// left-to-right result. Sources already in pasmo's plain forms pass through.
// Every output line is mapped back to the file and line it came from.

#include <string>
#include <vector>

struct SourceLine {
    std::string file; // as the user knows it: the name given, or the include's name
    int line = 0;
};

struct Translation {
    std::vector<std::string> lines;  // pasmo input
    std::vector<SourceLine> origins; // one per output line
    std::vector<std::string> errors; // "file:line: error: text"
    bool ok() const { return errors.empty(); }
};

// Reads `path`, searching includes in the including file's folder, the main
// source's folder, then each of `includeFolders`.
Translation translateFile(const std::string &path, const std::vector<std::string> &includeFolders);

// The same for text already in memory, named `name`, with includes searched
// from `folder`.
Translation translateText(const std::string &text, const std::string &name,
                          const std::string &folder,
                          const std::vector<std::string> &includeFolders);

// The left-to-right form of one expression in pasmo's syntax; empty and an
// error text when it cannot be read.
std::string translateExpression(const std::string &expression, std::string *error);
