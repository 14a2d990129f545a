// Any settings file reads without harm and writes back to what it read; any
// two values the fields can hold come back unchanged after a write and a read.

#include "core/settings.h"
#include "platform/codepage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text =
        cp1252::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const Settings first = parseSettings(text);
    for (const QString &v : {first.linkProgram, first.emulator})
        if (v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r')))
            std::abort();
    const Settings again = parseSettings(formatSettings(first));
    if (again.linkProgram != first.linkProgram || again.emulator != first.emulator)
        std::abort();
    // The input as two field values: a field holds one line.
    QString values = text;
    values.replace(QLatin1Char('\r'), QLatin1Char(' '));
    const qsizetype cut = values.indexOf(QLatin1Char('\n'));
    const Settings typed{
        values.left(cut),
        cut < 0 ? QString() : values.mid(cut + 1).replace(QLatin1Char('\n'), QLatin1Char(' '))};
    const Settings back = parseSettings(formatSettings(typed));
    if (back.linkProgram != typed.linkProgram || back.emulator != typed.emulator)
        std::abort();
    return 0;
}
