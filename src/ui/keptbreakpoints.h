#pragma once
// The breakpoints kept across sessions in one file that every editor running
// at once shares. The file holds a line "LINE<tab>PATH" for each breakpoint,
// followed by lines that start with a tab for what is set on it:
// "<tab>disabled", "<tab>condition<tab>TEXT", "<tab>hits<tab>N",
// "<tab>log<tab>TEXT". An editor writes only the entries of the files whose
// breakpoints it changed, into the file as it is on disk just then, so that
// what another editor kept for other files stays.

#include "ui/breakpoints.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

struct KeptBreakpoints {
    QHash<QString, QList<int>> lines;
    QHash<QString, QHash<int, BreakpointSettings>> settings;
};

// A file's entries in the file's format, one a breakpoint, by whole path.
using KeptEntries = QHash<QString, QList<QByteArray>>;

// The entries of a file's text; `order` gets the paths in the order met.
KeptEntries keptEntries(const QByteArray &text, QStringList *order = nullptr);
// The breakpoints the entries hold.
KeptBreakpoints keptBreakpoints(const KeptEntries &entries);
// The entries of what `breakpoints` holds now, of `path` only when not empty.
KeptEntries keptEntries(const Breakpoints &breakpoints, const QString &path = {});

// The file's text when it holds `onDisk` and an editor changed the entries
// of `changed` to those in `mine` (none: that file's breakpoints went). The
// other files' entries stay as and where they are; at most `mostEntries`
// entries and `mostBytes` bytes are written, the changed files' first.
QByteArray mergedKept(const QByteArray &onDisk, const KeptEntries &mine,
                      const QSet<QString> &changed, int mostEntries, qint64 mostBytes);
