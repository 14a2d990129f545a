#include "platform/dialogs.h"
#include "platform/windows.h"

#include "fakes.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void filterStringBecomesPatternsQtFiltersBy() {
        const QList<FileFilter> f = parseFilter(
            QStringLiteral("Z80 Assembly Files (*.z80, *.asm)|*.z80;*.asm|All Files (*.*)|*.*"));
        QCOMPARE(toQtFilter(f), QStringLiteral("Z80 Assembly Files (*.z80 *.asm);;All Files (*)"));
        // A trailing ';' gives no empty pattern.
        const QList<FileFilter> g = parseFilter(QStringLiteral("Programs|*.exe;*.bat;|All|*.*"));
        QCOMPARE(g[0].patterns, (QStringList{QStringLiteral("*.exe"), QStringLiteral("*.bat")}));
    }

    void commonDialogKeepsFileNameOnCancel() {
        FakePicker picker;
        CommonDialog dialog(&picker, nullptr);
        dialog.FileName = QStringLiteral("/a/b");
        picker.answers = {std::nullopt, QStringLiteral("/c/d")};
        QVERIFY(!dialog.ShowOpen());
        QCOMPARE(dialog.FileName, QStringLiteral("/a/b"));
        QVERIFY(dialog.ShowSave());
        QCOMPARE(dialog.FileName, QStringLiteral("/c/d"));
        QCOMPARE(picker.calls[0].initialSelection, QStringLiteral("/a/b"));
    }

    // A short message must not squeeze the title to "Qu...".
    // A desktop's title bar draws the title in bold beside an icon and three
    // buttons, each about as wide as the bar is high (a line and a half): a
    // box with a short text is still that wide, so the whole title shows.
    void theWholeTitleOfAMessageBoxIsVisible() {
        for (const QString &title :
             {applicationTitle(), QStringLiteral("A title much longer than the text below it")}) {
            QMessageBox box(QMessageBox::NoIcon, title, QStringLiteral("OK."));
            QtMessageBox::fitTitle(&box);
            box.show();
            QFont bold = box.font();
            bold.setBold(true);
            const QFontMetrics bar(bold);
            QVERIFY2(box.width() >= bar.horizontalAdvance(title) + 4 * bar.height() * 3 / 2,
                     qPrintable(title));
        }
    }

    void windowsArePlacedFullyInsideTheScreen() {
        const QRect screen(0, 0, 1280, 1024);
        QCOMPARE(placeInside(screen, QRect(0, 0, 400, 300), QPoint(1100, 900)), QPoint(880, 724));
        QCOMPARE(placeInside(screen, QRect(0, 0, 400, 300), QPoint(-50, 10)), QPoint(0, 10));
        QCOMPARE(placeInside(screen, QRect(0, 0, 2000, 300), QPoint(100, 10)), QPoint(0, 10));
        QCOMPARE(placeInside(QRect(1280, 0, 800, 600), QRect(0, 0, 400, 300), QPoint(100, 100)),
                 QPoint(1280, 100)); // a second screen to the right
    }
};

QTEST_MAIN(DialogsTest)
#include "platform_dialogs_test.moc"
