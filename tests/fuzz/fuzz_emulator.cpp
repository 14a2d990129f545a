// Any emulator text gives a command; without quotes it is the words of the text.

#include "build/commands.h"

#include <QFileInfo>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Command c = emulatorCommand(text);
    if (text.contains(QLatin1Char('"')) || QFileInfo(text).isFile())
        return 0; // quoting rules, or the name of a file
    QStringList words;
    QString word;
    for (const QChar ch : text) {
        if (!ch.isSpace()) {
            word += ch;
        } else if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
    }
    if (!word.isEmpty())
        words << word;
    if (words.isEmpty())
        return c.program == text ? 0 : (std::abort(), 0);
    if (c.program != words.first() || c.arguments != words.mid(1))
        std::abort();
    return 0;
}
