#pragma once
// Where the build script is found, how the tools are started, and how a
// build's result is judged.

#include "platform/textfile.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// A program and its arguments, started without a shell.
struct Command {
    QString program;
    QStringList arguments;
};

// asm.bat from the editor's own folder, then the root of the folder tree,
// then PATH; empty when none of them has an executable one.
QString findBuildScript(const QString &programFolder, const QString &root);
// Why none was found: the first asm.bat in those places that is there but
// may not be run, or else that there is none.
FileError missingBuildScript(const QString &programFolder, const QString &root);

// The build command: the script with the program name as its single argument.
Command buildCommand(const QString &script, const QString &programName);

// The environment entry that tells the build script which file to build.
QString buildSourceEntry(const QString &sourceFile);

// The link command: the link program with the built program's path.
Command linkCommand(const QString &linkProgram, const QString &builtProgram);

// The words of a command line by the shell's rules for blanks, single quotes,
// double quotes and backslashes, with nothing expanded. Nothing, and `*error`
// set, when a quote is never closed.
std::optional<QStringList> splitShellWords(const QString &text, QString *error);

// Whether the emulator text asks for the built program ("%f").
bool wantsBuiltProgram(const QString &emulatorText);

// The emulator command: the whole text when it names an existing file, else
// the text split into words, in which "%f" stands for `builtProgram` and "%%"
// for a single "%". Nothing, and `*error` set, when it cannot be split.
std::optional<Command> emulatorCommand(const QString &text, const QString &builtProgram,
                                       QString *error);

// The time a build starts, at the clock the file system stamps files with.
QDateTime buildStartTime();

// A build left a built program modified at or after its start.
bool isFreshBuild(const QString &builtProgram, const QDateTime &buildStart);

// The log and the list of files read that one build writes for the editor
// that started it (the build script learns them from QUORVIN_LOG and
// QUORVIN_FILES_READ), so that no editor reads another build's.
struct BuildOutputs {
    QString log;
    QString filesRead;
    QStringList environment() const;
};
// New names in `folder`, never given before; files there more than a day
// old, left by builds whose results were never shown, are removed.
BuildOutputs newBuildOutputs(const QString &folder);
