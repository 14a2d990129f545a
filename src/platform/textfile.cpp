#include "textfile.h"

#include "base/wholefile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

namespace {

// The reader's failure as the editor says it.
std::optional<FileError> failure(const base::FileRead &got, const QString &path) {
    switch (got.failure) {
    case base::ReadFailure::None:
        return std::nullopt;
    case base::ReadFailure::System:
        return FileError::fromErrno(got.number, path);
    case base::ReadFailure::Folder:
        return FileError::fromErrno(EISDIR, path);
    case base::ReadFailure::NotRegular:
        return notRegular(path);
    case base::ReadFailure::TooLarge:
        return FileError{EFBIG, tooLarge(), path, {}};
    }
    return std::nullopt;
}

} // namespace

std::optional<FileError> readWholeFile(const QByteArray &native, QByteArray *bytes) {
    return failure(base::readWholeFile(native.constData(), bytes), QFile::decodeName(native));
}

std::optional<FileError> readFileStart(const QString &path, qint64 limit, QByteArray *bytes,
                                       qint64 *size) {
    std::size_t whole = 0;
    const base::FileRead got =
        base::readFileStart(QFile::encodeName(path).constData(), std::size_t(limit), bytes, &whole);
    if (got.ok())
        *size = qint64(whole);
    return failure(got, path);
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
