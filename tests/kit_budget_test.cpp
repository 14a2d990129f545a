// Bounded work: whatever a source says, a build reads, expands and keeps a
// bounded amount, and the one message says which limit was met and where.

#include "z80/assembler.h"
#include "z80/outputs.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

QStringList errors(const Files &files, const z80::Options &options = {}) {
    z80::MemoryReader reader;
    for (const auto &[path, text] : files)
        reader.files[path] = text;
    QStringList out;
    for (const std::string &e : z80::errorLines(z80::assemble(files.front().first, reader, options)))
        out << QString::fromStdString(e);
    return out;
}

QStringList errors(const std::string &main) {
    return errors({{"/p/main.z80", main}});
}

const QString kDeep = "error: includes, #macros and run() nest deeper than 32 levels ";
const QString kTooLarge = "error: the program grows past 12385 bytes here: the calculator's "
                          "RAM cannot hold it and the copy Asm( runs";

// A Windows bitmap of 1 bit a pixel, all white, `width` x `height`.
std::string whiteBitmap(int width, int height) {
    const auto le = [](std::uint64_t v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += char(v >> (8 * i) & 0xFF);
        return out;
    };
    const std::uint32_t stride = (std::uint32_t(width) + 31) / 32 * 4, offset = 54 + 8;
    const std::string data(stride * std::uint32_t(height), '\xFF');
    return "BM" + le(offset + std::uint32_t(data.size()), 4) + le(0, 4) + le(offset, 4) +
           le(40, 4) + le(std::uint32_t(width), 4) + le(std::uint32_t(height), 4) + le(1, 2) +
           le(1, 2) + le(0, 8) + le(2835, 4) + le(2835, 4) + le(2, 4) + le(0, 4) +
           std::string("\0\0\0\0\xFF\xFF\xFF\0", 8) + data;
}

// Reads through another reader and cancels the build when `trigger` is read.
class CancellingReader : public z80::MemoryReader {
public:
    CancellingReader(std::atomic<bool> &cancel, std::string trigger)
        : m_cancel(cancel), m_trigger(std::move(trigger)) {}
    z80::ReadResult read(const std::string &path) override {
        if (path == m_trigger)
            m_cancel = true;
        return MemoryReader::read(path);
    }

private:
    std::atomic<bool> &m_cancel;
    std::string m_trigger;
};

std::string repeat(const std::string &text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

class BudgetTest : public QObject {
    Q_OBJECT
private slots:
    void aMacroThatUndefinesItselfFinishesTheUseItIsIn() {
        QCOMPARE(errors({{"/p/main.z80",
                          "#macro gone()\n#undef gone\n .db 1\n .db 2\n#endmacro\n gone()\n"
                          " gone()\n"}}),
                 QStringList{"main.z80:7: error: 'gone(...)' is no macro here: no #define or #macro gone is "
                            "in force at this line"});
    }

    // Depth alone would allow 2^32 reads of a file that includes itself twice.
    void includesThatDoubleAtEachLevelStopAtTheFileLimit() {
        const QString tooMany = "error: the build opens more than 10,000 files (is a file "
                                "included again and again?)";
        const QString deep = kDeep + "(does main.z80 include itself?)";
        QCOMPARE(
            errors({{"/p/main.z80", "#include \"main.z80\"\n#include \"main.z80\"\n"}}),
            (QStringList{"main.z80:1: " + deep, "main.z80:2: " + deep, "main.z80:1: " + tooMany}));
        Files chain;
        for (int i = 1; i <= 30; ++i)
            chain.push_back({"/p/c" + std::to_string(i) + ".z80",
                             repeat("#include \"c" + std::to_string(i + 1) + ".z80\"\n", 2)});
        chain.push_back({"/p/c31.z80", " nop\n"});
        QCOMPARE(errors(chain), QStringList{"c29.z80:2: " + tooMany});
    }

    void aLargeIncludeReadAgainAndAgainStopsAtTheByteLimit() {
        const std::string big = repeat(";" + std::string(60000, 'x') + "\n", 262); // 15 MiB
        QCOMPARE(
            errors({{"/p/main.z80", repeat("#include \"big.inc\"\n", 30)}, {"/p/big.inc", big}}),
            QStringList{"main.z80:3: error: the build reads more than 32 MiB "
                        "of source (is a file included again and again?)"});
    }

    void macrosWhoseBodiesOrArgumentsMultiplyStopAtTheirLimits() {
        std::string calls = "#macro m0()\n .list\n#endmacro\n";
        for (int i = 1; i < 30; ++i)
            calls += "#macro m" + std::to_string(i) + "()\n" +
                     repeat(" m" + std::to_string(i - 1) + "()\n", 2) + "#endmacro\n";
        QCOMPARE(errors({{"/p/main.z80", calls + " m29()\n"}}),
                 QStringList{"main.z80:120: error: the #macros are used more than 100000 times"});

        const std::string lines =
            "#macro long()\n" + repeat(" .list\n", 1000) + "#endmacro\n" + repeat(" long()\n", 600);
        QCOMPARE(
            errors({{"/p/main.z80", lines}}),
            QStringList{"main.z80:1501: error: the build reads more than 500,000 lines, a macro's "
                        "lines counted each time it is used (do macros use each other again and "
                        "again?)"});

        const std::string wide = "#macro wide(x)\n" + repeat(" .echo x,x,x,x,x,x,x,x\n", 2000) +
                                 "#endmacro\n" + repeat(" wide(1+1+1+1+1+1+1+1)\n", 10);
        QCOMPARE(
            errors({{"/p/main.z80", wide}}),
            QStringList{"main.z80:2006: error: the macros produce more than 1,000,000 tokens (do "
                        "their bodies or arguments multiply?)"});

        std::string arguments = "#define A0 x\n";
        for (int i = 1; i < 40; ++i)
            arguments += "#define A" + std::to_string(i) + "(p) A" + std::to_string(i - 1) +
                         "(p p) A" + std::to_string(i - 1) + "(p p)\n";
        QCOMPARE(errors({{"/p/main.z80", arguments + " .db A39(1)\n"}}),
                 QStringList{"main.z80:41: error: the line grows longer than 64 KiB "
                             "as its #defines are expanded"});
    }

    // Each level of includes, #macros, run() and macro arguments costs stack;
    // they share one limit, met at the line that re-enters, once.
    void aSourceThatReentersItselfEndsWithOneErrorAtItsLine() {
        QCOMPARE(errors("#define X \"wr(X)\\nrun()\"\n wr(X)\n run()\n"),
                 QStringList{"main.z80:3: " + kDeep +
                             "(does the text run() reads call run() again?)"});
        QCOMPARE(errors(" .db 1\n#include \"main.z80\"\n"),
                 QStringList{"main.z80:2: " + kDeep + "(does main.z80 include itself?)"});
        QCOMPARE(errors("#macro m()\n#include \"main.z80\"\n#endmacro\n m()\n"),
                 QStringList{"main.z80:4: " + kDeep + "(does #macro m use itself?)"});
        // Twenty includes deep, a #macro may nest twelve times, not thirteen.
        Files chain;
        for (int i = 0; i < 20; ++i)
            chain.push_back({"/p/c" + std::to_string(i) + ".z80",
                             "#include \"c" + std::to_string(i + 1) + ".z80\"\n"});
        const auto nest = [](int levels) {
            std::string text = "#macro m0()\n nop\n#endmacro\n";
            for (int i = 1; i < levels; ++i)
                text += "#macro m" + std::to_string(i) + "()\n m" + std::to_string(i - 1) +
                        "()\n#endmacro\n";
            return text + " m" + std::to_string(levels - 1) + "()\n";
        };
        chain.push_back({"/p/c20.z80", nest(12)});
        QCOMPARE(errors(chain), QStringList());
        chain.back().second = nest(13);
        QCOMPARE(errors(chain),
                 QStringList{"c20.z80:40: " + kDeep + "(does #macro m0 use itself?)"});
        // Arguments are measured before they are copied, level by level.
        const std::string calls = repeat("f(", 20000) + "1" + repeat(")", 20000);
        QCOMPARE(errors("#define f(x) x\n .db " + calls + "\n"),
                 QStringList{"main.z80:2: error: macro arguments nest deeper than 32 levels"});
        QCOMPARE(errors("#define f(x) x\n .db " + repeat("f(", 31) + "1" + repeat(")", 31) +
                        "\n"),
                 QStringList());
    }

    // The calculator's limit is met as the bytes are placed: at the statement
    // that passes it, and nothing after it is read.
    void aProgramPastTheCalculatorsLimitStopsAtTheStatementThatPassesIt() {
        QCOMPARE(errors(" .block 12385\n .db 1\n .db nowhere\n"),
                 QStringList{"main.z80:2: " + kTooLarge});
        QCOMPARE(errors(" .block 12385\n .db 2\n"), QStringList{"main.z80:2: " + kTooLarge});
        QCOMPARE(errors(" .block 12384\n .db 1\n"), QStringList());
        // A macro of 65,536 bytes used 100,000 times ends at its first use.
        std::string fills = "#macro f0()\n .fill 65536\n#endmacro\n";
        for (int i = 1; i <= 5; ++i)
            fills += "#macro f" + std::to_string(i) + "()\n" +
                     repeat(" f" + std::to_string(i - 1) + "()\n", 10) + "#endmacro\n";
        QCOMPARE(errors(fills + " f5()\n"), QStringList{"main.z80:64: " + kTooLarge});
        // A size known only later is judged when it is known.
        QCOMPARE(errors(" .fill size\n .fill size\n .db 1\nsize = 6200\n"),
                 QStringList{"main.z80:2: " + kTooLarge});
    }

    // A #define used before it is written is computed once a pass, unless
    // its value depends on where it is used.
    void defineChainsUsedBeforeTheyAreWrittenCostTheirLength() {
        std::string chain = " .dw L31\n#define L0 7\n";
        for (int i = 1; i <= 31; ++i)
            chain += "#define L" + std::to_string(i) + " (L" + std::to_string(i - 1) + "+L" +
                     std::to_string(i - 1) + ")/2\n";
        z80::MemoryReader reader;
        reader.files["/p/main.z80"] = chain;
        const z80::Assembly a = z80::assemble("/p/main.z80", reader, {});
        QCOMPARE(z80::errorLines(a), std::vector<std::string>());
        QCOMPARE(a.bytes, (std::vector<std::uint8_t>{7, 0}));
        reader.files["/p/main.z80"] = " .org 10\n .dw HERE\n .dw HERE\n#define HERE $+1\n";
        QCOMPARE(z80::assemble("/p/main.z80", reader, {}).bytes,
                 (std::vector<std::uint8_t>{11, 0, 13, 0}));
    }

    // Bitmaps at the edges of their maps and sizes: a map of no columns or
    // no rows is refused before it divides the picture by them, a map's
    // count stops it after that many images, a wide picture is read whole.
    void bitmapsAtTheEdgesOfTheirMapsAndSizes() {
        for (const char *map : {"0x2", "2x0"})
            QCOMPARE(errors({{"/p/main.z80", std::string(" .org 0\ncell .option BM_MAP=") + map +
                                                 "\n#include \"t.bmp\"\n"},
                             {"/p/t.bmp", whiteBitmap(16, 16)}}),
                     QStringList{"main.z80:3: error: t.bmp needs a map of columns and rows "
                                 "(__BM_MAP 2x5, say)"});
        z80::MemoryReader reader;
        reader.files["/p/t.bmp"] = whiteBitmap(16, 16);
        reader.files["/p/main.z80"] =
            " .org 0\ncell .option BM_MAP=2x2x1\n#include \"t.bmp\"\n .db cell_COUNT\n";
        const z80::Assembly a = z80::assemble("/p/main.z80", reader, {});
        QCOMPARE(z80::errorLines(a), std::vector<std::string>());
        QCOMPARE(a.bytes.back(), std::uint8_t(1));
        // The header's sizes are 32-bit: a picture 300 pixels wide gives
        // 38 bytes a row, not those of 300 - 256.
        reader.files["/p/t.bmp"] = whiteBitmap(300, 1);
        reader.files["/p/main.z80"] = " .org 0\n#include \"t.bmp\"\n";
        QCOMPARE(z80::assemble("/p/main.z80", reader, {}).bytes.size(), size_t(38));
    }

    // A bitmap's headers and maps count in the bytes it may give; its
    // colours are bytes.
    void aBitmapsHeadersCountInItsLimitAndItsColoursAreBytes() {
        const std::string header = "#define __BM_HDR 1\n#define __BM_HDR_FMT " +
                                   repeat("ww,", 300) + "w\n";
        QCOMPARE(errors({{"/p/main.z80",
                          header + ".option BM_MAP=64x64\n#include \"t.bmp\"\n"},
                         {"/p/t.bmp", whiteBitmap(64, 64)}}),
                 QStringList{"main.z80:4: error: t.bmp gives more than 65536 bytes"});
        QCOMPARE(errors({{"/p/main.z80",
                          ".option BM_MSK, BM_MSK_RGB=RGB(-1,0,0)\n#include \"t.bmp\"\n"},
                         {"/p/t.bmp", whiteBitmap(8, 8)}}),
                 QStringList{"main.z80:2: error: __BM_MSK_RGB: RGB's red, green and blue are 0 "
                             "to 255, not -1"});
    }

    // A build cancelled while it reads goes no further: no pass after the
    // first judges what was read.
    void aCancelledBuildSaysNothingMore() {
        std::atomic<bool> cancel{false};
        CancellingReader reader(cancel, "/p/b.inc");
        reader.files = {{"/p/main.z80", " .db nowhere\n#include \"b.inc\"\n .db 1\n"},
                        {"/p/b.inc", " .db elsewhere\n"}};
        z80::Options options;
        options.cancel = &cancel;
        const z80::Assembly cancelled = z80::assemble("/p/main.z80", reader, options);
        QCOMPARE(z80::errorLines(cancelled), std::vector<std::string>());
        cancel = false;
        z80::MemoryReader whole;
        whole.files = reader.files;
        QCOMPARE(z80::assemble("/p/main.z80", whole, {}).errors.size(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(BudgetTest)
#include "kit_budget_test.moc"
