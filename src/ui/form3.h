#pragma once
// The output window: the assembler log of the last build, read-only.

#include <QWidget>

class QPlainTextEdit;

class Form3 : public QWidget {
    Q_OBJECT
public:
    Form3();
    QPlainTextEdit *Text1;
    // Replaces the whole text and shows its beginning.
    void setText(const QString &text);
    // Shows the window, or brings it to the front.
    void showAndRaise();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void applyResizeRule();
};
