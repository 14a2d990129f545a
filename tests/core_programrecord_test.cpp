// The record of which program each file belongs to, as builds leave their
// lists of files behind.

#include "core/programrecord.h"

#include "fakes.h"

#include <QSignalSpy>
#include <QTest>

class ProgramRecordTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void onlyAFreshListOfTheBuiltProgramIsTaken() {
        for (const char *name : {"main.z80", "other.z80", "defs.inc", "sprite.z80"})
            QVERIFY(writeBytes(path(name), "x"));
        ProgramRecord record(path("programs.txt"));
        const QString list = path("last-build.files");
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-10);
        QVERIFY(writeBytes(list, (path("main.z80") + "\n" + path("defs.inc") + "\n").toUtf8()));
        QVERIFY(!record.takeBuildList(list, path("other.z80"), before)); // another program's
        QVERIFY(!record.takeBuildList(list, path("main.z80"),
                                      QDateTime::currentDateTimeUtc().addSecs(10))); // older
        QVERIFY(record.programOf(path("defs.inc")).isEmpty());
        QVERIFY(record.takeBuildList(list, path("main.z80"), before));
        QCOMPARE(record.programFor(path("defs.inc"), "; defs\n"), path("main.z80"));
        QCOMPARE(record.programFor(path("main.z80"), "; main\n"), path("main.z80"));
        QCOMPARE(record.programFor(path("defs.inc"), ";; Main:  other.z80 \r\n"),
                 path("other.z80"));
        QCOMPARE(record.programFor(path("sprite.z80"), "ld a,1 ; main: other.z80\n"),
                 path("sprite.z80")); // a comment after code names nothing
        // Built as a program of its own, a file is no longer an include.
        QVERIFY(writeBytes(list, (path("defs.inc") + "\n" + path("sprite.z80") + "\n").toUtf8()));
        QVERIFY(record.takeBuildList(list, path("defs.inc"), before));
        QCOMPARE(record.programOf(path("defs.inc")), QString());
        QCOMPARE(ProgramRecord(path("programs.txt")).programOf(path("sprite.z80")),
                 path("defs.inc"));
    }
};

QTEST_MAIN(ProgramRecordTest)
#include "core_programrecord_test.moc"
