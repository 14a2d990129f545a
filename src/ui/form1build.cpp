// The main window's build loop: Make, Make and Send and F5, their results,
// the link program and the emulator, and the way from the log to the source.

#include "form1.h"

#include "core/document.h"
#include "core/locations.h"
#include "core/logparser.h"
#include "core/shownlog.h"
#include "platform/textlines.h"
#include "platform/windows.h"
#include "toolchain/commands.h"
#include "toolchain/programname.h"
#include "ui/debugcontroller.h"
#include "ui/editorextras.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/runwindow.h"
#include "ui/testsrunner.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <cerrno>

// Saves the document and starts the build script with the program name, in
// the document's folder. False when the user cancels the Save dialog or a
// step fails (the failure is reported).
QString Form1::includingProgram() const {
    if (m_file.untitled())
        return {};
    const QString document = QFileInfo(m_file.path()).absoluteFilePath();
    const QString program = m_programs.programFor(document, Text1->text(0).toUtf8());
    return program == document ? QString() : program;
}

QString Form1::builtLabels() const {
    if (m_file.untitled())
        return {};
    const QString document = QFileInfo(m_file.path()).absoluteFilePath();
    const QString program = m_programs.programFor(document, Text1->text(0).toUtf8());
    return Locations(m_services.root).builtProgramFolder() + QLatin1Char('/') +
           programName(program) + QLatin1String(".lab");
}

bool Form1::startBuild(Slot slot) {
    if (m_file.untitled() ? !saveWithDialog() : !save_doc(m_file.path()))
        return false;
    const QString script = findBuildScript(m_services.programFolder, m_services.root);
    if (script.isEmpty()) {
        report(missingBuildScript(m_services.programFolder, m_services.root));
        return false;
    }
    // An include builds the program it belongs to. The script runs in the
    // program's folder and is told the very file to build.
    const QString document = QFileInfo(m_file.path()).absoluteFilePath();
    const QString file = m_programs.programFor(document, Text1->text(0).toUtf8());
    if (!QFileInfo(file).isFile()) {
        report(FileError::fromErrno(ENOENT, file));
        return false;
    }
    const QString name = programName(file);
    const BuildOutputs outputs = newBuildOutputs(Locations(m_services.root).buildOutputFolder());
    const StartOptions options{QFileInfo(file).absolutePath(), false,
                               QStringList{buildSourceEntry(file)} + outputs.environment()};
    const auto failed = m_runner->startBuild(slot, buildCommand(script, name), options, name, file,
                                             document, outputs);
    if (failed)
        report(FileError{failed->errorNumber, failed->errorDescription, script, {}});
    return !failed;
}

void Form1::makeprog_Click() {
    if (startBuild(MakeSlot))
        Timer1->start(); // restarts the count when it runs already
}

void Form1::makesend_Click() {
    if (startBuild(SendSlot))
        Timer2->start();
}

void Form1::Timer1_Timer() {
    Timer1->stop();
    m_runner->awaitResult(MakeSlot);
}

void Form1::Timer2_Timer() {
    Timer2->stop();
    m_runner->awaitResult(SendSlot);
}

// A build has ended and its timer has fired: the log, then for Make and Send
// the verdict and the link program.
void Form1::runner_Finished(const BuildRunner::Build &build) {
    if (!showAssemblerLog(build) || build.id == 0)
        return;
    if (build.slot == SendSlot)
        sendBuiltProgram(build);
    else if (build.slot == RunSlot)
        runBuiltProgram(build);
}

// The build says which files it read: the record learns which program they belong to.
void Form1::runner_BuildEnded(const BuildRunner::Build &build) {
    // A script that does not know of the build's own list writes the shared one.
    const QString list = QFileInfo::exists(build.outputs.filesRead)
                             ? build.outputs.filesRead
                             : Locations(m_services.root).buildFileList();
    m_programs.takeBuildList(list, build.source, build.started);
    if (list == build.outputs.filesRead)
        QFile::remove(list);
}

void Form1::sendBuiltProgram(const BuildRunner::Build &build) {
    const QString program = Locations(m_services.root).builtProgram(build.programName);
    if (!build.succeeded(program)) {
        inform(tr("Errors were found."));
        return;
    }
    const QString linkProgram = m_form2->Text1->text();
    if (linkProgram.isEmpty()) {
        tell(tr("No link program is set: give its path in Edit > Preferences "
                "(Calculator Linker Program Path)"));
        inform(tr("No Calculator Link Program Found!"));
        return;
    }
    startTool(linkCommand(linkProgram, program), LinkTool);
}

// A tool that failed: its exit status and the last lines it wrote.
void Form1::runner_ToolFailed(const QString &program, const ProcessEnd &end,
                              const QByteArray &output, int tag) {
    const QStringList lines = splitLines(decodeToolText(output).trimmed());
    const QString lastLines = lines.mid(qMax(0, lines.size() - 10)).join(QLatin1Char('\n'));
    if (tag == RunEmulatorTool) {
        runEmulatorEnded(program, end, lastLines);
        return;
    }
    const QString how = end.unknown     ? tr("ended in a way that cannot be known")
                        : end.signalled ? tr("was stopped by signal %1").arg(end.code)
                                        : tr("ended with exit status %1").arg(end.code);
    const QString what =
        tag == LinkTool ? tr("The link program %1 %2.\n\n%3") : tr("The emulator %1 %2.\n\n%3");
    inform(what.arg(program, how, lastLines).trimmed());
}

// Make, then, as soon as that build has written a fresh program, a window that runs it.
void Form1::runWindow_Key() {
    if (m_debug->paused()) { // a debugged run goes on
        m_debug->continueRun();
        return;
    }
    if (!startBuild(MakeSlot))
        return;
    Timer1->stop(); // the run follows as soon as the build ends
    m_runBuild = m_runner->pendingBuild(MakeSlot);
    // Listening first: a build that has already ended is finished within
    // awaitResult itself, and a press before it ended still makes one window.
    if (!m_runWindowWait)
        m_runWindowWait = connect(m_runner, &BuildRunner::finished, this, &Form1::runWindow_Built);
    m_runner->awaitResult(MakeSlot);
}

// Ctrl+F5's build has ended: its program runs in a window, the only one.
void Form1::runWindow_Built(const BuildRunner::Build &b) {
    if (b.slot != MakeSlot)
        return;
    disconnect(std::exchange(m_runWindowWait, {}));
    // A Make pressed since replaced the build Ctrl+F5 started: the user
    // asked for a build, not a run.
    if (b.id != std::exchange(m_runBuild, 0)) {
        m_debugFromStart = false;
        return;
    }
    const QString program = Locations(m_services.root).builtProgram(b.programName);
    if (!b.succeeded(program))
        return;
    if (auto *old = findChild<RunWindow *>(QStringLiteral("RunWindow")))
        old->close();
    auto *window = new RunWindow(program, this);
    window->setFilePicker(m_services.picker);
    window->adjustSize();
    placeNear(window, this);
    window->show();
    window->raise();
    window->activateWindow();
    // A run that starts paused leaves the keys to the editor, where they step it.
    const bool paused = std::exchange(m_debugFromStart, false);
    if (m_form3)
        m_form3->handKeysTo(paused ? static_cast<QWidget *>(this) : window);
    m_debug->attach(window, program, QFileInfo(m_file.path()).absolutePath(), paused);
}

void Form1::startcalc_Click() {
    if (m_form2->Text2->text().isEmpty()) {
        inform(tr("No Emulator Found!"));
        return;
    }
    // "%f" stands for the built program of the current document's program.
    const QString file = m_file.path();
    if (wantsBuiltProgram(m_form2->Text2->text()) && file.isEmpty()) {
        inform(tr("The emulator command asks for the built program (%f), but the document has "
                  "no file name yet. Save it and make it first."));
        return;
    }
    const QString program =
        m_programs.programFor(QFileInfo(file).absoluteFilePath(), Text1->text(0).toUtf8());
    startEmulator(Locations(m_services.root).builtProgram(programName(program)));
}

// Starts the emulator command with "%f" standing for `built`; a built program
// that is not there yet is said, and nothing starts.
void Form1::startEmulator(const QString &built, ToolTag tag) {
    const QString text = m_form2->Text2->text();
    if (text.isEmpty()) {
        inform(tr("No Emulator Found!"));
        return;
    }
    if (wantsBuiltProgram(text) && !QFileInfo(built).isFile()) {
        QString shown = built;
        if (shown.startsWith(QDir::homePath() + QLatin1Char('/')))
            shown.replace(0, QDir::homePath().size(), QStringLiteral("~"));
        inform(tr("Build the program first: %1 does not exist").arg(shown));
        return;
    }
    QString error;
    const auto command = emulatorCommand(text, built, &error);
    if (!command) {
        inform(error);
        return;
    }
    startTool(*command, tag);
}

// F5: Make, and once the build has ended (no five-second wait) the emulator
// with the program, when the build made one.
void Form1::run_Key() {
    if (startBuild(RunSlot))
        m_runner->awaitResult(RunSlot);
}

void Form1::runBuiltProgram(const BuildRunner::Build &build) {
    const QString program = Locations(m_services.root).builtProgram(build.programName);
    if (!build.succeeded(program))
        inform(tr("Errors were found."));
    else
        startEmulator(program, RunEmulatorTool);
}

// Reads the log into the output window and shows it without taking the
// keyboard from the editor; the lines it names get their marks.
bool Form1::showAssemblerLog(const BuildRunner::Build &build) {
    QString text;
    if (auto error =
            readShownLog(buildLogToShow(build, Locations(m_services.root).assemblerLog()), &text)) {
        report(*error);
        return false;
    }
    if (!build.outputs.log.isEmpty())
        QFile::remove(build.outputs.log);
    // The build's errors and warnings: the values the kit's assembler wrote
    // for this build, else the log's lines.
    const QString source = build.source.isEmpty() ? m_file.path() : build.source;
    m_logFolder = QFileInfo(source).absolutePath();
    m_lastProblems = buildProblems(text, m_logFolder,
                                   Locations(m_services.root).buildDiagnostics(build.programName),
                                   build.started);
    // An include's build says which program it built; a tests file's program is its namesake.
    const bool testsFile =
        QFileInfo(build.document).suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) ==
        0;
    if (!build.document.isEmpty() && !testsFile &&
        samePathKey(build.document) != samePathKey(build.source)) {
        const QDir folder = QFileInfo(build.source).absoluteDir();
        const QString include = folder.relativeFilePath(build.document);
        text.prepend(tr("Building %1, which includes %2\n")
                         .arg(QFileInfo(build.source).fileName(),
                              include.startsWith(QLatin1String("../")) ? build.document : include));
    }
    text.prepend(includeHint(build));
    Form3 *output = ensureForm3();
    const auto firstError = std::find_if(m_lastProblems.begin(), m_lastProblems.end(),
                                         [](const BuildProblem &p) { return p.error; });
    output->setText(text, firstError == m_lastProblems.end() ? -1 : logLineOf(text, *firstError));
    output->showAndRaise(false);
    m_lastLog = text;
    m_extras->markBuild(m_lastProblems, m_file.path());
    sayBuild();
    return true;
}

// A line of the log that names a file and line: that line, in the current
// document or in the file it names (asked about unsaved text first).
void Form1::form3_LineActivated(const QString &line) {
    const QString folder =
        m_logFolder.isEmpty() ? QFileInfo(m_file.path()).absolutePath() : m_logFolder;
    const auto said = std::find_if(m_lastProblems.begin(), m_lastProblems.end(),
                                   [&](const BuildProblem &p) { return p.said == line.trimmed(); });
    const auto entry = parseLogLine(line); // another assembler's line, a line of an older log
    if (said == m_lastProblems.end() && !entry)
        return;
    const QString path = said != m_lastProblems.end() ? said->file : logEntryPath(*entry, folder);
    if (!m_file.is(path) && (!maybeSave() || !openFile(path)))
        return;
    m_extras->showLine(said != m_lastProblems.end() ? said->line : entry->line);
    activateWindow();
    raise();
    Text1->setFocus();
    if (m_form3)
        m_form3->raise(); // the log stays in sight, beside the line it led to
}

// The link program's failures are told whenever it ends; the emulator's only
// when it ends within ten seconds (later, the user has closed it).
bool Form1::startTool(const Command &command, ToolTag tag) {
    const StartResult started = m_runner->startTool(
        command, true, tag, tag == LinkTool ? -1 : 10000, tag == RunEmulatorTool);
    if (!started.ok()) {
        const QString what = tag == LinkTool ? tr("The link program %1 could not be started: %2")
                                             : tr("The emulator %1 could not be started: %2");
        inform(what.arg(command.program,
                        tr("Error %1: %2").arg(started.errorNumber).arg(started.errorDescription)));
    }
    return started.ok();
}

// Ctrl+Shift+T: saves as Make does, then runs the tests of the document's
// program (NAME.tests beside it, or the document itself when it is one) off
// the window's thread; the output window says it has started and, at the
// end, shows the failures and the summary.
void Form1::test_Key() {
    if (m_file.untitled() ? !saveWithDialog() : !save_doc(m_file.path()))
        return;
    const QString document = QFileInfo(m_file.path()).absoluteFilePath();
    const QString tests = testsFileFor(
        QFileInfo(document).suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) == 0
            ? document
            : m_programs.programFor(document, Text1->text(0).toUtf8()));
    Form3 *output = ensureForm3();
    if (!QFileInfo(tests).isFile()) {
        output->setText(tr("No tests to run: %1 does not exist. Write the program's tests in it "
                           "(test \"NAME\", call LABEL with a=1, expect hl=2).\n")
                            .arg(QDir::toNativeSeparators(tests)));
        output->showAndRaise(false);
        tell(tr("Tests: no tests file"));
        return;
    }
    output->setText(tr("Running the tests in %1...\n").arg(QFileInfo(tests).fileName()));
    output->showAndRaise(false);
    m_tests->start(tests, m_services.root);
}

void Form1::tests_Finished(const QString &testsFile, const QString &report) {
    Form3 *output = ensureForm3();
    output->setText(report);
    output->showAndRaise(false);
    m_lastLog = report;
    m_logFolder = QFileInfo(testsFile).absolutePath();
    m_lastProblems = buildProblems(report, m_logFolder, {}, {});
    m_extras->markBuild(m_lastProblems, m_file.path());
}
