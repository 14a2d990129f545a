// The main window: menus, editor, start-up, and the document commands.

#include "ui/editor.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/resizerule.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QtTest>

#include <memory>

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

    void menuTreeHasEveryItemInOrder() {
        Form1 &w = makeWindow();
        QCOMPARE(w.windowTitle(), QStringLiteral("Quorvin"));
        QStringList bar;
        for (QAction *a : w.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"&File", "&Edit", "&Build"}));
        auto items = [&](const char *menu) {
            QStringList out;
            for (QAction *a : w.findChild<QMenu *>(QLatin1String(menu))->actions())
                out << (a->isSeparator()
                            ? QStringLiteral("separator")
                            : a->objectName() + "|" + a->text() + "|" + a->shortcut().toString());
            return out;
        };
        const QStringList file = items("file"), edit = items("edit"), build = items("build");
        QCOMPARE(file, (QStringList{"|&New|", "open|&Open|Ctrl+O", "save|&Save|Ctrl+S",
                                    "saveas|Save &As|", "exit|E&xit|Ctrl+Q"}));
        QCOMPARE(w.findChild<QMenu *>("new")->menuAction()->text(), QStringLiteral("&New"));
        QCOMPARE(edit, (QStringList{"selall|Select &All|Ctrl+A", "prefs|&Preferences...|"}));
        QCOMPARE(build, (QStringList{
                            "makeprog|&Make .8xp|", "makesend|Make and &Send to Calculator|",
                            "viewout|View TASM &Output|", "startcalc|Start &Virtual Calculator|"}));
        QVERIFY(!w.findChild<QObject *>("File1"));
        QCOMPARE(w.Timer1->interval(), 5000);
        QCOMPARE(w.Timer2->interval(), 5000);
        QVERIFY(w.Timer1->isSingleShot() && !w.Timer1->isActive() && !w.Timer2->isActive());
    }

    void ctrlAInTheEditorGoesThroughTheMenu() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Text1->setFocus();
        type(w, "ld a,1\r\nret");
        QSignalSpy menu(w.findChild<QAction *>("selall"), &QAction::triggered);
        // Through the window system, as a real key press arrives.
        QTest::keyClick(w.windowHandle(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(menu.count(), 1);
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("ld a,1\r\nret"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(menu.count(), 2);
        // Typing now replaces the whole text.
        QTest::keyClicks(w.Text1, "x");
        QCOMPARE(text(), QByteArray("x"));
    }

    void bothScrollBarsStayShownAndLinesDoNotWrap() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.Text1->wrapMode(), QsciScintilla::WrapNone);
        for (const QByteArray &content : {QByteArray(), QByteArray("short"),
                                          QByteArray(5000, 'x') + "\r\n" + QByteArray(400, '\n')}) {
            const QString file = tree->path("s.z80");
            writeBytes(file, content);
            openSource(file);
            QCoreApplication::processEvents();
            QVERIFY(w.Text1->horizontalScrollBar()->isVisible());
            QVERIFY(w.Text1->verticalScrollBar()->isVisible());
        }
    }

    void selectAllOnAnEmptyEditorSelectsNothing() {
        Form1 &w = makeWindow();
        w.selall_Click();
        QVERIFY(!w.Text1->hasSelectedText());
        int line = -1, index = -1;
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 0);
        QCOMPARE(index, 0);
    }

    void resizeRuleFollowsTheOuterSize() {
        QCOMPARE(editorSize(QSize(990, 950)), std::optional<QSize>(QSize(890, 150)));
        QCOMPARE(editorSize(QSize(2000, 3000)), std::optional<QSize>(QSize(1900, 2200)));
        QCOMPARE(editorSize(QSize(99, 950)), std::nullopt);
        QCOMPARE(editorSize(QSize(990, 799)), std::nullopt);
        QCOMPARE(editorSize(QSize(0, 0)), std::nullopt);
        QCOMPARE(outputTextSize(QSize(990, 900)), std::optional<QSize>(QSize(890, 400)));
        QCOMPARE(outputTextSize(QSize(990, 499)), std::nullopt);

        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const QSize px : {QSize(600, 400), QSize(900, 700), QSize(300, 200)}) {
            w.resize(px);
            QTRY_COMPARE(w.frameGeometry().size(), px); // no frame on this platform
            QCOMPARE(w.Text1->geometry(), QRect(0, 0, px.width() - 7, px.height() - 53));
        }
        const QRect before = w.Text1->geometry();
        w.resize(40, 30); // the rule would go negative: the editor stays as it was
        QTRY_COMPARE(w.frameGeometry().size(), QSize(40, 30));
        QCOMPARE(w.Text1->geometry().size(), before.size());
    }

    void openAndSaveGiveBackTheSameBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("every byte") << allBytes();
        QTest::newRow("nul and high bytes") << QByteArray("a\0b\x80\x81\x9F\0", 7);
        QTest::newRow("mixed line ends, none at the end") << QByteArray("one\r\ntwo\nthree\rfour");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only line ends") << QByteArray("\r\n\r\n\n\r");
    }
    void openAndSaveGiveBackTheSameBytes() {
        QFETCH(QByteArray, bytes);
        Form1 &w = makeWindow();
        const QString src = tree->path("src.z80");
        writeBytes(src, bytes);
        tree->picker.answers = {src};
        w.open_Click();
        QCOMPARE(w.CommonDialog1.FileName, src);
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
        QCOMPARE(w.CommonDialog1.FileName, copy);
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void newLinesFollowTheDocumentsStyle() {
        Form1 &w = makeWindow();
        w.show();
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("\r\n")); // an empty document uses CR LF
        const QString lf = tree->path("lf.z80");
        writeBytes(lf, "a\nb");
        QVERIFY(w.open_doc(lf));
        w.Text1->setCursorPosition(0, 1);
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QCOMPARE(text(), QByteArray("a\n\nb"));
    }

    void failedSaveKeepsTheTextTheOldFileAndTheProgram() {
        Form1 &w = makeWindow();
        const QString file = tree->path("kept.z80");
        writeBytes(file, "old");
        type(w, "new text");
        // A path below a regular file cannot be written, even by root.
        w.CommonDialog1.FileName = file + "/below.z80";
        w.save_Click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(QString::fromLocal8Bit(strerror(ENOTDIR))));
        QVERIFY(tree->messages.shown[0].contains(file + "/below.z80"));
        QVERIFY(tree->messages.shown[0].contains(QString::number(ENOTDIR)));
        QCOMPARE(text(), QByteArray("new text"));
        QVERIFY(w.Text1->isModified());

        // A character 8-bit text cannot hold: refused, the old file untouched.
        w.CommonDialog1.FileName = file;
        type(w, "\r\n  \xE2\x86\x92"); // U+2192 on line 2, column 3
        w.save_Click();
        QCOMPARE(tree->messages.shown.size(), 2);
        QVERIFY2(tree->messages.shown[1].contains("line 2, column 3"),
                 qPrintable(tree->messages.shown[1]));
        QVERIFY(tree->messages.shown[1].contains(QString::fromUtf16(u"\u2192")));
        QCOMPARE(readBytes(file), QByteArray("old"));
        QVERIFY(w.Text1->isModified());
    }

    void failedSaveAsKeepsThePreviousName() {
        Form1 &w = makeWindow();
        const QString file = tree->path("a.z80");
        writeBytes(file, "x");
        QVERIFY(w.open_doc(file));
        w.CommonDialog1.FileName = file;
        tree->picker.answers = {tree->path("missing/b.z80")};
        w.saveas_Click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QCOMPARE(w.CommonDialog1.FileName, file);
    }

    void openThatFailsKeepsTheDocument() {
        Form1 &w = makeWindow();
        const QString file = tree->path("a.z80");
        writeBytes(file, "mine");
        QVERIFY(w.open_doc(file));
        w.CommonDialog1.FileName = file;
        tree->picker.answers = {tree->root()}; // a folder
        w.open_Click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(QString::fromLocal8Bit(strerror(EISDIR))));
        QCOMPARE(text(), QByteArray("mine"));
        QCOMPARE(w.CommonDialog1.FileName, file);
    }

    void cancellingADialogChangesNothing() {
        Form1 &w = makeWindow();
        const QString file = tree->path("a.z80");
        writeBytes(file, "on disk");
        QVERIFY(w.open_doc(file));
        w.CommonDialog1.FileName = file;
        w.Text1->setModified(false);
        type(w, "edited ");
        w.Text1->setModified(false); // pretend saved, so Open asks nothing
        tree->picker.answers = {std::nullopt};
        w.open_Click(); // cancelled: no reload from disk
        QCOMPARE(text(), QByteArray("edited on disk"));
        tree->picker.answers = {std::nullopt};
        w.saveas_Click(); // cancelled: nothing written
        QCOMPARE(readBytes(file), QByteArray("on disk"));
        QCOMPARE(w.CommonDialog1.FileName, file);
        QCOMPARE(tree->picker.calls.size(), 2);
        QCOMPARE(tree->picker.calls[0].initialSelection, file);
        QCOMPARE(toQtFilter(tree->picker.calls[0].filters),
                 QStringLiteral("Z80 Assembly Files (*.z80 *.asm);;All Files (*)"));
    }

    void unsavedChangesAreNeverDroppedSilently() {
        Form1 &w = makeWindow();
        w.show();
        // Unmodified: closes without a question.
        QVERIFY(w.close());
        w.show();
        type(w, "work");
        // Cancel keeps everything.
        tree->messages.answers = {MessageBox::Answer::Cancel};
        QVERIFY(!w.close());
        QCOMPARE(tree->messages.shown.last(),
                 QStringLiteral("Save changes to the current document?"));
        // Save on an untitled document asks for a name; cancelling it cancels the exit.
        tree->messages.answers = {MessageBox::Answer::Save};
        tree->picker.answers = {std::nullopt};
        w.exit_Click();
        QVERIFY(w.isVisible());
        // Save with a name writes and exits.
        const QString file = tree->path("saved.z80");
        tree->messages.answers = {MessageBox::Answer::Save};
        tree->picker.answers = {file};
        QVERIFY(w.close());
        QCOMPARE(readBytes(file), QByteArray("work"));

        // Open asks before its dialog; Discard drops the edits.
        w.show();
        type(w, " more");
        const qsizetype dialogs = tree->picker.calls.size();
        tree->messages.answers = {MessageBox::Answer::Cancel};
        w.open_Click(); // no dialog follows a cancel
        QCOMPARE(tree->picker.calls.size(), dialogs);
        tree->messages.answers = {MessageBox::Answer::Discard};
        tree->picker.answers = {file};
        w.open_Click();
        QCOMPARE(text(), QByteArray("work"));
        QVERIFY(w.close());
    }

    void ctrlQAsksTooAndAnswersAreKept() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Text1->setFocus();
        type(w, "x");
        tree->messages.answers = {MessageBox::Answer::Cancel};
        QTest::keyClick(w.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(w.isVisible());
        QCOMPARE(tree->messages.shown.size(), 1);
        tree->messages.answers = {MessageBox::Answer::Discard};
        QTest::keyClick(w.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!w.isVisible());
    }

    void settingsAreLoadedAtStartUp() {
        writeBytes(tree->places().settingsFile(), "/opt/link,er\r\n\"/opt/my emu\"\r\n");
        Form1 &w = makeWindow();
        QCOMPARE(w.form2()->Text1->text(), QStringLiteral("/opt/link,er"));
        QCOMPARE(w.form2()->Text2->text(), QStringLiteral("/opt/my emu"));
        QVERIFY(!w.form2()->isVisible());
        QVERIFY(tree->messages.shown.isEmpty());
    }

    void unreadableSettingsAreReportedAndStartUpGoesOn() {
        QDir().mkpath(tree->places().settingsFile()); // a folder where the file should be
        Form1 &w = makeWindow();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(tree->places().settingsFile()));
        QVERIFY(w.form2()->Text1->text().isEmpty());
        QTemporaryDir empty; // no folder tree at all: silent
        tree->messages.shown.clear();
        Services s = tree->services();
        s.root = empty.filePath("Asm");
        Form1 other(s);
        QVERIFY(tree->messages.shown.isEmpty());
    }
};

QTEST_MAIN(Form1Test)
#include "ui_form1_test.moc"
