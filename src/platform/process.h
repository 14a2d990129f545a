#pragma once
// Program search and detached process start. A started process runs on its
// own: it is never stopped by us and outlives the editor. The editor can ask a
// ProcessWatch whether the process has ended, and is told when it does.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Tells when one started process has ended. The real one reaps the process so
// that it leaves no zombie behind.
class ProcessWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isRunning() const = 0;
signals:
    void ended();
};

struct StartResult {
    std::shared_ptr<ProcessWatch> watch; // empty when the start failed
    int errorNumber = 0;
    QString errorDescription;
    bool ok() const { return watch != nullptr; }
};

// Starts programs; the windows receive one so that tests can script it.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts `program` with `arguments` (no shell), in `workingFolder` when it is
    // not empty, else in the editor's own current folder.
    virtual StartResult start(const QString &program, const QStringList &arguments,
                              const QString &workingFolder) = 0;
};

// Starts real processes: new session, standard input from /dev/null.
class SystemProcessStarter : public ProcessStarter {
public:
    StartResult start(const QString &program, const QStringList &arguments,
                      const QString &workingFolder) override;
};

// The first executable regular file named `name` in `folders`, then along PATH;
// empty when there is none. A name with a slash is taken as a path as it is.
QString findProgram(const QString &name, const QStringList &folders);
bool isExecutableFile(const QString &path);
