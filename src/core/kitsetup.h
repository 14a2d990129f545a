#pragma once
// Puts the toolchain kit into the folder tree. The kit's own programs are
// replaced whenever they differ from the kit's; a file the user may edit
// (asm.bat, a template) is replaced only while it is still one the kit
// shipped, never once the user has changed it; a template the user deleted
// stays deleted (the tree records which templates the kit has put there); the
// settings file is only ever created. The run command and the installed
// editor's first start share it.

#include "platform/textfile.h"

#include <QString>
#include <QStringList>

#include <optional>

struct KitReport {
    QStringList installed, updated, kept, deleted; // paths below the root
    std::optional<FileError> error;                // the step that failed, if one did
    // One line for each file: what happened to it, and why a file was kept.
    QStringList lines(const QString &kitFolder, const QString &root) const;
    // What the window tells at its start: the files kept and the failure, if
    // any; empty when there is nothing to tell.
    QString notice(const QString &kitFolder, const QString &root) const;
};

// The kit beside the program: installed (PREFIX/lib/quorvin/kit next to
// PREFIX/bin) or in the build tree (kit/stage); empty when there is none.
QString findKitFolder(const QString &programFolder);

// Whether the tree was set up from another kit than this one, or not at all.
bool kitNeedsSetUp(const QString &kitFolder, const QString &root);

KitReport setUpKit(const QString &kitFolder, const QString &root);
