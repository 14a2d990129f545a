#include "ui/runwindow.h"

#include "run/keypad.h"
#include "ui/keytable.h"
#include "ui/runsupport.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A slice at full speed: long enough to be cheap, short enough to keep the
// window answering.
constexpr std::uint64_t kFullSpeedSlice = 1500000;

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
    : QWidget(parent, Qt::Window), m_screen(new RunScreen(this)), m_status(new QLabel(this)),
      m_fullSpeed(new QCheckBox(tr("As fast as it can"), this)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("RunWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    LoadedRun loaded = loadRun(path);
    m_session = std::move(loaded.session);
    setWindowTitle(tr("Running %1").arg(loaded.name));
    m_status->setObjectName(QStringLiteral("runStatus"));
    m_fullSpeed->setObjectName(QStringLiteral("runFullSpeed"));
    m_fullSpeed->setFocusPolicy(Qt::NoFocus);
    auto *legend = new QLabel(
        tr("Keys: arrows, Enter, digits and + - * / ^ ( ) . , as marked; Esc CLEAR, "
           "Backspace DEL, Shift 2ND, Ctrl ALPHA, letters A-Z with ALPHA; F1-F5 Y= WINDOW "
           "ZOOM TRACE GRAPH, F6 MODE, F7 MATH, F8 APPS, F9 PRGM, F10 VARS, F11 STAT, F12 ON."),
        this);
    legend->setObjectName(QStringLiteral("runLegend"));
    legend->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_screen, 1);
    layout->addWidget(m_status);
    layout->addWidget(m_fullSpeed);
    layout->addWidget(legend);
    setFocusPolicy(Qt::StrongFocus);
    m_timer->setObjectName(QStringLiteral("runTimer"));
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, &RunWindow::tick);
    connect(m_fullSpeed, &QCheckBox::toggled, this, &RunWindow::restartClock);
    m_status->setText(tr("Running at the calculator's speed."));
    restartClock();
    m_timer->start();
    QTimer::singleShot(0, this, &RunWindow::tick);
}

RunWindow::~RunWindow() = default;

std::uint64_t RunWindow::cycles() const {
    return m_session->machine().cycles();
}

bool RunWindow::ended() const {
    return !m_timer->isActive();
}

void RunWindow::restartClock() {
    m_clock.start();
    m_cyclesAtStart = cycles();
    if (!ended())
        m_status->setText(m_fullSpeed->isChecked() ? tr("Running as fast as it can.")
                                                   : tr("Running at the calculator's speed."));
}

// Runs up to where the wall clock says the calculator would be, or a slice
// at full speed; then shows the screen if it changed.
void RunWindow::tick() {
    if (ended() && m_session->stopped())
        return;
    const std::uint64_t target =
        m_fullSpeed->isChecked() ? cycles() + kFullSpeedSlice
                                 : m_cyclesAtStart + std::uint64_t(m_clock.nsecsElapsed() *
                                                                   (run::Machine::kClockHz / 1e9));
    m_session->runUntil(target);
    const run::Lcd &lcd = m_session->machine().lcd();
    if (lcd.changes() != m_lcdChanges) {
        m_lcdChanges = lcd.changes();
        m_screen->show(lcd);
    }
    if (const auto &stop = m_session->stopped())
        end(stopText(*stop));
}

void RunWindow::end(const QString &text) {
    m_timer->stop();
    m_screen->show(m_session->machine().lcd());
    m_status->setText(text);
    emit runEnded(text);
}

void RunWindow::keyPressEvent(QKeyEvent *event) {
    if (event->isAutoRepeat())
        return;
    run::Keypad &keys = m_session->machine().keypad();
    const QString text = event->text();
    if (text.size() == 1 && text[0].isLetter() && run::letterKey(char(text[0].toLatin1()))) {
        keys.press(run::sk::Alpha);
        keys.release(run::sk::Alpha);
        m_letterKey = run::letterKey(char(text[0].toLatin1()));
        keys.press(m_letterKey);
        return;
    }
    if (const int code = scanCodeOf(event->key()))
        keys.press(code);
    else
        QWidget::keyPressEvent(event);
}

void RunWindow::keyReleaseEvent(QKeyEvent *event) {
    if (event->isAutoRepeat())
        return;
    run::Keypad &keys = m_session->machine().keypad();
    if (m_letterKey && event->text().size() == 1 && event->text()[0].isLetter()) {
        keys.release(m_letterKey);
        m_letterKey = 0;
        return;
    }
    if (const int code = scanCodeOf(event->key()))
        keys.release(code);
    else
        QWidget::keyReleaseEvent(event);
}
