// A build's messages as values (Exec/NAME.diag): they come back as they were
// written, odd file names and texts included, and a damaged or foreign file
// is refused whole, so the editor reads the log instead of half a file.

#include "z80/diagfile.h"

#include <QSignalSpy>
#include <QTest>

using z80::Diagnostic;

class DiagFileTest : public QObject {
    Q_OBJECT
private slots:
    void messagesComeBackAsTheyWere() {
        Diagnostic odd;
        odd.file = "my dir/tab\there\\back.z80";
        odd.line = 12;
        odd.column = 7;
        odd.length = 3;
        odd.text = "'lab' is undefined\nsecond line";
        Diagnostic whole;
        whole.file = "a.inc";
        whole.line = 1;
        whole.severity = Diagnostic::Severity::Warning;
        whole.text = "a warning for the whole line";
        std::string error;
        const auto read = z80::readDiagnostics(z80::writeDiagnostics({odd, whole}), &error);
        QVERIFY2(read, error.c_str());
        QCOMPARE(read->size(), size_t(2));
        const Diagnostic &a = (*read)[0], &b = (*read)[1];
        QCOMPARE(a.file, odd.file);
        QCOMPARE(a.text, odd.text);
        QCOMPARE(a.line, 12);
        QCOMPARE(a.column, 7);
        QCOMPARE(a.length, 3);
        QVERIFY(a.error());
        QVERIFY(!b.error());
        QCOMPARE(b.column, -1);
    }

    void aDamagedFileIsRefusedWhole_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("another format") << QByteArray("qvmap 1\n");
        QTest::newRow("cut short") << QByteArray("qvdiag 1\nerror\t3\t0\t1\ta.z80\n");
        QTest::newRow("no severity") << QByteArray("qvdiag 1\nnote\t3\t0\t1\ta.z80\tx\n");
        QTest::newRow("line 0") << QByteArray("qvdiag 1\nerror\t0\t0\t1\ta.z80\tx\n");
        QTest::newRow("huge line") << QByteArray("qvdiag 1\nerror\t99999999999\t0\t1\ta.z80\tx\n");
        QTest::newRow("bad column") << QByteArray("qvdiag 1\nerror\t3\t-2\t1\ta.z80\tx\n");
        QTest::newRow("bad escape") << QByteArray("qvdiag 1\nerror\t3\t0\t1\ta.z80\tx\\q\n");
        QTest::newRow("escape at end") << QByteArray("qvdiag 1\nerror\t3\t0\t1\ta.z80\tx\\\n");
        QTest::newRow("no file") << QByteArray("qvdiag 1\nerror\t3\t0\t1\t\tx\n");
    }
    void aDamagedFileIsRefusedWhole() {
        QFETCH(QByteArray, text);
        std::string error;
        QVERIFY(!z80::readDiagnostics(std::string_view(text.constData(), text.size()), &error));
        QVERIFY(error.rfind("line ", 0) == 0);
    }

    // However many lines a file holds, no more than the bound are kept.
    void aHugeFileIsBounded() {
        std::string text = "qvdiag 1\n";
        for (size_t i = 0; i <= z80::kMaxDiagnostics; ++i)
            text += "warning\t1\t0\t0\ta.z80\tw\n";
        std::string error;
        QVERIFY(!z80::readDiagnostics(text, &error));
        QVERIFY(error.find("more than") != std::string::npos);
    }
};

QTEST_MAIN(DiagFileTest)
#include "z80_diagfile_test.moc"
