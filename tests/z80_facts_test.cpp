// The hover's facts of an instruction: size, T-states (both counts where a
// condition decides) and flags, against Zilog's Z80 CPU User Manual (UM0080),
// whose instruction pages give each "T States" line and flag table.

#include "z80/instructionfacts.h"

#include <QSignalSpy>
#include <QTest>

class FactsTest : public QObject {
    Q_OBJECT
private slots:
    void factsFollowTheManual_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("tstates");
        QTest::addColumn<int>("other");
        QTest::addColumn<QString>("flags");
        auto row = [](const char *line, int bytes, int t, int other, const char *flags) {
            QTest::newRow(line) << QString(line) << bytes << t << other << QString(flags);
        };
        row("\tnop", 1, 4, 0, "- - - - - -");
        row("\tld a,b", 1, 4, 0, "- - - - - -");
        row("\tld a,(hl)", 1, 7, 0, "- - - - - -");
        row("\tld a,(ix+5)", 3, 19, 0, "- - - - - -");
        row("\tld (iy-2),7", 4, 19, 0, "- - - - - -");
        row("\tld hl,(counter)", 3, 16, 0, "- - - - - -");
        row("\tld ix,(counter)", 4, 20, 0, "- - - - - -");
        row("\tld a,i", 2, 9, 0, "* * 0 IFF2 0 -");
        row("\tadd a,(ix+1)", 3, 19, 0, "* * * V 0 *");
        row("\tadd hl,de", 1, 11, 0, "- - * - 0 *");
        row("\tadd ix,bc", 2, 15, 0, "- - * - 0 *");
        row("\tsbc hl,de", 2, 15, 0, "* * * V 1 *");
        row("\tinc (hl)", 1, 11, 0, "* * * V 0 -");
        row("\tinc (ix+3)", 3, 23, 0, "* * * V 0 -");
        row("\tinc bc", 1, 6, 0, "- - - - - -");
        row("\tand 0Fh", 2, 7, 0, "* * 1 P 0 0");
        row("\txor a", 1, 4, 0, "* * 0 P 0 0");
        row("\tcp (hl)", 1, 7, 0, "* * * V 1 *");
        row("\tdjnz loop", 2, 13, 8, "- - - - - -");
        row("\tjr nz,loop", 2, 12, 7, "- - - - - -");
        row("\tjr loop", 2, 12, 0, "- - - - - -");
        row("\tjp z,loop", 3, 10, 0, "- - - - - -");
        row("\tjp (ix)", 2, 8, 0, "- - - - - -");
        row("\tcall nc,loop", 3, 17, 10, "- - - - - -");
        row("\tcall loop", 3, 17, 0, "- - - - - -");
        row("\tret c", 1, 11, 5, "- - - - - -");
        row("\tret", 1, 10, 0, "- - - - - -");
        row("\trst 28h", 1, 11, 0, "- - - - - -");
        row("\tpush ix", 2, 15, 0, "- - - - - -");
        row("\tex (sp),hl", 1, 19, 0, "- - - - - -");
        row("\trlca", 1, 4, 0, "- - 0 - 0 *");
        row("\trl c", 2, 8, 0, "* * 0 P 0 *");
        row("\tsrl (hl)", 2, 15, 0, "* * 0 P 0 *");
        row("\tbit 7,(hl)", 2, 12, 0, "? * 1 ? 0 -");
        row("\tbit 0,(iy+4)", 4, 20, 0, "? * 1 ? 0 -");
        row("\tset 1,(ix+0)", 4, 23, 0, "- - - - - -");
        row("\tldir", 2, 21, 16, "- - 0 * 0 -");
        row("\tldi", 2, 16, 0, "- - 0 * 0 -");
        row("\tcpir", 2, 21, 16, "* * * * 1 -");
        row("\tin a,(1)", 2, 11, 0, "- - - - - -");
        row("\tin b,(c)", 2, 12, 0, "* * 0 P 0 -");
        row("\tout (1),a", 2, 11, 0, "- - - - - -");
        row("\tneg", 2, 8, 0, "* * * V 1 *");
        row("\tim 1", 2, 8, 0, "- - - - - -");
        row("\trld", 2, 18, 0, "* * 0 P 0 -");
        row("\tdaa", 1, 4, 0, "* * * P - *");
        row("\tex af,af'", 1, 4, 0, "all, swapped with F'");
        row("\tpop af", 1, 10, 0, "all, from the stack");
        row("\tld ixh,b", 2, 8, 0, "- - - - - -"); // undocumented: as ld h,b with a prefix
    }
    void factsFollowTheManual() {
        QFETCH(QString, line);
        QFETCH(int, bytes);
        QFETCH(int, tstates);
        QFETCH(int, other);
        QFETCH(QString, flags);
        const std::string text = line.toStdString();
        const auto facts = z80::instructionFacts(text, 2);
        QVERIFY(facts);
        QCOMPARE(facts->bytes, bytes);
        QCOMPARE(facts->tstates, tstates);
        QCOMPARE(facts->tstatesOther, other);
        QCOMPARE(QString::fromStdString(facts->flags), flags);
    }

    // A label, a directive, a form the instruction has not, or a comment: no facts.
    void onlyInstructionsHaveFacts() {
        QVERIFY(!z80::instructionFacts("loop: ld a,1", 2));
        QVERIFY(!z80::instructionFacts("\t.db 1,2", 2));
        QVERIFY(!z80::instructionFacts("\tld (bc),b", 2));
        QVERIFY(!z80::instructionFacts("\t; ld a,1", 4));
        const auto second = z80::instructionFacts("\tld a,1 \\ ret", 11);
        QVERIFY(second);
        QCOMPARE(second->statement, std::string("ret"));
        QCOMPARE(z80::describe(*z80::instructionFacts("\tjr nz,loop", 1)),
                 std::string("jr nz,loop: 2 bytes, 12 T-states when it jumps or repeats, 7 when "
                             "not\nflags S Z H P/V N C: - - - - - -"));
    }
};

QTEST_MAIN(FactsTest)
#include "z80_facts_test.moc"
