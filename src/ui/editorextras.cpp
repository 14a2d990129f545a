#include "editorextras.h"

#include "platform/dialogs.h"
#include "ui/finddialog.h"
#include "ui/keytable.h"
#include "ui/marks.h"
#include "ui/z80lexer.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>

namespace {
enum Margin { LineNumbers = 0, Marks = 1 };
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
    m_marks = new MarkSet(editor, Marks);
    fitLineNumbers();
    connect(editor, &QsciScintilla::linesChanged, this, &EditorExtras::fitLineNumbers);
    editor->installEventFilter(this);
    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, this, &EditorExtras::contextMenu);

    // The access letters leave the text box's own (U, R, T, C, P, D, A) to it.
    addActions({
        action(tr("&Find..."), "find", [this] { findDialog()->showFor(false); }),
        action(tr("Rep&lace..."), "replace", [this] { findDialog()->showFor(true); }),
        action(tr("Find &Next"), "findNext", [this] { findDialog()->findAgain(true); }),
        action(tr("Find Pre&vious"), "findPrevious", [this] { findDialog()->findAgain(false); }),
        action(tr("&Go to Line..."), "goToLine", [this] { goToLine(); }),
    });
    addSubmenu(tr("&Zoom"),
               {
                   action(tr("Zoom &In"), "zoomIn", [this] { m_editor->zoomIn(); }),
                   action(tr("Zoom &Out"), "zoomOut", [this] { m_editor->zoomOut(); }),
                   action(tr("&Normal Size"), "zoomReset", [this] { m_editor->zoomTo(0); }),
               });
}

QAction *EditorExtras::action(const QString &text, const char *name,
                              const std::function<void()> &handler) {
    return addKeyAction(m_window, this, text, name, handler);
}

// The text box's own entries, two of which come without an access letter,
// then ours.
QMenu *EditorExtras::makeContextMenu() {
    QMenu *menu = m_editor->createStandardContextMenu();
    const struct {
        const char *plain;
        QString lettered;
    } kLetters[] = {{"Delete", tr("&Delete")}, {"Select All", tr("Select &All")}};
    for (QAction *a : menu->actions())
        for (const auto &l : kLetters)
            if (a->text() == QCoreApplication::translate("QsciScintilla", l.plain))
                a->setText(l.lettered);
    menu->addSeparator();
    for (const MenuEntry &entry : std::as_const(m_menu))
        if (entry.submenu.isEmpty())
            menu->addActions(entry.actions);
        else
            menu->addMenu(entry.submenu)->addActions(entry.actions);
    return menu;
}

FindDialog *EditorExtras::findDialog() {
    if (!m_find) {
        m_find = new FindDialog(m_editor, m_window);
        m_find->addActions(m_actions); // the keys work while it is in front too
    }
    return m_find;
}

void EditorExtras::contextMenu(const QPoint &at) {
    if (m_fillMarginMenu) {
        const QPoint inView = m_editor->viewport()->mapFrom(m_editor, at);
        int left = 0;
        for (int i = 0; i < m_marginMenu; ++i)
            left += m_editor->marginWidth(i);
        if (inView.x() >= left && inView.x() < left + m_editor->marginWidth(m_marginMenu)) {
            const long pos = m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINT, 0UL,
                                                     long(inView.y()));
            QMenu menu;
            m_fillMarginMenu(
                &menu,
                int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, pos)) + 1);
            if (!menu.isEmpty())
                menu.exec(m_editor->mapToGlobal(at));
            return;
        }
    }
    QMenu *menu = makeContextMenu();
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
    return false;
}

void EditorExtras::markTests(const QList<TestsRunner::Mark> &marks) {
    QList<MarkSet::Mark> shown;
    for (const TestsRunner::Mark &mark : marks)
        shown << MarkSet::Mark{mark.line,
                               mark.passed ? MarkSet::Kind::Passed : MarkSet::Kind::Failed,
                               mark.message};
    m_marks->set(MarkSet::Source::Tests, shown);
    m_editor->viewport()->update();
}

QStringList EditorExtras::markMessages(int line) const {
    return m_marks->messages(line);
}

void EditorExtras::markLog(const QString &log, const QString &folder, const QString &file) {
    markBuild(buildProblems(log, folder, {}, {}), file);
}

void EditorExtras::markBuild(const QList<BuildProblem> &problems, const QString &file) {
    QList<MarkSet::Mark> marks;
    if (!file.isEmpty()) {
        const QString current = QFileInfo(file).absoluteFilePath();
        for (const BuildProblem &p : problems)
            if (p.file == current)
                marks << MarkSet::Mark{
                    p.line, p.error ? MarkSet::Kind::Error : MarkSet::Kind::Warning, p.said};
    }
    m_marks->set(MarkSet::Source::Build, marks);
    // Painted now: a message box that follows must not show the marks before.
    m_editor->viewport()->update();
    if (m_editor->isVisible())
        m_editor->viewport()->repaint();
}

void EditorExtras::showLine(int line, int column, int length) {
    const unsigned long index = (unsigned long)qBound(0, line - 1, qMax(0, m_editor->lines() - 1));
    m_editor->ensureLineVisible(int(index));
    const long start = m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, index);
    const long end = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, index);
    if (column < 0)
        m_editor->SendScintilla(QsciScintillaBase::SCI_SETSEL, end, start);
    else
        m_editor->SendScintilla(QsciScintillaBase::SCI_SETSEL,
                                std::min(end, start + column + std::max(length, 0)),
                                std::min(end, start + column));
}

void EditorExtras::goToLine() {
    int line = 0, index = 0;
    m_editor->getCursorPosition(&line, &index);
    if (const auto chosen = m_messages->askNumber(m_window, tr("Go to Line"),
                                                  tr("Line (1 to %1):").arg(m_editor->lines()),
                                                  line + 1, 1, m_editor->lines()))
        showLine(*chosen);
}
