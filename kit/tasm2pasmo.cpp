// tasm2pasmo [-I FOLDER]... [-D NAME[=TEXT]]... SOURCE OUTPUT MAP
// Translates SOURCE from the classic assembler's dialect into pasmo's. MAP
// gets one line per OUTPUT line: the file and line it came from, apart by a
// tab. Warnings and errors go to standard error as "file:line: error: ...",
// at most 50 of each; exit 1 when there is an error.

#include "z80/translator.h"

#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

constexpr size_t kShown = 50;

void show(const std::vector<std::string> &messages, const char *what) {
    for (size_t i = 0; i < messages.size() && i < kShown; ++i)
        std::cerr << messages[i] << "\n";
    if (messages.size() > kShown)
        std::cerr << "... and " << messages.size() - kShown << " more " << what << "\n";
}

} // namespace

int main(int argc, char **argv) {
    z80::Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-I" && i + 1 < argc) {
            options.includeFolders.push_back(argv[++i]);
        } else if (a == "-D" && i + 1 < argc) {
            const std::string d = argv[++i];
            const auto eq = d.find('=');
            options.defines.emplace_back(d.substr(0, eq),
                                         eq == std::string::npos ? "" : d.substr(eq + 1));
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 3) {
        std::cerr << "usage: tasm2pasmo [-I FOLDER]... [-D NAME[=TEXT]]... SOURCE OUTPUT MAP\n";
        return 2;
    }
    // Messages name an include by its place below the source's folder, or
    // by its whole path: the source's own path is made whole first.
    std::string source = files[0];
    if (source.empty() || source[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here))
            source = z80::joinPath(here, source);
    }
    z80::DiskReader reader;
    const z80::Translation t = z80::translate(z80::normalPath(source), reader, options);
    show(t.warnings, "warnings");
    show(t.errors, "errors");
    if (!t.ok())
        return 1;
    std::ofstream out(files[1], std::ios::binary), map(files[2], std::ios::binary);
    for (size_t i = 0; i < t.lines.size(); ++i) {
        out << t.lines[i] << "\n";
        map << t.origins[i].file << "\t" << t.origins[i].line << "\n";
    }
    out.close();
    map.close();
    if (!out || !map) {
        std::cerr << "error: cannot write " << files[1] << " or " << files[2] << "\n";
        return 1;
    }
    return 0;
}
