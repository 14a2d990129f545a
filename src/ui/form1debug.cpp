// The editor's side of debugging: breakpoints in the margin beside the text
// and the keys that step a run the run window debugs.

#include "form1.h"

#include "core/locations.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "platform/textlines.h"
#include "ui/breakpoints.h"
#include "ui/debugcontroller.h"
#include "ui/editorextras.h"
#include "ui/keptbreakpoints.h"
#include "ui/keptwatches.h"
#include "ui/keytable.h"
#include "ui/language.h"
#include "ui/runwindow.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

namespace {

// A file of breakpoints or watches is read and written up to this size;
// of a longer one (another version's, or damaged) the whole lines before it.
constexpr qint64 kMaxKept = 256 * 1024;
constexpr int kMostKept = 5000;
constexpr int kMostWatches = 200;

QByteArray readKeptFile(const QString &file) {
    QByteArray bytes;
    qint64 size = 0;
    if (readFileStart(file, kMaxKept, &bytes, &size))
        return {};
    if (size > kMaxKept)
        bytes.truncate(bytes.lastIndexOf('\n') + 1);
    return bytes;
}

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
}

} // namespace

// The breakpoints are kept across sessions, written whenever they change and
// when a file is saved (its dots have followed the edits). Only the files
// whose breakpoints changed here since this editor last read or wrote them
// are written: another editor running at once keeps the others'.
void Form1::keepBreakpoints() {
    const KeptEntries now = keptEntries(*m_breakpoints);
    QSet<QString> changed;
    for (const KeptEntries *side : {&now, &std::as_const(m_keptEntries)})
        for (auto it = side->begin(); it != side->end(); ++it)
            if (now.value(it.key()) != m_keptEntries.value(it.key()))
                changed << it.key();
    if (changed.isEmpty())
        return;
    const QString file = Locations(m_services.root).breakpoints();
    const QByteArray onDisk = readKeptFile(file);
    const QByteArray text = mergedKept(onDisk, now, changed, kMostKept, kMaxKept);
    if (text == onDisk ||
        !writeWholeFile(file, text, {Locations(m_services.root).spareFolder(), {}}))
        m_keptEntries = now;
}

// A file about to be shown takes the breakpoints another editor kept for it
// since this one read them, unless this one changed them too.
void Form1::takeKeptBreakpoints(const QString &path) {
    if (path.isEmpty() || path == m_breakpoints->file())
        return;
    const KeptEntries mine = keptEntries(*m_breakpoints, path);
    if (mine.value(path) != m_keptEntries.value(path))
        return;
    const KeptEntries onDisk = keptEntries(readKeptFile(Locations(m_services.root).breakpoints()));
    if (onDisk.value(path) == m_keptEntries.value(path))
        return;
    KeptEntries theirs;
    theirs.insert(path, onDisk.value(path));
    const KeptBreakpoints kept = keptBreakpoints(theirs);
    m_breakpoints->restore({{path, kept.lines.value(path)}}, kept.settings);
    m_keptEntries.remove(path);
    m_keptEntries.insert(keptEntries(*m_breakpoints, path));
}

// The watch expressions written when this editor changed them: what it
// added and removed, into the list another editor may have kept meanwhile.
void Form1::keepWatches(const QStringList &expressions) {
    const QString file = Locations(m_services.root).watchExpressions();
    QStringList now;
    for (const QString &e : expressions.mid(0, kMostWatches))
        now << oneLine(e);
    if (now == m_keptWatches)
        return;
    const QByteArray onDisk = readKeptFile(file);
    QByteArray text;
    const QStringList merged = mergedWatches(keptWatches(onDisk, kMostWatches), m_keptWatches, now);
    for (const QString &e : merged.mid(0, kMostWatches))
        if (const QByteArray line = e.toUtf8() + '\n'; text.size() + line.size() <= kMaxKept)
            text += line;
    if (text == onDisk ||
        !writeWholeFile(file, text, {Locations(m_services.root).spareFolder(), {}}))
        m_keptWatches = now;
}

void Form1::addDebugging() {
    m_breakpoints = new Breakpoints(Text1, this);
    m_breakpoints->setObjectName(QStringLiteral("breakpoints"));
    const KeptBreakpoints kept =
        keptBreakpoints(keptEntries(readKeptFile(Locations(m_services.root).breakpoints())));
    m_breakpoints->restore(kept.lines, kept.settings);
    m_keptEntries = keptEntries(*m_breakpoints);
    connect(m_breakpoints, &Breakpoints::changed, this, &Form1::keepBreakpoints);
    m_debug = new DebugController(
        m_breakpoints, [this](const QString &path) { return maybeSave() && openFile(path); }, this);
    m_debug->setObjectName(QStringLiteral("debugController"));
    // A pause shows its line here, in front, where the stepping keys work.
    connect(m_debug, &DebugController::pausedAt, this, [this] {
        raise();
        activateWindow();
        // A run window shown just before the pause takes the front when its
        // own activation is handled, which may come after this one (a run's
        // first slice runs before the window system's events): ask again
        // once those have been handled.
        QTimer::singleShot(0, this, [this] {
            if (m_debug->paused()) {
                raise();
                activateWindow();
            }
        });
    });
    addKeyAction(this, this, tr("Toggle &Breakpoint"), "toggleBreakpoint", [this] {
        int line = 0, index = 0;
        Text1->getCursorPosition(&line, &index);
        m_breakpoints->toggle(line + 1);
    });
    addKeyAction(this, this, tr("Step &Into"), "stepInto",
                 [this] { debugKey(&DebugController::stepInto); });
    addKeyAction(this, this, tr("Step &Over"), "stepOver",
                 [this] { debugKey(&DebugController::stepOver); });
    addKeyAction(this, this, tr("Step O&ut"), "stepOut",
                 [this] { debugKey(&DebugController::stepOut); });
    addKeyAction(this, this, tr("Step &Back"), "stepBack",
                 [this] { debugKey(&DebugController::stepBack); });
    // From the editor's context menu: stop when the label under the caret
    // is written or read, its byte or its word.
    const struct {
        const char *text, *name, *on, *off;
        bool read;
        int bytes;
    } kWatches[] = {
        {QT_TR_NOOP("Byte Is &Written"), "watchLabel",
         QT_TR_NOOP("The run stops after %1 is written."),
         QT_TR_NOOP("The run no longer stops when %1 is written."), false, 1},
        {QT_TR_NOOP("Byte Is &Read"), "watchLabelRead",
         QT_TR_NOOP("The run stops after %1 is read."),
         QT_TR_NOOP("The run no longer stops when %1 is read."), true, 1},
        {QT_TR_NOOP("Word Is Writt&en"), "watchLabelWord",
         QT_TR_NOOP("The run stops after the word at %1 is written."),
         QT_TR_NOOP("The run no longer stops when the word at %1 is written."), false, 2},
        {QT_TR_NOOP("Word Is Re&ad"), "watchLabelWordRead",
         QT_TR_NOOP("The run stops after the word at %1 is read."),
         QT_TR_NOOP("The run no longer stops when the word at %1 is read."), true, 2},
    };
    QList<QAction *> watchActions;
    for (const auto &k : kWatches) {
        auto *watch = new QAction(tr(k.text), this);
        watch->setObjectName(QLatin1String(k.name));
        connect(watch, &QAction::triggered, this, [this, k] {
            int line = 0, index = 0;
            Text1->getCursorPosition(&line, &index);
            const QString name = Text1->wordAtLineIndex(line, index);
            if (name.isEmpty())
                return;
            const DebugController::LabelWatch w{name, k.read, k.bytes};
            const bool on = !m_debug->watching(w);
            if (!m_debug->toggleWatch(w))
                tell(tr("%1 is not a label of the program being debugged.").arg(name));
            else
                tell(tr(on ? k.on : k.off).arg(name));
        });
        watchActions << watch;
    }
    m_extras->addSubmenu(tr("Stop &When the Label's"), watchActions);
    m_keptWatches =
        keptWatches(readKeptFile(Locations(m_services.root).watchExpressions()), kMostWatches);
    m_debug->setWatchExpressions(m_keptWatches);
    connect(m_debug, &DebugController::watchExpressionsChanged, this, &Form1::keepWatches);
    addKeyAction(this, this, tr("&Stop Debugging"), "stopDebugging", [this] { m_debug->stop(); });
    addKeyAction(this, this, tr("&Restart"), "restartDebugging", [this] { m_debug->restart(); });
    addBreakpointMenu();
    m_language->setValueNow([this](const QString &name) { return m_debug->valueNow(name); });
    // Queued: the save question's own event loop must not run inside the
    // pane's double-click, whose table a replaced run window takes with it.
    connect(
        m_debug, &DebugController::goTo, this,
        [this](const QString &file, int line) {
            if (QFileInfo(file) != QFileInfo(m_file.path()) && !(maybeSave() && openFile(file)))
                return;
            m_extras->showLine(line);
            raise();
            activateWindow();
        },
        Qt::QueuedConnection);
    addKeyAction(this, this, tr("Run to the &Caret"), "runToCaret", [this] {
        int line = 0, index = 0;
        Text1->getCursorPosition(&line, &index);
        if (m_debug->paused())
            m_debug->runToLine(QFileInfo(m_file.path()).absoluteFilePath(), line + 1);
    });
}

// The breakpoint margin's context menu on a dot: on and off, a condition,
// a hit count and a log message. Each acts on the caret's line, which a
// right click in the margin moves to the line clicked.
void Form1::addBreakpointMenu() {
    auto line = [this] {
        int l = 0, index = 0;
        Text1->getCursorPosition(&l, &index);
        return l + 1;
    };
    auto make = [this](const QString &text, const char *name) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QAction *enabled = make(tr("&Enabled"), "breakpointEnabled");
    enabled->setCheckable(true);
    connect(enabled, &QAction::triggered, this, [this, line] {
        BreakpointSettings s = m_breakpoints->settings(m_breakpoints->file(), line());
        s.enabled = !s.enabled;
        m_breakpoints->setSettings(line(), s);
    });
    QAction *condition = make(tr("&Condition..."), "breakpointCondition");
    connect(condition, &QAction::triggered, this, [this, line] {
        BreakpointSettings s = m_breakpoints->settings(m_breakpoints->file(), line());
        for (;;) {
            const auto text = m_services.messages->askText(
                this, tr("Condition"),
                tr("Stop only when this is not zero (registers, flags, labels, (x) a byte, {x} "
                   "a word; empty: always):"),
                s.condition);
            if (!text)
                return;
            const QString refused = m_debug->refusalOf(*text);
            if (text->trimmed().isEmpty() || refused.isEmpty()) {
                s.condition = text->trimmed();
                break;
            }
            m_services.messages->inform(this, tr("The condition cannot be used: %1.").arg(refused));
        }
        m_breakpoints->setSettings(line(), s);
    });
    QAction *hits = make(tr("&Hit Count..."), "breakpointHitCount");
    connect(hits, &QAction::triggered, this, [this, line] {
        BreakpointSettings s = m_breakpoints->settings(m_breakpoints->file(), line());
        const auto n = m_services.messages->askNumber(
            this, tr("Hit Count"), tr("Stop from this time it is reached on (0: the first):"),
            s.hitCount, 0, 1000000000);
        if (!n)
            return;
        s.hitCount = *n;
        m_breakpoints->setSettings(line(), s);
    });
    QAction *log = make(tr("&Log Message..."), "breakpointLog");
    connect(log, &QAction::triggered, this, [this, line] {
        BreakpointSettings s = m_breakpoints->settings(m_breakpoints->file(), line());
        const auto text = m_services.messages->askText(
            this, tr("Log Message"),
            tr("Write this to the run window's log instead of stopping ({a}, {hl}, {(hl)} are "
               "filled in; empty: stop):"),
            s.log);
        if (!text)
            return;
        s.log = *text;
        m_breakpoints->setSettings(line(), s);
    });
    m_extras->setMarginMenu(Breakpoints::kMargin, [=](QMenu *menu, int at) {
        if (!m_breakpoints->has(at))
            return;
        Text1->setCursorPosition(at - 1, 0);
        enabled->setChecked(m_breakpoints->settings(m_breakpoints->file(), at).enabled);
        menu->addActions({enabled, condition, hits, log});
    });
}

// While a debugged run is paused, a step; with none, the program is made and
// its run pauses before its first statement.
void Form1::debugKey(void (DebugController::*step)()) {
    if (m_debug->paused()) {
        (m_debug->*step)();
    } else if (!m_debug->running()) { // while it runs, the run window's Pause stops it
        startRun(true);
    }
}

void Form1::debugFileShown(bool sameText) {
    const QString name = m_file.path();
    const QString path = name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath();
    if (!sameText)
        takeKeptBreakpoints(path);
    m_breakpoints->fileShown(path, sameText);
    keepBreakpoints();
}
