// The safe write: a temporary file beside the target renamed over it, or,
// where that cannot be done without changing whose the file is, a write in
// place that first keeps a whole copy of the text in a spare folder.

#include "textfile.h"

#include "posixfile.h"

#include "base/wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using posixfile::Fd;
using posixfile::writeAll;

// A temporary file of ours this much older than now belongs to no live save:
// a live one is written to while it lives.
constexpr time_t kStaleSeconds = 15 * 60;
constexpr int kMostLinks = 40; // as the system follows at most

QString tr(const char *text) {
    return QCoreApplication::translate("FileError", text);
}

void notify(const WriteObserver &observer, WriteStep step) {
    if (observer)
        observer(step);
}

// Writes the data in two halves, so that an observer sees the middle, cuts the
// file where the data ends and flushes it to the disk.
bool writeAndSync(int fd, const QByteArray &bytes, const WriteObserver &observer) {
    const qsizetype half = bytes.size() / 2;
    if (!writeAll(fd, bytes.constData(), half))
        return false;
    notify(observer, WriteStep::HalfWritten);
    if (!writeAll(fd, bytes.constData() + half, bytes.size() - half) ||
        ::ftruncate(fd, bytes.size()) != 0 || ::fsync(fd) != 0)
        return false;
    notify(observer, WriteStep::Written);
    return true;
}

QByteArray cutName(const QString &name, qsizetype room) {
    return QFile::encodeName(name).left(NAME_MAX - room);
}

// ".NAME." beside the target, cut so that ".NAME.XXXXXX" stays within the
// longest name a folder entry may have.
QByteArray temporaryPrefix(const QString &name) {
    return "." + cutName(name, 8) + ".";
}

// Removes our own temporary files of the target that killed saves left.
void removeStaleTemporaries(const QByteArray &folder, const QString &name) {
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const QByteArray prefix = temporaryPrefix(name);
    const time_t now = std::time(nullptr);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray entry(e->d_name);
        const bool ours = entry.size() == prefix.size() + 6 && entry.startsWith(prefix) &&
                          std::all_of(entry.end() - 6, entry.end(), [](char c) {
                              return std::isalnum(static_cast<unsigned char>(c));
                          });
        struct stat st {};
        if (ours && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && now - st.st_mtime > kStaleSeconds)
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

// The new file keeps the old one's owner and group where the user may set
// them, else at least its group; false when even the group would change.
bool keepsGroup(int fd, const struct stat &old) {
    return ::fchown(fd, old.st_uid, old.st_gid) == 0 || ::fchown(fd, uid_t(-1), old.st_gid) == 0;
}

// Copies the old file's extended attributes, its POSIX ACL among them (the
// attribute system.posix_acl_access), to the new file; false when one that
// the old file has could not be given to the new one.
bool copyAttributes(const QByteArray &from, int to) {
    ssize_t size = ::listxattr(from.constData(), nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP;
    QByteArray names(size, Qt::Uninitialized);
    size = ::listxattr(from.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::getxattr(from.constData(), name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length, Qt::Uninitialized);
        const ssize_t got =
            ::getxattr(from.constData(), name.constData(), value.data(), size_t(value.size()));
        if (got < 0 || ::fsetxattr(to, name.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

bool copyAll(int from, int to) {
    if (::lseek(from, 0, SEEK_SET) != 0)
        return false;
    char buffer[65536];
    for (;;) {
        const qsizetype n = qsizetype(base::readFully(from, buffer, sizeof buffer));
        if (n <= 0)
            return n == 0;
        if (!writeAll(to, buffer, n))
            return false;
    }
}

void syncFolder(const QByteArray &folder) {
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0)
        ::fsync(dir.fd);
}

FileError failure(int number, const QString &path, const QString &remark = {}) {
    FileError error = FileError::fromErrno(number, path);
    error.remark = remark;
    return error;
}

// A file nobody had: nothing can be lost, it is simply written.
std::optional<FileError> writeNewInPlace(const QByteArray &native, const QString &path,
                                         const QByteArray &bytes, const WriteOptions &options) {
    Fd f(::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (f.fd < 0 || !writeAndSync(f.fd, bytes, options.observer) || f.close() != 0)
        return failure(errno, path);
    notify(options.observer, WriteStep::Replaced);
    return std::nullopt;
}

// Writes over the file itself. First a whole copy of its text (or, when it
// cannot be read, of the new text) goes to the spare folder and the space
// for the new text is reserved; only then is the file overwritten and cut.
// The copy is removed once the file is whole again; a failure after the file
// was touched says where the copy is.
std::optional<FileError> writeInPlace(const QByteArray &native, const QString &path,
                                      const QByteArray &bytes, const WriteOptions &options,
                                      const struct stat *old) {
    if (!old)
        return writeNewInPlace(native, path, bytes, options);
    Fd target(::open(native.constData(), O_RDWR | O_CLOEXEC));
    const bool keepsOld = target.fd >= 0;
    if (!keepsOld)
        target.fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
    if (target.fd < 0)
        return failure(errno, path);

    const QString spare = options.spareFolder.isEmpty() ? QDir::tempPath() : options.spareFolder;
    if (auto error = makeFolders(spare))
        return error;
    const QByteArray spareNative = QFile::encodeName(spare);
    QByteArray copy = spareNative + "/" + cutName(QFileInfo(path).fileName(), 7) + ".XXXXXX";
    Fd c(::mkostemp(copy.data(), O_CLOEXEC));
    if (c.fd >= 0) { // which file it is a copy of, where the file system can say
        const QByteArray origin = QFile::encodeName(QFileInfo(path).absoluteFilePath());
        ::fsetxattr(c.fd, kSpareCopyOriginAttribute, origin.constData(), size_t(origin.size()), 0);
    }
    const bool copied =
        c.fd >= 0 &&
        (keepsOld ? copyAll(target.fd, c.fd) : writeAll(c.fd, bytes.constData(), bytes.size())) &&
        ::fsync(c.fd) == 0 && c.close() == 0;
    if (!copied) {
        const int err = errno;
        if (c.fd >= 0 || QFileInfo::exists(QFile::decodeName(copy)))
            ::unlink(copy.constData());
        return failure(
            err, path,
            tr("The file is unchanged: no copy of it could be kept in %1 first.").arg(spare));
    }
    syncFolder(spareNative);
    notify(options.observer, WriteStep::TemporaryCreated);

    const int reserved = bytes.isEmpty() ? 0 : ::posix_fallocate(target.fd, 0, off_t(bytes.size()));
    if (reserved != 0) {
        // Only room past the old end may have been taken: give it back.
        if (::ftruncate(target.fd, old->st_size) == 0)
            ::unlink(copy.constData());
        return failure(reserved, path);
    }
    const bool written = ::lseek(target.fd, 0, SEEK_SET) == 0 &&
                         writeAndSync(target.fd, bytes, options.observer) && target.close() == 0;
    const QString copyPath = QFile::decodeName(copy);
    if (!written)
        return failure(errno, path,
                       (keepsOld ? tr("The file may now be cut short. Its text from before this "
                                      "save is kept whole in %1.")
                                 : tr("The file may now be cut short. The text being saved is "
                                      "kept whole in %1."))
                           .arg(copyPath));
    ::unlink(copy.constData());
    notify(options.observer, WriteStep::Replaced);
    return std::nullopt;
}

} // namespace

QString finalTarget(const QString &path) {
    QString target = path;
    for (int i = 0; i < kMostLinks; ++i) {
        const QFileInfo info(target);
        if (!info.isSymLink())
            return target;
        target = info.symLinkTarget();
    }
    return path; // a loop: a write fails with ELOOP
}

std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes,
                                        const WriteOptions &options) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    const QFileInfo target(finalTarget(path));
    const QByteArray native = QFile::encodeName(target.filePath());

    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return FileError::fromErrno(EISDIR, path);
        if (!S_ISREG(st.st_mode))
            return FileError{EINVAL, tr("Not a regular file"), path, {}};
        // A file the user may not write stays as it is, as with a direct write.
        if (::access(native.constData(), W_OK) != 0)
            return FileError::fromErrno(errno, path);
    } else if (errno != ENOENT) {
        return FileError::fromErrno(errno, path);
    }
    const struct stat *old = exists ? &st : nullptr;

    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray temp = folder + "/" + temporaryPrefix(target.fileName()) + "XXXXXX";
    Fd f(::mkostemp(temp.data(), O_CLOEXEC));
    if (f.fd < 0) {
        // A folder the user may not write in: the file itself may still be writable.
        if (errno == EACCES || errno == EPERM)
            return writeInPlace(native, path, bytes, options, old);
        return FileError::fromErrno(errno, path);
    }
    const auto giveUp = [&] {
        const int err = errno;
        f.close();
        ::unlink(temp.constData());
        return err;
    };
    // A file the new one could not give its group to is written in place, so
    // that whoever shares it can still write it.
    if (exists && !keepsGroup(f.fd, st)) {
        giveUp();
        return writeInPlace(native, path, bytes, options, old);
    }
    notify(options.observer, WriteStep::TemporaryCreated);

    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(f.fd, mode) != 0)
        return FileError::fromErrno(giveUp(), path);
    // A file whose ACL or attributes the new one cannot take keeps them by
    // being written in place.
    if (exists && !copyAttributes(native, f.fd)) {
        giveUp();
        return writeInPlace(native, path, bytes, options, old);
    }
    if (!writeAndSync(f.fd, bytes, options.observer) || f.close() != 0)
        return FileError::fromErrno(giveUp(), path);
    if (::rename(temp.constData(), native.constData()) != 0) {
        const int err = giveUp();
        // A sticky folder keeps another user's file from being replaced, not
        // from being written.
        if (exists && (err == EPERM || err == EACCES))
            return writeInPlace(native, path, bytes, options, old);
        return FileError::fromErrno(err, path);
    }
    notify(options.observer, WriteStep::Replaced);
    removeStaleTemporaries(folder, target.fileName());
    return std::nullopt;
}
