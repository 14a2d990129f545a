#pragma once
// The source map a build leaves beside the program (NAME.map): which
// statement placed which bytes, and where every label and equate is defined,
// so that a debugger can go from an address to its line and back. Written
// from the build's pieces; read back by the debugger and the tests. A text
// of lines, fields apart by one blank:
//
//   qvmap 1                                   the format and its version, first
//   bytes SIZE HASH                           the program's bytes: how many, and
//                                             their FNV-1a hash (64 bits, hex), by
//                                             which a debugger knows the map is
//                                             the program's own
//   pages N                                   an application of N pages of 16 KB
//                                             (a program has no such line): its
//                                             bytes are its pages as its .8xk file
//                                             holds them before the signature, and
//                                             an address in 4000h-7FFFh names its
//                                             page, PP:ADDR (PP hexadecimal, counted
//                                             from its first page, as the listing
//                                             and branch tables count)
//   file F NAME                               a file, numbered from 0 in the order
//                                             met; NAME (the rest of the line) as
//                                             messages name it
//   code [PP:]ADDR SIZE OFFSET F:LINE:COL [M F:LINE]...
//   data [PP:]ADDR SIZE OFFSET F:LINE:COL [M F:LINE]...
//                                             a statement that placed SIZE bytes at
//                                             ADDR (hexadecimal), found at OFFSET in
//                                             the program's bytes; an instruction or
//                                             data; where it is written (COL from 1,
//                                             0 when unknown), and the #macro calls
//                                             that produced it, outermost first: each
//                                             macro's name and its body's line
//   label NAME VALUE F:LINE:COL [PP]          a label, VALUE in decimal; an
//                                             application's label on a page, its page
//   equate NAME VALUE F:LINE:COL              an equate
//
// Statements come in the order of their bytes; two joined by '\' on one
// line are two entries.

#include "assembler.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

struct SourceMap {
    struct Place {
        size_t file = 0; // in files
        int line = 0;
        int column = 0; // from 1; 0 when unknown
    };
    struct Step {
        std::string macro;
        size_t file = 0;
        int line = 0;
    };
    struct Entry {
        std::uint32_t address = 0; // 16 bits
        int page = -1;             // an application's page, for an address in 4000h-7FFFh
        size_t size = 0, offset = 0;
        bool code = false;
        Place at;
        std::vector<Step> macros; // outermost first
    };
    struct Symbol {
        std::string name;
        std::int64_t value = 0;
        bool equate = false;
        Place at;
        int page = -1; // as an entry's
    };
    std::vector<std::string> files;
    std::optional<std::uint64_t> size, hash; // of the program's bytes; none in older maps
    int pages = 0;                           // an application's; 0 for a program
    std::vector<Entry> entries; // in the order of the program's bytes
    std::vector<Symbol> symbols;

    // The entry whose bytes hold `address` (on the application's `page`
    // when it is in 4000h-7FFFh; -1 there is page 0), or null.
    const Entry *at(std::uint32_t address, int page = -1) const;
    // The entries of a line of `file` (named as in files), in order.
    std::vector<const Entry *> of(const std::string &file, int line) const;
    // Builds what at() looks in; readMap() calls it.
    void index();

private:
    std::vector<size_t> m_byAddress;
};

// The FNV-1a hash (64 bits) a map gives of the program's bytes.
std::uint64_t mapHash(const std::uint8_t *bytes, size_t size);

// The map of a build; of an application, `image` is what its .8xk file
// holds before the signature (the header's length and page count filled in).
std::string writeMap(const Assembly &a);
std::string writeMap(const Assembly &a, const std::vector<std::uint8_t> &image);

// Where an address is found among an application's pages: its page above
// its 16 bits when it is in 4000h-7FFFh and the page is known, else the address.
inline std::uint32_t pagedKey(std::uint32_t address, int page) {
    address &= 0xFFFF;
    return page > 0 && address >= 0x4000 && address < 0x8000 ? std::uint32_t(page) << 16 | address
                                                             : address;
}

// A map read back; nothing, and *error ("line 3: ..."), when the text is not one.
std::optional<SourceMap> readMap(std::string_view text, std::string *error);

} // namespace z80
