// The program name is the base name up to its last dot, or the whole base name.

#include "toolchain/programname.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString file = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = programName(file);
    const QString base = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.contains(QLatin1Char('/')) || !base.startsWith(name))
        std::abort();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (name != (dot < 0 ? base : base.left(dot)))
        std::abort();
    return 0;
}
