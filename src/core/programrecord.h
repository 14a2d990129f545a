#pragma once
// Which program each file belongs to. A build that read its source leaves the
// list of files it read (line 1 the program, then each include and binary);
// the record keeps, for every file a program read, the program built last,
// in a file of its own ("FILE<TAB>PROGRAM" lines, newest last) so that it
// survives restarts. Make on an include then builds its program.

#include "platform/textfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class ProgramRecord {
public:
    explicit ProgramRecord(const QString &recordFile) : m_file(recordFile) {}

    // Takes a build's list of files into the record when it tells of the build
    // of `program` that started at `started` (an older list, or one of another
    // program, is left alone). True when it was taken.
    bool takeBuildList(const QString &listFile, const QString &program, const QDateTime &started);
    // Records that `program` read `files`; each file now belongs to it alone,
    // and the program itself to no other.
    std::optional<FileError> add(const QString &program, const QStringList &files);
    // The program itself and the files it was the last to read.
    QStringList filesOf(const QString &program) const;
    // The program that last read `file`, or empty.
    QString programOf(const QString &file) const;

    // The program to build for a document: the one its first line names
    // ("; main: game.z80", from the document's folder), else the one that last
    // read it, else the document itself.
    // (A tests file NAME.tests belongs to NAME.z80 or NAME.asm beside it.)
    QString programFor(const QString &document, const QByteArray &firstLine) const;

private:
    QList<std::pair<QString, QString>> entries() const;

    QString m_file;
};

// The program a first line names ("; main: NAME"), or empty.
QString mainCommentTarget(const QByteArray &firstLine);

// A path with its links resolved when it exists, for comparing files.
QString samePathKey(const QString &path);
