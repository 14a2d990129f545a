#include "ui/keytable.h"

#include "run/keypad.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>

const std::vector<KeyEntry> &keyTable() {
    using P = KeyPlace;
    namespace sk = run::sk;
    static const std::vector<KeyEntry> table = {
        {P::Menu, "open", "Ctrl+O", "Open a file (File > Open)"},
        {P::Menu, "save", "Ctrl+S", "Save (File > Save)"},
        {P::Menu, "exit", "Ctrl+Q", "Exit, asking about unsaved changes (File > Exit)"},
        {P::Menu, "selall", "Ctrl+A", "Select All (Edit > Select All)"},
        {P::Editor, "makeKey", "Ctrl+B",
         "Make .8xp; the log shows as soon as the build ends (the menu item waits 5 seconds)"},
        {P::Editor, "makesendKey", "Ctrl+Shift+B",
         "Make and Send to Calculator, sent as soon as the build ends"},
        {P::Editor, "runKey", "F5", "Make, then start the emulator with the program"},
        {P::Editor, "runWindowKey", "Ctrl+F5",
         "Make, then run the program in Quorvin's own runner (no ROM image needed), stopping at "
         "breakpoints; while a run is paused, continue it"},
        {P::Editor, "toggleBreakpoint", "F9",
         "Set or clear a breakpoint on the caret's line (a line without code: the next with code)"},
        {P::Editor, "", "Click in the breakpoint margin",
         "Set or clear a breakpoint on that line (the margin beside the text)"},
        {P::Editor, "stepOver", "F10",
         "Step over: a call, rst, bcall or djnz loop runs to its end (with no run paused: make, "
         "run and pause before the first statement)"},
        {P::Editor, "stepInto", "F11", "Step into: one statement; a bcall is one"},
        {P::Editor, "stepOut", "Shift+F11", "Step out: run until the routine returns"},
        {P::Editor, "stepBack", "Ctrl+Shift+F11",
         "Step back one statement: registers, memory and screen as they were"},
        {P::Editor, "runToCaret", "Ctrl+Shift+F10",
         "Run to the caret's line while a run is paused"},
        {P::Editor, "stopDebugging", "Shift+F5",
         "Stop the program the run window debugs (its last screen stays)"},
        {P::Editor, "restartDebugging", "Ctrl+Shift+F5",
         "Run the debugged program again from its start, with the same breakpoints"},
        {P::Editor, "", "Right-click on a breakpoint's dot",
         "Disable or enable it, or give it a condition (a = 5 && (hl) <> 0), a hit count or a "
         "log message (a={a} hl={hl}: written to the run window's log without stopping)"},
        {P::Editor, "testKey", "Ctrl+Shift+T",
         "Save, then run the program's tests (NAME.tests beside it) in Quorvin's own runner"},
        {P::Editor, "nextProblem", "F8",
         "Next error or warning of the last build (or of the check as you type)"},
        {P::Editor, "previousProblem", "Shift+F8", "Previous error or warning"},
        {P::Editor, "quickOpen", "Ctrl+P",
         "Quick open: recent files and the program's files, filtered as you type"},
        {P::Editor, "reopenPrevious", "Ctrl+Shift+R",
         "Reopen the file open before this one (again to come back)"},
        {P::Editor, "reopenAtStart", "Ctrl+Alt+R",
         "Whether the next start opens the last file again (on, off, on...)"},
        {P::Editor, "find", "Ctrl+F", "Find"},
        {P::Editor, "replace", "Ctrl+H", "Find and Replace"},
        {P::Editor, "findNext", "F3", "Find the next match"},
        {P::Editor, "findPrevious", "Shift+F3", "Find the previous match"},
        {P::Editor, "goToLine", "Ctrl+G", "Go to Line"},
        {P::Editor, "goToDefinition", "F12",
         "Go to the definition of the name under the caret, in this file or an include"},
        {P::Editor, "", "Ctrl+Click", "Go to the definition of the name clicked"},
        {P::Editor, "goBack", "Alt+Left", "Back to where you were before going to a definition"},
        {P::Editor, "goToSymbol", "Ctrl+Shift+O",
         "Go to Symbol: this file's names, filtered as you type; again for the includes' too"},
        {P::Editor, "findReferences", "Shift+F12", "Find References of the name under the caret"},
        {P::Editor, "rename", "F2",
         "Rename the label, equate, define or macro under the caret in every file of the program"},
        {P::Editor, "complete", "Ctrl+Space",
         "Complete the word (the list also opens by itself after three letters)"},
        {P::Editor, "zoomIn", "Ctrl++; Ctrl+=", "Larger text"},
        {P::Editor, "zoomOut", "Ctrl+-", "Smaller text"},
        {P::Editor, "zoomReset", "Ctrl+0", "Text at its normal size"},
        {P::Editor, "reloadFromDisk", "Alt+R",
         "When another program has changed the file under unsaved edits: read it again, "
         "losing the edits"},
        {P::Editor, "keepMyText", "Alt+K",
         "The same: keep the text in the editor (saving asks before overwriting the file)"},
        {P::Editor, "help", "F1", "This list of keys, and where settings, templates and logs live"},
        {P::Editor, "", "Ctrl+Z", "Undo"},
        {P::Editor, "", "Ctrl+Y; Ctrl+Shift+Z", "Redo"},
        {P::Editor, "", "Ctrl+D", "Duplicate the line or the selection"},
        {P::Editor, "", "Ctrl+T", "Swap the line with the one above"},
        {P::Editor, "", "Ctrl+Shift+L", "Delete the line"},
        {P::Editor, "", "Ins", "Overtype, and back to inserting"},
        {P::Log, "", "Return",
         "On a log line that names a file and line: go there "
         "(a double-click does the same)"},
        {P::RunWindow, "", "Up", "Up", sk::Up},
        {P::RunWindow, "", "Down", "Down", sk::Down},
        {P::RunWindow, "", "Left", "Left", sk::Left},
        {P::RunWindow, "", "Right", "Right", sk::Right},
        {P::RunWindow, "", "Return; Enter", "ENTER", sk::Enter},
        {P::RunWindow, "", "Esc", "CLEAR", sk::Clear},
        {P::RunWindow, "", "Backspace; Del", "DEL", sk::Del},
        {P::RunWindow, "", "Shift", "2ND (a symbol or capital typed with Shift is its own key)",
         sk::Second},
        {P::RunWindow, "", "Ctrl", "ALPHA", sk::Alpha},
        {P::RunWindow, "", "A-Z", "ALPHA and the key that types the letter"},
        {P::RunWindow, "", "0-9", "the digits"},
        {P::RunWindow, "", "+", "+", sk::Add},
        {P::RunWindow, "", "-", "-", sk::Sub},
        {P::RunWindow, "", "*", "\u00d7", sk::Mul},
        {P::RunWindow, "", "/", "\u00f7", sk::Div},
        {P::RunWindow, "", "^", "^", sk::Power},
        {P::RunWindow, "", "(", "(", sk::LParen},
        {P::RunWindow, "", ")", ")", sk::RParen},
        {P::RunWindow, "", ".", ".", sk::DecPnt},
        {P::RunWindow, "", ",", ",", sk::Comma},
        {P::RunWindow, "", "F1", "Y=", sk::YEqu},
        {P::RunWindow, "", "F2", "WINDOW", sk::Window},
        {P::RunWindow, "", "F3", "ZOOM", sk::Zoom},
        {P::RunWindow, "", "F4", "TRACE", sk::Trace},
        {P::RunWindow, "", "F5", "GRAPH", sk::Graph},
        {P::RunWindow, "", "F6", "MODE", sk::Mode},
        {P::RunWindow, "", "F7", "MATH", sk::Math},
        {P::RunWindow, "", "F8", "APPS", sk::Apps},
        {P::RunWindow, "", "F9", "PRGM", sk::Prgm},
        {P::RunWindow, "", "F10", "VARS", sk::Vars},
        {P::RunWindow, "", "F11", "STAT", sk::Stat},
        {P::RunWindow, "", "F12", "ON", sk::On},
    };
    return table;
}

namespace {
QStringList keyTexts(const KeyEntry &entry) {
    return QString::fromLatin1(entry.keys).split(QStringLiteral("; "));
}
} // namespace

QList<QKeySequence> keysOf(const char *action) {
    QList<QKeySequence> keys;
    for (const KeyEntry &e : keyTable())
        if (*e.action && qstrcmp(e.action, action) == 0)
            for (const QString &k : keyTexts(e))
                keys << QKeySequence::fromString(k, QKeySequence::PortableText);
    return keys;
}

QString keysText(const KeyEntry &entry) {
    return keyTexts(entry).join(QStringLiteral(", "));
}

int calculatorKeyOf(int qtKey) {
    static const int digits[10] = {run::sk::Zero,  run::sk::One,  run::sk::Two, run::sk::Three,
                                   run::sk::Four,  run::sk::Five, run::sk::Six, run::sk::Seven,
                                   run::sk::Eight, run::sk::Nine};
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return digits[qtKey - Qt::Key_0];
    for (const KeyEntry &e : keyTable()) {
        if (e.place != KeyPlace::RunWindow || !e.calculatorKey)
            continue;
        for (const QString &k : keyTexts(e)) {
            int key = 0;
            if (k == QLatin1String("Shift"))
                key = Qt::Key_Shift;
            else if (k == QLatin1String("Ctrl"))
                key = Qt::Key_Control;
            else
                key = QKeySequence::fromString(k, QKeySequence::PortableText)[0].key();
            if (key == qtKey)
                return e.calculatorKey;
        }
    }
    return 0;
}

QAction *addKeyAction(QWidget *window, QObject *receiver, const QString &text, const char *name,
                      const std::function<void()> &handler) {
    auto *a = new QAction(text, window);
    a->setObjectName(QLatin1String(name));
    a->setShortcuts(keysOf(name));
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, receiver, handler);
    window->addAction(a);
    return a;
}
