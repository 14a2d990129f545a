#include "textfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every way out of a function.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

int closeNow(Fd &f) {
    const int rc = ::close(f.fd);
    f.fd = -1;
    return rc;
}

bool writeAll(int fd, const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Reads into `buffer` until it is full or the file ends; the count read, or -1.
qsizetype readSome(int fd, char *buffer, qsizetype size) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size_t(size - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

QString tooLarge() {
    return QCoreApplication::translate("FileError", "File too large (the limit is %1 MiB)")
        .arg(kMaxReadSize / (1024 * 1024));
}

FileError notRegular(const QString &path) {
    return FileError{EINVAL, QCoreApplication::translate("FileError", "Not a regular file"), path};
}

void notify(const WriteObserver &observer, WriteStep step) {
    if (observer)
        observer(step);
}

// Writes the data in two halves, so that an observer sees the middle, then
// flushes it to the disk.
bool writeAndSync(int fd, const QByteArray &bytes, const WriteObserver &observer) {
    const qsizetype half = bytes.size() / 2;
    if (!writeAll(fd, bytes.constData(), half))
        return false;
    notify(observer, WriteStep::HalfWritten);
    if (!writeAll(fd, bytes.constData() + half, bytes.size() - half) || ::fsync(fd) != 0)
        return false;
    notify(observer, WriteStep::Written);
    return true;
}

// The way to write where no temporary file can be made beside the target:
// truncate the file and write it again.
std::optional<FileError> writeInPlace(const QByteArray &native, const QByteArray &bytes,
                                      const QString &path, const WriteObserver &observer) {
    Fd f{::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (f.fd < 0 || !writeAndSync(f.fd, bytes, observer) || closeNow(f) != 0)
        return FileError::fromErrno(errno, path);
    notify(observer, WriteStep::Replaced);
    return std::nullopt;
}

// ".NAME.XXXXXX" beside the target, cut so that it stays within the longest
// name a folder entry may have.
QByteArray temporaryPattern(const QFileInfo &target) {
    const QByteArray name = QFile::encodeName(target.fileName());
    const QByteArray suffix(".XXXXXX");
    return QFile::encodeName(target.absolutePath()) + "/." +
           name.left(NAME_MAX - 1 - suffix.size()) + suffix;
}

} // namespace

QString FileError::message() const {
    return QCoreApplication::translate("FileError", "%1\n\nError %2: %3")
        .arg(path, QString::number(number), description);
}

FileError FileError::fromErrno(int number, const QString &path) {
    return FileError{number, QString::fromLocal8Bit(std::strerror(number)), path};
}

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    return readWholeFile(QFile::encodeName(path), bytes);
}

std::optional<FileError> readWholeFile(const QByteArray &native, QByteArray *bytes) {
    const QString path = QFile::decodeName(native);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below anyway.
    Fd f{::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (f.fd < 0)
        return FileError::fromErrno(errno, path);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        return FileError::fromErrno(errno, path);
    if (S_ISDIR(st.st_mode))
        return FileError::fromErrno(EISDIR, path);
    if (!S_ISREG(st.st_mode))
        return notRegular(path);
    if (st.st_size > kMaxReadSize)
        return FileError{EFBIG, tooLarge(), path};
    // The size fstat gave, then whatever the file grew by since.
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    const qsizetype got = readSome(f.fd, data.data(), data.size());
    if (got < 0)
        return FileError::fromErrno(errno, path);
    data.truncate(got);
    if (got == st.st_size) {
        char more[4096];
        for (;;) {
            const qsizetype n = readSome(f.fd, more, sizeof more);
            if (n < 0)
                return FileError::fromErrno(errno, path);
            if (n == 0)
                break;
            if (data.size() + n > kMaxReadSize)
                return FileError{EFBIG, tooLarge(), path};
            data.append(more, n);
        }
    }
    *bytes = std::move(data);
    return std::nullopt;
}

std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes,
                                        const WriteObserver &observer) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    // Write through a link to the file it names, as a plain write would.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray native = QFile::encodeName(target);

    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return FileError::fromErrno(EISDIR, path);
        if (!S_ISREG(st.st_mode))
            return notRegular(path);
        // A file the user may not write stays as it is, as with a direct write.
        if (::access(native.constData(), W_OK) != 0)
            return FileError::fromErrno(errno, path);
    } else if (errno != ENOENT) {
        return FileError::fromErrno(errno, path);
    }

    QByteArray temp = temporaryPattern(QFileInfo(target));
    Fd f{::mkostemp(temp.data(), O_CLOEXEC)};
    if (f.fd < 0) {
        // A folder the user may not write in: the file itself may still be writable.
        if (errno == EACCES || errno == EPERM)
            return writeInPlace(native, bytes, path, observer);
        return FileError::fromErrno(errno, path);
    }
    notify(observer, WriteStep::TemporaryCreated);

    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
        // The owner and group stay where the user may set them; elsewhere the
        // new file is the user's own, as with any file the user creates.
        (void)::fchown(f.fd, st.st_uid, st.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok = ::fchmod(f.fd, mode) == 0 && writeAndSync(f.fd, bytes, observer) &&
                    closeNow(f) == 0 && ::rename(temp.constData(), native.constData()) == 0;
    if (!ok) {
        const int err = errno;
        ::unlink(temp.constData());
        return FileError::fromErrno(err, path);
    }
    notify(observer, WriteStep::Replaced);
    return std::nullopt;
}

std::optional<FileError> makeFolders(const QString &path) {
    const QByteArray native = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    for (qsizetype slash = native.indexOf('/', 1);; slash = native.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? native : native.left(slash);
        struct stat st {};
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return FileError::fromErrno(errno, QFile::decodeName(part));
        if (::stat(part.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return FileError::fromErrno(ENOTDIR, QFile::decodeName(part));
        if (slash < 0)
            return std::nullopt;
    }
}

std::optional<FileStamp> fileStamp(const QString &path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStamp{qint64(st.st_size),
                     qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     quint64(st.st_dev), quint64(st.st_ino)};
}
