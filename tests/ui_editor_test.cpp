// What the editor adds: colours, line numbers, Find and Replace, Go to Line,
// undo to the saved text, indentation, the dialogs' folders, and the log's
// lines that lead to the source and mark it.

#include "ui/editorextras.h"
#include "ui/finddialog.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/marks.h"
#include "ui/z80lexer.h"
#include "z80/highlight.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <cmath>

class EditorTest : public QObject, public WindowFixture {
    Q_OBJECT

    long send(unsigned int message, unsigned long w = 0, long l = 0) {
        return long(window->Text1->SendScintilla(message, w, l));
    }
    z80::Style styleAt(int line, int index) {
        send(QsciScintillaBase::SCI_COLOURISE, 0, -1);
        return z80::Style(send(QsciScintillaBase::SCI_GETSTYLEAT,
                               (unsigned long)window->Text1->positionFromLineIndex(line, index)));
    }
    int marks(int line) { return int(window->Text1->markersAtLine(line)); }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), Qt::Key(k), mods);
    }
    // What is wrong with the access letters of the menu a right click at
    // `x` on the first line opens, and of its submenus: an item without
    // one, or a letter two items share (pressed, it only moves between them).
    QStringList accessLetterFaults(int x, QStringList *names) {
        QsciScintilla *e = window->Text1;
        const int y = e->textHeight(0) / 2;
        QStringList faults;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            shown = true;
            for (QAction *a : menu->actions())
                *names << a->objectName();
            walkLetters(menu, &faults);
            menu->close();
        });
        emit e->customContextMenuRequested(e->viewport()->mapTo(e, QPoint(x, y)));
        if (!shown)
            faults << "no menu was shown";
        return faults;
    }
    static void walkLetters(QMenu *menu, QStringList *faults) {
        QHash<QString, QString> taken;
        for (QAction *a : menu->actions()) {
            if (a->isSeparator() || !a->isVisible())
                continue;
            const QString letter = QKeySequence::mnemonic(a->text()).toString();
            if (letter.isEmpty())
                *faults << a->text() + " has no access letter";
            else if (taken.contains(letter))
                *faults << letter + ": " + taken[letter] + " and " + a->text();
            taken.insert(letter, a->text());
            if (a->menu())
                walkLetters(a->menu(), faults);
        }
        if (menu->actions().size() < 2)
            *faults << menu->title() + " is nearly empty";
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void theSourceIsColouredAndItsBytesKept() {
        makeWindow();
        const QByteArray text = "#comment\r\n ld a,1\r\n#endcomment\r\nloop: ld a,$1A ; \xE9\r\n";
        QVERIFY(openSource("Source/c.z80", text));
        QCOMPARE(styleAt(1, 1), z80::Style::Comment); // inside the #comment block
        QCOMPARE(styleAt(3, 0), z80::Style::Label);
        QCOMPARE(styleAt(3, 6), z80::Style::Instruction);
        QCOMPARE(styleAt(3, 11), z80::Style::Number);
        // Opening a block above restyles what follows it.
        window->Text1->setCursorPosition(3, 0);
        window->Text1->insert("#comment\r\n");
        QCOMPARE(styleAt(4, 6), z80::Style::Comment);
        window->Text1->SendScintilla(QsciScintillaBase::SCI_UNDO);
        window->save_Click();
        QCOMPARE(readBytes(window->currentFile().path()), text);
    }

    // A source of one 1 MB line: each change restyles a bounded start of
    // it, so the window never waits on the line's length; the far part stays
    // plain text, its bytes unchanged.
    void aLineOfMegabytesIsColouredOnlyAtItsStart() {
        makeWindow();
        const QByteArray text = " ld a,1" + QByteArray(1000 * 1000, ' ') + "\"far\"";
        QVERIFY(openSource("Source/long.z80", text));
        QCOMPARE(styleAt(0, 1), z80::Style::Instruction);
        QCOMPARE(styleAt(0, int(text.size()) - 3), z80::Style::Default);
        window->Text1->setCursorPosition(0, 0);
        window->Text1->insert(";");
        QCOMPARE(styleAt(0, 2), z80::Style::Comment);
        QCOMPARE(editorText(window->Text1), ";" + text);
    }

    // Every style keeps a contrast of 4.5 to 1 (the usual measure for text)
    // on light and dark desktop palettes.
    void theColoursStayReadableOnLightAndDarkPalettes() {
        const auto luminance = [](const QColor &c) {
            const auto f = [](double v) {
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * f(c.redF()) + 0.7152 * f(c.greenF()) + 0.0722 * f(c.blueF());
        };
        Z80Lexer lexer;
        for (const char *base : {"#ffffff", "#fcfcfc", "#232629", "#2d2d2d", "#000000"}) {
            QPalette palette;
            palette.setColor(QPalette::Base, QColor(base));
            palette.setColor(QPalette::Text,
                             QColor(base).lightness() < 128 ? Qt::white : Qt::black);
            lexer.followPalette(palette);
            for (int style = 0; style < z80::kStyleCount; ++style) {
                const double a = luminance(lexer.color(style)), b = luminance(lexer.paper(style));
                QVERIFY2((std::max(a, b) + 0.05) / (std::min(a, b) + 0.05) >= 4.5,
                         qPrintable(QString("%1 on %2").arg(lexer.description(style), base)));
            }
        }
    }

    void aScreenReaderGetsTheEditorsTextOnlyWhenOneListens() {
        makeWindow();
        QVERIFY(openSource("Source/a.z80", "\tld a,1\n"));
        window->show();
        window->Text1->setFocus();
        // Nobody listens: the control is a plain widget that counts nothing.
        QAccessibleInterface *plain = QAccessible::queryAccessibleInterface(window->Text1);
        QVERIFY(plain && !plain->textInterface());
        // A screen reader starts: it reads the text and hears the caret.
        QAccessible::setActive(true);
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(window->Text1);
        QVERIFY(reader && reader->textInterface());
        QCOMPARE(reader->textInterface()->text(0, 7), QString("\tld a,1"));
        QAccessible::setActive(false);
    }

    void lineNumbersHaveRoomForTheLineCount() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/short.z80", "nop\r\n"));
        const int narrow = w.Text1->marginWidth(0);
        QVERIFY(narrow > 0);
        QVERIFY(openSource("Source/long.z80", QByteArray(12000, '\n')));
        QTRY_VERIFY_WITH_TIMEOUT(w.Text1->marginWidth(0) > narrow, kWaitMs);
    }

    void findAndReplace() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        QVERIFY(openSource("Source/f.z80", "ld a,1\nLD B,1\nld c,1 ; ld\n"));
        FindDialog *find = w.extras()->findDialog();
        key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(waitActive(find));
        QCOMPARE(QApplication::focusWidget(), find->findText);
        find->findText->setText("ld");
        find->matchCase->setChecked(true);
        find->findAgain(true);
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("ld"));
        int line, index;
        w.Text1->getCursorPosition(&line, &index);
        find->findAgain(true); // "LD" does not match the case
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 2);
        find->findAgain(true);
        find->findAgain(true); // wrapped round to the start
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 0);
        find->wrapAround->setChecked(false);
        find->findAgain(false);
        QCOMPARE(find->status->text(), QString::fromUtf16(u"\u201Cld\u201D was not found."));
        find->matchCase->setChecked(false);
        find->wholeWord->setChecked(true);
        find->replaceText->setText("xor");
        find->replaceAll();
        QCOMPARE(find->status->text(), QStringLiteral("4 replaced."));
        QCOMPARE(text(), QByteArray("xor a,1\nxor B,1\nxor c,1 ; xor\n"));
        w.Text1->setFocus();
        key(Qt::Key_Z, Qt::ControlModifier); // one step undoes all four
        QCOMPARE(text(), QByteArray("ld a,1\nLD B,1\nld c,1 ; ld\n"));
        QVERIFY(!w.Text1->isModified()); // back to the saved text: nothing to ask
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(text(), QByteArray("xor a,1\nxor B,1\nxor c,1 ; xor\n"));
        key(Qt::Key_Z, Qt::ControlModifier);
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(text(), QByteArray("xor a,1\nxor B,1\nxor c,1 ; xor\n"));
        find->findText->setText("xor");
        w.activateWindow();
        QVERIFY(waitActive(&w));
        find->wrapAround->setChecked(true);
        key(Qt::Key_F3, Qt::ShiftModifier); // F3 and Shift+F3 reach the window too
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 2); // wrapped round to the comment's word
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("xor"));
        QVERIFY(w.save_doc(w.currentFile().path()));
        find->matchCase->setChecked(true);
        find->replaceText->setText("xor");
        find->replaceAll(); // every match already reads so: nothing changes
        QCOMPARE(find->status->text(),
                 QString::fromUtf16(u"Every match already reads \u201Cxor\u201D."));
        QVERIFY(!w.Text1->isModified());
    }

    // Keys that would change text out of sight do nothing; those a Geany user
    // knows do what they say.
    void theEditorsOwnKeys() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        QVERIFY(openSource("Source/k.z80", "ld a,1\nret\n"));
        w.Text1->setFocus();
        w.Text1->selectAll();
        for (const auto k : {Qt::Key_L, Qt::Key_U})
            key(k, Qt::ControlModifier);
        key(Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(text(), QByteArray("ld a,1\nret\n"));
        w.Text1->setCursorPosition(1, 0);
        key(Qt::Key_T, Qt::ControlModifier); // swaps with the line above
        key(Qt::Key_D, Qt::ControlModifier); // duplicates the line
        QCOMPARE(text(), QByteArray("ret\nld a,1\nld a,1\n"));
    }

    // Each item of the editor's context menu, of its submenus and of the
    // breakpoint margin's menu answers a letter of its own.
    void everyMenuItemHasItsOwnAccessLetter() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        QVERIFY(openSource("Source/k.z80", "ld a,1\nret\n"));
        QsciScintilla *e = w.Text1;
        const int text = e->marginWidth(0) + e->marginWidth(1) + e->marginWidth(2) + 20;
        QStringList names;
        QStringList faults = accessLetterFaults(text, &names);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        QVERIFY(names.contains("goToLine"));
        e->setCursorPosition(0, 0);
        w.findChild<QAction *>("toggleBreakpoint")->trigger();
        names.clear();
        const int margin = e->marginWidth(0) + e->marginWidth(1) + e->marginWidth(2) / 2;
        faults = accessLetterFaults(margin, &names);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        QVERIFY(names.contains("breakpointEnabled"));
    }

    void goToLineAndIndentation() {
        Form1 &w = makeWindow();
        w.show();
        QVERIFY(waitActive(&w));
        QVERIFY(openSource("Source/g.z80", "start:\r\n\tld a,1\r\n\tret\r\n"));
        tree->messages.numbers = {2, std::nullopt};
        key(Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(tree->messages.shown, QStringList{"Line (1 to 4):"});
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("\tld a,1"));
        w.extras()->goToLine(); // cancelled: nothing moves
        w.Text1->setCursorPosition(1, 7);
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QTest::keyClicks(w.Text1, "nop");
        QCOMPARE(text(), QByteArray("start:\r\n\tld a,1\r\n\tnop\r\n\tret\r\n"));
    }

    void dialogsOpenInTheDocumentsFolder() {
        Form1 &w = makeWindow();
        tree->picker.answers = {std::nullopt, std::nullopt};
        w.open_Click();
        QCOMPARE(tree->picker.calls[0].initialSelection, tree->path("Source") + "/");
        QVERIFY(QDir().mkpath(tree->path("elsewhere")));
        QVERIFY(openSource("elsewhere/x.z80", ""));
        w.saveas_Click();
        QCOMPARE(tree->picker.calls[1].initialSelection, tree->path("elsewhere/x.z80"));
    }

    // Each build's log marks the lines it names in the current document and
    // clears the marks before; a double-click or Enter leads to the line.
    void theLogsLinesMarkAndLeadToTheSource() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/main.z80", "a\nb\nc\nd\ne\n"));
        QVERIFY(writeBytes(tree->path("Source/defs.inc"), "one\ntwo\nthree\n"));
        QVERIFY(
            writeBytes(tree->places().assemblerLog(),
                       "main.z80:2: error: x\n" + QFile::encodeName(tree->path("Source/main.z80")) +
                           ":4: warning SW800: y\ndefs.inc:3: error: z\nERROR on line 5 of file "
                           "main.z80\nmain.z80 line 0001: w\n"));
        w.Timer1_Timer();
        QCOMPARE((QList<int>{marks(0), marks(1), marks(2), marks(3), marks(4)}),
                 (QList<int>{1, 1, 0, 2, 1}));
        QCOMPARE(w.extras()->marks()->messages(2), QStringList{"main.z80:2: error: x"});
        QCOMPARE(w.extras()->marks()->messages(5), QStringList{"ERROR on line 5 of file main.z80"});
        QVERIFY(writeBytes(tree->places().assemblerLog(), "Build succeeded\n"));
        w.Timer1_Timer();
        QCOMPARE(marks(1), 0);

        QVERIFY(writeBytes(tree->places().assemblerLog(),
                           "main.z80:3: error: x\ndefs.inc:2: error: z\n"));
        w.Timer1_Timer();
        QPlainTextEdit *log = w.form3()->Text1;
        log->setTextCursor(QTextCursor(log->document()->findBlockByNumber(0)));
        QTest::keyClick(log, Qt::Key_Return);
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("c"));
        w.Text1->insert("changed ");
        tree->messages.answers = {MessageBox::Answer::Discard};
        const QRect second = log->cursorRect(QTextCursor(log->document()->findBlockByNumber(1)));
        QTest::mouseDClick(log->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(w.currentFile().path(), tree->path("Source/defs.inc"));
        QCOMPARE(w.Text1->selectedText(), QStringLiteral("two"));
        QCOMPARE(marks(1), 1); // the include's own line, from the same log
    }
};

QTEST_MAIN(EditorTest)
#include "ui_editor_test.moc"
