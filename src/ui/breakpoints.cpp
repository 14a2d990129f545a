#include "ui/breakpoints.h"

#include <Qsci/qsciscintilla.h>

#include <QColor>

Breakpoints::Breakpoints(QsciScintilla *editor, QObject *parent)
    : QObject(parent), m_editor(editor) {
    editor->setMarginType(kMargin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(kMargin, 16);
    editor->setMarginMarkerMask(kMargin, (1 << DotMarker) | (1 << ArrowMarker));
    editor->setMarginSensitivity(kMargin, true);
    editor->markerDefine(QsciScintilla::Circle, DotMarker);
    editor->setMarkerBackgroundColor(QColor(0xD0, 0x20, 0x20), DotMarker);
    editor->setMarkerForegroundColor(QColor(0x80, 0x00, 0x00), DotMarker);
    editor->markerDefine(QsciScintilla::RightArrow, ArrowMarker);
    editor->setMarkerBackgroundColor(QColor(0xF0, 0xC0, 0x00), ArrowMarker);
    editor->setMarkerForegroundColor(QColor(0x60, 0x50, 0x00), ArrowMarker);
    editor->markerDefine(QsciScintilla::Background, PausedLineMarker);
    editor->setMarkerBackgroundColor(QColor(0xFF, 0xF0, 0xA0), PausedLineMarker);
    connect(editor, &QsciScintilla::marginClicked, this,
            [this](int margin, int line, Qt::KeyboardModifiers) {
                if (margin == kMargin)
                    toggle(line + 1);
            });
    // Replacing the whole text (opening another file) takes the markers with
    // it: the lines are kept first.
    connect(editor, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int length, int, int, int, int, int, int) {
                if ((type & QsciScintillaBase::SC_MOD_BEFOREDELETE) && position == 0 &&
                    length == m_editor->length())
                    remember();
            });
}

QList<int> Breakpoints::linesShown() const {
    QList<int> lines;
    for (int line = m_editor->markerFindNext(0, 1 << DotMarker); line >= 0;
         line = m_editor->markerFindNext(line + 1, 1 << DotMarker))
        lines << line + 1;
    return lines;
}

void Breakpoints::remember() {
    if (!m_path.isEmpty())
        m_kept[m_path] = linesShown();
}

void Breakpoints::fileShown(const QString &path, bool sameText) {
    if (path == m_path)
        return;
    if (sameText) {
        m_kept.remove(m_path);
        m_path = path;
        return;
    }
    m_path = path;
    m_editor->markerDeleteAll(DotMarker);
    m_editor->markerDeleteAll(ArrowMarker);
    m_editor->markerDeleteAll(PausedLineMarker);
    m_arrow = -1;
    for (int line : m_kept.take(path))
        if (line <= m_editor->lines())
            m_editor->markerAdd(line - 1, DotMarker);
    emit changed();
}

bool Breakpoints::has(int line) const {
    return line >= 1 && (m_editor->markersAtLine(line - 1) & (1 << DotMarker));
}

void Breakpoints::toggle(int line) {
    if (line < 1 || line > m_editor->lines())
        return;
    if (has(line))
        m_editor->markerDelete(line - 1, DotMarker);
    else
        m_editor->markerAdd(line - 1, DotMarker);
    emit changed();
}

QHash<QString, QList<int>> Breakpoints::all() const {
    QHash<QString, QList<int>> out;
    for (auto it = m_kept.begin(); it != m_kept.end(); ++it)
        if (!it.value().isEmpty())
            out.insert(it.key(), it.value());
    if (!m_path.isEmpty()) {
        const QList<int> shown = linesShown();
        if (shown.isEmpty())
            out.remove(m_path);
        else
            out.insert(m_path, shown);
    }
    return out;
}

void Breakpoints::restore(const QHash<QString, QList<int>> &all) {
    for (auto it = all.begin(); it != all.end(); ++it) {
        if (it.key() != m_path) {
            m_kept.insert(it.key(), it.value());
            continue;
        }
        for (int line : it.value())
            if (line <= m_editor->lines() && !has(line))
                m_editor->markerAdd(line - 1, DotMarker);
    }
}

void Breakpoints::move(const QString &path, int from, int to) {
    if (path == m_path) {
        if (!has(from) || has(to))
            return;
        m_editor->markerDelete(from - 1, DotMarker);
        m_editor->markerAdd(to - 1, DotMarker);
    } else if (m_kept.contains(path)) {
        QList<int> &lines = m_kept[path];
        lines.removeAll(from);
        if (!lines.contains(to))
            lines << to;
    }
}

void Breakpoints::showArrow(int line) {
    m_editor->markerDeleteAll(ArrowMarker);
    m_editor->markerDeleteAll(PausedLineMarker);
    m_arrow = -1;
    if (line < 1 || line > m_editor->lines())
        return;
    m_arrow = m_editor->markerAdd(line - 1, ArrowMarker);
    m_editor->markerAdd(line - 1, PausedLineMarker);
    m_editor->ensureLineVisible(line - 1);
}

int Breakpoints::arrowLine() const {
    return m_arrow < 0 ? 0 : m_editor->markerLine(m_arrow) + 1;
}
