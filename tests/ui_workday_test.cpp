// A working day in the editor: the status line says which file is open and
// what the last build said, the log opens beside the code and F8 walks its
// problems across files, marks go with their lines, a file changed on disk
// is reloaded or asked about, the zoom and Find keys, new documents' line
// ends, Ctrl+P and the last file at start, and F1's list of keys, which the
// README and the manual page list too.

#include "core/logparser.h"
#include "core/recentfiles.h"
#include "ui/clearplace.h"
#include "ui/editorextras.h"
#include "ui/finddialog.h"
#include "ui/form3.h"
#include "ui/helpwindow.h"
#include "ui/keytable.h"
#include "ui/language.h"
#include "ui/rename.h"
#include "ui/statusline.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

class WorkdayTest : public QObject, public WindowFixture {
    Q_OBJECT

    QString label(const char *name) {
        auto *l = window->findChild<QLabel *>(name);
        return l && l->isVisible() ? l->text() : QString();
    }
    int caretLine() {
        int line = 0, index = 0;
        window->Text1->getCursorPosition(&line, &index);
        return line + 1;
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), Qt::Key(key), mods);
    }
    // A program of two files: main.z80 includes defs.inc, which names it.
    void twoFiles() {
        QVERIFY(writeBytes(tree->path("Source/defs.inc"), "; main: main.z80\r\nvalue = 3\r\n"));
        QVERIFY(openSource("Source/main.z80",
                           "#include \"defs.inc\"\r\n\tld a,value\r\n\tld b,c\r\n\tret\r\n"));
    }
    Form1 &shownWindow(int width = 1000) {
        Form1 &w = makeWindow();
        w.resize(width, 400);
        w.show();
        if (!waitActive(&w))
            qWarning("the window did not become active");
        return w;
    }
    // The document as the build keys leave the log: through Ctrl+B and a build that ends.
    void buildWithLog(const QByteArray &log) {
        QVERIFY(makeExecutable(tree->path("asm.bat"), "#!/bin/sh\n"));
        QVERIFY(writeBytes(tree->places().assemblerLog(), log));
        press(Qt::Key_B, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(window->form3() && window->form3()->isVisible(), kWaitMs);
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The file, its folder (the whole path on hover), modified or not, the
    // caret's place, the format and the program, also after going into an
    // include; a question that may drop text names the file.
    void theStatusLineSaysWhichFileIsOpenAndWhere() {
        Form1 &w = shownWindow();
        twoFiles();
        const QString main = tree->path("Source/main.z80");
        QTRY_VERIFY_WITH_TIMEOUT(label("statusFile").startsWith("main.z80 in "), kWaitMs);
        QCOMPARE(w.findChild<QLabel *>("statusFile")->toolTip(), main);
        QCOMPARE(label("statusModified"), QString("Unmodified"));
        QCOMPARE(label("statusFormat"), QString("Windows-1252, CR LF"));
        w.Text1->setCursorPosition(2, 1);
        QTRY_COMPARE_WITH_TIMEOUT(label("statusPosition"), QString("Ln 3, Col 9"),
                                  kWaitMs); // after a tab
        QTest::keyClicks(w.Text1, "x");
        QTRY_COMPARE_WITH_TIMEOUT(label("statusModified"), QString("Modified"), kWaitMs);
        tree->messages.answers = {MessageBox::Answer::Discard};
        tree->picker.answers = {tree->path("Source/defs.inc")};
        w.open_Click();
        QString folder = tree->path("Source");
        if (folder.startsWith(QDir::homePath() + "/"))
            folder.replace(0, QDir::homePath().size(), "~");
        QCOMPARE(shown(), QStringList{"Save changes to main.z80 in " + folder + "?"});
        QTRY_VERIFY_WITH_TIMEOUT(label("statusFile").startsWith("defs.inc in "), kWaitMs);
        QCOMPARE(label("statusProgram"), QString("Builds main.z80 (; main:)"));
        // Every part lies inside the menu bar, right of the menus, and apart.
        QMenuBar *bar = w.menuBar();
        auto *line = w.findChild<StatusLine *>("statusLine");
        int menusEnd = 0;
        for (QAction *a : bar->actions())
            menusEnd = qMax(menusEnd, bar->actionGeometry(a).right());
        QVERIFY(line->geometry().left() > menusEnd);
        QVERIFY(bar->rect().contains(line->geometry()));
        QList<QRect> parts;
        for (QLabel *l : line->findChildren<QLabel *>()) {
            if (!l->isVisible())
                continue;
            QVERIFY(line->rect().contains(l->geometry()));
            QVERIFY(l->fontMetrics().horizontalAdvance(l->text()) <= l->width()); // nothing cut
            parts << l->geometry();
        }
        QVERIFY(parts.size() >= 5); // the file, modified, position, program, format
        std::sort(parts.begin(), parts.end(),
                  [](const QRect &a, const QRect &b) { return a.left() < b.left(); });
        for (int i = 1; i < parts.size(); ++i)
            QVERIFY(parts[i].left() > parts[i - 1].right());
        // Narrow, the file's name stays and the rest gives way.
        w.resize(320, 300);
        QTRY_VERIFY_WITH_TIMEOUT(w.statusLine()->width() < 250, kWaitMs);
        QVERIFY(label("statusFile").startsWith("defs.inc"));
        QCOMPARE(label("statusPosition"), QString("Ln 1, Col 1"));
        for (QLabel *l : line->findChildren<QLabel *>())
            if (l->isVisible())
                QVERIFY(line->rect().contains(l->geometry()));
    }

    void theLogOpensWhereItCoversNoneOfTheEditor() {
        // The screen's four sides, in order: right, below, left, above.
        const QRect screen(0, 0, 1000, 800);
        QCOMPARE(clearPlace(screen, QRect(0, 0, 600, 400), {300, 200}, {200, 100}),
                 QRect(600, 0, 300, 200));
        QCOMPARE(clearPlace(screen, QRect(0, 0, 1000, 400), {300, 200}, {200, 100}),
                 QRect(0, 400, 300, 200));
        QCOMPARE(clearPlace(screen, QRect(500, 0, 500, 800), {300, 200}, {200, 100}),
                 QRect(200, 0, 300, 200));
        // Only a narrow band: the window is made to fit it.
        QCOMPARE(clearPlace(screen, QRect(0, 0, 750, 800), {300, 200}, {200, 100}),
                 QRect(750, 0, 250, 200));
        QCOMPARE(clearPlace(screen, QRect(0, 0, 1000, 800), {300, 200}, {200, 100}), std::nullopt);
        // The real window: the log comes up clear of the editor and stays after a double-click.
        Form1 &w = shownWindow(500);
        twoFiles();
        buildWithLog("main.z80:3: error: no such instruction\nBuild failed\n");
        Form3 *log = w.form3();
        QVERIFY(!log->frameGeometry().intersects(w.frameGeometry()));
        QVERIFY(w.screen()->availableGeometry().contains(log->frameGeometry()));
        QTest::mouseDClick(log->Text1->viewport(), Qt::LeftButton, {},
                           log->Text1->cursorRect().center());
        QTRY_COMPARE_WITH_TIMEOUT(caretLine(), 3, kWaitMs);
        QVERIFY(log->isVisible() && !log->isMinimized());
    }

    // F8 goes through the last build's errors and warnings in the log's
    // order, into the include and back; Shift+F8 goes backwards.
    void f8WalksTheBuildsProblemsAcrossFiles() {
        Form1 &w = shownWindow();
        twoFiles();
        buildWithLog("Assembling main.z80\nBuild succeeded: 3 bytes\n");
        // The check's verdict follows it once the analysis has ended, whenever that is.
        QVERIFY2(w.statusLine()->said().startsWith("Build succeeded: 3 bytes"),
                 qPrintable(w.statusLine()->said()));
        buildWithLog("main.z80:3: error: one\ndefs.inc:2: warning: two\nmain.z80:4: error: three\n"
                     "Build failed\n");
        QVERIFY(w.statusLine()->said().startsWith("Build: 2 error(s), 1 warning(s)"));
        w.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w.isActiveWindow(), kWaitMs);
        press(Qt::Key_F8);
        QCOMPARE(caretLine(), 3);
        press(Qt::Key_F8);
        QCOMPARE(w.currentFile().path(), tree->path("Source/defs.inc"));
        QCOMPARE(w.Text1->selectedText(), QString("value = 3"));
        QCOMPARE(w.form3()->Text1->textCursor().selectedText(),
                 QString("defs.inc:2: warning: two"));
        press(Qt::Key_F8);
        QCOMPARE(w.currentFile().path(), tree->path("Source/main.z80"));
        QCOMPARE(caretLine(), 4);
        press(Qt::Key_F8, Qt::ShiftModifier);
        QCOMPARE(w.currentFile().path(), tree->path("Source/defs.inc"));
        QVERIFY(w.statusLine()->said().startsWith("2 of 3: defs.inc:2: warning: two"));
    }

    // The kit's assembler leaves its messages as values (Exec/NAME.diag): F8,
    // the marks, the status line and the log's first selected line take them
    // from there, the word at fault selected, and a program's .echo that
    // reads like an error is none; values older than the build are another
    // build's, and the log is read.
    void f8GoesToTheWordTheAssemblerNamed() {
        Form1 &w = shownWindow();
        twoFiles();
        const QString values = tree->places().buildDiagnostics("main");
        tree->starter.onStart = [&](const FakeStarter::Call &) {
            QVERIFY(writeBytes(values, "qvdiag 1\nerror\t3\t6\t1\tmain.z80\tbad register c\n"));
        };
        buildWithLog("main.z80:2: error: echoed by the program\n"
                     "main.z80:3: error: bad register c\nBuild failed\n");
        QCOMPARE(w.form3()->Text1->textCursor().selectedText(),
                 QString("main.z80:3: error: bad register c"));
        QVERIFY(w.extras()->markMessages(2).isEmpty());
        QVERIFY(w.statusLine()->said().startsWith("Build: 1 error(s), 0 warning(s)"));
        press(Qt::Key_F8);
        QCOMPARE(caretLine(), 3);
        QCOMPARE(w.Text1->selectedText(), QString("c"));
        QCOMPARE(w.form3()->Text1->textCursor().selectedText(),
                 QString("main.z80:3: error: bad register c"));
        QCOMPARE(w.extras()->markMessages(3), QStringList{"main.z80:3: error: bad register c"});
        // Left from an earlier build: the log's line 4 counts.
        tree->starter.onStart = {};
        QFile old(values);
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                QFileDevice::FileModificationTime));
        old.close();
        buildWithLog("main.z80:4: error: ret here\nBuild failed\n");
        QTRY_COMPARE_WITH_TIMEOUT(w.extras()->markMessages(4),
                                  QStringList{"main.z80:4: error: ret here"}, kWaitMs);
        QVERIFY(w.extras()->markMessages(3).isEmpty());
        press(Qt::Key_F8);
        QCOMPARE(caretLine(), 4);
        QCOMPARE(w.Text1->selectedText(), QString("\tret"));
    }

    // Messages that send the user somewhere name the place: a failed build of
    // an include no program is known to read says how to name its program,
    // and after "No Calculator Link Program Found!" the status line says
    // where a link program is set.
    void messagesNameWhereToGo() {
        Form1 &w = shownWindow();
        QVERIFY(openSource("Source/sprites.inc", "\tld hl,sprite\r\n"));
        buildWithLog("sprites.inc:1: error: 'sprite' is undefined\nBuild failed\n");
        QVERIFY(w.form3()->Text1->toPlainText().startsWith(
            "sprites.inc has no .org and no build of a program has read it yet: if it is part "
            "of a program, name the program in its first line (; main: game.z80)"));
        QVERIFY(openSource("Source/game.z80", " .org userMem-2\r\n"));
        tree->starter.onStart = [this](const FakeStarter::Call &) {
            QVERIFY(writeBytes(tree->places().builtProgram("game"), "**TI83F*"));
        };
        QVERIFY(writeBytes(tree->places().assemblerLog(), "Build succeeded\n"));
        press(Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{"No Calculator Link Program Found!"},
                                  kWaitMs);
        QVERIFY(w.statusLine()->said().contains("Edit > Preferences"));
        QVERIFY(!w.form3()->Text1->toPlainText().contains("no .org"));
    }

    // A build's marks stay on their text as lines are added above, and a
    // mark whose line is edited goes with its message.
    void marksMoveWithTheirLines() {
        Form1 &w = makeWindow();
        twoFiles();
        w.extras()->markLog("main.z80:3: error: bad register\n", tree->path("Source"),
                            tree->path("Source/main.z80"));
        QCOMPARE(w.extras()->markMessages(3), QStringList{"main.z80:3: error: bad register"});
        w.Text1->setCursorPosition(0, 0);
        QTest::keyClicks(w.Text1, "; new line");
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QVERIFY(w.extras()->markMessages(3).isEmpty());
        QCOMPARE(w.extras()->markMessages(4), QStringList{"main.z80:3: error: bad register"});
        w.Text1->setCursorPosition(3, 7);
        QTest::keyClicks(w.Text1, ",d");
        QCOMPARE(w.Text1->text(3), QString("\tld b,c,d\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(w.extras()->markMessages(4).isEmpty(),
                                 kWaitMs); // changes are told after the key
        QCOMPARE(w.Text1->markersAtLine(3), 0u);
    }

    // Another program writes the file: an unmodified document is read again
    // with its caret kept; under unsaved edits a bar asks.
    void aFileChangedOnDiskIsReloadedOrAskedAbout() {
        Form1 &w = shownWindow();
        twoFiles();
        const QString main = tree->path("Source/main.z80");
        w.Text1->setCursorPosition(2, 3);
        QVERIFY(writeBytes(main, "; pulled\r\n#include \"defs.inc\"\r\n\tld a,value\r\n\tret\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(text().startsWith("; pulled"), kWaitMs);
        QCOMPARE(caretLine(), 3);
        QVERIFY(!w.Text1->isModified());
        QTest::keyClicks(w.Text1, "mine");
        QVERIFY(writeBytes(main, "theirs\r\n"));
        auto *bar = w.findChild<QFrame *>("reloadBar");
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), kWaitMs);
        QVERIFY(bar->findChild<QLabel *>("reloadText")->text().contains("main.z80"));
        QVERIFY(bar->findChild<QLabel *>("reloadText")->text().contains("lost"));
        QVERIFY(text().contains("mine")); // nothing happens unasked
        QTest::mouseClick(bar->findChild<QToolButton *>("keepMyTextButton"), Qt::LeftButton);
        QVERIFY(!bar->isVisible());
        QVERIFY(text().contains("mine"));
        tree->messages.confirmations = {false};
        w.save_Click(); // the save still asks before overwriting their version
        QCOMPARE(readBytes(main), QByteArray("theirs\r\n"));
        QVERIFY(writeBytes(main, "theirs again\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), kWaitMs);
        QTest::mouseClick(bar->findChild<QToolButton *>("reloadFromDiskButton"), Qt::LeftButton);
        QCOMPARE(text(), QByteArray("theirs again\r\n"));
        QVERIFY(!bar->isVisible());
    }

    void ctrlHWithNothingSelectedStartsInFindAndTheZoomKeys() {
        Form1 &w = shownWindow();
        twoFiles();
        press(Qt::Key_H, Qt::ControlModifier);
        FindDialog *find = w.extras()->findDialog();
        QTRY_VERIFY_WITH_TIMEOUT(find->isActiveWindow(), kWaitMs);
        QCOMPARE(QApplication::focusWidget(), find->findText);
        find->close();
        w.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w.isActiveWindow(), kWaitMs);
        w.Text1->setSelection(1, 1, 1, 3);
        press(Qt::Key_H, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), find->replaceText, kWaitMs);
        QCOMPARE(find->findText->text(), QString("ld"));
        find->close();
        w.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w.isActiveWindow(), kWaitMs);
        w.Text1->setFocus();
        const QByteArray before = text();
        press(Qt::Key_Plus, Qt::ControlModifier);
        press(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(w.Text1->SendScintilla(QsciScintillaBase::SCI_GETZOOM), 2L);
        press(Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(w.Text1->SendScintilla(QsciScintillaBase::SCI_GETZOOM), 1L);
        press(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(w.Text1->SendScintilla(QsciScintillaBase::SCI_GETZOOM), 0L);
        QCOMPARE(text(), before); // the keys typed nothing
    }

    // New documents take the line ends of the file saved last (CR LF before any).
    void newDocumentsTakeTheLineEndsOfTheFileSavedLast() {
        makeWindow();
        QTest::keyClicks(window->Text1, "a");
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("a\r\n"));
        QVERIFY(openSource("Source/unix.z80", "ld a,1\nret\n"));
        window->save_Click();
        QVERIFY(window->openOrCreate(tree->path("Source/same-session.z80")));
        QTest::keyClicks(window->Text1, "c");
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("c\n"));
        makeWindow();
        QTest::keyClicks(window->Text1, "a");
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("a\n"));
        QVERIFY(window->openOrCreate(tree->path("Source/new.z80")));
        QTest::keyClicks(window->Text1, "b");
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("b\n"));
    }

    // Ctrl+P lists the program's files and the recent ones, filtered as the
    // user types; the next start reopens the last file unless told not to.
    void ctrlPOpensRecentAndProgramFilesAndTheLastFileReopens() {
        Form1 &w = shownWindow();
        QVERIFY(writeBytes(tree->path("Source/other.z80"), "ret\r\n"));
        QVERIFY(w.openFile(tree->path("Source/other.z80")));
        twoFiles();
        QVERIFY(w.openFile(tree->path("Source/main.z80")));
        QVERIFY(ProgramRecord(tree->places().programRecord())
                    .add(tree->path("Source/main.z80"), {tree->path("Source/defs.inc")}) ==
                std::nullopt);
        press(Qt::Key_P, Qt::ControlModifier);
        auto *list = w.findChild<QFrame *>("quickOpen");
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kWaitMs);
        auto *items = list->findChild<QListWidget *>();
        QStringList names;
        for (int i = 0; i < items->count(); ++i)
            names << items->item(i)->text().section(' ', 0, 0);
        QCOMPARE(names, (QStringList{"main.z80", "defs.inc", "other.z80"}));
        QTest::keyClicks(list->findChild<QLineEdit *>(), "oth");
        QTest::keyClick(list->findChild<QLineEdit *>(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(w.currentFile().path(), tree->path("Source/other.z80"), kWaitMs);
        // Ctrl+Shift+R goes back to the file open before, and again returns.
        press(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.currentFile().path(), tree->path("Source/main.z80"));
        QVERIFY(w.findChild<QLabel *>("statusMessage")->toolTip().contains("main.z80"));
        press(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.currentFile().path(), tree->path("Source/other.z80"));
        makeWindow();
        QVERIFY(window->reopenLastFile());
        QCOMPARE(window->currentFile().path(), tree->path("Source/other.z80"));
        QCOMPARE(text(), QByteArray("ret\r\n"));
        qputenv("QUORVIN_REOPEN_LAST", "0");
        makeWindow();
        QVERIFY(!window->reopenLastFile());
        qunsetenv("QUORVIN_REOPEN_LAST");
        QVERIFY(window->currentFile().untitled());
        // Ctrl+Alt+R turns reopening off for the starts after, and on again.
        shownWindow();
        press(Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(window->statusLine()->said().contains("empty document"));
        makeWindow();
        QVERIFY(!window->reopenLastFile());
        shownWindow();
        press(Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
        makeWindow();
        QVERIFY(window->reopenLastFile());
    }

    // F2 on a name: the field, Enter lists the changes in both files, Enter
    // makes them; the open document takes them as one step of undo.
    void f2RenamesANameInEveryFileOfTheProgram() {
        Form1 &w = shownWindow();
        // An include with a byte-order mark, a lone CR, CR LF and a last
        // line without an end is written back with them all.
        QVERIFY(writeBytes(tree->path("Source/defs.inc"),
                           "\xEF\xBB\xBFvalue = 3\rother = VALUE+1\r\nmore = value"));
        QSignalSpy analysed(w.findChild<Language *>("language")->runner(),
                            &AnalysisRunner::finished);
        QVERIFY(
            openSource("Source/main.z80",
                       "#include \"defs.inc\"\r\nloop:\r\n\tld a,value ; value\r\n\tjr loop\r\n"));
        QVERIFY(analysed.wait(30000));
        w.Text1->setCursorPosition(2, 7);
        press(Qt::Key_F2);
        auto *rename = w.findChild<Rename *>("rename");
        QTRY_VERIFY_WITH_TIMEOUT(rename->isVisible(), kWaitMs);
        QCOMPARE(rename->field->text(), QString("value"));
        QTest::keyClicks(rename->field, "speed");
        QTest::keyClick(rename->field, Qt::Key_Return);
        QStringList listed;
        for (int i = 0; i < rename->changes->count(); ++i)
            listed << rename->changes->item(i)->text();
        listed.sort();
        QCOMPARE(listed,
                 (QStringList{"defs.inc:1: speed = 3", "defs.inc:2: other = speed+1",
                              "defs.inc:3: more = speed", "main.z80:3: ld a,speed ; value"}));
        QCOMPARE(
            readBytes(tree->path("Source/defs.inc")),
            QByteArray("\xEF\xBB\xBFvalue = 3\rother = VALUE+1\r\nmore = value")); // nothing yet
        QTest::keyClick(rename->field, Qt::Key_Return);
        QVERIFY(!rename->isVisible());
        QCOMPARE(readBytes(tree->path("Source/defs.inc")),
                 QByteArray("\xEF\xBB\xBFspeed = 3\rother = speed+1\r\nmore = speed"));
        QCOMPARE(text(), QByteArray("#include \"defs.inc\"\r\nloop:\r\n\tld a,speed ; value\r\n"
                                    "\tjr loop\r\n"));
        w.Text1->undo();
        QCOMPARE(text(), QByteArray("#include \"defs.inc\"\r\nloop:\r\n\tld a,value ; value\r\n"
                                    "\tjr loop\r\n"));
        // A name already defined is refused before anything changes.
        QVERIFY(analysed.wait(30000));
        w.Text1->setCursorPosition(1, 1);
        press(Qt::Key_F2);
        QTRY_VERIFY_WITH_TIMEOUT(rename->isVisible(), kWaitMs);
        rename->field->setText("other");
        QTest::keyClick(rename->field, Qt::Key_Return);
        QVERIFY(rename->note->text().contains("already defined"));
        QCOMPARE(rename->changes->count(), 0);
        QTest::keyClick(rename->field, Qt::Key_Escape);
    }

    // A use after a non-ASCII character is found at its byte and renamed in
    // the open document, in an include in UTF-8 and in one in Windows-1252,
    // each listed and written back in its own encoding.
    void f2RenamesUsesAfterCharactersBeyondAscii() {
        Form1 &w = shownWindow();
        QVERIFY(writeBytes(tree->path("Source/utf8.inc"), "value = 3\r\n\t.db \"Gr\xC3\xBC\xC3\x9F"
                                                          "e\",value\r\n"));
        QVERIFY(
            writeBytes(tree->path("Source/latin.inc"), "\t.db \"caf\xE9\",value ; \xE9t\xE9\r\n"));
        QSignalSpy analysed(w.findChild<Language *>("language")->runner(),
                            &AnalysisRunner::finished);
        QVERIFY(openSource("Source/main.z80", "#include \"utf8.inc\"\r\n#include \"latin.inc\"\r\n"
                                              "\tld a,value\r\n\t.db \"\xC3\xA9\",value\r\n"));
        QVERIFY(analysed.wait(30000));
        w.Text1->setCursorPosition(2, 7);
        press(Qt::Key_F2);
        auto *rename = w.findChild<Rename *>("rename");
        QTRY_VERIFY_WITH_TIMEOUT(rename->isVisible(), kWaitMs);
        rename->field->setText("speed");
        QTest::keyClick(rename->field, Qt::Key_Return);
        QStringList listed;
        for (int i = 0; i < rename->changes->count(); ++i)
            listed << rename->changes->item(i)->text();
        listed.sort();
        QCOMPARE(listed, (QStringList{QString::fromUtf8("latin.inc:1: .db \"caf\xC3\xA9\",speed ; "
                                                        "\xC3\xA9t\xC3\xA9"),
                                      "main.z80:3: ld a,speed",
                                      QString::fromUtf8("main.z80:4: .db \"\xC3\xA9\",speed"),
                                      "utf8.inc:1: speed = 3",
                                      QString::fromUtf8("utf8.inc:2: .db \"Gr\xC3\xBC\xC3\x9F"
                                                        "e\",speed")}));
        QTest::keyClick(rename->field, Qt::Key_Return);
        QVERIFY(!rename->isVisible());
        QCOMPARE(readBytes(tree->path("Source/utf8.inc")),
                 QByteArray("speed = 3\r\n\t.db \"Gr\xC3\xBC\xC3\x9F"
                            "e\",speed\r\n"));
        QCOMPARE(readBytes(tree->path("Source/latin.inc")),
                 QByteArray("\t.db \"caf\xE9\",speed ; \xE9t\xE9\r\n"));
        QCOMPARE(text(), QByteArray("#include \"utf8.inc\"\r\n#include \"latin.inc\"\r\n"
                                    "\tld a,speed\r\n\t.db \"\xC3\xA9\",speed\r\n"));
    }

    // Every key the window answers is in the one table with the same keys,
    // and F1 lists the table with where the settings, templates and logs live.
    void everyKeyIsInTheTableAndF1ListsIt() {
        Form1 &w = shownWindow();
        w.extras()->findDialog(); // made on first use
        QSet<QString> named;
        for (const KeyEntry &e : keyTable())
            if (*e.action) {
                named << e.action;
                auto *a = w.findChild<QAction *>(e.action);
                QVERIFY2(a, e.action);
                QList<QKeySequence> keys;
                for (const QString &k : QString(e.keys).split("; "))
                    keys << QKeySequence::fromString(k, QKeySequence::PortableText);
                QCOMPARE(a->shortcuts(), keys);
            }
        for (QAction *a : w.findChildren<QAction *>())
            if (!a->shortcuts().isEmpty())
                QVERIFY2(named.contains(a->objectName()), qPrintable(a->objectName()));
        press(Qt::Key_F1);
        auto *help = w.findChild<HelpWindow *>("helpWindow");
        QTRY_VERIFY_WITH_TIMEOUT(help && help->isVisible(), kWaitMs);
        const QString page = help->text->toPlainText();
        for (const KeyEntry &e : keyTable())
            QVERIFY2(page.contains(keysText(e)), e.keys);
        for (const QString &place : {tree->places().settingsFile(), tree->places().templateFolder(),
                                     tree->places().assemblerLog()})
            QVERIFY2(page.contains(place), qPrintable(place));
        QVERIFY(!help->frameGeometry().intersects(w.frameGeometry()));
        QTest::keyClick(help, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!w.findChild<HelpWindow *>("helpWindow"), kWaitMs);
    }

    // The README's key list and the manual page's KEYS section hold every key
    // of the table, each with the table's words for it.
    void theReadmeAndTheManualPageListEveryKey() {
        const QString source = qEnvironmentVariable("QUORVIN_SOURCE_DIR");
        const QString readme = QString::fromUtf8(readBytes(source + "/README.md"));
        const qsizetype keysAt = readme.indexOf("\n## Keys\n");
        QVERIFY(keysAt >= 0);
        const QString readmeKeys = readme.mid(keysAt, readme.indexOf("\n## ", keysAt + 5) - keysAt);
        QString man = QString::fromUtf8(readBytes(source + "/packaging/quorvin.1"));
        const qsizetype section = man.indexOf(".SH KEYS");
        QVERIFY(section >= 0);
        man = man.mid(section, man.indexOf("\n.SH ", section + 4) + 1 - section)
                  .replace("\\-", "-")
                  .replace("\\(aq", "'")
                  .replace("\\(mu", QString(QChar(0x00D7)))
                  .replace("\\(di", QString(QChar(0x00F7)));
        for (const KeyEntry &e : keyTable()) {
            const QStringList keys = QString(e.keys).split("; ");
            const QString what = QString::fromUtf8(e.what);
            const QString row = "| `" + keys.join("`, `") + "` | " + what + " |";
            QVERIFY2(readmeKeys.contains("\n" + row + "\n"), qPrintable("README: " + row));
            const QString entry = ".B \"" + keys.join(", ") + "\"\n\\&" + what + "\n";
            QVERIFY2(man.contains(entry), qPrintable("quorvin.1: " + entry));
        }
    }

    // Every line of the manual page that starts with a dot or an apostrophe is
    // one of man(7)'s requests: a wrapped line that starts with ".8xs" would
    // be read as an unknown request and lost from the page.
    void theManualPageStartsLinesOnlyWithRequests() {
        const QString source = qEnvironmentVariable("QUORVIN_SOURCE_DIR");
        const QStringList requests = {"TH", "SH", "SS", "TP", "PP", "LP", "P",   "IP", "B",
                                      "I",  "BI", "BR", "IB", "IR", "RB", "RI",  "RS", "RE",
                                      "nf", "fi", "br", "sp", "EX", "EE", "\\\""};
        const QStringList lines =
            QString::fromUtf8(readBytes(source + "/packaging/quorvin.1")).split('\n');
        for (const QString &line : lines)
            if (line.startsWith('.') || line.startsWith('\'')) {
                const QString request = line.mid(1).section(' ', 0, 0);
                QVERIFY2(requests.contains(request), qPrintable("quorvin.1: " + line));
            }
    }
};

QTEST_MAIN(WorkdayTest)
#include "ui_workday_test.moc"
