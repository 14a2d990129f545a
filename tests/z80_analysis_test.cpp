// What the editor knows of a program without a build: problems, definitions
// with their values and comments, and uses, from sources held in memory
// through the same reader the build uses.

#include "z80/analysis.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const std::string kMain = "/p/main.z80";

z80::Analysis analysed(const std::map<std::string, std::string> &files,
                       bool reportUndefined = true) {
    z80::MemoryReader reader;
    reader.files = files;
    z80::AnalysisOptions options;
    options.reportUndefined = reportUndefined;
    return z80::analyse(kMain, reader, options);
}

std::string includeStyledLikeTheStandardOne() {
    return readBytes(qEnvironmentVariable("QUORVIN_SOURCE_DIR") + "/tests/data/calc.inc")
        .toStdString();
}

QStringList problems(const z80::Analysis &a) {
    QStringList out;
    for (const z80::Diagnostic &p : a.problems)
        out << QStringLiteral("%1:%2:%3+%4 %5: %6")
                   .arg(QString::fromStdString(p.file))
                   .arg(p.line)
                   .arg(p.column)
                   .arg(p.length)
                   .arg(p.error() ? "error" : "warning", QString::fromStdString(p.text));
    return out;
}

} // namespace

class AnalysisTest : public QObject {
    Q_OBJECT
private slots:
    void aMistypedLabelIsAProblemAtTheWordAtFault() {
        const auto a = analysed({{kMain, "start:\n\tjp strat\n\tld a,(ix+offset)\noffset = 3\n"}});
        QCOMPARE(problems(a), QStringList{"/p/main.z80:2:4+5 error: 'strat' is undefined"});
    }

    // A name inside an expression is marked where it stands, not where its
    // spelling first appears on the line; so is a name passed to a #define;
    // a name in a #define's own text marks the #define's use.
    void aNameInsideAnExpressionIsMarkedWhereItStands() {
        const auto a = analysed({{kMain, "label:\n\tld hl,label+lab\n#define twice(x) x+x\n"
                                         "\tld a,twice(labe)\n#define more(x) x+gone\n"
                                         "\tld a,1+more(1)\n#define far gone\n\tjp far\n"}});
        QCOMPARE(problems(a), (QStringList{"/p/main.z80:2:13+3 error: 'lab' is undefined",
                                           "/p/main.z80:4:12+4 error: 'labe' is undefined",
                                           "/p/main.z80:6:8+7 error: 'gone' is undefined",
                                           "/p/main.z80:8:4+3 error: 'gone' is undefined"}));
    }

    // spasm-ng and Brass read .include "x", #include x and #include "x"
    // alike: each gives the same definitions with their places, values and
    // comments, and the same uses.
    void everyIncludeFormGivesTheSameNames() {
        const std::string library = "speed = 3 ; pixels a frame\n#define twice(x) x*2\n"
                                    "#macro halt2\n halt\n#endmacro\nplot:\n\tret\n"
                                    ".addinstr SYS * EF 3 NOP 1\n";
        const QStringList expected = {"equate speed=3 /p/lib.inc:1:0 pixels a frame",
                                      "define twice /p/lib.inc:2:8 ",
                                      "macro halt2 /p/lib.inc:3:7 ",
                                      "label plot=0 /p/lib.inc:6:0 ",
                                      "macro SYS /p/lib.inc:8:10 ",
                                      "use twice /p/main.z80:2:6",
                                      "use speed /p/main.z80:2:12",
                                      "use halt2 /p/main.z80:3:1",
                                      "use plot /p/main.z80:4:6",
                                      "use SYS /p/main.z80:5:1"};
        const char *kinds[] = {"label", "equate", "define", "macro"};
        for (const std::string include :
             {" .include \"lib.inc\"", "#include lib.inc", "#include \"lib.inc\""}) {
            const auto a = analysed(
                {{kMain, include + "\n\tld a,twice(speed)\n\thalt2\n\tcall plot\n\tSYS 4540h\n"},
                 {"/p/lib.inc", library}});
            QCOMPARE(problems(a), QStringList());
            QStringList names;
            for (const z80::Definition &d : a.definitions)
                names << QStringLiteral("%1 %2%3 %4:%5:%6 %7")
                             .arg(kinds[int(d.kind)], d.name.c_str(),
                                  d.value ? "=" + QString::number(*d.value) : QString(),
                                  d.file.c_str())
                             .arg(d.line)
                             .arg(d.column)
                             .arg(d.comment.c_str());
            for (const z80::Use &u : a.uses)
                names << QStringLiteral("use %1 %2:%3:%4")
                             .arg(u.name.c_str(), u.file.c_str())
                             .arg(u.line)
                             .arg(u.column);
            QCOMPARE(names, expected);
        }
    }

    void aCancelledAnalysisStopsReadingAtOnce() {
        z80::MemoryReader reader;
        reader.files = {{kMain, "\tjp nowhere\nhere:\n"}};
        std::atomic<bool> cancel{true};
        z80::AnalysisOptions options;
        options.cancel = &cancel;
        const auto stopped = z80::analyse(kMain, reader, options);
        QVERIFY(stopped.problems.empty() && stopped.definitions.empty());
        cancel = false;
        const auto whole = z80::analyse(kMain, reader, options);
        QCOMPARE(whole.problems.size(), size_t(1));
        QCOMPARE(whole.definitions.size(), size_t(1));
    }

    // The analysis runs inside the editor on the text as it is opened: a
    // source that runs or includes itself, or asks for gigabytes, is one
    // problem at its line, and the editor goes on with the text.
    void aSourceThatRunsAwayIsOneProblemAtItsLine() {
        const auto selfRun = analysed({{kMain, "#define X \"wr(X)\\nrun()\"\n wr(X)\n run()\n"}});
        QCOMPARE(selfRun.problems.size(), size_t(1));
        QCOMPARE(selfRun.problems[0].line, 3);
        QVERIFY(selfRun.problems[0].text.find("nest deeper than 32 levels") !=
                std::string::npos);
        const auto selfInclude = analysed({{kMain, " .db 1\n#include \"main.z80\"\n"}});
        QCOMPARE(selfInclude.problems.size(), size_t(1));
        QCOMPARE(selfInclude.problems[0].line, 2);
        std::string fills = "#macro f0()\n .fill 65536\n#endmacro\n";
        for (int i = 1; i <= 5; ++i) {
            fills += "#macro f" + std::to_string(i) + "()\n";
            for (int k = 0; k < 10; ++k)
                fills += " f" + std::to_string(i - 1) + "()\n";
            fills += "#endmacro\n";
        }
        const auto fill = analysed({{kMain, fills + " f5()\n"}});
        QCOMPARE(fill.problems.size(), size_t(1));
        QCOMPARE(fill.problems[0].line, 64);
        QVERIFY(fill.problems[0].text.find("grows past 12385 bytes") != std::string::npos);
    }

    void theBuildsOwnErrorsComeWithTheirLineAndWord() {
        const auto a = analysed({{kMain, "\tld a,1\n\tfrob a\nx:\nx:\n"}});
        QCOMPARE(problems(a),
                 (QStringList{"/p/main.z80:2:1+4 error: unknown instruction 'frob'",
                              "/p/main.z80:4:0+1 error: 'x' is already defined at main.z80:3"}));
    }

    void romCallsFromTheIncludeAreKnownWithValueCommentAndPlace() {
        const auto a = analysed({{kMain, "#include \"CALC.INC\"\n\tb_call(_ClrLCDFull)\n"
                                         "\tB_CALL _PutS\nmsg:\t.db \"Hi\",0 ; greeting\n"},
                                 {"/p/calc.inc", includeStyledLikeTheStandardOne()}});
        QCOMPARE(problems(a), QStringList{});
        QCOMPARE(a.filesRead, (std::vector<std::string>{kMain, "/p/calc.inc"}));
        const z80::Definition *clr = a.find("_clrlcdfull");
        QVERIFY(clr);
        QCOMPARE(clr->name, std::string("_ClrLCDFull"));
        QCOMPARE(clr->kind, z80::Definition::Kind::Equate);
        QCOMPARE(clr->value, std::optional<std::int64_t>(0x4540));
        QCOMPARE(clr->file, std::string("/p/calc.inc"));
        QCOMPARE(clr->comment, std::string("clears the whole screen"));
        const z80::Definition *msg = a.find("msg");
        QVERIFY(msg);
        QCOMPARE(msg->kind, z80::Definition::Kind::Label);
        QCOMPARE(msg->line, 4);
        QCOMPARE(msg->value, std::optional<std::int64_t>(6)); // its address, after two calls
        QCOMPARE(msg->comment, std::string("greeting"));
        QStringList calls; // every way the include spells the call, with its kind
        for (const z80::Definition &d : a.definitions)
            if (QString::fromStdString(d.name).contains("call", Qt::CaseInsensitive))
                calls << QStringLiteral("%1 %2").arg(d.name.c_str()).arg(int(d.kind));
        QCOMPARE(calls, (QStringList{"b_call 2", "bcall 2", "B_CALL 3"}));
    }

    void usesAreListedWhereTheyStand() {
        const auto a = analysed({{kMain, "loop:\n\tdjnz loop\n\tjr loop \\ jp Loop\n"}});
        QStringList uses;
        for (const z80::Use &u : a.uses)
            uses << QStringLiteral("%1 %2:%3")
                        .arg(QString::fromStdString(u.name))
                        .arg(u.line)
                        .arg(u.column);
        QCOMPARE(uses, (QStringList{"loop 2:6", "loop 3:4", "Loop 3:14"}));
    }

    void anIncludeCheckedAloneKeepsQuietAboutNamesFromElsewhere() {
        const auto a = analysed({{kMain, "draw:\n\tld hl,(screenPtr)\n\tfrob\n"}}, false);
        QCOMPARE(problems(a), QStringList{"/p/main.z80:3:1+4 error: unknown instruction 'frob'"});
    }

    void namesUnderAConditionThatIsNotTakenAreNotJudged() {
        const auto a =
            analysed({{kMain, "#define TI83P\n#ifndef TI83P\n\tcall missing\n#else\n"
                              "\tcall there\n#endif\n#if 0\n\tcall maybe\n#endif\nthere:\n"
                              "#macro m(arg)\n\tld a,arg\n#endmacro\n"}});
        QCOMPARE(problems(a), QStringList{});
    }
};

QTEST_GUILESS_MAIN(AnalysisTest)
#include "z80_analysis_test.moc"
