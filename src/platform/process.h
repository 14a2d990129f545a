#pragma once
// Program search and process start. A started process runs on its own: it is
// never stopped by us and outlives the editor. A ProcessWatch tells when it has
// ended, how, and (when asked for) what it wrote to its error output.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// How a process ended.
struct ProcessEnd {
    bool signalled = false; // ended by a signal rather than by exiting
    int code = 0;           // the exit status, or the signal's number
    // The system reaped it before we could learn how it ended (SIGCHLD
    // ignored): never taken for success.
    bool unknown = false;
    bool failed() const { return signalled || code != 0 || unknown; }
};

// Tells when one started process has ended. The real one reaps the process so
// that it leaves no zombie behind. `ended` is only ever emitted from the event
// loop or from isRunning(), never while the watch is being made.
class ProcessWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isRunning() const = 0;
    // Meaningful once the process has ended.
    virtual ProcessEnd end() const { return {}; }
    // The last few KiB of what it wrote, standard and error output together,
    // when they were captured.
    virtual QByteArray errorOutput() const { return {}; }
signals:
    void ended();
};

struct StartResult {
    std::shared_ptr<ProcessWatch> watch; // empty when the start failed
    int errorNumber = 0;
    QString errorDescription;
    bool ok() const { return watch != nullptr; }
};

struct StartOptions {
    QString workingFolder;      // empty: the editor's own current folder
    bool captureErrors = false; // standard and error output, both
    QStringList environment;    // "NAME=value" entries set for the program
};

// Starts programs; the windows receive one so that tests can script it.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts `program` with `arguments`, without a shell.
    virtual StartResult start(const QString &program, const QStringList &arguments,
                              const StartOptions &options) = 0;
};

// Starts real processes: new session, standard input from /dev/null.
class SystemProcessStarter : public ProcessStarter {
public:
    StartResult start(const QString &program, const QStringList &arguments,
                      const StartOptions &options) override;
};

// The first executable regular file named `name` in `folders`, then along PATH;
// empty when there is none. A name with a slash is taken as a path as it is.
QString findProgram(const QString &name, const QStringList &folders);
bool isExecutableFile(const QString &path);
