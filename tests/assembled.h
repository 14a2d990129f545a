#pragma once
// A program assembled in memory, as the dialect tests compare it: its bytes in
// hexadecimal and its messages whole.

#include "z80/assembler.h"
#include "z80/outputs.h"

#include <QByteArray>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

struct Built {
    QByteArray hex;       // the program's bytes, in hexadecimal; empty when it failed
    QStringList messages; // the errors, then the warnings
};

// Assembles `files` (main first).
inline Built build(const std::vector<std::pair<std::string, std::string>> &files,
                   const z80::Options &options = {}) {
    z80::MemoryReader reader;
    for (const auto &[path, text] : files)
        reader.files[path] = text;
    const z80::Assembly a = z80::assemble(files.front().first, reader, options);
    Built b;
    for (const auto &list : {z80::errorLines(a), z80::messages(a.warnings)})
        for (const std::string &m : list)
            b.messages << QString::fromStdString(m);
    if (a.ok())
        b.hex =
            QByteArray(reinterpret_cast<const char *>(a.bytes.data()), int(a.bytes.size())).toHex();
    return b;
}
