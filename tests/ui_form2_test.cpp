// The Preferences dialog: controls, keys, storing, and browsing.

#include "ui/form1.h"
#include "ui/form2.h"

#include "fakes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class Form2Test : public QObject {
    Q_OBJECT
    std::unique_ptr<TestTree> tree;
    std::unique_ptr<Form1> window;
    Form2 *dialog = nullptr;

private slots:
    void init() {
        tree = std::make_unique<TestTree>();
        writeBytes(tree->places().settingsFile(), "/opt/link\r\n/opt/emu\r\n");
        window = std::make_unique<Form1>(tree->services());
        dialog = window->form2();
    }
    void cleanup() {
        window.reset();
        QVERIFY2(tree->picker.answers.empty(), "a scripted file choice was not used");
        tree.reset();
    }

    void controlsCarryTheirNamesCaptionsAndOrder() {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Preferences"));
        QCOMPARE(dialog->findChild<QLabel *>("Label1")->text(),
                 QStringLiteral("Calculator Linker Program Path:"));
        QCOMPARE(dialog->findChild<QLabel *>("Label2")->text(),
                 QStringLiteral("Virtual Calculator Path:"));
        QCOMPARE(dialog->findChild<QPushButton *>("Command1")->text(), QStringLiteral("Browse"));
        QCOMPARE(dialog->findChild<QPushButton *>("Command2")->text(), QStringLiteral("Browse"));
        QCOMPARE(dialog->findChild<QPushButton *>("Command3")->text(), QStringLiteral("OK"));
        QCOMPARE(dialog->findChild<QPushButton *>("Command4")->text(), QStringLiteral("Cancel"));
        QVERIFY(dialog->Command3->isDefault());
        QVERIFY(dialog->windowFlags() & Qt::Tool);
        QVERIFY(!(dialog->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!dialog->parentWidget());
        QCOMPARE(dialog->Label1->focusPolicy(), Qt::NoFocus);

        window->prefs_Click();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog->Text1);
        QStringList order;
        QWidget *w = dialog->Text1;
        for (int i = 0; i < 6; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
        }
        QCOMPARE(order,
                 (QStringList{"Text1", "Command1", "Text2", "Command2", "Command3", "Command4"}));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize()); // fixed size
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
                if (c != d)
                    QVERIFY2(!c->geometry()
                                  .adjusted(1, 1, -1, -1)
                                  .intersects(d->geometry().adjusted(1, 1, -1, -1)),
                             qPrintable(c->objectName() + " overlaps " + d->objectName()));
        }
        const QFontMetrics fm(dialog->Text1->font());
        dialog->Text1->setText("/usr/local/bin/a-fairly-long-name");
        QVERIFY(dialog->Text1->width() > fm.horizontalAdvance(dialog->Text1->text()));
    }

    void okStoresBothLinesAndHides() {
        window->prefs_Click();
        dialog->Text1->setText(QStringLiteral("/opt/my link,1"));
        dialog->Text2->setText(QString());
        dialog->Command3->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(readBytes(tree->places().settingsFile()), QByteArray("/opt/my link,1\r\n\r\n"));
        window->prefs_Click();
        dialog->Text1->clear();
        QTest::keyClick(dialog->Text2, Qt::Key_Return); // Enter in a field is OK
        QVERIFY(!dialog->isVisible());
        QCOMPARE(readBytes(tree->places().settingsFile()), QByteArray("\r\n\r\n"));
    }

    void okThatCannotWriteKeepsTheDialogAndFields() {
        QFile::remove(tree->places().settingsFile());
        QDir().mkpath(tree->places().settingsFile()); // a folder in the way
        window->prefs_Click();
        dialog->Text1->setText(QStringLiteral("/opt/new"));
        dialog->Command3->click();
        QCOMPARE(tree->messages.shown.size(), 1);
        QVERIFY(tree->messages.shown[0].contains(tree->places().settingsFile()));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/opt/new"));
    }

    void cancelEscapeAndCloseBoxKeepTheFields() {
        window->prefs_Click();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        dialog->Text1->setText(QStringLiteral("/typed"));
        QTest::keyClick(dialog->Text1, Qt::Key_Escape);
        QVERIFY(dialog->isVisible()); // Escape does nothing
        dialog->Command4->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/typed"));
        QCOMPARE(readBytes(tree->places().settingsFile()), QByteArray("/opt/link\r\n/opt/emu\r\n"));

        window->prefs_Click();
        window->prefs_Click(); // a second choice shows the same dialog
        QVERIFY(dialog->close());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(window->form2(), dialog);
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/typed"));
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/opt/emu"));
    }

    void browseFillsOnlyItsOwnFieldAndCancelChangesNothing() {
        window->prefs_Click();
        tree->picker.answers = {QStringLiteral("/usr/bin/tilp"), std::nullopt, std::nullopt,
                                QStringLiteral("/usr/games/tilem2")};
        dialog->Command1->click();
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/usr/bin/tilp"));
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/opt/emu"));
        dialog->Command2->click(); // cancelled: its field keeps its text
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/opt/emu"));
        dialog->Command1->click();
        QCOMPARE(dialog->Text1->text(), QStringLiteral("/usr/bin/tilp"));
        dialog->Command2->click();
        QCOMPARE(dialog->Text2->text(), QStringLiteral("/usr/games/tilem2"));
        QCOMPARE(tree->picker.calls.size(), 4);
        QCOMPARE(tree->picker.calls[0].initialSelection, QStringLiteral("/opt/link"));
        QCOMPARE(tree->picker.calls[1].initialSelection, QStringLiteral("/opt/emu"));
        QCOMPARE(tree->picker.calls[2].initialSelection, QStringLiteral("/usr/bin/tilp"));
        QVERIFY(!tree->picker.calls[0].save);
        QVERIFY(tree->picker.calls[0].filters[0].executablesOnly);
        QCOMPARE(tree->picker.calls[0].filters[1].patterns, QStringList{"*"});
        QVERIFY(dialog->isVisible());
        QCOMPARE(readBytes(tree->places().settingsFile()), QByteArray("/opt/link\r\n/opt/emu\r\n"));
    }
};

QTEST_MAIN(Form2Test)
#include "ui_form2_test.moc"
