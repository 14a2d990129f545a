// Ctrl+Shift+T in the editor: the document is saved and its program's tests
// run without holding up the window; the output window shows the failures
// and the summary, a double-click on a failure goes to its line, and the
// tests file's margin marks each test passed or failed.

#include "ui/analysisrunner.h"
#include "ui/editorextras.h"
#include "ui/form3.h"
#include "ui/language.h"
#include "ui/testsrunner.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QLabel>
#include <QPlainTextEdit>

namespace {

const QByteArray kProgram = R"(        .org 9D93h
        .db 0BBh, 6Dh
        ret
double:
        add hl, hl
        ;@assert h < 10h
        ret
)";

const QByteArray kTests = R"(test "double 21"
  call double with hl=21
  expect hl=42

test "double 5, wrongly"
  call double with hl=5
  expect hl=11

test "too large"
  call double with hl=1000h
)";

} // namespace

class CheckEditorTest : public QObject, public WindowFixture {
    Q_OBJECT

    QString output() { return window->form3() ? window->form3()->Text1->toPlainText() : QString(); }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void theProgramsTestsRunFromItsSource() {
        Form1 &w = makeWindow();
        QVERIFY(writeBytes(tree->path("Source/twice.tests"), kTests));
        QVERIFY(openSource("Source/twice.z80", kProgram));
        w.Text1->setText(QString(kProgram).replace("add hl, hl", "add hl, hl\n        nop"));
        w.show();
        QVERIFY(waitActive(&w));
        QTest::keyClick(w.Text1, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(readBytes(tree->path("Source/twice.z80")), editorText(w.Text1)); // saved first
        QTRY_VERIFY_WITH_TIMEOUT(output().endsWith("1 passed, 2 failed\n"), 20000);
        const QStringList lines = output().split('\n');
        QCOMPARE(lines[0], QString("twice.tests:7: error: double 5, wrongly: expected HL=000Bh "
                                   "(11), got 000Ah (10)"));
        QVERIFY(output().contains("twice.z80:7: error: too large: assertion failed: h < 10h "
                                  "(h=20h (32))"));
        // The failed assert is in the program: its line is marked, and a
        // double-click on the test's failure opens the tests file there.
        QCOMPARE(w.extras()->markMessages(7).size(), 1);
        emit w.form3()->lineActivated(lines[0]);
        QCOMPARE(w.currentFile().path(), tree->path("Source/twice.tests"));
        int line = 0, index = 0;
        w.Text1->getCursorPosition(&line, &index);
        QCOMPARE(line + 1, 7);
    }

    // In the tests file itself, each test's line is marked with how it went.
    void theTestsFileMarksEachTest() {
        Form1 &w = makeWindow();
        QVERIFY(writeBytes(tree->path("Source/twice.z80"), kProgram));
        QVERIFY(openSource("Source/twice.tests", kTests));
        QSignalSpy done(w.testsRunner(), &TestsRunner::finished);
        w.test_Key();
        QVERIFY(done.wait(60000));
        QCOMPARE(w.extras()->markMessages(1), QStringList("passed"));
        QCOMPARE(w.extras()->markMessages(5),
                 QStringList("twice.tests:7: expected HL=000Bh (11), got 000Ah (10)"));
        QVERIFY(w.extras()->markMessages(9).first().startsWith("twice.z80:6: assertion failed"));
        // Fixed and run again: the marks follow, and stay while the text is
        // checked as it is typed.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy analysed(w.findChild<Language *>("language")->runner(),
                            &AnalysisRunner::finished);
        w.Text1->setText(QString(kTests).replace("hl=11", "hl=10").replace("1000h", "100h"));
        w.test_Key();
        QVERIFY(done.wait(60000));
        QVERIFY(analysed.count() || analysed.wait(30000));
        QCOMPARE(w.extras()->markMessages(1), QStringList("passed"));
        QCOMPARE(w.extras()->markMessages(5), QStringList("passed"));
        QCOMPARE(w.extras()->markMessages(9), QStringList("passed"));
        QVERIFY(output().endsWith("3 passed, 0 failed\n"));
    }

    // The kit's hello template, saved under a name of the user's: its tests
    // come beside it, and pass.
    void theHelloTemplateComesWithAPassingTest() {
        const QString kit = qEnvironmentVariable("QUORVIN_SOURCE_DIR") + "/kit/Templates/";
        const QString templates = tree->places().templateFolder() + "/";
        QVERIFY(QDir().mkpath(templates));
        QVERIFY(QFile::copy(kit + "hello.txt", templates + "hello.txt"));
        QVERIFY(QFile::copy(kit + "hello.tests", templates + "hello.tests"));
        Form1 &w = makeWindow();
        w.newdoc_Click(QFile::encodeName(templates + "hello.txt"));
        const QString saved = tree->path("Source/greet.z80");
        QVERIFY(w.save_doc(saved));
        QCOMPARE(readBytes(tree->path("Source/greet.tests")), readBytes(kit + "hello.tests"));
        QSignalSpy done(w.testsRunner(), &TestsRunner::finished);
        w.test_Key();
        QVERIFY(done.wait(60000));
        QCOMPARE(output(), QString("1 passed, 0 failed\n"));
        QCOMPARE(w.findChild<QLabel *>("statusMessage")->toolTip(),
                 QString("Tests: 1 passed, 0 failed"));
        // A document opened from a file brings no tests with it.
        QVERIFY(openSource("Source/other.z80", "ret\n"));
        QVERIFY(w.save_doc(tree->path("Source/third.z80")));
        QVERIFY(!QFileInfo::exists(tree->path("Source/third.tests")));
    }

    // A tests file is edited with its program's names, and none of its lines
    // is judged as assembly, with its program beside it or not.
    void aTestsFileKnowsItsProgramsNames() {
        Form1 &w = makeWindow();
        QVERIFY(writeBytes(tree->path("Source/twice.z80"), kProgram));
        QVERIFY(openSource("Source/twice.tests", kTests));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *language = w.findChild<Language *>("language");
        QSignalSpy analysed(language->runner(), &AnalysisRunner::finished);
        QVERIFY(analysed.wait(30000));
        const QString hover = language->hoverText(w.Text1->text().indexOf("double with") + 1);
        QVERIFY2(hover.contains("9D96h"), qPrintable(hover));
        QCOMPARE(language->problemMessages(2), QStringList());
        QVERIFY(openSource("Source/alone.tests", kTests));
        w.Text1->setText(kTests + QByteArray("  nonsense here\n"));
        QVERIFY(analysed.wait(30000));
        for (int line = 1; line <= w.Text1->lines(); ++line)
            QCOMPARE(language->problemMessages(line), QStringList());
    }

    void aProgramWithoutTestsSaysWhereToWriteThem() {
        Form1 &w = makeWindow();
        QVERIFY(openSource("Source/lone.z80", kProgram));
        w.test_Key();
        QVERIFY(output().startsWith("No tests to run: " + tree->path("Source/lone.tests") +
                                    " does not exist."));
    }

    // A window closed while its tests run stops them and waits for them.
    void closingStopsARunUnderWay() {
        Form1 &w = makeWindow();
        QVERIFY(writeBytes(tree->path("Source/spin.z80"), "        .org 9D93h\n        .db 0BBh, "
                                                          "6Dh\nspin:   jr spin\n"));
        QVERIFY(
            openSource("Source/spin.tests", "test \"forever\"\n  bound 6000000000\n  call spin\n"));
        w.test_Key();
        QVERIFY(w.testsRunner()->running());
        QElapsedTimer clock;
        clock.start();
        window.reset();
        QVERIFY(clock.elapsed() < 5000);
    }
};

QTEST_MAIN(CheckEditorTest)
#include "check_editor_test.moc"
