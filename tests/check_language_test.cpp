// The tests language read as a user writes it, mistakes included: every bad
// line is reported at its file:line with what to write instead, and hostile
// files (huge numbers, long lines, thousands of tests) stay bounded.

#include "check/testfile.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QStringList errorsOf(const std::string &text) {
    QStringList out;
    for (const std::string &e : check::parseTests("t.tests", text).errors)
        out << QString::fromStdString(e);
    return out;
}

} // namespace

class CheckLanguageTest : public QObject {
    Q_OBJECT
private slots:
    // The forms a user writes, comments and letter case as they come.
    void theFormsAreRead() {
        const check::TestsFile f = check::parseTests(
            "t.tests", "; mul's tests\n"
                       "TEST \"mul8: 5 times 3\" ; the first\n"
                       "  set (maxVal)=10, {ptr}=buf+2, (name)=\"A;B\"\n"
                       "  call mul8 with a=5, e=3\n"
                       "  expect hl=15, cf=0, (buf)=1, {buf}=$0102, (buf+1)=\"x\"\n"
                       "  keeps bc, de, ix\n"
                       "  cycles <= 400\n"
                       "  calls _PutS\n"
                       "test \"title\"\n"
                       "  run keys ENTER,2ND,A\n"
                       "  expect text 0 \"HELLO, WORLD\"\n"
                       "  expect screen title.png\n"
                       "  buffer plotSScreen+12 frame.png\n"
                       "  expect stops \"key list\"\n");
        QVERIFY2(f.ok(), f.errors.empty() ? "" : f.errors.front().c_str());
        QCOMPARE(f.tests.size(), std::size_t(2));
        const check::Test &mul = f.tests[0];
        QCOMPARE(mul.name, std::string("mul8: 5 times 3"));
        QCOMPARE(mul.line, 2);
        QCOMPARE(mul.actionLine, 4);
        QCOMPARE(mul.targetText, std::string("mul8"));
        QCOMPARE(mul.with.size(), std::size_t(2));
        QCOMPARE(mul.sets.size(), std::size_t(3));
        QCOMPARE(mul.sets[2].text, std::string("A;B"));
        QCOMPARE(mul.expectations.size(), std::size_t(8));
        QCOMPARE(mul.expectations[1].item.kind, check::Item::Kind::Flag);
        QCOMPARE(mul.expectations[3].item.kind, check::Item::Kind::Word);
        QCOMPARE(mul.expectations[5].regs, (std::vector<std::string>{"bc", "de", "ix"}));
        QCOMPARE(mul.expectations[6].count, std::uint64_t(400));
        QCOMPARE(mul.bound, check::kDefaultBound);
        const check::Test &title = f.tests[1];
        QCOMPARE(title.action, check::Test::Action::Run);
        QCOMPARE(title.keys.size(), std::size_t(4)); // A is ALPHA and MATH
        QCOMPARE(title.expectations[0].text, std::string("HELLO, WORLD"));
        QCOMPARE(title.expectations[2].addressText, std::string("plotSScreen+12"));
        QCOMPARE(title.expectations[2].name, std::string("frame.png"));
    }

    void eachBadLineIsReportedAtItsLine() {
        const QStringList e = errorsOf("  call mul8\n"
                                       "test mul8\n"
                                       "  call mul8 with q=1\n"
                                       "  call mul8\n"
                                       "  expect hl=(3\n"
                                       "  set {buf}=\"text\"\n"
                                       "  run keys FOO\n"
                                       "  cycles < 5\n"
                                       "  text 9 \"x\"\n"
                                       "  frobnicate\n"
                                       "test \"empty\"\n");
        QCOMPARE(e.size(), 11);
        QVERIFY2(e[0].startsWith("t.tests:1: error: `call` outside a test"), qPrintable(e[0]));
        QVERIFY(e[1].startsWith("t.tests:2: error: a test's name is written in double quotes"));
        QVERIFY(e[2].startsWith("t.tests:3: error: \"q=1\": expected REGISTER=VALUE"));
        QVERIFY(e[3].startsWith("t.tests:4: error: a test makes one call or one run; this one "
                                "has its call at line 3"));
        QVERIFY(e[4].startsWith("t.tests:5: error: the value: "));
        QVERIFY(e[5].startsWith("t.tests:6: error: `set` writes memory before the call"));
        QVERIFY(e[6].startsWith("t.tests:7: error: a test makes one call or one run"));
        QVERIFY(e[7].startsWith("t.tests:8: error: cycles are bounded as cycles <= N"));
        QVERIFY(e[8].startsWith("t.tests:9: error: the row of `text` wants a whole number from 0 "
                                "to 7"));
        QVERIFY(e[9].startsWith("t.tests:10: error: \"frobnicate\" is not a line of a test"));
        QVERIFY(e[10].startsWith("t.tests:11: error: the test \"empty\" neither calls a routine "
                                 "nor runs the program"));
    }

    void aTestHasAName() {
        QCOMPARE(errorsOf("test \"\"\n  call x\n"),
                 QStringList("t.tests:1: error: a test's name says what it tests, in 1 to 200 "
                             "characters"));
    }

    void aTextGoesInBytesNotInAWord() {
        const QStringList e = errorsOf("test \"t\"\n  set {buf}=\"text\"\n  call x\n");
        QCOMPARE(e, QStringList("t.tests:2: error: a text is written at (ADDRESS), one byte after "
                                "another, not at {ADDRESS}"));
    }

    void hostileFilesStayBounded() {
        // Numbers past 64 bits, a line of a megabyte, deep brackets.
        QVERIFY(errorsOf("test \"t\"\n  call x\n  cycles <= 99999999999999999999999999\n")[0]
                    .startsWith("t.tests:3: error: cycles <= wants a whole number from 0 to "));
        QVERIFY(errorsOf("test \"t\"\n  bound 18446744073709551616\n  call x\n")[0].startsWith(
            "t.tests:2: error: bound wants a whole number"));
        QVERIFY(errorsOf("test \"t\"\n  call x\n  expect " + std::string(1 << 20, 'a') + "\n")[0]
                    .startsWith("t.tests:3: error: the line is longer than 4096 characters"));
        QCOMPARE(errorsOf("test \"t\"\n  call x\n  expect hl=" + std::string(1000, '(') + "1" +
                          std::string(1000, ')') + "\n")
                     .size(),
                 1);
        // Twenty thousand tests: the first ten thousand are kept, then one error.
        std::string many;
        for (int i = 0; i < 20000; ++i)
            many += "test \"t" + std::to_string(i) + "\"\n  call x\n";
        const check::TestsFile f = check::parseTests("t.tests", many);
        QCOMPARE(f.tests.size(), check::kMaxTests);
        QCOMPARE(f.errors.size(), std::size_t(1));
        QVERIFY(f.errors[0].rfind("t.tests:20001: error: more than 10000 tests", 0) == 0);
        // A file of bad lines reports at most a hundred of them.
        QCOMPARE(errorsOf(std::string(100000, '\n') + std::string(5000, '!') + "\n").size(), 1);
        std::string bad;
        for (int i = 0; i < 5000; ++i)
            bad += "nonsense\n";
        QCOMPARE(errorsOf(bad).size(), int(check::kMaxErrors));
        // Too many keys in one run.
        std::string keys = "test \"t\"\n  run keys ENTER";
        for (int i = 0; i < 2000; ++i)
            keys += ",ENTER";
        QVERIFY(errorsOf(keys + "\n")[0].startsWith("t.tests:2: error: the line is longer"));
        keys = "test \"t\"\n  run keys A";
        for (int i = 0; i < 600; ++i)
            keys += ",A";
        QVERIFY(errorsOf(keys + "\n")[0].startsWith("t.tests:2: error: more than 1000 keys"));
    }
};

QTEST_APPLESS_MAIN(CheckLanguageTest)
#include "check_language_test.moc"
