// The colours' classification of a line: each test line is drawn with one
// letter per character for its style (C comment, I instruction, R register,
// D directive, N number, S string, L label); a default character as itself.

#include "z80/highlight.h"

#include <QtTest>

namespace {

QString draw(const std::string &line, bool &inComment) {
    std::vector<z80::Span> spans;
    inComment = z80::highlightLine(line, inComment, spans);
    QString out = QString::fromStdString(line);
    for (const z80::Span &s : spans)
        for (size_t i = s.start; i < s.start + s.length; ++i)
            out[qsizetype(i)] = QLatin1Char("?CIRDNSL"[int(s.style)]);
    return out;
}

} // namespace

class HighlightTest : public QObject {
    Q_OBJECT
private slots:
    void eachWordGetsItsStyle_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("styles");
        QTest::newRow("label, instruction, registers, comment") << "start: ld a,(ix+5) ; go"
                                                                << "LLLLLL II R,(RR+N) CCCC";
        QTest::newRow("undocumented and conditions") << " sll ixh \\ jr nz,$+5 \\ ex af,af'"
                                                     << " III RRR \\ II RR,$+N \\ II RR,RRR";
        QTest::newRow("numbers in every form") << " .db $1A,1Ah,0x1A,%1010,1010b,'c'"
                                               << " DDD NNN,NNN,NNNN,NNNNN,NNNNN,SSS";
        QTest::newRow("percent after a value is an operator") << " .db x%3, 7 %101"
                                                              << " DDD x%N, N %NNN";
        QTest::newRow("strings with escapes") << " .db \"a;\\\"b\", 0 ;x"
                                              << " DDD SSSSSSS, N CC";
        QTest::newRow("dotless directives") << "v equ 5"
                                            << "L DDD N";
        QTest::newRow("preprocessor") << "#define bcall(x) rst 28h \\ .dw x"
                                      << "DDDDDDD bcall(x) III NNN \\ DDD x";
        QTest::newRow("symbols stay default") << " call _PutS"
                                              << " IIII _PutS";
    }
    void eachWordGetsItsStyle() {
        QFETCH(QString, line);
        QFETCH(QString, styles);
        bool inComment = false;
        QCOMPARE(draw(line.toStdString(), inComment), styles);
        QVERIFY(!inComment);
    }

    void commentBlocksSpanLines() {
        bool inComment = false;
        QCOMPARE(draw("#comment the rest", inComment), QStringLiteral("DDDDDDDDCCCCCCCCC"));
        QVERIFY(inComment);
        QCOMPARE(draw(" ld a,1", inComment), QStringLiteral("CCCCCCC"));
        QVERIFY(inComment);
        QCOMPARE(draw("#ENDCOMMENT", inComment), QStringLiteral("CCCCCCCCCCC"));
        QVERIFY(!inComment);
        QCOMPARE(draw(" ret", inComment), QStringLiteral(" III"));
    }
};

QTEST_APPLESS_MAIN(HighlightTest)
#include "z80_highlight_test.moc"
