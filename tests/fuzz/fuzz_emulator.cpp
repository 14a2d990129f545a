// Any emulator text gives a command or a message; the words of a text written
// back with every word single-quoted split into the same words again.

#include "toolchain/commands.h"

#include <QFileInfo>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto command = emulatorCommand(text, QStringLiteral("/A/Exec/p.8xp"), &error);
    if (command.has_value() == !error.isEmpty())
        std::abort();
    const auto words = splitShellWords(text, &error);
    if (!words)
        return 0;
    QStringList quoted;
    for (const QString &w : *words)
        quoted << QLatin1Char('\'') +
                      QString(w).replace(QLatin1String("'"), QLatin1String("'\\''")) +
                      QLatin1Char('\'');
    if (splitShellWords(quoted.join(QLatin1Char(' ')), &error) != words)
        std::abort();
    return 0;
}
