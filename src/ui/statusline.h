#pragma once
// The line under the editor that says where the user is: the file's name and
// folder (the whole path when the pointer rests on it), whether it has unsaved
// changes, the caret's line and column, how the file is stored (encoding and
// line ends), the program it builds with, and what the last build or check
// said. It stands in the menu bar, right of the menus, in one line.

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QMenuBar;
class QsciScintilla;
class QTimer;

class StatusLine : public QWidget {
    Q_OBJECT
public:
    struct Host {
        std::function<QString()> file;     // the current file, empty while untitled
        std::function<QString()> encoding; // "Windows-1252" or "UTF-8"
        // The program the document builds with and why ("; main:" or the
        // record of builds); empty when it builds itself.
        std::function<QString()> program;
        std::function<bool()> namesProgram; // its first line says "; main:"
    };
    StatusLine(QsciScintilla *editor, Host host, QMenuBar *bar);

    QLabel *fileLabel, *modifiedLabel, *positionLabel, *formatLabel, *programLabel, *messageLabel;

    // What the last build or check said, and where to go from a message.
    void say(const QString &text);
    QString said() const { return m_said; }
    // Reads the file, program and format again (after an open, a save, a build).
    void refresh();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void showPosition();
    void fit();

    QsciScintilla *m_editor;
    Host m_host;
    QString m_said;
    QString m_name, m_folder; // the file's, the folder as the user reads it
    QTimer *m_refresh;
};
