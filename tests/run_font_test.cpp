// The runner's fonts: every character a program prints has a glyph that
// fits its cell, the calculator's symbols read back as Unicode, and a font
// file with a fault stops the build with the line at fault.

#include "run/font.h"
#include "run/fontfile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

using namespace run;

namespace {

// A glyph as text: one line per row, '#' dark, '.' blank, its full width.
QString picture(const Glyph &g) {
    QString out;
    for (int r = 0; r < g.height; ++r) {
        for (int c = 0; c < g.width; ++c)
            out += g.rows[std::size_t(r)] & (0x80 >> c) ? '#' : '.';
        out += '\n';
    }
    return out;
}

bool inkOutside(const Glyph &g) {
    for (int r = 0; r < 8; ++r) {
        const unsigned inside = (0xFFu << (8 - g.width)) & 0xFFu;
        if (r == 0 || r >= g.height ? g.rows[std::size_t(r)] != 0
                                    : (g.rows[std::size_t(r)] & ~inside & 0xFF) != 0)
            return true;
        if (g.rows[std::size_t(r)] & 0x80) // the first column is the gap
            return true;
    }
    return false;
}

QString parseError(const char *text) {
    return QString::fromStdString(parseFontFile(text, "f.txt", {2, 1, 3}).error);
}

} // namespace

class FontTest : public QObject {
    Q_OBJECT
private slots:
    void everyPrintableCharacterFitsItsCell() {
        int lowerWidths = 0;
        for (int code = 0x20; code <= 0x7E; ++code) {
            const Glyph &large = largeGlyph(std::uint8_t(code));
            const Glyph &small = smallGlyph(std::uint8_t(code));
            QVERIFY2(large.width == 6 && large.height == 8, qPrintable(QString::number(code, 16)));
            QVERIFY2(small.height == 7 && small.width >= 2 && small.width <= 6,
                     qPrintable(QString::number(code, 16)));
            QVERIFY2(!inkOutside(large) && !inkOutside(small),
                     qPrintable(QString::number(code, 16)));
            const bool blank = picture(large).count('#') == 0 || picture(small).count('#') == 0;
            QCOMPARE(blank, code == 0x20);
            if (code >= 'a' && code <= 'z')
                lowerWidths += small.width;
        }
        QVERIFY(lowerWidths >= 26 * 3 && lowerWidths <= 26 * 5); // about 4 wide
    }

    void aGlyphSitsOneColumnInAndOneRowDown() {
        QCOMPARE(picture(largeGlyph(0x1A)), "......\n......\n......\n..###.\n......\n......\n"
                                            "......\n......\n");
        QCOMPARE(picture(smallGlyph(0x1A)), "....\n....\n.###\n....\n....\n....\n....\n");
        // Codes the calculator leaves undefined draw blank.
        QCOMPARE(picture(largeGlyph(0xF5)).count('#'), 0);
        QCOMPARE(picture(smallGlyph(0x00)).count('#'), 0);
    }

    // The home screen's zero is slashed, so it never reads as the letter O.
    void theLargeZeroIsSlashed() {
        const QStringList zero = picture(largeGlyph('0')).split('\n');
        const QStringList o = picture(largeGlyph('O')).split('\n');
        int slash = 0;
        for (int r = 3; r <= 4; ++r) // the middle rows have ink between the sides
            slash += zero[r].mid(3, 2).count('#');
        QVERIFY2(slash >= 2, qPrintable(picture(largeGlyph('0'))));
        QVERIFY(zero != o);
    }

    void theCalculatorsSymbolsShowAsUnicode() {
        const QList<QPair<int, char32_t>> shown = {
            {0x5B, U'θ'}, {0x1C, U'→'}, {0x05, U'▶'},      {0x12, U'²'},     {0x10, U'√'},
            {0xC4, U'π'}, {0x1A, U'⁻'}, {0x1B, U'ᴇ'},      {0xC1, U'['},     {0x41, U'A'},
            {0x20, U' '}, {0xD6, U'↵'}, {0x00, U'\uFFFD'}, {0xFF, U'\uFFFD'}};
        for (const auto &[code, unicode] : shown)
            QCOMPARE(unicodeOf(std::uint8_t(code)), unicode);
    }

    void unicodeLeadsBackToTheSameCode() {
        int defined = 0;
        for (int code = 0; code < 256; ++code) {
            const char32_t c = unicodeOf(std::uint8_t(code));
            if (c == U'\uFFFD')
                continue;
            ++defined;
            QCOMPARE(codeOf(c), std::optional<std::uint8_t>(std::uint8_t(code)));
        }
        QCOMPARE(defined, 0xF1);                   // 01h to F1h
        QCOMPARE(codeOf(U'$'), std::nullopt);      // its place shows the fourth power
        QCOMPARE(codeOf(U'\uFFFD'), std::nullopt); // undefined codes have no way back
    }

    void aGoodFileReadsWithCommentsAndNamedCharacters() {
        const FontFile file = parseFontFile(
            "; two glyphs\nchar 20 U+0020\n..\n..\n\nchar 5B θ\n.#.\n#.#\n", "f.txt", {2, 1, 3});
        QCOMPARE(QString::fromStdString(file.error), QString());
        QCOMPARE(file.glyphs.size(), std::size_t(2));
        QCOMPARE(file.glyphs[1].code, 0x5B);
        QCOMPARE(file.glyphs[1].unicode, U'θ');
        QCOMPARE(file.glyphs[1].width, 3);
    }

    void aFaultNamesItsLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("a row missing") << "char 41 A\n.#.\n"
                                       << "f.txt:1: character 41 needs 2 rows, not 1";
        QTest::newRow("a row too many") << "; x\nchar 41 A\n.#.\n#.#\n###\n"
                                        << "f.txt:2: character 41 needs 2 rows, not 3";
        QTest::newRow("ragged rows") << "char 41 A\n.#.\n#.\n"
                                     << "f.txt:3: character 41 has rows of different widths";
        QTest::newRow("too wide") << "char 41 A\n.#..\n#..#\n"
                                  << "f.txt:1: character 41 is 4 columns wide, not 1 to 3";
        QTest::newRow("twice") << "char 41 A\n#\n#\nchar 41 A\n#\n#\n"
                               << "f.txt:4: character 41 is defined twice";
        QTest::newRow("no Unicode") << "char 41\n#\n#\n"
                                    << "f.txt:1: character 41 needs the Unicode character it "
                                       "shows as";
        QTest::newRow("stray text") << "char 41 A\n#\n#\nx#\n"
                                    << "f.txt:4: expected \"char CODE SHOW\", found \"x#\"";
        QTest::newRow("bad code") << "char 4G A\n#\n#\n"
                                  << "f.txt:1: the code \"4G\" is not two hex digits";
    }
    void aFaultNamesItsLine() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QCOMPARE(parseError(text.toUtf8().constData()), error);
    }

    void aMalformedFontFileStopsTheBuild() {
        QTemporaryDir dir;
        QFile large(dir.filePath("large.txt")), small(dir.filePath("small.txt"));
        QVERIFY(large.open(QIODevice::WriteOnly) && small.open(QIODevice::WriteOnly));
        large.write("char 41 A\n.....\n.....\n.....\n.....\n.....\n.....\n"); // 6 rows of 7
        small.write("char 41 A\n#\n#\n#\n#\n#\n#\n");
        large.close();
        small.close();
        QProcess gen;
        gen.start(QUORVIN_FONTGEN, {large.fileName(), small.fileName(), dir.filePath("out.cpp")});
        QVERIFY(gen.waitForFinished());
        QCOMPARE(gen.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(gen.readAllStandardError()),
                 large.fileName() + ":1: character 41 needs 7 rows, not 6\n");
        QVERIFY(!QFile::exists(dir.filePath("out.cpp")));
    }
};

QTEST_GUILESS_MAIN(FontTest)
#include "run_font_test.moc"
