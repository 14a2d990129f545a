#include "core/settings.h"

#include "fakes.h"

#include <QtTest>

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readingRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("emulator");
        QTest::newRow("two lines") << "/usr/bin/tilp\r\n/usr/bin/tilem2\r\n"
                                   << "/usr/bin/tilp"
                                   << "/usr/bin/tilem2";
        QTest::newRow("comma is kept") << "/opt/a,b/send\r\n/x,y\r\n"
                                       << "/opt/a,b/send"
                                       << "/x,y";
        QTest::newRow("quoted") << "\"/opt/my tools/send\"\r\n  \t\"/emu\" trailing\r\n"
                                << "/opt/my tools/send"
                                << "/emu";
        QTest::newRow("unclosed quote") << "\"/opt/x\r\nemu\r\n"
                                        << "/opt/x"
                                        << "emu";
        QTest::newRow("quote later in line") << "/a\"b\"\r\n\r\n"
                                             << "/a\"b\""
                                             << "";
        QTest::newRow("blanks kept") << "  /lead\r\n\t\r\n"
                                     << "  /lead"
                                     << "\t";
        QTest::newRow("two empty lines") << "\r\n\r\n"
                                         << ""
                                         << "";
        QTest::newRow("one line") << "/only\r\n"
                                  << "/only"
                                  << "";
        QTest::newRow("no line end") << "/only"
                                     << "/only"
                                     << "";
        QTest::newRow("lf and cr") << "/a\n/b\r/c"
                                   << "/a"
                                   << "/b";
        QTest::newRow("empty first line") << "\n/b\n"
                                          << ""
                                          << "/b";
        QTest::newRow("empty file") << ""
                                    << ""
                                    << "";
        QTest::newRow("only a quote") << "\""
                                      << ""
                                      << "";
        QTest::newRow("third line ignored") << "a\r\nb\r\nc\r\n"
                                            << "a"
                                            << "b";
    }
    void readingRule() {
        QFETCH(QString, text);
        QFETCH(QString, link);
        QFETCH(QString, emulator);
        const Settings s = parseSettings(text);
        QCOMPARE(s.linkProgram, link);
        QCOMPARE(s.emulator, emulator);
    }

    void storeWritesTwoCrLfLinesAndReadsBack() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("config.ini"));
        QVERIFY(!storeSettings(file, {QStringLiteral("/opt/a,b/s\u00E9nd"), QString()}));
        QCOMPARE(readBytes(file), QByteArray("/opt/a,b/s\xE9nd\r\n\r\n"));
        Settings back;
        QVERIFY(!loadSettings(file, &back));
        QCOMPARE(back.linkProgram, QStringLiteral("/opt/a,b/s\u00E9nd"));
        QCOMPARE(back.emulator, QString());
        QVERIFY(!storeSettings(file, {}));
        QCOMPARE(readBytes(file), QByteArray("\r\n\r\n"));
    }

    void missingFileGivesEmptySettingsAndNoError() {
        QTemporaryDir dir;
        Settings s{QStringLiteral("x"), QStringLiteral("y")};
        QVERIFY(!loadSettings(dir.filePath(QStringLiteral("TASM/config.ini")), &s));
        QVERIFY(s.linkProgram.isEmpty() && s.emulator.isEmpty());
    }

    void unreadableOrUnwritableFileIsAnError() {
        QTemporaryDir dir;
        Settings s;
        const auto e = loadSettings(dir.path(), &s); // a folder
        QVERIFY(e);
        QCOMPARE(e->number, EISDIR);
        writeBytes(dir.filePath(QStringLiteral("file")), "x");
        const auto w = storeSettings(dir.filePath(QStringLiteral("file/config.ini")), s);
        QVERIFY(w);
        QCOMPARE(w->number, ENOTDIR);
        const auto u =
            storeSettings(dir.filePath(QStringLiteral("c.ini")), {QStringLiteral("\u2192"), {}});
        QVERIFY(u);
        QCOMPARE(u->number, EILSEQ);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("c.ini"))));
    }
};

QTEST_APPLESS_MAIN(SettingsTest)
#include "core_settings_test.moc"
