#include "form1.h"

#include "core/document.h"
#include "core/locations.h"
#include "core/recovery.h"
#include "core/settings.h"
#include "core/shownlog.h"
#include "core/unsavedtext.h"
#include "platform/twips.h"
#include "platform/windows.h"
#include "ui/accessgate.h"
#include "ui/catalogue.h"
#include "ui/clearplace.h"
#include "ui/editor.h"
#include "ui/editorextras.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/language.h"
#include "ui/recoverykeeper.h"
#include "ui/resizerule.h"
#include "ui/testsrunner.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QSessionManager>
#include <QTimer>

#include <algorithm>
#include <utility>

Form1::Form1(const Services &services)
    : CommonDialog1(services.picker, this), m_services(services),
      m_runner(new BuildRunner(services.starter, this)),
      m_programs(Locations(services.root).programRecord()), m_file(nullptr) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(applicationTitle());

    auto *client = new QWidget(this);
    setCentralWidget(client);
    Text1 = new QsciScintilla(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    configureEditor(Text1);
    m_file = CurrentFile(Text1);
    Text1->installEventFilter(new MenuShortcutsFirst(this));
    m_extras = new EditorExtras(Text1, m_services.messages, this);
    m_tests = new TestsRunner(this);
    connect(
        m_tests, &TestsRunner::finished, this,
        [this](const QString &file, const QString &report, const QList<TestsRunner::Mark> &marks) {
            tests_Finished(file, report);
            // The status line tells this run's outcome, not an older build's.
            const auto failed = std::count_if(marks.begin(), marks.end(),
                                              [](const TestsRunner::Mark &m) { return !m.passed; });
            tell(marks.isEmpty()
                     ? tr("Tests: none ran (see TASM Output)")
                     : tr("Tests: %1 passed, %2 failed").arg(marks.size() - failed).arg(failed));
            if (m_file.is(file))
                m_extras->markTests(marks);
        });
    new AccessibilityGate(Text1);
    const Locations places(m_services.root);
    auto *language =
        new Language(Text1,
                     {[this] { return m_file.path(); },
                      [this](const QString &file) { return maybeSave() && openFile(file); },
                      {places.root() + QLatin1String("/TASM")},
                      places.sourceFolder(),
                      [this] { return includingProgram(); },
                      [this] { return builtLabels(); },
                      m_extras->marks()},
                     this);
    language->runner()->setDelay(m_services.analysisDelayMs);
    m_extras->addActions(language->actions());
    Text1->setFocus();
    m_recovery = new RecoveryKeeper(
        Text1, places.recoveryFolder(), m_services.messages,
        {[this] { return m_file.path(); }, [this] { return m_file.encoding(); },
         [this](const RecoveryCopy &copy) { return recoverText(copy); },
         [this](const QString &error) {
             tell(error.isEmpty()
                      ? tr("The unsaved text is kept in its recovery copy again")
                      : tr("The unsaved text cannot be kept in a recovery copy (save it): %1")
                            .arg(QString(error).replace(QLatin1Char('\n'), QLatin1Char(' '))));
         }},
        this);

    for (QTimer **timer : {&Timer1, &Timer2}) {
        *timer = new QTimer(this);
        (*timer)->setSingleShot(true);
        (*timer)->setInterval(m_services.resultDelayMs);
        (*timer)->setTimerType(Qt::PreciseTimer); // a coarse one may fire 5 % early
    }
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2->setObjectName(QStringLiteral("Timer2"));
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(m_runner, &BuildRunner::finished, this, &Form1::runner_Finished);
    connect(m_runner, &BuildRunner::toolFailed, this, &Form1::runner_ToolFailed);
    connect(m_runner, &BuildRunner::buildEnded, this, &Form1::runner_BuildEnded);
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Form1::session_CommitData);
#endif

    CommonDialog1.Filter = tr("Z80 Assembly Files (*.z80, *.asm)|*.z80;*.asm|All Files (*.*)|*.*");
    CommonDialog1.InitDir = Locations(m_services.root).sourceFolder();

    createActions();
    const double dx = logicalDpiX(), dy = logicalDpiY();
    resize(twipsToPixels(4710, dx), twipsToPixels(3105, dy) + menuBar()->sizeHint().height());
    // Later starts: the size and place the user last gave it, on a screen
    // that still exists (Qt moves it onto one otherwise).
    QByteArray geometry;
    if (!readWholeFile(Locations(m_services.root).windowGeometry(), &geometry))
        restoreFittingGeometry(this, QByteArray::fromBase64(geometry));
    new ResizeRuleKeeper(this, Text1, 800, 100); // also once the frame is known
    Form_Load();
    addEditorAdditions(language);
}

Form1::~Form1() {
    if (m_form3)
        delete m_form3.data();
}

void Form1::createActions() {
    auto menu = [](QWidget *parent, const char *name, const QString &caption) {
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
    QMenu *file = menu(menuBar(), "file", tr("&File"));
    m_newMenu = menu(file, "new", tr("&New"));
    item(file, "open", tr("&Open"), &Form1::open_Click, QKeySequence(Qt::CTRL | Qt::Key_O));
    item(file, "save", tr("&Save"), &Form1::save_Click, QKeySequence(Qt::CTRL | Qt::Key_S));
    item(file, "saveas", tr("Save &As"), &Form1::saveas_Click);
    item(file, "exit", tr("E&xit"), &Form1::exit_Click, QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu *edit = menu(menuBar(), "edit", tr("&Edit"));
    item(edit, "selall", tr("Select &All"), &Form1::selall_Click,
         QKeySequence(Qt::CTRL | Qt::Key_A));
    item(edit, "prefs", tr("&Preferences..."), &Form1::prefs_Click);
    QMenu *build = menu(menuBar(), "build", tr("&Build"));
    item(build, "makeprog", tr("&Make .8xp"), &Form1::makeprog_Click);
    item(build, "makesend", tr("Make and &Send to Calculator"), &Form1::makesend_Click);
    item(build, "viewout", tr("View TASM &Output"), &Form1::viewout_Click);
    item(build, "startcalc", tr("Start &Virtual Calculator"), &Form1::startcalc_Click);
}

// Start-up: the settings into the Preferences dialog, then the template catalogue.
void Form1::Form_Load() {
    const Locations places(m_services.root);
    m_form2 =
        std::make_unique<Form2>(m_services.picker, m_services.messages, places.settingsFile());
    Settings settings;
    if (auto error = loadSettings(places.settingsFile(), &settings))
        informWhenShown(error->message());
    for (const QString &notice : takeUnsavedTextNotices(m_services.root))
        informWhenShown(notice);
    for (const QString &notice : leftBackupNotices(places.spareFolder()))
        informWhenShown(notice);
    m_form2->Text1->setText(settings.linkProgram);
    m_form2->Text2->setText(settings.emulator);
    buildCatalogue(
        m_newMenu, places.templateFolder(), [this](const QByteArray &path) { newdoc_Click(path); },
        [this] { newEmpty(); });
}

void Form1::informWhenShown(const QString &text) {
    m_startMessages << text;
    if (isVisible())
        QTimer::singleShot(0, this, &Form1::informStartMessages);
}

void Form1::informStartMessages() {
    const QStringList texts = std::exchange(m_startMessages, {});
    for (const QString &text : texts)
        inform(text);
}

void Form1::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // Boxes asked for before the window was on the screen, over it now.
    if (!m_startMessages.isEmpty())
        QTimer::singleShot(0, this, &Form1::informStartMessages);
    // Then the text that editors ended without saving left behind.
    QTimer::singleShot(0, m_recovery, &RecoveryKeeper::offerLeftCopies);
}

void Form1::report(const FileError &error) {
    inform(error.message());
}

void Form1::inform(const QString &text) {
    m_services.messages->inform(this, text);
}

bool Form1::open_doc(const QString &filename) {
    if (auto error = m_file.load(filename)) {
        report(*error);
        return false;
    }
    m_templateTests.clear();
    return true;
}

bool Form1::save_doc(const QString &filename) {
    if (!mayOverwrite(filename))
        return false;
    if (auto error = m_file.save(filename, Locations(m_services.root).spareFolder())) {
        report(*error);
        return false;
    }
    if (!m_templateTests.isEmpty()) {
        const QFileInfo saved(filename);
        const QString tests = saved.absolutePath() + QLatin1Char('/') + saved.completeBaseName() +
                              QLatin1String(".tests");
        if (!QFileInfo::exists(tests))
            QFile::copy(m_templateTests, tests);
        m_templateTests.clear();
    }
    return true;
}

// Writing over the current file when another program has changed it since it
// was loaded or saved needs the user's word.
bool Form1::mayOverwrite(const QString &filename) {
    if (const auto target = m_file.unchosenTarget(filename))
        return m_services.messages->confirm(
            this,
            tr("%1\n\nThis is a link to %2, which is not the file this text was read from or "
               "saved to. Write the text to %2?")
                .arg(filename, *target),
            tr("&Write"));
    if (!m_file.changedOnDisk(filename))
        return true;
    return m_services.messages->confirm(
        this,
        tr("%1\n\nAnother program has changed this file since it was opened or last saved. "
           "Overwrite it with the text in the editor?")
            .arg(filename),
        tr("&Overwrite"));
}

// Asks before text that changed since it was last loaded or saved could be
// dropped; false when the user cancels or the save fails.
bool Form1::maybeSave() {
    if (!Text1->isModified())
        return true;
    switch (m_services.messages->askSave(this, tr("Save changes to %1?").arg(documentName()))) {
    case MessageBox::Answer::Save:
        return m_file.untitled() ? saveWithDialog() : save_doc(m_file.path());
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
    CommonDialog1.FileName = m_file.path(); // the dialog starts from a copy
    if (!CommonDialog1.ShowSave())
        return false;
    return save_doc(CommonDialog1.FileName);
}

bool Form1::commitData(bool interactive) {
    if (interactive)
        return maybeSave();
    if (!Text1->isModified())
        return true;
    // Nobody to ask: the text goes to its file, or to a new one in the
    // source folder when it has none. Where that fails, it is kept as it is,
    // in UTF-8, and the next start says where.
    const Locations places(m_services.root);
    const QString unsaved = unsavedTextPath(m_services.root, QDateTime::currentDateTime());
    const QString file =
        m_file.untitled() || m_file.unchosenTarget(m_file.path()) ? unsaved : m_file.path();
    makeFolders(places.sourceFolder());
    const EditorBytes text = editorBytes(Text1);
    if (!writeDocument(file, text.data, text.size, m_file.encoding(), places.spareFolder()))
        Text1->setModified(false);
    else
        keepUnsavedText(m_services.root, unsaved, QByteArray(text.data, text.size));
    return true;
}

void Form1::session_CommitData(QSessionManager &manager) {
#ifndef QT_NO_SESSIONMANAGER
    if (!commitData(manager.allowsInteraction()))
        manager.cancel();
#else
    Q_UNUSED(manager);
#endif
}

void Form1::newdoc_Click(const QByteArray &templatePath) {
    if (!maybeSave())
        return;
    if (auto error = m_file.loadNative(templatePath, true)) {
        report(*error);
        return;
    }
    m_extras->markBuild({}, {});
    // The tests the template comes with (hello.tests beside hello.txt) go
    // beside the program when it is first saved.
    const QString path = QFile::decodeName(templatePath);
    const QString tests = path.left(path.size() - 4) + QLatin1String(".tests");
    m_templateTests = QFileInfo(tests).isFile() ? tests : QString();
}

// File > New with no templates: an empty, untitled document, and where
// templates go.
void Form1::newEmpty() {
    if (!maybeSave())
        return;
    m_file.startNew({});
    m_extras->markBuild({}, {});
    m_templateTests.clear();
    tell(tr("New document; templates listed under File > New are the .txt files in %1")
             .arg(Locations(m_services.root).templateFolder()));
}

void Form1::open_Click() {
    if (!maybeSave())
        return;
    CommonDialog1.FileName = m_file.path(); // the dialog starts from a copy
    if (!CommonDialog1.ShowOpen())
        return;
    openFile(CommonDialog1.FileName);
}

// A file that cannot be read does not become current, so a later Save cannot
// write this text over it.
bool Form1::openFile(const QString &filename) {
    if (!open_doc(filename))
        return false;
    m_extras->markBuild(m_lastProblems, filename);
    return true;
}

// A file named at start-up that does not exist yet is a new, empty
// document that saves to it.
bool Form1::openOrCreate(const QString &filename) {
    const QFileInfo info(filename);
    if (info.exists() || info.isSymLink())
        return openFile(filename);
    m_file.startNew(info.absoluteFilePath());
    m_extras->markBuild({}, {});
    return true;
}

void Form1::save_Click() {
    if (m_file.untitled())
        saveWithDialog();
    else
        save_doc(m_file.path());
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
    m_form2->showAndRaise(this);
}

void Form1::viewout_Click() {
    ensureForm3()->showAndRaise(true);
}

Form3 *Form1::form3() const {
    return m_form3.data();
}

Form3 *Form1::ensureForm3() {
    if (!m_form3) {
        m_form3 = new Form3;
        placeClearOf(m_form3, this);
        connect(m_form3, &Form3::lineActivated, this, &Form1::form3_LineActivated);
    }
    return m_form3;
}

void Form1::closeEvent(QCloseEvent *event) {
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    event->accept();
    m_recovery->forget(); // saved, or the user chose to drop it
    writeWholeFile(Locations(m_services.root).windowGeometry(), saveGeometry().toBase64());
    // The other windows have no owner; they go with this one.
    m_form2->hide();
    if (m_form3)
        m_form3->close();
}

void Form1::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    applyResizeRule(this, Text1, 800, 100);
}

void Form1::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    applyResizeRule(this, Text1, 800, 100);
}
