#include "platform/textlines.h"

#include "base/lines.h"

QList<QByteArray> splitLines(QByteArrayView bytes) {
    QList<QByteArray> lines;
    base::LineSplitter split({bytes.data(), size_t(bytes.size())});
    for (std::string_view line; split.next(&line);)
        lines << QByteArray(line.data(), qsizetype(line.size()));
    return lines;
}

QStringList splitLines(QStringView text) {
    QStringList lines;
    base::Utf16LineSplitter split({text.utf16(), size_t(text.size())});
    for (std::u16string_view line; split.next(&line);)
        lines << QString::fromUtf16(line.data(), qsizetype(line.size()));
    return lines;
}
