#include "textfile.h"

#include "posixfile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using posixfile::Fd;
using posixfile::readSome;

QString tooLarge() {
    return QCoreApplication::translate("FileError", "File too large (the limit is %1 MiB)")
        .arg(kMaxReadSize / (1024 * 1024));
}

FileError notRegular(const QString &path) {
    return FileError{
        EINVAL, QCoreApplication::translate("FileError", "Not a regular file"), path, {}};
}

} // namespace

QString FileError::message() const {
    const QString text = QCoreApplication::translate("FileError", "%1\n\nError %2: %3")
                             .arg(path, QString::number(number), description);
    return remark.isEmpty() ? text : text + QLatin1String("\n\n") + remark;
}

FileError FileError::fromErrno(int number, const QString &path) {
    return FileError{number, QString::fromLocal8Bit(std::strerror(number)), path, {}};
}

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes) {
    if (path.isEmpty())
        return FileError::fromErrno(ENOENT, path);
    return readWholeFile(QFile::encodeName(path), bytes);
}

std::optional<FileError> readWholeFile(const QByteArray &native, QByteArray *bytes) {
    const QString path = QFile::decodeName(native);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below anyway.
    Fd f(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
        return FileError{EFBIG, tooLarge(), path, {}};
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
                return FileError{EFBIG, tooLarge(), path, {}};
            data.append(more, n);
        }
    }
    *bytes = std::move(data);
    return std::nullopt;
}

std::optional<FileError> readFileStart(const QString &path, qint64 limit, QByteArray *bytes,
                                       qint64 *size) {
    Fd f(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0)
        return FileError::fromErrno(errno, path);
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? FileError::fromErrno(EISDIR, path) : notRegular(path);
    QByteArray data(qsizetype(qMin<qint64>(limit, st.st_size)), Qt::Uninitialized);
    const qsizetype got = readSome(f.fd, data.data(), data.size());
    if (got < 0)
        return FileError::fromErrno(errno, path);
    data.truncate(got);
    *bytes = std::move(data);
    *size = qMax<qint64>(st.st_size, got);
    return std::nullopt;
}

std::optional<FileError> checkNativeName(const QByteArray &native) {
    const QString name = QFile::decodeName(native);
    if (QFile::encodeName(name) == native)
        return std::nullopt;
    return FileError{EILSEQ,
                     QCoreApplication::translate(
                         "FileError", "The name is not valid in the system's character set "
                                      "(UTF-8), so the file could not be saved under it again; "
                                      "rename the file first"),
                     name,
                     {}};
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
