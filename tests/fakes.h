#pragma once
// Scripted stand-ins for the dialogs and the process starter, a temporary
// folder tree that takes the place of ~/Asm, and small file helpers. Helpers
// that can fail return whether they worked, for the caller to QVERIFY.

#include "core/locations.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "ui/editor.h"
#include "ui/form1.h"
#include "ui/services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include <deque>
#include <functional>
#include <memory>
#include <sys/stat.h>

class FakeMessageBox : public MessageBox {
public:
    QStringList shown;              // every text, informations and questions alike
    std::deque<Answer> answers;     // scripted answers to askSave
    std::deque<bool> confirmations; // scripted answers to confirm
    std::function<void()> onInform; // runs inside an information box
    QList<bool> overShownWindow;    // for each information: its window was on the screen
    void inform(QWidget *parent, const QString &text) override {
        shown << text;
        overShownWindow << (parent && parent->isVisible());
        if (onInform)
            onInform();
    }
    std::function<void()> onAskSave; // runs while the question is up
    Answer askSave(QWidget *, const QString &text) override {
        shown << text;
        if (onAskSave)
            onAskSave();
        return next(answers, Answer::Cancel);
    }
    bool confirm(QWidget *, const QString &text, const QString &) override {
        shown << text;
        return next(confirmations, false);
    }
    std::deque<std::optional<int>> numbers; // scripted answers to askNumber
    std::optional<int> askNumber(QWidget *, const QString &, const QString &label, int, int,
                                 int) override {
        shown << label;
        return next(numbers, std::optional<int>());
    }
    std::deque<std::optional<QString>> textAnswers; // scripted answers to askText
    std::optional<QString> askText(QWidget *, const QString &, const QString &label,
                                   const QString &) override {
        shown << label;
        return next(textAnswers, std::optional<QString>());
    }
    std::deque<int> choices; // scripted answers to choose
    int choose(QWidget *, const QString &text, const QStringList &) override {
        shown << text;
        return next(choices, -1);
    }
    QStringList texts; // what showText showed
    void showText(QWidget *, const QString &, const QString &text) override { texts << text; }

private:
    template <typename T> static T next(std::deque<T> &script, T fallback) {
        if (script.empty()) {
            QTest::qFail("an unexpected question was asked", __FILE__, __LINE__);
            return fallback;
        }
        const T a = script.front();
        script.pop_front();
        return a;
    }
};

class FakePicker : public FilePicker {
public:
    struct Call {
        bool save;
        QString initialSelection;
        QList<FileFilter> filters;
    };
    QList<Call> calls;
    std::deque<std::optional<QString>> answers; // nullopt: the user cancels
    std::function<void()> onShow;               // runs while the dialog is up
    int chosen = 0;                             // the filter entry the user picks
    int chosenFilter() const override { return chosen; }
    std::optional<QString> getOpenFileName(QWidget *, const QList<FileFilter> &f,
                                           const QString &initial) override {
        return answer(false, f, initial);
    }
    std::optional<QString> getSaveFileName(QWidget *, const QList<FileFilter> &f,
                                           const QString &initial) override {
        return answer(true, f, initial);
    }

private:
    std::optional<QString> answer(bool save, const QList<FileFilter> &f, const QString &initial) {
        calls.append({save, initial, f});
        if (onShow)
            onShow();
        if (answers.empty()) {
            QTest::qFail("an unexpected file dialog was shown", __FILE__, __LINE__);
            return std::nullopt;
        }
        const bool cancelled = !answers.front();
        const QString name = answers.front().value_or(QString());
        answers.pop_front();
        if (cancelled)
            return std::nullopt;
        return name;
    }
};

// A process that ends when the test says so.
class FakeWatch : public ProcessWatch {
public:
    bool running = true;
    ProcessEnd how;
    QByteArray errors;
    bool isRunning() const override { return running; }
    ProcessEnd end() const override { return how; }
    QByteArray errorOutput() const override { return errors; }
    void finish(ProcessEnd e = {}) {
        running = false;
        how = e;
        emit ended();
    }
};

class FakeStarter : public ProcessStarter {
public:
    struct Call {
        QString program;
        QStringList arguments;
        StartOptions options;
    };
    QList<Call> calls;
    int failWith = 0;                          // an errno to fail the next starts with
    bool endAtOnce = true;                     // whether started processes have already ended
    std::function<void(const Call &)> onStart; // what the "process" does
    std::shared_ptr<FakeWatch> lastWatch;
    StartResult start(const QString &program, const QStringList &arguments,
                      const StartOptions &options) override {
        calls.append({program, arguments, options});
        StartResult r;
        if (failWith) {
            r.errorNumber = failWith;
            r.errorDescription = QString::fromLocal8Bit(strerror(failWith));
            return r;
        }
        if (onStart)
            onStart(calls.last());
        lastWatch = std::make_shared<FakeWatch>();
        lastWatch->running = !endAtOnce;
        r.watch = lastWatch;
        return r;
    }
};

[[nodiscard]] inline bool writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

[[nodiscard]] inline bool makeExecutable(const QString &path, const QByteArray &script) {
    return writeBytes(path, script) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

[[nodiscard]] inline bool makeFifo(const QString &path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Opens a FIFO for writing and closes it: a script blocked reading it goes on.
[[nodiscard]] inline bool openGate(const QString &fifo) {
    QFile f(fifo);
    return f.open(QIODevice::WriteOnly);
}

inline QByteArray editorText(QsciScintilla *editor) {
    const EditorBytes b = editorBytes(editor);
    return QByteArray(b.data, b.size);
}

// How long a test waits for something to happen: runs go at the
// calculator's speed in slices of the event loop, builds and analyses in
// processes and threads, and on a machine busy with other builds they take
// longer than Qt's default of 5 s. Only a failing test waits this long.
constexpr int kWaitMs = 30000;

// Waits until the window is the one in front, which keys go to. Under the
// offscreen platform QTest::qWaitForWindowActive only waits for the window
// to be shown: the activation arrives later through the event queue, and a
// shortcut pressed before it reaches the window that had been in front.
inline bool waitActive(QWidget *w, int timeoutMs = kWaitMs) {
    return QTest::qWaitFor([w] { return QApplication::activeWindow() == w->window(); },
                           timeoutMs);
}

// An empty program search path while it lives, so that no asm.bat on the
// machine is found.
struct NoSearchPath {
    QByteArray old = qgetenv("PATH");
    NoSearchPath() { qputenv("PATH", "/nonexistent"); }
    ~NoSearchPath() { qputenv("PATH", old); }
};

// A temporary root with the standard folders, and the fakes wired into Services.
struct TestTree {
    QTemporaryDir dir;
    FakeMessageBox messages;
    FakePicker picker;
    FakeStarter starter;
    TestTree() {
        for (const char *folder : {"TASM/Templates", "Exec", "Source", "bin"})
            QDir(dir.path()).mkpath(QLatin1String(folder));
    }
    QString root() const { return dir.path(); }
    Locations places() const { return Locations(root()); }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    Services services(ProcessStarter *s = nullptr) {
        Services sv;
        sv.root = root();
        sv.programFolder = path(QStringLiteral("bin"));
        sv.messages = &messages;
        sv.picker = &picker;
        sv.starter = s ? s : &starter;
        sv.analysisDelayMs = 20; // tests wait for each analysis, not for a typist
        return sv;
    }
};

// The main window over a fresh temporary tree: window tests call setUp from
// their init and tearDown from their cleanup.
struct WindowFixture {
    std::unique_ptr<TestTree> tree;
    std::unique_ptr<Form1> window;
    SystemProcessStarter realStarter;

    void setUp() { tree = std::make_unique<TestTree>(); }
    // Every scripted answer must have been used.
    void tearDown() {
        window.reset();
        QVERIFY2(tree->messages.answers.empty() && tree->messages.confirmations.empty() &&
                     tree->messages.numbers.empty() && tree->messages.choices.empty() &&
                     tree->messages.textAnswers.empty(),
                 "a scripted answer was not used");
        QVERIFY2(tree->picker.answers.empty(), "a scripted file choice was not used");
        tree.reset();
    }
    Form1 &makeWindow(bool realProcesses = false, int delayMs = 5000) {
        Services s = tree->services(realProcesses ? &realStarter : nullptr);
        s.resultDelayMs = delayMs;
        window = std::make_unique<Form1>(s);
        return *window;
    }
    // Writes a source below the tree and opens it as the current document, as Open does.
    [[nodiscard]] bool openSource(const QString &relative, const QByteArray &content) {
        const QString path = tree->path(relative);
        return writeBytes(path, content) && window->open_doc(path);
    }
    QByteArray text() const { return editorText(window->Text1); }
    QStringList &shown() { return tree->messages.shown; }
};
