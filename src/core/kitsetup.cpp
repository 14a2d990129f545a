#include "kitsetup.h"

#include "core/locations.h"
#include "core/settings.h"
#include "platform/process.h"
#include "platform/textlines.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMultiHash>
#include <QSet>

namespace {

QString hashOf(const QByteArray &bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray readAll(const QString &path) {
    QByteArray bytes;
    return readWholeFile(path, &bytes) ? QByteArray() : bytes;
}

// The hashes of every version the kit ever shipped of each file it lists.
QMultiHash<QString, QString> shippedVersions(const QString &kitFolder) {
    QMultiHash<QString, QString> hashes;
    const QByteArray bytes = readAll(kitFolder + QLatin1String("/shipped.txt"));
    for (const QByteArray &line : splitLines(bytes)) {
        const qsizetype gap = line.indexOf("  ");
        if (gap > 0)
            hashes.insert(QString::fromUtf8(line.mid(gap + 2)),
                          QString::fromLatin1(line.left(gap)));
    }
    return hashes;
}

// Which kit the tree was last set up from.
QString kitStamp(const QString &root) {
    return root + QLatin1String("/TASM/.kit-version");
}

// Which templates the kit has put into the tree, one path below the root a
// line: one of them missing now was deleted by the user.
QString kitRecord(const QString &root) {
    return root + QLatin1String("/TASM/.kit-files");
}

QSet<QString> recordedFiles(const QString &root, const QMultiHash<QString, QString> &shipped) {
    QByteArray record;
    if (readWholeFile(kitRecord(root), &record)) {
        // A tree set up before the record was kept: it had what the kit shipped.
        if (!QFileInfo::exists(kitStamp(root)))
            return {};
        QSet<QString> files;
        for (const QString &kitFile : shipped.uniqueKeys())
            if (kitFile.startsWith(QLatin1String("Templates/")))
                files << QLatin1String("TASM/") + kitFile;
        return files;
    }
    QSet<QString> files;
    for (const QByteArray &line : splitLines(record))
        if (!line.isEmpty())
            files << QString::fromUtf8(line);
    return files;
}

} // namespace

QStringList KitReport::lines(const QString &kitFolder, const QString &root) const {
    QStringList out;
    if (installed.isEmpty() && updated.isEmpty() && kept.isEmpty() && deleted.isEmpty() && !error)
        out << QCoreApplication::translate("Kit", "%1 has this kit already").arg(root);
    for (const QString &f : installed)
        out << QCoreApplication::translate("Kit", "installed %1").arg(f);
    for (const QString &f : updated)
        out << QCoreApplication::translate("Kit", "updated %1").arg(f);
    for (const QString &f : kept) {
        out << QCoreApplication::translate("Kit", "kept %1: you have changed it (the kit's own "
                                                  "version is in %2)")
                   .arg(f, kitFolder);
        if (f == QLatin1String(kBuildScriptName))
            out << QCoreApplication::translate(
                       "Kit", "The kit's new asm.bat builds with its own assembler, qvasm: every "
                              "error of a build at once, values in 32 bits, the program's size in "
                              "the log, and a listing and a label file beside each program in "
                              "%1/Exec. Yours still builds with tasm2pasmo and pasmo, which stay "
                              "in %1 (keep pasmo installed); to change over, copy %2/asm.bat over "
                              "yours and make your changes again.")
                       .arg(root, kitFolder);
    }
    for (const QString &f : deleted)
        out << QCoreApplication::translate("Kit", "left out %1: you deleted it").arg(f);
    if (error)
        out << error->message();
    return out;
}

QString KitReport::notice(const QString &kitFolder, const QString &root) const {
    KitReport told;
    told.kept = kept;
    told.error = error;
    return kept.isEmpty() && !error ? QString()
                                    : told.lines(kitFolder, root).join(QLatin1Char('\n'));
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
    return !QFileInfo(root + QLatin1Char('/') + QLatin1String(kBuildScriptName)).exists() ||
           readAll(kitFolder + QLatin1String("/VERSION")) != readAll(kitStamp(root));
}

KitReport setUpKit(const QString &kitFolder, const QString &root) {
    KitReport report;
    const Locations places(root);
    for (const QString &folder :
         {places.templateFolder(), places.sourceFolder(), places.builtProgramFolder()})
        if ((report.error = makeFolders(folder)))
            return report;

    struct Item {
        QString kitFile, target;
        bool program, editable;
    };
    QList<Item> items = {
        {QStringLiteral("qvasm"), QStringLiteral("qvasm"), true, false},
        {QStringLiteral("pack8xp"), QStringLiteral("pack8xp"), true, false},
        {QLatin1String(kBuildScriptName), QLatin1String(kBuildScriptName), true, true}};
    const QStringList templates =
        QDir(kitFolder + QLatin1String("/Templates"))
            .entryList({QStringLiteral("*.txt"), QStringLiteral("*.tests")}, QDir::Files);
    for (const QString &t : templates)
        items.append(
            {QLatin1String("Templates/") + t, QLatin1String("TASM/Templates/") + t, false, true});

    const QMultiHash<QString, QString> shipped = shippedVersions(kitFolder);
    QSet<QString> record = recordedFiles(root, shipped);
    for (const Item &item : items) {
        const QString from = kitFolder + QLatin1Char('/') + item.kitFile;
        const QString to = root + QLatin1Char('/') + item.target;
        QByteArray fresh;
        if ((report.error = readWholeFile(from, &fresh)))
            return report;
        const bool exists = QFileInfo(to).exists() || QFileInfo(to).isSymLink();
        // A template, unlike the build script the editor needs, stays deleted.
        const bool isTemplate = item.editable && !item.program;
        if (isTemplate && !exists && record.contains(item.target)) {
            report.deleted << item.target;
            continue;
        }
        if (isTemplate)
            record << item.target;
        if (exists) {
            const QByteArray current = readAll(to);
            if (current == fresh)
                continue;
            if (item.editable && !shipped.contains(item.kitFile, hashOf(current))) {
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
    const QString settings = places.settingsFile();
    if (!QFileInfo(settings).exists() && !QFileInfo(settings).isSymLink()) {
        // The emulator gets the document's built program.
        const QString emulator = QStringLiteral("tilem2");
        const QString command = emulator + QLatin1String(" %f");
        if ((report.error = storeSettings(
                 settings, {QString(), findProgram(emulator, {}).isEmpty() ? QString() : command})))
            return report;
        report.installed << QDir(root).relativeFilePath(settings);
    }
    QStringList files = record.values();
    files.sort();
    if ((report.error =
             writeWholeFile(kitRecord(root), files.join(QLatin1Char('\n')).toUtf8() + '\n')))
        return report;
    report.error = writeWholeFile(kitStamp(root), readAll(kitFolder + QLatin1String("/VERSION")));
    return report;
}
