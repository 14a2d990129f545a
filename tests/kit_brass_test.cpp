// Brass's dialect, each rule as its manual states it (Brass 1's manual:
// syntax/reusable.htm, syntax/varlabels.htm, syntax/expressions.htm,
// syntax/modules.htm and the directives' pages), assembled in memory and
// compared with the bytes the manual's own examples give.

#include "assembled.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <map>

namespace {

Built source(const std::string &text) {
    return build({{"/p/main.asm", text}});
}

// Files in memory, counting how often each is read; reading `cancelAt`
// cancels the build, as the editor does when the text changes.
struct CountingReader : z80::MemoryReader {
    std::map<std::string, int> reads;
    std::string cancelAt;
    std::atomic<bool> cancel{false};
    z80::ReadResult read(const std::string &path) override {
        ++reads[path];
        if (path == cancelAt)
            cancel = true;
        return MemoryReader::read(path);
    }
};

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

    // A program is Brass's from its first line, whatever line shows it:
    // Brass reads every line in its own way (syntax/expressions.htm: 2+3*4
    // is 14; syntax/source.htm: a first item that cannot be assembled is a
    // label; directives/define.htm: a macro keeps a definition for each
    // number of arguments). Lines read before the first form only Brass
    // reads are read again, the source once more, and each message is said
    // once, at its own file, line and column.
    void aBrassProgramIsBrassFromItsFirstLine() {
        // The #if sees size as 14, not 20; the "-:" label shows the dialect.
        QCOMPARE(source(" .org 0\nsize = 2+3*4\n#if size > 14\n .db 1\n#else\n .db 2\n#endif\n"
                        " .db size\n-: djnz {-}\n")
                     .hex,
                 QByteArray("020e10fe"));
        QCOMPARE(source(" .org 0\n#define f(a) .db a*2\n#define f(a,b) .db a\n f(1)\n f(3,4)\n"
                        ".binarymode ti8x\n")
                     .hex,
                 QByteArray("0203"));
        QCOMPARE(source(" .org 0\n    Text\n .db 1\n .dw Text\n.binarymode ti8x\n").hex,
                 QByteArray("010000"));
        // ":here", the page of a label (an error to the other dialects).
        const Built page = source(" .org 0\n .db :here\nhere:\n.binarymode ti8x\n");
        QCOMPARE(page.messages, QStringList());
        QCOMPARE(page.hex, QByteArray("00"));

        // An error of its own before the first Brass form, in the main file
        // or in an include that the form comes after.
        CountingReader reader;
        reader.files["/p/main.asm"] = " .org 0\n#include \"a.inc\"\n nop\n jr {+}\n+:\n";
        reader.files["/p/a.inc"] = "\n  ld a, (2 + 3 ; unclosed\n";
        const z80::Assembly a = z80::assemble("/p/main.asm", reader, {});
        QCOMPARE(a.errors.size(), size_t(1));
        QCOMPARE(a.errors[0].file, std::string("a.inc"));
        QCOMPARE(a.errors[0].line, 2);
        QCOMPARE(a.errors[0].column, 8);
        QCOMPARE(reader.reads["/p/main.asm"], 2); // read again, once
    }

    // The source is read again only when what the first pass kept of a
    // line read before the first Brass form differs in Brass (not the bytes,
    // which the later passes compute again), once at most; and each reading
    // has the build's whole budget, cancel stopping it as before.
    void onlyAProgramReadOtherwiseIsReadAgain() {
        const auto reads = [](const std::string &text, z80::Options options = {}) {
            CountingReader reader;
            reader.files["/p/main.asm"] = text;
            reader.files["/p/c.inc"] = "";
            reader.cancelAt = "/p/c.inc";
            options.cancel = &reader.cancel;
            z80::assemble("/p/main.asm", reader, options);
            return reader.reads["/p/main.asm"];
        };
        // Classic programs, with an error or an expression Brass groups otherwise.
        QCOMPARE(reads(" .org 0\n .db 2+3*4\n ld a, (\n"), 1);
        // Brass's, its lines before the first Brass form read alike.
        QCOMPARE(reads("#define BIG 2*3+4\nx .equ 7\n .org 0\n .db x*2, BIG\n"
                       "-: djnz {-}\n"),
                 1);
        // A value the later passes compute again, in Brass's order.
        QCOMPARE(reads(" .org 0\n .db 2+3*4\n-:\n"), 1);
        QCOMPARE(source(" .org 0\n .db 2+3*4\n-:\n").hex, QByteArray("0e"));
        // Read otherwise, a value that stands as the first pass gave it (an
        // #if's, an address, a variable's size), an error: once more, even
        // when the second reading fails too.
        QCOMPARE(reads(" .org 2+3*4\n#if $ > 14\n#endif\n-:\n"), 2);
        QCOMPARE(reads("size = 2+3*4\n.varloc $8000, 100\n.var size, a\n.var 1, b\n"), 2);
        QCOMPARE(source("size = 2+3*4\n.varloc $8000, 100\n.var size, a\n.var 1, b\n .dw b\n").hex,
                 QByteArray("0e80"));
        QCOMPARE(reads(" ld a, (\n.binarymode ti8x\n ld b, (\n"), 2);

        const std::string fourLines = " _\n.if 1\n.endif\n jr -_\n";
        z80::Options options;
        options.limits.lines = 4;
        QCOMPARE(reads(fourLines, options), 2);
        QCOMPARE(build({{"/p/main.asm", fourLines}}, options).hex, QByteArray("18fe"));
        options.limits.lines = 3; // the first reading meets the limit: it stands
        QCOMPARE(reads(fourLines, options), 1);
        // Cancelled while it is read: no second reading.
        QCOMPARE(reads(" _\n.if 1\n.endif\n#include \"c.inc\"\n jr -_\n"), 1);
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

    // directives/struct.htm, both examples, and enum.htm, both examples:
    // a structure's members are labels below each variable of its type; an
    // enumeration's items without a value take the lowest one left.
    void structuresAndEnumerationsNameTheirMembers() {
        const Built b =
            source(".varloc $8000, 16\n.struct Point2D\n .var db, X\n .var db, Y\n.endstruct\n"
                   ".struct Point3D\n .var Point2D, P\n .var db, Z\n.endstruct\n.var Point2D, Me\n"
                   ".var Point3D, You\n .org 0\n ld (Me.X),a\n ld (Me.Y),a\n ld (Me),hl\n"
                   " ld a,(You.P.X)\n ld a,(You.Z)\n .db sizeof(Point3D)\n"
                   ".enum Name, Tom, Dick, Harry\n.enum Number, One = 1, Two = 2, FourtyNine = 49\n"
                   ".enum Mixed, A = 1, B, C = 0, D\n"
                   " .db Name.Tom, Name.Dick, Name.Harry, Number.FourtyNine, Mixed.B, Mixed.D\n");
        QCOMPARE(b.messages, QStringList());
        // You (3 bytes) is placed first, at 8000h; Me after it.
        QCOMPARE(b.hex, QByteArray("320380"
                                   "320480"
                                   "220380"
                                   "3a0080"
                                   "3a0280"
                                   "03"
                                   "00010231"
                                   "0203"));
        QCOMPARE(source(".struct Node\n .var word, Value\n .var Node, Next\n.endstruct\n").messages,
                 QStringList{"main.asm:3: error: the structure 'Next' cannot hold itself: its "
                             "size would have no end"});
        // A structure makes at most 4,096 labels, its variables 65,536 in all.
        std::string wide = ".struct Wide\n",
                    many = ".varloc 0, 65536\n.varloc 0, 65536\n.struct S\n";
        for (int k = 0; k < 4097; ++k)
            wide += ".var byte, m" + std::to_string(k) + "\n";
        for (int k = 0; k < 4000; ++k)
            many += ".var byte, m" + std::to_string(k) + "\n";
        many += ".endstruct\n";
        for (int k = 0; k < 17; ++k)
            many += ".var S, v" + std::to_string(k) + "\n";
        QCOMPARE(
            source(wide).messages,
            QStringList{"main.asm:4098: error: the structure 'wide' has more than 4096 labels"});
        QCOMPARE(source(many).messages,
                 QStringList{"main.asm:4021: error: the structures' variables make more than 65536 "
                             "labels"});
        QCOMPARE(source(".varloc 0, 10\n.var byte[100000], huge\n").messages,
                 QStringList{"main.asm:2: error: .var 'huge' would be 100000 bytes; a variable "
                             "is 0 to 65536"});
    }

    // directives/using.htm, its example: a module reaches the local labels
    // of the modules it uses, its own first, then in the order of .using.
    void aModuleUsesAnotherModulesLabels() {
        const Built b = source(" .org 0\n.module Main\n_label = 1\n.endmodule\n.module Test2\n"
                               ".using Main\n ld a,_label\n.endmodule\n.module Test3\n.using Main\n"
                               " ld a,_label\n_label = 2\n.endmodule\n.module Test4\n.using Test3\n"
                               ".using Main\n ld a,_label\n.endmodule\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("3e013e023e02"));
        QCOMPARE(source(" .org 0\n.module Test1\n ld a,_label\n.endmodule\n.module Main\n"
                        "_label = 1\n.endmodule\n")
                     .messages,
                 QStringList{"main.asm:3: error: '_label' is undefined"});
    }

    // syntax/expressions.htm and constants.htm: values in double precision,
    // casts that cut toward zero and wrap (its .echoln examples), fixed point, the
    // ternary operator; directives/dvar.htm: TI's floating point.
    void valuesWithAFractionAndCastsAsBrassComputesThem() {
        const Built b = source(
            ".binarymode ti8x\n .org 0\n.echoln -1634.3\n.echoln word(-1634.3)\n"
            ".echoln uword(-1634.3)\n.echoln byte(-1634.3)\n.echoln fp8.8(2.00), \" \", "
            "fp8.8(0.25), \" \", fp4.4(1.40)\nhalf = 2.5\n .db half*2, half, 0?(32+4):5, "
            "1?(32+4):5, byte(2.7), byte(-2.7)\n.dvar tifloat, -76.054824\n.dvar fp8.8, 1.5, -1\n"
            ".varloc $9000, 600\n.var fp8.8[256], TrigTable\n .dw sizeof(TrigTable)\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("05020524"
                                   "02fe"
                                   "808176054824000000"
                                   "8001"
                                   "00ff"
                                   "0002"));
        z80::MemoryReader reader;
        reader.files["/p/main.asm"] = ".echoln -1634.3, \" \", word(-1634.3), \" \", "
                                      "uword(-1634.3), \" \", byte(-1634.3)\n";
        const z80::Assembly a = z80::assemble("/p/main.asm", reader, {});
        QCOMPARE(a.echoes, std::vector<std::string>{"-1634.3 -1634 63902 -98"});
    }

    // directives/define.htm, its sqrt and display_in_base examples: one
    // macro name, several definitions, the call chooses by its arguments.
    void aMacroIsChosenByItsArguments() {
        const Built b =
            source(".define ld_a(var) ld a,var\n.define ld_a({0}) xor a\n.define ld_a({a})\n"
                   ".define sqrt(var) ld_a(var)\\ call sqr_root\n .org 0\n sqrt(43)\n sqrt(0)\n"
                   " sqrt(a)\n.define show(var, base) ld a,var\\ ld b,base\\ call sqr_root\n"
                   ".define show(var) ld a,var\\ ld b,10\\ call sqr_root\n show(43,2)\n show(124)\n"
                   "sqr_root:\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("3e2bcd1a00"
                                   "afcd1a00"
                                   "cd1a00"
                                   "3e2b0602cd1a00"
                                   "3e7c060acd1a00"));
        // Each call looks at every signature: a name has at most 256.
        std::string many = ".binarymode ti8x\n";
        std::string parameters = "a";
        for (int k = 0; k <= 256; ++k, parameters += ",a" + std::to_string(k))
            many += ".define f(" + parameters + ") nop\n";
        QCOMPARE(source(many).messages,
                 QStringList{"main.asm:258: error: #define f has more than 256 definitions with "
                             "different arguments"});
    }

    // directives/chk.htm ("a value of 59 with Brass"), dbsin.htm,
    // dbrnd.htm, relocate.htm: data the assembler computes.
    void checksumsTablesAndRelocatedCode() {
        const Built b = source(".binarymode ti8x\n .org 0\n_label:\n .db 1\n .db 4\n .db 54\n"
                               " .chk _label\n.dbsin 4, 127, 0, 3, 1, 0\n"
                               ".dwcos 4, 100, 0, 2, 1, 0\nram = $C000\ncode:\n.relocate ram\n"
                               " ld a,10\nloop:\n jp loop\n jr loop\n .dw $\n.endrelocate\n"
                               "code_end:\n .dw code, code_end\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("0104363b"
                                   "007f0081"
                                   "640000009cff"
                                   "3e0ac302c018fb07c0"
                                   "0e001700"));
        const Built random = source(" .org 0\n.dbrnd 200, 'A', 'Z'\n");
        QCOMPARE(random.hex.size(), 400);
        for (int k = 0; k < random.hex.size(); k += 2) {
            const int v = random.hex.mid(k, 2).toInt(nullptr, 16);
            QVERIFY(v >= 'A' && v < 'Z');
        }
        QCOMPARE(random.hex, source(" .org 0\n.dbrnd 200, 'A', 'Z'\n").hex);
        QCOMPARE(source(".dbsin 256, 127, 0, 100000000, 1, 0\n").messages,
                 QStringList{"main.asm:1: error: .dbsin: the circle and step are not 0, the step "
                             "goes from the first angle to the last, in at most 65536 steps"});
    }

    // directives/incbmp.htm and rlemode.htm (its FILE.BIN example): a
    // picture as bytes, runs written as indicator, value and count.
    void picturesAndRunsOfBytes() {
        // A 10x2 bitmap: the top row alternates black and white, the bottom is black.
        const int w = 10, h = 2, stride = 32;
        QByteArray bmp = "BM";
        auto u32 = [&](quint32 v) {
            for (int k = 0; k < 4; ++k)
                bmp += char(v >> (8 * k));
        };
        auto u16 = [&](quint16 v) { bmp += char(v), bmp += char(v >> 8); };
        u32(54 + stride * h), u32(0), u32(54), u32(40), u32(w), u32(h), u16(1), u16(24);
        for (int k = 0; k < 6; ++k)
            u32(0);
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x)
                bmp += QByteArray(3, char(y == 0 && x % 2 ? 255 : 0));
            bmp += QByteArray(stride - 3 * w, 0);
        }
        const Built b = build({{"/p/main.asm", " .org 0\n.incbmp \"p.bmp\"\n"
                                               ".incbmp \"p.bmp\", width = 16, height = 3\n"
                                               ".incbin \"f.bin\", rle\n.rlemode $F0, 0\n"
                                               ".incbin \"f.bin\", rle\n"},
                               {"/p/p.bmp", bmp.toStdString()},
                               {"/p/f.bin", "ABCDDDDDEFG"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("aa80ffc0"
                                   "aa80ffc0ffc0"
                                   "41424391440545464"
                                   "7"
                                   "414243f00544454647"));
        // The same picture as a GIF (incbmp.htm: "BMP, PNG, GIF, JPEG..."),
        // its two colours' codes packed with LZW.
        const QByteArray gif = QByteArray::fromHex(
            "4749463839610a000200f00100000000ffffff21f904000000000021ff0b496d6167654d616769636b0e"
            "67616d6d613d302e343534353435002c000000000a000200000206448c77c0dd05003b");
        QCOMPARE(build({{"/p/main.asm", " .org 0\n.incbmp \"p.gif\"\n"},
                        {"/p/p.gif", gif.toStdString()}})
                     .hex,
                 QByteArray("aa80ffc0"));
        QCOMPARE(build({{"/p/main.asm", ".incbmp \"p.gif\"\n"},
                        {"/p/p.gif", gif.left(gif.size() - 8).toStdString()}})
                     .messages,
                 QStringList{"main.asm:1: error: p.gif holds a picture that is not whole"});
    }

    // directives/fread.htm and fseek.htm, their two examples (a file
    // without its e's, then reversed); binaryfill.htm: the bytes .block
    // skips; syntax/constants.htm: @ for octal, d for decimal.
    void filesReadIntoLabelsAndTheEmptyFill() {
        const Built b = build(
            {{"/p/main.asm", " .org 0\n.fopen fhnd, \"hello.txt\"\n.fsize fhnd, hello_size\n"
                             ".for i, 1, hello_size\n .fread fhnd, chr\n"
                             " .if chr!='e' && chr!='E'\n  .db chr\n .endif\n.loop\n"
                             ".for i, hello_size - 1, 0, -1\n .fseek fhnd, i\n .fpeek fhnd, chr\n"
                             " .db chr\n.loop\n.fpos fhnd, p\n .db p\n.freadw fhnd, w\n .dw w\n"
                             ".fclose fhnd\n .block 1\n.emptyfill 0\n .block 1\n .db @023, 45d\n"},
             {"/p/hello.txt", "hEllo"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("686c6c6f"
                                   "6f6c6c4568"
                                   "00"
                                   "6845"
                                   "ff00"
                                   "132d"));
        // directives/org.htm: the binary spans every address written, so an
        // .org forward between bytes leaves the empty fill; one after the
        // last byte leaves nothing.
        QCOMPARE(source(".binarymode ti8x\n .org 0\n .db 1\n .org 4\n .db 2\n .org $10\n"
                        "var: .block 2\n .dw var\n .org $F000\n")
                     .hex,
                 QByteArray("01ffffff02") + QByteArray("ff").repeated(0x10 - 5 + 2) + "1000");
        QCOMPARE(build({{"/p/main.asm", ".fopen f, \"x.bin\"\n.fseek f, 1\n.freadw f, w\n"},
                        {"/p/x.bin", "ab"}})
                     .messages,
                 QStringList{"main.asm:3: error: .freadw reads past the end of the file (at 1 "
                             "of 2 bytes)"});
    }

    // syntax/constants.htm and Brass's reading of a value: a word no label
    // has is a number when it is one (ffh), "$KEY" is a name, a string of a
    // few characters is their codes from the lowest byte up.
    void wordsAndStringsBrassReadsAsNumbers() {
        const Built b = source(".binarymode ti8x\n .org 0\n ld a,ffh\n ld hl,\"K8\"\n"
                               " call $KEY\n$KEY:\n ret\nC6h = 1\n .db C6h\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("3eff"
                                   "214b38"
                                   "cd0800"
                                   "c9"
                                   "01"));
        QCOMPARE(source(" .org 0\n ld a,ffh\n").messages,
                 QStringList{"main.asm:2: error: 'ffh' is undefined"});
    }

    // Brass's Labels.cs reading of paths and syntax/source.htm: "Parent."
    // is the module above, ".using Parent" reaches its labels, also in an
    // .if; an indented word that is no instruction is a label, "+" too
    // before an instruction; an .if joined with '\' to its include.
    void libraryModulesReachTheirParentsLabels() {
        const Built b =
            build({{"/p/main.asm",
                    ".nestmodules\n.local\n .org 0\n.module Lib\n.module Config\n Fast = 1\n"
                    ".endmodule\n.module Dev\n"
                    ".using Parent\n.if Config.Fast \\ .include \"fast.inc\" \\ .endif\n"
                    " ld a,Parent.Config.Fast\n ld a,Config.Fast\n jr nz,{+}\n Run\n"
                    "\t+\tld a,2\n jp Run\n.endmodule\n.endmodule\n"},
                   {"/p/fast.inc", " .db 9\n"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("09"
                                   "3e01"
                                   "3e01"
                                   "2000"
                                   "3e02"
                                   "c30700"));
    }

    // directives/locallabelchar.htm: another character starts a module's
    // own names, so "_loop" of two modules is one shared name and "lloop"
    // is each module's own; more than one character leaves it as it was.
    void theLocalLabelCharacterChoosesWhichNamesAModuleKeeps() {
        const Built b = source(" .org 0\n.locallabelchar \"l\"\n.module A\nlloop: nop\n"
                               "_shared: jr lloop\n.module B\nlloop: jr lloop\n"
                               ".module noname\n jp A.lloop\n jp _shared\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("00"
                                   "18fd"
                                   "18fe"
                                   "c30000"
                                   "c30100"));
        QCOMPARE(source(".module A\n_x: nop\n.module B\n_x: nop\n.locallabelchar ab\n").messages,
                 QStringList{"main.asm:5: warning: 'ab' is not one character: the local label "
                             "character stays '_'"});
    }

    // syntax/constants.htm's escapes: \b backspace and \f form feed in a
    // Brass program (here known by its .asc), letters in any other.
    void brassEscapesAreItsControlCharacters() {
        QCOMPARE(source(" .org 0\n .asc \"\\b\\f\"\n .db \"a\\bc\\f\", '\\b', \"\\B\"\n").hex,
                 QByteArray("080c"
                            "6108630c"
                            "08"
                            "42"));
        QCOMPARE(source(" .org 0\n .db \"\\b\\f\"\n").hex, QByteArray("6266"));
    }

    // directives/incbin.htm: "rule=" gives each byte through an expression
    // in which {*} is the byte, cut to a byte, and $ the address the
    // binary starts at; its rot13 example.
    void anIncludedBinaryPassesThroughItsRule() {
        const Built b = build(
            {{"/p/main.asm", " .org 0\n.incbin \"t.txt\", rule={*}+1\n"
                             ".incbin \"t.txt\", start=1, rule=({*}>='a'&&{*}<='z')?(({*}-'a')+13)"
                             "%26+'a':(({*}>='A'&&{*}<='Z')?(({*}-'A')+13)%26+'A':{*})\n"
                             ".incbin \"t.txt\", rule={*}*256+$FF\n"
                             ".incbin \"t.txt\", end=1, rule={*}-$\n"},
             {"/p/t.txt", "Hz!\xff"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("497b2200"
                                   "6d21ff"
                                   "ffffffff"
                                   "3d6f"));
        QCOMPARE(
            build({{"/p/main.asm", ".incbin \"t.txt\", rule={*}/0\n"}, {"/p/t.txt", "a"}}).messages,
            QStringList{"main.asm:1: error: .incbin's rule: division by zero"});
    }

    // directives/unsquish.htm: after .unsquish each byte is written as the
    // two characters of its hex value ($3F as '3', 'F') while addresses
    // count it once; .squish writes bytes again (an Asm( program's
    // AsmPrgm header stays bytes).
    void unsquishedBytesAreWrittenAsHexDigits() {
        const Built b = source(" .org $9D95\n .db $BB, $6D\n.unsquish\n ld a, $3F\n"
                               " jp there\nthere: ret\n.squish\n .dw there\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("bb6d") + QByteArray("3E3FC39C9DC9").toHex() + "9c9d");
        QCOMPARE(source("start:\n.unsquish\n .db 1\n.squish\n .chk start\n").messages,
                 QStringList{"main.asm:5: error: .chk after .unsquish: the kit sums only bytes "
                             "written as bytes"});
    }

    // directives/binaryrange.htm: Brass's own Assembler.cs only warns that
    // .binaryrange is deprecated, so the bytes stay those written.
    void aBinaryRangeLeavesTheBytesWritten() {
        const Built b = source(" .org $9D95\n.binaryrange $9D93, $9DA0\n .db 1, 2\n");
        QCOMPARE(b.hex, QByteArray("0102"));
        QCOMPARE(b.messages, QStringList{"main.asm:2: warning: .binaryrange is deprecated in "
                                         "Brass and changes nothing: the binary spans the "
                                         "bytes written"});
    }
};

QTEST_GUILESS_MAIN(BrassTest)
#include "kit_brass_test.moc"
