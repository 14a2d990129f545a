// Any source assembles without harm: every byte belongs to a statement,
// every message names a file and line, and no input runs the assembler out
// of stack, memory or time (inputs up to 128 KiB; a second file to include).
// Each input is assembled on a thread of 1 MiB of stack, an eighth of what
// the editor's analysis thread has; tools/fuzz.sh bounds memory and time.
// The build gets a hundredth of the usual budget of lines and tokens (the
// budgets themselves are kit_budget_test's story): a build at the full
// budget reads half a million lines, which under the sanitizers takes longer
// than the fuzzer allows one input (20,000 lines of a #macro used again and
// again took 7 s on a busy machine).

#include "z80/assembler.h"
#include "z80/outputs.h"
#include "z80/sourcemap.h"

#include <cstdlib>
#include <pthread.h>

namespace {

constexpr size_t kStack = 1024 * 1024;

void assembleOne(const std::string &text) {
    const size_t size = text.size();
    z80::MemoryReader reader;
    reader.files["/p/main.z80"] = text;
    reader.files["/p/inc/part.inc"] = text.substr(size / 2);
    z80::Options options;
    options.limits.lines /= 100;
    options.limits.tokens /= 100;
    options.limits.bytes /= 25;
    const z80::Assembly a = z80::assemble("/p/main.z80", reader, options);
    size_t placed = 0;
    for (const z80::Assembly::Piece &p : a.pieces)
        placed += p.size;
    if (placed != a.bytes.size())
        std::abort();
    for (const auto &list : {a.errors, a.warnings})
        for (const z80::Diagnostic &d : list)
            if (d.file.empty() || d.line < 0 || d.column < -1 || d.length < 0 ||
                d.column > int(z80::kMaxLineLength))
                std::abort();
    // Every build's map reads back with every statement; any text read as
    // a map is a map or a refusal.
    std::string why;
    const auto map = z80::readMap(z80::writeMap(a), &why);
    size_t mapped = 0;
    for (const z80::Assembly::Piece &p : a.pieces)
        mapped += p.size > 0;
    if (!map || map->entries.size() != mapped)
        std::abort();
    z80::readMap(text, &why);
    z80::listing(a, reader, "/p/main.z80");
    z80::labelFile(a);
}

void *onThread(void *text) {
    assembleOne(*static_cast<const std::string *>(text));
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0 ||
        pthread_attr_setstacksize(&attributes, kStack) != 0 ||
        pthread_create(&thread, &attributes, onThread, &text) != 0)
        std::abort();
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return 0;
}
