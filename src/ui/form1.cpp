#include "form1.h"

#include "build/commands.h"
#include "build/programname.h"
#include "core/document.h"
#include "core/locations.h"
#include "core/settings.h"
#include "platform/process.h"
#include "platform/twips.h"
#include "ui/catalogue.h"
#include "ui/editor.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/resizerule.h"

#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>

#include <cerrno>
#include <cstring>

Form1::Form1(const Services &services)
    : CommonDialog1(services.picker, this), m_services(services) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(applicationTitle());

    auto *client = new QWidget(this);
    setCentralWidget(client);
    Text1 = new QsciScintilla(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    configureEditor(Text1);
    auto *filter = new MenuShortcutsFirst(this);
    Text1->installEventFilter(filter);
    Text1->setFocus();

    for (QTimer **timer : {&Timer1, &Timer2}) {
        *timer = new QTimer(this);
        (*timer)->setSingleShot(true);
        (*timer)->setInterval(m_services.resultDelayMs);
    }
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2->setObjectName(QStringLiteral("Timer2"));
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);

    CommonDialog1.Filter =
        QStringLiteral("Z80 Assembly Files (*.z80, *.asm)|*.z80;*.asm|All Files (*.*)|*.*");

    createActions();
    const double dx = logicalDpiX(), dy = logicalDpiY();
    resize(twipsToPixels(4710, dx), twipsToPixels(3105, dy) + menuBar()->sizeHint().height());
    Form_Load();
}

Form1::~Form1() {
    if (m_form3)
        delete m_form3.data();
}

void Form1::createActions() {
    auto menu = [this](QWidget *parent, const char *name, const QString &caption) {
        auto *m = new QMenu(caption, parent);
        m->setObjectName(QLatin1String(name));
        if (auto *bar = qobject_cast<QMenuBar *>(parent))
            bar->addMenu(m);
        else
            static_cast<QMenu *>(parent)->addMenu(m);
        return m;
    };
    auto item = [this](QMenu *m, const char *name, const QString &caption, void (Form1::*handler)(),
                       const QKeySequence &key = {}) {
        QAction *a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, handler);
    };
    QMenu *file = menu(menuBar(), "file", QStringLiteral("&File"));
    m_newMenu = menu(file, "new", QStringLiteral("&New"));
    item(file, "open", QStringLiteral("&Open"), &Form1::open_Click,
         QKeySequence(Qt::CTRL | Qt::Key_O));
    item(file, "save", QStringLiteral("&Save"), &Form1::save_Click,
         QKeySequence(Qt::CTRL | Qt::Key_S));
    item(file, "saveas", QStringLiteral("Save &As"), &Form1::saveas_Click);
    item(file, "exit", QStringLiteral("E&xit"), &Form1::exit_Click,
         QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu *edit = menu(menuBar(), "edit", QStringLiteral("&Edit"));
    item(edit, "selall", QStringLiteral("Select &All"), &Form1::selall_Click,
         QKeySequence(Qt::CTRL | Qt::Key_A));
    item(edit, "prefs", QStringLiteral("&Preferences..."), &Form1::prefs_Click);
    QMenu *build = menu(menuBar(), "build", QStringLiteral("&Build"));
    item(build, "makeprog", QStringLiteral("&Make .8xp"), &Form1::makeprog_Click);
    item(build, "makesend", QStringLiteral("Make and &Send to Calculator"), &Form1::makesend_Click);
    item(build, "viewout", QStringLiteral("View TASM &Output"), &Form1::viewout_Click);
    item(build, "startcalc", QStringLiteral("Start &Virtual Calculator"), &Form1::startcalc_Click);
}

// Start-up: the settings into the Preferences dialog, then the template catalogue.
void Form1::Form_Load() {
    const Locations places(m_services.root);
    m_form2 =
        std::make_unique<Form2>(m_services.picker, m_services.messages, places.settingsFile());
    Settings settings;
    if (auto error = loadSettings(places.settingsFile(), &settings))
        report(*error);
    m_form2->Text1->setText(settings.linkProgram);
    m_form2->Text2->setText(settings.emulator);
    buildCatalogue(m_newMenu, places.templateFolder(),
                   [this](const QByteArray &path) { newdoc_Click(path); });
}

void Form1::report(const FileError &error) {
    m_services.messages->inform(this, error.message());
}

bool Form1::open_doc(const QString &filename) {
    return loadText(QFile::encodeName(filename));
}

// Replaces the editor text with a file's; on failure the text stays.
bool Form1::loadText(const QByteArray &nativePath) {
    QByteArray utf8;
    if (auto error = readDocument(nativePath, &utf8)) {
        report(*error);
        return false;
    }
    setEditorBytes(Text1, utf8);
    return true;
}

bool Form1::save_doc(const QString &filename) {
    const EditorBytes text = editorBytes(Text1);
    if (auto error = writeDocument(filename, text.data, text.size)) {
        report(*error);
        return false;
    }
    Text1->setModified(false);
    return true;
}

// Asks before text that changed since it was last loaded or saved could be
// dropped; false when the user cancels or the save fails.
bool Form1::maybeSave() {
    if (!Text1->isModified())
        return true;
    switch (m_services.messages->askSave(this,
                                         QStringLiteral("Save changes to the current document?"))) {
    case MessageBox::Answer::Save:
        return CommonDialog1.FileName.isEmpty() ? saveWithDialog()
                                                : save_doc(CommonDialog1.FileName);
    case MessageBox::Answer::Discard:
        return true;
    case MessageBox::Answer::Cancel:
        break;
    }
    return false;
}

// The Save dialog, then the save; a cancel writes nothing, and a failed save
// keeps the document under its previous name.
bool Form1::saveWithDialog() {
    const QString previous = CommonDialog1.FileName;
    if (!CommonDialog1.ShowSave())
        return false;
    if (save_doc(CommonDialog1.FileName))
        return true;
    CommonDialog1.FileName = previous;
    return false;
}

void Form1::newdoc_Click(const QByteArray &templatePath) {
    if (!maybeSave() || !loadText(templatePath))
        return;
    CommonDialog1.FileName.clear();
}

void Form1::open_Click() {
    if (!maybeSave())
        return;
    const QString previous = CommonDialog1.FileName;
    if (!CommonDialog1.ShowOpen())
        return;
    // A file that cannot be read does not become current, so a later Save
    // cannot write this text over it.
    if (!open_doc(CommonDialog1.FileName))
        CommonDialog1.FileName = previous;
}

void Form1::save_Click() {
    if (CommonDialog1.FileName.isEmpty())
        saveWithDialog();
    else
        save_doc(CommonDialog1.FileName);
}

void Form1::saveas_Click() {
    saveWithDialog();
}

void Form1::exit_Click() {
    close();
}

void Form1::selall_Click() {
    Text1->selectAll(true);
}

void Form1::prefs_Click() {
    m_form2->showAndRaise();
}

void Form1::viewout_Click() {
    ensureForm3()->showAndRaise();
}

Form3 *Form1::form3() const {
    return m_form3.data();
}

Form3 *Form1::ensureForm3() {
    if (!m_form3)
        m_form3 = new Form3;
    return m_form3;
}

void Form1::closeEvent(QCloseEvent *event) {
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    event->accept();
    // The other windows have no owner; they go with this one.
    m_form2->hide();
    if (m_form3)
        m_form3->close();
}

void Form1::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    applyResizeRule();
}

// The window manager's frame is known only once the window is mapped, and it
// moves the window then: the outer size may have changed without a resize.
void Form1::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    applyResizeRule();
}

void Form1::applyResizeRule() {
    const double dx = logicalDpiX(), dy = logicalDpiY();
    const QSize outer = frameGeometry().size();
    if (const auto size =
            editorSize(QSize(pixelsToTwips(outer.width(), dx), pixelsToTwips(outer.height(), dy))))
        Text1->setGeometry(0, 0, twipsToPixels(size->width(), dx),
                           twipsToPixels(size->height(), dy));
}

// Saves the document and starts the build script with the program name, in
// the document's folder. Nothing when the user cancels the Save dialog or a
// step fails (the failure is reported).
std::optional<Form1::Build> Form1::startBuild() {
    if (CommonDialog1.FileName.isEmpty()) {
        if (!saveWithDialog())
            return std::nullopt;
    } else if (!save_doc(CommonDialog1.FileName)) {
        return std::nullopt;
    }
    Build build;
    build.programName = programName(CommonDialog1.FileName);
    const QString script = findBuildScript(m_services.programFolder, m_services.root);
    if (script.isEmpty()) {
        report(FileError::fromErrno(ENOENT, QLatin1String(kBuildScriptName)));
        return std::nullopt;
    }
    build.started = buildStartTime();
    const Command command = buildCommand(script, build.programName);
    StartResult started = m_services.starter->start(
        command.program, command.arguments, QFileInfo(CommonDialog1.FileName).absolutePath());
    if (!started.ok()) {
        report(FileError{started.errorNumber, started.errorDescription, script});
        return std::nullopt;
    }
    build.watch = std::move(started.watch);
    return build;
}

void Form1::armTimer(QTimer *timer, std::optional<Build> &slot, std::optional<Build> build) {
    if (slot)
        disconnect(slot->waiting);
    slot = std::move(build);
    timer->start(); // restarts the count when it runs already
}

void Form1::makeprog_Click() {
    if (auto build = startBuild())
        armTimer(Timer1, m_make, std::move(build));
}

void Form1::makesend_Click() {
    if (auto build = startBuild())
        armTimer(Timer2, m_send, std::move(build));
}

// A build still running when its timer fires is waited for; its result is
// shown once it has ended.
void Form1::whenBuildEnded(std::optional<Build> &slot, void (Form1::*finish)()) {
    if (slot && slot->watch && slot->watch->isRunning()) {
        disconnect(slot->waiting);
        // Queued: the finish drops the watch, which must not die inside its own signal.
        slot->waiting =
            connect(slot->watch.get(), &ProcessWatch::ended, this, finish, Qt::QueuedConnection);
        return;
    }
    (this->*finish)();
}

void Form1::Timer1_Timer() {
    Timer1->stop();
    whenBuildEnded(m_make, &Form1::finishMake);
}

void Form1::Timer2_Timer() {
    Timer2->stop();
    whenBuildEnded(m_send, &Form1::finishSend);
}

void Form1::finishMake() {
    if (m_make)
        disconnect(m_make->waiting);
    m_make.reset();
    showAssemblerLog();
}

void Form1::finishSend() {
    std::optional<Build> build = std::move(m_send);
    m_send.reset();
    if (build)
        disconnect(build->waiting);
    if (!showAssemblerLog() || !build)
        return;
    const QString program = Locations(m_services.root).builtProgram(build->programName);
    if (!isFreshBuild(program, build->started)) {
        m_services.messages->inform(this, QStringLiteral("Errors were found."));
        return;
    }
    const QString linkProgram = m_form2->Text1->text();
    if (linkProgram.isEmpty()) {
        m_services.messages->inform(this, QStringLiteral("No Calculator Link Program Found!"));
        return;
    }
    const Command command = linkCommand(linkProgram, program);
    startTool(command.program, command.arguments);
}

void Form1::startcalc_Click() {
    const QString text = m_form2->Text2->text();
    if (text.isEmpty()) {
        m_services.messages->inform(this, QStringLiteral("No Emulator Found!"));
        return;
    }
    const Command command = emulatorCommand(text);
    startTool(command.program, command.arguments);
}

bool Form1::showAssemblerLog() {
    QString text;
    if (auto error = readTextFile(Locations(m_services.root).assemblerLog(), &text)) {
        report(*error);
        return false;
    }
    Form3 *output = ensureForm3();
    output->setText(text);
    output->showAndRaise();
    return true;
}

// Starts a tool in the editor's own folder and keeps its watch until it ends,
// so that it is reaped.
bool Form1::startTool(const QString &program, const QStringList &arguments) {
    StartResult started = m_services.starter->start(program, arguments, QString());
    if (!started.ok()) {
        report(FileError{started.errorNumber, started.errorDescription, program});
        return false;
    }
    ProcessWatch *watch = started.watch.get();
    m_tools.append(std::move(started.watch));
    connect(
        watch, &ProcessWatch::ended, this,
        [this, watch] { m_tools.removeIf([watch](const auto &w) { return w.get() == watch; }); },
        Qt::QueuedConnection);
    return true;
}
