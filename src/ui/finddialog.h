#pragma once
// Find and Replace: a small window beside the editor, modeless, opened by
// Ctrl+F (focus on the text to find) and Ctrl+H (focus on the replacement).

#include "ui/search.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QsciScintilla;

class FindDialog : public QDialog {
    Q_OBJECT
public:
    FindDialog(QsciScintilla *editor, QWidget *parent);
    QLineEdit *findText, *replaceText;
    QCheckBox *matchCase, *wholeWord, *wrapAround;
    QLabel *status;

    // Shows the dialog with the focus in the find field, or the replace field.
    void showFor(bool replace);
    // F3 and Shift+F3: the next or previous match of the text last searched.
    void findAgain(bool forward);
    void replace();
    void replaceAll();

protected:
    void showEvent(QShowEvent *event) override;

private:
    SearchOptions options() const;
    void say(bool found);
    QsciScintilla *m_editor;
    bool m_placed = false;
};
