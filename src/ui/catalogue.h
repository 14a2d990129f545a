#pragma once
// Fills the New submenu from the template folder: one entry a template, or one
// disabled entry naming the folder when it has none.

#include <QByteArray>
#include <QString>

#include <functional>

class QMenu;

void buildCatalogue(QMenu *menu, const QString &folder,
                    const std::function<void(const QByteArray &nativePath)> &onChoose);
