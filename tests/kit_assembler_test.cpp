// The kit's assembler as a user meets it: values ahead and in 32 bits,
// every error of a build in one go, the listing and labels it leaves, and
// the size of the program. Sources are held in memory; bytes and messages
// are compared whole.

#include "z80/assembler.h"
#include "z80/outputs.h"

#include <QtTest>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

struct Built {
    z80::MemoryReader reader;
    z80::Assembly a;
    QByteArray hex() const {
        return QByteArray(reinterpret_cast<const char *>(a.bytes.data()), int(a.bytes.size()))
            .toHex();
    }
    QStringList messages() const { // errors, then warnings
        QStringList out;
        for (const auto &list : {a.errors, a.warnings})
            for (const std::string &m : list)
                out << QString::fromStdString(m);
        return out;
    }
};

std::unique_ptr<Built> build(const Files &files) {
    auto b = std::make_unique<Built>();
    for (const auto &[path, text] : files)
        b->reader.files[path] = text;
    b->a = z80::assemble(files.front().first, b->reader, {});
    return b;
}

std::unique_ptr<Built> source(const std::string &text) {
    return build({{"/p/main.z80", text}});
}

} // namespace

class AssemblerTest : public QObject {
    Q_OBJECT
private slots:
    // Labels and equates ahead of their use, an .org and a .block whose size
    // is only known ahead, values beyond 16 bits computed in 32.
    void valuesAheadAndBeyondSixteenBitsAreExact() {
        const auto b = source(" .org start\n jr ahead\n .block gap\nahead: ld hl,70000/2\n"
                              " .dw (0FFE200E1h >> 16)\n .dw ahead, $\ngap .equ end - 9D98h\n"
                              "start .equ 9D95h\nend .equ 9D99h\n");
        QCOMPARE(b->messages(), QStringList());
        QCOMPARE(b->hex(), QByteArray("1801"
                                      "00"
                                      "21b888"
                                      "e2ff"
                                      "989d9d9d"));
    }

    // Values are 32 bits, as in spasm-ng (a C int): what passes the top wraps
    // round before it is judged, whether a number, a sum or a product.
    void valuesWrapAtThirtyTwoBits() {
        const auto b = source(" .db 100000001h, 0FFFFFFFFh + 3, 10000h * 10000h + 4\n"
                              " .dw (7FFFFFFFh + 1) >> 24, 0FFFFFFFFh >> 24\n");
        QCOMPARE(b->messages(), QStringList());
        QCOMPARE(b->hex(), QByteArray("010204"
                                      "80ff"
                                      "ffff"));
    }

    void aValueThatDoesNotFitIsAnErrorAtItsLine() {
        const auto b = source(" .org 0\n .db 512, -257, 255, -128\n .dw 65536, -32769\n"
                              " ld a,700\n ld (ix+128),a\n jr far\n .fill 1, 700\n"
                              " .block 70000\n .ds 512\nfar:\n");
        QCOMPARE(b->messages(),
                 (QStringList{"main.z80:2: error: value 512 does not fit in 8 bits (-128 to 255)",
                              "main.z80:2: error: value -257 does not fit in 8 bits (-128 to 255)",
                              "main.z80:3: error: value 65536 does not fit in 16 bits (-32768 to "
                              "65535)",
                              "main.z80:3: error: value -32769 does not fit in 16 bits (-32768 to "
                              "65535)",
                              "main.z80:4: error: value 700 does not fit in 8 bits (-128 to 255)",
                              "main.z80:5: error: index displacement 128 does not fit (-128 to "
                              "127)",
                              "main.z80:6: error: relative jump to 0210h is out of reach (-128 to "
                              "127 bytes from 000Fh)",
                              "main.z80:7: error: value 700 does not fit in 8 bits (-128 to 255)",
                              "main.z80:8: error: the size 70000 is outside 0..65536"}));
    }

    // In source order, errors before warnings; one line a name; at most 50
    // shown; an echo of a missing include is not listed.
    void everyErrorOfABuildIsListedOnce() {
        const auto b = source(" .org 0\n#define TWICE 1\n#define TWICE 2\n call one\n"
                              " jp two\n ld a,three\n .db \"end\n");
        QCOMPARE(
            b->messages(),
            (QStringList{"main.z80:4: error: 'one' is undefined",
                         "main.z80:5: error: 'two' is undefined",
                         "main.z80:6: error: 'three' is undefined",
                         "main.z80:7: error: a string is not closed",
                         "main.z80:3: warning: #define TWICE replaces an earlier definition"}));
        std::vector<std::string> many;
        for (int i = 1; i <= 60; ++i)
            many.push_back("m" + std::to_string(i));
        const auto shown = z80::capped(many, "errors");
        QCOMPARE(shown.size(), size_t(51));
        QCOMPARE(shown[49], std::string("m50"));
        QCOMPARE(shown[50], std::string("... and 10 more errors"));
        const auto missing =
            source("#include \"TI83PLUS.INC\"\n#include \"mine.inc\"\n .org userMem-2\n"
                   " b_call(_ClrLCDFull)\n B_CALL _PutS\n ld a,(curRow)\n");
        QCOMPARE(missing->messages(),
                 (QStringList{"main.z80:1: error: cannot find the include file TI83PLUS.INC: this "
                              "is the calculator's definitions file; put a copy into ~/Asm/TASM "
                              "(TI publishes it with its TI-83 Plus SDK, and spasm-ng carries "
                              "one in its inc folder)",
                              "main.z80:2: error: cannot find the include file mine.inc"}));
    }

    void aNameAfterAnEndSaysWhyItIsUndefined() {
        const auto b = build({{"/p/main.z80", "#include \"lib.inc\"\n call f\n"},
                              {"/p/lib.inc", "g: ret\n .end\nf: ret\n"}});
        QCOMPARE(b->messages(),
                 QStringList{"main.z80:2: error: 'f' is undefined (its file ends at the .end on "
                             "line 2)"});
    }

    // Brass: a name starting with '_' belongs to its module, every name after
    // .local does, .global names belong to all; Module.name reaches in.
    void modulesKeepTheirLocalNamesApart() {
        const auto b =
            source(" .org 0\n_top .equ 1\n.module Render\ndraw: ld b,_top\n_loop: djnz _loop\n"
                   ".module AI\nthink: jr _loop\n_loop: jp Render._loop\n.local\nhere: nop\n"
                   ".global\nshared: nop\n.endglobal\n.endmodule\n jp shared \\ jp AI.here\n");
        QCOMPARE(b->messages(), QStringList());
        QCOMPARE(b->hex(), QByteArray("0601"
                                      "10fe"
                                      "1800"
                                      "c30200"
                                      "00"
                                      "00"
                                      "c30a00c30900"));
        // Module.name as a label or equate from outside its module: a '_'
        // name goes into the module, a shared one stays shared.
        const auto outside =
            source(" .org 0\n.module Render\ndraw: ld b,_size\n ret\n.endmodule\n"
                   "Render._size = 3\nRender.count = 4\n jp Render.draw\n"
                   " .db count, Render.count, noname.count\n.module AI\n ld a,Render._size\n"
                   "AI._mine: .db _mine & 255\n.endmodule\nsize.equ 7\n .db size\n");
        QCOMPARE(outside->messages(), QStringList());
        QCOMPARE(outside->hex(), QByteArray("0603c9c30000040404"
                                            "3e03"
                                            "0b07"));
    }

    // The listing in spasm-ng's layout and the label file in its form.
    void theListingAndLabelsShowWhereEverythingLies() {
        const auto b = build({{"/p/main.z80", "; hello\n .org 9D93h\n#include \"defs.inc\"\n"
                                              "start: ld hl,msg\nmsg: .db \"Hello\", 0\n"},
                              {"/p/defs.inc", "\nvalue = -3\n"}});
        QCOMPARE(QString::fromStdString(z80::listing(b->a, b->reader, "/p/main.z80")),
                 QString("    1 00:0000 -  -  -  -  ; hello\n"
                         "    2 00:0000 -  -  -  -   .org 9D93h\n"
                         "    3 00:9D93 -  -  -  -  #include \"defs.inc\"\n"
                         "Listing for file \"defs.inc\"\n"
                         "    1 00:9D93 -  -  -  -  \n"
                         "    2 00:9D93 -  -  -  -  value = -3\n"
                         "Listing for file \"main.z80\"\n"
                         "    4 00:9D93 21 96 9D -  start: ld hl,msg\n"
                         "    5 00:9D96 48 65 6C 6C \n"
                         "              6F 00 -  -  msg: .db \"Hello\", 0\n"));
        QCOMPARE(z80::labelFile(b->a),
                 std::string("msg = $9D96\nstart = $9D93\nvalue = $FFFFFFFD\n"));
    }

    // As spasm-ng lists (checked with its -T): nothing between .nolist and
    // .list, each line in the order read at its address, consecutive
    // includes each after its #include line, lines an #if skips without dashes.
    void theListingFollowsTheLinesAsRead() {
        const auto b = build({{"/p/main.z80", ".nolist\n#include \"one.inc\"\n.list\n .org 9D93h\n"
                                              "#include \"two.inc\"\n#include \"thr.inc\"\n"
                                              " ld a,1\n#if 0\n ld a,2\n#else\n ld a,3\n#endif\n"
                                              ".db 1,2,3,4,5,6\n"},
                              {"/p/one.inc", "a = 1\nb = 2\n"},
                              {"/p/two.inc", "c = 3\n nop\n"},
                              {"/p/thr.inc", "d = 4\n"}});
        QCOMPARE(QString::fromStdString(z80::listing(b->a, b->reader, "/p/main.z80")),
                 QString("    4 00:0000 -  -  -  -   .org 9D93h\n"
                         "    5 00:9D93 -  -  -  -  #include \"two.inc\"\n"
                         "Listing for file \"two.inc\"\n"
                         "    1 00:9D93 -  -  -  -  c = 3\n"
                         "    2 00:9D93 00 -  -  -   nop\n"
                         "Listing for file \"main.z80\"\n"
                         "    6 00:9D94 -  -  -  -  #include \"thr.inc\"\n"
                         "Listing for file \"thr.inc\"\n"
                         "    1 00:9D94 -  -  -  -  d = 4\n"
                         "Listing for file \"main.z80\"\n"
                         "    7 00:9D94 3E 01 -  -   ld a,1\n"
                         "    8 00:9D96 -  -  -  -  #if 0\n"
                         "    9 00:9D96              ld a,2\n"
                         "   10 00:9D96             #else\n"
                         "   11 00:9D96 3E 03 -  -   ld a,3\n"
                         "   12 00:9D98 -  -  -  -  #endif\n"
                         "   13 00:9D98 01 02 03 04 \n"
                         "              05 06 -  -  .db 1,2,3,4,5,6\n"));
    }

    // The log's last line; code at C000h and above is refused by the
    // calculator; a program larger than its RAM cannot be sent.
    void theProgramsSizeAndItsLimits() {
        const auto fits = source(" .org 9D95h\n .block 1745\n ret\n ret\n");
        QCOMPARE(z80::summary(fits->a),
                 std::string("1,747 bytes, code ends at A468h (7,064 bytes below C000h)."));
        const auto high = source(" .org 0BFFEh\n nop\n ld a,1\n nop\n .db 1\n");
        QCOMPARE(high->messages(),
                 QStringList{"main.z80:3: warning: code at C000h or above: the calculator refuses "
                             "to run it"});
        QCOMPARE(z80::summary(high->a),
                 std::string("5 bytes, code ends at C003h (3 bytes past C000h)."));
        const auto large = source(" .org 9D93h\n .block 12000\n .block 385\n .db 1\n");
        QCOMPARE(large->messages(),
                 QStringList{"main.z80:4: error: the program grows past 12385 bytes here: the "
                             "calculator's RAM cannot hold it and the copy Asm( runs"});
    }

    // The files the build read: the source first, each other file once.
    void theFilesReadAreRecorded() {
        const auto b = build({{"/p/main.z80", "#include \"a.inc\"\n#include \"a.inc\"\n"},
                              {"/p/a.inc", ".echo \"value: \", 6*7\n"}});
        QCOMPARE(b->a.filesRead, (std::vector<std::string>{"/p/main.z80", "/p/a.inc"}));
        QCOMPARE(b->a.echoes, (std::vector<std::string>{"value: 42", "value: 42"}));
    }
};

QTEST_GUILESS_MAIN(AssemblerTest)
#include "kit_assembler_test.moc"
