#pragma once
// The pane beside the run window's screen while a program is debugged: where
// and why it paused, the stepping buttons, and in tabs the registers and
// flags (hex, decimal, label+offset; changed ones marked; the main ones
// editable), the stack from SP, memory around an address or a register
// (changed bytes marked, editable), and the LCD and the OS's screen buffers
// as 96x64 pictures; watches (expressions, each in its format), the calls
// still open as their callers' file:line (a double-click goes there), the
// log of log breakpoints, the checks each turned on or off, and the
// T-states with a stopwatch a click sets to zero.

#include "run/watchexpr.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class DebugSource;
class QLabel;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace run {
class Machine;
struct OsCallRecord;
struct Frame;
} // namespace run

class DebugPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kChecks = 5; // run::Check's values

    explicit DebugPane(QWidget *parent = nullptr);

    // Shows the machine paused; `source` names addresses. Both stay valid
    // until the next show() or setRunning(). `frames`: where each open
    // call's return address lies on the stack, the outermost first.
    void showPaused(run::Machine &machine, const DebugSource *source, const QString &where,
                    const std::vector<run::Frame> &frames = {});
    // The program's labels, for watches.
    void setLabels(run::LabelLookup labels) { m_labels = std::move(labels); }
    // The OS calls the program made, the latest last.
    void showOsCalls(const std::vector<run::OsCallRecord> &calls);
    // A line of the log (a log breakpoint's message); the oldest go past 2,000.
    void addLog(const QString &text);
    bool checkOn(int check) const;
    QStringList watches() const;
    void setWatches(const QStringList &watches);
    // Running, or (`ended`) ended with the last machine still shown.
    void setRunning(const QString &what, bool ended = false);

    // The picture of 768 bytes at `address` as the OS keeps a screen buffer:
    // 64 rows of 12 bytes, the leftmost pixel the high bit.
    static QImage bufferImage(const run::Machine &machine, std::uint16_t address);

signals:
    void continueRun();
    void stepInto();
    void stepOver();
    void stepOut();
    void stepBack();
    // A register or a byte was changed in the pane.
    void edited();
    void checkChanged(int check, bool on);
    void watchesChanged(const QStringList &watches);
    // A call's line was double-clicked.
    void goTo(const QString &file, int line);

private:
    void showRegisters();
    void showStack();
    void showMemory();
    void showScreens();
    void showWatches();
    void showCalls();
    void showCycles();
    void editWatch(QTableWidgetItem *item);
    void editRegister(QTableWidgetItem *item);
    void editMemory(QTableWidgetItem *item);
    std::optional<std::uint16_t> addressOf(const QString &text) const;
    QString nameOf(std::uint16_t address) const;

    run::Machine *m_machine = nullptr;
    const DebugSource *m_source = nullptr;
    QLabel *m_where, *m_flags;
    QTableWidget *m_registers, *m_stack, *m_memory, *m_watches, *m_calls, *m_osCalls;
    QPlainTextEdit *m_log;
    std::array<QCheckBox *, kChecks> m_checks{};
    QPushButton *m_stopwatch;
    std::uint64_t m_stopwatchFrom = 0;
    run::LabelLookup m_labels;
    std::vector<run::Frame> m_frames;
    QLineEdit *m_memoryAt;
    std::array<QLabel *, 4> m_screens{};
    std::vector<QPushButton *> m_buttons;
    std::array<std::uint16_t, 14> m_lastRegs{};
    bool m_haveLast = false;
    std::vector<std::uint8_t> m_lastMemory; // the 64 KB as at the last pause
    std::uint64_t m_lastCycles = 0;
    bool m_filling = false; // the tables are being filled, not edited
};
