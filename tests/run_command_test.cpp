// `quorvin --run` as a learner or a CI script uses it: tutorial-style
// programs built into .8xp files, run without a window, judged by the home
// screen printed with --text, the exit status and the reason on stderr.

#include "appheader.h"
#include "packer.h"

#include "run_programs.h"
#include "z80/assembler.h"
#include "z80/flashfile.h"
#include "z80/outputs.h"
#include "z80/source.h"
#include "z80/sourcemap.h"

#include <QImage>

#include <sys/stat.h>

namespace {

struct Outcome {
    int status;
    QString out, err;
};

} // namespace

class RunCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Builds the program into NAME.8xp and runs quorvin --run on it.
    Outcome run(const QString &name, const QString &body, const QStringList &options) {
        Bytes binary = {0xBB, 0x6D};
        const Bytes code = assemble(body);
        binary.insert(binary.end(), code.begin(), code.end());
        const PackResult packed = pack8xp(binary, name.toStdString());
        const QString path = dir.filePath(name + ".8xp");
        QFile f(path);
        if (code.empty() || !f.open(QIODevice::WriteOnly))
            return {-1, {}, {}};
        f.write(reinterpret_cast<const char *>(packed.file.data()), qint64(packed.file.size()));
        f.close();
        QProcess p;
        p.start(QUORVIN_PROGRAM, QStringList{"--run", path} + options);
        if (!p.waitForFinished(60000))
            return {-1, {}, {}};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    // Builds NAME.8xp with our assembler, its listing NAME.lst and labels NAME.lab
    // beside it as the kit leaves them, and runs quorvin --run on it.
    Outcome runBuilt(const QString &name, const std::string &source, const QStringList &options,
                     const std::map<std::string, std::string> &includes = {},
                     const std::string *map = nullptr) {
        z80::MemoryReader reader;
        const std::string main = "/p/" + name.toLower().toStdString() + ".z80";
        reader.files[main] = " .org 9D93h\n .db 0BBh, 6Dh\n" + source;
        for (const auto &[file, text] : includes)
            reader.files["/p/" + file] = text;
        const z80::Assembly a = z80::assemble(main, reader, {});
        if (!a.ok())
            return {-1, QString::fromStdString(z80::message(a.errors.front())), {}};
        const PackResult packed = pack8xp(a.bytes, name.toStdString());
        auto write = [&](const QString &ext, const std::string &bytes) {
            QFile f(dir.filePath(name + ext));
            return f.open(QIODevice::WriteOnly) &&
                   f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
        };
        if (!write(".8xp", std::string(packed.file.begin(), packed.file.end())) ||
            !write(".lst", z80::listing(a, reader, main)) || !write(".lab", z80::labelFile(a)) ||
            !write(".z80", reader.files[main]) ||
            (!includes.empty() && !write(".map", map ? *map : z80::writeMap(a))))
            return {-1, {}, {}};
        for (const auto &[file, text] : includes) {
            QFile f(dir.filePath(QString::fromStdString(file)));
            if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), qint64(text.size())) < 0)
                return {-1, {}, {}};
        }
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QUORVIN_PROGRAM, QStringList{"--run", dir.filePath(name + ".8xp")} + options);
        if (!p.waitForFinished(60000))
            return {-1, {}, {}};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:

    // An application (.8xk) runs as the calculator starts one, and ends with
    // bjump(_JForceCmdNoChar) as a program with its last ret; a file larger
    // than any application is refused without being read whole.
    void anApplicationRunsFromTheCommandLine() {
        z80::MemoryReader reader;
        reader.files["/p/hello.z80"] =
            " .org $4000\n .db $80,$0F,0,0,0,0, $80,$12,1,4, $80,$45,\"Hello\", $80,$81,0\n"
            " .db $80,$90, $03,$26,$09,$04,$04,$6F,$1B,$80, $02,$0D,$40\n .block 64\n"
            " .db $80,$7F,0,0,0,0\n"
            " ld hl,text\n rst 28h\n .dw $450A\n call $50\n .dw $4027\n"
            "text: .db \"HELLO APP\",0\n";
        const kit::PreparedApp app =
            kit::prepareApplication(z80::assemble("/p/hello.z80", reader, {}).bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        QFile f(dir.filePath("HELLO.8xk"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(z80::flashFile(app.bytes, app.name)));
        f.close();
        QProcess p;
        p.start(QUORVIN_PROGRAM, {"--run", f.fileName(), "--text"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).startsWith("HELLO APP       \n"));
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(qint64(run::kMaxApplicationFileBytes), '\n'));
        f.close();
        QProcess big;
        big.start(QUORVIN_PROGRAM, {"--run", f.fileName()});
        QVERIFY(big.waitForFinished(60000));
        QCOMPARE(big.exitCode(), 1);
        QVERIFY(QString::fromUtf8(big.readAllStandardError())
                    .contains("more than an application file"));
    }
    void helloWorldPrintsItsGreeting() {
        const Outcome o = run("HELLO", R"(
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, text
        bcall(_PutS)
        bcall(_NewLine)
        ld hl, 2026
        bcall(_DispHL)
        ret
text:   db "Hello, world!", 0)",
                              {"--text", "--screenshot", dir.filePath("hello.png")});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out, QString("Hello, world!   \n 2026           \n            Done\n") +
                            QString("                \n").repeated(5));
        const QImage shot(dir.filePath("hello.png"));
        QCOMPARE(shot.size(), QSize(96, 64));
        int dark = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                dark +=
                    qGray(shot.pixel(x, y)) < 128 ? (y < 24 ? 1 : 1000) : 0; // Done is on line 3
        QVERIFY(dark > 0 && dark < 1000);
    }

    // Each key the list gives is read by _GetKey and shown as its key code.
    void aKeyLoopReadsTheKeysGiven() {
        const QString loop = R"(
        bcall(_HomeUp)
again:  bcall(_GetKey)
        cp 9                    ; kClear
        ret z
        ld l, a
        ld h, 0
        bcall(_DispHL)
        bcall(_NewLine)
        jr again)";
        const Outcome o = run("KEYS", loop, {"--keys", "2,ENTER,2ND,MODE,A,CLEAR", "--text"});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.split('\n').mid(0, 4),
                 QStringList({"  144           ", "    5           ", "   64           ",
                              "  154           "}));
        const Outcome out = run("KEYS", loop, {"--keys", "2"});
        QCOMPARE(out.status, 1);
        QCOMPARE(out.err, QString("quorvin: KEYS: the program waits for a key (_GetKey at 9D98h) "
                                  "and the list of keys has run out\n"));
    }

    void aRunThatDoesNotEndSaysWhy() {
        const Outcome loop = run("LOOP", "spin: jr spin", {"--cycles", "1200000"});
        QCOMPARE(loop.status, 1);
        QCOMPARE(loop.err, QString("quorvin: LOOP: the program was still running after 1200000 "
                                   "cycles (0.2 seconds of calculator time)\n"));
        const Outcome key = run("LOOP", "ret", {"--keys", "ENTER,FOO"});
        QCOMPARE(key.status, 2);
        QCOMPARE(key.err, QString("quorvin: no calculator key is called FOO\n"));
    }

    // A TI-84 Plus program that asks for 15 MHz and waits on a crystal timer
    // (WikiTI, 83Plus:Ports:20 and :30) runs to its end with --model 84p; on
    // the TI-83 Plus, where that port is the link port, the run that never
    // ends names the port and the model it wanted.
    void aTi84PlusProgramNeedsItsModel() {
        const QString wait = R"(
        ld a, 1
        out (20h), a
        ld a, 47h
        out (30h), a
        xor a
        out (31h), a
        ld a, 4
        out (32h), a
wait:   in a, (32h)
        or a
        jr nz, wait
        ret)";
        const Outcome on84 = run("CRYSTAL", wait, {"--model", "84p"});
        QCOMPARE(on84.err, QString());
        QCOMPARE(on84.status, 0);
        const Outcome on83 = run("CRYSTAL", wait, {"--cycles", "6000000"});
        QCOMPARE(on83.status, 1);
        QCOMPARE(on83.err,
                 QString("quorvin: CRYSTAL: the program was still running after 6000000 cycles (1 "
                         "seconds of calculator time) (it read port 32h, the TI-84 Plus's crystal "
                         "timer, which on a TI-83 Plus is only the link port again; it may need a "
                         "TI-84 Plus (--model 84p))\n"));
    }

    // --send puts a variable in memory before the run, as the link software
    // would: a string (type 04h, named Str1 by the tokens AAh 00h, its data a
    // size word and the token bytes; TI's link guide, the variable file
    // format) that the program finds with _ChkFindSym and shows. A file cut
    // short is refused with its reason before the program starts.
    void aSentStringIsFoundByTheProgram() {
        const QString show = R"(
        ld hl, name
        rst 20h                 ; _Mov9ToOP1
        bcall(_ChkFindSym)
        ret c
        ex de, hl
        ld b, (hl)
        inc hl
        inc hl
        bcall(_HomeUp)
show:   ld a, (hl)
        bcall(_PutC)
        inc hl
        djnz show
        ret
name:   db 04h, 0AAh, 0, 0, 0, 0, 0, 0, 0)";
        const Bytes data = {0x05, 0x00, 'H', 'E', 'L', 'L', 'O'};
        Bytes file = {'*', '*', 'T', 'I', '8', '3', 'F', '*', 0x1A, 0x0A, 0x00};
        file.resize(53, 0);
        const std::size_t entry = 2 + 13 + 2 + data.size();
        file.push_back(std::uint8_t(entry)), file.push_back(std::uint8_t(entry >> 8));
        for (int b : {0x0D, 0x00, int(data.size()), 0x00, 0x04, 0xAA, 0x00})
            file.push_back(std::uint8_t(b));
        file.resize(file.size() + 6 + 2, 0); // the rest of the name, version and flag
        file.push_back(std::uint8_t(data.size())), file.push_back(0x00);
        file.insert(file.end(), data.begin(), data.end());
        unsigned sum = 0;
        for (std::size_t i = 55; i < file.size(); ++i)
            sum += file[i];
        file.push_back(std::uint8_t(sum)), file.push_back(std::uint8_t(sum >> 8));
        const auto write = [&](const QString &name, const Bytes &bytes) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        };
        write("STR1.8xs", file);
        const Outcome o = run("SHOW", show, {"--send", dir.filePath("STR1.8xs"), "--text"});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.split('\n').first(), QString("HELLO           "));
        // Without it the program finds nothing and shows nothing.
        QVERIFY(!run("SHOW", show, {"--text"}).out.contains("HELLO"));
        write("CUT.8xs", Bytes(file.begin(), file.end() - 6));
        const Outcome cut = run("SHOW", show, {"--send", dir.filePath("CUT.8xs")});
        QCOMPARE(cut.status, 1);
        QVERIFY2(cut.err.contains("cut short"), qPrintable(cut.err));
        Bytes damaged = file;
        damaged[damaged.size() - 3] ^= 0x20; // a letter of the string, the checksum unchanged
        write("BAD.8xs", damaged);
        const Outcome bad = run("SHOW", show, {"--send", dir.filePath("BAD.8xs")});
        QCOMPARE(bad.status, 1);
        QVERIFY2(bad.err.contains("checksum is wrong"), qPrintable(bad.err));
        const Outcome device = run("SHOW", show, {"--send", "/dev/zero"});
        QCOMPARE(device.status, 1);
        QCOMPARE(device.err, QString("quorvin: --send: /dev/zero is not a regular file\n"));
        const Outcome model = run("SHOW", show, {"--model", "85"});
        QCOMPARE(model.status, 2);
        QCOMPARE(model.err, QString("quorvin: --model wants 83p or 84p, not 85\n"));
    }

    // --break by label stops there with the registers, the flags and the
    // source line the listing gives; --regs prints the registers at the end.
    void aBreakpointStopsWithTheRegistersAndTheLine() {
        const std::string counting = R"(
        ld b, 3
again:  ld a, b
        djnz again
        ld hl, 1234h
        ret
)";
        const Outcome o = runBuilt("COUNT", counting, {"--break", "again"});
        QCOMPARE(o.err, QString());
        QCOMPARE(o.status, 3);
        const QStringList lines = o.out.split('\n');
        QCOMPARE(lines.value(0),
                 QString("COUNT: stopped at 9D97h (again), COUNT.z80:5: again:  ld a, b"));
        QVERIFY2(lines.value(1).startsWith("AF=") && lines.value(1).contains("BC=03") &&
                     lines.value(1).contains("PC=9D97"),
                 qPrintable(o.out));
        QVERIFY2(lines.value(2).startsWith("S=") && lines.value(2).contains("interrupts on"),
                 qPrintable(o.out));
        const Outcome byAddress = runBuilt("COUNT", counting, {"--break", "9D9Ah"});
        QCOMPARE(byAddress.status, 3);
        QVERIFY2(byAddress.out.contains("BC=00"), qPrintable(byAddress.out)); // after the loop
        const Outcome unknown = runBuilt("COUNT", counting, {"--break", "nowhere"});
        QCOMPARE(unknown.status, 2);
        const Outcome end = runBuilt("COUNT", counting, {"--regs"});
        QCOMPARE(end.status, 0);
        QVERIFY2(end.out.contains("HL=1234"), qPrintable(end.out));
    }

    // With the kit's source map, --break FILE:LINE stops at the line's first
    // statement, in an include too; a line without code stands for the next
    // line with code. A map written for other bytes is refused.
    void aMapStopsAtAFileAndLineAndAStaleMapIsRefused() {
        const std::string main = " ld b, 2\nagain:\n call twice\n djnz again\n ret\n"
                                 "#include \"inc.z80\"\n";
        const std::map<std::string, std::string> inc = {
            {"inc.z80", "; doubles a\ntwice:\n add a, a \\ inc c\n ret\n"}};
        const Outcome o = runBuilt("MAP", main, {"--break", "inc.z80:2"}, inc);
        QCOMPARE(o.status, 3);
        QCOMPARE(o.out.section('\n', 0, 0), "MAP: stopped at 9D9Dh (twice), " +
                                                dir.filePath("inc.z80") + ":3: add a, a \\ inc c");
        QVERIFY2(o.out.contains("BC=02"), qPrintable(o.out)); // the first time round
        const Outcome inMain = runBuilt("MAP", main, {"--break", "map.z80:4"}, inc);
        QCOMPARE(inMain.status, 3);
        QVERIFY2(inMain.out.startsWith("MAP: stopped at 9D97h (again), map.z80:5: "),
                 qPrintable(inMain.out));
        const Outcome nowhere = runBuilt("MAP", main, {"--break", "inc.z80:9"}, inc);
        QCOMPARE(nowhere.status, 2);

        // The map of the program before an edit: same lines, other bytes.
        z80::MemoryReader reader;
        reader.files["/p/map.z80"] = " .org 9D93h\n .db 0BBh, 6Dh\n" + main;
        reader.files["/p/inc.z80"] = "; doubles a\ntwice:\n add a, b \\ inc c\n ret\n";
        const std::string old = z80::writeMap(z80::assemble("/p/map.z80", reader, {}));
        const Outcome stale = runBuilt("MAP", main, {"--break", "inc.z80:3"}, inc, &old);
        QCOMPARE(stale.status, 1);
        QCOMPARE(stale.err, QString("quorvin: MAP: The program has changed since its map was "
                                    "written; build it again.\n"));
    }

    // --log prints its message at each pass without stopping; --watch stops
    // after the instruction that writes the byte.
    void aLogMessageAndAWatchedByte() {
        const std::string counting = " ld b, 2\nagain: ld (9000h), a\n djnz again\n ret\n";
        const Outcome o = runBuilt("WATCH", counting, {"--log", "again=b={b} de={DE}"});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out, QString("b=02h de=FFFFh\nb=01h de=FFFFh\n"));
        const Outcome w = runBuilt("WATCH", counting, {"--watch", "9000h"});
        QCOMPARE(w.status, 3);
        QVERIFY2(w.out.startsWith("WATCH: stopped after a write to 9000h, before 9D9Ah "
                                  "(again+3), WATCH.z80:5:"),
                 qPrintable(w.out));
        QCOMPARE(runBuilt("WATCH", counting, {"--watch", "WATCH.z80:4"}).status, 2);
    }

    // One line a instruction in the order run, each with its label and line.
    void aTraceNamesEachInstructionRun() {
        const QString file = dir.filePath("trace.txt");
        const Outcome o = runBuilt("TRACE", " ld b, 2\nloop: djnz loop\n ret\n", {"--trace", file});
        QCOMPARE(o.status, 0);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QStringList shown;
        quint64 last = 0;
        for (const QString &line : lines) {
            const QStringList fields = line.split('\t');
            QCOMPARE(fields.size(), 5);
            QVERIFY(fields[0].toULongLong() >= last);
            last = fields[0].toULongLong();
            shown << fields.mid(1).join('|');
        }
        QCOMPARE(shown,
                 QStringList(
                     {"9D95h||TRACE.z80:3|ld b, 2", "9D97h|loop|TRACE.z80:4|loop: djnz loop",
                      "9D97h|loop|TRACE.z80:4|loop: djnz loop", "9D99h|loop+2|TRACE.z80:5|ret"}));
    }

    // A check stops the run at the instruction at fault and names it.
    void aCheckStopsTheRunAndNamesTheLine() {
        const Outcome o = runBuilt("LEFT", " push hl\n ret\n", {});
        QCOMPARE(o.status, 1);
        QCOMPARE(o.err,
                 QString("quorvin: LEFT: SP: the program returns at 9D96h with SP at FFFCh, "
                         "2 bytes below where it started (FFFEh), at 9D96h, LEFT.z80:4: ret\n"));
    }

    // Only regular files are read, and no more than a program file can be: a
    // FIFO nobody writes to and /dev/zero are refused at once instead of
    // blocking or growing without end. A damaged file runs only when asked.
    void filesThatAreNoProgramAreRefused() {
        const QString fifo = dir.filePath("pipe.8xp");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile(dir.filePath("EMPTY.8xp")).open(QIODevice::WriteOnly));
        QVERIFY(QDir(dir.path()).mkpath("FOLDER.8xp"));
        const std::pair<QString, QString> notPrograms[] = {
            {fifo, "is not a regular file"},
            {"/dev/zero", "is not a regular file"},
            {dir.filePath("FOLDER.8xp"), "is not a regular file"},
            {dir.filePath("NONE.8xp"), "does not exist"},
            {dir.filePath("EMPTY.8xp"), "is empty"}};
        for (const auto &[path, why] : notPrograms) {
            QProcess p;
            p.start(QUORVIN_PROGRAM, {"--run", path});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 1);
            const QString said = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(said.contains(path + " " + why), qPrintable(said));
        }
        QVERIFY(run("GOOD", "ret", {}).status == 0);
        QFile f(dir.filePath("GOOD.8xp"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(f.size() - 1);
        const char last = f.read(1).at(0);
        f.seek(f.size() - 1);
        f.write(QByteArray(1, char(last ^ 1)));
        f.close();
        QProcess refused;
        refused.start(QUORVIN_PROGRAM, {"--run", f.fileName()});
        QVERIFY(refused.waitForFinished(60000));
        QCOMPARE(refused.exitCode(), 1);
        QVERIFY(QString::fromUtf8(refused.readAllStandardError()).contains("checksum"));
        QProcess anyway;
        anyway.start(QUORVIN_PROGRAM, {"--run", f.fileName(), "--ignore-checksum"});
        QVERIFY(anyway.waitForFinished(60000));
        QCOMPARE(anyway.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(anyway.readAllStandardError()),
                 QString("quorvin: GOOD: the file's checksum is wrong; running it as asked\n"));
    }
};

QTEST_GUILESS_MAIN(RunCommandTest)
#include "run_command_test.moc"
