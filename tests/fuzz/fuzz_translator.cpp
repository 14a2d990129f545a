// Any source translates without harm: every output line has its origin,
// every message names a file and line, and no input runs the translator out
// of stack or memory (inputs up to 128 KiB; a second file to include).

#include "z80/translator.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    z80::MemoryReader reader;
    reader.files["/p/main.z80"] = text;
    reader.files["/p/inc/part.inc"] = text.substr(size / 2);
    const z80::Translation t = z80::translate("/p/main.z80", reader, {});
    if (t.lines.size() != t.origins.size())
        std::abort();
    for (const auto &list : {t.errors, t.warnings})
        for (const std::string &m : list)
            if (m.find(":") == std::string::npos || (m.find(": error: ") == std::string::npos &&
                                                     m.find(": warning: ") == std::string::npos))
                std::abort();
    return 0;
}
