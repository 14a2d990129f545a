// The main window: keys, resizing, the document commands and their failures.

#include "ui/form1.h"
#include "ui/form2.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {
void type(Form1 &w, const QByteArray &utf8) {
    w.Text1->SendScintilla(QsciScintillaBase::SCI_ADDTEXT, static_cast<unsigned long>(utf8.size()),
                           utf8.constData());
}
QByteArray allBytes() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    return all;
}
} // namespace

class Form1Test : public QObject, public WindowFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void ctrlAInTheEditorGoesThroughTheMenu() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        w.Text1->setFocus();
        type(w, "ld a,1\r\nret");
        QSignalSpy menu(w.findChild<QAction *>("selall"), &QAction::triggered);
        // Through the window system, as a real key press arrives.
        QTest::keyClick(w.windowHandle(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(menu.count(), 1);
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("ld a,1\r\nret"));
        QTest::keyClicks(w.Text1, "x"); // typing replaces the whole text
        QCOMPARE(text(), QByteArray("x"));
    }

    // The menu bar holds File, Edit and Build with their items in this order,
    // each with its caption and key, and nothing else: the editor's additions
    // (keys, the status line in the bar) add no item, separator, check mark
    // or disabled entry, and the title stays the program's name.
    void theMenusHoldTheirItemsAndNothingElse() {
        QVERIFY(writeBytes(tree->places().templateFolder() + "/hello.txt", "\tret\r\n"));
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto describe = [](QMenu *menu) {
            QStringList items;
            for (QAction *a : menu->actions()) {
                QString item = (a->menu() ? a->menu() : static_cast<QObject *>(a))->objectName() +
                               '|' + a->text() + '|' +
                               a->shortcut().toString(QKeySequence::PortableText);
                if (a->isSeparator() || a->isCheckable() || !a->isEnabled() || !a->isVisible())
                    item += "|odd";
                items << item;
            }
            return items;
        };
        QStringList bar;
        for (QAction *a : w.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"&File", "&Edit", "&Build"}));
        const QList<QAction *> menus = w.menuBar()->actions();
        QCOMPARE(describe(menus[0]->menu()),
                 (QStringList{"new|&New|", "open|&Open|Ctrl+O", "save|&Save|Ctrl+S",
                              "saveas|Save &As|", "exit|E&xit|Ctrl+Q"}));
        QCOMPARE(describe(menus[0]->menu()->actions()[0]->menu()), (QStringList{"newdoc|hello|"}));
        QCOMPARE(describe(menus[1]->menu()),
                 (QStringList{"selall|Select &All|Ctrl+A", "prefs|&Preferences...|"}));
        QCOMPARE(
            describe(menus[2]->menu()),
            (QStringList{"makeprog|&Make .8xp|", "makesend|Make and &Send to Calculator|",
                         "viewout|View TASM &Output|", "startcalc|Start &Virtual Calculator|"}));
        // No added key takes a menu item's key away (an ambiguous key does nothing).
        const QStringList itemNames{"open", "save", "exit", "selall"};
        QStringList menuKeys;
        for (const QString &name : itemNames)
            menuKeys << w.findChild<QAction *>(name)->shortcut().toString();
        for (QAction *a : w.findChildren<QAction *>()) {
            if (itemNames.contains(a->objectName()))
                continue;
            for (const QKeySequence &k : a->shortcuts())
                QVERIFY2(!menuKeys.contains(k.toString()), qPrintable(a->objectName()));
        }
        QVERIFY(openSource("Source/t.z80", "ld a,1"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvin"));
    }

    // The text area starts under the menu bar at the window's left edge, lies
    // wholly inside the window with both scroll bars, and its right and
    // bottom edges move as the window's do.
    void theEditorFollowsTheWindowsSize() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::optional<QRect> last;
        for (const QSize px : {QSize(600, 400), QSize(900, 700)}) {
            w.resize(px);
            QTRY_COMPARE_WITH_TIMEOUT(w.frameGeometry().size(), px,
                                      kWaitMs); // no frame on this platform
            const QRect area(w.Text1->mapTo(&w, QPoint(0, 0)), w.Text1->size());
            QCOMPARE(area.topLeft(), QPoint(0, w.menuBar()->geometry().bottom() + 1));
            QVERIFY(w.rect().contains(area));
            if (last)
                QCOMPARE(area.bottomRight() - last->bottomRight(), QPoint(300, 300));
            last = area;
            QVERIFY(w.Text1->horizontalScrollBar()->isVisible());
            QVERIFY(w.Text1->verticalScrollBar()->isVisible());
        }
        const QRect before = w.Text1->geometry();
        w.resize(40, 30); // the rule would go negative: the editor stays as it was
        QTRY_COMPARE_WITH_TIMEOUT(w.frameGeometry().size(), QSize(40, 30), kWaitMs);
        QCOMPARE(w.Text1->geometry(), before);
    }

    void theWindowOpensWhereTheUserLastLeftIt() {
        const QSize specified = makeWindow().size();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->setGeometry(120, 90, specified.width() + 200, specified.height() + 150);
        QTRY_COMPARE_WITH_TIMEOUT(window->size(), specified + QSize(200, 150), kWaitMs);
        QVERIFY(window->close());
        Form1 &again = makeWindow();
        QCOMPARE(again.size(), specified + QSize(200, 150));
        QCOMPARE(again.geometry().topLeft(), QPoint(120, 90));
        QVERIFY(QFile::remove(tree->places().windowGeometry())); // as on a first start
        QCOMPARE(makeWindow().size(), specified);
    }

    void openAndSaveGiveBackTheSameBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("every byte") << allBytes();
        QTest::newRow("mixed line ends, none at the end") << QByteArray("one\r\ntwo\nthree\rfour");
        QTest::newRow("empty") << QByteArray();
    }
    void openAndSaveGiveBackTheSameBytes() {
        QFETCH(QByteArray, bytes);
        Form1 &w = makeWindow();
        const QString src = tree->path("src.z80");
        QVERIFY(writeBytes(src, bytes));
        tree->picker.answers = {src};
        w.open_Click();
        QVERIFY(!w.Text1->isModified());
        for (int cycle = 0; cycle < 3; ++cycle) {
            w.save_Click(); // titled: no dialog
            QCOMPARE(readBytes(src), bytes);
            QVERIFY(w.open_doc(src));
        }
        const QString copy = tree->path("copy.asm");
        tree->picker.answers = {copy};
        w.saveas_Click();
        QCOMPARE(readBytes(copy), bytes);
        QCOMPARE(w.currentFile().path(), copy);
        QCOMPARE(shown(), QStringList());
    }

    // A UTF-8 file keeps its encoding and its mark; any other stays 8-bit.
    void utf8FilesSaveBackAsUtf8() {
        Form1 &w = makeWindow();
        const QByteArray marked = "\xEF\xBB\xBF; caf\xC3\xA9 \xE2\x86\x92\r\nld a,1\r\n";
        QVERIFY(openSource("marked.z80", marked));
        QCOMPARE(w.Text1->text(0), QString::fromUtf16(u"; caf\u00E9 \u2192\r\n")); // no mark
        w.save_Click();
        QCOMPARE(readBytes(tree->path("marked.z80")), marked);
        type(w, "; \xE6\x97\xA5"); // any character goes into a UTF-8 file
        tree->picker.answers = {tree->path("copy.z80")};
        w.saveas_Click();
        QCOMPARE(readBytes(tree->path("copy.z80")), "\xEF\xBB\xBF; \xE6\x97\xA5" + marked.mid(3));
        QVERIFY(openSource("plain.z80", "\xE2\x86\x92 nop\n")); // no mark: UTF-8 as well
        w.save_Click();
        QCOMPARE(readBytes(tree->path("plain.z80")), QByteArray("\xE2\x86\x92 nop\n"));
        QVERIFY(openSource("latin.z80", "caf\xE9\n")); // not UTF-8: Windows-1252
        QCOMPARE(w.Text1->text(0), QString::fromUtf16(u"caf\u00E9\n"));
        type(w, "\xE2\x86\x92");
        w.save_Click();
        QCOMPARE(shown().size(), 1); // refused, as 8-bit text cannot hold it
        QCOMPARE(readBytes(tree->path("latin.z80")), QByteArray("caf\xE9\n"));
    }

    void saveAsAddsZ80WhileItsFilterIsChosen() {
        Form1 &w = makeWindow();
        tree->picker.answers = {tree->path("hi"), tree->path("notes"), tree->path("v1.2")};
        w.saveas_Click();
        QCOMPARE(w.currentFile().path(), tree->path("hi.z80"));
        QVERIFY(QFile::exists(tree->path("hi.z80")));
        tree->picker.chosen = 1; // All Files
        w.saveas_Click();
        QCOMPARE(w.currentFile().path(), tree->path("notes"));
        tree->picker.chosen = 0;
        w.saveas_Click(); // a name with an extension keeps it
        QCOMPARE(w.currentFile().path(), tree->path("v1.2"));
        QCOMPARE(shown(), QStringList());
    }

    void aFileNamedAtStartUpThatDoesNotExistIsANewDocument() {
        Form1 &w = makeWindow();
        const QString file = tree->path("Source/new.z80");
        QVERIFY(w.openOrCreate(file));
        QCOMPARE(w.currentFile().path(), file);
        QVERIFY(text().isEmpty() && !QFile::exists(file));
        type(w, "ret");
        w.save_Click();
        QCOMPARE(readBytes(file), QByteArray("ret"));
        QCOMPARE(shown(), QStringList());
    }

    void newLinesFollowTheDocumentsStyle() {
        Form1 &w = makeWindow();
        w.show();
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("\r\n")); // an empty document uses CR LF
        QVERIFY(openSource("lf.z80", "a\nb"));
        w.Text1->setCursorPosition(0, 1);
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("a\n\nb"));
    }

    void aFailedSaveKeepsTheTextAndTheOldFile() {
        Form1 &w = makeWindow();
        const QString file = tree->path("100%1 done.z80");
        QVERIFY(writeBytes(file, "old"));
        type(w, "new text");
        // A path below a regular file cannot be written, even by root.
        tree->picker.answers = {file + "/below.z80"};
        w.save_Click();
        QCOMPARE(shown(), QStringList{file + "/below.z80\n\nError 20: Not a directory"});
        QVERIFY(w.Text1->isModified());
        // A character 8-bit text cannot hold: refused, the old file untouched.
        QVERIFY(w.currentFile().untitled()); // the failed save named nothing
        tree->picker.answers = {file};
        type(w, "\r\n  \xE2\x86\x92"); // U+2192 on line 2, column 3
        w.save_Click();
        QCOMPARE(shown().last(),
                 file +
                     QString::fromUtf16(u"\n\nError 84: The character \u201C\u2192\u201D (U+2192) "
                                        u"at line 2, column 3 cannot be stored in an 8-bit "
                                        u"(Windows-1252) file."));
        QCOMPARE(readBytes(file), QByteArray("old"));
        QCOMPARE(text(), QByteArray("new text\r\n  \xE2\x86\x92"));
    }

    void aFailedOpenOrSaveAsKeepsTheDocumentAndItsName() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("a.z80", "mine"));
        const QString file = w.currentFile().path();
        tree->picker.answers = {tree->root()}; // a folder
        w.open_Click();
        QCOMPARE(shown(), QStringList{tree->root() + "\n\nError 21: Is a directory"});
        QCOMPARE(text(), QByteArray("mine"));
        tree->picker.answers = {tree->path("missing/b.z80")};
        w.saveas_Click();
        QCOMPARE(shown().size(), 2);
        QCOMPARE(w.currentFile().path(), file);
        // The failed choices stay the dialogs' own: Save writes the document's
        // file, and the next dialog starts from it.
        type(w, "more ");
        w.save_Click();
        QCOMPARE(readBytes(file), QByteArray("more mine"));
        tree->picker.answers = {std::nullopt};
        w.saveas_Click();
        QCOMPARE(tree->picker.calls.last().initialSelection, file);
    }

    void cancellingADialogChangesNothing() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("a.z80", "on disk"));
        const QString file = w.currentFile().path();
        type(w, "edited ");
        w.Text1->setModified(false); // pretend saved, so Open asks nothing
        tree->picker.answers = {std::nullopt, std::nullopt};
        w.open_Click(); // cancelled: no reload from disk
        QCOMPARE(text(), QByteArray("edited on disk"));
        w.saveas_Click(); // cancelled: nothing written
        QCOMPARE(readBytes(file), QByteArray("on disk"));
        QCOMPARE(w.currentFile().path(), file);
        QCOMPARE(tree->picker.calls[0].initialSelection, file);
    }

    void unsavedChangesAreNeverDroppedSilently() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(w.close()); // unmodified: no question
        w.show();
        type(w, "work");
        tree->messages.answers = {MessageBox::Answer::Cancel};
        QVERIFY(!w.close());
        QCOMPARE(shown(), QStringList{"Save changes to the untitled document?"});
        // Save on an untitled document asks for a name; cancelling it cancels the exit.
        tree->messages.answers = {MessageBox::Answer::Save};
        tree->picker.answers = {std::nullopt};
        w.exit_Click();
        QVERIFY(w.isVisible());
        const QString file = tree->path("saved.z80");
        tree->messages.answers = {MessageBox::Answer::Save};
        tree->picker.answers = {file};
        QVERIFY(w.close());
        QCOMPARE(readBytes(file), QByteArray("work"));
        // Open asks before its dialog; Discard drops the edits.
        w.show();
        type(w, " more");
        tree->messages.answers = {MessageBox::Answer::Cancel, MessageBox::Answer::Discard};
        w.open_Click(); // no dialog follows a cancel
        QCOMPARE(tree->picker.calls.size(), 2);
        tree->picker.answers = {file};
        w.open_Click();
        QCOMPARE(text(), QByteArray("work"));
    }

    void ctrlQAsksToo() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        w.Text1->setFocus();
        type(w, "x");
        tree->messages.answers = {MessageBox::Answer::Cancel, MessageBox::Answer::Discard};
        QTest::keyClick(w.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(w.isVisible());
        QTest::keyClick(w.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kWaitMs);
    }

    void aFileChangedByAnotherProgramIsNotOverwrittenUnasked() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/shared.z80", "first"));
        const QString file = w.currentFile().path();
        type(w, "mine ");
        w.save_Click(); // unchanged on disk: no question
        QCOMPARE(shown(), QStringList());
        QVERIFY(writeBytes(file + ".new", "from git"));
        QVERIFY(::rename(QFile::encodeName(file + ".new").constData(),
                         QFile::encodeName(file).constData()) == 0); // replaced, as a checkout does
        w.Text1->setText("mine");
        tree->messages.confirmations = {false, true};
        w.save_Click();
        QCOMPARE(shown(), QStringList{file + "\n\nAnother program has changed this file since it "
                                             "was opened or last saved. Overwrite it with the "
                                             "text in the editor?"});
        QCOMPARE(readBytes(file), QByteArray("from git"));
        QVERIFY(w.Text1->isModified());
        QVERIFY(makeExecutable(tree->path("asm.bat"), "#!/bin/sh\n"));
        w.makeprog_Click(); // a build saves too, and asks the same
        QCOMPARE(readBytes(file), QByteArray("mine"));
        w.save_Click(); // saved since: no question
        QCOMPARE(shown().size(), 2);
    }

    void endingTheSessionNeverDropsText() {
        Form1 &w = makeWindow();
        type(w, "untitled work");
        tree->messages.answers = {MessageBox::Answer::Cancel};
        QVERIFY(!w.commitData(true)); // the user keeps the session from ending
        QVERIFY(w.commitData(false)); // nobody to ask: saved into the source folder
        const QStringList saved = QDir(tree->path("Source")).entryList({"unsaved-*.z80"});
        QCOMPARE(saved.size(), 1);
        QCOMPARE(readBytes(tree->path("Source/" + saved[0])), QByteArray("untitled work"));
        QVERIFY(openSource("Source/t.z80", "titled"));
        type(w, "more ");
        QVERIFY(w.commitData(false));
        QCOMPARE(readBytes(tree->path("Source/t.z80")), QByteArray("more titled"));
    }

    void settingsAreLoadedAtStartUp() {
        QVERIFY(writeBytes(tree->places().settingsFile(),
                           "/opt/link,er\r\n\"\"\"/opt/my emu\"\" -r x\"\r\n"));
        Form1 &w = makeWindow();
        QCOMPARE(w.form2()->Text1->text(), QStringLiteral("/opt/link,er"));
        QCOMPARE(w.form2()->Text2->text(), QStringLiteral("\"/opt/my emu\" -r x"));
        QCOMPARE(shown(), QStringList());
        window.reset();
        QDir().mkpath(tree->places().settingsFile() + ".d");
        QVERIFY(QFile::remove(tree->places().settingsFile()));
        QVERIFY(QFile::link(tree->places().settingsFile() + ".d", tree->places().settingsFile()));
        // A folder where the file should be: reported over the window once it
        // is on the screen (not in a corner before), and start-up goes on.
        makeWindow();
        QCOMPARE(shown(), QStringList());
        window->show();
        QTRY_COMPARE_WITH_TIMEOUT(
            shown(), QStringList{tree->places().settingsFile() + "\n\nError 21: Is a directory"},
            kWaitMs);
        QCOMPARE(tree->messages.overShownWindow, QList<bool>{true});
    }

    // A session's end with nobody to ask, and text its file cannot take (a
    // character 8-bit text cannot hold): the text is kept in UTF-8 in the
    // source folder, and the next start says where, once.
    void aSessionEndKeepsTextItsFileCannotTake() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/arrows.z80", "ld a,1"));
        const QByteArray typed = "; \xE2\x86\x92 the next step\r\n"; // an arrow
        type(w, typed);
        QVERIFY(w.commitData(false));
        QCOMPARE(readBytes(tree->path("Source/arrows.z80")), QByteArray("ld a,1"));
        const QStringList kept = QDir(tree->path("Source")).entryList({"unsaved-*.z80"});
        QCOMPARE(kept.size(), 1);
        const QString keptPath = tree->path("Source/" + kept.first());
        QCOMPARE(readBytes(keptPath), typed + "ld a,1");
        QCOMPARE(shown(), QStringList());
        window.reset();
        makeWindow().show();
        const QString notice = "When the last desktop session ended, your text could not be "
                               "saved to its file. It was kept in UTF-8 as " +
                               keptPath + ".";
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList{notice}, kWaitMs);
        window.reset();
        makeWindow().show();
        QCoreApplication::processEvents();
        QCOMPARE(shown(), QStringList{notice});
    }
};

QTEST_MAIN(Form1Test)
#include "ui_form1_test.moc"
