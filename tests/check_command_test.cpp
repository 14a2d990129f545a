// `quorvin --test` as a CI script uses it: a program and its tests in a
// folder, the results read back as a script reads them (the lines and the
// summary, TAP, JUnit XML), the expected pictures written by --update and
// the actual one beside a picture that differs, and the exit statuses.

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

const char *kHello = R"(#define bcall(label) rst 28h \ .dw label
_ClrLCDFull .equ 4540h
_HomeUp     .equ 4558h
_PutS       .equ 450Ah
        .org 9D93h
        .db 0BBh, 6Dh
        bcall(_ClrLCDFull)
        bcall(_HomeUp)
        ld hl, message
        bcall(_PutS)
        ret
message:
        .db "HELLO WORLD", 0
; double: HL = 2 * HL
double:
        add hl, hl
        ret
)";

const char *kTests = R"(test "greets"
  run
  expect text 0 "HELLO WORLD"
  expect screen hello.png
  expect returned
  calls _PutS

test "double 21"
  call double with hl=21
  expect hl=42

test "double is wrong here"
  call double with hl=2
  expect hl=5
)";

} // namespace

class CheckCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    void write(const QString &name, const QByteArray &text) {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    Outcome quorvin(const QStringList &args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path()); // no kit include folder of the user's
        p.setProcessEnvironment(env);
        p.start(QUORVIN_PROGRAM, QStringList{"--test"} + args);
        if (!p.waitForFinished(60000))
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        for (const QString &f : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(f));
        write("hello.z80", kHello);
        write("hello.tests", kTests);
    }

    // The picture is missing at first: one failure that says how to make
    // it; --update makes it and says so; from then on the screen is
    // compared with it.
    void theScreenIsComparedWithItsPicture() {
        Outcome o = quorvin({"--filter", "greets"});
        QCOMPARE(o.status, 1);
        QCOMPARE(o.out.split('\n').first(),
                 QString("hello.tests:4: error: greets: hello.png does not exist; quorvin --test "
                         "--update writes it from the screen"));
        QVERIFY(o.out.endsWith("0 passed, 1 failed\n"));
        o = quorvin({"--filter", "greets", "--update"});
        QCOMPARE(o.out, QString("updated hello.png\n1 passed, 0 failed\n"));
        QCOMPARE(o.status, 0);
        QCOMPARE(QImage(m_dir.filePath("hello.png")).size(), QSize(96, 64));
        QCOMPARE(quorvin({"--filter", "greets"}).status, 0);

        // The greeting changes: the text and the picture no longer match.
        write("hello.z80", QByteArray(kHello).replace("HELLO WORLD", "HELLO THERE"));
        o = quorvin({"--filter", "greets"});
        QCOMPARE(o.status, 1);
        const QStringList lines = o.out.split('\n');
        QCOMPARE(lines[0], QString("hello.tests:3: error: greets: row 0 shows \"HELLO THERE\", "
                                   "expected \"HELLO WORLD\""));
        QVERIFY2(QRegularExpression("^hello.tests:4: error: greets: the screen differs from "
                                    "hello.png in \\d+ pixels, the first at x=\\d+ y=\\d+; it is "
                                    "in hello.actual.png$")
                     .match(lines[1])
                     .hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY(QImage(m_dir.filePath("hello.actual.png")) != QImage(m_dir.filePath("hello.png")));
        // --update takes the new screen as the expected one; the text still differs.
        o = quorvin({"--update", "--filter", "greets"});
        QVERIFY(o.out.split('\n').contains("updated hello.png"));
        QCOMPARE(o.status, 1);
        QCOMPARE(QImage(m_dir.filePath("hello.actual.png")), QImage(m_dir.filePath("hello.png")));
    }

    void theExitStatusSaysHowItWent() {
        QCOMPARE(quorvin({"--update", "--filter", "double 21"}).status, 0);
        QCOMPARE(quorvin({"hello.tests", "--filter", "wrong"}).status, 1);
        write("broken.tests", "test \"x\"\n  call double with hl=\n");
        const Outcome bad = quorvin({"broken.tests"});
        QCOMPARE(bad.status, 2);
        QCOMPARE(bad.out, QString("broken.tests:2: error: the value: a value is missing\n"
                                  "0 passed, 0 failed\n"));
        QCOMPARE(quorvin({"--filter"}).status, 2);
        QCOMPARE(quorvin({"--bogus"}).status, 2);
        QCOMPARE(quorvin({"nothere.tests"}).status, 2);
        QProcess p;
        p.start(QUORVIN_PROGRAM, {"--tap"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2); // --tap without --test
        // Help is still Qt's, and names the options.
        for (const char *help : {"--help", "--help-all"}) {
            p.start(QUORVIN_PROGRAM, {help});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(p.readAllStandardOutput().contains("--junit <file>"));
        }
        // No tests file in the folder, none named.
        QFile::remove(m_dir.filePath("hello.tests"));
        QFile::remove(m_dir.filePath("broken.tests"));
        const Outcome none = quorvin({});
        QCOMPARE(none.status, 2);
        QVERIFY(none.err.contains("no *.tests file"));
    }

    // TAP as a harness reads it: the plan, then one line a test in order,
    // the failure's line and message in the YAML block.
    void tapIsReadBackByAParser() {
        QCOMPARE(quorvin({"--update", "--filter", "greets"}).status, 0);
        const Outcome o = quorvin({"--tap"});
        QCOMPARE(o.status, 1);
        const QStringList lines = o.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines[0], QString("TAP version 13"));
        const QRegularExpression plan("^1\\.\\.(\\d+)$"), result("^(not )?ok (\\d+) - (.*)$"),
            at("^  at: \"(.*)\"$");
        const auto planned = plan.match(lines[1]);
        QVERIFY(planned.hasMatch());
        QStringList passed, failed, places;
        int next = 1;
        for (const QString &line : lines.mid(2)) {
            if (const auto m = result.match(line); m.hasMatch()) {
                QCOMPARE(m.captured(2).toInt(), next++);
                (m.captured(1).isEmpty() ? passed : failed) << m.captured(3);
            } else if (const auto a = at.match(line); a.hasMatch()) {
                places << a.captured(1);
            }
        }
        QCOMPARE(next - 1, planned.captured(1).toInt());
        QCOMPARE(passed, QStringList({"greets", "double 21"}));
        QCOMPARE(failed, QStringList("double is wrong here"));
        QCOMPARE(places, QStringList("hello.tests:14"));
    }

    void junitIsReadBackByAParser() {
        const Outcome o = quorvin({"--filter", "double", "--junit", "out.xml"});
        QCOMPARE(o.status, 1);
        QFile f(m_dir.filePath("out.xml"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&f);
        QStringList cases, failures, errors;
        QString suites;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const auto a = xml.attributes();
            if (xml.name() == u"testsuites")
                suites = a.value("tests").toString() + "/" + a.value("failures").toString();
            else if (xml.name() == u"testcase")
                cases << a.value("name").toString() + "@" + a.value("line").toString();
            else if (xml.name() == u"failure")
                failures << a.value("message").toString();
            else if (xml.name() == u"error")
                errors << a.value("message").toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(suites, QString("2/1"));
        QCOMPARE(cases, QStringList({"double 21@8", "double is wrong here@12"}));
        QCOMPARE(failures, QStringList("expected HL=0005h (5), got 0004h (4)"));
        QCOMPARE(errors, QStringList());

        // A tests file that cannot be read as one is an error of its suite.
        write("broken.tests", "test \"x\"\n  call double with q=1\n");
        QCOMPARE(quorvin({"broken.tests", "--junit", "out.xml"}).status, 2);
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        xml.setDevice(&f);
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"error")
                errors << xml.attributes().value("message").toString();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(errors, QStringList("broken.tests:2: error: \"q=1\": expected REGISTER=VALUE (a, "
                                     "b, ..., hl, ix, sp; flags cf, zf, sf, pf, hf, nf)"));
    }
};

QTEST_GUILESS_MAIN(CheckCommandTest)
#include "check_command_test.moc"
