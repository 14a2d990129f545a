#pragma once
// The breakpoints of the program's files, shown as red dots in a margin of
// their own beside the text, set and cleared by a click there or by the
// toggle key on the caret's line; and the arrow that marks the line where a
// debugged run is paused. The dots of the file in the editor follow its
// lines as text is edited; the other files' are kept by line until they are
// shown again.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QsciScintilla;

class Breakpoints : public QObject {
    Q_OBJECT
public:
    static constexpr int kMargin = 2;
    enum Marker { DotMarker = 4, ArrowMarker = 5, PausedLineMarker = 6 };

    explicit Breakpoints(QsciScintilla *editor, QObject *parent = nullptr);

    // The editor now shows `path`; `sameText` when only its name changed (Save As).
    void fileShown(const QString &path, bool sameText);
    QString file() const { return m_path; }

    void toggle(int line); // from 1, in the file shown
    bool has(int line) const;
    // Every file's breakpoint lines (from 1), by whole path.
    QHash<QString, QList<int>> all() const;
    // The breakpoints kept from an earlier session, for files not shown yet.
    void restore(const QHash<QString, QList<int>> &all);
    // A breakpoint the debugger bound to a later line moves there.
    void move(const QString &path, int from, int to);

    // The arrow at `line` (from 1) of the file shown; 0 takes it away.
    void showArrow(int line);
    int arrowLine() const; // 0 when none

signals:
    void changed();

private:
    QList<int> linesShown() const;
    void remember();

    QsciScintilla *m_editor;
    QString m_path;
    QHash<QString, QList<int>> m_kept; // the files not shown now
    int m_arrow = -1;                  // a marker handle
};
