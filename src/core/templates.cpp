#include "templates.h"

#include "core/locations.h"
#include "platform/dirlist.h"

#include <algorithm>

QList<TemplateEntry> listTemplates(const QString &folder) {
    const QByteArray suffix(kTemplateSuffix);
    QList<TemplateEntry> entries;
    for (const DirEntry &file : listRegularFiles(folder)) {
        const QByteArray &path = file.nativePath;
        if (path.size() < suffix.size() || qstrnicmp(path.constData() + path.size() - suffix.size(),
                                                     suffix.constData(), suffix.size()) != 0)
            continue;
        // A caption is one line: control characters in a name show as spaces.
        QString caption = file.name.chopped(suffix.size());
        for (QChar &c : caption)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
        entries.append({caption, path});
    }
    std::sort(entries.begin(), entries.end(), [](const TemplateEntry &a, const TemplateEntry &b) {
        const int c = a.caption.compare(b.caption, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.nativePath < b.nativePath;
    });
    return entries;
}
