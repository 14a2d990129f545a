#pragma once
// Keeps the editor's unsaved text in a recovery copy: at most a second after
// a change the text is written (off the window's thread, through the safe
// write); the copy goes when the text is saved, undone back to its saved
// state or dropped; a copy that cannot be written is said (on the status
// line), once until a write works again. keepNow() writes at once, for a
// signal that ends the program. At start-up, offerLeftCopies() offers each copy an editor that
// ended without saving left behind: recover it, see how it differs from its
// file, or discard it.

#include "core/recovery.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <functional>

class MessageBox;
class QsciScintilla;
class QWidget;

class RecoveryKeeper : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<QString()> document; // the current file, empty when untitled
        std::function<TextEncoding()> encoding;
        // Puts a copy's text into the editor as the unsaved text of its
        // document; false when it could not (after saying why) or the user
        // kept the current text.
        std::function<bool(const RecoveryCopy &)> recover;
        // Told on the window's thread when keeping the copy fails after it
        // worked (or at first), with why; and when it works again, with "".
        std::function<void(const QString &)> keepFailed;
    };
    RecoveryKeeper(QsciScintilla *editor, const QString &folder, MessageBox *messages, Hooks hooks,
                   QWidget *window);
    ~RecoveryKeeper() override;

    void keepNow();
    // The text was saved or the user chose to drop it.
    void forget();
    void offerLeftCopies();

    QString copyPath() const { return m_owner.copyPath(); }
    static constexpr int kDelayMs = 1000;

private:
    void changed();
    void keepSoon();
    RecoveryCopy snapshot() const;
    bool offer(OrphanedCopy &left);
    void written(const QString &error); // on the window's thread

    QsciScintilla *m_editor;
    RecoveryOwner m_owner;
    MessageBox *m_messages;
    Hooks m_hooks;
    QWidget *m_window;
    QTimer m_timer;
    QThreadPool m_writer; // one thread: writes land in order
    bool m_offered = false;
    bool m_failing = false; // the last write failed, and that was said
};
