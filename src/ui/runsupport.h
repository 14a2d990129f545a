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
    QString shell;              // the shell the program is written for, or empty
    QString description;        // what the shell's header says the program is
    bool checksumWrong = false; // run although the file's checksum is wrong
    std::size_t codeSize = 0;   // the program's bytes, from 9D95h on
};

LoadedRun loadRun(const QString &path);
LoadedRun loadRun(const QString &path, const run::ReadOptions &options);
QImage lcdImage(const run::Lcd &lcd);
QString stopText(const run::Stop &stop);
