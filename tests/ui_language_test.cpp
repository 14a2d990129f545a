// The editor knows the program in it: problems appear as you type, F12 and
// Ctrl+click lead to a definition (in an include too) and Alt+Left back,
// hover tells a symbol's value, place and comment, Ctrl+Space completes, and
// Ctrl+Shift+O and Shift+F12 list the symbols and the uses of one.

#include "core/locations.h"
#include "core/programrecord.h"
#include "ui/editorextras.h"
#include "ui/form1.h"
#include "ui/language.h"
#include "ui/marks.h"
#include "ui/symbollist.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

class LanguageTest : public QObject, public WindowFixture {
    Q_OBJECT

    long send(unsigned int message, unsigned long w = 0, long l = 0) {
        return long(window->Text1->SendScintilla(message, w, l));
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), Qt::Key(k), mods);
    }
    Language *language() { return window->findChild<Language *>("language"); }
    QString lineText(int line) { return window->Text1->text(line).remove('\r').remove('\n'); }
    // A program that includes a copy of the test include, opened, shown and analysed.
    void openProgram(const QByteArray &text) {
        makeWindow();
        QVERIFY(writeBytes(
            tree->path("Source/calc.inc"),
            readBytes(qEnvironmentVariable("QUORVIN_SOURCE_DIR") + "/tests/data/calc.inc")));
        QVERIFY(openSource("Source/prog.z80", text));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QSignalSpy analysed(language()->runner(), &AnalysisRunner::finished);
        QVERIFY(analysed.wait(30000));
    }
    void caretAt(int line, const QString &word) {
        window->Text1->setCursorPosition(line, lineText(line).indexOf(word) + 1);
    }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void aMistypedLabelIsMarkedWhileTypingWithoutMake() {
        openProgram("#include \"calc.inc\"\nstart:\n\tjp start\n");
        QCOMPARE(window->Text1->markersAtLine(2), 0u);
        window->Text1->setCursorPosition(2, 6);
        QTest::keyClicks(window->Text1, "r");
        QTRY_VERIFY_WITH_TIMEOUT(window->Text1->markersAtLine(2) & (1 << MarkSet::ErrorMarker),
                                 kWaitMs);
        QCOMPARE(language()->problemMessages(3), QStringList{"error: 'strart' is undefined"});
        const long word = window->Text1->positionFromLineIndex(2, 4);
        QCOMPARE(send(QsciScintillaBase::SCI_INDICATORVALUEAT, 8, word), 1L);
        QCOMPARE(language()->hoverText(word), QString("error: 'strart' is undefined"));
        QCOMPARE(tree->starter.calls.size(), size_t(0)); // no build was started
        QTest::keyClick(window->Text1, Qt::Key_Backspace);
        QTRY_COMPARE_WITH_TIMEOUT(window->Text1->markersAtLine(2), 0u, kWaitMs);
    }

    // The margin holds one set of marks: the analysis's and the last
    // build's, each replacing only its own, with one hover that says them
    // all; the build's log parser still reads other assemblers' logs.
    void theAnalysisAndTheBuildMarkOneSetWithOneHover() {
        openProgram("start:\n\tjp strat\n\tret\n");
        MarkSet *marks = window->extras()->marks();
        QTRY_COMPARE_WITH_TIMEOUT(marks->messages(2), QStringList{"error: 'strat' is undefined"},
                                  kWaitMs);
        QCOMPARE(send(QsciScintillaBase::SCI_GETMARGINMASKN, 1),
                 long((1 << MarkSet::ErrorMarker) | (1 << MarkSet::WarningMarker) |
                      (1 << MarkSet::PassedMarker) | (1 << MarkSet::FailedMarker)));
        QVERIFY(writeBytes(tree->places().assemblerLog(),
                           "prog.z80:2: error: 'strat' is undefined\n"
                           "ERROR on line 3 of file prog.z80\n"));
        window->Timer1_Timer();
        QCOMPARE(marks->messages(2), (QStringList{"prog.z80:2: error: 'strat' is undefined",
                                                  "error: 'strat' is undefined"}));
        QCOMPARE(marks->messages(3), QStringList{"ERROR on line 3 of file prog.z80"});
        const long at = window->Text1->positionFromLineIndex(1, 0);
        const QPoint point(2, int(send(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, at)) + 2);
        QHelpEvent hover(QEvent::ToolTip, point, window->Text1->viewport()->mapToGlobal(point));
        QApplication::sendEvent(window->Text1->viewport(), &hover);
        QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), marks->messages(2).join('\n'), kWaitMs);
        // Fixed as typed: both marks of the line go; the build's mark of
        // the line not edited stays until the next build.
        window->Text1->setCursorPosition(1, 6);
        QTest::keyClicks(window->Text1, "a");
        window->Text1->setCursorPosition(1, 8);
        QTest::keyClick(window->Text1, Qt::Key_Delete);
        QTRY_COMPARE_WITH_TIMEOUT(marks->messages(2), QStringList(), kWaitMs);
        QCOMPARE(window->Text1->markersAtLine(1), 0u);
        QCOMPARE(marks->messages(3), QStringList{"ERROR on line 3 of file prog.z80"});
        QVERIFY(writeBytes(tree->places().assemblerLog(), "Build succeeded\n"));
        window->Timer1_Timer();
        QCOMPARE(marks->messages(3), QStringList());
    }

    // The analysis assembles the text as it is opened, in the editor's own
    // process: a source that runs itself without end is one mark at its line,
    // and the editor keeps going with the text as it was.
    void aSourceThatRunsItselfIsMarkedAndTheTextKept() {
        const QByteArray text = "#define X \"wr(X)\\nrun()\"\n wr(X)\n run()\n";
        openProgram(text);
        QVERIFY(window->Text1->markersAtLine(2) & (1 << MarkSet::ErrorMarker));
        QCOMPARE(language()->problemMessages(3).size(), 1);
        QCOMPARE(window->Text1->text().toUtf8(), text);
    }

    void anIncludeIsCheckedAsPartOfTheProgramThatBuiltIt() {
        makeWindow();
        QVERIFY(writeBytes(tree->path("Source/main.z80"),
                           "#include \"moves.inc\"\nstart:\n\tcall step\n\tret\n"));
        QVERIFY(!ProgramRecord(Locations(tree->root()).programRecord())
                     .add(tree->path("Source/main.z80"), {tree->path("Source/moves.inc")}));
        QVERIFY(openSource("Source/moves.inc", "step:\n\tjp start\n\tjp strat\n"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QSignalSpy analysed(language()->runner(), &AnalysisRunner::finished);
        QVERIFY(analysed.wait(30000));
        // The program's label is known; the mistyped one is said, as the build says it.
        QCOMPARE(language()->problemMessages(2), QStringList());
        QCOMPARE(language()->problemMessages(3), QStringList{"error: 'strat' is undefined"});
        // Unsaved text counts: the program is assembled with the include as it stands.
        window->Text1->setCursorPosition(2, 8);
        QTest::keyClick(window->Text1, Qt::Key_Backspace);
        QTest::keyClick(window->Text1, Qt::Key_Backspace);
        QTest::keyClicks(window->Text1, "ar");
        QTRY_COMPARE_WITH_TIMEOUT(language()->problemMessages(3), QStringList(), kWaitMs);
    }

    void f12LeadsIntoTheIncludeAndAltLeftComesBack() {
        openProgram("#include \"calc.inc\"\nstart:\n\tb_call(_ClrLCDFull)\n\tjp start\n");
        caretAt(2, "_ClrLCDFull");
        key(Qt::Key_F12);
        QCOMPARE(window->currentFile().path(), tree->path("Source/calc.inc"));
        int line = 0, index = 0;
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 78);
        QVERIFY(lineText(line).startsWith("_ClrLCDFull"));
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(window->currentFile().path(), tree->path("Source/prog.z80"));
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 2);
        // Within the file, by Ctrl+click.
        QSignalSpy analysed(language()->runner(), &AnalysisRunner::finished);
        QVERIFY(analysed.wait(30000));
        const QPoint at(window->Text1->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0,
                                                     window->Text1->positionFromLineIndex(3, 5)),
                        window->Text1->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0,
                                                     window->Text1->positionFromLineIndex(3, 5)) +
                            2);
        QTest::mouseClick(window->Text1->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 1);
    }

    void hoverTellsValuePlaceAndComment() {
        openProgram("#include \"calc.inc\"\n\tb_call(_ClrLCDFull)\n");
        const long at = window->Text1->positionFromLineIndex(1, 10);
        // The include's own words, then what the call does, reads, gives and destroys.
        const QString said = language()->hoverText(at);
        QVERIFY2(said.startsWith("_ClrLCDFull = 4540h (17728)\nequate, calc.inc:79\nclears the "
                                 "whole screen\nClears the whole screen"),
                 qPrintable(said));
        QVERIFY2(said.endsWith("\nIn: nothing\nDestroys: AF, BC, DE, HL"), qPrintable(said));
        // The same on the bcall macro's name.
        QVERIFY(language()
                    ->hoverText(window->Text1->positionFromLineIndex(1, 2))
                    .contains("_ClrLCDFull\nClears the whole screen"));
        const QPoint point(
            window->Text1->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, at),
            window->Text1->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, at) + 2);
        QHelpEvent hover(QEvent::ToolTip, point, window->Text1->viewport()->mapToGlobal(point));
        QApplication::sendEvent(window->Text1->viewport(), &hover);
        QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), language()->hoverText(at), kWaitMs);
    }

    // An include that gives a call's value only (most do): the hover adds
    // what the call does, its inputs and outputs, and what it destroys.
    void hoverOnARomCallTellsItsInputsOutputsAndDestroyed() {
        openProgram("#define bcall(x) rst 28h \\ .dw x\n_PutS .equ 450Ah\n\tld hl,text\n"
                    "\tbcall(_PutS)\n\tret\ntext: .db \"Hi\",0\n");
        const QString said = language()->hoverText(window->Text1->positionFromLineIndex(3, 9));
        const QString call = said.mid(said.indexOf("\nDisplays") + 1);
        QVERIFY2(said.startsWith("_PutS = 450Ah (17674)\nequate, prog.z80:2\nDisplays the "
                                 "0-terminated string at HL"),
                 qPrintable(said));
        QVERIFY(call.contains("\nIn: HL = string\nOut: HL = the byte after the terminating 0"));
        QVERIFY(call.contains("\nDestroys: "));
        // On the macro: the macro, then the call it makes.
        QVERIFY(language()
                    ->hoverText(window->Text1->positionFromLineIndex(3, 3))
                    .endsWith("\n_PutS\n" + call));
        // A name that is no call tells nothing of one.
        QVERIFY(!language()->hoverText(window->Text1->positionFromLineIndex(2, 8)).contains("In:"));
    }

    // On an instruction the hover tells its size, T-states and flags.
    void hoverOnAnInstructionTellsSizeTimeAndFlags() {
        openProgram("loop:\r\n\tdjnz loop\r\n\tadd a,(ix+2)\r\n");
        const long djnz = send(QsciScintillaBase::SCI_POSITIONFROMLINE, 1) + 2;
        QCOMPARE(language()->hoverText(djnz),
                 QString("djnz loop: 2 bytes, 13 T-states when it jumps or repeats, 8 when not\n"
                         "flags S Z H P/V N C: - - - - - -"));
        const long add = send(QsciScintillaBase::SCI_POSITIONFROMLINE, 2) + 1;
        QCOMPARE(language()->hoverText(add), QString("add a,(ix+2): 3 bytes, 19 T-states\n"
                                                     "flags S Z H P/V N C: * * * V 0 *"));
        // The label keeps its own hover.
        QVERIFY(language()->hoverText(djnz + 6).startsWith("loop = "));
    }

    void aLabelsHoverAddsItsAddressInTheLastGoodBuild() {
        openProgram("#include \"calc.inc\"\n\t.org 9D93h\n\t.db 0BBh,6Dh\nstart:\n\tjp start\n");
        const long at = window->Text1->positionFromLineIndex(4, 5);
        QCOMPARE(language()->hoverText(at), QString("start = 9D95h (40341)\nlabel, prog.z80:4"));
        // The build, older than the text, put it elsewhere.
        // Lines ended by a lone CR, the last by none.
        QVERIFY(writeBytes(tree->path("Exec/prog.lab"), "other = $9D95\rSTART = $9DA0"));
        QCOMPARE(language()->hoverText(at),
                 QString("start = 9D95h (40341)\nlabel, prog.z80:4\nin the last build: 9DA0h"));
    }

    void completionOffersRomCallsWithTheirValuesAndWritesTheDefinedCase() {
        openProgram("#include \"calc.inc\"\n\tb_call(\n");
        window->Text1->setCursorPosition(1, 8);
        QTest::keyClicks(window->Text1, "_clrlcdf");
        key(Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        QByteArray current(64, '\0');
        send(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0, long(current.data()));
        QCOMPARE(QByteArray(current.constData()), QByteArray("_ClrLCDFull = 4540h"));
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(lineText(1), QString("\tb_call(_ClrLCDFull"));
        // Three letters of a word open it by themselves, with instructions too.
        window->Text1->setCursorPosition(1, 0);
        QTest::keyClicks(window->Text1, "\tdjn");
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        send(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0, long(current.data()));
        QCOMPARE(QByteArray(current.constData()), QByteArray("djnz"));
    }

    void completingAtALinesStartKeepsTheLineBreakBefore() {
        openProgram("#include \"calc.inc\"\r\nstart:\r\n\r\n");
        window->Text1->setCursorPosition(2, 0);
        key(Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        QTest::keyClicks(window->Text1, "_ClrLCDF");
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(lineText(1), QString("start:"));
        QCOMPARE(lineText(2), QString("_ClrLCDFull"));
    }

    void aLongCompletionListNarrowsAsYouTypeAndReachesEveryName() {
        QByteArray program = "#include \"calc.inc\"\n";
        for (int i = 0; i < 1200; ++i)
            program += QStringLiteral("sym%1 = %2\n").arg(i, 4, 10, QChar('0')).arg(i).toLatin1();
        openProgram(program + "\n");
        window->Text1->setCursorPosition(1201, 0);
        QTest::keyClicks(window->Text1, "\tsym11");
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        QByteArray current(64, '\0');
        send(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0, long(current.data()));
        QCOMPARE(QByteArray(current.constData()), QByteArray("sym1100 = 44Ch"));
        // A word nothing begins shows no list.
        QTest::keyClicks(window->Text1, "q");
        QVERIFY(!send(QsciScintillaBase::SCI_AUTOCACTIVE));
    }

    // At bcall(_Disp the list holds the calls _Disp begins and nothing else,
    // and Enter after a name typed out in full starts a new line.
    void theListHoldsOnlyWhatTheWordBeginsAndEnterAfterAWholeNameStartsALine() {
        openProgram("_DisableApd EQU 4C84h\n_DispHL EQU 4507h\n_DispDone EQU 4508h\n\tbcall\n");
        window->Text1->setCursorPosition(3, 6);
        QTest::keyClicks(window->Text1, "(_Disp");
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        QStringList seen;
        for (int k : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) {
            QByteArray current(64, '\0');
            send(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0, long(current.data()));
            seen << QString::fromLatin1(current.constData());
            QTest::keyClick(window->Text1, Qt::Key(k));
        }
        for (const QString &entry : seen)
            QVERIFY2(entry.startsWith("_Disp"), qPrintable(entry));
        QTest::keyClicks(window->Text1, "HL");
        QVERIFY(send(QsciScintillaBase::SCI_AUTOCACTIVE));
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QCOMPARE(lineText(3), QString("\tbcall(_DispHL"));
        int line = 0, index = 0;
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 4); // on a new line
        QVERIFY(!send(QsciScintillaBase::SCI_AUTOCACTIVE));
    }

    void goToSymbolListsThisFilesSymbolsAndWidensToTheIncludes() {
        openProgram("#include \"calc.inc\"\nstart:\n\tjp draw\ncount = 3\ndraw:\n\tret\n");
        key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        auto *list = window->findChild<SymbolList *>("symbolList");
        QVERIFY(list && list->isVisible());
        auto *items = list->findChild<QListWidget *>("symbolItems");
        QStringList shown;
        for (int i = 0; i < items->count(); ++i)
            shown << items->item(i)->text();
        QCOMPARE(shown, (QStringList{"start = 0h", "count = 3h", "draw = 3h"}));
        QTest::keyClicks(list->findChild<QLineEdit *>("symbolFilter"), "dr");
        QCOMPARE(list->count(), 1);
        QTest::keyClick(list->findChild<QLineEdit *>("symbolFilter"), Qt::Key_Return);
        int line = 0, index = 0;
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 4);
        key(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(list->findChild<QLineEdit *>("symbolFilter"), Qt::Key_O,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(list->count() > 3);
        QTest::keyClicks(list->findChild<QLineEdit *>("symbolFilter"), "_ClrLCDF");
        QCOMPARE(items->item(0)->text(), QString("_ClrLCDFull = 4540h   (calc.inc:79)"));
        QTest::keyClick(list->findChild<QLineEdit *>("symbolFilter"), Qt::Key_Escape);
    }

    void shiftF12ListsEveryUse() {
        // Each of the three line ends, a last line without one, and an
        // include with a byte-order mark: the lines shown are those of the uses.
        QVERIFY(writeBytes(tree->path("Source/use.inc"), "\xEF\xBB\xBF\tret\r\tcall loop"));
        openProgram("loop:\r\tdjnz loop\r\n\tjr LOOP\n#include \"use.inc\"");
        caretAt(0, "loop");
        key(Qt::Key_F12, Qt::ShiftModifier);
        auto *list = window->findChild<SymbolList *>("symbolList");
        auto *items = list->findChild<QListWidget *>("symbolItems");
        QStringList shown;
        for (int i = 0; i < items->count(); ++i)
            shown << items->item(i)->text();
        QCOMPARE(shown, (QStringList{"prog.z80:2: djnz loop", "prog.z80:3: jr LOOP",
                                     "use.inc:2: call loop"}));
        QTest::keyClick(list->findChild<QLineEdit *>("symbolFilter"), Qt::Key_Down);
        QTest::keyClick(list->findChild<QLineEdit *>("symbolFilter"), Qt::Key_Return);
        int line = 0, index = 0;
        window->Text1->getCursorPosition(&line, &index);
        QCOMPARE(line, 2);
    }
};

QTEST_MAIN(LanguageTest)
#include "ui_language_test.moc"
