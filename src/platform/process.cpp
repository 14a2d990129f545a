#include "process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Watches a child of ours: a pidfd becomes readable when the child ends; where
// pidfds are missing, a short poll does the same. Either way waitpid reaps it.
class ChildWatch : public ProcessWatch {
public:
    explicit ChildWatch(pid_t pid) : m_pid(pid) {
#ifdef SYS_pidfd_open
        m_pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
#endif
        if (m_pidfd >= 0) {
            m_notifier = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &ChildWatch::check);
        } else {
            m_poll = new QTimer(this);
            m_poll->setInterval(100);
            connect(m_poll, &QTimer::timeout, this, &ChildWatch::check);
            m_poll->start();
        }
        check();
    }
    ~ChildWatch() override {
        if (m_pidfd >= 0)
            ::close(m_pidfd);
        // A child still running is left to run; the system reaps it once we exit.
    }
    bool isRunning() const override {
        const_cast<ChildWatch *>(this)->check();
        return m_running;
    }

private:
    void check() {
        if (!m_running)
            return;
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == 0)
            return;
        m_running = false; // ended and reaped (or, on error, no longer ours)
        if (m_notifier)
            m_notifier->setEnabled(false);
        if (m_poll)
            m_poll->stop();
        emit ended();
    }

    pid_t m_pid;
    int m_pidfd = -1;
    bool m_running = true;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
};

} // namespace

bool isExecutableFile(const QString &path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(native.constData(), X_OK) == 0;
}

QString findProgram(const QString &name, const QStringList &folders) {
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/')))
        return isExecutableFile(name) ? name : QString();
    QStringList search = folders;
    const QString path = qEnvironmentVariable("PATH");
    for (const QString &dir : path.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        search << dir;
    for (const QString &dir : search) {
        if (dir.isEmpty())
            continue;
        const QString candidate = QDir(dir).absoluteFilePath(name);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return {};
}

StartResult SystemProcessStarter::start(const QString &program, const QStringList &arguments,
                                        const QString &workingFolder) {
    StartResult result;
    auto fail = [&](int err) {
        result.errorNumber = err;
        result.errorDescription = QString::fromLocal8Bit(std::strerror(err));
        return result;
    };
    if (program.isEmpty())
        return fail(ENOENT);

    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &a : arguments)
        storage.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const QByteArray folder = QFile::encodeName(workingFolder);
    if (!workingFolder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: no signal of ours or of our terminal reaches it. Default
    // signal handling and an empty mask, whatever the editor has set.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    // A bare name is looked up along PATH, as a shell would.
    const int rc = program.contains(QLatin1Char('/'))
                       ? posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ)
                       : posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return fail(rc);
    result.watch = std::make_shared<ChildWatch>(pid);
    return result;
}
