#include "shownlog.h"

#include "core/document.h"
#include "platform/textlines.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("Log", text);
}

// What was left out, as the log's last line.
QString leftOutLine(qint64 bytesLeft, qint64 size, int linesCut, const QString &path) {
    QStringList parts;
    if (bytesLeft > 0)
        parts << tr("the last %1 of its %2 bytes").arg(bytesLeft).arg(size);
    if (linesCut == 1)
        parts << tr("the end of 1 line longer than %1 characters").arg(kShownLineLength);
    else if (linesCut > 1)
        parts << tr("the ends of %1 lines longer than %2 characters")
                     .arg(linesCut)
                     .arg(kShownLineLength);
    return tr("(Not shown here: %1. %2 holds the whole log.)").arg(parts.join(tr(" and ")), path);
}

} // namespace

std::optional<FileError> readShownLog(const QString &path, QString *text) {
    QByteArray bytes;
    qint64 size = 0;
    if (auto error = readFileStart(path, kShownLogBytes, &bytes, &size))
        return error;
    // A log cut short ends with its last whole line.
    if (size > bytes.size()) {
        const qsizetype end = std::max(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
        if (end >= 0)
            bytes.truncate(end + 1);
    }
    const qint64 bytesLeft = size - bytes.size();
    const QString decoded = decodeToolText(bytes);
    QStringList lines = splitLines(decoded);
    int linesCut = 0;
    for (QString &line : lines) {
        if (line.size() > kShownLineLength) {
            line.truncate(kShownLineLength);
            line += QChar(0x2026); // an ellipsis
            ++linesCut;
        }
    }
    *text = lines.join(QLatin1Char('\n'));
    if (decoded.endsWith(QLatin1Char('\n')) || decoded.endsWith(QLatin1Char('\r')))
        *text += QLatin1Char('\n');
    if (bytesLeft > 0 || linesCut > 0) {
        if (!text->isEmpty() && !text->endsWith(QLatin1Char('\n')))
            *text += QLatin1Char('\n');
        *text += leftOutLine(bytesLeft, size, linesCut, path);
    }
    return std::nullopt;
}
