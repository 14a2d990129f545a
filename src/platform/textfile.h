#pragma once
// Whole-file read (regular files only) and safe write (a temporary file next to
// the target replaces it only when complete). Failures come back as values that
// carry the system's error number, its description and the path.

#include <QByteArray>
#include <QString>

#include <optional>

struct FileError {
    int number = 0;
    QString description;
    QString path;

    // One text for a message box: what failed, the path, the number and description.
    QString message() const;
    static FileError fromErrno(int number, const QString &path);
};

// Files larger than this are refused rather than read into memory.
constexpr qint64 kMaxReadSize = qint64(64) * 1024 * 1024;

std::optional<FileError> readWholeFile(const QString &path, QByteArray *bytes);
// The same for a path given as the system's bytes.
std::optional<FileError> readWholeFile(const QByteArray &nativePath, QByteArray *bytes);
std::optional<FileError> writeWholeFile(const QString &path, const QByteArray &bytes);
