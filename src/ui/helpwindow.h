#pragma once
// F1: every key of the editor, the output window and the run window, made
// from the key table, and where the settings, templates, logs and built
// programs live. A window of its own, beside the editor; Escape closes it.

#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // `root`: the folder tree the places are named in.
    HelpWindow(const QString &root, QWidget *parent);
    QTextBrowser *text;

    // The page as HTML.
    static QString page(const QString &root);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
