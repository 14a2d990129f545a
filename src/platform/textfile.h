#pragma once
// Whole-file read (regular files only) and safe write (a temporary file next to
// the target replaces it only when complete). Failures come back as values that
// carry the system's error number, its description and the path.

#include "base/wholefile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct FileError {
    int number = 0;
    QString description;
    QString path;
    // A sentence after the error, such as where a whole copy of the text is.
    QString remark;

    // One text for a message box: the path, the number, the description and
    // the remark.
    QString message() const;
    static FileError fromErrno(int number, const QString &path);
};

// Files larger than this are refused rather than read into memory.
constexpr qint64 kMaxReadSize = qint64(base::kMaxFileSize);

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes);
// The same for a path given as the system's bytes.
std::optional<FileError> readWholeFile(const QByteArray &nativePath, QByteArray *bytes);

// The first `limit` bytes of a regular file, and the file's whole size.
std::optional<FileError> readFileStart(const QString &path, qint64 limit, QByteArray *bytes,
                                       qint64 *size);

// The steps of a write, for a caller that wants to watch one happen.
enum class WriteStep { TemporaryCreated, HalfWritten, Written, Replaced };
using WriteObserver = std::function<void(WriteStep)>;

struct WriteOptions {
    // Where a copy of a file's text is kept while the file is written in
    // place; empty: the system's temporary folder.
    QString spareFolder;
    WriteObserver observer;
};

// Writes through a temporary file that is renamed over the target; a link is
// written through to the file it names, which is made when missing. Where no
// temporary file can replace the target (a folder the user may not write in,
// a sticky folder, a file whose group the user cannot give the new one), the
// file is written in place: its text is first copied into the spare folder
// and the space is reserved, and a failure says where the whole copy is.
// Temporary files of the target left by saves that were killed are removed.
std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes,
                                        const WriteOptions &options = {});
// The file a path names: links are followed, to a missing file too, as a
// plain write follows them.
QString finalTarget(const QString &path);
// The extended attribute of a copy in the spare folder that names the file
// it is a copy of.
inline const char *const kSpareCopyOriginAttribute = "user.quorvin.file";

// Nothing when a file name given as the system's bytes reads back to the same
// bytes through Qt (the only names the editor can open and save again); else
// the error that says why the name is refused.
std::optional<FileError> checkNativeName(const QByteArray &nativePath);

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
