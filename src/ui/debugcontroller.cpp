#include "ui/debugcontroller.h"

#include "platform/textfile.h"
#include "run/debugger.h"
#include "run/oscalllog.h"
#include "run/program.h"
#include "run/watchexpr.h"
#include "ui/breakpoints.h"
#include "ui/debugpane.h"
#include "ui/runwindow.h"

#include <QFileInfo>

#include <algorithm>
#include <map>
#include <set>

namespace {

// A step runs at most this far at once before the window's clock takes over.
constexpr std::uint64_t kStepSlice = 60000;

// The program variable's bytes as the build made them: BB 6D and the code;
// for an application, its pages.
std::vector<std::uint8_t> programData(const QString &path) {
    // Through the one file reader, as the run reads it: a FIFO is not waited
    // on, and one byte past the largest file tells a larger one.
    QByteArray bytes;
    qint64 size = 0;
    if (readFileStart(
            path, qint64(std::max(run::kMaxProgramFileBytes, run::kMaxApplicationFileBytes)) + 1,
            &bytes, &size))
        return {};
    run::ReadOptions options;
    options.ignoreChecksum = true;
    const run::Program p =
        run::readProgram(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), options);
    if (!p.error.empty())
        return {};
    if (!p.application.empty())
        return p.application;
    std::vector<std::uint8_t> data = {0xBB, 0x6D};
    data.insert(data.end(), p.code.begin(), p.code.end());
    return data;
}

} // namespace

DebugController::DebugController(Breakpoints *breakpoints,
                                 std::function<bool(const QString &)> showFile, QObject *parent)
    : QObject(parent), m_breakpoints(breakpoints), m_showFile(std::move(showFile)) {
    connect(breakpoints, &Breakpoints::changed, this, [this] {
        if (active())
            bind();
    });
}

DebugController::~DebugController() = default;

bool DebugController::paused() const {
    return active() && m_window->paused() && !m_window->ended();
}

bool DebugController::running() const {
    return active() && !m_window->paused() && !m_window->ended();
}

void DebugController::attach(RunWindow *window, const QString &program, const QString &sourceFolder,
                             bool paused) {
    // The window this one replaces (closed, deleted later) no longer drives
    // the debugger nor hears from it: its end would take the new one's.
    if (m_window && m_window != window) {
        m_window->setDebugHooks({}, {});
        disconnect(m_window, nullptr, this, nullptr);
        if (m_pane)
            disconnect(m_pane, nullptr, this, nullptr);
    }
    m_window = window;
    m_program = program;
    m_folder = sourceFolder.toStdString();
    m_pane = new DebugPane(window);
    window->addPane(m_pane);
    connect(m_pane, &DebugPane::continueRun, this, &DebugController::continueRun);
    connect(m_pane, &DebugPane::stepInto, this, &DebugController::stepInto);
    connect(m_pane, &DebugPane::stepOver, this, &DebugController::stepOver);
    connect(m_pane, &DebugPane::stepOut, this, &DebugController::stepOut);
    connect(m_pane, &DebugPane::stepBack, this, &DebugController::stepBack);
    m_pane->setWatches(m_watchExpressions);
    connect(m_pane, &DebugPane::watchesChanged, this, [this](const QStringList &watches) {
        m_watchExpressions = watches;
        emit watchExpressionsChanged(watches);
    });
    connect(m_pane, &DebugPane::goTo, this, &DebugController::goTo);
    connect(m_pane, &DebugPane::checkChanged, this, [this](int check, bool on) {
        if (m_debugger)
            m_debugger->setCheck(run::Check(check), on);
    });
    m_pane->setLabels([this](const std::string &name) -> std::optional<std::uint16_t> {
        return m_source ? m_source->label(name) : std::nullopt;
    });
    connect(m_pane, &DebugPane::edited, this, [this] {
        if (m_debugger)
            m_debugger->changedByHand();
    });
    connect(window, &RunWindow::restarted, this, &DebugController::start);
    connect(window, &RunWindow::pausedChanged, this, [this](bool nowPaused) {
        if (m_going)
            return;
        if (!nowPaused) {
            m_mode = Mode::Run;
            m_breakpoints->showArrow(0);
            m_pane->setRunning(said(tr("Running.")));
        } else if (m_debugger) { // the Pause button: here, as a step would stop
            const run::Pause here{
                run::Pause::Why::Step, m_window->session().machine().reg(run::Reg::PC), {}};
            show(here);
        }
    });
    connect(window, &RunWindow::runEnded, this, [this](const QString &why) {
        m_breakpoints->showArrow(0);
        if (m_pane->isVisible()) // the machine as the run left it, for looking only
            m_pane->showPaused(m_window->session().machine(), m_source ? &*m_source : nullptr,
                               said(why));
        if (m_debugger)
            m_pane->showOsCalls(run::describeOsCalls(m_debugger->osCalls(), kOsCallsShown));
        m_pane->setRunning(said(why), true);
    });
    connect(window, &QObject::destroyed, this, [this] {
        m_debugger.reset();
        m_pane = nullptr;
        m_breakpoints->showArrow(0);
    });
    start();
    if (paused && !window->ended())
        show({run::Pause::Why::Step, window->session().machine().reg(run::Reg::PC), {}});
}

void DebugController::start() {
    // The program and its map are read again at every start: a Make since
    // the last one may have replaced both, and the window runs the new program.
    const std::vector<std::uint8_t> data = programData(m_program);
    // An application has no bytes at 9D95h.
    m_programSize = data.size() > 2 && data[0] == 0xBB ? data.size() - 2 : 0;
    std::string error;
    m_source = DebugSource::beside(m_program.toStdString(), data, m_folder, &error);
    m_refusal = m_source ? QString() : QString::fromStdString(error);
    m_debugger = std::make_unique<run::Debugger>(m_window->session(), m_programSize);
    m_debugger->setLog([this](const std::string &text) {
        // The engine fills in registers; the rest of the braces are expressions.
        if (m_pane)
            m_pane->addLog(QString::fromStdString(run::fillInExpressions(
                text, m_window->session().machine(),
                [this](const std::string &name) -> std::optional<std::uint16_t> {
                    return m_source ? m_source->label(name) : std::nullopt;
                })));
    });
    for (int c = 0; c < DebugPane::kChecks; ++c)
        m_debugger->setCheck(run::Check(c), m_pane->checkOn(c));
    m_window->setDebugHooks([this](std::uint64_t cycles) { return advance(cycles); },
                            [this](int code, bool down) {
                                if (down)
                                    m_debugger->press(code);
                                else
                                    m_debugger->release(code);
                            });
    m_mode = Mode::Run;
    m_bound.clear();
    m_boundWatches.clear(); // those of the last session's debugger
    bind();
    m_pane->setRunning(said(tr("Running.")));
    // The pane shows from the first pause on, or at once to say why the map is not used.
    m_pane->setVisible(!m_refusal.isEmpty());
}

QString DebugController::said(const QString &text) const {
    return m_refusal.isEmpty() ? text : m_refusal + u'\n' + text;
}

bool DebugController::toggleWatch(const LabelWatch &watch) {
    const bool on = !m_watches.contains(watch);
    if (on)
        m_watches << watch;
    else
        m_watches.removeAll(watch);
    if (!active() || !m_source)
        return true;
    bindWatches();
    return m_source->label(watch.name.toStdString()).has_value();
}

void DebugController::setWatchExpressions(const QStringList &expressions) {
    m_watchExpressions = expressions;
    if (m_pane)
        m_pane->setWatches(expressions);
}

// A byte watched by two watches (a byte's and a word's) stays watched while
// either is on: every watch is cleared, then those on are set again.
void DebugController::bindWatches() {
    for (const BoundWatch &b : m_boundWatches)
        if (b.read)
            m_debugger->watchReads(b.address, false, b.bytes);
        else
            m_debugger->watchWrites(b.address, false, b.bytes);
    m_boundWatches.clear();
    if (!m_source)
        return;
    for (const LabelWatch &w : m_watches)
        if (const auto a = m_source->label(w.name.toStdString())) {
            if (w.read)
                m_debugger->watchReads(*a, true, w.bytes);
            else
                m_debugger->watchWrites(*a, true, w.bytes);
            m_boundWatches.push_back({*a, w.read, w.bytes});
        }
}

QString DebugController::refusalOf(const QString &expression) const {
    if (!m_source)
        return {};
    std::string error;
    if (run::WatchExpr::parse(
            expression.toStdString(),
            [this](const std::string &name) { return m_source->label(name); }, &error))
        return {};
    return QString::fromStdString(error);
}

// Every breakpoint to the address of its line's first statement; one on a
// line without code moves to the next line with code. The watched labels
// to their addresses. A breakpoint bound again keeps the times it was hit.
void DebugController::bind() {
    std::map<std::uint16_t, std::uint32_t> hits;
    for (std::uint16_t a : m_bound) {
        if (const run::Breakpoint *b = m_debugger->breakpoint(a))
            hits[a] = b->hits;
        m_debugger->clearBreakpoint(a);
    }
    m_bound.clear();
    if (!m_source)
        return;
    bindWatches();
    // A line on an application's page stops only while that page is mapped;
    // lines of several pages at one address share the first one's settings.
    struct Bound {
        run::Breakpoint breakpoint;
        std::set<int> pages;
    };
    std::map<std::uint16_t, Bound> bound;
    const auto all = m_breakpoints->all();
    for (auto it = all.begin(); it != all.end(); ++it)
        for (int line : it.value())
            if (const auto b = m_source->bind(it.key().toStdString(), line)) {
                const BreakpointSettings s = m_breakpoints->settings(it.key(), line);
                if (b->line != line)
                    m_breakpoints->move(it.key(), line, b->line);
                if (!s.enabled)
                    continue;
                if (const auto known = bound.find(b->address); known != bound.end()) {
                    known->second.pages.insert(b->page);
                    continue;
                }
                run::Breakpoint bp;
                bp.hitCount = std::uint32_t(std::max(0, s.hitCount));
                bp.log = s.log.toStdString();
                bp.hits = hits.count(b->address) ? hits[b->address] : 0;
                std::string error;
                if (!s.condition.isEmpty()) {
                    const auto condition = run::WatchExpr::parse(
                        s.condition.toStdString(),
                        [this](const std::string &name) { return m_source->label(name); }, &error);
                    if (condition) // one that cannot be read stops every time, and says why
                        bp.condition = [c = *condition](const run::Machine &m) {
                            return c.holds(m);
                        };
                    else
                        m_pane->addLog(tr("The condition of %1:%2 is not used: %3")
                                           .arg(QFileInfo(it.key()).fileName())
                                           .arg(b->line)
                                           .arg(QString::fromStdString(error)));
                }
                bound[b->address] = Bound{std::move(bp), {b->page}};
            }
    for (auto &[address, b] : bound) {
        if (auto onPage = DebugSource::onPages(b.pages)) {
            if (auto condition = std::move(b.breakpoint.condition))
                b.breakpoint.condition = [onPage, condition](const run::Machine &m) {
                    return onPage(m) && condition(m);
                };
            else
                b.breakpoint.condition = onPage;
        }
        m_debugger->setBreakpoint(address, std::move(b.breakpoint));
        m_bound.insert(address);
    }
}

int DebugController::pageAt(std::uint16_t address) const {
    return address >= 0x4000 && address < 0x8000
               ? m_window->session().machine().applicationPageAt4000()
               : -1;
}

void DebugController::go(Mode mode, std::uint16_t target) {
    if (!active() || m_window->ended())
        return;
    m_mode = mode;
    m_target = target;
    m_modeStarted = false;
    m_breakpoints->showArrow(0);
    m_pane->setRunning(said(tr("Running.")));
    // A step usually ends at once: it is run here, and the window's clock
    // takes over only when it lasts (a call that waits for a key).
    if (mode != Mode::Run) {
        const std::uint64_t until = m_window->session().machine().cycles() + kStepSlice;
        if (advance(until))
            return;
    }
    m_going = true;
    m_window->go();
    m_going = false;
}

void DebugController::continueRun() {
    go(Mode::Run);
}
void DebugController::stepInto() {
    go(Mode::Into);
}
void DebugController::stepOver() {
    go(Mode::Over);
}
void DebugController::stepOut() {
    go(Mode::Out);
}

void DebugController::stop() {
    if (m_window)
        m_window->stop();
}

void DebugController::restart() {
    if (m_window)
        m_window->restart();
}

void DebugController::runToLine(const QString &file, int line) {
    if (!m_source)
        return;
    // A line on an application's later page is reached only while its page
    // is mapped at 4000h, as a breakpoint there is.
    if (const auto b = m_source->bind(file.toStdString(), line)) {
        m_targetPage = DebugSource::onPages({b->page});
        go(Mode::To, b->address);
    }
}

void DebugController::stepBack() {
    if (!active() || !m_window->paused())
        return;
    show(m_debugger->stepBack());
}

bool DebugController::advance(std::uint64_t cycles) {
    run::Debugger &d = *m_debugger;
    run::Pause p;
    const bool first = !std::exchange(m_modeStarted, true);
    switch (m_mode) {
    case Mode::Run:
        p = d.run(cycles);
        break;
    case Mode::Into:
        p = d.stepInto(cycles);
        break;
    case Mode::Over:
        p = first ? d.stepOver(cycles) : d.resumeStep(cycles);
        break;
    case Mode::Out:
        p = first ? d.stepOut(cycles) : d.resumeStep(cycles);
        break;
    case Mode::To:
        p = first ? d.runTo(m_target, cycles, m_targetPage) : d.resumeStep(cycles);
        break;
    }
    if (p.why == run::Pause::Why::Limit || p.why == run::Pause::Why::Ended)
        return false; // running on, or the window says how the run ended
    show(p);
    return true;
}

QString DebugController::describe(const run::Pause &pause) const {
    using Why = run::Pause::Why;
    QString why;
    switch (pause.why) {
    case Why::Breakpoint:
        why = tr("at a breakpoint");
        break;
    case Why::Reached:
        why = tr("at the line asked for");
        break;
    case Why::Check:
        why = QString::fromStdString(pause.message);
        break;
    case Why::NoHistory:
        why = tr("no earlier step is kept");
        break;
    case Why::Written:
    case Why::Read: {
        const QString name =
            m_source ? QString::fromStdString(m_source->labelAt(pause.address)) : QString();
        why = (pause.why == Why::Read ? tr("after a read of %1") : tr("after a write to %1"))
                  .arg(QStringLiteral("%1").arg(pause.address, 4, 16, QLatin1Char('0')).toUpper() +
                       u'h' + (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name)));
        break;
    }
    default:
        why = tr("after a step");
        break;
    }
    const int page = pageAt(pause.pc);
    QString at = QStringLiteral("%1").arg(pause.pc, 4, 16, QLatin1Char('0')).toUpper() + u'h';
    if (page >= 0)
        at = QStringLiteral("%1:").arg(page, 2, 16, QLatin1Char('0')).toUpper() + at;
    if (m_source) {
        const QString label = QString::fromStdString(m_source->labelAt(pause.pc, page));
        if (!label.isEmpty())
            at += QStringLiteral(" (%1)").arg(label);
        if (const auto place = m_source->placeOf(pause.pc, page))
            at = QStringLiteral("%1:%2, ")
                     .arg(QFileInfo(QString::fromStdString(place->file)).fileName())
                     .arg(place->line) +
                 at;
    }
    return tr("Paused at %1: %2.").arg(at, why);
}

void DebugController::show(const run::Pause &pause) {
    const QString text = describe(pause);
    m_going = true; // the window's signal that it paused is this pause
    m_window->pauseWith(text);
    m_going = false;
    m_pane->showPaused(m_window->session().machine(), m_source ? &*m_source : nullptr, said(text),
                       m_debugger->callStack());
    m_pane->showOsCalls(run::describeOsCalls(m_debugger->osCalls(), kOsCallsShown));
    if (!m_pane->isVisible()) {
        m_pane->show();
        m_window->fitContents();
    }
    QString file;
    int line = 0;
    if (m_source)
        if (const auto place = m_source->placeOf(pause.pc, pageAt(pause.pc))) {
            file = QString::fromStdString(place->file);
            line = place->line;
        }
    if (!file.isEmpty()) {
        // Showing another file may ask about unsaved changes first; meanwhile
        // a new run may take the window's place, and this pause is over.
        const QPointer<RunWindow> window = m_window;
        const bool shown = QFileInfo(file) == QFileInfo(m_breakpoints->file()) || m_showFile(file);
        if (!window || window != m_window || !paused())
            return;
        m_breakpoints->showArrow(shown ? line : 0);
    } else {
        m_breakpoints->showArrow(0);
    }
    emit pausedAt(file, line);
}

QString DebugController::valueNow(const QString &name) const {
    if (!paused() || name.isEmpty() || !(name[0].isLetter() || name[0] == u'_'))
        return {};
    const run::LabelLookup labels = [this](const std::string &n) -> std::optional<std::uint16_t> {
        return m_source ? m_source->label(n) : std::nullopt;
    };
    std::string error;
    const auto e = run::WatchExpr::parse(name.toStdString(), labels, &error);
    const run::Machine &m = m_window->session().machine();
    const auto v = e ? e->value(m, &error) : std::nullopt;
    if (!v)
        return {};
    auto hex = [](std::int64_t x, int digits) {
        return QString::number(x & 0xFFFFFFFF, 16).toUpper().rightJustified(digits, u'0') + u'h';
    };
    if (labels(name.toStdString())) {
        const auto at = std::uint16_t(*v);
        return tr("Now: %1 = %2, byte there %3, word %4")
            .arg(name, hex(*v, 4), hex(m.read(at), 2), hex(m.readWord(at), 4));
    }
    return tr("Now: %1 = %2 (%3)").arg(name.toUpper(), hex(*v, *v > 0xFF ? 4 : 2)).arg(*v);
}
