#pragma once
// The settings file: two lines of 8-bit text, the link program path and the
// emulator path, each ended by CR LF.

#include "platform/textfile.h"

#include <QString>

#include <optional>

struct Settings {
    QString linkProgram;
    QString emulator;
};

// Reads the first two lines. A line that is one double-quoted field (a quote
// inside written twice, blanks around it allowed) gives the text between the
// quotes; any other line is taken whole. Missing lines give empty settings.
Settings parseSettings(const QString &text);
// Writes each value as it is, unless it would read back as a quoted field:
// then it is written quoted, so that every value comes back unchanged.
QString formatSettings(const Settings &settings);

// A missing file gives two empty settings and no error.
std::optional<FileError> loadSettings(const QString &path, Settings *settings);
// Creates the settings file's folder when it is missing.
std::optional<FileError> storeSettings(const QString &path, const Settings &settings);
