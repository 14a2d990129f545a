#pragma once
// The debug pane's watch expressions, kept across sessions in one file, an
// expression a line, that every editor running at once shares. An editor
// that changed its list writes what it added and removed since it last read
// or wrote the file into the list as it is on disk just then: one editor's
// new watch does not take away another's, and a watch removed stays removed.

#include <QStringList>

// The expressions a file's text holds, at most `most`.
QStringList keptWatches(const QByteArray &text, int most);

// The list to keep when the file holds `onDisk` and an editor changed its
// list from `before` to `now`: `now` in its order, without what another
// editor removed, with what another added beside its neighbours.
QStringList mergedWatches(const QStringList &onDisk, const QStringList &before,
                          const QStringList &now);
