// The Preferences dialog: keys, storing, and browsing.

#include "ui/form1.h"
#include "ui/form2.h"

#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

class Form2Test : public QObject, public WindowFixture {
    Q_OBJECT
    Form2 *dialog = nullptr;
    QByteArray stored() const { return readBytes(tree->places().settingsFile()); }

private slots:
    void init() {
        setUp();
        QVERIFY(writeBytes(tree->places().settingsFile(), "/opt/link\r\n/opt/emu\r\n"));
        dialog = makeWindow().form2();
    }
    void cleanup() { tearDown(); }

    void focusStartsInTheFirstFieldAndTabsInOrder() {
        window->prefs_Click();
        QVERIFY(waitActive(dialog));
        QStringList order;
        for (int i = 0; i < 6; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order,
                 (QStringList{"Text1", "Command1", "Text2", "Command2", "Command3", "Command4"}));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize()); // fixed size
        QVERIFY(!dialog->parentWidget());
        // Cancelled with the keys, then shown again: a path typed and Enter store it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        window->prefs_Click();
        QCOMPARE(dialog->focusWidget(), dialog->Text1);
        QTest::keyClicks(dialog->focusWidget(), "/x");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        QCOMPARE(stored(), QByteArray("/x\r\n/opt/emu\r\n")); // typed over the old path
    }

    // The window manager is told what the dialog is: a tool window, whose
    // title bar carries only a close box, owned by no other window, so that
    // the main window can still come in front of it.
    void itIsAToolWindowWithOnlyACloseBox() {
        window->show();
        window->prefs_Click();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const Qt::WindowFlags flags = dialog->windowHandle()->flags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!dialog->windowHandle()->transientParent());
        window->activateWindow();
        QVERIFY(waitActive(window.get()));
        QVERIFY(dialog->isVisible());
    }

    void nothingIsClippedOrOverlaps() {
        window->prefs_Click();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QList<QWidget *> controls = {dialog->Label1,   dialog->Text1,   dialog->Command1,
                                           dialog->Label2,   dialog->Text2,   dialog->Command2,
                                           dialog->Command3, dialog->Command4};
        for (QWidget *c : controls) {
            QVERIFY2(c->width() >= c->sizeHint().width() || qobject_cast<QLineEdit *>(c),
                     qPrintable(c->objectName()));
            QVERIFY2(c->height() >= c->sizeHint().height(), qPrintable(c->objectName()));
            QVERIFY2(dialog->rect().contains(c->geometry()), qPrintable(c->objectName()));
            for (QWidget *d : controls)
                QVERIFY2(c == d || !c->geometry()
                                        .adjusted(1, 1, -1, -1)
                                        .intersects(d->geometry().adjusted(1, 1, -1, -1)),
                         qPrintable(c->objectName() + " overlaps " + d->objectName()));
        }
    }

    void enterPressesOkInAFieldAndTheFocusedButtonElsewhere() {
        window->prefs_Click();
        QVERIFY(waitActive(dialog));
        dialog->Text1->setText(QStringLiteral("/opt/my link,1"));
        dialog->Text2->clear();
        QTest::keyClick(dialog->Text2, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(stored(), QByteArray("/opt/my link,1\r\n\r\n"));
        window->prefs_Click();
        dialog->Text1->setText(QStringLiteral("/typed"));
        dialog->Command4->setFocus();
        QTest::keyClick(dialog->Command4, Qt::Key_Return); // Cancel: nothing stored
        QVERIFY(!dialog->isVisible());
        window->prefs_Click();
        dialog->Command1->setFocus();
        tree->picker.answers = {std::nullopt};
        QTest::keyClick(dialog->Command1, Qt::Key_Return); // Browse opens its dialog
        QCOMPARE(tree->picker.calls.size(), 1);
        QVERIFY(dialog->isVisible());
        QCOMPARE(stored(), QByteArray("/opt/my link,1\r\n\r\n"));
    }

    void okCreatesAMissingFolderAndReportsWhatCannotBeWritten() {
        QVERIFY(QDir(tree->path("TASM")).removeRecursively());
        window->prefs_Click();
        dialog->Text2->setText(QStringLiteral("\"/opt/My Emu/tilem2\" --rom=/home/me/rom.bin"));
        dialog->Command3->click();
        QVERIFY(!dialog->isVisible());
        makeWindow(); // a restart reads back exactly what was stored
        QCOMPARE(window->form2()->Text2->text(),
                 QStringLiteral("\"/opt/My Emu/tilem2\" --rom=/home/me/rom.bin"));
        dialog = window->form2();
        QVERIFY(QFile::remove(tree->places().settingsFile()));
        QDir().mkpath(tree->places().settingsFile()); // a folder in the way
        window->prefs_Click();
        dialog->Command3->click();
        QCOMPARE(shown(),
                 QStringList{tree->places().settingsFile() + "\n\nError 21: Is a directory"});
        QVERIFY(dialog->isVisible());
    }

    void cancelEscapeAndCloseBoxKeepTheFields() {
        window->prefs_Click();
        QVERIFY(waitActive(dialog));
        dialog->Text1->setText(QStringLiteral("/typed"));
        QTest::keyClick(dialog->Text1, Qt::Key_Escape);
        QVERIFY(dialog->isVisible()); // Escape does nothing
        dialog->Command4->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(stored(), QByteArray("/opt/link\r\n/opt/emu\r\n"));
        window->prefs_Click();
        QVERIFY(dialog->close());
        QCOMPARE(window->form2(), dialog);
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/typed"));
    }

    // The dialog is kept out of the taskbar: minimized, Preferences is the
    // only way back to it.
    void preferencesBringsBackAMinimizedDialog() {
        window->prefs_Click();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        dialog->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isMinimized(), kWaitMs);
        window->prefs_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isMinimized(), kWaitMs);
        QVERIFY(dialog->isVisible());
    }

    void browseFillsItsOwnFieldAndGivesTheKeysBack() {
        window->show();
        window->prefs_Click();
        QVERIFY(waitActive(dialog));
        // The real dialog leaves the main window active as it closes.
        tree->picker.onShow = [this] { window->activateWindow(); };
        tree->picker.answers = {QStringLiteral("/usr/bin/tilp"), std::nullopt};
        dialog->Command1->click();
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/usr/bin/tilp"));
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/opt/emu"));
        QVERIFY(waitActive(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog->Text1);
        dialog->Command2->click(); // cancelled: its field keeps its text
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/opt/emu"));
        QCOMPARE(tree->picker.calls[0].initialSelection, QStringLiteral("/opt/link"));
        QVERIFY(tree->picker.calls[0].filters[0].executablesOnly);
        QCOMPARE(stored(), QByteArray("/opt/link\r\n/opt/emu\r\n"));
    }
};

QTEST_MAIN(Form2Test)
#include "ui_form2_test.moc"
