#pragma once
// Scripted stand-ins for the dialogs and the process starter, and a temporary
// folder tree that takes the place of ~/Asm.

#include "core/locations.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "ui/editor.h"
#include "ui/form1.h"
#include "ui/services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

class FakeMessageBox : public MessageBox {
public:
    QStringList shown;              // every text, informations and questions alike
    std::deque<Answer> answers;     // scripted answers to askSave
    std::function<void()> onInform; // runs inside an information box
    void inform(QWidget *, const QString &text) override {
        shown << text;
        if (onInform)
            onInform();
    }
    Answer askSave(QWidget *, const QString &text) override {
        shown << text;
        if (answers.empty()) {
            QTest::qFail("an unexpected question was asked", __FILE__, __LINE__);
            return Answer::Cancel;
        }
        const Answer a = answers.front();
        answers.pop_front();
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
        if (answers.empty()) {
            QTest::qFail("an unexpected file dialog was shown", __FILE__, __LINE__);
            return std::nullopt;
        }
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// A process that ends when the test says so.
class FakeWatch : public ProcessWatch {
public:
    bool running = true;
    bool isRunning() const override { return running; }
    void finish() {
        running = false;
        emit ended();
    }
};

class FakeStarter : public ProcessStarter {
public:
    struct Call {
        QString program;
        QStringList arguments;
        QString folder;
    };
    QList<Call> calls;
    int failWith = 0;                          // an errno to fail the next starts with
    bool endAtOnce = true;                     // whether started processes have already ended
    std::function<void(const Call &)> onStart; // what the "process" does
    std::shared_ptr<FakeWatch> lastWatch;
    StartResult start(const QString &program, const QStringList &arguments,
                      const QString &folder) override {
        calls.append({program, arguments, folder});
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

// A temporary root with the standard folders, and the fakes wired into Services.
struct TestTree {
    QTemporaryDir dir;
    FakeMessageBox messages;
    FakePicker picker;
    FakeStarter starter;
    TestTree() {
        QDir(dir.path()).mkpath(QStringLiteral("TASM/Templates"));
        QDir(dir.path()).mkpath(QStringLiteral("Exec"));
        QDir(dir.path()).mkpath(QStringLiteral("Source"));
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
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
        return sv;
    }
};

inline void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

inline QByteArray readBytes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

inline void makeExecutable(const QString &path, const QByteArray &script) {
    writeBytes(path, script);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

inline QByteArray editorText(QsciScintilla *editor) {
    const EditorBytes b = editorBytes(editor);
    return QByteArray(b.data, b.size);
}

// Runs `action` with an empty program search path, so that no asm.bat on the
// machine is found.
template <typename Action> void withoutSearchPath(Action action) {
    const QByteArray old = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    action();
    qputenv("PATH", old);
}

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
        QVERIFY2(tree->messages.answers.empty(), "a scripted answer was not used");
        QVERIFY2(tree->picker.answers.empty(), "a scripted file choice was not used");
        tree.reset();
    }
    Form1 &makeWindow(bool realProcesses = false, int delayMs = 5000) {
        Services s = tree->services(realProcesses ? &realStarter : nullptr);
        s.resultDelayMs = delayMs;
        window = std::make_unique<Form1>(s);
        return *window;
    }
    // Opens a file as the current document, as Open does.
    void openSource(const QString &path) {
        QVERIFY(window->open_doc(path));
        window->CommonDialog1.FileName = path;
    }
    QByteArray text() const { return editorText(window->Text1); }
};
