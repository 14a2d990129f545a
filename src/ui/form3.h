#pragma once
// The output window: the assembler log of the last build, read-only, with the
// text selectable by mouse and keyboard.

#include <QPointer>
#include <QWidget>

#include <optional>

class QPlainTextEdit;

class Form3 : public QWidget {
    Q_OBJECT
public:
    Form3();
    QPlainTextEdit *Text1;
    // Replaces the whole text and shows its beginning, or its first error
    // line selected when it has one: `firstError` (from 0; -1 for none) when
    // the caller knows it, else the first line the log parser reads as one.
    void setText(const QString &text, std::optional<int> firstError = std::nullopt);
    // Shows the window, or brings it to the front. Without `activate` the
    // keyboard stays with the window that had it.
    void showAndRaise(bool activate);
    // A window opened just after the log takes the keys the log would give back.
    void handKeysTo(QWidget *window);

signals:
    // A double-click or Enter on a line of the log.
    void lineActivated(const QString &line);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_keysBelongTo; // while a show that must not take the keys is handled
};
