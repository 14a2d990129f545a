#pragma once
// Watches the current file on disk. When another program changes it (a
// `git pull`, a second editor), an unmodified document is read again at once,
// its caret and view kept; a modified one gets a bar over the editor's top
// that offers to reload (losing the edits, as it says) or to keep the text,
// after which the next save asks before overwriting, as it always does.

#include "platform/textfile.h"

#include <QFileSystemWatcher>
#include <QFrame>
#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QsciScintilla;

class ReloadWatch : public QObject {
    Q_OBJECT
public:
    struct Host {
        std::function<QString()> file; // the current file, empty while untitled
        std::function<bool(const QString &)> changedOnDisk; // since it was last read or written
        std::function<bool()> reload;                       // reads it again; false on failure
        std::function<void(const QString &)> tell;          // on the status line
    };
    ReloadWatch(QsciScintilla *editor, Host host, QWidget *window);

    // Watches `path` from now on (empty: nothing).
    void follow(const QString &path);
    // Looks at the file now, as a change on disk does.
    void check();
    QFrame *bar() const { return m_bar; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reload();
    void keep();
    void placeBar();

    QsciScintilla *m_editor;
    Host m_host;
    QFileSystemWatcher *m_watcher;
    QFrame *m_bar;
    QLabel *m_text;
    QAction *m_reloadAction, *m_keepAction;
    QString m_path;
    std::optional<FileStamp> m_kept; // the version on disk the user chose to keep text over
};
