#pragma once
// The current document's file: its path (the one place it is kept; the Open
// and Save dialogs are handed a copy to start from), how its bytes are text,
// its line ends, the version on disk it was last read from or written to,
// and the editor's save point. setCurrentFile changes them together.

#include "core/document.h"
#include "platform/textfile.h"

#include <functional>
#include <optional>

class QsciScintilla;

class CurrentFile {
public:
    explicit CurrentFile(QsciScintilla *editor) : m_editor(editor) {}

    // The file's path; empty for an untitled document.
    QString path() const { return m_path; }
    bool untitled() const { return m_path.isEmpty(); }
    // Whether `file` names the current file (however it is written).
    bool is(const QString &file) const;
    TextEncoding encoding() const { return m_encoding; }

    // Puts a file's text into the editor and makes it current (a template's,
    // with `untitled`, becomes an untitled document). On failure the editor
    // and the current file stay as they were.
    std::optional<FileError> load(const QString &path, bool untitled = false);
    std::optional<FileError> loadNative(const QByteArray &nativePath, bool untitled);
    // An empty document that will be saved to `path`.
    void startNew(const QString &path);
    // Writes the editor's text to `path` in the document's encoding (a copy
    // kept in `spareFolder` while it is written in place); the file becomes
    // current.
    std::optional<FileError> save(const QString &path, const QString &spareFolder = {});
    // Whether `path` is the current file and another program has changed it
    // since it was last read or written.
    bool changedOnDisk(const QString &path) const;
    // The file a save to `path` would write when the user never chose it:
    // the current file is now a link to another file than the one it was
    // read from or saved to (another user swapped one in), or `path` is a
    // link to a file that does not exist, which the save would make.
    std::optional<QString> unchosenTarget(const QString &path) const;

    void setCurrentFile(const QString &path, TextEncoding encoding, int lineEnds);
    // Told after every load, save and new document.
    enum class Change { Loaded, Saved, Started };
    void onChange(std::function<void(Change)> told) { m_told = std::move(told); }
    // The line ends (SC_EOL_*) a new, empty document gets.
    void setNewLineEnds(int mode) { m_newLineEnds = mode; }

private:
    void tell(Change change) {
        if (m_told)
            m_told(change);
    }

    QsciScintilla *m_editor;
    QString m_path;
    TextEncoding m_encoding = TextEncoding::Windows1252;
    QString m_stampedPath; // the file the stamp was taken of
    QString m_target;      // the file it named then, links followed
    std::optional<FileStamp> m_stamp;
    std::function<void(Change)> m_told;
    int m_newLineEnds = -1; // -1: CR LF
};
