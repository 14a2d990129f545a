#pragma once
// The marks in the editor's margin: one set, fed by the live analysis, by a
// build's log and by a run of tests, with one hover that lists the messages
// of the marks on the line under the pointer. Each mark follows its line as
// text is edited; each feeder replaces only its own marks. A build's mark
// goes, with its message, once its own line is edited: it no longer says
// what that line is.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QHelpEvent;
class QsciScintilla;

class MarkSet : public QObject {
    Q_OBJECT
public:
    enum class Source { Analysis, Build, Tests };
    enum class Kind { Error, Warning, Passed, Failed };
    struct Mark {
        int line = 0; // from 1
        Kind kind = Kind::Error;
        QString message;
    };
    // The margin's markers: an error's red dot, a warning's amber triangle,
    // a test that passed (a small green square) and one that failed (red).
    enum Marker { ErrorMarker = 0, WarningMarker = 1, PassedMarker = 2, FailedMarker = 3 };

    MarkSet(QsciScintilla *editor, int margin);
    // Replaces the marks `source` gave before; lines outside the text are left out.
    void set(Source source, const QList<Mark> &marks);
    // The messages of the marks on a line (from 1): the tests', the build's,
    // then the analysis's.
    QStringList messages(int line) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Placed {
        int handle;
        Source source;
        QString message;
        QString text; // a build's mark: its line as it read when marked
    };
    bool toolTip(QHelpEvent *event);
    QString lineText(int line) const; // from 0, without its line end
    void dropEdited();

    QsciScintilla *m_editor;
    QObject *m_viewport; // compared with, never called: events come while it is destroyed
    QList<Placed> m_marks;
};
