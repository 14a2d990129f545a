#pragma once
// An action the editor's additions put on a key of the main window: named for
// tests, working while the window is active, listed in no specified menu.

#include <QAction>
#include <QKeySequence>
#include <QWidget>

#include <functional>

inline QAction *addWindowAction(QWidget *window, QObject *receiver, const QString &text,
                                const char *name, const QKeySequence &key,
                                const std::function<void()> &handler) {
    auto *a = new QAction(text, window);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, receiver, handler);
    window->addAction(a);
    return a;
}
