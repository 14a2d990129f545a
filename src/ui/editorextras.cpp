#include "editorextras.h"

#include "core/logparser.h"
#include "platform/dialogs.h"
#include "ui/finddialog.h"
#include "ui/keytable.h"
#include "ui/z80lexer.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>

namespace {
enum Margin { LineNumbers = 0, Marks = 1 };
// 2 and 3 are the analysis's marks (language.cpp).
enum Marker { ErrorMark = 0, WarningMark = 1, PassedMark = 4, FailedMark = 5 };
} // namespace

EditorExtras::EditorExtras(QsciScintilla *editor, MessageBox *messages, QWidget *window)
    : QObject(window), m_editor(editor), m_messages(messages), m_window(window),
      m_lexer(new Z80Lexer(this)) {
    m_lexer->followPalette(editor->palette());
    editor->setLexer(m_lexer);
    editor->setAutoIndent(true);
    // Redo answers Ctrl+Shift+Z as well as Ctrl+Y.
    if (QsciCommand *redo = editor->standardCommands()->find(QsciCommand::Redo))
        redo->setAlternateKey((Qt::CTRL | Qt::SHIFT | Qt::Key_Z).toCombined());
    // Keys that would change text out of sight, which Geany and Kate bind to
    // other things: off. Ctrl+D, Ctrl+T, Ctrl+Shift+L and Insert stay.
    for (const auto command :
         {QsciCommand::LineCut, QsciCommand::SelectionLowerCase, QsciCommand::SelectionUpperCase})
        if (QsciCommand *c = editor->standardCommands()->find(command)) {
            c->setKey(0);
            c->setAlternateKey(0);
        }
    editor->setMarginType(LineNumbers, QsciScintilla::NumberMargin);
    editor->setMarginMarkerMask(LineNumbers, 0);
    editor->setMarginType(Marks, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(Marks, 14);
    editor->setMarginMarkerMask(Marks, (1 << ErrorMark) | (1 << WarningMark) | (1 << PassedMark) |
                                           (1 << FailedMark));
    editor->markerDefine(QsciScintilla::Circle, ErrorMark);
    editor->setMarkerBackgroundColor(QColor(0xd0, 0x20, 0x20), ErrorMark);
    editor->setMarkerForegroundColor(QColor(0x80, 0x00, 0x00), ErrorMark);
    editor->markerDefine(QsciScintilla::RightTriangle, WarningMark);
    editor->setMarkerBackgroundColor(QColor(0xe0, 0xa0, 0x00), WarningMark);
    // A test that passed, and one that failed, on a tests file's `test` lines.
    editor->markerDefine(QsciScintilla::SmallRectangle, PassedMark);
    editor->setMarkerBackgroundColor(QColor(0x20, 0xa0, 0x40), PassedMark);
    editor->markerDefine(QsciScintilla::Rectangle, FailedMark);
    editor->setMarkerBackgroundColor(QColor(0xd0, 0x20, 0x20), FailedMark);
    fitLineNumbers();
    connect(editor, &QsciScintilla::linesChanged, this, &EditorExtras::fitLineNumbers);
    connect(editor, &QsciScintilla::textChanged, this, &EditorExtras::dropChangedMarks);
    editor->installEventFilter(this);
    m_viewport = editor->viewport();
    m_viewport->installEventFilter(this);
    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, this, &EditorExtras::contextMenu);

    action(tr("&Find..."), "find", [this] { findDialog()->showFor(false); });
    action(tr("&Replace..."), "replace", [this] { findDialog()->showFor(true); });
    action(tr("Find &Next"), "findNext", [this] { findDialog()->findAgain(true); });
    action(tr("Find Pre&vious"), "findPrevious", [this] { findDialog()->findAgain(false); });
    action(tr("&Go to Line..."), "goToLine", [this] { goToLine(); });
    action(tr("Zoom &In"), "zoomIn", [this] { m_editor->zoomIn(); });
    action(tr("Zoom &Out"), "zoomOut", [this] { m_editor->zoomOut(); });
    action(tr("&Normal Size"), "zoomReset", [this] { m_editor->zoomTo(0); });
}

QAction *EditorExtras::action(const QString &text, const char *name,
                              const std::function<void()> &handler) {
    QAction *a = addKeyAction(m_window, this, text, name, handler);
    m_actions << a;
    return a;
}

FindDialog *EditorExtras::findDialog() {
    if (!m_find) {
        m_find = new FindDialog(m_editor, m_window);
        m_find->addActions(m_actions); // the keys work while it is in front too
    }
    return m_find;
}

void EditorExtras::contextMenu(const QPoint &at) {
    QMenu *menu = m_editor->createStandardContextMenu();
    menu->addSeparator();
    menu->addActions(m_actions);
    menu->exec(m_editor->mapToGlobal(at));
    delete menu;
}

// Room for the line count's digits and one more, set again when it grows.
void EditorExtras::fitLineNumbers() {
    const int digits = int(QString::number(qMax(1, m_editor->lines())).size());
    if (digits == m_digits)
        return;
    m_digits = digits;
    m_editor->setMarginWidth(LineNumbers, QString(digits + 1, QLatin1Char('9')));
}

bool EditorExtras::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_editor && event->type() == QEvent::PaletteChange) {
        m_lexer->followPalette(m_editor->palette());
        m_editor->recolor();
    }
    if (watched == m_viewport && event->type() == QEvent::ToolTip)
        return markToolTip(static_cast<QHelpEvent *>(event));
    return false;
}

// Over the margins, the messages of the marks on the line under the pointer.
bool EditorExtras::markToolTip(QHelpEvent *event) {
    int margins = 0;
    for (int m = 0; m < m_editor->margins(); ++m)
        margins += m_editor->marginWidth(m);
    if (event->pos().x() >= margins || m_marks.isEmpty())
        return false;
    const long height = long(m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL));
    const long visible = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE)) +
                         event->pos().y() / qMax(1L, height);
    const long line =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE, visible));
    const QStringList messages = markMessages(int(line) + 1);
    if (messages.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), messages.join(QLatin1Char('\n')),
                           m_editor->viewport());
    return true;
}

void EditorExtras::markTests(const QList<TestsRunner::Mark> &marks) {
    m_editor->markerDeleteAll(PassedMark);
    m_editor->markerDeleteAll(FailedMark);
    for (auto it = m_marks.begin(); it != m_marks.end();)
        it = m_testMarks.contains(it.key()) ? m_marks.erase(it) : std::next(it);
    m_testMarks.clear();
    for (const TestsRunner::Mark &mark : marks) {
        const int handle =
            m_editor->markerAdd(mark.line - 1, mark.passed ? PassedMark : FailedMark);
        if (handle < 0)
            continue;
        m_marks.insert(handle, mark.message);
        m_testMarks.insert(handle);
    }
    m_editor->viewport()->update();
}

QStringList EditorExtras::markMessages(int line) const {
    QStringList messages;
    for (auto it = m_marks.cbegin(); it != m_marks.cend(); ++it)
        if (long(m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE,
                                         (unsigned long)it.key())) == line - 1)
            messages << it.value();
    return messages;
}

void EditorExtras::markLog(const QString &log, const QString &folder, const QString &file) {
    m_editor->markerDeleteAll(ErrorMark);
    m_editor->markerDeleteAll(WarningMark);
    for (auto it = m_marks.begin(); it != m_marks.end();)
        it = m_testMarks.contains(it.key()) ? std::next(it) : m_marks.erase(it);
    m_markedText.clear();
    if (!file.isEmpty()) {
        const QString current = QFileInfo(file).absoluteFilePath();
        const QStringList lines = log.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            if (const auto entry = parseLogLine(line);
                entry && logEntryPath(*entry, folder) == current) {
                const int handle =
                    m_editor->markerAdd(entry->line - 1, entry->error ? ErrorMark : WarningMark);
                if (handle >= 0) {
                    m_marks.insert(handle, line.trimmed());
                    m_markedText.insert(handle, lineText(entry->line - 1));
                }
            }
    }
    // Painted now: a message box that follows must not show the marks before.
    m_editor->viewport()->update();
    if (m_editor->isVisible())
        m_editor->viewport()->repaint();
}

QString EditorExtras::lineText(int line) const {
    QString text = m_editor->text(line);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

// The marks move with their lines (the control keeps them on the text); a
// mark whose line no longer reads as it did when the log was shown goes, with
// its message, which would name what is no longer there.
void EditorExtras::dropChangedMarks() {
    for (auto it = m_markedText.begin(); it != m_markedText.end();) {
        const long line = long(m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE,
                                                       (unsigned long)it.key()));
        if (line >= 0 && lineText(int(line)) == it.value()) {
            ++it;
            continue;
        }
        m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERDELETEHANDLE, (unsigned long)it.key());
        m_marks.remove(it.key());
        it = m_markedText.erase(it);
    }
}

void EditorExtras::showLine(int line) {
    const unsigned long index = (unsigned long)qBound(0, line - 1, qMax(0, m_editor->lines() - 1));
    m_editor->ensureLineVisible(int(index));
    m_editor->SendScintilla(
        QsciScintillaBase::SCI_SETSEL,
        m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, index),
        m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, index));
}

void EditorExtras::goToLine() {
    int line = 0, index = 0;
    m_editor->getCursorPosition(&line, &index);
    if (const auto chosen = m_messages->askNumber(m_window, tr("Go to Line"),
                                                  tr("Line (1 to %1):").arg(m_editor->lines()),
                                                  line + 1, 1, m_editor->lines()))
        showLine(*chosen);
}
