// Flash applications as the kit builds them: the header's fields filled and
// checked by TI's rules, pages of 16 KB, the .8xk file read back by the
// library the Linux link program uses, signatures made with a key of our
// own (tests/data/test-signing.key, made with RabbitSign's rskeygen --ti
// for these tests; no key of the calculator's maker is in the repository)
// and checked, and asm.bat building an application end to end.

#include "appheader.h"
#include "appsign.h"
#include "packer.h"
#include "z80/assembler.h"
#include "z80/flashfile.h"
#include "z80/outputs.h"
#include "z80/sourcemap.h"
#include "z80/variableform.h"

#include "core/kitsetup.h"
#include "core/locations.h"
#include "fakes.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include "appsource.h"

#include <QSignalSpy>
#include <QTest>
#include <set>

#define restrict __restrict
#include <tifiles.h>
#undef restrict

namespace {

// The next page, as app.inc's defpage places it: the rest of this page
// filled, then 4000h again (the page number in the address's high bits).
std::string page(int n) {
    return " .block $8000-($ & $FFFF)\n .org $4000+(" + std::to_string(n) + "*$10000)\n";
}

z80::Assembly assemble(const std::string &text) {
    z80::MemoryReader reader;
    reader.files["/p/app.z80"] = text;
    return z80::assemble("/p/app.z80", reader, {});
}

QStringList messages(const z80::Assembly &a) {
    QStringList out;
    for (const auto &list : {z80::errorLines(a), z80::messages(a.warnings)})
        for (const std::string &m : list)
            out << QString::fromStdString(m);
    return out;
}

std::size_t stated(const std::vector<std::uint8_t> &b) {
    return std::size_t(b[2]) << 24 | std::size_t(b[3]) << 16 | std::size_t(b[4]) << 8 | b[5];
}

// The page count's byte: after the fields before it in appHeader().
std::size_t pageCountAt(const std::string &name) {
    return 6 + 4 + 2 + name.size() + 2;
}

struct ReadBack {
    QString name;
    std::vector<std::vector<std::uint8_t>> pages;
    std::vector<int> numbers, addresses;
};

// The .8xk as the link library reads it.
ReadBack readWithTifiles(const std::string &file) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.8xk");
    ReadBack r;
    if (!writeBytes(path, QByteArray(file.data(), int(file.size()))))
        return r;
    FlashContent *c = tifiles_content_create_flash(CALC_TI83P);
    if (tifiles_file_read_flash(QFile::encodeName(path).constData(), c) == 0) {
        r.name = QString::fromLatin1(c->name);
        for (unsigned i = 0; i < c->num_pages; ++i) {
            const FlashPage *p = c->pages[i];
            r.pages.emplace_back(p->data, p->data + p->size);
            r.numbers.push_back(p->page);
            r.addresses.push_back(p->addr);
        }
    }
    // The link library's delete leaves a TI-83 Plus application's pages.
    tifiles_fp_delete_array(std::exchange(c->pages, nullptr));
    c->num_pages = 0;
    tifiles_content_delete_flash(c);
    return r;
}

struct Variable {
    int type = -1, attr = -1;
    QByteArray name, data;
};

// A variable file as the link library reads it.
Variable readVariable(const QString &path) {
    Variable v;
    FileContent *c = tifiles_content_create_regular(CALC_TI83P);
    if (tifiles_file_read_regular(QFile::encodeName(path).constData(), c) == 0 &&
        c->num_entries == 1) {
        const VarEntry *e = c->entries[0];
        v.type = e->type;
        v.attr = e->attr;
        v.name = QByteArray(e->name);
        v.data = QByteArray(reinterpret_cast<const char *>(e->data), int(e->size));
    }
    tifiles_content_delete_regular(c);
    return v;
}

kit::SigningKey testKey() {
    std::string error;
    const auto key =
        kit::readKey(readBytes(QFINDTESTDATA("data/test-signing.key")).toStdString(), &error);
    if (!key)
        qFatal("the test key does not read: %s", error.c_str());
    return *key;
}

} // namespace

class AppsTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString at(const QString &relative) const { return home.filePath("Asm/" + relative); }

    int build(const QString &name, const QString &source) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUORVIN_SOURCE", source);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(at("asm.bat"), {name});
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QString lastLogLine() {
        const QStringList lines =
            QString::fromUtf8(readBytes(at("TASM/error.log"))).split('\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last();
    }

private slots:
    void initTestCase() {
        tifiles_library_init();
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(!setUpKit(KIT_STAGE_DIR, home.filePath("Asm")).error);
    }
    void cleanupTestCase() { tifiles_library_exit(); }

    // One page: the length field holds the bytes after it (big-endian), the
    // page count 1, and the link library reads page 0 at 4000h with every
    // byte the assembler made and the name from the header.
    void aOnePageApplicationCarriesItsHeaderFieldsFilled() {
        const z80::Assembly a =
            assemble(appHeader("Hello") + "start:\n rst 28h\n .dw $4527\n jp start\n .db \"hi\",0\n");
        QCOMPARE(messages(a), QStringList());
        QVERIFY(a.application);
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        QCOMPARE(app.pages, 1);
        QCOMPARE(app.name, std::string("Hello"));
        QCOMPARE(app.keyId, std::string("0104"));
        QCOMPARE(stated(app.bytes), app.bytes.size() - 6);
        QCOMPARE(int(app.bytes[pageCountAt("Hello")]), 1);
        // Everything but the two fields is the assembler's.
        std::vector<std::uint8_t> expected = a.bytes;
        std::copy(app.bytes.begin() + 2, app.bytes.begin() + 6, expected.begin() + 2);
        expected[pageCountAt("Hello")] = 1;
        QCOMPARE(app.bytes, expected);

        const ReadBack r = readWithTifiles(z80::flashFile(app.bytes, app.name));
        QCOMPARE(r.name, QString("Hello"));
        QCOMPARE(r.pages.size(), size_t(1));
        QCOMPARE(r.addresses, std::vector<int>{0x4000});
        QCOMPARE(r.pages[0], app.bytes);
    }

    // Three pages: the first two filled to 16,384 bytes, the last as long
    // as its code; a label on page 2 is seen at 4000h; the page count is 3
    // and each page's record names its page.
    void aThreePageApplicationFillsEveryPageButTheLast() {
        const z80::Assembly a = assemble(appHeader("Three") + " call far\n ret\n" + page(1) +
                                         " .db 1\n" + page(2) + "far:\n ld a,2\n ret\n");
        QCOMPARE(messages(a), QStringList());
        QCOMPARE(a.bytes.size(), size_t(2 * 0x4000 + 3));
        QCOMPARE(QString::fromStdString(z80::summary(a)),
                 QString("3 pages, 32,771 bytes (page 2 has 16,381 bytes left)."));
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        QCOMPARE(app.pages, 3);
        QCOMPARE(int(app.bytes[pageCountAt("Three")]), 3);
        const std::size_t call = pageCountAt("Three") + 1 + 2 + 8 + 3 + 64 + 6;
        QCOMPARE(int(app.bytes[call]), 0xCD);
        QCOMPARE(int(app.bytes[call + 1] | app.bytes[call + 2] << 8), 0x4000);

        const ReadBack r = readWithTifiles(z80::flashFile(app.bytes, app.name));
        QCOMPARE(r.numbers, (std::vector<int>{0, 1, 2}));
        QCOMPARE(r.addresses, (std::vector<int>{0x4000, 0x4000, 0x4000}));
        QCOMPARE(r.pages[1].size(), size_t(0x4000));
        QCOMPARE(int(r.pages[1][0]), 1);
        QCOMPARE(r.pages[2], (std::vector<std::uint8_t>{0x3E, 0x02, 0xC9}));
        // And the kit reads its own file back to the same bytes.
        std::string name, error;
        const auto back = z80::readFlashFile(z80::flashFile(app.bytes, app.name), &name, &error);
        QVERIFY(back);
        QCOMPARE(*back, app.bytes);

        // The listing names each line's page before its address, as spasm-ng's
        // does ("PP:AAAA"): the call on page 0, far: on page 2.
        z80::MemoryReader reader;
        reader.files["/p/app.z80"] = appHeader("Three") + " call far\n ret\n" + page(1) + " .db 1\n" +
                                     page(2) + "far:\n ld a,2\n ret\n";
        const QString listing = QString::fromStdString(z80::listing(a, reader, "/p/app.z80"));
        QVERIFY2(listing.contains(QRegularExpression(" 00:4\\w{3} CD 00 40 [- ]+call far")),
                 qPrintable(listing));
        QVERIFY(listing.contains(QRegularExpression(" 01:4000 01 [- ]+\\.db 1")));
        QVERIFY(listing.contains(QRegularExpression(" 02:4000 3E 02 [- ]+ld a,2")));
    }

    // A label on a later page keeps its page, as spasm-ng's app.inc gives
    // it (page N placed at N*10000h+4000h; spasm-ng's pass_two.cpp: "higher
    // bits of labels are used to store page info"): label>>16 is the page in
    // a branch table, a 16-bit field takes the address alone without a
    // word, jr counts within the page; the labels file writes the page above
    // the address as spasm-ng does, and the map names each statement's and
    // label's page and is read back to them.
    void labelsOnLaterPagesKeepTheirPage() {
        z80::MemoryReader reader;
        reader.files["/p/app.z80"] = appHeader("Paged") + "start: ld a,far>>16\n call far\n" +
                                     "entry: .dw far\n .db far>>16\n" + page(1) + "mid: .db 1\n" +
                                     page(2) + "far: ld a,2\n jr far\n";
        const z80::Assembly a = z80::assemble("/p/app.z80", reader, {});
        QCOMPARE(messages(a), QStringList());
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        const std::size_t start = pageCountAt("Paged") + 1 + 2 + 8 + 3 + 64 + 6;
        QCOMPARE(std::vector<std::uint8_t>(a.bytes.begin() + std::ptrdiff_t(start),
                                           a.bytes.begin() + std::ptrdiff_t(start + 8)),
                 (std::vector<std::uint8_t>{0x3E, 2, 0xCD, 0x00, 0x40, 0x00, 0x40, 2}));
        QCOMPARE(int(a.bytes[0x8000 + 3]), 0xFC); // jr far: back 4 bytes on page 2
        // far>>8 holds the page above the high byte: its low byte, with a
        // word, as spasm-ng writes it (a wider value is still refused).
        reader.files["/p/app.z80"] += " ld a,far>>8\n .db far>>8\n";
        const z80::Assembly cut = z80::assemble("/p/app.z80", reader, {});
        QCOMPARE(cut.errors.size(), size_t(0));
        QCOMPARE(cut.warnings.size(), size_t(2));
        QCOMPARE(std::vector<std::uint8_t>(cut.bytes.end() - 3, cut.bytes.end()),
                 (std::vector<std::uint8_t>{0x3E, 0x40, 0x40}));
        reader.files["/p/app.z80"] += " ld a,far\n";
        QVERIFY(!z80::assemble("/p/app.z80", reader, {}).ok());

        const QString labels = QString::fromStdString(z80::labelFile(a));
        QVERIFY2(labels.contains("far = $24000\n") && labels.contains("mid = $14000\n") &&
                     labels.contains(QRegularExpression("start = \\$40[0-9A-F]{2}\n")),
                 qPrintable(labels));

        const std::string mapText = z80::writeMap(a, app.bytes);
        std::string error;
        const auto map = z80::readMap(mapText, &error);
        QVERIFY2(map, error.c_str());
        QCOMPARE(map->pages, 3);
        QCOMPARE(*map->size, std::uint64_t(app.bytes.size()));
        const z80::SourceMap::Entry *onTwo = map->at(0x4000, 2);
        const z80::SourceMap::Entry *onOne = map->at(0x4000, 1);
        const z80::SourceMap::Entry *onZero = map->at(0x4000, 0);
        QVERIFY(onTwo && onOne && onZero);
        // appHeader() takes 10 lines, each page(n) 2.
        QCOMPARE(onTwo->at.line, 10 + 4 + 2 + 1 + 2 + 1); // far: ld a,2
        QCOMPARE(onOne->at.line, 10 + 4 + 2 + 1);         // mid: .db 1
        QCOMPARE(onZero->at.line, 2);                     // the header's first field
        QVERIFY(map->at(0x4000) == onZero);
        for (const auto &sym : map->symbols)
            if (sym.name == "far")
                QCOMPARE(sym.page, 2);
            else if (sym.name == "start")
                QCOMPARE(sym.page, 0);
        // A page is an application's: a program's map may not name one.
        const std::string program = "qvmap 1\nfile 0 p.z80\ncode 01:4000 1 0 0:1:1\n";
        QVERIFY(!z80::readMap(program, &error));
        QVERIFY(!z80::readMap("qvmap 1\npages 2\nfile 0 p.z80\ncode 02:4000 1 0 0:1:1\n", &error));
        QVERIFY(z80::readMap("qvmap 1\npages 2\nfile 0 p.z80\ncode 01:4000 1 0 0:1:1\n", &error));
    }

    // Brass's labels are 16-bit, its .page says where they are: the labels
    // file and the map give a label on page 1 its page all the same.
    void brassLabelsOnLaterPagesKeepTheirPage() {
        const z80::Assembly a = assemble(
            ".binarymode ti8xapp\n.variablename \"Paged\"\n.defpage 0, $4000, $4000\n"
            ".defpage 1, $4000, $4000\n.page 0\n .block 128\n call far\n ret\n.page 1\nfar: ret\n");
        QCOMPARE(messages(a), QStringList());
        QVERIFY(QString::fromStdString(z80::labelFile(a)).contains("far = $14000\n"));
        std::string error;
        const auto map = z80::readMap(z80::writeMap(a), &error);
        QVERIFY2(map, error.c_str());
        QVERIFY(map->at(0x4000, 1) && map->at(0x4000, 1)->at.line == 10);
    }

    // spasm-ng's app.inc is read as spasm-ng reads it: a directive of its
    // own made with a dotted #define, a #macro's parameter tested with
    // #ifdef (defined when given, as spasm-ng defines it while the macro
    // runs), a macro that defines its parameter anew, and state a macro
    // keeps in #defines it makes again each time, without warnings.
    void spasmApplicationMacroFormsAreRead() {
        const z80::Assembly a = assemble("#define .mypage mypage(\n"
                                         "#macro mypage(page, title)\n"
                                         "#ifndef title\n .db 0\n#else\n .db title\n#endif\n"
                                         "#define pages eval(page+1)\n"
                                         "#endmacro\n"
                                         "#macro rule(times, base)\n"
                                         "#if times > 0\n #define base base,\"-\"\n"
                                         " rule(eval(times-1), base)\n#else\n .db base\n"
                                         "#endif\n#endmacro\n"
                                         " .org 0\n mypage(0, \"A\")\n mypage(1)\n"
                                         " rule(2, \"x\")\n .db pages\n");
        QCOMPARE(messages(a), QStringList());
        QCOMPARE(a.bytes, (std::vector<std::uint8_t>{'A', 0, 'x', 2}));
    }

    // Brass's form (its manual's application tutorial): .binarymode ti8xapp,
    // .variablename, .defpage and .page; the build writes the header into
    // the 128 bytes page 0 leaves, as Brass's AppHeader does, fills page 0
    // to its .defpage size, and starts page 1 at its origin. Code where the
    // header goes, or pages out of order, are errors; a long name is cut.
    void brassApplicationsGetTheirHeaderAndPages() {
        const std::string pages = ".binarymode ti8xapp\n.variablename \"App Demo\"\n"
                                  ".defpage 0, 16*1024, $4000\n.defpage 1, 16*1024, $4000\n";
        const z80::Assembly a =
            assemble(pages + ".page 0\n .block 128\n call far\n ret\n.page 1\nfar: ret\n");
        QCOMPARE(messages(a), QStringList());
        QVERIFY(a.application);
        QCOMPARE(a.bytes.size(), size_t(0x4000 + 1));
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(QString::fromStdString(app.error), QString());
        QCOMPARE(app.name, std::string("App Demo"));
        QCOMPARE(app.pages, 2);
        QCOMPARE(app.keyId, std::string("0104"));
        QCOMPARE(int(a.bytes[128]), 0xCD); // call far, far on page 1 at 4000h
        QCOMPARE(int(a.bytes[129] | a.bytes[130] << 8), 0x4000);
        QCOMPARE(int(a.bytes[0x3FFF]), 0xFF);
        QCOMPARE(int(a.bytes[0x4000]), 0xC9);

        // A page defined and skipped is written whole as the empty fill
        // (Brass's Binaries.cs writes every page defined, 16 KB each, and
        // counts them in the header), not as an overflow of the page before;
        // of FFh, which the calculator erases, it is an error at its line.
        const std::string skipping = ".defpage 2, 16*1024, $4000\n.page 0\n .block 128\n"
                                     " call far\n.page 2\nfar: ret\n";
        QCOMPARE(messages(assemble(pages + skipping)),
                 QStringList{"app.z80:9: error: page 1 is skipped: it would hold only the empty "
                             "fill FFh, and the calculator erases a page that begins with FFh "
                             "(write on it, or choose another fill with .binaryfill)"});
        const z80::Assembly skipped = assemble(pages + ".binaryfill 0\n" + skipping);
        QCOMPARE(messages(skipped), QStringList());
        QCOMPARE(skipped.bytes.size(), size_t(2 * 0x4000 + 1));
        QCOMPARE(int(skipped.bytes[0x3FFF]), 0);
        QCOMPARE(int(skipped.bytes[0x4000]), 0);
        QCOMPARE(int(skipped.bytes[2 * 0x4000]), 0xC9);
        const kit::PreparedApp three = kit::prepareApplication(skipped.bytes);
        QCOMPARE(QString::fromStdString(three.error), QString());
        QCOMPARE(three.pages, 3);

        QCOMPARE(messages(assemble(pages + ".page 0\n ret\n")).value(0),
                 QString("app.z80:6: error: code in the first 128 bytes of the application, "
                         "where its header goes: start page 0 with .block 128"));
        QVERIFY(messages(assemble(pages + ".page 1\n .block 128\n.page 0\n ret\n"))
                    .value(0)
                    .contains("must come in increasing order"));
        const z80::Assembly longName =
            assemble(".binarymode ti8xapp\n.variablename \"Calculus\"\n.defpage 0, $4000, $4000\n"
                     ".page 0\n .block 128\n.variablename \"Too long a name\"\n");
        QCOMPARE(messages(longName),
                 QStringList{"app.z80:6: warning: the application's name 'Too long a name' is "
                             "cut to 8 characters: 'Too long'"});
    }

    // Brass's label access operator (Brass 3's help: "Operators", the
    // tightest of all, and the .page directive's `.echoln "Current page = ",
    // :$`): ":name" is the page a label is defined on, ":$" the page being
    // written, so a call between pages can load the page it needs.
    void brassNamesThePageOfALabelAndOfTheCodeItWrites() {
        const std::string pages = ".binarymode ti8xapp\n.variablename \"Paged\"\n"
                                  ".defpage 0, 16*1024, $4000\n.defpage 1, 16*1024, $4000\n"
                                  ".defpage 2, 16*1024, $4000\n";
        const z80::Assembly a = assemble(pages + ".page 0\n .block 128\n ld a,:far\n"
                                                 " ld b,:$\n ld c,:near+1\n ld hl,far\n"
                                                 "near: ret\n.page 1\n ret\n.page 2\n ld a,:$\n"
                                                 "far: ld a,:near\n");
        QCOMPARE(messages(a), QStringList());
        const auto at = [&a](size_t offset) { return int(a.bytes.at(offset)); };
        QCOMPARE(at(128), 0x3E); // ld a,2: far is on page 2, written after it
        QCOMPARE(at(129), 2);
        QCOMPARE(at(131), 0);                     // ld b,:$ on page 0
        QCOMPARE(at(133), 1);                     // ld c,:near+1: the page, then the sum
        QCOMPARE(at(135) | at(136) << 8, 0x4002); // the address itself is unchanged
        QCOMPARE(at(0x4000), 0xC9);
        QCOMPARE(at(2 * 0x4000 + 1), 2); // ld a,:$ on page 2
        QCOMPARE(at(2 * 0x4000 + 3), 0); // ld a,:near from page 2
    }

    // A page that runs past 7FFFh is named, with how far it runs over, at
    // the line that crosses; a program of that size is not limited by RAM.
    void aPageOverflowIsReportedAtItsLine() {
        const std::string text = appHeader("Big") + " .block 16000\n ld a,1\n .block 400\n" + page(1);
        const z80::Assembly a = assemble(text);
        const int headerBytes = 6 + 4 + 2 + 3 + 3 + 2 + 8 + 3 + 64 + 6;
        const int over = headerBytes + 16000 + 2 + 400 - 0x4000;
        QVERIFY(over > 0);
        QCOMPARE(messages(a).value(0),
                 QString("app.z80:13: error: page 0 of the application overflows by %1 bytes "
                         "from here: a page holds 16,384 bytes, 4000h to 7FFFh")
                     .arg(over));
    }

    // Each field the calculator needs is checked and named when missing or
    // wrong; the signature may not cross a page's end; no page may start
    // with FFh; a length of 55 modulo 64 gets a byte more.
    void aHeaderTheCalculatorWouldRefuseIsNamed() {
        const auto fault = [](const std::string &text) {
            const z80::Assembly a = assemble(text);
            return QString::fromStdString(kit::prepareApplication(a.bytes).error);
        };
        QVERIFY(fault(appHeader("NineChars"))
                    .contains("holds 9 characters; an application's name "
                              "has at most 8"));
        std::string noKey = appHeader("K");
        noKey.replace(noKey.find(" .db $80,$12,1,4\n"), 17, " .db $80,$31,1,1\n");
        QVERIFY(fault(noKey).contains("no key number"));
        std::string noImage = appHeader("I");
        noImage.replace(noImage.find("$80,$7F"), 7, "$80,$21");
        QVERIFY(fault(noImage).contains("no program image field"));
        std::string noDate = appHeader("D");
        noDate.replace(noDate.find("$03,$26"), 7, "$80,$A6");
        QVERIFY(fault(noDate).contains("no date stamp"));
        QVERIFY(fault(appHeader("F") + page(1) + " .db $FF\n").contains("page 1 begins with FFh"));
        QVERIFY(fault(appHeader("Near") + " .block $7FF0-$\n").contains("must fit on the last page"));
        QVERIFY(fault(" .org $4000\n .db $80,$0E,0,0,0\n").contains("starts with its header"));
        std::vector<std::uint8_t> huge = assemble(appHeader("Huge")).bytes;
        huge.resize(256 * 0x4000, 0);
        QCOMPARE(QString::fromStdString(kit::prepareApplication(huge).error),
                 QString("the application is 256 pages; its header counts at most 255"));

        const z80::Assembly a = assemble(appHeader("Pad") + " .block 55-($ & 63)+64\n");
        QCOMPARE(a.bytes.size() % 64, size_t(55));
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        QCOMPARE(app.bytes.size(), a.bytes.size() + 1);
        QCOMPARE(int(app.bytes.back()), 0);
    }

    // Signed with the test key, the signature checks out; a byte changed in
    // the application or in the signature makes it fail. RabbitSign, where
    // installed, checks it too.
    void aSignedApplicationVerifiesAndAChangedByteDoesNot() {
        const kit::SigningKey key = testKey();
        const z80::Assembly a = assemble(appHeader("Signed") + " ld a,1\n ret\n");
        const kit::PreparedApp app = kit::prepareApplication(a.bytes);
        std::string why;
        const std::vector<std::uint8_t> sig = kit::signApplication(app.bytes, key, &why);
        QCOMPARE(QString::fromStdString(why), QString());
        QCOMPARE(sig[0], std::uint8_t(0x02));
        QCOMPARE(sig[1], std::uint8_t(0x2D));
        QVERIFY(sig.size() <= kit::kMaxSignatureBytes);
        QVERIFY2(kit::verifyApplication(app.bytes, sig, key.n, &why), why.c_str());

        std::vector<std::uint8_t> changed = app.bytes;
        changed[changed.size() - 2] ^= 1;
        QVERIFY(!kit::verifyApplication(changed, sig, key.n, &why));
        QVERIFY(QString::fromStdString(why).contains("does not match"));
        std::vector<std::uint8_t> badSig = sig;
        badSig[10] ^= 0x40;
        QVERIFY(!kit::verifyApplication(app.bytes, badSig, key.n, &why));

        // Every one of TI's four transforms (f = 0..3) comes up among a few
        // applications; each signature verifies, and RabbitSign, where it is
        // installed, accepts every file.
        QTemporaryDir dir;
        QStringList files;
        std::set<int> transforms;
        for (int i = 0; i < 64 && transforms.size() < 4; ++i) {
            const kit::PreparedApp one = kit::prepareApplication(
                assemble(appHeader("Signed") + " ld a," + std::to_string(i) + "\n ret\n").bytes);
            const std::vector<std::uint8_t> s = kit::signApplication(one.bytes, key, &why);
            QVERIFY2(kit::verifyApplication(one.bytes, s, key.n, &why), why.c_str());
            const std::size_t length = s[2];
            transforms.insert(s[3 + length] == 0 ? 0 : s[4 + length]);
            std::vector<std::uint8_t> whole = one.bytes;
            whole.insert(whole.end(), s.begin(), s.end());
            const std::string file = z80::flashFile(whole, one.name);
            files << dir.filePath(QString::number(i) + ".8xk");
            QVERIFY(writeBytes(files.last(), QByteArray(file.data(), int(file.size()))));
        }
        QCOMPARE(transforms, (std::set<int>{0, 1, 2, 3}));
        if (QStandardPaths::findExecutable("rabbitsign").isEmpty())
            return;
        QProcess p;
        p.start("rabbitsign",
                QStringList{"-q", "-c", "-k", QFINDTESTDATA("data/test-signing.key")} + files);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
    }

    // A key file that is cut short, not hex, of the wrong kind or whose
    // factors do not give its modulus is refused with the reason.
    void aBadKeyFileIsRefusedWithItsReason() {
        const std::string good = readBytes(QFINDTESTDATA("data/test-signing.key")).toStdString();
        const auto reason = [](const std::string &text) {
            std::string error;
            return kit::readKey(text, &error) ? QString() : QString::fromStdString(error);
        };
        QCOMPARE(reason(good), QString());
        // A lone CR ends a line as CR LF and LF do.
        std::string crOnly;
        for (char c : good)
            if (c != '\r')
                crOnly += c == '\n' ? '\r' : c;
        QCOMPARE(reason(crOnly), QString());
        QVERIFY(reason(good.substr(0, good.rfind('\n', good.size() - 2))).contains("has 2 lines"));
        QVERIFY(reason(good.substr(0, good.size() - 5) + "\n").contains("line 3 (q)"));
        std::string notHex = good;
        notHex[5] = 'G';
        QVERIFY(reason(notHex).contains("line 1 (n)"));
        std::string otherN = good;
        otherN[4] = otherN[4] == '1' ? '2' : '1';
        QVERIFY(reason(otherN).contains("p times q is not n"));
        QVERIFY(reason("0104\n40" + std::string(128, 'A') + "\n01AB\n").contains("RSA key"));
        QVERIFY(reason("FF" + std::string(510, 'A') + "\n01AB\n01AB\n").contains("512 bits"));
        QVERIFY(reason(std::string(1 << 20, '\n')).contains("has 0 lines"));
    }

    // A .8xk whose text is damaged is refused with the record at fault.
    void aDamagedFlashFileIsRefused() {
        const std::string file = z80::flashFile(std::vector<std::uint8_t>(100, 0x11), "X");
        const auto reason = [](const std::string &f) {
            std::string name, error;
            return z80::readFlashFile(f, &name, &error) ? QString() : QString::fromStdString(error);
        };
        QCOMPARE(reason(file), QString());
        // Records ended by a lone CR read as those ended by CR LF.
        std::string lone = file.substr(0, 78);
        for (char c : file.substr(78))
            if (c != '\n')
                lone += c;
        for (int i = 0; i < 4; ++i)
            lone[std::size_t(0x4A + i)] = char((lone.size() - 78) >> (8 * i));
        std::string name, error;
        QCOMPARE(z80::readFlashFile(lone, &name, &error), z80::readFlashFile(file, &name, &error));
        QVERIFY2(lone.size() < file.size() && error.empty(), error.c_str());
        std::string sum = file;
        sum[sum.find(":20400000") + 12] = '2';
        QVERIFY(reason(sum).contains("wrong checksum"));
        std::string digit = file;
        digit[digit.find(":20400000") + 12] = 'Z';
        QVERIFY(reason(digit).contains("no hex digit"));
        QVERIFY(reason(file.substr(0, 50)).contains("78 bytes"));
        QVERIFY(reason(file.substr(0, file.size() - 11)).contains("past the file's end"));
        std::string far = file;
        far.replace(far.find(":020000020000FC"), 15, ":020000020100FB");
        QVERIFY(reason(far).contains("page 256"));
    }

    // A source whose first lines say "; variable: appvar NAME archived" is
    // built into NAME.8xv: an application variable (15h) of that name, in
    // the archive, its data the bytes after their length, larger than a
    // program may be; the log's last line names what was written. A line
    // naming no type fails the build at line 1.
    void aSourceThatSaysSoBecomesAnApplicationVariable() {
        const QString source = home.filePath("levels.z80");
        QVERIFY(writeBytes(source, "; Level data\n; variable: appvar Levels archived\n"
                                   " .org 0\n .db \"LV\"\n .block 20000\n"));
        QCOMPARE(build("levels", source), 0);
        QVERIFY(!QFile::exists(at("Exec/levels.8xp")));
        QCOMPARE(lastLogLine(), QString("Build succeeded: 20,002 bytes. Written as the application "
                                        "variable Levels, archived, into levels.8xv."));
        const Variable v = readVariable(at("Exec/levels.8xv"));
        QCOMPARE(v.type, 0x15);
        QCOMPARE(v.name, QByteArray("Levels"));
        QCOMPARE(v.attr, int(ATTRB_ARCHIVED));
        QCOMPARE(v.data.size(), 2 + 20002);
        QCOMPARE(v.data.mid(0, 4), QByteArray("\x22\x4E"
                                              "LV",
                                              4));

        QVERIFY(writeBytes(source, "; variable: spreadsheet\n .db 1\n"));
        QCOMPARE(build("levels", source), 1);
        QVERIFY(!QFile::exists(at("Exec/levels.8xv")));
        QVERIFY(QString::fromUtf8(readBytes(at("TASM/error.log")))
                    .contains("levels.z80:1: error: '; variable:' takes a type"));
    }

    // The other types by their own rules: a string Str1 (its name the
    // tokens AAh 00h, its data sized), a real number A (its nine bytes as
    // written), a list L2; each read back by the link library.
    void otherVariableTypesTakeTheirNamesAndDataAsTheCalculatorDoes() {
        QTemporaryDir dir;
        const auto pack = [&](const std::string &line, const std::vector<std::uint8_t> &data) {
            std::string error;
            const auto form = z80::variableComment(line, &error);
            if (!form)
                return Variable();
            const std::vector<std::uint8_t> name = z80::variableName(*form, "file", &error);
            if (name.empty())
                return Variable();
            std::uint8_t bytes[8] = {};
            std::copy(name.begin(), name.end(), bytes);
            const PackResult r = packVariable(data, bytes, form->type, form->archived, form->sized);
            const QString path = dir.filePath("v." + QString::fromStdString(form->extension));
            if (!writeBytes(path, QByteArray(reinterpret_cast<const char *>(r.file.data()),
                                             int(r.file.size()))))
                return Variable();
            return readVariable(path);
        };
        const Variable str = pack("; variable: string Str1", {'H', 'I'});
        QCOMPARE(str.type, 0x04);
        QCOMPARE(str.data, QByteArray("\x02\x00HI", 4));
        const std::vector<std::uint8_t> nine = {0, 0x80, 0x31, 0x41, 0x59, 0, 0, 0, 0};
        const Variable real = pack("; variable: real A", nine);
        QCOMPARE(real.type, 0x00);
        QCOMPARE(real.name, QByteArray("A"));
        QCOMPARE(real.data, QByteArray(reinterpret_cast<const char *>(nine.data()), 9));
        QCOMPARE(real.attr, int(ATTRB_NONE));
        QCOMPARE(pack("; variable: list L2", {1, 0, 0, 0x80, 0x10, 0, 0, 0, 0, 0, 0}).type, 0x01);

        std::string error;
        const auto pic = z80::variableComment("; variable: picture Pic11", &error);
        QVERIFY(pic);
        QVERIFY(z80::variableName(*pic, "x", &error).empty());
        QCOMPARE(QString::fromStdString(error), QString("'Pic11' is no name a picture can have"));
    }

    // asm.bat builds an application into NAME.8xk: without a key the log's
    // last line says it is unsigned and what that means; with the key its
    // header names in ~/Asm/TASM, the file is signed and verifies.
    void asmBatBuildsAndSignsAnApplication() {
        const QString source = home.filePath("demo.z80");
        QVERIFY(writeBytes(source, QByteArray::fromStdString(appHeader("Demo") + " ret\n")));
        QCOMPARE(build("demo", source), 0);
        QVERIFY(!QFile::exists(at("Exec/demo.8xp")));
        // The editor sends it and gives it to the emulator as %f.
        QCOMPARE(Locations(home.filePath("Asm")).builtProgram("demo"), at("Exec/demo.8xk"));
        QVERIFY(lastLogLine().startsWith("Build succeeded: 1 page, "));
        QVERIFY(lastLogLine().contains(". Not signed: no 0104.key in "));
        QVERIFY(lastLogLine().contains("a calculator refuses to install an unsigned"));
        std::string name, error;
        auto unsigned_ =
            z80::readFlashFile(readBytes(at("Exec/demo.8xk")).toStdString(), &name, &error);
        QVERIFY(unsigned_);
        QCOMPARE(kit::statedLength(*unsigned_), std::optional<std::size_t>(unsigned_->size()));

        QVERIFY(QFile::copy(QFINDTESTDATA("data/test-signing.key"), at("TASM/0104.key")));
        QCOMPARE(build("demo", source), 0);
        QVERIFY(lastLogLine().endsWith(". Signed with " + at("TASM/0104.key") + "."));
        const auto data =
            z80::readFlashFile(readBytes(at("Exec/demo.8xk")).toStdString(), &name, &error);
        QVERIFY(data);
        QCOMPARE(name, std::string("Demo"));
        const std::size_t length = kit::statedLength(*data).value_or(0);
        QCOMPARE(data->size(), length + kit::kSignatureArea);
        const std::vector<std::uint8_t> app(data->begin(), data->begin() + std::ptrdiff_t(length));
        const std::vector<std::uint8_t> sig(data->begin() + std::ptrdiff_t(length), data->end());
        QVERIFY2(kit::verifyApplication(app, sig, testKey().n, &error), error.c_str());
        // pack8xp --check says so too, and refuses the file with one byte changed.
        const auto check = [&](QByteArray *output) {
            QProcess p;
            p.start(at("pack8xp"), {"--check", at("Exec/demo.8xk"), "--keys", at("TASM")});
            const bool ended = p.waitForFinished(30000);
            *output = p.readAllStandardOutput();
            return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QByteArray said;
        QCOMPARE(check(&said), 0);
        QVERIFY(said.endsWith(": signed with the key 0104, valid\n"));
        std::vector<std::uint8_t> changed = *data;
        changed[length - 1] ^= 0x01;
        const std::string file = z80::flashFile(changed, name);
        QVERIFY(writeBytes(at("Exec/demo.8xk"), QByteArray(file.data(), int(file.size()))));
        QCOMPARE(check(&said), 1);
        QVERIFY(said.contains("not valid: the signature does not match the application"));

        // A key file that is no key fails the build, which leaves no file.
        QVERIFY(writeBytes(at("TASM/0104.key"), "0104\n"));
        QCOMPARE(build("demo", source), 1);
        QVERIFY(!QFile::exists(at("Exec/demo.8xk")));
        QVERIFY(QFile::remove(at("TASM/0104.key")));
    }
};

QTEST_GUILESS_MAIN(AppsTest)
#include "kit_apps_test.moc"
