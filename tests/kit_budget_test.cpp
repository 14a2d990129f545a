// Bounded work: whatever a source says, a build reads, expands and keeps a
// bounded amount, and the one message says which limit was met and where.

#include "z80/assembler.h"
#include "z80/outputs.h"

#include <QtTest>

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

QStringList errors(const Files &files) {
    z80::MemoryReader reader;
    for (const auto &[path, text] : files)
        reader.files[path] = text;
    QStringList out;
    for (const z80::Diagnostic &e : z80::assemble(files.front().first, reader, {}).errors)
        out << QString::fromStdString(z80::message(e));
    return out;
}

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
                 QStringList{"main.z80:7: error: unknown instruction 'gone'"});
    }

    // Depth alone would allow 2^32 reads of a file that includes itself twice.
    void includesThatDoubleAtEachLevelStopAtTheFileLimit() {
        const QString tooMany = "error: the build opens more than 10,000 files (is a file "
                                "included again and again?)";
        const QString deep = "error: includes nest deeper than 32 levels (does main.z80 include "
                             "itself?)";
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
};

QTEST_GUILESS_MAIN(BudgetTest)
#include "kit_budget_test.moc"
