#pragma once
// What the run window and the command line share: reading a program file for
// the runner, with the OS call names of the include files found near it, and
// the display as an image.

#include "run/session.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>

struct LoadedRun {
    std::unique_ptr<run::Session> session;
    QString name; // the program's name on the calculator, or the file's
    QString shell;              // the shell the program is written for, or empty
    QString description;        // what the shell's header says the program is
    QImage icon;                // the shell header's icon, black on white; null for none
    bool checksumWrong = false; // run although the file's checksum is wrong
    std::size_t codeSize = 0;   // the program's bytes, from 9D95h on
    std::vector<std::uint8_t> application; // an application's pages end to end, else empty
    QString problem; // a variable file that could not be sent, or empty
};

// How a run is set up: how the program file is read, the calculator, and the
// variable files (.8xp, .8xv, .8xl, .8xs, .8xn...) put in its memory first.
struct RunSetup {
    run::ReadOptions read;
    run::Model model = run::Model::Ti83Plus;
    QStringList send;
};

LoadedRun loadRun(const QString &path);
LoadedRun loadRun(const QString &path, const run::ReadOptions &options);
LoadedRun loadRun(const QString &path, const RunSetup &setup);
QImage lcdImage(const run::Lcd &lcd);
QString stopText(const run::Stop &stop);
// The stop's text, and what the machine noticed about the hardware the
// program looked for (a TI-84 Plus port on a TI-83 Plus) when it did not return.
QString stopText(const run::Stop &stop, const run::Machine &machine);
// The words for a run still going at its bound of `cycles`.
QString stillRunningText(std::uint64_t cycles, const run::Machine &machine);
