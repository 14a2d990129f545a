#pragma once
// What the editor adds to the text box: colours, line numbers, marks on the
// lines a build's log names, Find and Replace, Go to Line, and new lines that
// keep the indentation of the line above. They are reached by shortcuts and
// the editor's context menu; the menus stay as they are.

#include "ui/buildproblems.h"
#include "ui/testsrunner.h"

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QsciScintilla;
class FindDialog;
class MarkSet;
class MessageBox;
class Z80Lexer;

class EditorExtras : public QObject {
    Q_OBJECT
public:
    EditorExtras(QsciScintilla *editor, MessageBox *messages, QWidget *window);
    // Find and Replace, made on first use.
    FindDialog *findDialog();
    QList<QAction *> actions() const { return m_actions; }
    // More entries for the context menu (and keys that work in Find and Replace).
    void addActions(const QList<QAction *> &actions) {
        m_actions << actions;
        m_menu << MenuEntry{{}, actions};
    }
    // The same, in a submenu of the context menu.
    void addSubmenu(const QString &title, const QList<QAction *> &actions) {
        m_actions << actions;
        m_menu << MenuEntry{title, actions};
    }

    // Marks the lines of `file` that a build's problems name, after clearing
    // the marks of the build before; a mark's message is its log line.
    void markBuild(const QList<BuildProblem> &problems, const QString &file);
    // The same for a log's lines that name a file (relative names taken from
    // `folder`).
    void markLog(const QString &log, const QString &folder, const QString &file);
    // Marks each test's line as passed or failed, after clearing the marks
    // of the run before; the mark's tooltip says how it went.
    void markTests(const QList<TestsRunner::Mark> &marks);
    // The margin's one mark set, which the live analysis marks too.
    MarkSet *marks() const { return m_marks; }
    // The messages of the marks on a line (from 1), shown as its tooltip.
    QStringList markMessages(int line) const;
    // Shows a line (from 1) and selects it, or with a `column` (bytes from
    // the line's start) the `length` bytes there, within the line.
    void showLine(int line, int column = -1, int length = 0);
    void goToLine();
    // A right click in margin `margin` shows the menu `fill` makes for the
    // line (from 1) there instead of the editor's; `fill` leaves it empty
    // when the line has nothing to offer.
    void setMarginMenu(int margin, std::function<void(QMenu *, int line)> fill) {
        m_marginMenu = margin;
        m_fillMarginMenu = std::move(fill);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void contextMenu(const QPoint &at);
    void fitLineNumbers();
    QAction *action(const QString &text, const char *name, const std::function<void()> &handler);
    QMenu *makeContextMenu();

    QsciScintilla *m_editor;
    MessageBox *m_messages;
    QWidget *m_window;
    Z80Lexer *m_lexer;
    FindDialog *m_find = nullptr;
    QList<QAction *> m_actions;
    // The context menu's entries after the text box's own, each its actions
    // or a submenu of them. Every entry's access letter is its own.
    struct MenuEntry {
        QString submenu; // empty: the actions in the menu itself
        QList<QAction *> actions;
    };
    QList<MenuEntry> m_menu;
    int m_digits = 0;
    MarkSet *m_marks;
    int m_marginMenu = -1;
    std::function<void(QMenu *, int)> m_fillMarginMenu;
};
