#include "language.h"

#include "ui/keytable.h"
#include "ui/languageparts.h"
#include "ui/marks.h"
#include "ui/symbollist.h"
#include "z80/vocabulary.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

#include <algorithm>

namespace languageparts {

QString hex(std::int64_t v) {
    QString h = QString::number(quint64(v) & 0xffffffffu, 16).toUpper();
    if (h[0].isLetter())
        h.prepend(QLatin1Char('0'));
    return h + QLatin1Char('h');
}

QString q(const std::string &s) {
    return QString::fromStdString(s);
}

QString message(const z80::Diagnostic &p) {
    QString text = (p.error() ? QObject::tr("error: ") : QObject::tr("warning: ")) + q(p.text);
    if (p.cause)
        text +=
            QLatin1Char('\n') + QObject::tr("%1 (%2:%3)")
                                    .arg(q(p.cause->text), QFileInfo(q(p.cause->file)).fileName())
                                    .arg(p.cause->line);
    return text;
}

} // namespace languageparts

using languageparts::buildCompletion;
using languageparts::message;

namespace {
// The underlines of the problems found.
enum { ErrorLine = 8, WarningLine = 9 };

constexpr long kMaxUnderline = 1000;

} // namespace

Language::Language(QsciScintilla *editor, Host host, QWidget *window)
    : QObject(window), m_editor(editor), m_host(std::move(host)), m_window(window),
      m_runner(new AnalysisRunner(this)), m_list(new SymbolList(window)) {
    setObjectName(QStringLiteral("language"));
    for (const auto &[indicator, colour] : {std::pair{ErrorLine, QColor(0xd0, 0x20, 0x20)},
                                            {WarningLine, QColor(0xe0, 0xa0, 0x00)}}) {
        editor->SendScintilla(QsciScintillaBase::SCI_INDICSETSTYLE, indicator,
                              QsciScintillaBase::INDIC_SQUIGGLE);
        editor->setIndicatorForegroundColor(colour, indicator);
    }
    editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSETSEPARATOR, '\n');
    editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSETIGNORECASE, 1);
    editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSETMAXHEIGHT, 12);
    editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSETMAXWIDTH, 60);

    m_runner->setCompletionBuilder(buildCompletion);
    m_runner->setSource([this] {
        AnalysisRunner::Input in;
        in.path = documentPath();
        in.text = m_editor->text().toUtf8();
        for (const QString &f : m_host.includeFolders)
            in.options.includeFolders.push_back(f.toStdString());
        // An include is checked as part of its program. Checked alone, an
        // include file does not know the names of its program.
        in.program = m_host.program ? m_host.program() : QString();
        const QString suffix = QFileInfo(in.path).suffix().toLower();
        in.options.reportUndefined = suffix != QLatin1String("inc");
        return in;
    });
    connect(m_runner, &AnalysisRunner::finished, this, &Language::show);
    connect(editor, &QsciScintilla::textChanged, this, &Language::start);
    connect(editor, &QsciScintilla::modificationChanged, this, &Language::start);
    connect(editor, &QsciScintillaBase::SCN_CHARADDED, this, &Language::charAdded);
    connect(editor, qOverload<const char *, int>(&QsciScintillaBase::SCN_AUTOCSELECTION), this,
            &Language::completionChosen);
    connect(m_list, &SymbolList::chosen, this, [this](const QString &file, int line, int column) {
        pushPlace();
        goTo(file, line, column);
    });
    connect(m_list, &SymbolList::widen, this, [this] { goToSymbol(true); });
    m_viewport = editor->viewport();
    m_viewport->installEventFilter(this);
    editor->installEventFilter(this);
    // A deleted letter widens the list again to what the shorter word begins.
    connect(editor, &QsciScintillaBase::SCN_AUTOCCHARDELETED, this, &Language::complete);

    action(tr("Go to Def&inition"), "goToDefinition", [this] { goToDefinition(); });
    action(tr("Go &Back"), "goBack", [this] { goBack(); });
    action(tr("Go to &Symbol..."), "goToSymbol", [this] { goToSymbol(); });
    action(tr("Find R&eferences"), "findReferences", [this] { findReferences(); });
    action(tr("Co&mplete"), "complete", [this] { complete(); });
}

QAction *Language::action(const QString &text, const char *name,
                          const std::function<void()> &handler) {
    QAction *a = addKeyAction(m_window, this, text, name, handler);
    m_actions << a;
    return a;
}

QString Language::documentPath() const {
    const QString file = m_host.currentFile();
    return file.isEmpty()
               ? QDir(m_host.untitledFolder).absoluteFilePath(QStringLiteral("untitled.z80"))
               : QFileInfo(file).absoluteFilePath();
}

// Only once the window has been painted: start-up pays for no analysis.
void Language::start() {
    if (m_painted)
        m_runner->schedule();
}

void Language::show() {
    m_analysis = m_runner->last();
    m_analysedPath = m_runner->lastPath();
    // A tests file is no assembly: its program's names complete and hover in
    // it, and none of its lines is judged as a statement.
    if (QFileInfo(m_analysedPath).suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) ==
            0 &&
        !m_analysis->problems.empty()) {
        auto kept = std::make_shared<z80::Analysis>(*m_analysis);
        kept->problems.clear();
        m_analysis = std::move(kept);
    }
    const long length = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH));
    for (int indicator : {ErrorLine, WarningLine}) {
        m_editor->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, indicator);
        m_editor->SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, 0UL, length);
    }
    const std::string path = m_analysedPath.toStdString();
    QList<MarkSet::Mark> marks;
    for (const z80::Diagnostic &p : m_analysis->problems) {
        if (p.file != path || p.line < 1 || p.line > m_editor->lines())
            continue;
        marks << MarkSet::Mark{p.line, p.error() ? MarkSet::Kind::Error : MarkSet::Kind::Warning,
                               message(p)};
        const long start = long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                        (unsigned long)(p.line - 1)));
        const long end = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION,
                                                      (unsigned long)(p.line - 1)));
        // At most a screen's width of a long line: painting a wavy line of
        // a megabyte holds the window up for seconds.
        const long from = std::min(end, start + p.column);
        const long underlined = std::min<long>(p.length, kMaxUnderline);
        m_editor->SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT,
                                p.error() ? ErrorLine : WarningLine);
        m_editor->SendScintilla(QsciScintillaBase::SCI_INDICATORFILLRANGE, (unsigned long)from,
                                std::max(1L, std::min(end, from + underlined) - from));
    }
    if (m_host.marks)
        m_host.marks->set(MarkSet::Source::Analysis, marks);
    // The completion lists, built with the analysis off the window's thread.
    if (const auto lists = m_runner->lastCompletion()) {
        m_completion = lists->all;
        m_romCalls = lists->romCalls;
    }
}

QStringList Language::problemMessages(int line) const {
    QStringList out;
    if (!m_analysis)
        return out;
    const std::string path = m_analysedPath.toStdString();
    for (const z80::Diagnostic &p : m_analysis->problems)
        if (p.file == path && p.line == line)
            out << message(p);
    return out;
}

// The name around `position` (between two characters), within its line: the
// editor's own word characters take in line ends and bytes above 127.
QString Language::wordAt(long position, long *start) const {
    const long line = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)position));
    const long lineStart =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    const long lineEnd = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, (unsigned long)line));
    QByteArray text(int(lineEnd - lineStart) + 1, '\0'); // and the NUL the control writes
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, lineStart, lineEnd, text.data());
    text.chop(1);
    const int at = int(std::clamp(position - lineStart, 0L, long(text.size())));
    int from = at, to = at;
    while (from > 0 && z80::isNameChar(text[from - 1]))
        --from;
    while (to < text.size() && z80::isNameChar(text[to]))
        ++to;
    if (start)
        *start = lineStart + from;
    return QString::fromLatin1(text.mid(from, to - from));
}

bool Language::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_editor && event->type() == QEvent::KeyPress)
        return enterEndsCompletion(static_cast<QKeyEvent *>(event));
    if (watched != m_viewport)
        return false;
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        m_runner->schedule();
    } else if (event->type() == QEvent::ToolTip) {
        return toolTip(static_cast<QHelpEvent *>(event));
    } else if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::ControlModifier) {
            const long position = long(m_editor->SendScintilla(
                QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE, (unsigned long)mouse->position().x(),
                long(mouse->position().y())));
            if (position >= 0) {
                m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, (unsigned long)position);
                goToDefinition();
                return true;
            }
        }
    }
    return false;
}
