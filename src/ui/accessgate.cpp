#include "accessgate.h"

#include <Qsci/qsciscintilla.h>

#include <QTimer>

AccessibilityGate::AccessibilityGate(QsciScintilla *editor) : QObject(editor), m_editor(editor) {
    connect(editor, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int, int, int, int, int, int, int) {
                modified(position, type);
            });
    QAccessible::installActivationObserver(this);
    accessibilityActiveChanged(QAccessible::isActive());
}

AccessibilityGate::~AccessibilityGate() {
    QAccessible::removeActivationObserver(this);
}

void AccessibilityGate::accessibilityActiveChanged(bool active) {
    m_gated = !active;
    m_lines = m_editor->lines();
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK,
                            m_gated ? QsciScintillaBase::SC_MOD_BEFOREINSERT |
                                          QsciScintillaBase::SC_MOD_BEFOREDELETE
                                    : QsciScintillaBase::SC_MODEVENTMASKALL);
}

// A change is about to happen: it is announced as soon as it has.
void AccessibilityGate::modified(int, int type) {
    if (!m_gated || m_pending ||
        !(type & (QsciScintillaBase::SC_MOD_BEFOREINSERT | QsciScintillaBase::SC_MOD_BEFOREDELETE)))
        return;
    m_pending = true;
    QTimer::singleShot(0, this, &AccessibilityGate::announce);
}

void AccessibilityGate::announce() {
    m_pending = false;
    emit m_editor->textChanged();
    if (const int lines = m_editor->lines(); lines != m_lines) {
        m_lines = lines;
        emit m_editor->linesChanged();
    }
}
