// Any source translates without harm: every output line has its origin, and
// every error names a file and line.

#include "translator.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const Translation t = translateText(text, "f.z80", "/nonexistent", {});
    if (t.lines.size() != t.origins.size())
        std::abort();
    for (const std::string &e : t.errors)
        if (e.find(": error: ") == std::string::npos)
            std::abort();
    return 0;
}
