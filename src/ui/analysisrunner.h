#pragma once
// Runs the language library's analysis of the document off the window's
// thread: a pause in typing starts it on the document's text as it stands
// (the includes from disk), a later change supersedes a run still going, and
// the result is handed over on the window's thread. A change or closing
// stops a run going at its next line. It reads files and writes none.

#include "z80/analysis.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// What completion offers for an analysis: every name, and the ROM calls.
struct CompletionLists {
    QStringList all, romCalls;
};

class AnalysisRunner : public QObject {
    Q_OBJECT
public:
    explicit AnalysisRunner(QObject *parent = nullptr);
    ~AnalysisRunner() override;

    // What to analyse: the document's path, text and options, asked for when
    // a run starts.
    struct Input {
        QString path;
        QByteArray text;
        z80::AnalysisOptions options; // for the document checked alone
        // The program that includes the document, assembled with the
        // document's text in place of its file; empty for none.
        QString program;
    };
    void setSource(std::function<Input()> source) { m_source = std::move(source); }
    // Builds the completion lists of each analysis on the analysis's thread
    // (sorting 400,000 names takes seconds); set before the first run.
    void setCompletionBuilder(std::function<CompletionLists(const z80::Analysis &)> build) {
        m_buildCompletion = std::move(build);
    }
    std::shared_ptr<const CompletionLists> lastCompletion() const { return m_lastCompletion; }
    // The document changed: a run starts after the pause, unless it changes again first.
    void schedule();
    void setDelay(int ms) { m_timer.setInterval(ms); }
    std::shared_ptr<const z80::Analysis> last() const { return m_last; }
    const QString &lastPath() const { return m_lastPath; }

signals:
    void finished();

private:
    void start();
    void done(quint64 generation, const QString &path, std::shared_ptr<const z80::Analysis> result,
              std::shared_ptr<const CompletionLists> completion);

    QTimer m_timer;
    std::function<Input()> m_source;
    std::function<CompletionLists(const z80::Analysis &)> m_buildCompletion;
    std::shared_ptr<const CompletionLists> m_lastCompletion;
    quint64 m_generation = 0;
    bool m_running = false, m_waiting = false;
    std::atomic<bool> m_cancel{false}; // tells the run going to stop
    std::thread m_thread;
    std::shared_ptr<const z80::Analysis> m_last;
    QString m_lastPath;
};
