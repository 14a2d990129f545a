#include "analysisrunner.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// The document as part of its program when the program still includes it,
// else alone.
z80::Analysis analyseInput(const AnalysisRunner::Input &input, z80::FileReader &reader) {
    const std::string path = input.path.toStdString();
    if (!input.program.isEmpty()) {
        z80::AnalysisOptions options = input.options;
        options.reportUndefined = true;
        z80::Analysis whole = z80::analyse(input.program.toStdString(), reader, options);
        // A tests file is read by no program: its program's names are its own.
        const bool tests =
            QFileInfo(input.path).suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) ==
            0;
        if (tests || std::find(whole.filesRead.begin(), whole.filesRead.end(), path) !=
                         whole.filesRead.end())
            return whole;
    }
    return z80::analyse(path, reader, input.options);
}

} // namespace

AnalysisRunner::AnalysisRunner(QObject *parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(300);
    connect(&m_timer, &QTimer::timeout, this, &AnalysisRunner::start);
}

// A run still going stops at its next line: closing never waits for a whole one.
AnalysisRunner::~AnalysisRunner() {
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void AnalysisRunner::schedule() {
    if (m_running)
        m_cancel = true; // its result would be stale
    ++m_generation;
    m_waiting = true;
    m_timer.start();
}

// One run at a time: a change while one runs waits for it, and its result is
// dropped as stale.
void AnalysisRunner::start() {
    if (m_running || !m_waiting || !m_source)
        return;
    if (m_thread.joinable())
        m_thread.join();
    m_running = true;
    m_waiting = false;
    Input input = m_source();
    m_cancel = false;
    input.options.cancel = &m_cancel;
    // The destructor waits for the thread, so `this` outlives it.
    m_thread = std::thread([this, generation = m_generation, input = std::move(input)] {
        const std::string path = input.path.toStdString();
        z80::DiskReader disk;
        z80::OverlayReader reader(disk, path, input.text.toStdString());
        auto result = std::make_shared<const z80::Analysis>(analyseInput(input, reader));
        std::shared_ptr<const CompletionLists> completion;
        if (m_buildCompletion && !m_cancel)
            completion = std::make_shared<const CompletionLists>(m_buildCompletion(*result));
        QMetaObject::invokeMethod(
            this,
            [this, generation, path = input.path, result, completion] {
                done(generation, path, result, completion);
            },
            Qt::QueuedConnection);
    });
}

void AnalysisRunner::done(quint64 generation, const QString &path,
                          std::shared_ptr<const z80::Analysis> result,
                          std::shared_ptr<const CompletionLists> completion) {
    m_running = false;
    if (generation == m_generation) {
        m_last = std::move(result);
        m_lastCompletion = std::move(completion);
        m_lastPath = path;
        emit finished();
    } else if (m_waiting && !m_timer.isActive()) {
        start();
    }
}
