#pragma once
// Whole-file read (regular files only) and safe write (a temporary file next to
// the target replaces it only when complete). Failures come back as values that
// carry the system's error number, its description and the path.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct FileError {
    int number = 0;
    QString description;
    QString path;

    // One text for a message box: the path, the number and the description.
    QString message() const;
    static FileError fromErrno(int number, const QString &path);
};

// Files larger than this are refused rather than read into memory.
constexpr qint64 kMaxReadSize = qint64(64) * 1024 * 1024;

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes);
// The same for a path given as the system's bytes.
std::optional<FileError> readWholeFile(const QByteArray &nativePath, QByteArray *bytes);

// The steps of a write, for a caller that wants to watch one happen.
enum class WriteStep { TemporaryCreated, HalfWritten, Written, Replaced };
using WriteObserver = std::function<void(WriteStep)>;

// Writes through a temporary file that is renamed over the target. Where the
// folder does not let the user create one, the file is written in place.
std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes,
                                        const WriteObserver &observer = {});

// Creates a folder and the folders above it that are missing.
std::optional<FileError> makeFolders(const QString &path);

// What tells one version of a file from another: a file replaced, grown or
// touched since the stamp was taken compares unequal.
struct FileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp &o) const {
        return size == o.size && modifiedNs == o.modifiedNs && device == o.device &&
               inode == o.inode;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};
// Nothing when the file does not exist or cannot be looked at.
std::optional<FileStamp> fileStamp(const QString &path);
