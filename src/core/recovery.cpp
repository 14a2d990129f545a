#include "recovery.h"

#include "base/lines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = "Quorvin recovery copy 1\n";
const char *const kCopySuffix = ".recovery";
const char *const kLockSuffix = ".lock";

QString tr(const char *text) {
    return QCoreApplication::translate("Recovery", text);
}

QByteArray encodingName(TextEncoding e) {
    switch (e) {
    case TextEncoding::Utf8:
        return "utf-8";
    case TextEncoding::Utf8WithMark:
        return "utf-8-mark";
    case TextEncoding::Windows1252:
        break;
    }
    return "windows-1252";
}

// Opens and locks a lock file without waiting; -1 when another editor holds it.
int lockExclusive(const QString &path, bool create) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The lines as the editor counts them: a line end starts one more.
QList<QByteArray> splitLines(const QByteArray &text) {
    QList<QByteArray> lines;
    for (const std::string_view line : base::splitLines({text.constData(), size_t(text.size())}))
        lines << QByteArray(line.data(), qsizetype(line.size()));
    if (text.isEmpty() || text.endsWith('\n') || text.endsWith('\r'))
        lines << QByteArray();
    return lines;
}

} // namespace

QByteArray encodeRecoveryCopy(const RecoveryCopy &copy) {
    QByteArray bytes = kMagic;
    bytes += "file: " + QFile::encodeName(copy.document).toPercentEncoding() + '\n';
    bytes += "encoding: " + encodingName(copy.encoding) + '\n';
    bytes += "written: " + copy.written.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
    bytes += '\n';
    return bytes + copy.text;
}

std::optional<RecoveryCopy> decodeRecoveryCopy(const QByteArray &bytes) {
    if (!bytes.startsWith(kMagic))
        return std::nullopt;
    const qsizetype end = bytes.indexOf("\n\n", kMagic.size() - 1);
    if (end < 0)
        return std::nullopt;
    RecoveryCopy copy;
    const QByteArray header = bytes.mid(kMagic.size(), end - kMagic.size() + 1);
    for (const QByteArray &line : header.split('\n')) {
        const qsizetype colon = line.indexOf(": ");
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon), value = line.mid(colon + 2);
        if (key == "file")
            copy.document = QFile::decodeName(QByteArray::fromPercentEncoding(value));
        else if (key == "encoding")
            copy.encoding = value == "utf-8"        ? TextEncoding::Utf8
                            : value == "utf-8-mark" ? TextEncoding::Utf8WithMark
                                                    : TextEncoding::Windows1252;
        else if (key == "written")
            copy.written = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
    }
    copy.text = bytes.mid(end + 2);
    return copy;
}

RecoveryOwner::RecoveryOwner(const QString &folder) : m_folder(folder) {
    // The process id and a moment tell this editor from every other one,
    // also from an earlier one that had the same process id; the count tells
    // apart owners one process makes within the same millisecond.
    static std::atomic<unsigned> made{0};
    const QString name = QStringLiteral("%1-%2-%3")
                             .arg(::getpid())
                             .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36)
                             .arg(made++);
    m_copy = folder + QLatin1Char('/') + name + QLatin1String(kCopySuffix);
    m_lock = folder + QLatin1Char('/') + name + QLatin1String(kLockSuffix);
}

RecoveryOwner::~RecoveryOwner() {
    if (m_lockFd >= 0) {
        if (!QFileInfo::exists(m_copy))
            ::unlink(QFile::encodeName(m_lock).constData());
        ::close(m_lockFd);
    }
}

std::optional<FileError> RecoveryOwner::write(const RecoveryCopy &copy) const {
    if (m_lockFd < 0) {
        if (auto error = makeFolders(m_folder))
            return error;
        ::chmod(QFile::encodeName(m_folder).constData(), 0700); // text of the user's alone
        const_cast<RecoveryOwner *>(this)->m_lockFd = lockExclusive(m_lock, true);
        if (m_lockFd < 0)
            return FileError::fromErrno(errno, m_lock);
    }
    return writeWholeFile(m_copy, encodeRecoveryCopy(copy));
}

void RecoveryOwner::remove() const {
    ::unlink(QFile::encodeName(m_copy).constData());
}

OrphanedCopy::OrphanedCopy(OrphanedCopy &&other) noexcept
    : m_copy(std::move(other.m_copy)), m_lock(std::move(other.m_lock)),
      m_lockFd(std::exchange(other.m_lockFd, -1)) {}

OrphanedCopy::~OrphanedCopy() {
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::optional<FileError> OrphanedCopy::read(RecoveryCopy *copy) const {
    QByteArray bytes;
    if (auto error = readWholeFile(m_copy, &bytes))
        return error;
    const auto decoded = decodeRecoveryCopy(bytes);
    if (!decoded)
        return FileError{EINVAL, tr("Not a recovery copy"), m_copy, {}};
    *copy = *decoded;
    if (!copy->written.isValid())
        copy->written = QFileInfo(m_copy).lastModified();
    return std::nullopt;
}

void OrphanedCopy::discard() {
    ::unlink(QFile::encodeName(m_copy).constData());
    ::unlink(QFile::encodeName(m_lock).constData());
    if (m_lockFd >= 0)
        ::close(std::exchange(m_lockFd, -1));
}

std::vector<OrphanedCopy> orphanedCopies(const QString &folder) {
    QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("*") + QLatin1String(kCopySuffix)},
                                   QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    std::vector<OrphanedCopy> found;
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || entry.ownerId() != ::geteuid())
            continue;
        const QString lock = entry.absolutePath() + QLatin1Char('/') + entry.completeBaseName() +
                             QLatin1String(kLockSuffix);
        const int fd = lockExclusive(lock, true);
        if (fd >= 0) // nobody holds it: its editor has ended
            found.emplace_back(entry.absoluteFilePath(), lock, fd);
    }
    return found;
}

QString describeDifference(const QByteArray &before, const QByteArray &after, int maxLines) {
    const QList<QByteArray> a = splitLines(before), b = splitLines(after);
    qsizetype start = 0;
    while (start < a.size() && start < b.size() && a[start] == b[start])
        ++start;
    qsizetype endA = a.size(), endB = b.size();
    while (endA > start && endB > start && a[endA - 1] == b[endB - 1])
        --endA, --endB;
    if (start == endA && start == endB)
        return tr("The texts are the same.");
    QString text = tr("From line %1 (- the file, + the kept text):\n").arg(start + 1);
    const auto side = [&](const QList<QByteArray> &lines, qsizetype from, qsizetype to,
                          QLatin1Char mark) {
        for (qsizetype i = from; i < to && i - from < maxLines; ++i)
            text += mark + QString::fromUtf8(lines[i]) + QLatin1Char('\n');
        if (to - from > maxLines)
            text += tr("%1 (%2 more lines)\n").arg(mark).arg(to - from - maxLines);
    };
    side(a, start, endA, QLatin1Char('-'));
    side(b, start, endB, QLatin1Char('+'));
    return text;
}

QStringList leftBackupNotices(const QString &spareFolder) {
    QStringList notices;
    const QFileInfoList entries =
        QDir(spareFolder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || entry.ownerId() != ::geteuid())
            continue;
        char origin[4096];
        const ssize_t n = ::getxattr(QFile::encodeName(entry.absoluteFilePath()).constData(),
                                     kSpareCopyOriginAttribute, origin, sizeof origin);
        const QString of = n > 0 ? QFile::decodeName(QByteArray(origin, n))
                                 : entry.fileName().section(QLatin1Char('.'), 0, -2);
        notices
            << tr("A save of %1 did not finish (it failed or was killed while it wrote the file "
                  "in place). A whole copy of its text is kept in %2: compare it with the file "
                  "and delete it when you no longer need it.")
                   .arg(of, entry.absoluteFilePath());
    }
    return notices;
}
