#include "catalogue.h"

#include "core/templates.h"

#include <QCoreApplication>
#include <QMenu>

void buildCatalogue(QMenu *menu, const QString &folder,
                    const std::function<void(const QByteArray &)> &onChoose,
                    const std::function<void()> &onEmpty) {
    const QList<TemplateEntry> entries = listTemplates(folder);
    for (const TemplateEntry &entry : entries) {
        QAction *a = menu->addAction(entry.caption);
        a->setObjectName(QStringLiteral("newdoc"));
        const QByteArray path = entry.nativePath;
        QObject::connect(a, &QAction::triggered, menu, [onChoose, path] { onChoose(path); });
    }
    if (entries.isEmpty()) {
        QString caption =
            QCoreApplication::translate("Catalogue", "Empty document (no templates in %1)")
                .arg(folder);
        QAction *a = menu->addAction(caption.replace(QLatin1Char('&'), QLatin1String("&&")));
        a->setObjectName(QStringLiteral("newdoc"));
        QObject::connect(a, &QAction::triggered, menu, [onEmpty] { onEmpty(); });
    }
}
