#include "process.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
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

constexpr qsizetype kErrorTail = 4096;

// Watches a child of ours: a pidfd becomes readable when the child ends; where
// pidfds are missing, a short poll does the same. Either way waitpid reaps it.
// A captured error output is read as it comes, keeping its last part.
class ChildWatch : public ProcessWatch {
public:
    ChildWatch(pid_t pid, int errorFd) : m_pid(pid), m_errorFd(errorFd) {
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
        if (m_errorFd >= 0) {
            ::fcntl(m_errorFd, F_SETFL, ::fcntl(m_errorFd, F_GETFL) | O_NONBLOCK);
            m_errors = new QSocketNotifier(m_errorFd, QSocketNotifier::Read, this);
            connect(m_errors, &QSocketNotifier::activated, this, &ChildWatch::drainErrors);
        }
    }
    ~ChildWatch() override {
        closeFd(m_pidfd);
        closeFd(m_errorFd);
        // A child still running is left to run; the system reaps it once we exit.
    }
    bool isRunning() const override {
        const_cast<ChildWatch *>(this)->check();
        return m_running;
    }
    ProcessEnd end() const override {
        return m_end;
    }
    QByteArray errorOutput() const override {
        return m_tail;
    }

private:
    // A notifier may be the one whose signal is running: it goes later.
    static void retire(QSocketNotifier *&notifier) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        notifier = nullptr;
    }
    static void closeFd(int &fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    void check() {
        if (!m_running)
            return;
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == 0)
            return;
        m_running = false; // ended and reaped (or, on error, no longer ours)
        if (r == m_pid)
            m_end = WIFSIGNALED(status) ? ProcessEnd{true, WTERMSIG(status), false}
                                        : ProcessEnd{false, WEXITSTATUS(status), false};
        else
            m_end = ProcessEnd{false, 0, true};
        retire(m_notifier);
        closeFd(m_pidfd);
        if (m_poll)
            m_poll->stop();
        drainErrors();
        retire(m_errors);
        closeFd(m_errorFd);
        emit ended();
    }
    void drainErrors() {
        char buffer[4096];
        while (m_errorFd >= 0) {
            const ssize_t n = ::read(m_errorFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0 && m_errors) // the writer closed it
                    m_errors->setEnabled(false);
                return;
            }
            m_tail.append(buffer, n);
            if (m_tail.size() > kErrorTail)
                m_tail.remove(0, m_tail.size() - kErrorTail);
        }
    }

    pid_t m_pid;
    int m_pidfd = -1;
    int m_errorFd = -1;
    bool m_running = true;
    ProcessEnd m_end;
    QByteArray m_tail;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_errors = nullptr;
    QTimer *m_poll = nullptr;
};

// The spawn settings, each step checked; destroyed on every way out.
class SpawnSetup {
public:
    SpawnSetup() {
        m_rc = posix_spawn_file_actions_init(&m_actions);
        m_haveActions = m_rc == 0;
        if (m_rc == 0)
            m_rc = posix_spawnattr_init(&m_attr);
        m_haveAttr = m_rc == 0 && m_haveActions;
    }
    ~SpawnSetup() {
        if (m_haveActions)
            posix_spawn_file_actions_destroy(&m_actions);
        if (m_haveAttr)
            posix_spawnattr_destroy(&m_attr);
    }
    // Runs `step` unless an earlier one failed.
    template <typename Step> void then(Step step) {
        if (m_rc == 0)
            m_rc = step();
    }
    int rc() const { return m_rc; }
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attr;

private:
    int m_rc = 0;
    bool m_haveActions = false;
    bool m_haveAttr = false;
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
                                        const StartOptions &options) {
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

    // The editor's environment, with the entries asked for put in.
    std::vector<QByteArray> envStorage;
    for (const QString &entry : options.environment)
        envStorage.push_back(QFile::encodeName(entry));
    std::vector<char *> env;
    for (char **e = environ; *e; ++e) {
        const char *eq = std::strchr(*e, '=');
        const QByteArray name(*e, eq ? eq - *e + 1 : qsizetype(std::strlen(*e)));
        const bool replaced = std::any_of(envStorage.begin(), envStorage.end(),
                                          [&](const QByteArray &x) { return x.startsWith(name); });
        if (!replaced)
            env.push_back(*e);
    }
    for (QByteArray &entry : envStorage)
        env.push_back(entry.data());
    env.push_back(nullptr);

    int errorPipe[2] = {-1, -1};
    if (options.captureErrors && ::pipe2(errorPipe, O_CLOEXEC) != 0)
        return fail(errno);
    auto closePipe = [&] {
        for (int &fd : errorPipe)
            if (fd >= 0)
                ::close(fd);
    };

    SpawnSetup s;
    s.then([&] {
        return posix_spawn_file_actions_addopen(&s.m_actions, 0, "/dev/null", O_RDONLY, 0);
    });
    // A tool may give its reason on either: both go to the one pipe.
    if (errorPipe[1] >= 0) {
        s.then([&] { return posix_spawn_file_actions_adddup2(&s.m_actions, errorPipe[1], 1); });
        s.then([&] { return posix_spawn_file_actions_adddup2(&s.m_actions, errorPipe[1], 2); });
    }
    const QByteArray folder = QFile::encodeName(options.workingFolder);
    if (!options.workingFolder.isEmpty())
        s.then(
            [&] { return posix_spawn_file_actions_addchdir_np(&s.m_actions, folder.constData()); });
    // Its own session: no signal of ours or of our terminal reaches it. Default
    // signal handling and an empty mask, whatever the editor has set.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    s.then([&] { return posix_spawnattr_setsigmask(&s.m_attr, &none); });
    s.then([&] { return posix_spawnattr_setsigdefault(&s.m_attr, &all); });
    s.then([&] {
        return posix_spawnattr_setflags(&s.m_attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                       POSIX_SPAWN_SETSIGDEF);
    });
    pid_t pid = -1;
    // A bare name is looked up along PATH, as a shell would.
    s.then([&] {
        return program.contains(QLatin1Char('/'))
                   ? posix_spawn(&pid, argv[0], &s.m_actions, &s.m_attr, argv.data(), env.data())
                   : posix_spawnp(&pid, argv[0], &s.m_actions, &s.m_attr, argv.data(), env.data());
    });
    if (s.rc() != 0) {
        closePipe();
        return fail(s.rc());
    }
    if (errorPipe[1] >= 0)
        ::close(errorPipe[1]);
    result.watch = std::make_shared<ChildWatch>(pid, errorPipe[0]);
    return result;
}
