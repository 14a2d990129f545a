#pragma once
// What the editor knows of the program in it, from the assembler's model of
// it (the analysis run after each pause in typing): problems marked in the
// margin's one mark set and underlined, hover with a symbol's value, place and comment, go to
// definition and back, go to symbol, find references and completion. All
// reached by keys, the mouse and the editor's context menu. language.cpp
// marks the problems and wires the rest: language_hover.cpp,
// language_navigation.cpp (definitions, symbols, references) and
// language_completion.cpp.

#include "ui/analysisrunner.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QHelpEvent;
class MarkSet;
class QKeyEvent;
class QsciScintilla;
class SymbolList;

class Language : public QObject {
    Q_OBJECT
public:
    struct Host {
        std::function<QString()> currentFile;          // empty while untitled
        std::function<bool(const QString &)> openFile; // asks about unsaved text first
        QStringList includeFolders;                    // searched after the source's own
        QString untitledFolder;                        // where an untitled source stands
        // The program the document is an include of, from the record of
        // builds; empty when it is a program itself or nothing is known.
        std::function<QString()> program;
        // The labels file ("name = $9D95" lines) of the last good build of
        // the document's program; empty when there is none.
        std::function<QString()> builtLabels;
        // The margin's marks, where the problems found are marked.
        MarkSet *marks = nullptr;
    };
    Language(QsciScintilla *editor, Host host, QWidget *window);
    QList<QAction *> actions() const { return m_actions; }
    AnalysisRunner *runner() const { return m_runner; }
    SymbolList *symbolList() const { return m_list; }

    void goToDefinition();
    void goBack();
    void goToSymbol(bool widened = false);
    void findReferences();
    void complete();
    // What hovering over the text at `position` (bytes) shows; empty for nothing.
    QString hoverText(long position) const;
    // The messages of the problems on a line (from 1) of the document, as
    // the margin's mark shows them.
    QStringList problemMessages(int line) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Place {
        QString file;
        long position;
    };
    QString documentPath() const;
    void start();
    void show();
    QString wordAt(long position, long *start = nullptr) const;
    std::optional<qint64> builtAddress(const QString &label) const;
    QString instructionHover(long line, long column) const;
    QString romCallAt(long position) const;
    bool goTo(const QString &file, int line, int column);
    void pushPlace();
    bool toolTip(QHelpEvent *event);
    void charAdded(int ch);
    bool enterEndsCompletion(QKeyEvent *key);
    void completionChosen(const char *text, int position);
    QAction *action(const QString &text, const char *name, const std::function<void()> &handler);

    QsciScintilla *m_editor;
    QWidget *m_viewport = nullptr; // compared with, never called: events come while it is destroyed
    Host m_host;
    QWidget *m_window;
    AnalysisRunner *m_runner;
    SymbolList *m_list;
    QList<QAction *> m_actions;
    QList<Place> m_back;
    bool m_painted = false;
    std::shared_ptr<const z80::Analysis> m_analysis; // the one shown
    QString m_analysedPath;
    QStringList m_completion; // in the control's caseless order, for this analysis
    QStringList m_romCalls;
    // A list is shown at most this long; typing on narrows it to the rest.
    static constexpr int kMaxShown = 1000;
    bool m_shownAll = true;
};
