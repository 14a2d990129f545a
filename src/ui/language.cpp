#include "language.h"

#include "platform/textfile.h"
#include "run/romdocs.h"
#include "ui/keytable.h"
#include "ui/marks.h"
#include "ui/symbollist.h"
#include "z80/instructionfacts.h"
#include "z80/vocabulary.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QToolTip>

#include <algorithm>

namespace {
// The underlines of the problems found.
enum { ErrorLine = 8, WarningLine = 9 };

QString hex(std::int64_t v) {
    QString h = QString::number(quint64(v) & 0xffffffffu, 16).toUpper();
    if (h[0].isLetter())
        h.prepend(QLatin1Char('0'));
    return h + QLatin1Char('h');
}

QString kindName(z80::Definition::Kind kind) {
    switch (kind) {
    case z80::Definition::Kind::Label:
        return QObject::tr("label");
    case z80::Definition::Kind::Equate:
        return QObject::tr("equate");
    case z80::Definition::Kind::Define:
        return QObject::tr("#define");
    case z80::Definition::Kind::Macro:
        return QObject::tr("macro");
    }
    return {};
}

// Through the one file reader: a FIFO or a device put in an include's place
// is refused, never waited on.
constexpr long kMaxUnderline = 1000;

QStringList readLines(const QString &path) {
    QByteArray bytes;
    if (readWholeFile(path, &bytes))
        return {};
    return QString::fromLatin1(bytes).split(QLatin1Char('\n'));
}

// The order the editor control's list assumes when it ignores case: letters
// folded to upper case, so '_' sorts after them.
bool upperLess(QStringView a, QStringView b) {
    const auto upper = [](QChar c) {
        return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? QChar(c.unicode() - 32) : c;
    };
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return upper(a[i]) < upper(b[i]);
    return a.size() < b.size();
}

QString q(const std::string &s) {
    return QString::fromStdString(s);
}

// A problem as its mark and hover say it, with what led to it when the
// place of that is elsewhere.
QString message(const z80::Diagnostic &p) {
    QString text = (p.error() ? QObject::tr("error: ") : QObject::tr("warning: ")) + q(p.text);
    if (p.cause)
        text +=
            QLatin1Char('\n') + QObject::tr("%1 (%2:%3)")
                                    .arg(q(p.cause->text), QFileInfo(q(p.cause->file)).fileName())
                                    .arg(p.cause->line);
    return text;
}
// The completion lists of an analysis: symbols with their values, and the
// language's words, in the control's caseless order.
CompletionLists buildCompletion(const z80::Analysis &analysis) {
    QStringList all, rom;
    QSet<QString> seen;
    for (const z80::Definition &d : analysis.definitions) {
        const QString name = q(d.name);
        if (seen.contains(name.toLower()))
            continue;
        seen.insert(name.toLower());
        const QString item = d.value ? name + QLatin1String(" = ") + hex(*d.value) : name;
        all << item;
        if (d.kind == z80::Definition::Kind::Equate && name.startsWith(QLatin1Char('_')))
            rom << item;
    }
    for (const std::string &w : z80::languageWords())
        if (!seen.contains(q(w)))
            all << q(w);
    std::sort(all.begin(), all.end(), upperLess);
    std::sort(rom.begin(), rom.end(), upperLess);
    return {all, rom};
}

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

    action(tr("Go to &Definition"), "goToDefinition", [this] { goToDefinition(); });
    action(tr("Go &Back"), "goBack", [this] { goBack(); });
    action(tr("Go to &Symbol..."), "goToSymbol", [this] { goToSymbol(); });
    action(tr("Find Re&ferences"), "findReferences", [this] { findReferences(); });
    action(tr("&Complete"), "complete", [this] { complete(); });
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

QString Language::hoverText(long position) const {
    if (position < 0)
        return {};
    const QString now = m_valueNow ? m_valueNow(wordAt(position)) : QString();
    const QString about = hoverAbout(position);
    return now.isEmpty() ? about : about.isEmpty() ? now : now + QLatin1Char('\n') + about;
}

QString Language::hoverAbout(long position) const {
    if (!m_analysis)
        return {};
    const long line = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)position));
    const long column =
        position -
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    const std::string path = m_analysedPath.toStdString();
    for (const z80::Diagnostic &p : m_analysis->problems)
        if (p.file == path && p.line == line + 1 && column >= p.column &&
            column < p.column + std::max(1, p.length))
            return message(p);
    const z80::Definition *d = m_analysis->find(wordAt(position).toStdString());
    const run::RomCallDoc *call = run::romCallDoc(romCallAt(position).toStdString());
    if (!d)
        return call ? q(call->name) + QLatin1Char('\n') + q(run::describe(*call))
                    : instructionHover(line, column);
    QString text = q(d->name);
    if (d->value)
        text += QStringLiteral(" = %1 (%2)").arg(hex(*d->value)).arg(*d->value);
    text += QLatin1Char('\n') +
            tr("%1, %2:%3")
                .arg(kindName(d->kind),
                     QDir(QFileInfo(m_analysedPath).absolutePath()).relativeFilePath(q(d->file)))
                .arg(d->line);
    if (d->kind == z80::Definition::Kind::Label)
        if (const auto built = builtAddress(q(d->name)))
            text += QLatin1Char('\n') + tr("in the last build: %1").arg(hex(*built));
    if (!d->comment.empty())
        text += QLatin1Char('\n') + q(d->comment);
    if (call)
        text += (d->name == call->name ? QString() : QLatin1Char('\n') + q(call->name)) +
                QLatin1Char('\n') + q(run::describe(*call));
    return text;
}

// The OS call a word names: the word itself (_PutS), or on bcall, b_call and
// B_CALL the name in the parentheses after it.
QString Language::romCallAt(long position) const {
    long start = 0;
    const QString word = wordAt(position, &start);
    if (word.startsWith(QLatin1Char('_')))
        return word;
    if (word.compare(QLatin1String("bcall"), Qt::CaseInsensitive) != 0 &&
        word.compare(QLatin1String("b_call"), Qt::CaseInsensitive) != 0)
        return {};
    const long end = start + word.size();
    const long lineEnd = long(m_editor->SendScintilla(
        QsciScintillaBase::SCI_GETLINEENDPOSITION,
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)end)));
    QByteArray rest(int(std::min(lineEnd - end, 200L)) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, end, end + rest.size() - 1,
                            rest.data());
    static const QRegularExpression argument(QStringLiteral("^\\s*\\(\\s*(_\\w+)"));
    return argument.match(QString::fromLatin1(rest.constData())).captured(1);
}

// On an instruction: its size, T-states and flags.
QString Language::instructionHover(long line, long column) const {
    QByteArray text(int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, line)) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINE, (unsigned long)line, text.data());
    text.truncate(int(qstrnlen(text.constData(), text.size())));
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    const auto facts = z80::instructionFacts(std::string_view(text.constData(), text.size()),
                                             size_t(column));
    return facts ? q(z80::describe(*facts)) : QString();
}

// A label's address in the labels file the last good build left.
std::optional<qint64> Language::builtAddress(const QString &label) const {
    const QString path = m_host.builtLabels ? m_host.builtLabels() : QString();
    QByteArray bytes;
    if (path.isEmpty() || readWholeFile(path, &bytes))
        return std::nullopt;
    const QByteArray key = label.toLatin1().toLower() + " = $";
    for (const QByteArray &whole : bytes.split('\n')) {
        const QByteArray line = whole.trimmed();
        bool ok = false;
        const qint64 value = line.mid(key.size()).toLongLong(&ok, 16);
        if (ok && line.toLower().startsWith(key))
            return value;
    }
    return std::nullopt;
}

bool Language::toolTip(QHelpEvent *event) {
    int margins = 0;
    for (int m = 0; m < m_editor->margins(); ++m)
        margins += m_editor->marginWidth(m);
    if (event->pos().x() < margins)
        return false; // the margin's marks answer
    const QString text = hoverText(
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
                                     (unsigned long)event->pos().x(), long(event->pos().y()))));
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, m_editor->viewport());
    return true;
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

void Language::pushPlace() {
    m_back << Place{m_host.currentFile(),
                    long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS))};
    if (m_back.size() > 100)
        m_back.removeFirst();
}

// Opens `file` when it is not the document, then puts the caret at the place.
bool Language::goTo(const QString &file, int line, int column) {
    if (QFileInfo(file).absoluteFilePath() != documentPath() && !m_host.openFile(file))
        return false;
    const long start = long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                    (unsigned long)std::max(0, line - 1)));
    // A place out of sight comes to the middle, with what follows it in view.
    const long shown = long(m_editor->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
    const long first = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE));
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, (unsigned long)(start + column));
    if (line - 1 < first || line - 1 >= first + shown)
        m_editor->SendScintilla(QsciScintillaBase::SCI_VERTICALCENTRECARET);
    else
        m_editor->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
    m_editor->setFocus();
    return true;
}

void Language::goToDefinition() {
    if (!m_analysis)
        return;
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    const z80::Definition *d = m_analysis->find(wordAt(position).toStdString());
    if (!d)
        return;
    pushPlace();
    if (!goTo(q(d->file), d->line, d->column))
        m_back.removeLast();
}

void Language::goBack() {
    if (m_back.isEmpty())
        return;
    const Place place = m_back.takeLast();
    const QString current = m_host.currentFile();
    if (place.file != current && (place.file.isEmpty() || !m_host.openFile(place.file)))
        return;
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, (unsigned long)place.position);
    m_editor->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
}

void Language::goToSymbol(bool widened) {
    if (!m_analysis)
        return;
    const std::string path = m_analysedPath.toStdString();
    QList<SymbolList::Entry> entries;
    const QDir here = QFileInfo(m_analysedPath).absoluteDir();
    for (const z80::Definition &d : m_analysis->definitions) {
        if (d.file != path && !widened)
            continue;
        QString text = q(d.name);
        if (d.value)
            text += QLatin1String(" = ") + hex(*d.value);
        if (d.file != path)
            text += QStringLiteral("   (%1:%2)").arg(here.relativeFilePath(q(d.file))).arg(d.line);
        entries << SymbolList::Entry{text, q(d.file), d.line, d.column};
    }
    m_list->show(entries, m_editor->mapToGlobal(QPoint(m_editor->width() / 4, 0)));
}

void Language::findReferences() {
    if (!m_analysis)
        return;
    const QString word =
        wordAt(long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS)));
    if (word.isEmpty())
        return;
    const QDir here = QFileInfo(m_analysedPath).absoluteDir();
    QList<SymbolList::Entry> entries;
    QHash<QString, QStringList> lines;
    for (const z80::Use &u : m_analysis->uses) {
        if (QString::compare(q(u.name), word, Qt::CaseInsensitive) != 0)
            continue;
        const QString file = q(u.file);
        if (!lines.contains(file))
            lines.insert(file, file == m_analysedPath ? m_editor->text().split(QLatin1Char('\n'))
                                                      : readLines(file));
        QString text = lines[file].value(u.line - 1).trimmed();
        entries << SymbolList::Entry{QStringLiteral("%1:%2: %3")
                                         .arg(here.relativeFilePath(file))
                                         .arg(u.line)
                                         .arg(text.isEmpty() ? q(u.name) : text),
                                     file, u.line, u.column};
    }
    m_list->show(entries, m_editor->mapToGlobal(QPoint(m_editor->width() / 4, 0)));
}

void Language::complete() {
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start)); // what is typed so far
    // After b_call( and its spellings: the ROM calls only.
    const long line = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)start));
    const long lineStart =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    QByteArray before(int(start - lineStart) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, lineStart, start, before.data());
    before.chop(1);
    const QString lead = QString::fromUtf8(before).trimmed().toLower();
    const bool rom =
        lead.endsWith(QLatin1String("b_call(")) || lead.endsWith(QLatin1String("bcall("));
    const QStringList &items = rom ? m_romCalls : m_completion;
    // Only the entries the word so far begins: a sorted list's one run of them.
    const auto first = std::lower_bound(
        items.begin(), items.end(), word, [](const QString &item, const QString &prefix) {
            return upperLess(QStringView(item).left(prefix.size()), prefix);
        });
    auto last = first;
    while (last != items.end() && last->startsWith(word, Qt::CaseInsensitive) &&
           last - first < kMaxShown)
        ++last;
    m_shownAll = last == items.end() || !last->startsWith(word, Qt::CaseInsensitive);
    if (first == last) {
        m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        return;
    }
    const QStringList shown(first, last);
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSHOW, (unsigned long)word.toUtf8().size(),
                            shown.join(QLatin1Char('\n')).toUtf8().constData());
}

// By itself after three letters of a word, and after b_call(.
void Language::charAdded(int ch) {
    if (m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCACTIVE)) {
        // The list holds only what the longer word begins (the control would
        // only move its selection).
        if (z80::isNameChar(char(ch)))
            complete();
        return;
    }
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start));
    if (ch == '(') {
        const long line = long(m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                                       (unsigned long)position));
        QByteArray text(int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, line)) + 1,
                        '\0');
        m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINE, (unsigned long)line, text.data());
        const long column =
            position - long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                    (unsigned long)line));
        const QByteArray lead = text.left(int(column)).trimmed().toLower();
        if (lead.endsWith("b_call(") || lead.endsWith("bcall("))
            complete();
    } else if (z80::isNameChar(char(ch)) && position - start >= 3 && !word.isEmpty() &&
               z80::isNameStart(word[0].toLatin1())) {
        complete();
    }
}

// Enter after a word typed out in full starts a new line, as it would with
// no list: the list goes and the key goes on to the text.
bool Language::enterEndsCompletion(QKeyEvent *key) {
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        !m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCACTIVE))
        return false;
    QByteArray entry(int(m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT,
                                                 0UL, static_cast<const char *>(nullptr))) +
                         1,
                     '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0UL, entry.data());
    entry.truncate(int(qstrlen(entry.constData())));
    if (entry.indexOf(" = ") >= 0)
        entry.truncate(entry.indexOf(" = "));
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start));
    if (QString::compare(word, QString::fromUtf8(entry), Qt::CaseInsensitive) == 0)
        m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
    return false;
}

// A chosen entry is written as it was defined, without its value.
void Language::completionChosen(const char *text, int position) {
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
    QByteArray name(text);
    name.truncate(name.indexOf(" = ") < 0 ? name.size() : name.indexOf(" = "));
    const long caret = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETSEL, (unsigned long)position, caret);
    m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, name.constData());
}
