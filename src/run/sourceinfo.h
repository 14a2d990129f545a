#pragma once
// What a build left beside a program for its debugging, read without the
// assembler: the labels file (`name = $1234` lines, as the kit and spasm-ng
// write it) and a listing in spasm-ng's layout ("LINE 00:ADDR BYTES TEXT",
// "Listing for file" where the file changes), by which an address is named
// as label+offset and as the file:line and text of the statement there.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace run {

struct SourceLine {
    std::string file;
    int line = 0;
    std::string text;
};

class SourceInfo {
public:
    // NAME.lab and NAME.lst beside `programPath` (NAME.8xp), where they are.
    static SourceInfo beside(const std::string &programPath);

    void readLabels(const std::string &text);
    // `mainFile` names the file the listing starts in.
    void readListing(const std::string &text, const std::string &mainFile);

    // The label's value, in any letter case.
    std::optional<std::uint16_t> label(const std::string &name) const;
    // "loop", "loop+3", or empty when no label lies at most 255 bytes below.
    std::string labelAt(std::uint16_t address) const;
    // The statement whose bytes start at `address`.
    const SourceLine *lineAt(std::uint16_t address) const;
    bool hasListing() const { return !m_lines.empty(); }
    // The listing's statements by address.
    const std::map<std::uint16_t, SourceLine> &lines() const { return m_lines; }

private:
    std::map<std::string, std::uint16_t> m_labels;     // by lower-case name
    std::multimap<std::uint16_t, std::string> m_names; // by value
    std::map<std::uint16_t, SourceLine> m_lines;       // by address
};

} // namespace run
