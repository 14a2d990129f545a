// Lines of assemblers' logs that name a file and line, as each writes them.

#include "core/logparser.h"

#include <QSignalSpy>
#include <QTest>

class LogParserTest : public QObject {
    Q_OBJECT
private slots:
    void everyAssemblersFormIsRead_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("error");
        // The kit, as asm.bat writes its messages.
        QTest::newRow("kit error") << "hello.z80:4: error: Symbol '_PutS' is undefined"
                                   << "hello.z80" << 4 << true;
        QTest::newRow("kit include") << "include/defs.inc:2: error: #define needs a name"
                                     << "include/defs.inc" << 2 << true;
        QTest::newRow("kit warning") << "main.z80:8: warning: #define COUNT replaces an earlier "
                                        "definition"
                                     << "main.z80" << 8 << false;
        QTest::newRow("whole path")
            << "/home/zo\u00EB/ti/lib.inc:17: error: a bracket is not closed"
            << "/home/zo\u00EB/ti/lib.inc" << 17 << true;
        // spasm-ng, with and without its codes.
        QTest::newRow("spasm-ng error") << "prog.z80:2: error SE001: Could not find the file "
                                           "'calc.inc'"
                                        << "prog.z80" << 2 << true;
        QTest::newRow("spasm-ng warning") << "t2.z80:16: warning SW800: Value too large for "
                                             "8-bits, truncation required"
                                          << "t2.z80" << 16 << false;
        QTest::newRow("spasm-ng plain") << "../inc/forth.inc:31: error: conflicting definition "
                                           "of 'LN'"
                                        << "../inc/forth.inc" << 31 << true;
        // pasmo's own.
        QTest::newRow("pasmo error") << "ERROR on line 4079 of file p.asm"
                                     << "p.asm" << 4079 << true;
        QTest::newRow("pasmo warning") << "WARNING: 64KB limit passed inside instruction on line "
                                          "13793 of file /tmp/big.asm"
                                       << "/tmp/big.asm" << 13793 << false;
        // The classic assembler's.
        QTest::newRow("classic") << "hello.z80 line 0012: unrecognized instruction.   (LD A,(HL+))"
                                 << "hello.z80" << 12 << true;
        QTest::newRow("windows path") << "C:\\Asm\\Source\\x.z80:3: error: oops"
                                      << "C:\\Asm\\Source\\x.z80" << 3 << true;
    }
    void everyAssemblersFormIsRead() {
        QFETCH(QString, line);
        QFETCH(QString, file);
        QFETCH(int, number);
        QFETCH(bool, error);
        const auto entry = parseLogLine(line);
        QVERIFY(entry);
        QCOMPARE(entry->file, file);
        QCOMPARE(entry->line, number);
        QCOMPARE(entry->error, error);
    }

    void otherLinesNameNothing() {
        for (const char *line : {"Assembling ./hello.z80", "Build failed: no program was written.",
                                 "ERROR: Symbol 'nowhere' is undefined", "... and 10 more errors",
                                 "tasm: pass 1 complete.", ""})
            QVERIFY2(!parseLogLine(line), line);
        QCOMPARE(logEntryPath(*parseLogLine("../inc/x.inc:1: error: e"), "/p/src"),
                 QStringLiteral("/p/inc/x.inc"));
        QCOMPARE(logEntryPath(*parseLogLine("/abs/x.inc:1: error: e"), "/p/src"),
                 QStringLiteral("/abs/x.inc"));
    }
};

QTEST_APPLESS_MAIN(LogParserTest)
#include "core_logparser_test.moc"
