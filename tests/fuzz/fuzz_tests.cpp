// Any tests file reads without harm: every error names the file and a line
// of it, no more errors than the limit are kept, every test kept has a name
// and its lines lie inside the file.

#include "check/testfile.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const check::TestsFile f = check::parseTests("f.tests", text);
    const long lines = long(std::count(text.begin(), text.end(), '\n')) +
                       long(std::count(text.begin(), text.end(), '\r')) + 1;
    if (f.errors.size() > check::kMaxErrors + check::kMaxTests || f.tests.size() > check::kMaxTests)
        std::abort();
    for (const std::string &e : f.errors)
        if (e.rfind("f.tests:", 0) != 0 || e.find(": error: ") == std::string::npos)
            std::abort();
    for (const check::Test &t : f.tests)
        if (t.name.empty() || t.line < 1 || t.line > lines || t.actionLine > lines ||
            t.keys.size() > check::kMaxKeys)
            std::abort();
    return 0;
}
