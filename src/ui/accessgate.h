#pragma once
// The editor control tells assistive technologies of every change, and to do
// so it counts the characters from the start of the text on each key: in a
// large file that is most of a key's cost. While no assistive technology is
// active, the control is told of changes only before they happen, and the
// gate announces them itself once done (textChanged, linesChanged); the
// moment one becomes active, every change reaches it again as before.

#include <QAccessible>
#include <QObject>

class QsciScintilla;

class AccessibilityGate : public QObject, public QAccessible::ActivationObserver {
    Q_OBJECT
public:
    explicit AccessibilityGate(QsciScintilla *editor);
    ~AccessibilityGate() override;
    void accessibilityActiveChanged(bool active) override;
    bool gated() const { return m_gated; }

private:
    void modified(int position, int type);
    void announce();

    QsciScintilla *m_editor;
    bool m_gated = false;
    bool m_pending = false;
    int m_lines = 1;
};
