#include "platform/dialogs.h"

#include "fakes.h"

#include <QtTest>

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void filterStringBecomesPatternsQtFiltersBy() {
        const QList<FileFilter> f = parseFilter(
            QStringLiteral("Z80 Assembly Files (*.z80, *.asm)|*.z80;*.asm|All Files (*.*)|*.*"));
        QCOMPARE(f.size(), 2);
        QCOMPARE(f[0].patterns, (QStringList{QStringLiteral("*.z80"), QStringLiteral("*.asm")}));
        QCOMPARE(f[1].patterns, QStringList{QStringLiteral("*")});
        QCOMPARE(toQtFilter(f), QStringLiteral("Z80 Assembly Files (*.z80 *.asm);;All Files (*)"));
        // A trailing ';' gives no empty pattern.
        const QList<FileFilter> g = parseFilter(QStringLiteral("Programs|*.exe;*.bat;|All|*.*"));
        QCOMPARE(g[0].patterns, (QStringList{QStringLiteral("*.exe"), QStringLiteral("*.bat")}));
        QCOMPARE(toQtFilter(g), QStringLiteral("Programs (*.exe *.bat);;All (*)"));
    }

    void commonDialogKeepsFileNameOnCancel() {
        FakePicker picker;
        CommonDialog dialog(&picker, nullptr);
        dialog.Filter = QStringLiteral("Programs|*|All Files (*.*)|*.*");
        dialog.executablesFirst = true;
        dialog.FileName = QStringLiteral("/a/b");
        picker.answers = {std::nullopt, QStringLiteral("/c/d")};
        QVERIFY(!dialog.ShowOpen());
        QCOMPARE(dialog.FileName, QStringLiteral("/a/b"));
        QVERIFY(dialog.ShowSave());
        QCOMPARE(dialog.FileName, QStringLiteral("/c/d"));
        QCOMPARE(picker.calls.size(), 2);
        QCOMPARE(picker.calls[0].initialSelection, QStringLiteral("/a/b"));
        QVERIFY(!picker.calls[0].save);
        QVERIFY(picker.calls[1].save);
        QVERIFY(picker.calls[0].filters[0].executablesOnly);
        QVERIFY(!picker.calls[0].filters[1].executablesOnly);
    }
};

QTEST_APPLESS_MAIN(DialogsTest)
#include "platform_dialogs_test.moc"
