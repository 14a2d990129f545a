#pragma once
// Ctrl+Shift+T's work: a program's tests run off the window's thread (a
// test may run for seconds of calculator time), then the report for the
// output window and each test's line with how it went, for the tests
// file's margin. A new run, or the window closing, stops the one under way.

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

class TestsRunner : public QObject {
    Q_OBJECT
public:
    struct Mark {
        int line; // the test's `test` line, from 1
        bool passed;
        QString message; // its first failure, or "passed"
    };
    explicit TestsRunner(QObject *parent = nullptr);
    ~TestsRunner() override;
    // Runs the tests in `testsFile` (a whole path) with the kit of the tree at `root`.
    void start(const QString &testsFile, const QString &root);
    bool running() const { return m_thread != nullptr; }

signals:
    void finished(const QString &testsFile, const QString &report, const QList<Mark> &marks);

private:
    struct Work;
    void stop();
    void done(const std::shared_ptr<Work> &work);

    QThread *m_thread = nullptr;
    std::shared_ptr<Work> m_work;
};

// The NAME.tests a document's tests are in: itself when it is one, else the
// one beside its program (`program`, a whole path).
QString testsFileFor(const QString &program);
