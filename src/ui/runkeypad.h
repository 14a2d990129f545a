#pragma once
// The calculator's keypad as buttons, laid out as on the TI-83 Plus, for the
// keys a PC keyboard lacks (STO, LN, x^2, (-), X,T,theta,n...): a button held
// down is the key held down, so a program that reads the keypad's matrix sees
// it for as long as the mouse holds it.

#include <QWidget>

class RunKeypad : public QWidget {
    Q_OBJECT
public:
    explicit RunKeypad(QWidget *parent = nullptr);

signals:
    void keyPressed(int scanCode);
    void keyReleased(int scanCode);
};
