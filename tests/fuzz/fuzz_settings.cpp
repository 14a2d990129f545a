// Any settings file reads without harm, and what is read writes back and
// reads again the same, unless a value starts with a quote (which the reading
// rule takes as quoting).

#include "core/settings.h"
#include "platform/codepage.h"

#include <cstdlib>

namespace {
bool quoted(const QString &v) {
    const QString t = QString(v).remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    return t.startsWith(QLatin1Char('"'));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text =
        cp1252::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const Settings first = parseSettings(text);
    if (first.linkProgram.contains(QLatin1Char('\n')) || first.emulator.contains(QLatin1Char('\r')))
        std::abort();
    const Settings again = parseSettings(formatSettings(first));
    if (!quoted(first.linkProgram) && again.linkProgram != first.linkProgram)
        std::abort();
    if (!quoted(first.linkProgram) && !quoted(first.emulator) && again.emulator != first.emulator)
        std::abort();
    return 0;
}
