#include "kitsetup.h"

#include "platform/process.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

QString hashOf(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray readAll(const QString &path) {
    QByteArray bytes;
    return readWholeFile(path, &bytes) ? QByteArray() : bytes;
}

// The hashes of every version of `file` the kit ever shipped.
QSet<QString> shippedVersions(const QString &kitFolder, const QString &file) {
    QSet<QString> hashes;
    const QList<QByteArray> lines = readAll(kitFolder + QLatin1String("/shipped.txt")).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype gap = line.indexOf("  ");
        if (gap > 0 && QString::fromUtf8(line.mid(gap + 2)) == file)
            hashes.insert(QString::fromLatin1(line.left(gap)));
    }
    return hashes;
}

const char *const kStamp = "/TASM/.kit-version";

} // namespace

QStringList KitReport::lines(const QString &kitFolder, const QString &root) const {
    QStringList out;
    if (installed.isEmpty() && updated.isEmpty() && kept.isEmpty() && !error)
        out << QCoreApplication::translate("Kit", "%1 has this kit already").arg(root);
    for (const QString &f : installed)
        out << QCoreApplication::translate("Kit", "installed %1").arg(f);
    for (const QString &f : updated)
        out << QCoreApplication::translate("Kit", "updated %1").arg(f);
    for (const QString &f : kept)
        out << QCoreApplication::translate("Kit", "kept %1: you have changed it (the kit's own "
                                                  "version is in %2)")
                   .arg(f, kitFolder);
    if (error)
        out << error->message();
    return out;
}

QString findKitFolder(const QString &programFolder) {
    for (const char *relative : {"/../lib/quorvin/kit", "/../kit/stage"}) {
        const QString folder = QDir::cleanPath(programFolder + QLatin1String(relative));
        if (QFileInfo(folder + QLatin1String("/VERSION")).isFile())
            return folder;
    }
    return {};
}

bool kitNeedsSetUp(const QString &kitFolder, const QString &root) {
    return !QFileInfo(root + QLatin1String("/asm.bat")).exists() ||
           readAll(kitFolder + QLatin1String("/VERSION")) != readAll(root + QLatin1String(kStamp));
}

KitReport setUpKit(const QString &kitFolder, const QString &root) {
    KitReport report;
    for (const char *folder : {"/TASM/Templates", "/Source", "/Exec"})
        if ((report.error = makeFolders(root + QLatin1String(folder))))
            return report;

    struct Item {
        QString kitFile, target;
        bool program, editable;
    };
    QList<Item> items = {{QStringLiteral("tasm2pasmo"), QStringLiteral("tasm2pasmo"), true, false},
                         {QStringLiteral("pack8xp"), QStringLiteral("pack8xp"), true, false},
                         {QStringLiteral("asm.bat"), QStringLiteral("asm.bat"), true, true}};
    const QStringList templates = QDir(kitFolder + QLatin1String("/Templates"))
                                      .entryList({QStringLiteral("*.txt")}, QDir::Files);
    for (const QString &t : templates)
        items.append(
            {QLatin1String("Templates/") + t, QLatin1String("TASM/Templates/") + t, false, true});

    for (const Item &item : items) {
        const QString from = kitFolder + QLatin1Char('/') + item.kitFile;
        const QString to = root + QLatin1Char('/') + item.target;
        QByteArray fresh;
        if ((report.error = readWholeFile(from, &fresh)))
            return report;
        const bool exists = QFileInfo(to).exists() || QFileInfo(to).isSymLink();
        if (exists) {
            const QByteArray current = readAll(to);
            if (current == fresh)
                continue;
            if (item.editable &&
                !shippedVersions(kitFolder, item.kitFile).contains(hashOf(current))) {
                report.kept << item.target;
                continue;
            }
        }
        if ((report.error = writeWholeFile(to, fresh)))
            return report;
        if (item.program)
            QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::ExeOther);
        (exists ? report.updated : report.installed) << item.target;
    }

    // The settings: no link program yet; the emulator when Debian's is there.
    const QString settings = root + QLatin1String("/TASM/config.ini");
    if (!QFileInfo(settings).exists() && !QFileInfo(settings).isSymLink()) {
        const QByteArray emulator =
            findProgram(QStringLiteral("tilem2"), {}).isEmpty() ? "" : "tilem2";
        if ((report.error = writeWholeFile(settings, "\r\n" + emulator + "\r\n")))
            return report;
        report.installed << QStringLiteral("TASM/config.ini");
    }
    report.error = writeWholeFile(root + QLatin1String(kStamp),
                                  readAll(kitFolder + QLatin1String("/VERSION")));
    return report;
}
