#include "core/recentfiles.h"

#include "platform/textfile.h"
#include "platform/textlines.h"

#include <QFileInfo>

namespace {
const char *const kNames[] = {"CR LF", "LF", "CR"};
constexpr qint64 kMaxRecord = 256 * 1024; // a record grown past this is not read
} // namespace

QStringList RecentFiles::lines() const {
    QByteArray bytes;
    if (QFileInfo(m_file).size() > kMaxRecord || readWholeFile(m_file, &bytes))
        return {};
    return splitLines(QString::fromUtf8(bytes));
}

QStringList RecentFiles::files() const {
    QStringList out;
    const QStringList all = lines();
    for (int i = 1; i < all.size() && out.size() < kMaxFiles; ++i)
        if (!all[i].isEmpty() && QFileInfo(all[i]).isFile() && !out.contains(all[i]))
            out << all[i];
    return out;
}

RecentFiles::LineEnds RecentFiles::newLineEnds() const {
    const QString first = lines().value(0);
    for (int i = 0; i < 3; ++i)
        if (first == QLatin1String(kNames[i]))
            return LineEnds(i);
    return LineEnds::CrLf;
}

bool RecentFiles::add(const QString &path, bool saved, LineEnds lineEnds) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute.contains(QLatin1Char('\n')) || absolute.contains(QLatin1Char('\r')))
        return false; // a name the record cannot hold
    QStringList all = lines();
    const QString head =
        saved ? QLatin1String(kNames[int(lineEnds)]) : QLatin1String(kNames[int(newLineEnds())]);
    QStringList paths = all.mid(1);
    paths.removeAll(absolute);
    paths.removeAll(QString());
    paths.prepend(absolute);
    while (paths.size() > kMaxFiles)
        paths.removeLast();
    const QByteArray text = (QStringList{head} + paths).join(QLatin1Char('\n')).toUtf8() + '\n';
    return !writeWholeFile(m_file, text);
}
