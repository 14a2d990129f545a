#include "platform/codepage.h"

#include <QSignalSpy>
#include <QTest>

class CodePageTest : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTripsThroughBothForms() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = cp1252::decode(all);
        QCOMPARE(text.size(), 256);
        QByteArray back;
        QVERIFY(cp1252::encode(text, &back));
        QCOMPARE(back, all);

        const QByteArray utf8 = cp1252::decodeToUtf8(all);
        QCOMPARE(utf8, text.toUtf8()); // both forms agree
        QByteArray back2;
        QVERIFY(cp1252::encodeFromUtf8(utf8.constData(), utf8.size(), &back2));
        QCOMPARE(back2, all);
    }

    void highBytesMapToTheirCharacters() {
        const QString text = cp1252::decode(QByteArray("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF", 9));
        QCOMPARE(text,
                 QString::fromUtf16(u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00FF"));
        QByteArray bytes;
        QVERIFY(cp1252::encode(QString::fromUtf16(u"\u2122\u0153"), &bytes));
        QCOMPARE(bytes, QByteArray("\x99\x9C"));
    }

    void unmappableCharacterIsNamedWithItsPosition_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("character");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::newRow("first") << QString::fromUtf16(u"\u2192") << 0x2192u << 1 << 1;
        QTest::newRow("crlf") << QString::fromUtf16(u"ld a,1\r\n  \u2192") << 0x2192u << 2 << 3;
        QTest::newRow("lf and lone cr")
            << QString::fromUtf16(u"a\nb\rcd\u03A9") << 0x3A9u << 3 << 3;
        QTest::newRow("after a pair") << QString::fromUtf16(u"\U0001F600x") << 0x1F600u << 1 << 1;
        QTest::newRow("pair later")
            << QString::fromUtf16(u"\u00E9\u00E9\U0001F600") << 0x1F600u << 1 << 3;
    }
    void unmappableCharacterIsNamedWithItsPosition() {
        QFETCH(QString, text);
        QFETCH(uint, character);
        QFETCH(int, line);
        QFETCH(int, column);
        for (bool viaUtf8 : {false, true}) {
            QByteArray out("untouched");
            cp1252::Unmappable where;
            const QByteArray utf8 = text.toUtf8();
            const bool ok =
                viaUtf8 ? cp1252::encodeFromUtf8(utf8.constData(), utf8.size(), &out, &where)
                        : cp1252::encode(text, &out, &where);
            QVERIFY(!ok);
            QCOMPARE(out, QByteArray("untouched"));
            QCOMPARE(uint(where.character), character);
            QCOMPARE(where.line, line);
            QCOMPARE(where.column, column);
        }
    }

    void descriptionNamesCharacterLineAndColumn() {
        QCOMPARE((cp1252::Unmappable{0x2192, 4, 7}.describe()),
                 QString::fromUtf16(u"The character \u201C\u2192\u201D (U+2192) at line 4, column "
                                    u"7 cannot be stored in an 8-bit (Windows-1252) file."));
    }

    void malformedUtf8IsRefused() {
        QByteArray out;
        cp1252::Unmappable where;
        const QByteArray bad("ab\xC3", 3); // a sequence cut short
        QVERIFY(!cp1252::encodeFromUtf8(bad.constData(), bad.size(), &out, &where));
        QCOMPARE(where.column, 3);
        // Overlong forms (one of them would pass for U+0192), a surrogate, and past U+10FFFF.
        for (const QByteArray &form : {QByteArray("\xC0\x80", 2), QByteArray("\xE0\x86\x92"),
                                       QByteArray("\xED\xA0\x80"), QByteArray("\xF4\x90\x80\x80")})
            QVERIFY2(!cp1252::encodeFromUtf8(form.constData(), form.size(), &out, &where),
                     form.toHex().constData());
    }
};

QTEST_APPLESS_MAIN(CodePageTest)
#include "platform_codepage_test.moc"
