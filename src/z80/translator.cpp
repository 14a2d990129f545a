#include "translator.h"

namespace z80 {

Translation translate(const std::string &mainPath, FileReader &reader, const Options &options) {
    Diagnostics diagnostics;
    Emitter emitter(diagnostics);
    Preprocessor(reader, options, diagnostics, emitter).run(mainPath);
    Translation t;
    emitter.finish(&t.lines, &t.origins);
    t.errors = Diagnostics::inOrder(diagnostics.errors);
    t.warnings = Diagnostics::inOrder(diagnostics.warnings);
    return t;
}

} // namespace z80
