#pragma once
// The Preferences dialog. Its two fields hold the link program path and the
// emulator path for as long as the program runs; "OK" also stores them.

#include "platform/dialogs.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class Form2 : public QDialog {
    Q_OBJECT
public:
    Form2(FilePicker *picker, MessageBox *messages, const QString &settingsFile);

    QLabel *Label1;
    QLineEdit *Text1; // link program path
    QPushButton *Command1;
    QLabel *Label2;
    QLineEdit *Text2; // emulator path
    QPushButton *Command2;
    QPushButton *Command3; // OK
    QPushButton *Command4; // Cancel
    CommonDialog CommonDialog1;

    // Shows the dialog (placed near `anchor` the first time), or brings it to the front.
    void showAndRaise(const QWidget *anchor);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void browse(QLineEdit *field);
    void placeControls();

    MessageBox *m_messages;
    QString m_settingsFile;
    bool m_placed = false;
};
