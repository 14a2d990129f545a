// What the main window adds to its menus, reached by keys and the status
// line: the build loop's keys, which show results as soon as the build ends
// (the menu items keep their five seconds), the walk through a build's
// problems, and the status line's news.

#include "form1.h"

#include "core/locations.h"
#include "core/recentfiles.h"
#include "platform/textlines.h"
#include "toolchain/commands.h"
#include "ui/clearplace.h"
#include "ui/editorextras.h"
#include "ui/form3.h"
#include "ui/helpwindow.h"
#include "ui/keytable.h"
#include "ui/language.h"
#include "ui/reloadwatch.h"
#include "ui/rename.h"
#include "ui/statusline.h"
#include "ui/symbollist.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTimer>

namespace {
int lineEndsMode(RecentFiles::LineEnds ends) {
    switch (ends) {
    case RecentFiles::LineEnds::Lf:
        return QsciScintillaBase::SC_EOL_LF;
    case RecentFiles::LineEnds::Cr:
        return QsciScintillaBase::SC_EOL_CR;
    case RecentFiles::LineEnds::CrLf:
        break;
    }
    return QsciScintillaBase::SC_EOL_CRLF;
}
} // namespace

void Form1::addEditorAdditions(Language *language) {
    m_language = language;
    m_status =
        new StatusLine(Text1,
                       {[this] { return m_file.path(); },
                        [this] {
                            return m_file.encoding() == TextEncoding::Utf8
                                       ? QStringLiteral("UTF-8")
                                       : QStringLiteral("Windows-1252");
                        },
                        [this] { return includingProgram(); },
                        [this] { return !mainCommentTarget(Text1->text(0).toUtf8()).isEmpty(); }},
                       menuBar());
    m_reload = new ReloadWatch(Text1,
                               {[this] { return m_file.path(); },
                                [this](const QString &path) { return m_file.changedOnDisk(path); },
                                [this] { return openFile(m_file.path()); },
                                [this](const QString &text) { tell(text); }},
                               this);
    // New documents take the line ends of the file saved last.
    const RecentFiles recent(Locations(m_services.root).recentFiles());
    const int lineEnds = lineEndsMode(recent.newLineEnds());
    m_file.setNewLineEnds(lineEnds);
    if (m_file.untitled() && Text1->length() == 0)
        Text1->SendScintilla(QsciScintillaBase::SCI_SETEOLMODE, lineEnds);
    addDebugging();
    m_file.onChange([this](CurrentFile::Change change) {
        m_status->refresh();
        debugFileShown(change == CurrentFile::Change::Saved);
        m_reload->follow(m_file.path());
        if (m_file.untitled())
            return;
        const long mode = long(Text1->SendScintilla(QsciScintillaBase::SCI_GETEOLMODE));
        const auto ends = mode == QsciScintillaBase::SC_EOL_LF   ? RecentFiles::LineEnds::Lf
                          : mode == QsciScintillaBase::SC_EOL_CR ? RecentFiles::LineEnds::Cr
                                                                 : RecentFiles::LineEnds::CrLf;
        const bool saved = change == CurrentFile::Change::Saved;
        RecentFiles(Locations(m_services.root).recentFiles()).add(m_file.path(), saved, ends);
        if (saved)
            m_file.setNewLineEnds(int(mode));
    });

    auto key = [this](const char *name, void (Form1::*handler)()) {
        addKeyAction(this, this, {}, name, [this, handler] { (this->*handler)(); });
    };
    key("makeKey", &Form1::makeKey);
    key("makesendKey", &Form1::makesendKey);
    key("runKey", &Form1::run_Key);
    key("runWindowKey", &Form1::runWindow_Key);
    key("testKey", &Form1::test_Key);
    key("nextProblem", &Form1::nextProblem);
    key("previousProblem", &Form1::previousProblem);
    key("help", &Form1::showHelp);
    key("quickOpen", &Form1::quickOpen);
    key("reopenPrevious", &Form1::reopenPrevious);
    key("reopenAtStart", &Form1::reopenAtStart);
    m_rename = new Rename(Text1, language,
                          {[this] { return m_file.path(); },
                           [this](const QString &file, const QByteArray &bytes) {
                               const auto error = writeWholeFile(
                                   file, bytes, {Locations(m_services.root).spareFolder(), {}});
                               return error ? error->message() : QString();
                           },
                           [this](const QString &text) { tell(text); }},
                          this);
    addKeyAction(this, this, tr("Re&name..."), "rename", [this] { m_rename->start(); });
    m_quickOpen = new SymbolList(this);
    m_quickOpen->setObjectName(QStringLiteral("quickOpen"));
    connect(m_quickOpen, &SymbolList::chosen, this, [this](const QString &file) {
        if (!m_file.is(file))
            if (maybeSave())
                openFile(file);
        Text1->setFocus();
    });

    // What the last check said (the build's is said with its log).
    connect(language->runner(), &AnalysisRunner::finished, this, [this] {
        const auto analysis = m_language->runner()->last();
        int errors = 0, warnings = 0;
        for (const z80::Diagnostic &p : analysis->problems)
            ++(p.error() ? errors : warnings);
        m_checkSaid = errors + warnings == 0
                          ? tr("Check: no problems")
                          : tr("Check: %1 error(s), %2 warning(s) (F8 goes to them)")
                                .arg(errors)
                                .arg(warnings);
        m_status->say(m_buildSaid.isEmpty() ? m_checkSaid : m_buildSaid + tr("; ") + m_checkSaid);
    });
}

// F1: the keys and the places, beside the editor; pressed again, to the front.
void Form1::showHelp() {
    auto *help = findChild<HelpWindow *>(QStringLiteral("helpWindow"));
    if (!help) {
        help = new HelpWindow(m_services.root, this);
        placeClearOf(help, this);
    }
    help->show();
    help->raise();
    help->activateWindow();
}

// Ctrl+P: the program's files, then the files opened and saved lately,
// filtered as the user types.
void Form1::quickOpen() {
    QStringList files;
    if (!m_file.untitled()) {
        const QString document = QFileInfo(m_file.path()).absoluteFilePath();
        files = m_programs.filesOf(m_programs.programFor(document, Text1->text(0).toUtf8()));
    }
    for (const QString &file : RecentFiles(Locations(m_services.root).recentFiles()).files())
        if (!files.contains(samePathKey(file)) && !files.contains(file))
            files << file;
    QList<SymbolList::Entry> entries;
    for (const QString &file : files) {
        if (!QFileInfo(file).isFile())
            continue;
        QString folder = QFileInfo(file).absolutePath();
        if (folder.startsWith(QDir::homePath() + QLatin1Char('/')))
            folder = QLatin1Char('~') + folder.mid(QDir::homePath().size());
        entries << SymbolList::Entry{
            QStringLiteral("%1   (%2)").arg(QFileInfo(file).fileName(), folder), file, 0, 0};
    }
    m_quickOpen->show(entries, Text1->mapToGlobal(QPoint(Text1->width() / 4, 0)));
}

// Ctrl+Shift+R: the newest file of the record that is not this one, which
// is the one open before it (the record puts each file opened or saved
// first); pressed again, back.
void Form1::reopenPrevious() {
    for (const QString &file : RecentFiles(Locations(m_services.root).recentFiles()).files())
        if (!m_file.is(file)) {
            if (maybeSave() && openFile(file))
                tell(tr("Reopened %1 (Ctrl+Shift+R again goes back)").arg(documentName()));
            return;
        }
    tell(tr("No other file was opened lately"));
}

// Ctrl+Alt+R: a start with no file named opens the last file, or an empty
// document while the file that says so exists (the Preferences dialog keeps
// its two fields).
void Form1::reopenAtStart() {
    const QString off = Locations(m_services.root).noReopen();
    if (QFileInfo::exists(off)) {
        if (!QFile::remove(off)) {
            tell(tr("%1 cannot be removed: the next start opens an empty document").arg(off));
            return;
        }
        tell(tr("The next start opens the last file again (Ctrl+Alt+R: not)"));
        return;
    }
    if (auto error = writeWholeFile(
            off, "While this file exists, Quorvin starts with an empty document.\n")) {
        tell(error->message().replace(QLatin1Char('\n'), QLatin1Char(' ')));
        return;
    }
    tell(tr("The next start opens an empty document (Ctrl+Alt+R: the last file again)"));
}

// At start, with no file named: the file worked on last, unless
// QUORVIN_REOPEN_LAST is 0 or Ctrl+Alt+R said not to.
bool Form1::reopenLastFile() {
    if (qEnvironmentVariable("QUORVIN_REOPEN_LAST") == QLatin1String("0") ||
        QFileInfo::exists(Locations(m_services.root).noReopen()))
        return false;
    const QStringList files = RecentFiles(Locations(m_services.root).recentFiles()).files();
    return !files.isEmpty() && openFile(files.first());
}

// The document as questions name it: its file and folder.
QString Form1::documentName() const {
    if (m_file.untitled())
        return tr("the untitled document");
    const QFileInfo info(m_file.path());
    QString folder = info.absolutePath();
    if (folder.startsWith(QDir::homePath() + QLatin1Char('/')))
        folder = QLatin1Char('~') + folder.mid(QDir::homePath().size());
    return tr("%1 in %2").arg(info.fileName(), folder);
}

void Form1::runEmulatorEnded(const QString &program, const ProcessEnd &end,
                             const QString &lastLines) {
    const QString how = end.unknown     ? tr("ended in a way that cannot be known")
                        : end.signalled ? tr("was stopped by signal %1").arg(end.code)
                        : end.failed()  ? tr("ended with exit status %1").arg(end.code)
                                        : tr("was closed");
    inform(tr("The emulator %1 %2 within seconds of its start, so the program did not run "
              "there (an emulator without a ROM image of the calculator cannot run it).\n\n"
              "Ctrl+F5 runs the program in Quorvin's own runner, which needs no ROM image.%3")
               .arg(program, how,
                    lastLines.isEmpty() ? QString() : QLatin1String("\n\n") + lastLines));
}

QString Form1::includeHint(const BuildRunner::Build &build) const {
    if (build.id == 0 || build.source.isEmpty() ||
        samePathKey(build.source) != samePathKey(build.document) ||
        isFreshBuild(Locations(m_services.root).builtProgram(build.programName), build.started))
        return {};
    // A program places itself with .org, or includes the file that does; a
    // file with neither is an include.
    static const QRegularExpression org(QStringLiteral("^\\s*(\\.org|[#.]include)\\b"),
                                        QRegularExpression::CaseInsensitiveOption |
                                            QRegularExpression::MultilineOption);
    QByteArray source;
    const bool errors = std::any_of(m_lastProblems.begin(), m_lastProblems.end(),
                                    [](const BuildProblem &p) { return p.error; });
    if (!errors || readWholeFile(build.source, &source) ||
        org.match(QString::fromLatin1(source)).hasMatch() ||
        !mainCommentTarget(splitLines(source).value(0)).isEmpty())
        return {};
    return tr("%1 has no .org and no build of a program has read it yet: if it is part of a "
              "program, name the program in its first line (; main: game.z80) or build the "
              "program once; Make then builds the program.\n")
        .arg(QFileInfo(build.source).fileName());
}

void Form1::sayBuild() {
    int errors = 0, warnings = 0;
    for (const BuildProblem &p : m_lastProblems)
        ++(p.error ? errors : warnings);
    QString last;
    for (const QString &line : splitLines(m_lastLog))
        if (!line.trimmed().isEmpty())
            last = line.trimmed();
    m_buildSaid =
        errors + warnings
            ? tr("Build: %1 error(s), %2 warning(s) (F8 goes to them)").arg(errors).arg(warnings)
            : last.startsWith(QLatin1String("Build"))
                ? last // the kit's last line already says "Build ..."
                : tr("Build: %1").arg(last);
    m_status->say(m_checkSaid.isEmpty() ? m_buildSaid : m_buildSaid + tr("; ") + m_checkSaid);
}

// The latest news stays beside what the check as you type says.
void Form1::tell(const QString &text) {
    m_buildSaid = text;
    m_status->say(text);
}

// Ctrl+B: Make, with the log as soon as the build script ends.
void Form1::makeKey() {
    if (!startBuild(MakeSlot))
        return;
    Timer1->stop(); // this build's result answers an earlier menu Make too
    m_runner->awaitResult(MakeSlot);
}

// Ctrl+Shift+B: Make and Send, judged and sent as soon as the build ends.
void Form1::makesendKey() {
    if (!startBuild(SendSlot))
        return;
    Timer2->stop();
    m_runner->awaitResult(SendSlot);
}

void Form1::nextProblem() {
    walkProblems(true);
}

void Form1::previousProblem() {
    walkProblems(false);
}

// F8 and Shift+F8: the errors and warnings of the last build's log, in its
// order, across files; without any, those the check as you type found.
void Form1::walkProblems(bool forward) {
    struct Place {
        QString file;
        int line;
        QString text;
        int logLine; // the line of the log, or -1
        int column = -1, length = 0;
    };
    QList<Place> places;
    for (const BuildProblem &p : m_lastProblems)
        places << Place{p.file, p.line, p.said, logLineOf(m_lastLog, p), p.column, p.length};
    if (places.isEmpty())
        if (const auto analysis = m_language->runner()->last())
            for (const z80::Diagnostic &p : analysis->problems)
                places << Place{QString::fromStdString(p.file), p.line,
                                (p.error() ? tr("error: ") : tr("warning: ")) +
                                    QString::fromStdString(p.text),
                                -1};
    if (places.isEmpty()) {
        tell(tr("No errors or warnings to go to"));
        return;
    }
    if (m_walkedLog != m_lastLog || m_problem >= places.size()) {
        m_walkedLog = m_lastLog;
        m_problem = -1;
    }
    m_problem = forward ? (m_problem + 1) % places.size()
                        : (m_problem <= 0 ? places.size() - 1 : m_problem - 1);
    const Place &place = places[m_problem];
    if (!m_file.is(place.file) && (!maybeSave() || !openFile(place.file)))
        return;
    m_extras->showLine(place.line, place.column, place.length);
    Text1->setFocus();
    // The log shows the line gone to.
    if (m_form3 && place.logLine >= 0) {
        QTextCursor cursor(m_form3->Text1->document()->findBlockByNumber(place.logLine));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        m_form3->Text1->setTextCursor(cursor);
        m_form3->Text1->ensureCursorVisible();
    }
    tell(tr("%1 of %2: %3").arg(m_problem + 1).arg(places.size()).arg(place.text));
}
