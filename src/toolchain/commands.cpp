#include "commands.h"

#include "core/locations.h"
#include "platform/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <time.h>
#include <unistd.h>

QString findBuildScript(const QString &programFolder, const QString &root) {
    return findProgram(QLatin1String(kBuildScriptName), {programFolder, root});
}

FileError missingBuildScript(const QString &programFolder, const QString &root) {
    QStringList folders = {programFolder, root};
    folders += qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &folder : folders) {
        const QString script = folder + QLatin1Char('/') + QLatin1String(kBuildScriptName);
        if (!folder.isEmpty() && QFileInfo(script).isFile())
            return FileError{
                EACCES,
                QCoreApplication::translate("Build", "The build script is not executable: give it "
                                                     "permission to run (chmod +x)"),
                script,
                {}};
    }
    return FileError::fromErrno(ENOENT, QLatin1String(kBuildScriptName));
}

Command buildCommand(const QString &script, const QString &programName) {
    return {script, {programName}};
}

QString buildSourceEntry(const QString &sourceFile) {
    return QStringLiteral("QUORVIN_SOURCE=") + sourceFile;
}

Command linkCommand(const QString &linkProgram, const QString &builtProgram) {
    return {linkProgram, {builtProgram}};
}

std::optional<QStringList> splitShellWords(const QString &text, QString *error) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\\')) {
            if (i + 1 == text.size())
                word += c;
            else if (text[++i] != QLatin1Char('\n')) // an escaped line end joins lines
                word += text[i];
            continue;
        }
        if (c != QLatin1Char('\'') && c != QLatin1Char('"')) {
            word += c;
            continue;
        }
        qsizetype k = i + 1;
        for (; k < text.size() && text[k] != c; ++k) {
            // Inside double quotes a backslash keeps its meaning before these only.
            if (c == QLatin1Char('"') && text[k] == QLatin1Char('\\') && k + 1 < text.size() &&
                QStringLiteral("$`\"\\\n").contains(text[k + 1])) {
                if (text[++k] != QLatin1Char('\n'))
                    word += text[k];
                continue;
            }
            word += text[k];
        }
        if (k == text.size()) {
            *error =
                QCoreApplication::translate("Commands", "The command line has a %1 that is never "
                                                        "closed:\n\n%2")
                    .arg(c == QLatin1Char('"')
                             ? QCoreApplication::translate("Commands", "double quote (\")")
                             : QCoreApplication::translate("Commands", "single quote (')"),
                         text);
            return std::nullopt;
        }
        i = k;
    }
    if (inWord)
        words << word;
    return words;
}

namespace {

// "%f" becomes the built program, "%%" one "%"; any other "%" stays. `*used`
// tells whether there was a "%f".
QString substituted(const QString &word, const QString &builtProgram, bool *used) {
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] == QLatin1Char('%') && i + 1 < word.size() &&
            (word[i + 1] == QLatin1Char('f') || word[i + 1] == QLatin1Char('%'))) {
            const bool file = word[++i] == QLatin1Char('f');
            out += file ? builtProgram : QStringLiteral("%");
            *used = *used || file;
            continue;
        }
        out += word[i];
    }
    return out;
}

} // namespace

bool wantsBuiltProgram(const QString &emulatorText) {
    if (QFileInfo(emulatorText).isFile())
        return false;
    QString error;
    const auto words = splitShellWords(emulatorText, &error);
    bool used = false;
    for (const QString &w : words.value_or(QStringList()))
        substituted(w, QString(), &used);
    return used;
}

std::optional<Command> emulatorCommand(const QString &text, const QString &builtProgram,
                                       QString *error) {
    if (QFileInfo(text).isFile())
        return Command{text, {}};
    const auto words = splitShellWords(text, error);
    if (!words)
        return std::nullopt;
    if (words->isEmpty())
        return Command{text, {}}; // blanks: starting it fails and is reported
    QStringList arguments;
    bool used = false;
    for (const QString &w : *words)
        arguments << substituted(w, builtProgram, &used);
    const QString program = arguments.takeFirst();
    return Command{program, arguments};
}

QDateTime buildStartTime() {
    // Files are stamped from the coarse clock, which may lag the fine one by a
    // tick; taking the start from the same clock keeps a quick build fresh.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000, Qt::UTC);
}

bool isFreshBuild(const QString &builtProgram, const QDateTime &buildStart) {
    const QFileInfo info(builtProgram);
    return info.isFile() && info.lastModified() >= buildStart;
}

QStringList BuildOutputs::environment() const {
    return {QStringLiteral("QUORVIN_LOG=") + log,
            QStringLiteral("QUORVIN_FILES_READ=") + filesRead};
}

BuildOutputs newBuildOutputs(const QString &folder) {
    static quint64 counter = 0;
    makeFolders(folder);
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &old : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        if (old.lastModified() < dayAgo && old.ownerId() == ::geteuid())
            QFile::remove(old.absoluteFilePath());
    const QString stem = QStringLiteral("%1/%2-%3-%4")
                             .arg(folder)
                             .arg(::getpid())
                             .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36)
                             .arg(++counter);
    return {stem + QLatin1String(".log"), stem + QLatin1String(".files")};
}
