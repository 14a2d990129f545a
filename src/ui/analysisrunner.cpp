#include "analysisrunner.h"

AnalysisRunner::AnalysisRunner(QObject *parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(300);
    connect(&m_timer, &QTimer::timeout, this, &AnalysisRunner::start);
}

AnalysisRunner::~AnalysisRunner() {
    if (m_thread.joinable())
        m_thread.join();
}

void AnalysisRunner::schedule() {
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
    // The destructor waits for the thread, so `this` outlives it.
    m_thread = std::thread([this, generation = m_generation, input = std::move(input)] {
        const std::string path = input.path.toStdString();
        z80::DiskReader disk;
        z80::OverlayReader reader(disk, path, input.text.toStdString());
        auto result =
            std::make_shared<const z80::Analysis>(z80::analyse(path, reader, input.options));
        QMetaObject::invokeMethod(
            this, [this, generation, path = input.path, result] { done(generation, path, result); },
            Qt::QueuedConnection);
    });
}

void AnalysisRunner::done(quint64 generation, const QString &path,
                          std::shared_ptr<const z80::Analysis> result) {
    m_running = false;
    if (generation == m_generation) {
        m_last = std::move(result);
        m_lastPath = path;
        emit finished();
    } else if (m_waiting && !m_timer.isActive()) {
        start();
    }
}
