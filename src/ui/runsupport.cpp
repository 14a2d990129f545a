#include "ui/runsupport.h"

#include "core/locations.h"
#include "platform/textfile.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace {

QByteArray readAll(const QString &path) {
    QByteArray bytes;
    return readWholeFile(path, &bytes) ? QByteArray() : bytes;
}

// A program file as read for running, through the one file reader: only a
// regular file (a FIFO or a device would block or never end), and no more
// than `most` bytes (what a program or application file can be), plus one
// byte to tell a larger one.
QByteArray readProgramFile(const QString &path, QString *why,
                           std::size_t most = run::kMaxProgramFileBytes) {
    QByteArray bytes;
    qint64 size = 0;
    if (const auto error = readFileStart(path, qint64(most) + 1, &bytes, &size)) {
        *why = error->number == ENOENT ? QStringLiteral("%1 does not exist").arg(path)
               : error->number == EISDIR || error->number == EINVAL
                   ? QStringLiteral("%1 is not a regular file").arg(path)
                   : QStringLiteral("cannot read %1: %2").arg(path, error->description);
        return {};
    }
    if (bytes.isEmpty())
        *why = QStringLiteral("%1 is empty").arg(path);
    return bytes;
}

} // namespace

LoadedRun loadRun(const QString &path) {
    return loadRun(path, run::ReadOptions{});
}

LoadedRun loadRun(const QString &path, const run::ReadOptions &options) {
    RunSetup setup;
    setup.read = options;
    return loadRun(path, setup);
}

LoadedRun loadRun(const QString &path, const RunSetup &setup) {
    const run::ReadOptions &options = setup.read;
    QString why;
    const QByteArray bytes = readProgramFile(
        path, &why, std::max(run::kMaxProgramFileBytes, run::kMaxApplicationFileBytes));
    run::Program program =
        run::readProgram(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), options);
    if (!why.isEmpty())
        program.error = why.toStdString();
    // Names of OS calls as the program's include spells them, where one is near.
    run::RomNames names;
    const QString folder = QFileInfo(path).absolutePath();
    for (const QString &inc :
         {Locations::defaultRoot() + QStringLiteral("/TASM/ti83plus.inc"),
          folder + QStringLiteral("/../ti83plus.inc"), folder + QStringLiteral("/ti83plus.inc")})
        if (QFileInfo(inc).isFile())
            names.addFromInclude(readAll(inc).toStdString());
    LoadedRun loaded;
    loaded.checksumWrong = program.checksumWrong;
    loaded.shell = QString::fromStdString(program.shell);
    loaded.description = QString::fromStdString(program.description);
    if (!program.icon.empty()) {
        loaded.icon = QImage(program.iconWidth, int(program.icon.size()), QImage::Format_RGB32);
        for (int y = 0; y < loaded.icon.height(); ++y)
            for (int x = 0; x < loaded.icon.width(); ++x)
                loaded.icon.setPixel(x, y,
                                     program.icon[std::size_t(y)] & (0x8000 >> x) ? qRgb(0, 0, 0)
                                                                                  : qRgb(255, 255, 255));
    }
    loaded.name = program.name.empty() ? QFileInfo(path).completeBaseName()
                                       : QString::fromStdString(program.name);
    loaded.codeSize = program.code.size();
    loaded.session = std::make_unique<run::Session>(program, std::move(names), setup.model);
    for (const QString &file : setup.send) {
        QString unreadable;
        const QByteArray sent = readProgramFile(file, &unreadable);
        if (!unreadable.isEmpty()) {
            loaded.problem = unreadable;
            break;
        }
        const std::string error = loaded.session->send(
            run::readVariables(std::vector<std::uint8_t>(sent.begin(), sent.end())));
        if (!error.empty()) {
            loaded.problem = QStringLiteral("%1: %2").arg(file, QString::fromStdString(error));
            break;
        }
    }
    return loaded;
}

QImage lcdImage(const run::Lcd &lcd) {
    QImage image(run::Lcd::kWidth, run::Lcd::kHeight, QImage::Format_RGB32);
    for (int y = 0; y < run::Lcd::kHeight; ++y)
        for (int x = 0; x < run::Lcd::kWidth; ++x)
            image.setPixel(x, y, lcd.pixel(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

QString stopText(const run::Stop &stop) {
    return stop.returned ? QStringLiteral("The program returned.")
                         : QString::fromStdString(stop.reason);
}

namespace {

QString withNote(QString text, const run::Machine &machine) {
    if (!machine.hardwareNote().empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(machine.hardwareNote()));
    return text;
}

} // namespace

QString stopText(const run::Stop &stop, const run::Machine &machine) {
    return stop.returned ? stopText(stop) : withNote(stopText(stop), machine);
}

QString stillRunningText(std::uint64_t cycles, const run::Machine &machine) {
    return withNote(QStringLiteral("the program was still running after %1 cycles (%2 seconds "
                                   "of calculator time)")
                        .arg(cycles)
                        .arg(double(cycles) * double(machine.time6()) /
                             double(std::max<std::uint64_t>(machine.cycles(), 1)) /
                             run::Machine::kClockHz),
                    machine);
}
