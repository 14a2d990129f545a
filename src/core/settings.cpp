#include "settings.h"

#include "base/lines.h"

#include "core/document.h"
#include "platform/codepage.h"

#include <QFileInfo>

#include <cerrno>

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

qsizetype skipBlanks(QStringView line, qsizetype i) {
    while (i < line.size() && isBlank(line[i]))
        ++i;
    return i;
}

// The text of a line that is one quoted field, or nothing.
std::optional<QString> quotedField(QStringView line) {
    qsizetype i = skipBlanks(line, 0);
    if (i >= line.size() || line[i] != QLatin1Char('"'))
        return std::nullopt;
    QString value;
    for (++i; i < line.size(); ++i) {
        if (line[i] != QLatin1Char('"')) {
            value += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
            value += QLatin1Char('"');
            ++i;
        } else {
            return skipBlanks(line, i + 1) == line.size() ? std::optional<QString>(value)
                                                          : std::nullopt;
        }
    }
    return std::nullopt; // never closed
}

QString field(QStringView line) {
    if (auto quoted = quotedField(line))
        return *quoted;
    return line.toString();
}

QString written(const QString &value) {
    const qsizetype first = skipBlanks(value, 0);
    if (first >= value.size() || value[first] != QLatin1Char('"'))
        return value;
    return QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

} // namespace

Settings parseSettings(const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    base::LineSplitter lines({utf8.constData(), size_t(utf8.size())});
    std::string_view first, second;
    if (lines.next(&first))
        lines.next(&second);
    Settings s;
    s.linkProgram = field(QString::fromUtf8(first.data(), qsizetype(first.size())));
    s.emulator = field(QString::fromUtf8(second.data(), qsizetype(second.size())));
    return s;
}

QString formatSettings(const Settings &settings) {
    return written(settings.linkProgram) + QLatin1String("\r\n") + written(settings.emulator) +
           QLatin1String("\r\n");
}

std::optional<FileError> loadSettings(const QString &path, Settings *settings) {
    *settings = Settings{};
    QByteArray bytes;
    if (auto error = readWholeFile(path, &bytes)) {
        if (error->number == ENOENT && !QFileInfo(path).isSymLink())
            return std::nullopt;
        return error;
    }
    // A file saved by an editor that marks UTF-8 with a byte-order mark.
    const QByteArray mark("\xEF\xBB\xBF");
    *settings = parseSettings(bytes.startsWith(mark) ? QString::fromUtf8(bytes.mid(mark.size()))
                                                     : cp1252::decode(bytes));
    return std::nullopt;
}

std::optional<FileError> storeSettings(const QString &path, const Settings &settings) {
    if (auto error = makeFolders(QFileInfo(path).absolutePath()))
        return error;
    return writeTextFile(path, formatSettings(settings));
}
