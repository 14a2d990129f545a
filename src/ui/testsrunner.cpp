#include "ui/testsrunner.h"

#include "check/report.h"
#include "ui/testsupport.h"

#include <QFileInfo>
#include <QThread>

struct TestsRunner::Work {
    QString file, root;
    std::atomic<bool> cancel{false};
    check::FileResult result;
};

TestsRunner::TestsRunner(QObject *parent) : QObject(parent) {}

TestsRunner::~TestsRunner() {
    stop();
}

void TestsRunner::stop() {
    if (!m_thread)
        return;
    m_work->cancel = true;
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_work.reset();
}

void TestsRunner::start(const QString &testsFile, const QString &root) {
    stop();
    auto work = std::make_shared<Work>();
    work->file = testsFile;
    work->root = root;
    m_work = work;
    m_thread = QThread::create([work] {
        PngPictureFiles pictures;
        check::SuiteOptions options;
        options.pictures = &pictures;
        options.assembler = testAssemblerOptions(work->root);
        options.cancel = &work->cancel;
        const QFileInfo info(work->file);
        options.workingFolder = info.absolutePath().toStdString();
        z80::DiskReader reader;
        work->result = check::runTestsFile(info.fileName().toStdString(), reader, options);
    });
    connect(m_thread, &QThread::finished, this, [this, work] { done(work); });
    m_thread->start();
}

void TestsRunner::done(const std::shared_ptr<Work> &work) {
    if (work != m_work)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_work.reset();
    QStringList lines;
    for (const std::string &line : check::textReport({work->result}))
        lines << QString::fromStdString(line);
    QList<Mark> marks;
    for (const check::TestResult &r : work->result.results)
        marks.append({r.line, r.passed(),
                      r.passed() ? tr("passed")
                                 : QString::fromStdString(r.failures.front().at + ": " +
                                                          r.failures.front().message)});
    emit finished(work->file, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'), marks);
}

QString testsFileFor(const QString &program) {
    const QFileInfo info(program);
    if (info.suffix().compare(QLatin1String("tests"), Qt::CaseInsensitive) == 0)
        return info.absoluteFilePath();
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QLatin1String(".tests");
}
