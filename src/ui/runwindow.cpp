#include "ui/runwindow.h"

#include "platform/dialogs.h"
#include "run/keypad.h"
#include "ui/keytable.h"
#include "ui/runkeypad.h"
#include "ui/runsupport.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The run goes on in slices of calculator time between looks at the wall
// clock, and a tick stops after at most kTickBudget of the host's time, well
// under the 10 ms between ticks: the editor and this window keep answering
// whatever the program does.
constexpr std::uint64_t kSlice = 20000; // 3.3 ms of the calculator
constexpr qint64 kTickBudgetNs = 8000000;
// Keeping up again for this long takes the "slower" word back.
constexpr qint64 kKeptUpNs = 1000000000;

// The calculator's keys come from the one key table.
int scanCodeOf(int key) {
    return calculatorKeyOf(key);
}

} // namespace

RunScreen::RunScreen(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("runScreen"));
    setMinimumSize(96 * 2 + 2, 64 * 2 + 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

// A click on the screen gives the keys back to the calculator (from the pane).
void RunScreen::mousePressEvent(QMouseEvent *event) {
    window()->setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

void RunScreen::show(const run::Lcd &lcd) {
    m_image = lcdImage(lcd);
    update();
}

// Whole multiples of the calculator's pixels, centred in a thin frame on the
// window's own colour: every pixel a square, the screen's edge in sight.
void RunScreen::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const int scale = qMax(1, qMin((width() - 2) / 96, (height() - 2) / 64));
    const QRect target((width() - 96 * scale) / 2, (height() - 64 * scale) / 2, 96 * scale,
                       64 * scale);
    p.fillRect(target.adjusted(-1, -1, 1, 1), palette().dark());
    if (m_image.isNull())
        return;
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(target, m_image);
}

RunWindow::RunWindow(const QString &path, QWidget *parent)
    : QWidget(parent, Qt::Window), m_path(path), m_screen(new RunScreen(this)),
      m_status(new QLabel(this)), m_cycles(new QLabel(this)), m_note(new QLabel(this)),
      m_pause(new QPushButton(tr("Pause"), this)), m_restart(new QPushButton(tr("Restart"), this)),
      m_send(new QPushButton(tr("Send..."), this)),
      m_save(new QPushButton(tr("Save screen..."), this)),
      m_anyway(new QPushButton(tr("Run anyway"), this)),
      m_record(new QPushButton(tr("Record"), this)), m_model(new QComboBox(this)),
      m_fullSpeed(new QCheckBox(tr("As fast as it can"), this)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("RunWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    LoadedRun loaded = loadRun(path, m_setup);
    m_session = std::move(loaded.session);
    m_checksumWrong = loaded.checksumWrong;
    QString title = loaded.shell.isEmpty() ? tr("Running %1").arg(loaded.name)
                                           : tr("Running %1 for %2").arg(loaded.name, loaded.shell);
    if (!loaded.description.isEmpty())
        title += QStringLiteral(" \u2014 ") + loaded.description;
    // The icon the shell lists the program with, scaled up with crisp pixels.
    if (!loaded.icon.isNull())
        setWindowIcon(QPixmap::fromImage(loaded.icon.scaled(loaded.icon.size() * 4)));
    setWindowTitle(title);
    m_status->setObjectName(QStringLiteral("runStatus"));
    m_fullSpeed->setObjectName(QStringLiteral("runFullSpeed"));
    m_fullSpeed->setFocusPolicy(Qt::NoFocus);
    auto *legend = new QLabel(
        tr("Keys: arrows, Enter, digits and + - * / ^ ( ) . , as marked; Esc CLEAR, "
           "Backspace DEL, Shift 2ND (+ typed with Shift is +), Ctrl ALPHA, letters A-Z with "
           "ALPHA; F1-F5 Y= WINDOW "
           "ZOOM TRACE GRAPH, F6 MODE, F7 MATH, F8 APPS, F9 PRGM, F10 VARS, F11 STAT, F12 ON."),
        this);
    legend->setObjectName(QStringLiteral("runLegend"));
    legend->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    // The screen, and beside it the keypad for the keys a PC keyboard lacks
    // (and, while debugging, the debugger's pane).
    m_screenRow = new QHBoxLayout;
    m_screenRow->addWidget(m_screen, 1);
    m_pad = new RunKeypad(this);
    m_screenRow->addWidget(m_pad);
    layout->addLayout(m_screenRow, 1);
    connect(m_pad, &RunKeypad::keyPressed, this, [this](int code) { press(code, true); });
    connect(m_pad, &RunKeypad::keyReleased, this, [this](int code) { press(code, false); });
    layout->addWidget(m_status);
    // A TI-83 Plus run that reads the TI-84 Plus's ports says so while it runs.
    m_note->setObjectName(QStringLiteral("runHardwareNote"));
    m_note->setWordWrap(true);
    m_note->setVisible(false);
    layout->addWidget(m_note);
    // The run's controls: none takes the keyboard, which stays the calculator's.
    auto *controls = new QHBoxLayout;
    for (QPushButton *b : {m_pause, m_restart, m_send, m_save, m_record, m_anyway}) {
        b->setFocusPolicy(Qt::NoFocus);
        controls->addWidget(b);
    }
    m_pause->setObjectName(QStringLiteral("runPause"));
    m_pause->setCheckable(true);
    m_restart->setObjectName(QStringLiteral("runRestart"));
    m_send->setObjectName(QStringLiteral("runSend"));
    m_send->setToolTip(tr("Puts a variable file in the calculator's memory and runs the "
                          "program again"));
    m_send->setVisible(false);
    m_save->setObjectName(QStringLiteral("runSaveScreen"));
    m_save->setVisible(false);
    m_record->setObjectName(QStringLiteral("runRecord"));
    m_record->setCheckable(true);
    m_record->setVisible(false);
    m_anyway->setObjectName(QStringLiteral("runAnyway"));
    m_anyway->setVisible(false);
    m_model->setObjectName(QStringLiteral("runModel"));
    m_model->setFocusPolicy(Qt::NoFocus);
    m_model->addItem(tr("TI-83 Plus"), int(run::Model::Ti83Plus));
    m_model->addItem(tr("TI-84 Plus"), int(run::Model::Ti84Plus));
    controls->addWidget(m_model);
    m_cycles->setObjectName(QStringLiteral("runCycles"));
    controls->addWidget(m_fullSpeed);
    controls->addStretch(1);
    controls->addWidget(m_cycles);
    layout->addLayout(controls);
    layout->addWidget(legend);
    setFocusPolicy(Qt::StrongFocus);
    m_timer->setObjectName(QStringLiteral("runTimer"));
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, &RunWindow::tick);
    connect(m_fullSpeed, &QCheckBox::toggled, this, &RunWindow::restartClock);
    connect(m_pause, &QPushButton::toggled, this, &RunWindow::setPaused);
    connect(m_restart, &QPushButton::clicked, this, &RunWindow::restart);
    connect(m_anyway, &QPushButton::clicked, this, &RunWindow::runAnyway);
    connect(m_record, &QPushButton::toggled, this, &RunWindow::setRecording);
    connect(m_model, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this] { setModel(run::Model(m_model->currentData().toInt())); });
    connect(m_send, &QPushButton::clicked, this, [this] {
        if (!m_picker)
            return;
        const Asking asking(this);
        const auto file = m_picker->getOpenFileName(
            this,
            {FileFilter{tr("Calculator variables"),
                        {QStringLiteral("*.8xp"), QStringLiteral("*.8xv"), QStringLiteral("*.8xl"),
                         QStringLiteral("*.8xs"), QStringLiteral("*.8xn"), QStringLiteral("*.8xm"),
                         QStringLiteral("*.8xc"), QStringLiteral("*.8xi")}},
             FileFilter{tr("All files"), {QStringLiteral("*")}}},
            {});
        if (file && !asking.closed()) // closed, it has no run to send to
            sendFile(*file);
    });
    connect(m_save, &QPushButton::clicked, this, [this] {
        if (!m_picker)
            return;
        const Asking asking(this);
        const auto file = m_picker->getSaveFileName(
            this, {FileFilter{tr("PNG image"), {QStringLiteral("*.png")}}},
            QFileInfo(m_path).completeBaseName() + QStringLiteral(".png"));
        if (file && !saveScreen(*file))
            m_status->setText(tr("Cannot write %1.").arg(*file));
    });
    m_status->setText(tr("Running at the calculator's speed."));
    restartClock();
    m_timer->start();
    QTimer::singleShot(0, this, &RunWindow::tick);
}

RunWindow::~RunWindow() = default;

RunWindow::Asking::Asking(RunWindow *window) : m_window(window) {
    m_window->m_asking = true;
}

RunWindow::Asking::~Asking() {
    m_window->m_asking = false;
    if (m_window->m_closedWhileAsking)
        m_window->deleteLater();
}

// A closed window's run ends at once: the editor's stepping keys no longer
// reach it. While it asks for a file it stays until the answer is used.
void RunWindow::closeEvent(QCloseEvent *event) {
    stop();
    if (m_asking) {
        m_closedWhileAsking = true;
        setAttribute(Qt::WA_DeleteOnClose, false);
    }
    QWidget::closeEvent(event);
}

std::uint64_t RunWindow::cycles() const {
    return m_session->machine().cycles();
}

bool RunWindow::ended() const {
    return m_ended;
}

void RunWindow::setFilePicker(FilePicker *picker) {
    m_picker = picker;
    m_save->setVisible(picker != nullptr);
    m_send->setVisible(picker != nullptr);
    m_record->setVisible(picker != nullptr);
}

void RunWindow::setRecording(bool on) {
    if (on == bool(m_recording))
        return;
    {
        // The button's own signal would come back here before the recording changed.
        const QSignalBlocker quiet(m_record);
        m_record->setChecked(on);
    }
    m_record->setText(on ? tr("Stop recording") : tr("Record"));
    if (on) {
        m_recording = std::make_unique<GifRecording>();
        m_frameAt = m_session->machine().time6();
        m_recording->add(lcdImage(m_session->machine().lcd()), 2);
        return;
    }
    std::unique_ptr<GifRecording> done = std::move(m_recording);
    done->setLastDuration(int((m_session->machine().time6() - m_frameAt) / 60000));
    if (!m_picker)
        return;
    const Asking asking(this);
    const auto file =
        m_picker->getSaveFileName(this, {FileFilter{tr("GIF image"), {QStringLiteral("*.gif")}}},
                                  QFileInfo(m_path).completeBaseName() + QStringLiteral(".gif"));
    if (file && !done->save(*file))
        m_status->setText(tr("Cannot write %1.").arg(*file));
}

// The frame before this one stayed for the calculator's time since it came.
void RunWindow::recordFrame() {
    const std::uint64_t now = m_session->machine().time6();
    m_recording->setLastDuration(int((now - m_frameAt) / 60000));
    m_frameAt = now;
    if (!m_recording->add(lcdImage(m_session->machine().lcd()), 2))
        m_status->setText(tr("The recording is full (%1 frames); stop it to save it.")
                              .arg(GifRecording::kMaxFrames));
}

bool RunWindow::saveScreen(const QString &file) const {
    return lcdImage(m_session->machine().lcd()).save(file, "PNG");
}

// Pausing stops the calculator's clock; continuing starts it where it was.
void RunWindow::setPaused(bool paused) {
    if (m_ended || paused == m_paused)
        return;
    m_paused = paused;
    m_pause->setChecked(paused);
    m_pause->setText(paused ? tr("Continue") : tr("Pause"));
    if (paused) {
        m_timer->stop();
        m_status->setText(tr("Paused."));
    } else {
        restartClock();
        m_timer->start();
    }
    emit pausedChanged(paused);
}

void RunWindow::setDebugHooks(std::function<bool(std::uint64_t)> advance,
                              std::function<void(int, bool)> key) {
    m_advance = std::move(advance);
    m_key = std::move(key);
}

// The keypad goes under the screen, so that the row has room for the
// screen at its size and the pane beside it.
void RunWindow::addPane(QWidget *pane) {
    m_pane = pane;
    m_screenRow->removeWidget(m_screen);
    m_screenRow->removeWidget(m_pad);
    auto *column = new QVBoxLayout;
    column->addWidget(m_screen, 1);
    column->addWidget(m_pad, 0, Qt::AlignHCenter);
    m_screenRow->insertLayout(0, column);
    m_screenRow->addWidget(pane, 1);
}

void RunWindow::fitContents() {
    QSize want = sizeHint().expandedTo(size());
    if (const QScreen *s = screen()) {
        const QRect room = s->availableGeometry();
        const QSize frame = frameGeometry().size() - geometry().size();
        want = want.boundedTo(room.size() - frame);
        resize(want);
        // Wholly on the screen, where the window manager put it.
        QRect shown = frameGeometry();
        shown.moveRight(std::min(shown.right(), room.right()));
        shown.moveBottom(std::min(shown.bottom(), room.bottom()));
        shown.moveLeft(std::max(shown.left(), room.left()));
        shown.moveTop(std::max(shown.top(), room.top()));
        move(shown.topLeft());
        return;
    }
    resize(want);
}

void RunWindow::pauseWith(const QString &why) {
    setPaused(true);
    refresh();
    m_status->setText(why);
}

void RunWindow::go() {
    setPaused(false);
    QTimer::singleShot(0, this, &RunWindow::tick);
}

void RunWindow::refresh() {
    m_lcdChanges = m_session->machine().lcd().changes();
    m_screen->show(m_session->machine().lcd());
    showCycles();
}

void RunWindow::setModel(run::Model model) {
    if (model == m_setup.model)
        return;
    m_setup.model = model;
    m_model->setCurrentIndex(m_model->findData(int(model)));
    restart();
}

void RunWindow::runAnyway() {
    m_setup.read.ignoreChecksum = true;
    m_anyway->setVisible(false);
    restart();
}

void RunWindow::restart() {
    LoadedRun loaded = loadRun(m_path, m_setup);
    m_session = std::move(loaded.session);
    m_checksumWrong = loaded.checksumWrong;
    m_note->setVisible(false);
    m_frameAt = 0; // a recording goes on with the new run's clock
    m_ended = false;
    m_lcdChanges = ~0ull;
    m_paused = true; // setPaused(false) below starts the clock afresh
    setPaused(false);
    m_pause->setEnabled(true);
    emit restarted();
    QTimer::singleShot(0, this, &RunWindow::tick);
}

bool RunWindow::sendFile(const QString &file) {
    m_setup.send.append(file);
    const QString problem = loadRun(m_path, m_setup).problem;
    if (!problem.isEmpty())
        m_setup.send.removeLast();
    restart();
    m_status->setText(problem.isEmpty()
                          ? tr("Sent %1; running again.").arg(QFileInfo(file).fileName())
                          : tr("Not sent: %1").arg(problem));
    return problem.isEmpty();
}

void RunWindow::stop() {
    if (!m_ended)
        end(tr("Stopped."));
}

void RunWindow::showCycles() {
    m_cycles->setText(tr("%1 cycles").arg(QLocale().toString(qulonglong(cycles()))));
}

void RunWindow::restartClock() {
    m_clock.start();
    m_cyclesAtStart = cycles();
    m_clockHz = m_session->machine().clockHz();
    m_slow = false;
    if (!ended() && !m_paused)
        m_status->setText(m_fullSpeed->isChecked() ? tr("Running as fast as it can.")
                                                   : tr("Running at the calculator's speed."));
}

// Runs up to where the wall clock says the calculator would be, or as far as
// the tick's budget goes at full speed; then shows the screen if it changed.
// A run that cannot keep up drops what it could not run instead of owing it
// to the next tick, and says so.
void RunWindow::tick() {
    if (m_ended || m_paused)
        return;
    QElapsedTimer spent;
    spent.start();
    const bool full = m_fullSpeed->isChecked();
    if (m_session->machine().clockHz() != m_clockHz) // 15 MHz asked for, or 6 again
        restartClock();
    const std::uint64_t target =
        full ? ~0ull
             : m_cyclesAtStart + std::uint64_t(m_clock.nsecsElapsed() * (double(m_clockHz) / 1e9));
    bool paused = false;
    while (!paused && !m_session->stopped() && cycles() < target &&
           spent.nsecsElapsed() < kTickBudgetNs) {
        const std::uint64_t until = std::min(target, cycles() + kSlice);
        if (m_advance)
            paused = m_advance(until);
        else
            m_session->runUntil(until);
    }
    if (paused)
        return; // the debugger has shown why
    if (!full && !m_session->stopped())
        keepPace(cycles() < target);
    const run::Lcd &lcd = m_session->machine().lcd();
    if (lcd.changes() != m_lcdChanges) {
        m_lcdChanges = lcd.changes();
        m_screen->show(lcd);
        if (m_recording && !m_recording->full())
            recordFrame();
    }
    showCycles();
    const std::string &note = m_session->machine().hardwareNote();
    if (!note.empty() && m_note->isHidden()) {
        m_note->setText(tr("The program %1.").arg(QString::fromStdString(note)));
        m_note->setVisible(true);
    }
    if (const auto &stop = m_session->stopped())
        end(stopText(*stop, m_session->machine()));
}

void RunWindow::keepPace(bool behind) {
    if (behind) {
        m_clock.start();
        m_cyclesAtStart = cycles();
        m_keptUp.invalidate();
        if (!m_slow) {
            m_slow = true;
            m_status->setText(tr("Running slower than the calculator."));
        }
    } else if (m_slow) {
        if (!m_keptUp.isValid())
            m_keptUp.start();
        else if (m_keptUp.nsecsElapsed() >= kKeptUpNs) {
            m_slow = false;
            m_status->setText(tr("Running at the calculator's speed."));
        }
    }
}

void RunWindow::end(const QString &text) {
    m_ended = true;
    // A file refused for its checksum alone can still be run when asked.
    m_anyway->setVisible(m_checksumWrong && !m_setup.read.ignoreChecksum);
    m_timer->stop();
    m_pause->setEnabled(false);
    { // an ended run is neither paused nor to be continued
        const QSignalBlocker quiet(m_pause);
        m_pause->setChecked(false);
        m_pause->setText(tr("Pause"));
    }
    m_screen->show(m_session->machine().lcd());
    m_status->setText(text);
    emit runEnded(text);
}

void RunWindow::press(int code, bool down) {
    if (m_key)
        m_key(code, down);
    else if (down)
        m_session->machine().keypad().press(code);
    else
        m_session->machine().keypad().release(code);
}

void RunWindow::keyPressEvent(QKeyEvent *event) {
    // Typing in the pane (a watch, a register, memory) is not the calculator's:
    // a key the pane's field leaves (Shift, Return) must not press one.
    if (m_pane && m_pane->isAncestorOf(focusWidget())) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->isAutoRepeat())
        return;
    const QString text = event->text();
    // Shift is 2ND, but a symbol or capital the PC types with Shift means
    // the calculator's key for it: `+` is the + key, not 2ND then +.
    if ((event->modifiers() & Qt::ShiftModifier) && text.size() == 1 && text[0].isPrint() &&
        !text[0].isSpace()) {
        m_session->machine().keypad().withdraw(run::sk::Second);
        m_session->machine().setFlag(run::flags::shiftFlags, run::flags::shift2nd, false);
    }
    if (text.size() == 1 && text[0].isLetter() && run::letterKey(char(text[0].toLatin1()))) {
        press(run::sk::Alpha, true);
        press(run::sk::Alpha, false);
        m_letterKey = run::letterKey(char(text[0].toLatin1()));
        press(m_letterKey, true);
        return;
    }
    if (const int code = scanCodeOf(event->key()))
        press(code, true);
    else
        QWidget::keyPressEvent(event);
}

void RunWindow::keyReleaseEvent(QKeyEvent *event) {
    if (event->isAutoRepeat())
        return;
    if (m_letterKey && event->text().size() == 1 && event->text()[0].isLetter()) {
        press(m_letterKey, false);
        m_letterKey = 0;
        return;
    }
    if (const int code = scanCodeOf(event->key()))
        press(code, false);
    else
        QWidget::keyReleaseEvent(event);
}
