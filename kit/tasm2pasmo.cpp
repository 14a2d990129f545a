// tasm2pasmo [-I FOLDER]... SOURCE OUTPUT MAP: translates SOURCE into pasmo's
// dialect. MAP gets one line per OUTPUT line: the file and line it came from,
// separated by a tab. Errors go to standard error as "file:line: error: ...";
// exit 1 when there is any.

#include "translator.h"

#include <fstream>
#include <iostream>

int main(int argc, char **argv) {
    std::vector<std::string> includes, files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-I" && i + 1 < argc)
            includes.push_back(argv[++i]);
        else
            files.push_back(a);
    }
    if (files.size() != 3) {
        std::cerr << "usage: tasm2pasmo [-I FOLDER]... SOURCE OUTPUT MAP\n";
        return 2;
    }
    const Translation t = translateFile(files[0], includes);
    for (const std::string &e : t.errors)
        std::cerr << e << "\n";
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
