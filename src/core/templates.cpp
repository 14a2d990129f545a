#include "templates.h"

#include "core/locations.h"

#include <QDir>

#include <algorithm>

QList<TemplateEntry> listTemplates(const QString &folder) {
    const QDir dir(folder);
    // QDir::Files without QDir::Hidden: regular files (and links to them), no dot files.
    const QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    const QLatin1String suffix(kTemplateSuffix);
    QList<TemplateEntry> entries;
    entries.reserve(names.size());
    for (const QString &name : names) {
        if (name.size() <= suffix.size() || !name.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        entries.append({name.chopped(suffix.size()), dir.filePath(name)});
    }
    std::sort(entries.begin(), entries.end(), [](const TemplateEntry &a, const TemplateEntry &b) {
        const int c = a.caption.compare(b.caption, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.caption < b.caption;
    });
    return entries;
}
