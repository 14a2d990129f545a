#pragma once
// The breakpoints of the program's files, shown as red dots in a margin of
// their own beside the text, set and cleared by a click there or by the
// toggle key on the caret's line; and the arrow that marks the line where a
// debugged run is paused. The dots of the file in the editor follow its
// lines as text is edited; the other files' are kept by line until they are
// shown again. A breakpoint may be disabled (a hollow dot), or carry a
// condition, a hit count or a log message (a dot with a cross), which
// follow it as its dot does.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QsciScintilla;

struct BreakpointSettings {
    bool enabled = true;
    QString condition; // an expression over the machine (run/watchexpr.h); empty: always
    int hitCount = 0;  // stop from the hitCount-th time the condition holds there; 0: the first
    QString log;       // not empty: written to the log instead of stopping
    bool plain() const { return enabled && condition.isEmpty() && hitCount == 0 && log.isEmpty(); }
    bool operator==(const BreakpointSettings &o) const {
        return enabled == o.enabled && condition == o.condition && hitCount == o.hitCount &&
               log == o.log;
    }
};

class Breakpoints : public QObject {
    Q_OBJECT
public:
    static constexpr int kMargin = 2;
    // The dots first: a marker of a higher number is drawn over them (the arrow).
    enum Marker {
        DotMarker = 4,
        DisabledMarker = 5,
        SetMarker = 6,
        ArrowMarker = 7,
        PausedLineMarker = 8
    };

    explicit Breakpoints(QsciScintilla *editor, QObject *parent = nullptr);

    // The editor now shows `path`; `sameText` when only its name changed (Save As).
    void fileShown(const QString &path, bool sameText);
    QString file() const { return m_path; }

    void toggle(int line); // from 1, in the file shown
    bool has(int line) const;
    // Every file's breakpoint lines (from 1), by whole path.
    QHash<QString, QList<int>> all() const;
    // The breakpoints kept from an earlier session, for files not shown yet.
    void restore(const QHash<QString, QList<int>> &all,
                 const QHash<QString, QHash<int, BreakpointSettings>> &settings = {});
    // A breakpoint's settings (plain ones for a line without one).
    BreakpointSettings settings(const QString &path, int line) const;
    // Changes the breakpoint at `line` (from 1) of the file shown; false when there is none.
    bool setSettings(int line, const BreakpointSettings &settings);
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
    // Puts the dot that shows `settings` at `line` (from 0), in place of any other.
    void mark(int line, const BreakpointSettings &settings);
    void unmark(int line);

    QsciScintilla *m_editor;
    QString m_path;
    QHash<QString, QList<int>> m_kept;                             // the files not shown now
    QHash<QString, QHash<int, BreakpointSettings>> m_keptSettings; // theirs, by line
    QHash<int, BreakpointSettings> m_settings; // the file shown's, by marker handle
    int m_arrow = -1;                          // a marker handle
};
