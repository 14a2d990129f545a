#include "core/settings.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readingRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("emulator");
        QTest::newRow("commas kept") << "/opt/a,b/send\r\n/x,y\r\n"
                                     << "/opt/a,b/send"
                                     << "/x,y";
        QTest::newRow("quoted field") << "\"/opt/my tools/send\"\r\n  \t\"/emu\" \r\n"
                                      << "/opt/my tools/send"
                                      << "/emu";
        QTest::newRow("text after the quote") << "\"/opt/My Emu/tilem2\" --rom=/r.bin\r\n\r\n"
                                              << "\"/opt/My Emu/tilem2\" --rom=/r.bin"
                                              << "";
        QTest::newRow("doubled quote") << "\"say \"\"hi\"\"\"\r\n\"\"\r\n"
                                       << "say \"hi\""
                                       << "";
        QTest::newRow("unclosed quote") << "\"/opt/x\r\nemu\r\n"
                                        << "\"/opt/x"
                                        << "emu";
        QTest::newRow("blanks kept") << "  /lead\r\n\t\r\n"
                                     << "  /lead"
                                     << "\t";
        QTest::newRow("lf, cr, no end") << "/a\n/b\r/c"
                                        << "/a"
                                        << "/b";
        QTest::newRow("one line") << "/only"
                                  << "/only"
                                  << "";
    }
    void readingRule() {
        QFETCH(QString, text);
        QFETCH(QString, link);
        QFETCH(QString, emulator);
        const Settings s = parseSettings(text);
        QCOMPARE(s.linkProgram, link);
        QCOMPARE(s.emulator, emulator);
    }

    void everyValueComesBackUnchanged() {
        const QStringList values = {"\"/opt/My Emu/tilem2\" --rom=/home/me/rom.bin",
                                    "\"",
                                    "\"\"",
                                    " \"x\" ",
                                    "a\"b",
                                    "  lead",
                                    "/opt/a,b",
                                    ""};
        for (const QString &v : values) {
            const Settings back = parseSettings(formatSettings({v, v + "2"}));
            QCOMPARE(back.linkProgram, v);
            QCOMPARE(back.emulator, v + "2");
        }
        QCOMPARE(formatSettings({"/plain", "\"q\" x"}),
                 QStringLiteral("/plain\r\n\"\"\"q\"\" x\"\r\n"));
    }

    void storeCreatesTheFolderAndWritesTwoLines() {
        QTemporaryDir dir;
        const QString file = dir.filePath("TASM/config.ini");
        Settings s{"x", "y"};
        QVERIFY(!loadSettings(file, &s)); // missing: empty settings, no error
        QVERIFY(s.linkProgram.isEmpty() && s.emulator.isEmpty());
        QVERIFY(!storeSettings(file, {QStringLiteral("/opt/s\u00E9nd"), QString()}));
        QCOMPARE(readBytes(file), QByteArray("/opt/s\xE9nd\r\n\r\n"));
    }

    void unreadableOrUnwritableFileIsAnError() {
        QTemporaryDir dir;
        Settings s;
        QCOMPARE(loadSettings(dir.path(), &s)->number, EISDIR);
        QVERIFY(writeBytes(dir.filePath("file"), "x"));
        QCOMPARE(storeSettings(dir.filePath("file/config.ini"), s)->number, ENOTDIR);
        QCOMPARE(storeSettings(dir.filePath("c.ini"), {QStringLiteral("\u2192"), {}})->number,
                 EILSEQ);
        QVERIFY(!QFile::exists(dir.filePath("c.ini")));
    }
};

QTEST_APPLESS_MAIN(SettingsTest)
#include "core_settings_test.moc"
