#include "settings.h"

#include "core/document.h"

#include <QFileInfo>

namespace {

// The field of one line, by the rule in the header.
QString field(QStringView line) {
    qsizetype i = 0;
    while (i < line.size() && (line[i] == QLatin1Char(' ') || line[i] == QLatin1Char('\t')))
        ++i;
    if (i < line.size() && line[i] == QLatin1Char('"')) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), i + 1);
        return (close < 0 ? line.mid(i + 1) : line.mid(i + 1, close - i - 1)).toString();
    }
    return line.toString();
}

// The next line of `text` from `*pos`; CR LF, LF and a lone CR each end a line.
QStringView nextLine(const QString &text, qsizetype *pos) {
    const qsizetype start = *pos;
    qsizetype i = start;
    while (i < text.size() && text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
        ++i;
    QStringView line = QStringView(text).mid(start, i - start);
    if (i < text.size() && text[i] == QLatin1Char('\r'))
        ++i;
    if (i < text.size() && text[i] == QLatin1Char('\n') &&
        (i == start + line.size() || text[i - 1] == QLatin1Char('\r')))
        ++i;
    *pos = i;
    return line;
}

} // namespace

Settings parseSettings(const QString &text) {
    qsizetype pos = 0;
    Settings s;
    s.linkProgram = field(nextLine(text, &pos));
    s.emulator = field(nextLine(text, &pos));
    return s;
}

QString formatSettings(const Settings &settings) {
    return settings.linkProgram + QLatin1String("\r\n") + settings.emulator + QLatin1String("\r\n");
}

std::optional<FileError> loadSettings(const QString &path, Settings *settings) {
    *settings = Settings{};
    QString text;
    if (auto error = readTextFile(path, &text)) {
        if (error->number == ENOENT && !QFileInfo(path).isSymLink())
            return std::nullopt;
        return error;
    }
    *settings = parseSettings(text);
    return std::nullopt;
}

std::optional<FileError> storeSettings(const QString &path, const Settings &settings) {
    return writeTextFile(path, formatSettings(settings));
}
