#pragma once
// What a build left beside a program for its debugging, read without the
// assembler: the labels file (`name = $1234` lines, as the kit and spasm-ng
// write it) and a listing in spasm-ng's layout ("LINE 00:ADDR BYTES TEXT",
// "Listing for file" where the file changes), by which an address is named
// as label+offset and as the file:line and text of the statement there.
// An application's addresses in 4000h-7FFFh are on one of its pages: the
// labels file gives a label there its page above its 16 bits ("$14123" is
// 4123h on page 1, counted from the application's first), as spasm-ng writes
// it, and the listing a line's page before its address ("01:4123"); a page
// of -1 asked for is page 0.

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

    // The label's value, in any letter case: its 16 bits, or as the file
    // gives it (an application's page above them).
    std::optional<std::uint16_t> label(const std::string &name) const;
    std::optional<std::uint32_t> labelValue(const std::string &name) const;
    // "loop", "loop+3", or empty when no label lies at most 255 bytes below
    // on the same page.
    std::string labelAt(std::uint16_t address, int page = -1) const;
    // The statement whose bytes start at `address`.
    const SourceLine *lineAt(std::uint16_t address, int page = -1) const;
    bool hasListing() const { return !m_lines.empty(); }
    // The listing's statements by address, its page above its 16 bits.
    const std::map<std::uint32_t, SourceLine> &lines() const { return m_lines; }

    // An address's key in these tables: the page above an address in
    // 4000h-7FFFh, page 0 (or -1) as the address alone.
    static std::uint32_t key(std::uint16_t address, int page) {
        return page > 0 && address >= 0x4000 && address < 0x8000
                   ? std::uint32_t(page) << 16 | address
                   : address;
    }

private:
    std::map<std::string, std::uint32_t> m_labels;     // by lower-case name
    std::multimap<std::uint32_t, std::string> m_names; // by key
    std::map<std::uint32_t, SourceLine> m_lines;       // by key
};

} // namespace run
