// qvasm [-I DIR]... [-D NAME[=VALUE]]... SOURCE -o OUT.bin [--listing OUT.lst]
//       [--labels OUT.lab] [--map OUT.map] [--files-read FILE] [--announce]
//       [--diagnostics OUT.diag]
// Assembles SOURCE (the classic assembler's dialect, spasm-ng's and
// Brass's) into the program's bytes. TI83P is defined, as the classic batch
// files did. Errors and then warnings go to standard error as
// "file:line: error: ...", at most 50 of each, with .echo lines, after a
// first line that names the source and the defines in force (--announce;
// a "; defines: NAME NAME=VALUE" line among the source's first lines adds
// to -D's); the line
// that sums the program up goes to standard output. Exit 1 on an error.
// Every text here is made from the build's values (z80/outputs.h, and the
// source map's format in z80/sourcemap.h). --diagnostics writes the errors
// and warnings as values (z80/diagfile.h) whether or not the build succeeds.

#include "z80/assembler.h"
#include "z80/diagfile.h"
#include "z80/outputs.h"
#include "z80/sourcemap.h"

#include "appheader.h"
#include "filewrite.h"

#include <algorithm>
#include <iostream>
#include <malloc.h>
#include <unistd.h>

namespace {

bool write(const std::string &path, const std::string &text) {
    std::string error;
    if (kit::writeFileWhole(path, text, &error))
        return true;
    std::cerr << "error: " << error << "\n";
    return false;
}

int usage() {
    std::cerr << "usage: qvasm [-I DIR]... [-D NAME[=VALUE]]... SOURCE -o OUT.bin "
                 "[--listing OUT.lst] [--labels OUT.lab] [--map OUT.map] [--files-read FILE] "
                 "[--announce] [--diagnostics OUT.diag]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    // One build, then the process ends: memory freed along the way is kept
    // for the next allocation rather than handed back and faulted in again.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    z80::Options options;
    options.defines.emplace_back("TI83P", "");
    std::string source, output, listing, labels, map, filesRead, diagnostics;
    bool announce = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "-I" && more) {
            options.includeFolders.push_back(argv[++i]);
        } else if (a == "-D" && more) {
            const std::string d = argv[++i];
            const auto eq = d.find('=');
            options.defines.emplace_back(d.substr(0, eq),
                                         eq == std::string::npos ? "" : d.substr(eq + 1));
        } else if (a.size() > 2 && a.compare(0, 2, "-I") == 0) { // spasm-ng's -IDIR
            options.includeFolders.push_back(a.substr(2));
        } else if (a.size() > 2 && a.compare(0, 2, "-D") == 0) { // and -DNAME[=VALUE]
            const auto eq = a.find('=');
            options.defines.emplace_back(a.substr(2, eq == std::string::npos ? eq : eq - 2),
                                         eq == std::string::npos ? "" : a.substr(eq + 1));
        } else if (a == "-o" && more) {
            output = argv[++i];
        } else if (a == "--listing" && more) {
            listing = argv[++i];
        } else if (a == "--labels" && more) {
            labels = argv[++i];
        } else if (a == "--map" && more) {
            map = argv[++i];
        } else if (a == "--files-read" && more) {
            filesRead = argv[++i];
        } else if (a == "--diagnostics" && more) {
            diagnostics = argv[++i];
        } else if (a == "--announce") {
            announce = true;
        } else if (source.empty() && !a.empty() && a[0] != '-') {
            source = a;
        } else {
            return usage();
        }
    }
    if (source.empty() || output.empty())
        return usage();
    const std::string asGiven = source;
    // Messages name an include by its place below the source's folder, or
    // by its whole path: the source's own path is made whole first.
    if (source[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here))
            source = z80::joinPath(here, source);
    }
    source = z80::normalPath(source);
    z80::DiskReader reader;
    const z80::Assembly a = z80::assemble(source, reader, options);
    if (announce) {
        std::string line = "Assembling " + asGiven + " (defines:";
        for (const std::string &d : a.defines)
            line += " " + d;
        std::cerr << line << ")\n";
    }
    for (const std::string &line : a.echoes)
        std::cerr << line << "\n";
    for (const std::string &m : z80::capped(z80::errorLines(a), "errors"))
        std::cerr << m << "\n";
    for (const std::string &m : z80::capped(z80::messages(a.warnings), "warnings"))
        std::cerr << m << "\n";
    bool ok = a.ok();
    if (!diagnostics.empty()) {
        std::vector<z80::Diagnostic> all = a.errors;
        all.insert(all.end(), a.warnings.begin(), a.warnings.end());
        all.resize(std::min(all.size(), z80::kMaxDiagnostics));
        ok = write(diagnostics, z80::writeDiagnostics(all)) && ok;
    }
    if (!filesRead.empty() && !a.filesRead.empty() && a.filesRead.front() == source) {
        std::string text;
        for (const std::string &path : a.filesRead)
            text += path + "\n";
        ok = write(filesRead, text) && ok;
    }
    if (!a.ok())
        return 1;
    ok = write(output, std::string(a.bytes.begin(), a.bytes.end())) && ok;
    if (!listing.empty())
        ok = write(listing, z80::listing(a, reader, source)) && ok;
    if (!labels.empty())
        ok = write(labels, z80::labelFile(a)) && ok;
    if (!map.empty()) {
        // An application's map names the bytes its .8xk file holds, with
        // the header's length and page count as the packer fills them.
        const kit::PreparedApp app =
            a.application ? kit::prepareApplication(a.bytes) : kit::PreparedApp{};
        ok = write(map, z80::writeMap(a, app.error.empty() && !app.bytes.empty() ? app.bytes
                                                                                 : a.bytes)) &&
             ok;
    }
    if (!ok) { // nothing half made stays behind
        for (const std::string *path : {&output, &listing, &labels, &map, &diagnostics})
            if (!path->empty())
                ::unlink(path->c_str());
        return 1;
    }
    std::cout << z80::summary(a) << "\n";
    return 0;
}
