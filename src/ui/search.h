#pragma once
// Finding and replacing text in the editor.

#include <QString>

class QsciScintilla;

struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
    bool wrap = true;
};

// Selects the next match after the selection, or the one before it when not
// `forward`; false when there is none.
bool findNext(QsciScintilla *editor, const QString &text, const SearchOptions &options,
              bool forward);
// Replaces the selection when it is a match, then selects the next one.
bool replaceNext(QsciScintilla *editor, const QString &text, const QString &replacement,
                 const SearchOptions &options);
// Replaces every match as one step of undo; a match that already reads as
// its replacement is left alone.
struct ReplaceCount {
    int matches = 0;
    int changed = 0;
};
ReplaceCount replaceAll(QsciScintilla *editor, const QString &text, const QString &replacement,
                        const SearchOptions &options);
