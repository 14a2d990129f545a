#pragma once
// The program name: the characters between the last '/' of a file name and
// its last dot. A base name with no dot gives the whole base name.

#include <QString>

QString programName(const QString &fileName);
