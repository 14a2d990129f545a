#pragma once
// Every key the editor and the run window answer, in one table: the actions
// take their shortcuts from it, the run window its calculator keys, and the
// F1 window, the README's key list and the manual page list it.

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QObject;
class QWidget;

enum class KeyPlace {
    Menu,      // a menu item's shortcut, as the menus show it
    Editor,    // ours, in the main window
    Log,       // in the output window
    RunWindow, // the calculator's keys in the run window
};

struct KeyEntry {
    KeyPlace place;
    const char *action; // the objectName of the action bound to it; "" where a control answers
    const char *keys;   // portable text (QKeySequence's), several apart by "; "
    const char *what;
    int calculatorKey = 0; // in the run window: the calculator's scan code
};

const std::vector<KeyEntry> &keyTable();

// The keys of an action in the table; none for an action it does not name.
QList<QKeySequence> keysOf(const char *action);
// The keys as the user reads them ("Ctrl+Shift+B, F8").
QString keysText(const KeyEntry &entry);
// The run window's calculator key for a key of the keyboard, 0 for none.
int calculatorKeyOf(int qtKey);

// An action on its table keys, named for tests, working while `window` is
// active and listed in no menu.
QAction *addKeyAction(QWidget *window, QObject *receiver, const QString &text, const char *name,
                      const std::function<void()> &handler);
