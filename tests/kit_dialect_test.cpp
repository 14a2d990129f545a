// The dialects the kit's assembler reads: each construct of the classic
// assembler's dialect and spasm-ng's, assembled in memory, gives the bytes
// spasm-ng gives (checked with it) or, where spasm-ng refuses the construct,
// the bytes the classic assembler's rules give. Messages are compared whole.

#include "assembled.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

namespace {

Built source(const std::string &text) {
    return build({{"/p/main.z80", text}});
}

QByteArray includeStyledLikeTheStandardOne() {
    return readBytes(qEnvironmentVariable("QUORVIN_SOURCE_DIR") + "/tests/data/calc.inc");
}

// A Windows bitmap of `bits` a pixel: `rows` from the top, each row's pixel
// bytes; `palette` in the file's blue-green-red-zero order.
std::string bitmap(int width, int bits, const std::string &palette,
                   const std::vector<std::string> &rows) {
    const auto le = [](std::uint64_t v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += char(v >> (8 * i) & 0xFF);
        return out;
    };
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    std::string data;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        data += *row + std::string(stride - row->size(), '\0');
    const auto offset = std::uint32_t(54 + palette.size());
    return "BM" + le(offset + std::uint32_t(data.size()), 4) + le(0, 4) + le(offset, 4) +
           le(40, 4) + le(std::uint32_t(width), 4) + le(std::uint32_t(rows.size()), 4) + le(1, 2) +
           le(std::uint32_t(bits), 2) + le(0, 8) + le(2835, 4) + le(2835, 4) +
           le(std::uint32_t(palette.size() / 4), 4) + le(0, 4) + palette + data;
}

} // namespace

class DialectTest : public QObject {
    Q_OBJECT
private slots:
    // #defines that name themselves, .addinstr, calls in any letter case,
    // equates named like instructions' words, a .end that ends its include only.
    void aProgramOnTheStandardStyleIncludeBuildsAsSpasmBuildsIt() {
        const Built b = build(
            {{"/p/prog.z80", ".nolist\r\n#include \"calc.inc\"\r\n.list\r\n"
                             "    .org userMem-2\r\n    .db t2ByteTok, tAsmCmp\r\nStart:\r\n"
                             "    B_CALL(_ClrLCDFull)\r\n    bcall(_HomeUp)\r\n"
                             "    b_call(_RunIndicOff)\r\n    ld a,Ld\r\n    cp le\r\n"
                             "    ld hl,MESSAGE\r\n    bcall(_PutS)\r\n    errhandon(start)\r\n"
                             "    errhandoff()\r\n    set kbdBit2,(iy+kbdFlags)\r\n"
                             "    ld (curRow),hl\r\n    ret\r\nmessage: .db \"Hi\", 0\r\n"
                             "    .dw LT, Lh, tasm\r\n    B_CALL _PutS\r\n"},
             {"/p/include/calc.inc", includeStyledLikeTheStandardOne().toStdString()}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("bb6def4045ef5845ef70453e64fe6521b99def0a4521959dcd5900cd5c00"
                                   "fdcb02d6224b84c9486900740068006a00ef0a45"));
    }

    void expressionsComputeFromLeftToRight() {
        const Built b = source(" .org 0\n .db 1+2*3, 10-2-3, 2*3+1, (1+2)*3, 1 << 3 + 1, 7&3|8\n"
                               " .db 10 % 3, 5 == 5, 3 < 2, -1 < 0, 2 != 3, 'a'+1, ~0\n"
                               " .dw -1, 1+2*3\n ld a,(1+2)*3\n ld hl,(label)\nlabel ret\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("09050709090b010100010162ffffff09003e092a1600c9"));
    }

    void numbersStringsAndSpaceInEveryForm() {
        const Built b = source(" .org 0\n .db $1A, 1Ah, %11010, 11010b, 32o, 26d, 0x1A, 0b11010\n"
                               " .db 0001 1010b, 'c', '\\n', \"a\\\"b\\\\c\\n\", 0, \"\\x\"\n"
                               " .db '\\0', \"1\\02\"\n"
                               " .text \"Hi\"\n .block 2\n .fill 2, 7\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("1a1a1a1a1a1a1a1a"
                                   "1a630a6122625c630a0078"
                                   "00310032"
                                   "4869"
                                   "0000"
                                   "0707"));
    }

    // .addinstr, as the classic assembler's tables write an instruction:
    // name, operands ("" for none, * for one value), opcode bytes, size.
    void addedInstructionsTakeOpcodesOfSeveralBytes() {
        const Built b = source(" .addinstr NEG2 \"\" ED44 2\n .addinstr LDHLAT * 2A 3\n"
                               " .addinstr OUTA * D3 2\n neg2\n ldhlat 1234h\n outa 10h\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("ed442a3412d310"));
    }

    void spasmFormsAndUndocumentedInstructions() {
        const Built b = source(" .org 0\n cp a,'\\n'\n sub a,d\n and a,b\n or a,(hl)\n xor a,a\n"
                               " in f,(c)\n in (c)\n out (c),0\n sl1 a\n sll (ix+1)\n ex af,af\n"
                               " ex af,af'\n ld ixh,5\n ld a,(ix-4)\n ld (iy+off),a\n rst 28h\n"
                               " jp (hl)\noff .equ -3\n");
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex,
                 QByteArray("fe0a92a0b6afed70ed70ed71cb37ddcb01360808dd2605dd7efcfd77fdefe9"));
    }

    void macrosConditionalsAndBlocks() {
        const Built b = source(
            "#define equ .equ\n#define db .db\n#define b_call(x) bcall(x)\n"
            "#define bcall(x) rst 28h \\ .dw x\n#define errhandoff() call 5Ch\n"
            "#define TWICE(x) x \\ x\n#define COUNT 1\n#define COUNT 2\nvalue equ 1234h\n .org 0\n"
            " db COUNT\n B_CALL(value)\n errhandoff()\n TWICE(nop)\n#macro add3(x, y)\n  ld a,x\n"
            "  add a,y\n  .db x+y\n#endmacro\n add3(1, 2)\n#comment\n .db 99\n#endcomment\n"
            "#define FOO 5\n#undef FOO\n#ifdef FOO\n .db 1\n#elif COUNT == 2\n .db 2\n#else\n"
            " .db 3\n#endif\n#if value > 1000h && !0\n .db 4\n#endif\n#define LONG ld a,1\n"
            "#defcont \\ ld b,2\n LONG\n#region stuff\n nop\n#endregion\n"
            "#macro note(x)\n ld a,x /* the comment goes on\n  ld b,x over lines */ ld c,x\n"
            "#endmacro\n note(9)\n");
        QCOMPARE(b.messages,
                 QStringList{"main.z80:8: warning: #define COUNT replaces an earlier definition"});
        QCOMPARE(b.hex, QByteArray("02ef3412cd5c0000003e01c6020302043e01060200"
                                   "3e090e09"));
    }

    // "_:" labels, reached as -_ (the last one, this line's included), --_,
    // +_ (the next) and ++_.
    void reusableLabelsReachBackAndAhead() {
        const Built b = source(" .org 0\n_: nop\n_: jr -_\n jr --_\n jr +_\n jr ++_\n_: halt\n"
                               "_: ret\n jr +_\n");
        QCOMPARE(b.messages, QStringList{"main.z80:9: error: there is no reusable label '_' "
                                         "that far ahead"});
        QCOMPARE(
            source(" .org 0\n_: nop\n_: jr -_\n jr --_\n jr +_\n jr ++_\n_: halt\n_: ret\n").hex,
            QByteArray("0018fe18fb1802180176c9"));
    }

    // spasm-ng's parser.c: '_' alone is the next '_' label; its full_path()
    // reads a whole path that names nothing below each include folder; a
    // name may start with a digit; its pass two cuts an 8-bit value to its
    // low byte with a warning (the kit: a 9-bit one; a wider one is an error).
    void spasmFormsOfLabelsIncludesNamesAndValues() {
        const Built b = build(
            {{"/p/main.z80", "#include \"/inc/defs.inc\"\n#define 83p\n .org 0\n jr _\n nop\n"
                             "_:\n#ifdef 83p\n .db FROM_DEFS\n#endif\n ld a,256+1\n .db -129\n"
                             " .db 512\n"},
             {"/p/inc/defs.inc", "FROM_DEFS = 7\n"}});
        QCOMPARE(b.messages,
                 (QStringList{"main.z80:12: error: value 512 does not fit in 8 bits (-128 to 255)",
                              "main.z80:10: warning: value 257 does not fit in 8 bits (-128 to "
                              "255); its low byte 1 is used, as spasm-ng uses it",
                              "main.z80:11: warning: value -129 does not fit in 8 bits (-128 to "
                              "255); its low byte 127 is used, as spasm-ng uses it"}));
        const Built cut =
            build({{"/p/main.z80", " .org 0\n jr _\n nop\n_:\n ld a,257\n .db -129\n"}});
        QCOMPARE(cut.hex, QByteArray("1801003e017f"));
        // A 16-bit field: the negative of an address (spasm-ng and Brass
        // write every value's low 16 bits); a wider value stays an error.
        const Built word = build({{"/p/main.z80", " .org $9D95\ninput:\n ld bc,-input\n"
                                                  " .dw -40000\n .dw -65536\n"}});
        QCOMPARE(word.messages,
                 (QStringList{"main.z80:5: error: value -65536 does not fit in 16 bits (-32768 "
                              "to 65535)",
                              "main.z80:3: warning: value -40341 does not fit in 16 bits (-32768 "
                              "to 65535); its low 16 bits 25195 are used, as spasm-ng and Brass "
                              "use them",
                              "main.z80:4: warning: value -40000 does not fit in 16 bits (-32768 "
                              "to 65535); its low 16 bits 25536 are used, as spasm-ng and Brass "
                              "use them"}));
        QCOMPARE(build({{"/p/main.z80", " .org $9D95\ninput:\n ld bc,-input\n .dw -40000\n"}}).hex,
                 QByteArray("016b62c063"));
    }

    // The source's folder and the usual project folders beside it, names in
    // any letter case or with backslashes (never escapes, "\\t" included); a
    // byte-order mark skipped; .end ending only the file it stands in.
    void includesAreFoundWhereProjectsKeepThem() {
        const Built b =
            build({{"/p/src/main.z80",
                    "\xEF\xBB\xBF#include \"intro.z80\"\n#include \"..\\SHARED\\Defs.INC\"\n"
                    "#include bare.inc\n .include \"..\\tools\\tab.inc\"\n .db three\n"},
                   {"/p/tools/tab.inc", " .db 5\n"},
                   {"/p/src/include/intro.z80", " .org 0\n .db 1\n .end\n .db 99\n"},
                   {"/p/shared/defs.inc", "#include \"more.inc\"\n .db 2\n"},
                   {"/p/shared/more.inc", "three = 3\n"},
                   {"/p/inc/bare.inc", " .dw 4\n"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("010204000503"));
        // A name found in several places: next to the file that includes it
        // first, then next to the source, then the project folders, then -I.
        z80::Options folders;
        folders.includeFolders = {"/lib"};
        const auto from = [&](const std::vector<std::string> &places) {
            std::vector<std::pair<std::string, std::string>> files = {
                {"/p/main.z80", "#include \"sub/part.inc\"\n#include \"top.inc\"\n"},
                {"/p/sub/part.inc", "#include \"which.inc\"\n"}};
            for (size_t k = 0; k < places.size(); ++k)
                files.push_back({places[k] + "/which.inc", " .db " + std::to_string(k + 1) + "\n"});
            for (const char *top : {"/lib", "/p/include", "/p"})
                files.push_back(
                    {std::string(top) + "/top.inc", std::string(" .db \"") + top + "\"\n"});
            return build(files, folders).hex;
        };
        QCOMPARE(from({"/p/sub", "/p", "/p/include", "/lib"}),
                 QByteArray("01") + QByteArray("/p").toHex());
        QCOMPARE(from({"/p", "/p/include", "/lib"}), QByteArray("01") + QByteArray("/p").toHex());
        QCOMPARE(from({"/p/include", "/lib"}), QByteArray("01") + QByteArray("/p").toHex());
        QCOMPARE(from({"/lib"}), QByteArray("01") + QByteArray("/p").toHex());
    }

    void everyErrorIsNamedByItsFileAndLineInSourceOrder() {
        const Built b = build(
            {{"/p/main.z80", " .org 0\n ld a,)\n#include \"include/defs.inc\"\n"
                             "#include \"/lib/other.inc\"\n jp nowhere\n ld a,(hl+1)\n frob a\n"
                             " .db 12G\n ld a,(1+2\n#else\n"},
             {"/p/include/defs.inc", "\n#define\n"},
             {"/lib/other.inc", "  .db \"open\n"}});
        QCOMPARE(b.messages, (QStringList{"main.z80:2: error: unexpected ')'",
                                          "include/defs.inc:2: error: #define needs a name",
                                          "/lib/other.inc:1: error: a string is not closed",
                                          "main.z80:5: error: 'nowhere' is undefined",
                                          "main.z80:6: error: '(hl+1)': the Z80 has no such "
                                          "operand; '(ix+1)' or '(iy+1)' can",
                                          "main.z80:7: error: unknown instruction 'frob'",
                                          "main.z80:8: error: '12G' is not a number",
                                          "main.z80:9: error: a bracket is not closed",
                                          "main.z80:10: error: #else without #if"}));
    }

    // An error that explains others comes first (an #if or #macro left
    // open, an unknown directive or macro, an include not there); those
    // after it, which may only echo it, are counted in one line.
    void theCauseOfOtherErrorsComesFirst() {
        std::string text = " .org 0\n jp early\n#ifdef NOT_DEFINED\nlabel0: nop\n#else\n";
        for (int k = 0; k < 60; ++k)
            text += " jp label" + std::to_string(k) + "\n";
        const Built b = source(text + " .wrong 5\n frob(1)\n");
        QCOMPARE(b.messages,
                 (QStringList{"main.z80:3: error: #ifdef has no #endif",
                              "main.z80:66: error: unknown directive '.wrong'",
                              "main.z80:67: error: 'frob(...)' is no macro here: no #define or "
                              "#macro frob is in force at this line",
                              "main.z80:2: error: 'early' is undefined",
                              "... and 60 more errors after the first above, which may follow "
                              "from it: mend it and build again"}));
        QCOMPARE(source(" .org 0\n#ifdef NOT_DEFINED\nl0: nop\n#else\n jp l0\n").messages,
                 (QStringList{"main.z80:2: error: #ifdef has no #endif",
                              "... and 1 more error after the first above, which may follow "
                              "from it: mend it and build again"}));
        // The hint of an include not found says only what is true.
        z80::Options options;
        options.includeFolders = {"/home/u/Asm/TASM"};
        QCOMPARE(build({{"/p/main.z80", "#include \"calc/ti83plus.inc\"\n"},
                        {"/home/u/Asm/TASM/ti83plus.inc", ""}},
                       options)
                     .messages,
                 QStringList{"main.z80:1: error: cannot find the include file calc/ti83plus.inc: "
                             "/home/u/Asm/TASM/ti83plus.inc is there, but the path written does "
                             "not lead to it; write #include \"ti83plus.inc\""});
        QCOMPARE(source("#include \"ti83plus.inc\"\n").messages,
                 QStringList{"main.z80:1: error: cannot find the include file ti83plus.inc: this "
                             "is the calculator's definitions file; put a copy into ~/Asm/TASM "
                             "(TI publishes it with its TI-83 Plus SDK, and spasm-ng carries one "
                             "in its inc folder)"});
    }

    // A failed #if still opens its block; "!" gives 1 as comparisons do; an
    // #if reads the equates met before it.
    void conditionsThatCannotBeReadStillOpenTheirBlock() {
        const Built b =
            source(" .org 0\nsize .equ 4\n#if size * 2 == 8 && (!0) == 1\n .db 1\n#endif\n"
                   "#if later\n .db 2\n#else\n .db 3\n#endif\nlater: nop\n");
        QCOMPARE(b.messages,
                 QStringList{"main.z80:6: error: #if later: 'later' has no value before assembly"});
        QCOMPARE(
            source(" .org 0\nsize .equ 4\n#if size * 2 == 8 && (!0) == 1\n .db 1\n#endif\n").hex,
            QByteArray("01"));
    }

    void aBadIncludeIsAnErrorAtItsLine() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("folder.inc"));
        QVERIFY(makeFifo(dir.filePath("fifo.inc")));
        QFile big(dir.filePath("big.inc"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(z80::kMaxFileSize) + 1));
        big.close();
        QVERIFY(QFile::link("/dev/zero", dir.filePath("zero.inc")));
        QVERIFY(writeBytes(dir.filePath("main.z80"),
                           "#include \"folder.inc\"\n#include \"fifo.inc\"\n#include \"big.inc\"\n"
                           "#include \"zero.inc\"\n#include \"none.inc\"\n"));
        z80::DiskReader disk;
        const z80::Assembly a =
            z80::assemble(QFile::encodeName(dir.filePath("main.z80")).toStdString(), disk, {});
        QCOMPARE(z80::errorLines(a),
                 (std::vector<std::string>{
                     "main.z80:1: error: cannot read folder.inc: it is a folder",
                     "main.z80:2: error: cannot read fifo.inc: it is not a regular file",
                     "main.z80:3: error: cannot read big.inc: it is larger than 64 MiB",
                     "main.z80:4: error: cannot read zero.inc: it is not a regular file",
                     "main.z80:5: error: cannot find the include file none.inc"}));
    }

    // White, black, a grey just light enough and one just dark enough; rows
    // widened to whole bytes. The bytes are spasm-ng's for the same files.
    void anIncludedBitmapBecomesItsBytesAndOtherBinaryFilesAreRefused() {
        const std::string palette("\xFF\xFF\xFF\0\0\0\0\0\x80\x80\x80\0\x78\x78\x78\0", 16);
        const std::string paletted =
            bitmap(10, 8, palette,
                   {std::string("\1\0\0\0\0\0\0\0\0\1", 10),
                    std::string("\0\1\2\3\0\0\0\0\1\0", 10), std::string(10, '\3')});
        const std::string trueColour = bitmap(3, 24, "",
                                              {std::string("\0\0\0\xFF\xFF\xFF\0\xC8\0", 9),
                                               std::string("\0\0\xC8\0\0\0\xC8\x0A\x0A", 9)});
        const Built b = build({{"/p/main.z80", " .org 0\n#include \"a.bmp\"\n#include \"b.bmp\"\n"},
                               {"/p/a.bmp", paletted},
                               {"/p/b.bmp", trueColour}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("80405080ffc080e0"));
        QCOMPARE(build({{"/p/main.z80", " nop\n#include \"logo.png\"\n"},
                        {"/p/logo.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)}})
                     .messages,
                 QStringList{"main.z80:2: error: logo.png is not a source file"});
    }

    // spasm-ng's bitmap options, as .option or #define __BM_*: shades in
    // layers, a mask (inverted, first), a header, a minimum width, a map of
    // images; a label just before names the sizes. Bytes are spasm-ng's.
    void bitmapOptionsShapeTheBytesAsSpasmNgShapesThem() {
        const std::string palette("\xFF\xFF\xFF\0\0\0\0\0\xAA\xAA\xAA\0\x55\x55\x55\0\0\xFF\0\0",
                                  20);
        const std::string picture = bitmap(
            10, 8, palette,
            {std::string("\1\0\2\3\4\4\1\1\0\2", 10), std::string("\4\4\4\1\2\3\0\0\1\1", 10),
             std::string("\3\3\2\2\1\1\0\0\4\4", 10), std::string("\0\1\2\3\4\0\1\2\3\4", 10)});
        const Built options =
            build({{"/p/main.z80",
                    " .org 0\nspr:\n#include \"t.bmp\"\n .db spr_WIDTH, spr_HEIGHT\n"
                    ".option BM_SHD=4, BM_MSK, BM_MSK_INV, BM_MSK_1ST\n#include \"t.bmp\"\n"
                    "#define __BM_HDR\n#define __BM_HDR_FMT w,h,s\n"
                    ".option BM_SHD=2, BM_MSK=0, BM_MIN_W=16\n#include \"t.bmp\"\n"},
                   {"/p/t.bmp", picture}});
        QCOMPARE(options.messages, QStringList());
        QCOMPARE(options.hex, QByteArray("930014c0cc0052800a04"
                                         "f3c01fc0ff00f780930014c0cc005280af40f8c03cc06b40"
                                         "0a0408930014c0cc005280"));
        const Built map = build(
            {{"/p/main.z80", " .org 0\n nop\ncell .option BM_MAP=2x2, BM_MSK_RGB=RGB(0,0,0)\n"
                             "#include \"t.bmp\"\n"
                             " .db cell_COUNT, cell_WIDTH, cell_HEIGHT, cell1, cell2, cell4\n"},
             {"/p/t.bmp", picture}});
        QCOMPARE(map.messages, QStringList());
        QCOMPARE(map.hex, QByteArray("009010c85060988050040502010307"));
        // Only a label just before the bitmap names its sizes.
        QCOMPARE(build({{"/p/main.z80", " .org 0\nspr: nop\n#include \"t.bmp\"\n .db spr_WIDTH\n"},
                        {"/p/t.bmp", picture}})
                     .messages,
                 QStringList{"main.z80:4: error: 'spr_WIDTH' is undefined"});
        // Every depth a bitmap has: 4 bits a pixel, two colours used.
        const std::string white("\xFF\xFF\xFF\0", 4), black("\0\0\0\0", 4);
        QCOMPARE(build({{"/p/main.z80", "#include \"f.bmp\"\n"},
                        {"/p/f.bmp", bitmap(3, 4, white + black, {std::string("\x01\x00", 2)})}})
                     .hex,
                 QByteArray("40"));
        QCOMPARE(
            build(
                {{"/p/main.z80", ".option BM_SHD=1\n#include \"t.bmp\"\n"}, {"/p/t.bmp", picture}})
                .messages,
            QStringList{"main.z80:2: error: t.bmp cannot have 1 shades (__BM_SHD is 2 to 256)"});
    }

    // spasm-ng's built-in macros; the bytes before getc are spasm-ng's own.
    void builtInMacrosComputeJoinAndWriteSource() {
        const std::string program =
            " .org 0\nsize .equ 3\n#define TWICE eval(size*2)\n"
            "#define NAME concat(\"\\\"\", \"ab\", \"\\\"\")\n#define NUM concat(size, \"0\")\n"
            " .db TWICE, NUM\n .db NAME\n clr()\n"
            " wr(\"lab\", size, \": .db \", \"\\\"ab\\\"\", \",\", eval(size+1))\n run()\n"
            " .dw lab3\n .db getc(\"data.bin\", 1)\n";
        const Built b = build({{"/p/main.z80", program}, {"/p/data.bin", "XYZ"}});
        QCOMPARE(b.messages, QStringList());
        QCOMPARE(b.hex, QByteArray("061e6162616204040059"));
        QCOMPARE(build({{"/p/main.z80", program + " run()\n"}, {"/p/data.bin", "XYZ"}}).messages,
                 QStringList{"main.z80:13: error: run() has nothing to read: no wr() since the "
                             "last run()"});
    }

    // While the source is read, eval() and #if see the labels above, '$' and
    // the "_" behind; what is ahead stays its text; a #define named before it
    // is written takes its last text; a bare getc is 0. Bytes are spasm-ng's.
    void evalKnowsTheAddressesReadSoFar() {
        QCOMPARE(source(" .org 40h\nstart: nop\n#define AT_ eval($)\n#define FIRST_ eval(start)\n"
                        "_: nop\n nop\n_: nop\n#define LAST_ eval(-_)\n#define BEFORE_ eval(--_)\n"
                        "#define AHEAD_ eval(+_)\n#define LATER_ eval(later+1*2)\n"
                        "#define TEXT_ concat(\"\\\"\", LAST_, \"\\\"\")\n"
                        " .dw AT_, FIRST_, LAST_, BEFORE_, AHEAD_, LATER_\n .db TEXT_\n"
                        "_: nop\nlater: nop\n#if ($ == 55h) && (start == 40h)\n .db 1\n#endif\n")
                     .hex,
                 QByteArray("0000000041004000430041005300aa00243433000001"));
        const Built late =
            source(" .org 0\n ld bc, SIZE\n .dw getc, 1\n#define SIZE 64\n .db SIZE\n#define "
                   "SIZE 32\n");
        QCOMPARE(late.hex, QByteArray("0120000000010040"));
        QCOMPARE(source(" .org 0\n#define NEXT eval(+_)\n .dw NEXT\n_: nop\n .dw NEXT\n").messages,
                 QStringList{"main.z80:5: error: there is no reusable label '_' that far ahead"});
        QCOMPARE(source("#if -_ == 0\n#endif\n").messages,
                 QStringList{"main.z80:1: error: #if -_ == 0: there is no reusable label '_' "
                             "that far back"});
    }

    // Nothing a source says makes the assembler run out of stack or memory.
    void limitsEndRunawayInput() {
        const auto errors = [](const std::vector<std::pair<std::string, std::string>> &files) {
            return build(files).messages;
        };
        QCOMPARE(errors({{"/p/main.z80", "#include \"main.z80\"\n"}}).size(), 1);
        QCOMPARE(errors({{"/p/main.z80", "#include \"main.z80\"\n"}})[0],
                 QStringLiteral("main.z80:1: error: includes, #macros and run() nest deeper than "
                                "32 levels (does main.z80 include itself?)"));
        QCOMPARE(errors({{"/p/main.z80",
                          " .db " + std::string(300, '(') + "1" + std::string(300, ')') + "\n"}}),
                 QStringList{"main.z80:1: error: the expression nests deeper than 200 levels"});
        std::string sum = " .db 1";
        for (int i = 0; i < 600; ++i)
            sum += "+1";
        QCOMPARE(errors({{"/p/main.z80", sum + "\n"}}),
                 QStringList{"main.z80:1: error: the expression has more than 500 operators"});
        QCOMPARE(errors({{"/p/main.z80", "#macro again()\n again()\n#endmacro\n again()\n"}}),
                 QStringList{"main.z80:4: error: includes, #macros and run() nest deeper than "
                             "32 levels (does #macro again use itself?)"});
        std::string grow = "#define A0 x\n";
        for (int i = 1; i < 40; ++i)
            grow += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " A" +
                    std::to_string(i - 1) + "\n";
        QCOMPARE(errors({{"/p/main.z80", grow + " .db A39\n"}}),
                 QStringList{"main.z80:41: error: the line grows longer than 64 KiB as its "
                             "#defines are expanded"});
        QCOMPARE(errors({{"/p/main.z80", " .db " + std::string(70000, '1') + "\n"}}),
                 QStringList{"main.z80:1: error: the line is longer than 64 KiB"});
        // A #define that names itself is not expanded again inside itself.
        QCOMPARE(source(" .org 0\nstep .equ 3\n#define step step*2\n .db step\n").hex,
                 QByteArray("06"));
    }
};

QTEST_GUILESS_MAIN(DialectTest)
#include "kit_dialect_test.moc"
