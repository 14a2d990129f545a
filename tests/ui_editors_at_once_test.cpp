// The program started twice: two editors over the same root folder keep
// the breakpoints and watches each other set, rather than the last one to
// write taking away what the other kept.

#include "ui/breakpoints.h"
#include "ui/debugcontroller.h"
#include "ui/runwindow.h"

#include "fakes.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>

namespace {
const QByteArray kSource = "start:\n ld a,1\n ld b,2\n ld c,3\n ret\n";
} // namespace

class EditorsAtOnceTest : public QObject, public WindowFixture {
    Q_OBJECT

    std::unique_ptr<Form1> other;

    Form1 &second() {
        other = std::make_unique<Form1>(tree->services());
        return *other;
    }
    static Breakpoints *breakpoints(Form1 &w) { return w.findChild<Breakpoints *>("breakpoints"); }
    static void toggle(Form1 &w, int line) {
        w.Text1->setCursorPosition(line - 1, 0);
        w.findChild<QAction *>("toggleBreakpoint")->trigger();
    }
    QString source(const char *name) { return tree->path(QStringLiteral("Source/") + name); }
    // What a fresh editor finds kept for `name`.
    QList<int> keptFor(const char *name) {
        Form1 fresh(tree->services());
        return breakpoints(fresh)->all().value(source(name));
    }
    // The pane of a debugged run says its list of watches changed.
    static void watchesEdited(Form1 &w, const QStringList &watches) {
        emit w.findChild<DebugController *>("debugController")->watchExpressionsChanged(watches);
    }
    QStringList keptWatches() {
        return QString::fromUtf8(readBytes(tree->places().watchExpressions()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void init() {
        setUp();
        for (const char *name : {"one.z80", "two.z80", "three.z80"})
            QVERIFY(writeBytes(source(name), kSource));
    }
    void cleanup() {
        other.reset();
        tearDown();
    }

    // Each editor writes only the files whose breakpoints it changed: a
    // breakpoint set in one editor survives the other's writes, one cleared
    // stays cleared, and a file opened later shows what the other kept.
    void eachEditorKeepsTheOthersBreakpoints() {
        Form1 &a = makeWindow();
        QVERIFY(a.open_doc(source("one.z80")));
        toggle(a, 2);
        Form1 &b = second(); // knows one.z80's breakpoint
        QVERIFY(b.open_doc(source("two.z80")));
        toggle(b, 3);
        QVERIFY(a.open_doc(source("three.z80")));
        toggle(a, 4);
        QCOMPARE(keptFor("one.z80"), QList<int>{2});
        QCOMPARE(keptFor("two.z80"), QList<int>{3});
        QCOMPARE(keptFor("three.z80"), QList<int>{4});

        QVERIFY(a.open_doc(source("one.z80")));
        toggle(a, 2);
        toggle(b, 5);
        QCOMPARE(keptFor("one.z80"), QList<int>{});
        QCOMPARE(keptFor("two.z80"), (QList<int>{3, 5}));
        QCOMPARE(keptFor("three.z80"), QList<int>{4});

        // b opens the files a changed after b started: they are as a left them.
        QVERIFY(b.open_doc(source("three.z80")));
        QVERIFY(breakpoints(b)->has(4));
        toggle(b, 1);
        QVERIFY(b.open_doc(source("one.z80")));
        QVERIFY(!breakpoints(b)->has(2));
        QCOMPARE(keptFor("three.z80"), (QList<int>{1, 4}));
        QCOMPARE(keptFor("two.z80"), (QList<int>{3, 5}));
        QCOMPARE(keptFor("one.z80"), QList<int>{});
    }

    // The file is still one another session's editor reads: a breakpoint's
    // settings, written by one editor, are there for the next.
    void aBreakpointsSettingsSurviveTheOthersWrite() {
        Form1 &a = makeWindow();
        Form1 &b = second();
        QVERIFY(a.open_doc(source("one.z80")));
        toggle(a, 3);
        BreakpointSettings s;
        s.condition = "a = 5";
        s.hitCount = 2;
        s.enabled = false;
        QVERIFY(breakpoints(a)->setSettings(3, s));
        QVERIFY(b.open_doc(source("two.z80")));
        toggle(b, 2);
        Form1 fresh(tree->services());
        QCOMPARE(breakpoints(fresh)->settings(source("one.z80"), 3), s);
    }

    // A file of breakpoints too long for the editor (another version's, or
    // damaged) is read up to its bounds, its junk and its cut last line
    // skipped; what the editor then changes is written first, and the file
    // stays within the bounds.
    void aFileTooLongOrDamagedIsReadAndWrittenWithinBounds() {
        constexpr int kBound = 256 * 1024;
        const QByteArray far =
            (tree->path("Source/") + QString(200, QLatin1Char('d')) + "/far.z80").toUtf8();
        const QByteArray junk =
            "\tcondition\ta = 1\nnot a line\n0\t" + far + "\n-3\t" + far + "\n4\trelative.z80\n";
        QByteArray entries = "1\t" + far + "\n\thits\t2\n";
        for (int line = 2; entries.size() < 600 * 1024; ++line)
            entries += QByteArray::number(line) + '\t' + far + '\n';
        // Padded so that the bound falls amid a path, which cut would name another file.
        const qsizetype lineStart = entries.lastIndexOf('\n', kBound - junk.size() - 400) + 1;
        const qsizetype pad = kBound - junk.size() - (lineStart + 6 + far.size() / 2);
        const QByteArray kept = junk + "#" + QByteArray(pad - 2, 'x') + "\n" + entries;
        QVERIFY(writeBytes(tree->places().breakpoints(), kept));
        Form1 &a = makeWindow();
        QCOMPARE(breakpoints(a)->all().keys(), QList<QString>{QString::fromUtf8(far)});
        QVERIFY(breakpoints(a)->all().value(far).size() > 500);
        QCOMPARE(breakpoints(a)->settings(far, 1).hitCount, 2);
        QVERIFY(a.open_doc(source("one.z80")));
        toggle(a, 5);
        BreakpointSettings s;
        s.log = QString(3000, QLatin1Char('l'));
        QVERIFY(breakpoints(a)->setSettings(5, s));
        const QByteArray written = readBytes(tree->places().breakpoints());
        QVERIFY(written.size() <= kBound);
        QVERIFY(!written.contains("not a line") && !written.contains("relative.z80"));
        Form1 fresh(tree->services());
        QCOMPARE(breakpoints(fresh)->settings(source("one.z80"), 5), s);
        QVERIFY(breakpoints(fresh)->all().value(far).size() > 500);
    }

    // Watches added in either editor are all kept, one removed stays
    // removed, each editor's own order is kept.
    void eachEditorKeepsTheOthersWatches() {
        Form1 &a = makeWindow();
        watchesEdited(a, {"hl", "(score)"});
        Form1 &b = second(); // starts with a's two
        watchesEdited(b, {"hl", "(score)", "{lives}, dec"});
        QCOMPARE(keptWatches(), (QStringList{"hl", "(score)", "{lives}, dec"}));
        watchesEdited(a, {"hl"});
        QCOMPARE(keptWatches(), (QStringList{"hl", "{lives}, dec"}));
        // b edits its row in place; the watch a removed does not come back.
        watchesEdited(b, {"hl", "(score)", "{lives}, hex"});
        QCOMPARE(keptWatches(), (QStringList{"hl", "{lives}, hex"}));
        // a's own order is kept, b's watch beside the one it followed.
        watchesEdited(a, {"b", "hl"});
        QCOMPARE(keptWatches(), (QStringList{"b", "hl", "{lives}, hex"}));
        watchesEdited(a, {"hl", "b"});
        QCOMPARE(keptWatches(), (QStringList{"hl", "{lives}, hex", "b"}));
    }
};

QTEST_MAIN(EditorsAtOnceTest)
#include "ui_editors_at_once_test.moc"
