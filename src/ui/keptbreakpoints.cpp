#include "ui/keptbreakpoints.h"

#include "platform/textlines.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QByteArray oneLineOf(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .toUtf8();
}

QByteArray entryOf(const QString &path, int line, const BreakpointSettings &s) {
    QByteArray entry = QByteArray::number(line) + '\t' + path.toUtf8() + '\n';
    if (!s.enabled)
        entry += "\tdisabled\n";
    if (!s.condition.isEmpty())
        entry += "\tcondition\t" + oneLineOf(s.condition) + '\n';
    if (s.hitCount)
        entry += "\thits\t" + QByteArray::number(s.hitCount) + '\n';
    if (!s.log.isEmpty())
        entry += "\tlog\t" + oneLineOf(s.log) + '\n';
    return entry;
}

} // namespace

KeptEntries keptEntries(const QByteArray &text, QStringList *order) {
    KeptEntries entries;
    QByteArray *entry = nullptr; // the one the lines that start with a tab add to
    for (const QByteArray &line : splitLines(text)) {
        if (line.startsWith('\t')) {
            if (entry)
                *entry += line + '\n';
            continue;
        }
        entry = nullptr;
        const qsizetype tab = line.indexOf('\t');
        bool ok = false;
        const int number = line.left(tab).toInt(&ok);
        const QString path = QString::fromUtf8(line.mid(tab + 1));
        if (tab <= 0 || !ok || number < 1 || !QFileInfo(path).isAbsolute())
            continue;
        if (order && !entries.contains(path))
            *order << path;
        QList<QByteArray> &ofPath = entries[path];
        ofPath << line + '\n';
        entry = &ofPath.last();
    }
    return entries;
}

KeptBreakpoints keptBreakpoints(const KeptEntries &entries) {
    KeptBreakpoints kept;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        for (const QByteArray &entry : it.value()) {
            const QStringList lines = splitLines(QString::fromUtf8(entry));
            const int number = lines.value(0).section(QLatin1Char('\t'), 0, 0).toInt();
            kept.lines[it.key()] << number;
            BreakpointSettings &s = kept.settings[it.key()][number];
            for (const QString &line : lines.mid(1)) {
                const QString key = line.section(QLatin1Char('\t'), 1, 1);
                const QString value = line.section(QLatin1Char('\t'), 2);
                if (key == QLatin1String("disabled"))
                    s.enabled = false;
                else if (key == QLatin1String("condition"))
                    s.condition = value;
                else if (key == QLatin1String("hits"))
                    s.hitCount = qBound(0, value.toInt(), 1 << 30);
                else if (key == QLatin1String("log"))
                    s.log = value;
            }
        }
    }
    return kept;
}

KeptEntries keptEntries(const Breakpoints &breakpoints, const QString &path) {
    KeptEntries entries;
    const auto all = breakpoints.all();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (path.isEmpty() || it.key() == path)
            for (int line : it.value())
                entries[it.key()] << entryOf(it.key(), line, breakpoints.settings(it.key(), line));
    return entries;
}

QByteArray mergedKept(const QByteArray &onDisk, const KeptEntries &mine,
                      const QSet<QString> &changed, int mostEntries, qint64 mostBytes) {
    QStringList order;
    KeptEntries entries = keptEntries(onDisk, &order);
    QStringList added;
    for (const QString &path : changed) {
        entries.remove(path);
        if (mine.contains(path)) {
            entries.insert(path, mine.value(path));
            if (!order.contains(path))
                added << path;
        }
    }
    std::sort(added.begin(), added.end());
    // Past the bounds, what this editor changed is kept before the others'.
    const QStringList paths = order + added;
    QHash<QString, qsizetype> taken;
    int count = 0;
    qint64 bytes = 0;
    for (const bool ours : {true, false})
        for (const QString &path : paths) {
            if (changed.contains(path) != ours)
                continue;
            for (const QByteArray &entry : entries.value(path)) {
                if (count == mostEntries || bytes + entry.size() > mostBytes)
                    break;
                ++count;
                bytes += entry.size();
                ++taken[path];
            }
        }
    QByteArray text;
    for (const QString &path : paths)
        for (const QByteArray &entry : entries.value(path).mid(0, taken.value(path)))
            text += entry;
    return text;
}
