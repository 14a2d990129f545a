#pragma once
// What the debugger knows of a program's source, from what its build left
// beside the program file: the kit's source map (NAME.map) when its bytes
// are the program's, else a listing in spasm-ng's layout (NAME.lst), else
// only the labels (NAME.lab). It names an address as file:line and
// label+offset, and binds a file's line to the address of its first
// statement (a line without code to the next line with code).

#include "run/machine.h"
#include "run/sourceinfo.h"
#include "z80/sourcemap.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class DebugSource {
public:
    enum class Kind { None, Labels, Listing, Map };
    struct Place {
        std::string file; // a whole path where the file was found, else as the build named it
        int line = 0;     // from 1
    };
    struct Bound {
        std::uint16_t address;
        int line;      // the line the breakpoint landed on: the one asked for or a later one
        int page = -1; // an application's page the address is on, counted from its first
    };
    // An address of the program: an application's are on one of its pages
    // when in 4000h-7FFFh (page, counted from its first); otherwise page -1.
    struct Located {
        std::uint16_t address;
        int page = -1;
    };

    // The refusal of a map made for other bytes than the program's.
    static const char *const kChanged;

    // From the files beside `programPath`; `programData` is the program
    // variable's bytes (BB 6D and the code). Names the map gives without a
    // folder are looked for in the main source's folder, else `sourceFolder`.
    // A map that does not match sets *error to kChanged and gives none.
    static std::optional<DebugSource> beside(const std::string &programPath,
                                             const std::vector<std::uint8_t> &programData,
                                             const std::string &sourceFolder, std::string *error);
    // From a map's text (the tests build one).
    static std::optional<DebugSource> fromMap(const std::string &mapText,
                                              const std::vector<std::uint8_t> &programData,
                                              const std::string &sourceFolder, std::string *error);

    Kind kind() const { return m_kind; }
    // Whether the program is a Flash application, whose addresses in
    // 4000h-7FFFh are on its pages; `page` below is one of them (-1 is page 0).
    bool application() const { return m_application; }
    // The statement whose bytes hold `address`.
    std::optional<Place> placeOf(std::uint16_t address, int page = -1) const;
    // True when a statement's bytes start at `address` (a step stops on one).
    bool startsStatement(std::uint16_t address, int page = -1) const;
    // The line's own text without its indent: the listing's, or read from its
    // file (once a file); empty when it cannot be read.
    std::string lineText(const Place &place) const;
    // The first address of `line` of `file` (a whole path or as the build
    // named it), or of the next line of that file with code.
    std::optional<Bound> bind(const std::string &file, int line) const;
    std::optional<std::uint16_t> label(const std::string &name) const;
    // The label's address with its page, for an application.
    std::optional<Located> located(const std::string &name) const;
    std::string labelAt(std::uint16_t address, int page = -1) const;
    // The files that placed bytes, as whole paths where found.
    std::vector<std::string> files() const;

    // A breakpoint's condition for places on an application's pages (their
    // pages, -1 for a place on none): that one of them is mapped at 4000h;
    // none when one place holds on any page.
    static std::function<bool(const run::Machine &)> onPages(const std::set<int> &pages);

private:
    Kind m_kind = Kind::None;
    bool m_application = false;
    std::optional<z80::SourceMap> m_map;
    std::vector<std::string> m_paths; // the map's files, resolved
    run::SourceInfo m_info;           // the labels, and the listing where there is one
    mutable std::map<std::string, std::vector<std::string>> m_texts; // files' lines, as read
};
