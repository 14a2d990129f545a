#include "editor.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWidget>

int lineEndMode(const QByteArray &text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return QsciScintillaBase::SC_EOL_LF;
        if (text[i] == '\r')
            return (i + 1 < text.size() && text[i + 1] == '\n') ? QsciScintillaBase::SC_EOL_CRLF
                                                                : QsciScintillaBase::SC_EOL_CR;
    }
    return QsciScintillaBase::SC_EOL_CRLF;
}

void setEditorBytes(QsciScintilla *editor, const QByteArray &utf8) {
    editor->SendScintilla(QsciScintillaBase::SCI_SETUNDOCOLLECTION, 0L);
    editor->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    editor->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT,
                          static_cast<unsigned long>(utf8.size()), utf8.constData());
    editor->SendScintilla(QsciScintillaBase::SCI_SETUNDOCOLLECTION, 1L);
    editor->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(QsciScintillaBase::SCI_SETEOLMODE, lineEndMode(utf8));
    editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0L);
    editor->SendScintilla(QsciScintillaBase::SCI_SETSAVEPOINT);
}

EditorBytes editorBytes(QsciScintilla *editor) {
    const auto size = qsizetype(editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH));
    const auto *data = static_cast<const char *>(
        editor->SendScintillaPtrResult(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    return {data ? data : "", data ? size : 0};
}

void configureEditor(QsciScintilla *editor) {
    editor->setUtf8(true);
    editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor->setTabWidth(8);
    editor->setWrapMode(QsciScintilla::WrapNone);
    editor->setMarginWidth(1, 0);
    editor->SendScintilla(QsciScintillaBase::SCI_SETEOLMODE, QsciScintillaBase::SC_EOL_CRLF);
    editor->SendScintilla(QsciScintillaBase::SCI_SETHSCROLLBAR, 1L);
    editor->SendScintilla(QsciScintillaBase::SCI_SETVSCROLLBAR, 1L);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

bool MenuShortcutsFirst::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    // A key typed with Shift (Ctrl++ is Ctrl+Shift+= on many keyboards) also
    // matches the shortcut written without it.
    const QKeySequence unshifted(
        QKeyCombination(key->modifiers() & ~Qt::ShiftModifier, Qt::Key(key->key())));
    const auto actions = widget->window()->findChildren<QAction *>();
    for (const QAction *action : actions) {
        const QList<QKeySequence> keys = action->shortcuts();
        if (action->isEnabled() && (keys.contains(pressed) || keys.contains(unshifted))) {
            // Left unaccepted, the key goes on to the shortcut instead of the control.
            event->ignore();
            return true;
        }
    }
    return false;
}
