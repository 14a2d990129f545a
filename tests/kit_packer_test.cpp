// The program-file packer, read back by the library the Linux link program uses.

#include "packer.h"

#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

// The library's headers are C and use C's restrict keyword.
#define restrict __restrict
#include <tifiles.h>
#undef restrict

namespace {
std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> v;
    for (int b : list)
        v.push_back(std::uint8_t(b));
    return v;
}
// The hello template as assembled: the token pair, three OS calls, the string.
const std::vector<std::uint8_t> kHello = [] {
    auto v = bytes(
        {0xBB, 0x6D, 0xEF, 0x40, 0x45, 0xEF, 0x58, 0x45, 0x21, 0xA2, 0x9D, 0xEF, 0x0A, 0x45, 0xC9});
    for (char c : std::string("Hello, world!"))
        v.push_back(std::uint8_t(c));
    v.push_back(0);
    return v;
}();
} // namespace

class PackerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { tifiles_library_init(); }
    void cleanupTestCase() { tifiles_library_exit(); }

    void helloHeaderMatchesTheHandCheckedBytes() {
        const PackResult r = pack8xp(kHello, "hello");
        QVERIFY(r.error.empty());
        QVERIFY(r.warnings.empty());
        const auto &f = r.file;
        QCOMPARE(f.size(), size_t(76 + 29));
        // Signature, 1A 0A 00, then the comment.
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(f.data()), 11),
                 QByteArray("**TI83F*\x1A\x0A\x00", 11));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(f.data()) + 11, 17),
                 QByteArray("Made with Quorvin"));
        QCOMPARE(int(f[11 + 17]), 0);
        // Data length 29 + 19 = 48, then 0D 00, 31, type 6, "HELLO" padded, 0, 0, 31, 29.
        const auto header = std::vector<std::uint8_t>(f.begin() + 53, f.begin() + 74);
        QCOMPARE(header, bytes({0x30, 0x00, 0x0D, 0x00, 0x1F, 0x00, 0x06, 'H',  'E',  'L', 'L',
                                'O',  0,    0,    0,    0x00, 0x00, 0x1F, 0x00, 0x1D, 0x00}));
        QCOMPARE(std::vector<std::uint8_t>(f.begin() + 74, f.end() - 2), kHello);
        // Checksum worked by hand: 0x0DFA.
        QCOMPARE(int(f[f.size() - 2]), 0xFA);
        QCOMPARE(int(f[f.size() - 1]), 0x0D);
    }

    // Any file name gives a name the calculator takes; the log says so when
    // it differs from the file name.
    void everyFileNameGivesACalculatorName() {
        const std::pair<const char *, const char *> names[] = {
            {"hello", "HELLO"},     {"averylongname", "AVERYLON"}, {"2cool", "P2COOL"},
            {"my prog!", "MYPROG"}, {"caf\xC3\xA9", "CAF"},        {"", "PROGRAM"}};
        for (const auto &[file, calc] : names) {
            const PackResult r = pack8xp(kHello, file);
            QVERIFY(r.error.empty());
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(r.file.data()) + 60, 8),
                     QByteArray(calc).leftJustified(8, '\0'));
            QCOMPARE(r.warnings.empty(), QByteArray(file) == "hello");
        }
        QCOMPARE(pack8xp(kHello, "2cool").warnings[0],
                 std::string("the calculator will show this program as P2COOL (a name there is "
                             "letters and digits, a letter first, at most 8)"));
    }

    void programWithoutTheTokenPairIsWarnedAbout() {
        const PackResult r = pack8xp(bytes({0xC9}), "ret");
        QVERIFY(r.error.empty());
        QCOMPARE(r.warnings.size(), size_t(1));
        QVERIFY(pack8xp(std::vector<std::uint8_t>(kMaxProgramSize + 1, 0), "big").file.empty());
    }

    void theLinkLibraryReadsEveryPackedFile_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("hello") << 0;
        QTest::newRow("empty") << -1;
        QTest::newRow("large") << 8000;
    }
    void theLinkLibraryReadsEveryPackedFile() {
        QFETCH(int, size);
        std::vector<std::uint8_t> program = size == 0 ? kHello : std::vector<std::uint8_t>{};
        for (int i = 0; i < size; ++i)
            program.push_back(std::uint8_t(i * 7));
        const PackResult r = pack8xp(program, "prog1");
        QVERIFY(r.error.empty());
        QTemporaryDir dir;
        const QString path = dir.filePath("prog1.8xp");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char *>(r.file.data()), qint64(r.file.size()));
        out.close();

        const QByteArray native = QFile::encodeName(path);
        QVERIFY(tifiles_file_is_regular(native.constData()));
        FileContent *content = tifiles_content_create_regular(CALC_NONE);
        QCOMPARE(tifiles_file_read_regular(native.constData(), content), 0);
        QCOMPARE(int(content->model), int(CALC_TI83P));
        QCOMPARE(content->num_entries, 1u);
        const VarEntry *e = content->entries[0];
        QCOMPARE(QByteArray(e->name), QByteArray("PROG1"));
        QCOMPARE(int(e->type), 0x06);
        QCOMPARE(e->size, uint32_t(program.size() + 2)); // the size word and the program
        QCOMPARE(int(e->data[0] | (e->data[1] << 8)), int(program.size()));
        QVERIFY(std::equal(program.begin(), program.end(), e->data + 2));
        QCOMPARE(content->checksum, content->stored_checksum);
        tifiles_content_delete_regular(content);
    }
};

QTEST_APPLESS_MAIN(PackerTest)
#include "kit_packer_test.moc"
