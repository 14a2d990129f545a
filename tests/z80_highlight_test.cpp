// The colours' classification of a line: each test line is drawn with one
// letter per character for its style (C comment, I instruction, R register,
// D directive, N number, S string, L label); a default character as itself.

#include "z80/highlight.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QString draw(const std::string &line, int &state) {
    std::vector<z80::Span> spans;
    state = z80::highlightLine(line, state, spans);
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
        QTest::newRow("binary digits in groups are one number") << " .db 0000 0101b ;x"
                                                                << " DDD NNNNNNNNNN CC";
        QTest::newRow("an unclosed string runs to the end") << " .db \"ab ; c"
                                                            << " DDD SSSSSSS";
        QTest::newRow("a path's backslash is no escape") << " .include \"inc\\ti.inc\""
                                                         << " DDDDDDDD SSSSSSSSSSSS";
    }
    void eachWordGetsItsStyle() {
        QFETCH(QString, line);
        QFETCH(QString, styles);
        int state = z80::kNoBlock;
        QCOMPARE(draw(line.toStdString(), state), styles);
        QCOMPARE(state, int(z80::kNoBlock));
    }

    void commentBlocksSpanLines() {
        int state = z80::kNoBlock;
        QCOMPARE(draw("#comment the rest", state), QStringLiteral("DDDDDDDDCCCCCCCCC"));
        QCOMPARE(draw(" ld a,1", state), QStringLiteral("CCCCCCC"));
        QCOMPARE(draw("#endcommentary", state), QStringLiteral("CCCCCCCCCCCCCC"));
        QCOMPARE(draw("  #ENDCOMMENT", state), QStringLiteral("CCCCCCCCCCCCC"));
        QCOMPARE(state, int(z80::kNoBlock));
        QCOMPARE(draw(" ret", state), QStringLiteral(" III"));
        // Brass's comments open and close inside lines and across them.
        QCOMPARE(draw(" ld a,1 /* one */ ld b,2 /* two", state),
                 QStringLiteral(" II R,N CCCCCCCCC II R,N CCCCCC"));
        QCOMPARE(state, int(z80::kInSlashComment));
        QCOMPARE(draw(" still */ ret", state), QStringLiteral("CCCCCCCCC III"));
        QCOMPARE(state, int(z80::kNoBlock));
    }
};

QTEST_APPLESS_MAIN(HighlightTest)
#include "z80_highlight_test.moc"
