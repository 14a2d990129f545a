// The dialect translator: what pasmo makes of its output, and the errors it
// names by file and line.

#include "translator.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}
} // namespace

class TranslatorTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString include; // stands for ~/Asm/TASM

    void write(const QString &name, const QByteArray &text) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    Translation translate(const QByteArray &source) {
        write("t.z80", source);
        return translateFile(dir.filePath("t.z80").toStdString(), {include.toStdString()});
    }
    // Translates and assembles; the program's bytes, or "<errors>" and the messages.
    QByteArray assemble(const QByteArray &source) {
        const Translation t = translate(source);
        if (!t.ok())
            return "<errors>" + QByteArray::fromStdString(t.errors.front());
        QFile out(dir.filePath("out.asm"));
        if (!out.open(QIODevice::WriteOnly))
            return "<unwritable>";
        for (const std::string &line : t.lines)
            out.write(QByteArray::fromStdString(line) + "\n");
        out.close();
        QFile::remove(dir.filePath("out.bin"));
        QProcess pasmo;
        pasmo.setWorkingDirectory(dir.path());
        pasmo.start("pasmo", {"--bin", "out.asm", "out.bin"});
        pasmo.waitForFinished(30000);
        QFile bin(dir.filePath("out.bin"));
        if (pasmo.exitCode() != 0 || !bin.open(QIODevice::ReadOnly))
            return "<pasmo>" + pasmo.readAllStandardError();
        return bin.readAll();
    }
    QString firstError(const QByteArray &source) {
        const Translation t = translate(source);
        return t.ok() ? QString("<no error>") : QString::fromStdString(t.errors.front());
    }

private slots:
    void initTestCase() {
        include = dir.filePath("TASM");
        QDir().mkpath(include);
    }

    void tutorialHelloGivesTheHandAssembledBytes() {
        write("TASM/ti83plus.inc", "#define bcall(label) rst 28h \\ .dw label\r\n"
                                   "userMem         .equ    9D95h\r\n"
                                   "t2ByteTok       .equ    0BBh\r\n"
                                   "tAsmCmp         .equ    6Dh\r\n"
                                   "_ClrLCDFull     .equ    4540h\r\n"
                                   "_HomeUp .EQU 4558h\r\n"
                                   "_PutS = 450Ah\r\n");
        const QByteArray program =
            assemble("#include \"TI83PLUS.INC\"\r\n"
                     ".org userMem-2\r\n"
                     ".db t2ByteTok,tAsmCmp\r\n"
                     "        bcall(_ClrLCDFull)\r\n"
                     "        bcall(_HomeUp)\r\n"
                     "        ld hl,Msg\r\n"
                     "        bcall(_PutS)\r\n"
                     "        ret\r\n"
                     "Msg     .db \"C:\\\\TI; ok\",0  ; a string with \\ and ;\r\n"
                     ".end\r\n"
                     "this is never read\r\n");
        QCOMPARE(program, bytes({0xBB, 0x6D, 0xEF, 0x40, 0x45, 0xEF, 0x58, 0x45, 0x21, 0xA2, 0x9D,
                                 0xEF, 0x0A, 0x45, 0xC9}) +
                              QByteArray("C:\\TI; ok") + QByteArray(1, '\0'));
    }

    void expressionsGoStrictlyLeftToRight() {
        QCOMPARE(assemble(" .db 1+2*3, 2*3+1, 10-2-3, 1+2*3-4/2, [1+2]*3, -2+5, 255&15|16, 1<<2+1\n"
                          " .db 7%4, 6^3, ~0&15, (1+2)*(1+1), 1+1==2, 3>4, 16>>2\n"),
                 bytes({9, 7, 5, 2, 9, 3, 31, 5, 3, 5, 15, 6, 1, 0, 4}));
    }

    void numbersAndCharactersInEveryForm() {
        QCOMPARE(
            assemble(
                " .db $1A, 1Ah, 0x1a, %1010, 1010b, 'A', 'a'+1, 10, 0BBh, 17o\n .dw $+2, 1234h\n"),
            bytes({0x1A, 0x1A, 0x1A, 10, 10, 'A', 'b', 10, 0xBB, 15, 0x0C, 0x00, 0x34, 0x12}));
    }

    void operandsKeepTheirMeaning() {
        QCOMPARE(assemble("x .equ 4000h\n"
                          " ld a,(1+2)*3\n"  // a value, not memory
                          " ld a,(x)\n"      // memory
                          " ld a,(ix+2*3)\n" // index with an expression
                          " ld (iy-1),a\n"
                          " jp (hl)\n"
                          " ex af,af'\n"
                          " LD B,[1+1]*2\n"
                          " out (0),a\n"),
                 bytes({0x3E, 0x09, 0x3A, 0x00, 0x40, 0xDD, 0x7E, 0x06, 0xFD, 0x77, 0xFF, 0xE9,
                        0x08, 0x06, 0x04, 0xD3, 0x00}));
    }

    void labelsDirectivesAndBlocks() {
        QCOMPARE(assemble(".ORG 100h\n"
                          "start  nop\n"
                          "next:  jr start\n"
                          "  .BLOCK 2\n"
                          "  .fill 2, 0AAh\n"
                          "  .word next\n"
                          "  .byte 1 \\ .text \"ab\"\n"
                          "  .nolist\n"
                          "  .list\n"
                          "  .echo \"hello\"\n"),
                 bytes({0x00, 0x18, 0xFD, 0x00, 0x00, 0xAA, 0xAA, 0x01, 0x01, 0x01, 'a', 'b'}));
    }

    void includesDefinesAndConditionals() {
        write("inner.inc", "#define TWICE(a, b) .db a \\ .db b\r\nINNER .equ 7\r\n");
        write("outer.inc", "#include \"inner.inc\"\r\n#define FEATURE\r\n");
        QCOMPARE(assemble("#include <outer.inc>\n"
                          "#ifdef FEATURE\n"
                          " TWICE(INNER, 8)\n"
                          "#ifndef FEATURE\n"
                          " .db 99\n"
                          "#else\n"
                          " .db 1\n"
                          "#endif\n"
                          "#else\n"
                          " .db 98\n"
                          "#endif\n"
                          "#define LIMIT 3+1\n"
                          " .db LIMIT*2\n"
                          "#undefine LIMIT\n"
                          "#ifdef LIMIT\n"
                          " .db 97\n"
                          "#endif\n"),
                 bytes({7, 8, 1, 8}));
    }

    void ifEvaluatesLeftToRightWithDefines() {
        QCOMPARE(assemble("#define VERSION 2\n"
                          "#if 0\n .db 99\n#endif\n"
                          "#if VERSION+1*2 == 6\n .db 1\n#else\n .db 98\n#endif\n"
                          "#if VERSION > 3\n .db 97\n#else\n .db 2\n#endif\n"
                          "#ifdef NOTHING\n#if undefinedName\n#endif\n#endif\n"),
                 bytes({1, 2}));
    }

    void errorsNameTheFileAndLine_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown directive")
            << QByteArray(" nop\r\n .bogus 1\r\n") << "t.z80:2: error: unknown directive '.bogus'";
        QTest::newRow("unknown # directive")
            << QByteArray("#pragma x\n") << "t.z80:1: error: unknown directive '#pragma'";
        QTest::newRow("unterminated if")
            << QByteArray("\n#ifdef X\n nop\n") << "t.z80:2: error: #ifdef has no #endif";
        QTest::newRow("include not found")
            << QByteArray(" nop\n#include \"nothere.inc\"\n")
            << "t.z80:2: error: include file 'nothere.inc' not found";
        QTest::newRow("wrong argument count") << QByteArray("#define M(a,b) .db a\n M(1)\n")
                                              << "t.z80:2: error: M takes 2 argument(s), not 1";
        QTest::newRow("bad number")
            << QByteArray(" .db 12G\n") << "t.z80:1: error: cannot read the expression '12G'";
        QTest::newRow("error in an include") << QByteArray("#include \"bad.inc\"\n")
                                             << "bad.inc:3: error: unknown directive '.what'";
        QTest::newRow("if without a value")
            << QByteArray(" nop\n#if label+1\n#endif\n")
            << "t.z80:2: error: #if label+1: 'label' has no value before assembly";
        QTest::newRow("self define") << QByteArray("#define b b+b+b\n .db b\n")
                                     << "t.z80:2: error: a #define expands into itself";
        QTest::newRow("self include")
            << QByteArray("#include \"t.z80\"\n") << "t.z80:1: error: includes nest too deeply";
    }
    void errorsNameTheFileAndLine() {
        QFETCH(QByteArray, source);
        QFETCH(QString, error);
        write("bad.inc", "; fine\r\n nop\r\n .what\r\n");
        QVERIFY2(firstError(source).startsWith(error), qPrintable(firstError(source)));
    }

    void everyOutputLineMapsBack() {
        write("map.inc", "A .equ 1\n\nB .equ 2\n");
        const Translation t = translate("#include \"map.inc\"\n nop \\ nop\n");
        QVERIFY(t.ok());
        QCOMPARE(t.lines.size(), t.origins.size());
        QStringList where;
        for (const SourceLine &o : t.origins)
            where << QString::fromStdString(o.file) + ":" + QString::number(o.line);
        QCOMPARE(where, (QStringList{"map.inc:1", "map.inc:3", "t.z80:2", "t.z80:2"}));
    }

    void plainPasmoFormsPassThrough() {
        QCOMPARE(assemble("v equ 5\n        org 9D93h\n        db 0BBh, 6Dh\nstart:  ld a, v\n     "
                          "   dw start\n        ds 1\n"),
                 bytes({0xBB, 0x6D, 0x3E, 0x05, 0x95, 0x9D, 0x00}));
    }
};

QTEST_GUILESS_MAIN(TranslatorTest)
#include "kit_translator_test.moc"
