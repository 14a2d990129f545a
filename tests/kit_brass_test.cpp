// Brass's dialect, each rule as its manual states it (Brass 1's manual:
// syntax/reusable.htm, syntax/varlabels.htm, syntax/expressions.htm,
// syntax/modules.htm and the directives' pages), assembled in memory and
// compared with the bytes the manual's own examples give.

#include "assembled.h"

#include <QtTest>

namespace {

Built source(const std::string &text) {
    return build({{"/p/main.asm", text}});
}

} // namespace

class BrassTest : public QObject {
    Q_OBJECT
private slots:
    // directives/define.htm, ifdef.htm, if.htm, elseif.htm, else.htm,
    // endif.htm, include.htm ("double quotes are optional"), defcont.htm,
    // undef.htm, elseifdef.htm: every #directive also written with a dot.
    void theDirectivesOfThePreprocessorTakeADotToo() {
        const Built b = build({{"/p/main.asm", ".include defs.inc\n.define size_of_byte 8\n"
                                               ".define big(arg) ld a, arg\n.defcont \\ push af\n"
                                               " .org 0\n ld a, size_of_byte\n big(3)\nage = 19\n"
                                               ".if age > 300\n .db 1\n.elseif age < 18\n .db 2\n"
                                               "#elseif age < 21\n .db 3\n.else\n .db 4\n.endif\n"
                                               ".ifdef size_of_byte\n .db 5\n.endif\n"
                                               ".undef size_of_byte\n.ifndef size_of_byte\n"
                                               " .db 6\n.endif\n .db FROM_DEFS\n"
                                               ".ifdef nothing\n.elseifdef age\n.elseifndef "
                                               "FROM_DEFS\n .db 8\n.endif\n"},
                               {"/p/defs.inc", "FROM_DEFS = 7\n"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("3e083e03f50305060708"));
    }

    // syntax/reusable.htm, its examples: {+} the nearest "+" label ahead,
    // {-} the nearest "-" behind, "--" a family of its own; "@" labels by
    // their count ahead or behind; a "+" alone after a '\' (syntax/split.htm).
    void reusableLabelsAreFoundByTheirSignsAndLength() {
        QCOMPARE(source(" .org 0\n ld b, 10\n-:\n ld a, b\n call {+}\n djnz {-}\n+:\n"
                        " jr {+}\n+:\n jp {-}\n")
                     .hex,
                 QByteArray("060a78cd080010fa1800c30200"));
        QCOMPARE(source(" .org 0\n ld b, 20\n--:\n push bc\n ld b, 30\n-:\n nop\n djnz {-}\n"
                        " pop bc\n djnz {--}\n")
                     .hex,
                 QByteArray("0614c5061e0010fdc110f7"));
        QCOMPARE(source(" .org 0\n@\n@\n jp {@}\n jp {2@}\n jp {-1@}\n jp {-2@}\n@\n@\n").hex,
                 QByteArray("c30c00c30c00c30000c30000"));
        QCOMPARE(source(" .org 0\n bit 2,a \\ jr nz,{+} \\ inc (ix+0) \\ +\n nop\n").hex,
                 QByteArray("cb572003dd340000"));
        QCOMPARE(source(" .org 0\n jr {+}\n").messages,
                 QStringList{"main.asm:2: error: there is no reusable label '+:' ahead"});
    }

    // directives/repeat.htm, loop.htm, for.htm and syntax/varlabels.htm: a
    // block assembled again and again, a .for label in values and, in
    // braces, inside label names; loops nest.
    void loopsAssembleTheirLinesAgain() {
        const Built b =
            source(" .org 0\n.repeat 3\n .db $AA\n.loop\n.for i, 0, 7\n.db 1<<i\n.loop\n"
                   ".for y,0,1\n .for x,0,1\n  .db x+y*2\n .loop\n.loop\n"
                   ".for i, 1, 2\n_sprite_loop_{i}:\n nop\n djnz _sprite_loop_{i}\n"
                   ".loop\n jp _sprite_loop_2\nnum = 3\n_label_{num}:\n jr _label_3\n"
                   ".rept 2\n halt\n.loop\n.for k, 4, 0, -2\n .db k\n.loop\n"
                   "sk1 = 7\nsk2 = 9\n.for kn, 1, 2 \\ .db sk{kn} \\ .loop\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("aaaaaa0102040810204080000102030010fd0010fdc31200"
                                   "18fe7676040200"
                                   "0709"));
    }

    // A loop's count is bounded, its .loop required.
    void aLoopWithoutAnEndOrWithAHugeCountIsNamed() {
        QCOMPARE(source(".repeat 2\n nop\n").messages,
                 QStringList{"main.asm:1: error: the loop has no .loop after it"});
        QCOMPARE(source(".for i, 0, 300\n.asciimap 0, 255, {*}+i\n.loop\n").messages,
                 QStringList{"main.asm:2: error: .asciimap maps more than 65536 characters in "
                             "all (is it in a long loop?)"});
        QCOMPARE(source(".repeat 1000000\n nop\n.loop\n").messages,
                 QStringList{"main.asm:1: error: .repeat would run 1000000 times; at most 65536 "
                             "are allowed"});
        QCOMPARE(source(".for i, 0, 9, 0\n.loop\n.loop\n").messages,
                 (QStringList{"main.asm:1: error: .for with a step of 0 never ends",
                              "main.asm:3: error: .loop without a .repeat or .for before it"}));
    }

    // directives/deflong.htm, its 8-bit multiplication: a macro of many
    // lines, with reusable labels and a .repeat inside.
    void deflongDefinesAMacroOfManyLines() {
        const Built b = source(".deflong multiply_8()\n    sla h\n    jr nc,{+}\n    ld l,e\n+\n"
                               "    .repeat 7\n        add hl,hl\n        jr nc,{+}\n"
                               "        add hl,de\n    +\n    .loop\n    ret\n.enddeflong\n"
                               " .org 0\n multiply_8()\n");
        QCOMPARE(b.messages, QStringList());
        QByteArray expected = "cb2430016b";
        for (int k = 0; k < 7; ++k)
            expected += "29300119";
        QCOMPARE(b.hex, expected + "c9");
    }

    // directives/varloc.htm, both examples: the largest variable first,
    // each into the area with the most room left; functions/sizeof.htm.
    void variablesArePlacedIntoTheirAreas() {
        QCOMPARE(source(".define safe_ram $CED5\n.varloc safe_ram, 128\n.var byte, me_x\n"
                        ".var byte, me_y\n.var word, me_dx\n.var word, me_dy\n.var byte, me_s\n"
                        " .org 0\n .dw me_x, me_y, me_dx, me_dy, me_s\n")
                     .hex,
                 QByteArray("d9cedaced5ced7cedbce"));
        QCOMPARE(source(".varloc $CED5, 128\n.varloc $F000, 256\n.var 2, word_test\n"
                        ".var 204, big_area\n.var 100, other_big\n.var byte[3], three\n"
                        " .org 0\n .dw word_test, big_area, other_big, three\n"
                        " .db sizeof(big_area), sizeof(three), sizeof(word)\n")
                     .hex,
                 QByteArray("cff000f0d5ceccf0"
                            "cc0302"));
        QCOMPARE(source(".varloc $8000, 2\n.var 3, big\n .dw big\n").messages,
                 QStringList{"main.asm:2: error: the .varloc areas have no room left for 'big' "
                             "(3 bytes)"});
        QCOMPARE(source(".var 3, big\n").messages,
                 QStringList{"main.asm:1: error: 'big' needs a place: no .varloc gives the "
                             "variables an area"});
    }

    // syntax/modules.htm, its example: with .nestmodules a module nests in
    // another, a path is read from the module a statement is in, then from
    // the top; .local puts every label into its module, .global shares one.
    void nestedModulesReachTheirLabelsByPath() {
        const Built b = source(".nestmodules\n.local\n .org 0\n.module Animals\n .module Cat\n"
                               "  Legs = 4\n .endmodule\n .db Human.Legs\n .module Human\n"
                               "  Legs = 2\n  .module Brother\n   Age = 17\n"
                               "   .db Animals.Human.Sister.Age\n  .endmodule\n  .module Sister\n"
                               "   Age = 21\n   .global\n    Arms = 2\n   .endglobal\n"
                               "  .endmodule\n .endmodule\n .module Spider\n  Legs = 8\n"
                               "  .db Legs\n .endmodule\n.endmodule\n"
                               ".db Animals.Cat.Legs, Animals.Human.Brother.Age, Arms\n"
                               "Legs = 1\n.db Legs\n.endlocal\nLegs = 3\n.db Legs\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("021508"
                                   "041102"
                                   "0103"));
    }

    // syntax/expressions.htm: "1+2*3+4*5 ... Brass would calculate it as
    // 27". A program in Brass's dialect (here by its .binarymode) is read in
    // Brass's operator order throughout, before that line too; one without
    // Brass's forms keeps the classic left-to-right order.
    void aBrassProgramComputesInBrassOrder() {
        QCOMPARE(source(" .org 0\n .db 1+2*3+4*5, 1+2<<1, 8-2-1\n.binarymode ti8x\n").hex,
                 QByteArray("1b0605"));
        QCOMPARE(source(" .org 0\n .db 1+2*3+4*5\n").hex, QByteArray("41"));
    }

    // Names with '$', '?' or a digit first; .echoln; .fill's FFh;
    // .endasm ... .asm; .fail; .local ... .endlocal (syntax/modules.htm);
    // indented equates (syntax/source.htm: a first item that cannot be
    // assembled is a label); environment values (syntax/environment.htm).
    void namesCommentsAndMessagesAsBrassWritesThem() {
        const Built b =
            source(".binarymode ti8x\n .org 0\n jp done?\n ld a,8klisp_def\nfrac$ = 4\n"
                   " .db frac$\ndone?: .fill 2\n .fill 1, 0\n.endasm\nnot assembled\n.asm\n"
                   "8klisp_def = 9\n.module A\n.local\ncount = 1\n.endlocal\nshared = 3\n"
                   ".endmodule\n.module B\n.local\ncount = 2\n.endlocal\n.endmodule\n"
                   " .db A.count, B.count, shared\n.echoln \"x=\", 3\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("c306003e0904ffff00010203"));
        qputenv("QUORVIN_BRASS_TEST_LEVEL", "4");
        QCOMPARE(source(" .org 0\n\tNone\t= 1\n    Shell .equ [%QUORVIN_BRASS_TEST_LEVEL%]\n"
                        " .db None, Shell\n .db \"[%$QUORVIN_BRASS_TEST_LEVEL$%]\"\n")
                     .hex,
                 QByteArray("010434"));
        // directives/asciimap.htm: the characters .asc writes, mapped.
        QCOMPARE(source(" .org 0\n.asciimap 'a', 'z', {*}+('A'-'a')\n.asciimap ' ', '_'\n"
                        ".asciimap '\xe2\x88\xab', $08\n.asc \"ab c\xe2\x88\xab\", 1\n.db \"a\"\n")
                     .hex,
                 QByteArray("41425f43080161"));
        // directives/incbin.htm: a file's bytes as they are, its size, a part.
        QCOMPARE(build({{"/p/main.asm", " .org 0\n.incbin \"hello.txt\"\n"
                                        "#incbin \"hello.txt\", start=1, end=total-2, total=size\n"
                                        " .db total\n"},
                        {"/p/hello.txt", "[hi]"}})
                     .hex,
                 QByteArray("5b68695d"
                            "6869"
                            "04"));
        // directives/inclabels.htm: the labels of a file Brass wrote.
        QCOMPARE(
            build(
                {{"/p/main.asm", ".inclabels \"inc\\calc.lbl\"\n .org 0\n .dw XMINt, rBR_CALL\n"},
                 {"/p/inc/calc.lbl", std::string("\x05XMINt\x0a\0\0\0\x08rBR_CALL\x28\0\0\0", 23)}})
                .hex,
            QByteArray("0a002800"));
        QCOMPARE(source(".if 1\n.fail \"only for page \", 3, \"!\"\n.endif\n").messages,
                 QStringList{"main.asm:2: error: only for page 3!"});
    }
};

QTEST_GUILESS_MAIN(BrassTest)
#include "kit_brass_test.moc"
