// The editor's side of debugging: breakpoints in the margin beside the text
// and the keys that step a run the run window debugs.

#include "form1.h"

#include "core/locations.h"
#include "platform/textfile.h"
#include "platform/textlines.h"
#include "ui/breakpoints.h"
#include "ui/debugcontroller.h"
#include "ui/editorextras.h"
#include "ui/keytable.h"
#include "ui/runwindow.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QFileInfo>

namespace {

constexpr qint64 kMaxKept = 256 * 1024; // a file of breakpoints grown past this is not read
constexpr int kMostKept = 5000;

QHash<QString, QList<int>> readKept(const QString &file) {
    QHash<QString, QList<int>> all;
    QByteArray bytes;
    if (QFileInfo(file).size() > kMaxKept || readWholeFile(file, &bytes))
        return all;
    for (const QString &line : splitLines(QString::fromUtf8(bytes))) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int number = line.left(tab).toInt(&ok);
        if (tab > 0 && ok && number >= 1 && QFileInfo(line.mid(tab + 1)).isAbsolute())
            all[line.mid(tab + 1)] << number;
    }
    return all;
}

} // namespace

// The breakpoints are kept across sessions, written whenever they change and
// when a file is saved (its dots have followed the edits).
void Form1::keepBreakpoints() {
    QByteArray text;
    int count = 0;
    const auto all = m_breakpoints->all();
    for (auto it = all.begin(); it != all.end(); ++it)
        for (int line : it.value())
            if (++count <= kMostKept)
                text += QByteArray::number(line) + '\t' + it.key().toUtf8() + '\n';
    const QString file = Locations(m_services.root).breakpoints();
    if (text == m_keptBreakpoints || (text.isEmpty() && !QFileInfo::exists(file)))
        return;
    m_keptBreakpoints = text;
    writeWholeFile(file, text, {Locations(m_services.root).spareFolder(), {}});
}

void Form1::addDebugging() {
    m_breakpoints = new Breakpoints(Text1, this);
    m_breakpoints->setObjectName(QStringLiteral("breakpoints"));
    m_breakpoints->restore(readKept(Locations(m_services.root).breakpoints()));
    connect(m_breakpoints, &Breakpoints::changed, this, &Form1::keepBreakpoints);
    m_debug = new DebugController(
        m_breakpoints, [this](const QString &path) { return maybeSave() && openFile(path); }, this);
    m_debug->setObjectName(QStringLiteral("debugController"));
    // A pause shows its line here, in front, where the stepping keys work.
    connect(m_debug, &DebugController::pausedAt, this, [this] {
        raise();
        activateWindow();
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
    // From the editor's context menu: stop when the label under the caret is written.
    auto *watch = new QAction(tr("Stop When the Label's Byte Is &Written"), this);
    watch->setObjectName(QStringLiteral("watchLabel"));
    connect(watch, &QAction::triggered, this, [this] {
        int line = 0, index = 0;
        Text1->getCursorPosition(&line, &index);
        const QString name = Text1->wordAtLineIndex(line, index);
        if (name.isEmpty())
            return;
        const bool on = !m_debug->watches().contains(name);
        if (!m_debug->toggleWatch(name))
            tell(tr("%1 is not a label of the program being debugged.").arg(name));
        else
            tell(on ? tr("The run stops after %1 is written.").arg(name)
                    : tr("The run no longer stops when %1 is written.").arg(name));
    });
    m_extras->addActions({watch});
    addKeyAction(this, this, tr("Run to the &Caret"), "runToCaret", [this] {
        int line = 0, index = 0;
        Text1->getCursorPosition(&line, &index);
        if (m_debug->paused())
            m_debug->runToLine(QFileInfo(m_file.path()).absoluteFilePath(), line + 1);
    });
}

// While a debugged run is paused, a step; with none, the program is made and
// its run pauses before its first statement.
void Form1::debugKey(void (DebugController::*step)()) {
    if (m_debug->paused()) {
        (m_debug->*step)();
    } else if (!m_debug->running()) { // while it runs, the run window's Pause stops it
        m_debugFromStart = true;
        runWindow_Key();
    }
}

void Form1::debugFileShown(bool sameText) {
    const QString name = m_file.path();
    m_breakpoints->fileShown(name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath(),
                             sameText);
    keepBreakpoints();
}
