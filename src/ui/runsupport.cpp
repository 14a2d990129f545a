#include "ui/runsupport.h"

#include "core/locations.h"

#include <QFile>
#include <QFileInfo>

namespace {

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

LoadedRun loadRun(const QString &path) {
    const QByteArray bytes = readAll(path);
    run::Program program = run::readProgram(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (bytes.isEmpty())
        program.error = QStringLiteral("cannot read %1").arg(path).toStdString();
    // Names of OS calls as the program's include spells them, where one is near.
    run::RomNames names;
    const QString folder = QFileInfo(path).absolutePath();
    for (const QString &inc :
         {Locations::defaultRoot() + QStringLiteral("/TASM/ti83plus.inc"),
          folder + QStringLiteral("/../ti83plus.inc"), folder + QStringLiteral("/ti83plus.inc")})
        if (QFileInfo(inc).isFile())
            names.addFromInclude(readAll(inc).toStdString());
    LoadedRun loaded;
    loaded.name = program.name.empty() ? QFileInfo(path).completeBaseName()
                                       : QString::fromStdString(program.name);
    loaded.codeSize = program.code.size();
    loaded.session = std::make_unique<run::Session>(program, std::move(names));
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
