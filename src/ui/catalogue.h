#pragma once
// Fills the New submenu from the template folder: one entry a template, or,
// when it has none, one entry naming the folder that starts an empty document
// (no menu item is ever disabled).

#include <QByteArray>
#include <QString>

#include <functional>

class QMenu;

void buildCatalogue(QMenu *menu, const QString &folder,
                    const std::function<void(const QByteArray &nativePath)> &onChoose,
                    const std::function<void()> &onEmpty);
