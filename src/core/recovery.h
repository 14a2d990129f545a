#pragma once
// Recovery copies: the unsaved text of each editor's document is kept in
// ~/Asm/TASM/Recovery so that a signal, a crash or a lost display loses at
// most the last moments of typing. Each running editor owns one copy, named
// after the editor, and holds a lock file beside it while it runs; a copy
// whose lock nobody holds was left by an editor that ended without saving,
// and the next start offers it back.

#include "core/document.h"
#include "platform/textfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// What a copy holds: the document's file (empty for an untitled one), how
// its bytes were text, and the editor's text as UTF-8.
struct RecoveryCopy {
    QString document;
    TextEncoding encoding = TextEncoding::Windows1252;
    QByteArray text;
    QDateTime written;
};

// The copy's bytes: a short header, then the text.
QByteArray encodeRecoveryCopy(const RecoveryCopy &copy);
std::optional<RecoveryCopy> decodeRecoveryCopy(const QByteArray &bytes);

// The copy of the running editor. Writes go through the safe write, so a copy
// on disk is always a whole one.
class RecoveryOwner {
public:
    explicit RecoveryOwner(const QString &folder);
    ~RecoveryOwner();
    RecoveryOwner(const RecoveryOwner &) = delete;
    RecoveryOwner &operator=(const RecoveryOwner &) = delete;

    QString copyPath() const { return m_copy; }
    std::optional<FileError> write(const RecoveryCopy &copy) const;
    void remove() const;

private:
    QString m_folder, m_copy, m_lock;
    int m_lockFd = -1;
};

// A copy that no running editor owns, claimed for as long as this lives (a
// second editor starting at the same moment does not offer it too).
class OrphanedCopy {
public:
    OrphanedCopy(QString copyPath, QString lockPath, int lockFd)
        : m_copy(std::move(copyPath)), m_lock(std::move(lockPath)), m_lockFd(lockFd) {}
    OrphanedCopy(OrphanedCopy &&other) noexcept;
    OrphanedCopy &operator=(OrphanedCopy &&) = delete;
    OrphanedCopy(const OrphanedCopy &) = delete;
    ~OrphanedCopy();

    QString path() const { return m_copy; }
    std::optional<FileError> read(RecoveryCopy *copy) const;
    // Removes the copy and its lock file (after it was recovered or discarded).
    void discard();

private:
    QString m_copy, m_lock;
    int m_lockFd = -1;
};

// The copies in `folder` whose editors have ended, oldest first.
std::vector<OrphanedCopy> orphanedCopies(const QString &folder);

// What changed between the file's text and a copy's, line by line: the lines
// both share at the start and the end are left out, and at most `maxLines`
// lines of each side are shown.
QString describeDifference(const QByteArray &before, const QByteArray &after, int maxLines = 2000);

// The messages about whole copies that saves in place which did not finish
// left in the spare folder, each naming the copy and the file it was of.
QStringList leftBackupNotices(const QString &spareFolder);
