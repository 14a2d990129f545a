// Breakpoint conditions and the debug pane's watches: expressions over the
// paused machine's registers, flags and memory, with the assembler's
// operators binding as the assembler binds them with precedence (Brass's
// expressions, syntax/expressions.htm of its manual), and the formats a
// watch is shown in.

#include "run/debugger.h"
#include "run/oscalllog.h"
#include "run/romtable.h"
#include "run/session.h"
#include "run/tifloat.h"
#include "run/watchexpr.h"
#include "run/watchformat.h"
#include "z80/expr.h"
#include "z80/lexer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct Paused {
    std::unique_ptr<run::Session> session;
    Paused() {
        run::Program p;
        p.name = "T";
        p.code = {0xC9};
        session = std::make_unique<run::Session>(p);
    }
    run::Machine &m() { return session->machine(); }
};

std::optional<std::uint16_t> labels(const std::string &name) {
    if (name == "score")
        return 0x8000;
    if (name == "Sprite")
        return 0x8100;
    return std::nullopt;
}

std::optional<std::int64_t> valueOf(const std::string &text, const run::Machine &m,
                                    std::string *error) {
    const auto e = run::WatchExpr::parse(text, labels, error);
    return e ? e->value(m, error) : std::nullopt;
}

} // namespace

class WatchTest : public QObject {
    Q_OBJECT
private slots:
    void aConditionReadsRegistersFlagsAndMemory() {
        Paused p;
        run::Machine &m = p.m();
        m.setA(5);
        m.setFlags(0x41); // Z and C
        m.setReg(run::Reg::HL, 0x9340);
        m.write(0x9340, 7);
        m.writeWord(0x8000, 100);
        std::string error;
        const auto cond = run::WatchExpr::parse("a = 5 && (hl) <> 0", labels, &error);
        QVERIFY2(cond, error.c_str());
        QVERIFY(cond->holds(m));
        m.write(0x9340, 0);
        QVERIFY(!cond->holds(m));
        m.write(0x9340, 7);
        m.setA(6);
        QVERIFY(!cond->holds(m));

        QCOMPARE(valueOf("{score} >= 100", m, &error), std::int64_t(1));
        m.writeWord(0x8000, 99);
        QCOMPARE(valueOf("{score} >= 100", m, &error), std::int64_t(0));
        QCOMPARE(valueOf("{score}", m, &error), std::int64_t(99));
        QCOMPARE(valueOf("(score+1)", m, &error), std::int64_t(0)); // the word's high byte
        QCOMPARE(valueOf("z && cy && !nz && !nc", m, &error), std::int64_t(1));
        QCOMPARE(valueOf("H * 256 + l == HL", m, &error), std::int64_t(1));
        QCOMPARE(valueOf("c", m, &error), std::int64_t(m.reg(run::Reg::BC) & 0xFF));
        QCOMPARE(valueOf("$ == pc", m, &error), std::int64_t(1));
        // Square brackets group; a read of a read follows a pointer.
        QCOMPARE(valueOf("[1+2]*3", m, &error), std::int64_t(9));
        m.writeWord(0x8002, 0x9340);
        QCOMPARE(valueOf("({score+2})", m, &error), std::int64_t(7));
        QCOMPARE(valueOf("'A' + 1", m, &error), std::int64_t(66));
    }

    // The same table through the assembler's parser with precedence and
    // through a watch: every operator at every pair of levels.
    void theOperatorsBindAsTheAssemblersDo() {
        Paused p;
        const char *const table[] = {
            "1+2*3",       "10-4-3",      "1<<2+1",      "6&3==2",     "1|2^3&4",
            "7>6==1",      "2*3%4",       "1 && 0 || 1", "-3+~0",      "!0+1",
            "5>=5<=1",     "100/7/2",     "1?2:3",       "0?2:3+4",    "3 != 2 = 1",
            "1 | 2 && 0",  "8>>1<3",      "2+3<<1",      "5 <= 3 + 3", "1 ^ 3 | 4",
            "12 & 10 ^ 6", "1 || 0 && 0", "4 % 3 * 5",   "3 > 2 > 1",  "16 >> 2 >> 1"};
        for (const char *text : table) {
            const z80::LexedLine line = z80::lex(text);
            std::string error;
            const auto tree =
                z80::parseExpression(line.tokens, 0, line.tokens.size(), &error, true);
            QVERIFY2(tree, text);
            const auto expected = z80::evaluate(
                *tree, z80::Lookup([](const std::string &) { return std::nullopt; }), &error);
            QVERIFY2(expected, text);
            QCOMPARE(valueOf(text, p.m(), &error), expected);
        }
        std::string error;
        QCOMPARE(valueOf("1 + 2 <> 3", p.m(), &error), std::int64_t(0)); // <> is !=
    }

    // A log message's braces: registers, bytes, words, any expression;
    // what is no expression stays as written, however it nests.
    void aLogMessageFillsInItsExpressions() {
        Paused p;
        p.m().setReg(run::Reg::HL, 0x8000);
        p.m().writeWord(0x8000, 0x1234);
        QCOMPARE(run::fillInExpressions("hl={hl} ({(hl)}) {{score}} {score+1} {lives} {", p.m(),
                                        labels),
                 std::string("hl=8000h (34h) 1234h 8001h {lives} {"));
        const std::string deep = std::string(2000, '{') + std::string(2000, '}');
        QCOMPARE(run::fillInExpressions(deep, p.m(), labels), deep);
    }

    void aWrongExpressionSaysWhy() {
        Paused p;
        std::string error;
        QVERIFY(!run::WatchExpr::parse("(hl", labels, &error));
        QVERIFY2(error.find("not closed") != std::string::npos, error.c_str());
        QVERIFY(!run::WatchExpr::parse("hl)", labels, &error));
        QVERIFY(!run::WatchExpr::parse("a +", labels, &error));
        QVERIFY(!run::WatchExpr::parse("", labels, &error));
        QVERIFY(!run::WatchExpr::parse("lives > 2", labels, &error));
        QVERIFY2(error.find("'lives'") != std::string::npos, error.c_str());
        QVERIFY(!run::WatchExpr::parse(":score", labels, &error)); // a page is the assembler's
        QVERIFY2(error.find("page") != std::string::npos, error.c_str());
        QVERIFY(!run::WatchExpr::parse(std::string(5000, '('), labels, &error));
        QVERIFY(!run::WatchExpr::parse(std::string(300, '(') + "1" + std::string(300, ')'), labels,
                                       &error));
        QVERIFY2(error.find("deeper") != std::string::npos, error.c_str());
        // Computed only when paused: a division by zero is said, and stops the run.
        const auto cond = run::WatchExpr::parse("1 / (hl)", labels, &error);
        QVERIFY(cond);
        p.m().setReg(run::Reg::HL, 0x9000);
        p.m().write(0x9000, 0);
        QVERIFY(!cond->value(p.m(), &error));
        QVERIFY(cond->holds(p.m()));
    }

    // The OS calls pane: each bcall by name, the registers its description
    // names as inputs before it and as outputs after it.
    void anOsCallIsLoggedWithItsInputsAndOutputs() {
        std::uint16_t putS = 0;
        for (const run::RomCall &c : run::romCalls())
            if (std::string(c.name) == "_PutS")
                putS = c.address;
        run::Program p;
        p.name = "T";
        // ld hl,9D9Fh \ bcall(_PutS) \ ret \ .db "HI",0
        p.code = {0x21, 0x9F, 0x9D, 0xEF, std::uint8_t(putS), std::uint8_t(putS >> 8), 0xC9,
                  0x00, 0x00, 0x00, 'H', 'I', 0};
        run::Session session(p);
        run::Debugger debugger(session, p.code.size());
        debugger.stepInto(1000000);
        debugger.stepInto(1000000);
        const auto calls = run::describeOsCalls(debugger.osCalls(), 10);
        QCOMPARE(calls.size(), std::size_t(1));
        const run::OsCallRecord &r = calls.front();
        QCOMPARE(r.name, std::string("_PutS"));
        QCOMPARE(r.from, std::uint16_t(0x9D98));
        QCOMPARE(r.inputs, std::string("HL=9D9F"));
        QCOMPARE(r.outputs, std::string("HL=9DA2"));
    }

    void aWatchShowsItsValueInTheFormatAsked() {
        Paused p;
        run::Machine &m = p.m();
        m.setA(0x2A);
        auto shown = [&](const char *text) {
            std::string error;
            const auto w = run::Watch::parse(text, labels, &error);
            return w ? w->show(m).text : "refused: " + error;
        };
        QCOMPARE(shown("a"), std::string("2Ah"));
        QCOMPARE(shown("a, dec"), std::string("42"));
        QCOMPARE(shown("a,bin"), std::string("00101010b"));
        QCOMPARE(shown("a*256+1,bin"), std::string("00101010 00000001b"));
        const char text[] = "HI,\x1A";
        for (int i = 0; i < 5; ++i)
            m.write(std::uint16_t(0x8000 + i), std::uint8_t(text[i]));
        QCOMPARE(shown("score, str"), std::string("\"HI,-\""));
        const run::TiFloat f = run::fromDouble(-12.5);
        for (int i = 0; i < 9; ++i)
            m.write(std::uint16_t(0x8000 + i), f[size_t(i)]);
        QCOMPARE(shown("score,real"), std::string("-12.5"));
        QCOMPARE(shown("a,oct").rfind("refused", 0), 0u);
        QCOMPARE(shown("a,0x3").rfind("refused", 0), 0u);
        QCOMPARE(shown("a,500x3").rfind("refused", 0), 0u);

        // A 10x2 sprite: rows of two bytes, the leftmost pixel the high bit.
        m.write(0x8100, 0x80);
        m.write(0x8101, 0x40);
        m.write(0x8102, 0x01);
        m.write(0x8103, 0xC0);
        std::string error;
        const auto w = run::Watch::parse("Sprite,10x2", labels, &error);
        QVERIFY2(w, error.c_str());
        const run::Watch::Shown s = w->show(m);
        QCOMPARE(s.width, 10);
        QCOMPARE(s.height, 2);
        const std::vector<std::uint8_t> expected = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                                    0, 0, 0, 0, 0, 0, 0, 1, 1, 1};
        QCOMPARE(s.dark, expected);
    }
};

QTEST_GUILESS_MAIN(WatchTest)
#include "run_watch_test.moc"
