// Flash applications on the runner, as the calculator starts them (TI's
// developer guide, "Application Header", "Multi-Page Applications"): the
// pages put in the archive from its top page down and mapped at 4000h through
// port 6 (WikiTI, 83Plus:Ports:06), the code right after the header,
// `bjump(_JForceCmdNoChar)` as the end, calls through the branch table to
// another page and back; and an application variable sent beforehand found
// by _ChkFindSym. Built with the kit's assembler and header rules.

#include "appheader.h"
#include "packer.h"
#include "run/program.h"
#include "run/session.h"
#include "z80/assembler.h"
#include "z80/flashfile.h"

#include "appsource.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The OS's calls and the two macros as ti83plus.inc defines them.
const std::string kCalls = "#define bcall(label) rst 28h \\ .dw label\n"
                           "#define bjump(label) call 50h \\ .dw label\n"
                           "_PutS = $450A\n_ChkFindSym = $42F1\n_JForceCmdNoChar = $4027\n"
                           "_ClrLCDFull = $4540\n";

// The application's .8xk file, from a source after the header.
std::vector<std::uint8_t> application(const std::string &name, const std::string &body) {
    z80::MemoryReader reader;
    reader.files["/p/app.z80"] = kCalls + appHeader(name) + body;
    const z80::Assembly a = z80::assemble("/p/app.z80", reader, {});
    const kit::PreparedApp app = kit::prepareApplication(a.bytes);
    if (!app.error.empty())
        qWarning("%s", app.error.c_str());
    const std::string file = z80::flashFile(app.bytes, app.name);
    return {file.begin(), file.end()};
}

std::string ran(run::Session &s) {
    s.runUntil(60000000);
    return s.stopped() ? (s.stopped()->returned ? "returned" : s.stopped()->reason) : "running";
}

QString line(const run::Session &s, int row) {
    return QString::fromStdU32String(
               run::homeText(s.machine().lcd()).substr(std::size_t(row) * 17, 16))
        .trimmed();
}

} // namespace

class RunAppsTest : public QObject {
    Q_OBJECT
private slots:
    // The one-page application runs from 4000h on the archive's top page (15h
    // on the TI-83 Plus, 29h on the TI-84 Plus), draws with the OS and ends
    // with bjump(_JForceCmdNoChar), as a program ends with its last ret.
    void aOnePageApplicationRunsFromTheFlashAndEnds() {
        const auto file = application("One", " bcall(_ClrLCDFull)\n ld hl,text\n bcall(_PutS)\n"
                                             " in a,(6)\n ld ($9872),a\n"
                                             " bjump(_JForceCmdNoChar)\n"
                                             " ld a,1\n ld ($9873),a\n ret\n"
                                             "text: .db \"FROM FLASH\",0\n");
        const run::Program p = run::readProgram(file);
        QCOMPARE(QString::fromStdString(p.error), QString());
        QCOMPARE(QString::fromStdString(p.name), QString("One"));
        QCOMPARE(p.applicationPages, 1);
        for (const auto &[model, page] :
             {std::pair{run::Model::Ti83Plus, 0x15}, std::pair{run::Model::Ti84Plus, 0x29}}) {
            run::Session s(p, {}, model);
            QCOMPARE(QString::fromStdString(ran(s)), QString("returned"));
            QCOMPARE(line(s, 0), QString("FROM FLASH"));
            QCOMPARE(int(s.machine().read(0x9872)), page);
            QCOMPARE(int(s.machine().read(0x9873)), 0); // nothing after the bjump ran
        }
    }

    // Two pages: the branch table after a jump over it, on a multiple of three
    // from the page's start; bcall with its offset maps page 2 (14h), runs the
    // routine there and comes back on page 1 (15h) with its result; bjump
    // through the table does not come back.
    void aCallToTheSecondPageReturnsToTheFirst() {
        const auto file = application(
            "Two", " jp start\n"
                   " .block (3 - (($ - $4000) % 3)) % 3\n"
                   "_Far = $ - $4000\n .dw far\n .db 1\n"
                   "_Last = $ - $4000\n .dw last\n .db 1\n"
                   "start:\n ld a,5\n bcall(_Far)\n ld ($9872),a\n in a,(6)\n ld ($9873),a\n"
                   " bjump(_Last)\n"
                   " .block $8000-($ & $FFFF)\n .org $4000+$10000\n"
                   "far:\n in a,(6)\n ld ($9874),a\n ld hl,text\n bcall(_PutS)\n"
                   " ld a,42\n ret\n"
                   "last:\n in a,(6)\n ld ($9875),a\n bjump(_JForceCmdNoChar)\n"
                   "text: .db \"PAGE TWO\",0\n");
        const run::Program p = run::readProgram(file);
        QCOMPARE(QString::fromStdString(p.error), QString());
        QCOMPARE(p.applicationPages, 2);
        run::Session s(p);
        QCOMPARE(QString::fromStdString(ran(s)), QString("returned"));
        QCOMPARE(int(s.machine().read(0x9874)), 0x14); // the routine ran on the second page
        QCOMPARE(int(s.machine().read(0x9872)), 42);   // and returned its result
        QCOMPARE(int(s.machine().read(0x9873)), 0x15); // to the caller's page
        QCOMPARE(int(s.machine().read(0x9875)), 0x14); // the bjump went on there
        QCOMPARE(line(s, 0), QString("PAGE TWO"));
    }

    // A table entry naming a page the application does not have stops the
    // run with where, instead of running the archive's empty Flash.
    void aBranchToAMissingPageStops() {
        const auto file = application("Bad", " bcall(_Nowhere)\n ret\n"
                                             "_Nowhere = $ - $4000\n .dw $4000\n .db 3\n");
        run::Session s(run::readProgram(file));
        QVERIFY(QString::fromStdString(ran(s)).contains("names its page 3, and it has 1"));
    }

    // An application variable sent as a file (.8xv, archived or not) is
    // found by _ChkFindSym from the application: DE points to its size word.
    void aSentApplicationVariableIsFound() {
        const std::uint8_t name[8] = {'D', 'A', 'T', 'A', 0, 0, 0, 0};
        const auto sent = packVariable({7, 8, 9}, name, 0x15, true, true);
        QCOMPARE(QString::fromStdString(sent.error), QString());
        const auto file = application("Find", " ld hl,var\n rst 20h\n bcall(_ChkFindSym)\n"
                                              " jr c,none\n ex de,hl\n inc hl\n inc hl\n"
                                              " ld a,(hl)\n ld ($9872),a\n"
                                              "none:\n bjump(_JForceCmdNoChar)\n"
                                              "var: .db $15,\"DATA\",0\n");
        run::Session s(run::readProgram(file));
        QCOMPARE(QString::fromStdString(s.send(run::readVariables(sent.file))), QString());
        QCOMPARE(QString::fromStdString(ran(s)), QString("returned"));
        QCOMPARE(int(s.machine().read(0x9872)), 7);
    }

    // An application finds itself as TI's System Routines describe it:
    // _FindApp with its name in OP1 gives its first page (carry clear), any
    // other name carry set; _FindAppUp from a name before its own gives its
    // name; _GetAppBasePage turns any of its pages into its first.
    // The runner holds the running application alone.
    void anApplicationFindsItselfAndNoOther() {
        const auto file = application(
            "Finder", "_FindApp = $4C4E\n_FindAppUp = $4C48\n_GetAppBasePage = $50BC\n"
                      " ld hl,self\n rst 20h\n bcall(_FindApp)\n ld ($9872),a\n sbc a,a\n"
                      " ld ($9873),a\n"
                      " ld hl,other\n rst 20h\n bcall(_FindApp)\n sbc a,a\n ld ($9874),a\n"
                      " ld hl,before\n rst 20h\n bcall(_FindAppUp)\n sbc a,a\n ld ($9875),a\n"
                      " ld a,($8479)\n ld ($9876),a\n"
                      " ld hl,self\n rst 20h\n bcall(_FindAppUp)\n sbc a,a\n ld ($9877),a\n"
                      " ld a,$14\n bcall(_GetAppBasePage)\n ld ($9878),a\n"
                      " ld a,$13\n bcall(_GetAppBasePage)\n sbc a,a\n ld ($9879),a\n"
                      " bjump(_JForceCmdNoChar)\n"
                      "self: .db $14,\"Finder\",0\nother: .db $14,\"Other\",0\n"
                      "before: .db $14,\"A\",0\n"
                      " .block $8000-($ & $FFFF)\n .org $14000\n .db 0\n");
        run::Session s(run::readProgram(file));
        QCOMPARE(QString::fromStdString(ran(s)), QString("returned"));
        QCOMPARE(int(s.machine().read(0x9872)), 0x15); // its first page
        QCOMPARE(int(s.machine().read(0x9873)), 0);    // found
        QCOMPARE(int(s.machine().read(0x9874)), 0xFF); // no application "Other"
        QCOMPARE(int(s.machine().read(0x9875)), 0);    // after "A" comes "Finder"
        QCOMPARE(char(s.machine().read(0x9876)), 'F');
        QCOMPARE(int(s.machine().read(0x9877)), 0xFF); // and none after "Finder"
        QCOMPARE(int(s.machine().read(0x9878)), 0x15); // from its second page, 14h
        QCOMPARE(int(s.machine().read(0x9879)), 0xFF); // 13h is none of its pages
    }

    // Damaged and hostile files are refused before anything runs: cut short,
    // a page far past the Flash, a header that disagrees with the pages, more
    // pages than the archive holds, a file larger than any application.
    void damagedApplicationsAreRefused() {
        const auto good = application("Cut", " bjump(_JForceCmdNoChar)\n");
        for (std::size_t n : {std::size_t(8), std::size_t(77), std::size_t(100), good.size() - 1}) {
            const run::Program p = run::readProgram({good.begin(), good.begin() + long(n)});
            QVERIFY2(!p.error.empty(), qPrintable(QString::number(n)));
            QVERIFY(!run::Session(p).stopped()->returned);
        }
        // A second page record far past the Flash.
        std::string text(good.begin(), good.end());
        text.insert(text.size() - 11, ":020000020100FB\r\n:0140000000BF\r\n");
        std::string far = text.substr(0, 0x4A);
        const std::size_t length = text.size() - 78;
        for (int i = 0; i < 4; ++i)
            far += char(length >> (8 * i) & 0xFF);
        far += text.substr(78);
        QVERIFY(QString::fromStdString(run::readProgram({far.begin(), far.end()}).error)
                    .contains("page 256"));
        // 14 pages fit the TI-83 Plus's archive; 15 do not.
        std::string pages;
        for (int i = 0; i < 15; ++i)
            pages += " .block $8000-($ & $FFFF)\n .org $4000+(" + std::to_string(i + 1) +
                     "*$10000)\n nop\n";
        const run::Program big = run::readProgram(application("Big", " ret\n" + pages));
        QCOMPARE(QString::fromStdString(big.error), QString());
        QVERIFY(QString::fromStdString(run::Session(big).stopped()->reason)
                    .contains("16 pages, and the TI-83 Plus's archive holds 14"));
        std::vector<std::uint8_t> huge(good);
        huge.resize(run::kMaxApplicationFileBytes + 1, '\n');
        QVERIFY(QString::fromStdString(run::readProgram(huge).error).contains("more than"));
    }
};

QTEST_GUILESS_MAIN(RunAppsTest)
#include "run_apps_test.moc"
