#include "programrecord.h"

#include "base/lines.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
// The record keeps the newest lines when it grows past this.
constexpr int kMaxEntries = 5000;
} // namespace

QString samePathKey(const QString &path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString mainCommentTarget(const QByteArray &firstLine) {
    static const QRegularExpression comment(QStringLiteral("^\\s*;+\\s*main\\s*:\\s*(.*\\S)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = comment.match(QString::fromUtf8(firstLine));
    return match.hasMatch() ? match.captured(1) : QString();
}

QList<std::pair<QString, QString>> ProgramRecord::entries() const {
    QByteArray bytes;
    QList<std::pair<QString, QString>> list;
    if (readWholeFile(m_file, &bytes))
        return list;
    for (const std::string_view view :
         base::splitLines({bytes.constData(), size_t(bytes.size())})) {
        const QByteArray line = QByteArray::fromRawData(view.data(), qsizetype(view.size()));
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            list.append({QString::fromUtf8(line.left(tab)), QString::fromUtf8(line.mid(tab + 1))});
    }
    return list;
}

QString ProgramRecord::programOf(const QString &file) const {
    const QString key = samePathKey(file);
    const auto list = entries();
    for (auto it = list.crbegin(); it != list.crend(); ++it)
        if (it->first == key)
            return it->second;
    return {};
}

QStringList ProgramRecord::filesOf(const QString &program) const {
    const QString key = samePathKey(program);
    QStringList files{key};
    for (const auto &[file, owner] : entries())
        if (samePathKey(owner) == key && !files.contains(file) && programOf(file) == owner)
            files << file;
    return files;
}

std::optional<FileError> ProgramRecord::add(const QString &program, const QStringList &files) {
    QStringList keys;
    for (const QString &f : files)
        keys << samePathKey(f);
    const QString programKey = samePathKey(program);
    keys.removeAll(programKey);
    QByteArray out;
    auto list = entries();
    list.removeIf([&](const auto &e) { return e.first == programKey || keys.contains(e.first); });
    for (const QString &k : keys)
        list.append({k, programKey});
    if (list.size() > kMaxEntries)
        list.remove(0, list.size() - kMaxEntries);
    for (const auto &[file, owner] : list)
        out += file.toUtf8() + '\t' + owner.toUtf8() + '\n';
    return writeWholeFile(m_file, out);
}

bool ProgramRecord::takeBuildList(const QString &listFile, const QString &program,
                                  const QDateTime &started) {
    const QFileInfo info(listFile);
    if (!info.isFile() || info.lastModified() < started)
        return false;
    QByteArray bytes;
    if (readWholeFile(listFile, &bytes))
        return false;
    QStringList lines;
    for (const std::string_view line : base::splitLines({bytes.constData(), size_t(bytes.size())}))
        if (!line.empty())
            lines << QString::fromUtf8(line.data(), qsizetype(line.size()));
    if (lines.isEmpty() || samePathKey(lines.first()) != samePathKey(program))
        return false;
    return !add(lines.first(), lines.mid(1));
}

QString ProgramRecord::programFor(const QString &document, const QByteArray &firstLine) const {
    const QString named = mainCommentTarget(firstLine);
    if (!named.isEmpty())
        return QDir::cleanPath(QFileInfo(document).absoluteDir().absoluteFilePath(named));
    // NAME.tests belongs to NAME.z80 (or NAME.asm) beside it.
    const QFileInfo info(document);
    if (info.suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) == 0)
        for (const char *suffix : {".z80", ".asm", ".Z80", ".ASM"}) {
            const QString source = info.absolutePath() + QLatin1Char('/') +
                                   info.completeBaseName() + QLatin1String(suffix);
            if (QFileInfo(source).isFile())
                return source;
        }
    const QString recorded = programOf(document);
    if (!recorded.isEmpty() && QFileInfo(recorded).isFile())
        return recorded;
    return QFileInfo(document).absoluteFilePath();
}
