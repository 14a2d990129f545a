#pragma once
// Debugging a run window's program from the editor: the breakpoints of the
// editor's margin bound to the program's addresses through its source map
// (again after every build and whenever they change), the run paused at
// them, steps into, over, out and back, the paused line shown in the editor
// with an arrow (its file opened when it is another), and the debug pane
// beside the run window's screen.

#include "run/oscalllog.h"
#include "ui/debugsource.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class Breakpoints;
class DebugPane;
class RunWindow;

namespace run {
class Debugger;
struct Pause;
} // namespace run

class DebugController : public QObject {
    Q_OBJECT
public:
    // `showFile` brings a file into the editor (asking about unsaved changes
    // as opening one does); false when it is not shown.
    DebugController(Breakpoints *breakpoints, std::function<bool(const QString &)> showFile,
                    QObject *parent = nullptr);
    ~DebugController() override;

    // Debugs the run `window` has just started of the program file `program`;
    // names in its map without a folder are looked for in `sourceFolder`.
    // `paused`: stopped before its first statement.
    void attach(RunWindow *window, const QString &program, const QString &sourceFolder,
                bool paused = false);
    // Whether a run is being debugged and stands paused.
    bool active() const { return m_window && m_debugger; }
    bool paused() const;
    bool running() const;
    // Why the map could not be used, or empty.
    QString refusal() const { return m_refusal; }

    void continueRun();
    void stepInto();
    void stepOver();
    void stepOut();
    void stepBack();
    // Ends the run, or runs it again from its start with the same breakpoints.
    void stop();
    void restart();
    // Runs to the first statement of `line` of `file` (or the next with code).
    void runToLine(const QString &file, int line);
    // What a label's watch stops on: a write or a read of its byte, or of
    // its word (the byte and the next).
    struct LabelWatch {
        QString name;
        bool read = false;
        int bytes = 1;
        bool operator==(const LabelWatch &o) const {
            return name == o.name && read == o.read && bytes == o.bytes;
        }
    };
    // Stop after `watch` is met (this run and the next ones), or no longer;
    // false when the run's labels do not hold its name.
    bool toggleWatch(const LabelWatch &watch);
    bool watching(const LabelWatch &watch) const { return m_watches.contains(watch); }
    // The pane's watch expressions, kept for the next runs (and by the
    // editor across sessions).
    QStringList watchExpressions() const { return m_watchExpressions; }
    void setWatchExpressions(const QStringList &expressions);
    // Why `expression` cannot be a condition or a watch of the run being
    // debugged (its labels are known then), or empty.
    QString refusalOf(const QString &expression) const;
    // A register's, flag's or label's value in the paused run, for the
    // editor's hover; empty when nothing is paused or the name is none.
    QString valueNow(const QString &name) const;

signals:
    // The run paused where the map places `file`:`line` (an empty file when it does not).
    void pausedAt(const QString &file, int line);
    // The pane asks to see `line` of `file` (a caller's line).
    void goTo(const QString &file, int line);
    // The pane's watch expressions were edited.
    void watchExpressionsChanged(const QStringList &expressions);

private:
    enum class Mode { Run, Into, Over, Out, To };
    void start(); // a new session in the window, of the program as the build left it now
    void bind();
    void bindWatches(); // the labels' watches to their addresses, afresh
    void go(Mode mode, std::uint16_t target = 0);
    bool advance(std::uint64_t cycles);
    void show(const run::Pause &pause);
    QString describe(const run::Pause &pause) const;
    QString said(const QString &text) const; // after the map's refusal, if any

    Breakpoints *m_breakpoints;
    std::function<bool(const QString &)> m_showFile;
    QPointer<RunWindow> m_window;
    DebugPane *m_pane = nullptr;
    QString m_program;
    std::string m_folder;
    std::optional<DebugSource> m_source;
    QString m_refusal;
    // The application's page mapped at `address` when it is one of its
    // pages' addresses (4000h-7FFFh), else -1.
    int pageAt(std::uint16_t address) const;
    std::size_t m_programSize = 0;
    std::unique_ptr<run::Debugger> m_debugger;
    std::set<std::uint16_t> m_bound;
    QList<LabelWatch> m_watches;
    struct BoundWatch {
        std::uint16_t address;
        bool read;
        int bytes;
    };
    std::vector<BoundWatch> m_boundWatches; // as set in the debugger
    QStringList m_watchExpressions; // the pane's, kept for the next runs
    static constexpr std::size_t kOsCallsShown = 200; // the latest, in the pane
    Mode m_mode = Mode::Run;
    bool m_modeStarted = false; // the step has run a first time (then it resumes)
    bool m_going = false;       // go() is starting the window: its signal is ours
    std::uint16_t m_target = 0;
    // A run to a line on an application's page: that page is mapped.
    std::function<bool(const run::Machine &)> m_targetPage;
};
