#include "ui/keptwatches.h"

#include "platform/textlines.h"

QStringList keptWatches(const QByteArray &text, int most) {
    QStringList out;
    for (const QString &line : splitLines(QString::fromUtf8(text)))
        if (!line.trimmed().isEmpty() && out.size() < most)
            out << line;
    return out;
}

QStringList mergedWatches(const QStringList &onDisk, const QStringList &before,
                          const QStringList &now) {
    // This editor's list in its order, but for what another removed.
    QStringList out;
    for (const QString &e : now)
        if ((onDisk.contains(e) || !before.contains(e)) && !out.contains(e))
            out << e;
    // Another's additions go after their nearest neighbour before them on
    // disk that is kept, else before the nearest one after them, else last.
    for (qsizetype i = 0; i < onDisk.size(); ++i) {
        if (before.contains(onDisk[i]) || out.contains(onDisk[i]))
            continue;
        qsizetype at = -1;
        for (qsizetype j = i - 1; j >= 0 && at < 0; --j)
            if (const qsizetype there = out.indexOf(onDisk[j]); there >= 0)
                at = there + 1;
        for (qsizetype j = i + 1; j < onDisk.size() && at < 0; ++j)
            at = out.indexOf(onDisk[j]);
        out.insert(at < 0 ? out.size() : at, onDisk[i]);
    }
    return out;
}
