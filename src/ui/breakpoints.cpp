#include "ui/breakpoints.h"

#include <Qsci/qsciscintilla.h>

#include <QColor>

namespace {
constexpr int kDots = (1 << Breakpoints::DotMarker) | (1 << Breakpoints::DisabledMarker) |
                      (1 << Breakpoints::SetMarker);
}

Breakpoints::Breakpoints(QsciScintilla *editor, QObject *parent)
    : QObject(parent), m_editor(editor) {
    editor->setMarginType(kMargin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(kMargin, 16);
    editor->setMarginMarkerMask(kMargin, kDots | (1 << ArrowMarker));
    editor->setMarginSensitivity(kMargin, true);
    editor->markerDefine(QsciScintilla::Circle, DotMarker);
    editor->setMarkerBackgroundColor(QColor(0xD0, 0x20, 0x20), DotMarker);
    editor->setMarkerForegroundColor(QColor(0x80, 0x00, 0x00), DotMarker);
    editor->markerDefine(QsciScintilla::Circle, DisabledMarker);
    editor->setMarkerBackgroundColor(QColor(0xFF, 0xFF, 0xFF), DisabledMarker);
    editor->setMarkerForegroundColor(QColor(0xD0, 0x20, 0x20), DisabledMarker);
    editor->markerDefine(QsciScintilla::CircledPlus, SetMarker);
    editor->setMarkerBackgroundColor(QColor(0xD0, 0x20, 0x20), SetMarker);
    editor->setMarkerForegroundColor(QColor(0xFF, 0xFF, 0xFF), SetMarker);
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
    for (int line = m_editor->markerFindNext(0, kDots); line >= 0;
         line = m_editor->markerFindNext(line + 1, kDots))
        lines << line + 1;
    return lines;
}

void Breakpoints::remember() {
    if (m_path.isEmpty())
        return;
    m_kept[m_path] = linesShown();
    QHash<int, BreakpointSettings> &kept = m_keptSettings[m_path];
    kept.clear();
    for (auto it = m_settings.begin(); it != m_settings.end(); ++it)
        if (const int line = m_editor->markerLine(it.key()); line >= 0)
            kept.insert(line + 1, it.value());
}

void Breakpoints::unmark(int line) {
    for (auto it = m_settings.begin(); it != m_settings.end();)
        it = m_editor->markerLine(it.key()) == line ? m_settings.erase(it) : std::next(it);
    for (int marker : {DotMarker, DisabledMarker, SetMarker})
        m_editor->markerDelete(line, marker);
}

void Breakpoints::mark(int line, const BreakpointSettings &settings) {
    unmark(line);
    const int marker = !settings.enabled  ? DisabledMarker
                       : settings.plain() ? DotMarker
                                          : SetMarker;
    const int handle = m_editor->markerAdd(line, marker);
    if (handle >= 0 && !settings.plain())
        m_settings.insert(handle, settings);
}

BreakpointSettings Breakpoints::settings(const QString &path, int line) const {
    if (path == m_path) {
        for (auto it = m_settings.begin(); it != m_settings.end(); ++it)
            if (m_editor->markerLine(it.key()) == line - 1)
                return it.value();
        return {};
    }
    return m_keptSettings.value(path).value(line);
}

bool Breakpoints::setSettings(int line, const BreakpointSettings &settings) {
    if (!has(line))
        return false;
    mark(line - 1, settings);
    emit changed();
    return true;
}

void Breakpoints::fileShown(const QString &path, bool sameText) {
    // The same file read again (reloaded from disk) gets its dots back, which
    // went with the old text; a file that stays shown keeps them as they are.
    if (path == m_path && (sameText || !m_kept.contains(path)))
        return;
    if (sameText) {
        m_kept.remove(m_path);
        m_keptSettings.remove(m_path);
        m_path = path;
        return;
    }
    m_path = path;
    m_settings.clear();
    m_editor->markerDeleteAll(DotMarker);
    m_editor->markerDeleteAll(DisabledMarker);
    m_editor->markerDeleteAll(SetMarker);
    m_editor->markerDeleteAll(ArrowMarker);
    m_editor->markerDeleteAll(PausedLineMarker);
    m_arrow = -1;
    const QHash<int, BreakpointSettings> settings = m_keptSettings.take(path);
    for (int line : m_kept.take(path))
        if (line <= m_editor->lines())
            mark(line - 1, settings.value(line));
    emit changed();
}

bool Breakpoints::has(int line) const {
    return line >= 1 && (m_editor->markersAtLine(line - 1) & kDots);
}

void Breakpoints::toggle(int line) {
    if (line < 1 || line > m_editor->lines())
        return;
    if (has(line))
        unmark(line - 1);
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

void Breakpoints::restore(const QHash<QString, QList<int>> &all,
                          const QHash<QString, QHash<int, BreakpointSettings>> &settings) {
    for (auto it = all.begin(); it != all.end(); ++it) {
        if (it.key() != m_path) {
            m_kept.insert(it.key(), it.value());
            m_keptSettings.insert(it.key(), settings.value(it.key()));
            continue;
        }
        for (int line : it.value())
            if (line <= m_editor->lines() && !has(line))
                mark(line - 1, settings.value(it.key()).value(line));
    }
}

void Breakpoints::move(const QString &path, int from, int to) {
    if (path == m_path) {
        if (!has(from) || has(to))
            return;
        const BreakpointSettings s = settings(path, from);
        unmark(from - 1);
        mark(to - 1, s);
    } else if (m_kept.contains(path)) {
        QList<int> &lines = m_kept[path];
        lines.removeAll(from);
        if (!lines.contains(to))
            lines << to;
        QHash<int, BreakpointSettings> &kept = m_keptSettings[path];
        if (kept.contains(from))
            kept.insert(to, kept.take(from));
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
