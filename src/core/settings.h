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

// Reads the first two lines. A line that starts (after spaces and tabs) with a
// double quote gives the text up to the next double quote; any other line is
// taken whole. Missing lines give empty settings.
Settings parseSettings(const QString &text);
QString formatSettings(const Settings &settings);

// A missing file gives two empty settings and no error.
std::optional<FileError> loadSettings(const QString &path, Settings *settings);
std::optional<FileError> storeSettings(const QString &path, const Settings &settings);
