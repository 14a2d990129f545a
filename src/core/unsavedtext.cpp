#include "unsavedtext.h"

#include "core/locations.h"
#include "platform/textlines.h"

#include <QCoreApplication>
#include <QFile>

QString unsavedTextPath(const QString &root, const QDateTime &when) {
    return QStringLiteral("%1/unsaved-%2.z80")
        .arg(Locations(root).sourceFolder(), when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

std::optional<FileError> keepUnsavedText(const QString &root, const QString &path,
                                         const QByteArray &utf8) {
    const Locations places(root);
    if (auto error = makeFolders(places.sourceFolder()))
        return error;
    if (auto error = writeWholeFile(path, utf8, {places.spareFolder(), {}}))
        return error;
    QByteArray record;
    readWholeFile(places.unsavedRecord(), &record); // none yet: an empty record
    return writeWholeFile(places.unsavedRecord(), record + path.toUtf8() + '\n');
}

QStringList takeUnsavedTextNotices(const QString &root) {
    const QString recordPath = Locations(root).unsavedRecord();
    QByteArray record;
    if (readWholeFile(recordPath, &record))
        return {};
    QFile::remove(recordPath);
    QStringList notices;
    for (const QByteArray &line : splitLines(record))
        if (!line.isEmpty())
            notices << QCoreApplication::translate(
                           "Session", "When the last desktop session ended, your text could not "
                                      "be saved to its file. It was kept in UTF-8 as %1.")
                           .arg(QString::fromUtf8(line));
    return notices;
}
