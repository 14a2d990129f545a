// The assembler at its edges: each range and limit at the last value it
// accepts and the first it refuses, the smallest inputs a rule meets, and
// the message a missing file gives. A fault of one (a bound made strict, a
// count off by one) passes every ordinary program; these catch it.

#include "assembled.h"

#include "z80/preprocessor.h"

#include <QSignalSpy>
#include <QTest>

namespace {

Built source(const std::string &text) {
    return build({{"/p/main.asm", text}});
}

std::string repeated(const std::string &line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += line;
    return out;
}

} // namespace

class EdgesTest : public QObject {
    Q_OBJECT
private slots:
    // Brass's directives/asciimap.htm maps bytes: one line maps at most 256
    // characters (0 to 255 is the whole byte range), and a pass maps at most
    // 65,536 in all, so 256 such lines pass and the 257th is the error.
    void asciimapTakesTheWholeByteRangeAndNoMore() {
        QCOMPARE(source(" .org 0\n.asciimap 0, 255, {*}+1\n.asc \"A\"\n").hex, QByteArray("42"));
        QCOMPARE(source(" .org 0\n.asciimap 0, 256, {*}+1\n").messages,
                 QStringList{"main.asm:2: error: .asciimap maps at most 256 characters at once, "
                             "from the first to the last"});
        const std::string line = ".asciimap 0, 255, {*}\n";
        QCOMPARE(source(repeated(line, 256)).messages, QStringList());
        QCOMPARE(source(repeated(line, 257)).messages,
                 QStringList{"main.asm:257: error: .asciimap maps more than 65536 characters in "
                             "all (is it in a long loop?)"});
    }

    // The smallest file .incbin reads is one byte, and a loop whose step is
    // written out as 1 counts as the plain one does (only a step of 0,
    // which never ends, is refused).
    void theSmallestCasesOfIncbinAndFor() {
        QCOMPARE(
            build({{"/p/main.asm", " .org 0\n.incbin \"one.bin\"\n"}, {"/p/one.bin", "B"}}).hex,
            QByteArray("42"));
        QCOMPARE(build({{"/p/main.asm", " .org 0\n.incbin \"s.bin\"\n"},
                        {"/p/s.bin", "0123456789abcdefg"}})
                     .hex,
                 QByteArray("3031323334353637383961626364656667"));
        QCOMPARE(source(".for i, 1, 3, 1\n .db i\n.loop\n").hex, QByteArray("010203"));
        QCOMPARE(source(".for i, 1, 3, 0\n .db i\n.loop\n").messages,
                 QStringList{"main.asm:1: error: .for with a step of 0 never ends"});
    }

    // Brass's reusable labels in their shortest forms (syntax/reusable.htm):
    // in the first column without ':' before the statement they mark, and a
    // bookmark '@' right before its ':' or a blank; the statement is kept whole.
    void reusableLabelsInTheirShortestForms() {
        QCOMPARE(source(" .org 0\n-  ld a, 1\n jr {-}\n").hex, QByteArray("3e0118fc"));
        QCOMPARE(source(" .org 0\n@: nop\n jp {-1@}\n").hex, QByteArray("00c30000"));
        QCOMPARE(source(" .org 0\n@ nop\n jp {-1@}\n").hex, QByteArray("00c30000"));
    }

    // An indented " _" is an unknown instruction to the other dialects and
    // a label in Brass's (syntax/source.htm: the first item of a line is a
    // label when it cannot be assembled), which a ".if" after it shows: the
    // program is read as Brass's from its first line, so it is the "_"
    // label that one in the first column is. (The later passes met more "_"
    // labels than the first had recorded, which overran its list.)
    void aReusableLabelBeforeTheDialectIsShownIsOneAllAlong() {
        QCOMPARE(source(" _\n.if 1\n.endif\n jr -_\n").hex, QByteArray("18fe"));
        QCOMPARE(source("_\n.if 1\n.endif\n jr -_\n").hex, QByteArray("18fe"));
        QCOMPARE(source(" _\n jr -_\n").messages.value(0),
                 QString("main.asm:1: error: unknown instruction '_'"));
    }

    // Brass's names may hold '$' and '?' after their first letter
    // (syntax/labels.htm); each is one name, not a name and an operator.
    void aNameMayHoldDollarAndQuestionMarks() {
        QCOMPARE(source(" .org 0\nsize$ = 3\nready? = 4\n .db size$, ready?\n").hex,
                 QByteArray("0304"));
    }

    // A file of a bitmap header's 54 bytes is judged as a bitmap (this one
    // of no known form); one byte less is no bitmap, and no source either.
    void aBitmapStartsAtItsWholeHeader() {
        const std::string header = "BM" + std::string(52, '\0');
        QCOMPARE(build({{"/p/main.z80", "#include \"h.bmp\"\n"}, {"/p/h.bmp", header}}).messages,
                 QStringList{"main.z80:1: error: h.bmp is a compressed or unusual bitmap; save it "
                             "as an uncompressed Windows bitmap"});
        QCOMPARE(build({{"/p/main.z80", "#include \"h.bmp\"\n"}, {"/p/h.bmp", header.substr(1)}})
                     .messages,
                 QStringList{"main.z80:1: error: h.bmp is not a source file"});
    }

    // A program's "; defines:" comment among its first ten lines defines
    // its names, the first one right after the colon too; on the eleventh
    // line it is only a comment.
    void theDefinesCommentCountsOnItsFirstLines() {
        QCOMPARE(z80::definesComment("; defines: DEBUG LEVEL=2\n"),
                 (std::vector<std::pair<std::string, std::string>>{{"DEBUG", ""}, {"LEVEL", "2"}}));
        QCOMPARE(z80::definesComment(repeated("\n", 9) + ";defines:A\n"),
                 (std::vector<std::pair<std::string, std::string>>{{"A", ""}}));
        QVERIFY(z80::definesComment(repeated("\n", 10) + ";defines: A\n").empty());
    }

    // A fault in an #if names what the condition holds once defined() was
    // worked out: its value.
    void aConditionsFaultShowsWhatDefinedGave() {
        QCOMPARE(source("#if defined(X) defined(Y)\n nop\n#endif\n").messages,
                 QStringList{"main.asm:1: error: #if defined(X) defined(Y): unexpected '0'"});
    }

    // A file .incbin cannot read, or a colour written with too few parts,
    // is an error at its line, not bytes left out without a word.
    void whatCannotBeReadIsSaid() {
        QCOMPARE(
            build({{"/p/main.asm", " .org 0\n.incbin \"data\"\n"}, {"/p/data/x", ""}}).messages,
            QStringList{"main.asm:2: error: cannot read data: it is a folder"});
        QCOMPARE(
            build({{"/p/main.z80", ".option BM_MSK, BM_MSK_RGB=RGB(1,2)\n#include \"t.bmp\"\n"},
                   {"/p/t.bmp", "BM" + std::string(60, '\0')}})
                .messages,
            QStringList{"main.z80:2: error: __BM_MSK_RGB: RGB takes red, green and blue"});
    }

    // getc reads a byte of a file; a file that is not there is named in the
    // error, at the line that asked for it.
    void getcOfAMissingFileNamesIt() {
        QCOMPARE(source(" .org 0\n .db getc(\"none.bin\", 0)\n").messages.value(0),
                 QString("main.asm:2: error: getc cannot read none.bin: it is not found"));
    }
};

QTEST_GUILESS_MAIN(EdgesTest)
#include "kit_edges_test.moc"
