#pragma once
// Directory listing that keeps each name's bytes as the system gave them, so
// that a name which is not valid UTF-8 can still be opened.

#include <QByteArray>
#include <QList>
#include <QString>

struct DirEntry {
    QByteArray nativePath; // the folder and the name, as bytes
    QString name;          // for showing; may have lost bytes that are not UTF-8
};

// The regular files (links to them included) of a folder whose names do not
// start with a dot. A folder that cannot be read gives an empty list.
QList<DirEntry> listRegularFiles(const QString &folder);
