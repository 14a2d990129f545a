#include "textfile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString &path) {
    return QFile::encodeName(path);
}

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

} // namespace

QString FileError::message() const {
    return QStringLiteral("%1\n\nError %2: %3").arg(path).arg(number).arg(description);
}

FileError FileError::fromErrno(int number, const QString &path) {
    return FileError{number, QString::fromLocal8Bit(std::strerror(number)), path};
}

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    return readWholeFile(nativePath(path), bytes);
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
        return FileError{EINVAL, QStringLiteral("Not a regular file"), path};
    if (st.st_size > kMaxReadSize)
        return FileError{EFBIG,
                         QStringLiteral("File too large (the limit is %1 MiB)")
                             .arg(kMaxReadSize / (1024 * 1024)),
                         path};
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    // Read until end of file: the size may change under us, so do not trust it.
    for (;;) {
        if (got == data.size()) {
            if (data.size() >= kMaxReadSize)
                return FileError{EFBIG, QStringLiteral("File too large"), path};
            data.resize(qMax<qsizetype>(4096, data.size() * 2));
        }
        const ssize_t n = ::read(f.fd, data.data() + got, size_t(data.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FileError::fromErrno(errno, path);
        }
        if (n == 0)
            break;
        got += n;
    }
    data.truncate(got);
    *bytes = std::move(data);
    return std::nullopt;
}

std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    // Write through a link to the file it names, as a plain write would.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray native = nativePath(target);

    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return FileError::fromErrno(EISDIR, path);
        if (!S_ISREG(st.st_mode))
            return FileError{EINVAL, QStringLiteral("Not a regular file"), path};
        // A file the user may not write stays as it is, as with a direct write.
        if (::access(native.constData(), W_OK) != 0)
            return FileError::fromErrno(errno, path);
    } else if (errno != ENOENT) {
        return FileError::fromErrno(errno, path);
    }

    const QFileInfo targetInfo(target);
    QByteArray temp = nativePath(targetInfo.absolutePath() + QLatin1String("/.") +
                                 targetInfo.fileName() + QLatin1String(".XXXXXX"));
    Fd f{::mkostemp(temp.data(), O_CLOEXEC)};
    if (f.fd < 0)
        return FileError::fromErrno(errno, path);

    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok = ::fchmod(f.fd, mode) == 0 && writeAll(f.fd, bytes.constData(), bytes.size()) &&
                    ::fsync(f.fd) == 0 && closeNow(f) == 0 &&
                    ::rename(temp.constData(), native.constData()) == 0;
    if (!ok) {
        const int err = errno;
        ::unlink(temp.constData());
        return FileError::fromErrno(err, path);
    }
    return std::nullopt;
}
