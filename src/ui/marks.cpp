#include "marks.h"

#include <Qsci/qsciscintilla.h>

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>

MarkSet::MarkSet(QsciScintilla *editor, int margin)
    : QObject(editor), m_editor(editor), m_viewport(editor->viewport()) {
    editor->setMarginType(margin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(margin, 14);
    editor->setMarginMarkerMask(margin, (1 << ErrorMarker) | (1 << WarningMarker) |
                                            (1 << PassedMarker) | (1 << FailedMarker));
    editor->markerDefine(QsciScintilla::Circle, ErrorMarker);
    editor->setMarkerBackgroundColor(QColor(0xd0, 0x20, 0x20), ErrorMarker);
    editor->setMarkerForegroundColor(QColor(0x80, 0x00, 0x00), ErrorMarker);
    editor->markerDefine(QsciScintilla::RightTriangle, WarningMarker);
    editor->setMarkerBackgroundColor(QColor(0xe0, 0xa0, 0x00), WarningMarker);
    editor->markerDefine(QsciScintilla::SmallRectangle, PassedMarker);
    editor->setMarkerBackgroundColor(QColor(0x20, 0xa0, 0x40), PassedMarker);
    editor->markerDefine(QsciScintilla::Rectangle, FailedMarker);
    editor->setMarkerBackgroundColor(QColor(0xd0, 0x20, 0x20), FailedMarker);
    editor->viewport()->installEventFilter(this);
    connect(editor, &QsciScintilla::textChanged, this, &MarkSet::dropEdited);
}

QString MarkSet::lineText(int line) const {
    QString text = m_editor->text(line);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

void MarkSet::dropEdited() {
    for (qsizetype i = m_marks.size(); i-- > 0;) {
        if (m_marks[i].source != Source::Build)
            continue;
        const long line = long(m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE,
                                                       (unsigned long)m_marks[i].handle));
        if (line >= 0 && lineText(int(line)) == m_marks[i].text)
            continue;
        m_editor->markerDeleteHandle(m_marks[i].handle);
        m_marks.removeAt(i);
    }
}

void MarkSet::set(Source source, const QList<Mark> &marks) {
    for (qsizetype i = m_marks.size(); i-- > 0;)
        if (m_marks[i].source == source) {
            m_editor->markerDeleteHandle(m_marks[i].handle);
            m_marks.removeAt(i);
        }
    for (const Mark &m : marks) {
        if (m.line < 1 || m.line > m_editor->lines())
            continue;
        const int handle = m_editor->markerAdd(m.line - 1, m.kind == Kind::Error     ? ErrorMarker
                                                           : m.kind == Kind::Warning ? WarningMarker
                                                           : m.kind == Kind::Passed  ? PassedMarker
                                                                                    : FailedMarker);
        if (handle >= 0)
            m_marks << Placed{handle, source, m.message,
                              source == Source::Build ? lineText(m.line - 1) : QString()};
    }
}

QStringList MarkSet::messages(int line) const {
    QStringList out;
    for (const Source source : {Source::Tests, Source::Build, Source::Analysis})
        for (const Placed &p : m_marks)
            if (p.source == source &&
                long(m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE,
                                             (unsigned long)p.handle)) == line - 1 &&
                !out.contains(p.message))
                out << p.message;
    return out;
}

bool MarkSet::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_viewport && event->type() == QEvent::ToolTip)
        return toolTip(static_cast<QHelpEvent *>(event));
    return false;
}

// Over the margins, the messages of the marks on the line under the pointer.
bool MarkSet::toolTip(QHelpEvent *event) {
    int margins = 0;
    for (int m = 0; m < m_editor->margins(); ++m)
        margins += m_editor->marginWidth(m);
    if (event->pos().x() >= margins)
        return false;
    const long height = long(m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL));
    const long visible = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE)) +
                         event->pos().y() / qMax(1L, height);
    const long line =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE, visible));
    const QStringList shown = messages(int(line) + 1);
    if (shown.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), shown.join(QLatin1Char('\n')), m_editor->viewport());
    return true;
}
