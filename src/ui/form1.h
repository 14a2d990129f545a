#pragma once
// The main window: the editor, the menus, the two result timers and the file
// dialog. The document's file (its path, encoding and line ends) is the
// CurrentFile's; the dialog is handed a copy of the path to start from. Each
// menu item, timer and window event has one short handler.

#include "core/programrecord.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "toolchain/buildrunner.h"
#include "ui/buildproblems.h"
#include "ui/currentfile.h"
#include "ui/services.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class QsciScintilla;
class QSessionManager;
class QTimer;
class Breakpoints;
class DebugController;
class EditorExtras;
class Form2;
class Form3;
class Language;
class ReloadWatch;
class Rename;
class StatusLine;
class SymbolList;
class RecoveryKeeper;
struct RecoveryCopy;
class TestsRunner;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(const Services &services);
    ~Form1() override;

    QsciScintilla *Text1;
    QTimer *Timer1; // result of Make
    QTimer *Timer2; // result of Make and Send
    CommonDialog CommonDialog1; // its FileName is only the dialog's: the last one shown

    // Move text between a file and the editor; false (after reporting, or when
    // the user declines) on failure.
    bool open_doc(const QString &filename);
    bool save_doc(const QString &filename);
    // Opens a file as Open does once a file is chosen: it becomes current
    // only when it could be read.
    bool openFile(const QString &filename);
    // The same for a file named at start-up, which may not exist yet.
    bool openOrCreate(const QString &filename);
    const CurrentFile &currentFile() const { return m_file; }

    Form2 *form2() const { return m_form2.get(); }
    Form3 *form3() const; // null until first used
    BuildRunner *runner() const { return m_runner; }
    TestsRunner *testsRunner() const { return m_tests; }
    EditorExtras *extras() const { return m_extras; }

    // Menu and timer handlers.
    void newdoc_Click(const QByteArray &templatePath);
    void newEmpty(); // File > New when there are no templates
    void open_Click();
    void save_Click();
    void saveas_Click();
    void exit_Click();
    void selall_Click();
    void prefs_Click();
    void makeprog_Click();
    void makesend_Click();
    void viewout_Click();
    void startcalc_Click();
    void run_Key();       // F5: make, then start the emulator with the program
    void runWindow_Key(); // Ctrl+F5: Make, then run the program in a window
    void makeKey();       // Ctrl+B: Make, the log as soon as the build ends
    void makesendKey();   // Ctrl+Shift+B: Make and Send, as soon as the build ends
    void nextProblem();   // F8: the next error or warning of the last build or check
    void previousProblem();
    void showHelp();      // F1: the keys and where things live
    void quickOpen();     // Ctrl+P: the program's files and recent ones
    void reopenPrevious(); // Ctrl+Shift+R: the file open before this one
    void reopenAtStart();  // Ctrl+Alt+R: whether a start reopens the last file
    // At start with no file named: opens the file worked on last, unless
    // QUORVIN_REOPEN_LAST is 0 or Ctrl+Alt+R turned it off. False when none
    // was opened.
    bool reopenLastFile();
    StatusLine *statusLine() const { return m_status; }
    void test_Key();      // Ctrl+Shift+T: save, then run the program's tests
    void Timer1_Timer();
    void Timer2_Timer();

    // A message at start-up: shown once the window is on the screen, over it.
    void informWhenShown(const QString &text);

    // The desktop session ends: true when it may go on. With `interactive`,
    // unsaved text is asked about; without, it is saved.
    bool commitData(bool interactive);

    // A signal that ends the program: the unsaved text is kept in its
    // recovery copy at once, then the event loop ends with 128 + the number.
    void endBySignal(int signalNumber);
    RecoveryKeeper *recovery() const { return m_recovery; }
    // Makes SIGTERM, SIGHUP and SIGINT end the program by endBySignal.
    void endOnTerminationSignals();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    enum Slot { MakeSlot, SendSlot, RunSlot };
    enum ToolTag { LinkTool = 1, EmulatorTool, RunEmulatorTool }; // the last: F5's

    void Form_Load();
    void createActions();
    void session_CommitData(QSessionManager &manager);
    void runner_Finished(const BuildRunner::Build &build);
    void runWindow_Built(const BuildRunner::Build &build);
    void runner_BuildEnded(const BuildRunner::Build &build);
    void runner_ToolFailed(const QString &program, const ProcessEnd &end, const QByteArray &output,
                           int tag);
    void form3_LineActivated(const QString &line);
    void tests_Finished(const QString &testsFile, const QString &report);
    bool maybeSave();
    bool saveWithDialog();
    bool mayOverwrite(const QString &filename);
    bool startBuild(Slot slot);
    // The program the document is an include of, or empty.
    QString includingProgram() const;
    // The labels file of the last good build of the document's program.
    QString builtLabels() const;
    bool showAssemblerLog(const BuildRunner::Build &build);
    void sendBuiltProgram(const BuildRunner::Build &build);
    Form3 *ensureForm3();
    bool startTool(const Command &command, ToolTag tag);
    void startEmulator(const QString &builtProgram, ToolTag tag = EmulatorTool);
    // F5's emulator that failed or closed at once: said, with Ctrl+F5 offered.
    void runEmulatorEnded(const QString &program, const ProcessEnd &end, const QString &lastLines);
    // For a failed build of a file no program is known to include: how to name its program.
    QString includeHint(const BuildRunner::Build &build) const;
    void runBuiltProgram(const BuildRunner::Build &build);
    void report(const FileError &error);
    void inform(const QString &text);
    void informStartMessages();
    bool recoverText(const RecoveryCopy &copy);

    // What form1additions.cpp adds: the status line and the keys beyond the menus.
    void addEditorAdditions(Language *language);
    void sayBuild();
    QString documentName() const; // as questions name it
    void tell(const QString &text); // on the status line
    void walkProblems(bool forward);
    // What form1debug.cpp adds: breakpoints in the margin and the debugger's keys.
    void addDebugging();
    void debugKey(void (DebugController::*step)());
    void addBreakpointMenu();
    void debugFileShown(bool sameText);
    void keepBreakpoints();
    void takeKeptBreakpoints(const QString &path);
    void keepWatches(const QStringList &expressions);

    Services m_services;
    std::unique_ptr<Form2> m_form2;
    QPointer<Form3> m_form3;
    QMenu *m_newMenu = nullptr;
    BuildRunner *m_runner;
    ProgramRecord m_programs;
    EditorExtras *m_extras;
    TestsRunner *m_tests;
    // The last log a build showed, the folder its relative names start from,
    // and the errors and warnings of that build.
    QString m_lastLog, m_logFolder;
    QList<BuildProblem> m_lastProblems;
    CurrentFile m_file;
    QStringList m_startMessages; // for when the window is shown
    Language *m_language = nullptr;
    StatusLine *m_status = nullptr;
    ReloadWatch *m_reload = nullptr;
    SymbolList *m_quickOpen = nullptr;
    Rename *m_rename = nullptr;
    QString m_buildSaid, m_checkSaid; // what the status line says of each
    QString m_walkedLog;              // the log F8 walks, and where it stands
    int m_problem = -1;
    RecoveryKeeper *m_recovery;
    QMetaObject::Connection m_runWindowWait; // Ctrl+F5 waits for its build
    quint64 m_runBuild = 0;                  // which one: a later Make replaces it
    Breakpoints *m_breakpoints = nullptr;
    DebugController *m_debug = nullptr;
    bool m_debugFromStart = false; // the run Ctrl+F5 starts pauses before its first statement
    // The breakpoints' and watches' files as this editor last read or wrote them.
    QHash<QString, QList<QByteArray>> m_keptEntries;
    QStringList m_keptWatches;
    QString m_templateTests;     // the tests of the template the document came from, till saved
};
