#include "accessgate.h"

#include <Qsci/qsciscintilla.h>

#include <QAccessibleWidget>
#include <QTimer>

namespace {

// While no assistive technology is active, an editor control is described by
// a plain widget interface: the control's own one counts the characters from
// the start of the text at every caret move once anything has asked for it
// (focus changes do).
bool &listening() {
    static bool active = false; // as the activation observers were last told
    return active;
}

QAccessibleInterface *plainWhileInactive(const QString &, QObject *object) {
    auto *editor = qobject_cast<QsciScintillaBase *>(object);
    if (!editor || listening())
        return nullptr;
    return new QAccessibleWidget(editor, QAccessible::EditableText);
}

// Drops the interface made for `editor` so far; the next one asked for comes
// from the factory that fits the moment.
void forgetInterface(QWidget *editor) {
    if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(editor))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace

AccessibilityGate::AccessibilityGate(QsciScintilla *editor) : QObject(editor), m_editor(editor) {
    connect(editor, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int, int, int, int, int, int, int) {
                modified(position, type);
            });
    static const bool installed = (QAccessible::installFactory(plainWhileInactive), true);
    Q_UNUSED(installed);
    QAccessible::installActivationObserver(this);
    accessibilityActiveChanged(QAccessible::isActive());
}

AccessibilityGate::~AccessibilityGate() {
    QAccessible::removeActivationObserver(this);
}

void AccessibilityGate::accessibilityActiveChanged(bool active) {
    m_gated = !active;
    listening() = active;
    forgetInterface(m_editor);
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
