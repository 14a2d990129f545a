// What the main window adds to its menus, reached by keys and the status
// line: the build loop's keys, which show results as soon as the build ends
// (the menu items keep their five seconds), the walk through a build's
// problems, and the status line's news.

#include "form1.h"

#include "core/logparser.h"
#include "ui/editorextras.h"
#include "ui/form3.h"
#include "ui/keytable.h"
#include "ui/language.h"
#include "ui/statusline.h"

#include <Qsci/qsciscintilla.h>

#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>

void Form1::addEditorAdditions(Language *language) {
    m_language = language;
    m_status =
        new StatusLine(Text1,
                       {[this] { return CommonDialog1.FileName; },
                        [this] {
                            return m_file.encoding() == TextEncoding::Utf8
                                       ? QStringLiteral("UTF-8")
                                       : QStringLiteral("Windows-1252");
                        },
                        [this] { return includingProgram(); },
                        [this] { return !mainCommentTarget(Text1->text(0).toUtf8()).isEmpty(); }},
                       menuBar());
    m_file.onChange([this] { m_status->refresh(); });

    auto key = [this](const char *name, void (Form1::*handler)()) {
        addKeyAction(this, this, {}, name, [this, handler] { (this->*handler)(); });
    };
    key("makeKey", &Form1::makeKey);
    key("makesendKey", &Form1::makesendKey);
    key("runKey", &Form1::run_Key);
    key("runWindowKey", &Form1::runWindow_Key);
    key("nextProblem", &Form1::nextProblem);
    key("previousProblem", &Form1::previousProblem);

    // What the last check said (the build's is said with its log).
    connect(language->runner(), &AnalysisRunner::finished, this, [this] {
        const auto analysis = m_language->runner()->last();
        int errors = 0, warnings = 0;
        for (const z80::Problem &p : analysis->problems)
            ++(p.error ? errors : warnings);
        m_checkSaid = errors + warnings == 0
                          ? tr("Check: no problems")
                          : tr("Check: %1 error(s), %2 warning(s) (F8 goes to them)")
                                .arg(errors)
                                .arg(warnings);
        m_status->say(m_buildSaid.isEmpty() ? m_checkSaid : m_buildSaid + tr("; ") + m_checkSaid);
    });
}

void Form1::sayBuild() {
    int errors = 0, warnings = 0;
    QString last;
    for (const QString &line : m_lastLog.split(QLatin1Char('\n'))) {
        if (const auto entry = parseLogLine(line))
            ++(entry->error ? errors : warnings);
        if (!line.trimmed().isEmpty())
            last = line.trimmed();
    }
    m_buildSaid =
        errors + warnings
            ? tr("Build: %1 error(s), %2 warning(s) (F8 goes to them)").arg(errors).arg(warnings)
            : tr("Build: %1").arg(last);
    m_status->say(m_checkSaid.isEmpty() ? m_buildSaid : m_buildSaid + tr("; ") + m_checkSaid);
}

void Form1::tell(const QString &text) {
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
    };
    QList<Place> places;
    const QStringList lines = m_lastLog.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i)
        if (const auto entry = parseLogLine(lines[i]))
            places << Place{logEntryPath(*entry, m_logFolder), entry->line, lines[i].trimmed(), i};
    if (places.isEmpty())
        if (const auto analysis = m_language->runner()->last())
            for (const z80::Problem &p : analysis->problems)
                places << Place{QString::fromStdString(p.file), p.line,
                                (p.error ? tr("error: ") : tr("warning: ")) +
                                    QString::fromStdString(p.message),
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
    const bool current =
        !CommonDialog1.FileName.isEmpty() && QFileInfo(CommonDialog1.FileName).absoluteFilePath() ==
                                                 QFileInfo(place.file).absoluteFilePath();
    if (!current && (!maybeSave() || !openFile(place.file)))
        return;
    m_extras->showLine(place.line);
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
