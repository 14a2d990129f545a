#pragma once
// A window that runs a built program: the calculator's 96x64 screen scaled up
// with crisp pixels, the calculator's keys on the PC keyboard, at the
// calculator's speed (paced by the wall clock) or as fast as it can. The run
// ends with the program's last screen kept and the reason shown.

#include "run/session.h"
#include "ui/gifwriter.h"
#include "ui/runsupport.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <memory>

class FilePicker;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class RunKeypad;
class QTimer;

class RunScreen : public QWidget {
    Q_OBJECT
public:
    explicit RunScreen(QWidget *parent = nullptr);
    void show(const run::Lcd &lcd);
    // The picture shown now, 96x64.
    const QImage &image() const { return m_image; }
    QSize sizeHint() const override { return {96 * 4 + 2, 64 * 4 + 2}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QImage m_image;
};

class RunWindow : public QWidget {
    Q_OBJECT
public:
    // Runs the program file `path` at once.
    explicit RunWindow(const QString &path, QWidget *parent = nullptr);
    ~RunWindow() override;
    run::Session &session() { return *m_session; }
    // Clock cycles run so far, and whether the run has ended.
    std::uint64_t cycles() const;
    bool ended() const;
    bool paused() const { return m_paused; }
    // Where "Save screen", "Record" and "Send" ask for a file; without one
    // those buttons are hidden.
    void setFilePicker(FilePicker *picker);
    // Runs the program again from its file, as at the window's start.
    void restart();
    // Runs the program again with the variable file `file` (a string, list,
    // program...) put in the calculator's memory first, as --send does, with
    // those sent before it. A file that cannot be sent is named in the status
    // line and left out. Says whether it was sent.
    bool sendFile(const QString &file);
    // The variable files each run starts with.
    const QStringList &sentFiles() const { return m_setup.send; }
    // The calculator the program runs on; a change runs it again.
    void setModel(run::Model model);
    // Runs a program whose file's checksum is wrong, which the window first
    // refuses with a "Run anyway" button.
    void runAnyway();
    // Ends the run where it is, its last screen kept.
    void stop();
    // The screen as a 96x64 PNG, as --screenshot writes it.
    bool saveScreen(const QString &file) const;
    // Records every frame the screen shows from now, each for the
    // calculator's time it stayed, until stopped; then asks where to save
    // the animated GIF.
    void setRecording(bool on);
    const GifRecording *recording() const { return m_recording.get(); }

    // The debugger's hooks. `advance` runs the program on to `cycles` instead
    // of the session alone and says whether it paused; keys then go through
    // `key` (the debugger keeps them for steps back).
    void setDebugHooks(std::function<bool(std::uint64_t cycles)> advance,
                       std::function<void(int scanCode, bool down)> key);
    // A pane beside the screen.
    void addPane(QWidget *pane);
    // As large as its contents ask, within the screen (after a pane shows).
    void fitContents();
    // Paused by the debugger, saying where and why; go() runs on.
    void pauseWith(const QString &why);
    void go();
    // Shows the machine as it is now (after a step back).
    void refresh();

signals:
    void runEnded(const QString &reason);
    // Paused or running on, by the button or the debugger.
    void pausedChanged(bool paused);
    // restart() has made a new session.
    void restarted();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // While the window asks for a file (the dialog is its child), a close
    // (a new run taking its place) waits: the window goes once the answer
    // has been used.
    class Asking {
    public:
        explicit Asking(RunWindow *window);
        ~Asking();
        Asking(const Asking &) = delete;
        Asking &operator=(const Asking &) = delete;
        // The window was closed while it asked.
        bool closed() const { return m_window->m_closedWhileAsking; }

    private:
        RunWindow *m_window;
    };
    bool m_asking = false, m_closedWhileAsking = false;

    void tick();
    void restartClock();
    void keepPace(bool behind);
    void setPaused(bool paused);
    void showCycles();
    void end(const QString &text);
    void press(int scanCode, bool down);

    QString m_path;
    std::unique_ptr<run::Session> m_session;
    RunScreen *m_screen;
    QLabel *m_status, *m_cycles;
    QLabel *m_note; // what the program looked for that this calculator lacks
    void recordFrame();

    QPushButton *m_pause, *m_restart, *m_send, *m_save, *m_anyway, *m_record;
    std::unique_ptr<GifRecording> m_recording;
    std::uint64_t m_frameAt = 0; // the calculator's time (6 MHz cycles) of the last frame
    QComboBox *m_model;
    RunSetup m_setup;
    long m_clockHz = 0;
    bool m_checksumWrong = false;
    FilePicker *m_picker = nullptr;
    bool m_paused = false, m_ended = false;
    QCheckBox *m_fullSpeed;
    QTimer *m_timer;
    QElapsedTimer m_clock, m_keptUp;
    bool m_slow = false;
    std::uint64_t m_cyclesAtStart = 0, m_lcdChanges = ~0ull;
    int m_letterKey = 0;
    std::function<bool(std::uint64_t)> m_advance;
    std::function<void(int, bool)> m_key;
    QHBoxLayout *m_screenRow; // the screen, and a pane beside it
    RunKeypad *m_pad;
    QWidget *m_pane = nullptr; // keys typed in it are not the calculator's
};
