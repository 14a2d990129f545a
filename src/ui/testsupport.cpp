#include "ui/testsupport.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

bool PngPictureFiles::read(const std::string &path, check::Picture *out, std::string *error) {
    QImageReader reader(QString::fromStdString(path));
    // A picture is 96x64; a huge image is refused before it is decoded.
    if (reader.size().isValid() &&
        reader.size() != QSize(check::kPictureWidth, check::kPictureHeight)) {
        *error = QStringLiteral("it is %1x%2 pixels, and the screen is 96x64")
                     .arg(reader.size().width())
                     .arg(reader.size().height())
                     .toStdString();
        return false;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        *error = reader.errorString().toStdString();
        return false;
    }
    if (image.size() != QSize(check::kPictureWidth, check::kPictureHeight)) {
        *error = "it is not 96x64 pixels";
        return false;
    }
    for (int y = 0; y < check::kPictureHeight; ++y)
        for (int x = 0; x < check::kPictureWidth; ++x)
            out->dark[std::size_t(y * check::kPictureWidth + x)] = qGray(image.pixel(x, y)) < 128;
    return true;
}

bool PngPictureFiles::write(const std::string &path, const check::Picture &picture,
                            std::string *error) {
    QImage image(check::kPictureWidth, check::kPictureHeight, QImage::Format_RGB32);
    for (int y = 0; y < check::kPictureHeight; ++y)
        for (int x = 0; x < check::kPictureWidth; ++x)
            image.setPixel(x, y, picture.at(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    if (image.save(QString::fromStdString(path), "PNG"))
        return true;
    *error = "the file cannot be written";
    return false;
}

bool PngPictureFiles::exists(const std::string &path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

z80::Options testAssemblerOptions(const QString &root) {
    z80::Options o;
    o.defines.emplace_back("TI83P", "");
    o.includeFolders.push_back((root + QStringLiteral("/TASM")).toStdString());
    return o;
}
