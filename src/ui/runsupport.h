#pragma once
// What the run window and the command line share: reading a program file for
// the runner, with the OS call names of the include files found near it, and
// the display as an image.

#include "run/session.h"

#include <QImage>
#include <QString>

#include <memory>

struct LoadedRun {
    std::unique_ptr<run::Session> session;
    QString name; // the program's name on the calculator, or the file's
    std::size_t codeSize = 0;
};

LoadedRun loadRun(const QString &path);
QImage lcdImage(const run::Lcd &lcd);
QString stopText(const run::Stop &stop);
