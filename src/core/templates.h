#pragma once
// The template catalogue: every regular, visible file ending in ".txt" (any
// letter case) in the template folder, sorted by name without regard to case.

#include <QByteArray>
#include <QList>
#include <QString>

struct TemplateEntry {
    QString caption;       // the file name less its last four characters, as shown
    QByteArray nativePath; // the very file it was listed from
};

QList<TemplateEntry> listTemplates(const QString &folder);
