// The kit's assembler as a user meets it: values ahead and in 32 bits,
// every error of a build in one go, the listing and labels it leaves, and
// the size of the program. Sources are held in memory; bytes and messages
// are compared whole.

#include "z80/assembler.h"
#include "z80/outputs.h"
#include "z80/sourcemap.h"

#include <QSignalSpy>
#include <QTest>

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
        for (const auto &list : {z80::errorLines(a), z80::messages(a.warnings)})
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
        const auto b = source(" .org 0\n .db 512, -257, 255, -128\n .dw 65536, -65536\n"
                              " ld a,700\n ld (ix+128),a\n jr far\n .fill 1, 700\n"
                              " .block 70000\n .ds 512\nfar:\n");
        QCOMPARE(b->messages(),
                 (QStringList{"main.z80:2: error: value 512 does not fit in 8 bits (-128 to 255)",
                              "main.z80:2: error: value -257 does not fit in 8 bits (-128 to 255)",
                              "main.z80:3: error: value 65536 does not fit in 16 bits (-32768 to "
                              "65535)",
                              "main.z80:3: error: value -65536 does not fit in 16 bits (-32768 to "
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

    // The map takes every statement to its bytes and back: through an
    // #include without quotes, a #macro (with the chain of its calls), two
    // statements joined by '\' written and two made by a #define, and a
    // second .org. Encodings from the Z80 manual: ld a,n 3E; ld b,n 06;
    // inc a 3C; rst 28h EF; ret C9.
    void theSourceMapTakesEveryStatementToItsBytesAndBack() {
        const auto b = build({{"/p/main.z80", ".org 9D93h\n.db 0BBh,6Dh\n#include defs.inc\n"
                                              "start: ld a,size \\ ld b,2\n twice(a)\n"
                                              " bcall(4540h)\n.org $+16\nfin: ret\n"},
                              {"/p/defs.inc", "size = 3 ; how many\n#macro twice(r)\n inc r\n"
                                              " inc r\n#endmacro\n"
                                              "#define bcall(x) rst 28h \\ .dw x\n"}});
        QCOMPARE(b->messages(), QStringList());
        std::string error;
        const auto map = z80::readMap(z80::writeMap(b->a), &error);
        QVERIFY2(map, error.c_str());
        const auto place = [&](const z80::SourceMap::Place &p) {
            return QStringLiteral("%1:%2:%3")
                .arg(QString::fromStdString(map->files[p.file]))
                .arg(p.line)
                .arg(p.column);
        };
        QStringList entries;
        for (const z80::SourceMap::Entry &e : map->entries) {
            const QByteArray bytes(reinterpret_cast<const char *>(b->a.bytes.data() + e.offset),
                                   int(e.size));
            QString text = QStringLiteral("%1 %2 %3 %4")
                               .arg(place(e.at))
                               .arg(e.address, 4, 16)
                               .arg(QString(bytes.toHex()))
                               .arg(e.code ? "code" : "data");
            for (const z80::SourceMap::Step &s : e.macros)
                text += QStringLiteral(" < %1 %2:%3")
                            .arg(s.macro.c_str(), map->files[s.file].c_str())
                            .arg(s.line);
            entries << text;
            for (size_t k = 0; k < e.size; ++k) // each byte back to its statement
                QCOMPARE(map->at(e.address + std::uint32_t(k)), &e);
            const auto onLine = map->of(map->files[e.at.file], e.at.line);
            QVERIFY(std::count(onLine.begin(), onLine.end(), &e) == 1);
        }
        QCOMPARE(entries, (QStringList{"main.z80:2:1 9d93 bb6d data", "main.z80:4:1 9d95 3e03 code",
                                       "main.z80:4:20 9d97 0602 code",
                                       "main.z80:5:2 9d99 3c code < twice defs.inc:3",
                                       "main.z80:5:2 9d9a 3c code < twice defs.inc:4",
                                       "main.z80:6:2 9d9b ef code", "main.z80:6:2 9d9c 4045 data",
                                       "main.z80:8:1 9dae c9 code"}));
        QCOMPARE(map->at(0x9D9E), nullptr); // between the two .orgs
        QStringList symbols;
        for (const z80::SourceMap::Symbol &s : map->symbols)
            symbols << QStringLiteral("%1 %2 %3 %4")
                           .arg(s.equate ? "equate" : "label", s.name.c_str())
                           .arg(s.value)
                           .arg(place(s.at));
        QCOMPARE(symbols, (QStringList{"label fin 40366 main.z80:8:1", "equate size 3 defs.inc:1:1",
                                       "label start 40341 main.z80:4:1"}));
    }

    // A map that is cut short or altered is refused with the line at fault.
    void aDamagedMapIsRefused() {
        const auto b = source(".org 9D93h\nstart: ret\n");
        const std::string good = z80::writeMap(b->a);
        std::string error;
        const auto read = z80::readMap(good, &error);
        QVERIFY(read);
        // The program's bytes are named by their count and hash, which a debugger compares.
        QCOMPARE(*read->size, std::uint64_t(b->a.bytes.size()));
        QCOMPARE(*read->hash, z80::mapHash(b->a.bytes.data(), b->a.bytes.size()));
        QVERIFY(z80::mapHash(b->a.bytes.data(), b->a.bytes.size()) != z80::mapHash(nullptr, 0));
        const std::vector<std::pair<std::string, std::string>> bad = {
            {"", "line 1: this is not a source map (it does not start with \"qvmap 1\")"},
            {good.substr(0, good.find("code") + 12),
             "line 4: a statement needs an address, a size, an offset and a place"},
            {"qvmap 1\nbytes 2 12AB\n",
             "line 2: the program's bytes need their count and a 16-digit hash, once"},
            {"qvmap 1\nfile 1 main.z80\n", "line 2: a file must be numbered next"},
            {"qvmap 1\nfile 0 a\ncode 9D93 1 0 1:2:1\n",
             "line 3: a statement needs an address, a size, an offset and a place"},
            {"qvmap 1\nfile 0 a\ncode 19D93 1 0 0:2:1\n",
             "line 3: a statement needs an address, a size, an offset and a place"},
            {"qvmap 1\nfile 0 a\ncode 9D93 1 0 0:2:1 m\n",
             "line 3: a statement needs an address, a size, an offset and a place"},
            {"qvmap 1\nfile 0 a\nlabel x 99999999999999999999 0:1:1\n",
             "line 3: a symbol needs a name, a value and a place"},
            {"qvmap 1\nwhat\n", "line 2: unknown entry 'what'"}};
        for (const auto &[text, why] : bad) {
            QVERIFY(!z80::readMap(text, &error));
            QCOMPARE(error, why);
        }
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
        // The build stops there: a label after it, used before, follows from it.
        const auto stopped = source(" .org 9D93h\n ld sp,stack\n .block 12385\n .db 1\nstack:\n");
        QCOMPARE(stopped->messages(),
                 (QStringList{"main.z80:3: error: the program grows past 12385 bytes here: the "
                              "calculator's RAM cannot hold it and the copy Asm( runs",
                              "main.z80:2: error: 'stack' is undefined"}));
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
