// pack8xp BINARY OUTPUT NAME: wraps an assembled program into a TI-83 Plus
// program file. Warnings and errors go to standard error; exit 1 on an error.

#include "filewrite.h"
#include "packer.h"
#include "z80/source.h"

#include <cstdio>
#include <iostream>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::cerr << "usage: pack8xp BINARY OUTPUT NAME\n";
        return 2;
    }
    // The assembler's own reader: regular files only, never waiting on a FIFO.
    z80::DiskReader reader;
    const z80::ReadResult in = reader.read(argv[1]);
    if (!in.error.empty()) {
        std::cerr << "error: cannot read " << argv[1] << ": " << in.error << "\n";
        return 1;
    }
    const std::vector<std::uint8_t> binary(in.text.begin(), in.text.end());
    const PackResult r = pack8xp(binary, argv[3]);
    for (const std::string &w : r.warnings)
        std::cerr << "warning: " << w << "\n";
    if (!r.error.empty()) {
        std::cerr << "error: " << r.error << "\n";
        return 1;
    }
    std::string error;
    if (!kit::writeFileWhole(argv[2], std::string(r.file.begin(), r.file.end()), &error)) {
        std::cerr << "error: " << error << "\n";
        return 1;
    }
    return 0;
}
