#pragma once
// The byte-exact bridge between the editor control and 8-bit text: text goes
// in and out as UTF-8 bytes with explicit lengths, so NUL bytes survive, and
// the editor types new line ends in the style the document already has.

#include <QByteArray>
#include <QObject>

class QsciScintilla;

// Replaces the whole text, clears undo, puts the caret at the start and marks
// the text unmodified.
void setEditorBytes(QsciScintilla *editor, const QByteArray &utf8);

// The line-end mode (SC_EOL_*) new lines get in a text: the style of its
// first line end, CR LF when it has none.
int lineEndMode(const QByteArray &utf8);

// The editor's text in place: valid until the next change.
struct EditorBytes {
    const char *data;
    qsizetype size;
};
EditorBytes editorBytes(QsciScintilla *editor);

// Sets up the editor control: UTF-8, no lexer, fixed-width font, tab width 8,
// both scroll bars always shown, no wrapping.
void configureEditor(QsciScintilla *editor);

// Lets the window's menu shortcuts win over the keys a text control takes for
// itself (Ctrl+A among them), while the control has the focus.
class MenuShortcutsFirst : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
