#pragma once
// What the editor adds to the text box: colours, line numbers, marks on the
// lines a build's log names, Find and Replace, Go to Line, and new lines that
// keep the indentation of the line above. They are reached by shortcuts and
// the editor's context menu; the menus stay as they are.

#include "ui/testsrunner.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class QAction;
class QHelpEvent;
class QsciScintilla;
class FindDialog;
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
    void addActions(const QList<QAction *> &actions) { m_actions << actions; }

    // Marks the lines of `file` that the log names (relative names taken
    // from `folder`), after clearing the marks of the log before.
    void markLog(const QString &log, const QString &folder, const QString &file);
    // Marks each test's line as passed or failed, after clearing the marks
    // of the run before; the mark's tooltip says how it went.
    void markTests(const QList<TestsRunner::Mark> &marks);
    // The log lines that marked a line (from 1), shown as the mark's tooltip.
    QStringList markMessages(int line) const;
    // Shows a line (from 1) and selects it.
    void showLine(int line);
    void goToLine();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void contextMenu(const QPoint &at);
    bool markToolTip(QHelpEvent *event);
    void fitLineNumbers();
    void dropChangedMarks();
    QString lineText(int line) const; // without its line end
    QAction *action(const QString &text, const char *name, const std::function<void()> &handler);

    QsciScintilla *m_editor;
    QWidget *m_viewport = nullptr; // compared with, never called: events come while it is destroyed
    MessageBox *m_messages;
    QWidget *m_window;
    Z80Lexer *m_lexer;
    FindDialog *m_find = nullptr;
    QList<QAction *> m_actions;
    int m_digits = 0;
    QHash<int, QString> m_marks;      // a mark's handle and its log line
    QHash<int, QString> m_markedText; // a log mark's line as it read when marked
    QSet<int> m_testMarks;            // the handles of the tests' marks among them
};
